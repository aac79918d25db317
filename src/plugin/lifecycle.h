// Start-up, shut-down and the hook on the player's window.
#pragma once
#include <atomic>
#include <cstdint>

#include "host/window_messages.h"

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
host::LResult VELVOX_CALLBACK PluginWindowProc(host::Window window, unsigned message,
                                               host::WParam wparam, host::LParam lparam);

// Raises ServerRunning and ServerThreadCount and starts the listener thread.
void StartListener();

// Raised when a listener has been started; lowered only at quit.
extern std::atomic<int> ServerRunning;
// Listener threads that have not yet ended.
extern std::atomic<std::int32_t> ServerThreadCount;
// The window procedure found on HostWindow at init.
extern std::atomic<host::WindowProc> PreviousWindowProc;

}  // namespace velvox
