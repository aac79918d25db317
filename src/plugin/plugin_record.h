// The record the player receives from the plug-in's one export.
#pragma once
#include <cstdint>

#include "host/window_messages.h"

namespace velvox {

struct PluginRecord {
    std::int32_t version;     // 16: the player's general-purpose plug-in interface
    const char* description;  // empty until init
    int (*init)();
    void (*config)();
    void (*quit)();
    host::Window hwndParent;  // written by the player before init: HostWindow
    void* hDllInstance;       // written by the player before init: our module
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(PluginRecord) == 28, "the player expects seven 32-bit fields");
#endif

// The one static record. It is defined beside the lifecycle it points at;
// unit tests of the lower subsystems link a record of their own.
extern PluginRecord thePluginRecord;

// Returns the record (the same address on every call).
inline PluginRecord& ThePluginRecord() {
    return thePluginRecord;
}

// Returns the player's main window, read from the record at every use.
inline host::Window HostWindow() {
    return ThePluginRecord().hwndParent;
}

}  // namespace velvox
