// The plug-in module's one export.
#include "plugin/plugin_record.h"

#if defined(_WIN32)
#define VELVOX_EXPORT __declspec(dllexport)
#else
#define VELVOX_EXPORT __attribute__((visibility("default")))
#endif

// Hands the player the plug-in's record; the same address on every call.
extern "C" VELVOX_EXPORT velvox::PluginRecord* winampGetGeneralPurposePlugin() {
    return &velvox::ThePluginRecord();
}
