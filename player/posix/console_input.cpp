// Standard input and stop signals on POSIX.
#include "posix/console_input.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "host/posix/emulated_window.h"
#include "host/threads.h"

namespace player {

std::atomic<bool> stop_requested{false};

namespace {

// Returns the set of SIGINT and SIGTERM.
sigset_t stop_signals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

// Waits for the stop signals for ever; no work is done in a signal handler.
void wait_for_signals(void* window) {
    sigset_t set = stop_signals();
    for (;;) {
        int signal_number = 0;
        if (sigwait(&set, &signal_number) != 0)
            continue;
        stop_requested = true;
        host::emu::post_line(window, std::string());
        // Ends any input the plug-in is waiting for (its settings form), so
        // the stop is not held up until someone answers it.
        host::emu::close_input(window);
    }
}

// Reads standard input a byte at a time (nothing is read ahead of the line
// being posted) and posts each line without its line end.
void read_input(void* window) {
    std::string line;
    for (;;) {
        char c = 0;
        ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (c == '\n') {
            host::emu::post_line(window, line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty())
        host::emu::post_line(window, line);
    host::emu::close_input(window);
}

}  // namespace

bool start_signal_thread(host::Window window) {
    sigset_t set = stop_signals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    return host::start_thread(wait_for_signals, window);
}

bool start_input_thread(host::Window window) {
    return host::start_thread(read_input, window);
}

}  // namespace player
