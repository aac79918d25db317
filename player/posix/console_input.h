// Console input on POSIX: standard input and the stop signals, both turned
// into lines for the player's window.
#pragma once
#include <atomic>

#include "platform/window_messages.h"

namespace player {

// Raised by SIGINT or SIGTERM; the loop then runs the quit sequence.
extern std::atomic<bool> stop_requested;

// Blocks SIGINT and SIGTERM in the calling thread (and every thread it starts
// later) and starts a thread that waits for them: it raises stop_requested
// and posts an empty line to wake the window's loop. Returns false when the
// thread could not be started.
bool start_signal_thread(platform::Window window);

// Starts a thread that posts every line of standard input to the window and
// closes the window's input at end of input. Returns false on failure.
bool start_input_thread(platform::Window window);

}  // namespace player
