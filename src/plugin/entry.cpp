// The plug-in's record and the module's one export.
#include "core/player_link.h"
#include "plugin/lifecycle.h"
#include "plugin/plugin_record.h"

#if defined(_WIN32)
#define VELVOX_EXPORT __declspec(dllexport)
#else
#define VELVOX_EXPORT __attribute__((visibility("default")))
#endif

namespace velvox {

namespace {

PluginRecord the_record = {16, "", PluginInit, PluginConfig, PluginQuit, nullptr, nullptr};

}  // namespace

PluginRecord& ThePluginRecord() {
    // The lower layers read the player's window and our module from here, at
    // every use, so whatever the player writes into the record before init
    // is what they see.
    AttachPlayer(&the_record.hwndParent, &the_record.hDllInstance);
    return the_record;
}

}  // namespace velvox

// Hands the player the plug-in's record; the same address on every call.
extern "C" VELVOX_EXPORT velvox::PluginRecord* winampGetGeneralPurposePlugin() {
    return &velvox::ThePluginRecord();
}
