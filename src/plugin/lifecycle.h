// Start-up, shut-down and the hook on the player's window.
#pragma once
#include <atomic>
#include <cstdint>

#include "host/threads.h"
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
// Starts nothing while ServerRunning is already raised; takes both back when
// the thread cannot be started.
void StartListener();

// Raised when a listener has been started; lowered only at quit.
extern std::atomic<int> ServerRunning;
// Listener threads that have not yet ended.
extern std::atomic<std::int32_t> ServerThreadCount;
// The window procedure found on HostWindow at init.
extern std::atomic<host::WindowProc> PreviousWindowProc;

// Test seams: how the listener thread is started and how quit sleeps between
// its looks at ServerThreadCount. Null restores host::start_thread and
// host::sleep_ms.
using ThreadStarter = bool (*)(host::ThreadEntry entry, void* argument);
using Sleeper = void (*)(unsigned milliseconds);
void SetListenerStarterForTesting(ThreadStarter starter);
void SetSleeperForTesting(Sleeper sleeper);

}  // namespace velvox
