// Start-up, shut-down and the hook on the player's window.
#pragma once
#include <atomic>

#include "platform/window_messages.h"

namespace velvox {

// Called once by the player after it filled in its window and our module.
// Returns 0.
int PluginInit();
// Shows the settings dialog; returns when it has closed.
void PluginConfig();
// Stops the listener, saves the settings and waits for the listener thread.
void PluginQuit();

// The hook installed on HostWindow: end-of-track goes to queued playback
// first; everything else to PreviousWindowProc. Returns the message's result.
platform::LResult VELVOX_CALLBACK PluginWindowProc(platform::Window window, unsigned message,
                                                   platform::WParam wparam,
                                                   platform::LParam lparam);

// The window procedure found on HostWindow at init.
extern std::atomic<platform::WindowProc> PreviousWindowProc;

}  // namespace velvox
