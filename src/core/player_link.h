// Where the plug-in finds its player: the main window and the plug-in's own
// module handle, both written by the player into the plug-in's record. The
// record belongs to the plug-in's entry; this layer only keeps the addresses
// of those two fields and reads them at every use.
#pragma once
#include "platform/window_messages.h"

namespace velvox {

// Points the link at the record's window and module fields (either may be
// null, which reads as no window or no module).
void AttachPlayer(platform::Window* window_field, void** module_field);

// Returns the player's main window as the record holds it now; null when
// nothing is attached.
platform::Window HostWindow();

// Returns the plug-in's module handle as the record holds it now; null when
// nothing is attached.
void* ModuleHandle();

}  // namespace velvox
