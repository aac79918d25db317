// The record the player receives from the plug-in's one export.
#pragma once
#include <cstdint>

#include "platform/window_messages.h"

namespace velvox {

struct PluginRecord {
    std::int32_t version;     // 16: the player's general-purpose plug-in interface
    const char* description;  // empty until init
    int (*init)();
    void (*config)();
    void (*quit)();
    platform::Window hwndParent;  // written by the player before init: HostWindow
    void* hDllInstance;           // written by the player before init: our module
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(PluginRecord) == 28, "the player expects seven 32-bit fields");
#endif

// Returns the one static record (the same address on every call), attached
// as the lower layers' link to the player (see core/player_link.h).
PluginRecord& ThePluginRecord();

}  // namespace velvox
