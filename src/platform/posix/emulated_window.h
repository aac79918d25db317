// The POSIX stand-in for a Windows window: a procedure owned by one thread.
// Sends from the owning thread call the procedure directly; sends from any
// other thread are queued and wait until the owner handles them inside
// wait_for_line(). Console lines for the owner travel through the same queue,
// so the owner can wait for input and still answer the plug-in's messages.
//
// The struct is shared by every copy of this code in the process (the player
// and the plug-in module each link one), so it carries all its state itself.
#pragma once
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "platform/window_messages.h"

namespace platform::emu {

struct PendingSend;

struct EmulatedWindow {
    std::uint32_t magic;
    WindowProc proc;
    std::thread::id owner;
    std::mutex mutex;
    std::condition_variable wake;  // the owner waits here for sends and lines
    std::deque<PendingSend*> sends;
    std::deque<std::string> lines;
    bool input_closed = false;
};

// Creates a window whose procedure is proc, owned by the calling thread.
Window create_window(WindowProc proc);

// Destroys a window made by create_window; no send may be pending.
void destroy_window(Window window);

// Queues a line of console input for the owner; callable from any thread.
void post_line(Window window, std::string line);

// Marks the console input as ended; wait_for_line then reports closed once the
// queued lines are used up.
void close_input(Window window);

enum class WaitResult { line, timeout, closed };

// Owner thread only: handles queued sends until a line is available (stored in
// line), the timeout passes (timeout_ms < 0 waits forever) or input is closed.
WaitResult wait_for_line(Window window, std::string& line, int timeout_ms);

// Owner thread only: waits until a send or a line is queued (whether or not
// input has ended) or the timeout passes (timeout_ms < 0 waits forever).
// Handles nothing itself; returns false on timeout.
bool wait_for_activity(Window window, int timeout_ms);

// Owner thread only: handles every send queued right now; returns how many.
int handle_pending_sends(Window window);

}  // namespace platform::emu
