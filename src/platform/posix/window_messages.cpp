// POSIX emulation of window messages: see emulated_window.h.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/posix/emulated_window.h"
#include "platform/window_messages.h"

namespace platform::emu {

namespace {

constexpr std::uint32_t kMagic = 0x56574e44;  // "VWND"

}  // namespace

// A send from a foreign thread, waiting in the owner's queue.
struct PendingSend {
    unsigned message;
    WParam wparam;
    LParam lparam;
    LResult result = 0;
    bool done = false;
    std::condition_variable finished;
};

// Returns the emulated window behind a handle; aborts on a handle that is not one.
static EmulatedWindow& as_window(Window window) {
    auto* w = static_cast<EmulatedWindow*>(window);
    if (w == nullptr || w->magic != kMagic) {
        std::fprintf(stderr, "invalid window handle %p\n", window);
        std::abort();
    }
    return *w;
}

Window create_window(WindowProc proc) {
    auto* w = new EmulatedWindow{};
    w->magic = kMagic;
    w->proc = proc;
    w->owner = std::this_thread::get_id();
    return w;
}

void destroy_window(Window window) {
    EmulatedWindow& w = as_window(window);
    w.magic = 0;
    delete &w;
}

void post_line(Window window, std::string line) {
    EmulatedWindow& w = as_window(window);
    {
        std::lock_guard<std::mutex> hold(w.mutex);
        w.lines.push_back(std::move(line));
    }
    w.wake.notify_all();
}

void close_input(Window window) {
    EmulatedWindow& w = as_window(window);
    {
        std::lock_guard<std::mutex> hold(w.mutex);
        w.input_closed = true;
    }
    w.wake.notify_all();
}

// Runs the queued sends one at a time, with the window's lock released while
// the procedure runs (it may itself send). Returns how many were handled.
static int run_sends(EmulatedWindow& w, std::unique_lock<std::mutex>& hold) {
    int handled = 0;
    while (!w.sends.empty()) {
        PendingSend* send = w.sends.front();
        w.sends.pop_front();
        WindowProc proc = w.proc;
        hold.unlock();
        LResult result = proc(&w, send->message, send->wparam, send->lparam);
        hold.lock();
        send->result = result;
        send->done = true;
        send->finished.notify_all();
        ++handled;
    }
    return handled;
}

bool wait_for_activity(Window window, int timeout_ms) {
    EmulatedWindow& w = as_window(window);
    std::unique_lock<std::mutex> hold(w.mutex);
    auto ready = [&] { return !w.sends.empty() || !w.lines.empty(); };
    if (timeout_ms < 0) {
        w.wake.wait(hold, ready);
        return true;
    }
    return w.wake.wait_for(hold, std::chrono::milliseconds(timeout_ms), ready);
}

int handle_pending_sends(Window window) {
    EmulatedWindow& w = as_window(window);
    std::unique_lock<std::mutex> hold(w.mutex);
    return run_sends(w, hold);
}

WaitResult wait_for_line(Window window, std::string& line, int timeout_ms) {
    EmulatedWindow& w = as_window(window);
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
    std::unique_lock<std::mutex> hold(w.mutex);
    for (;;) {
        run_sends(w, hold);
        if (!w.lines.empty()) {
            line = std::move(w.lines.front());
            w.lines.pop_front();
            return WaitResult::line;
        }
        if (w.input_closed)
            return WaitResult::closed;
        if (timeout_ms < 0) {
            w.wake.wait(hold);
        } else if (w.wake.wait_until(hold, deadline) == std::cv_status::timeout &&
                   w.sends.empty() && w.lines.empty()) {
            return WaitResult::timeout;
        }
    }
}

}  // namespace platform::emu

namespace platform {

LResult send_message(Window window, unsigned message, WParam wparam, LParam lparam) {
    emu::EmulatedWindow& w = emu::as_window(window);
    if (std::this_thread::get_id() == w.owner) {
        return w.proc(window, message, wparam, lparam);
    }
    emu::PendingSend send;
    send.message = message;
    send.wparam = wparam;
    send.lparam = lparam;
    std::unique_lock<std::mutex> hold(w.mutex);
    w.sends.push_back(&send);
    w.wake.notify_all();
    send.finished.wait(hold, [&] { return send.done; });
    return send.result;
}

// Numbers from the range Windows gives registered messages, one per name
// (FNV-1a), so that the emulation treats them as Windows would.
unsigned register_message(const char* name) {
    std::uint32_t hash = 2166136261u;
    for (const char* c = name; *c != '\0'; ++c)
        hash = (hash ^ static_cast<unsigned char>(*c)) * 16777619u;
    return 0xC000u + hash % 0x4000u;
}

WindowProc window_proc(Window window) {
    return emu::as_window(window).proc;
}

WindowProc replace_window_proc(Window window, WindowProc proc) {
    emu::EmulatedWindow& w = emu::as_window(window);
    std::lock_guard<std::mutex> hold(w.mutex);
    WindowProc previous = w.proc;
    w.proc = proc;
    return previous;
}

LResult call_window_proc(WindowProc proc, Window window, unsigned message, WParam wparam,
                         LParam lparam) {
    return proc(window, message, wparam, lparam);
}

}  // namespace platform
