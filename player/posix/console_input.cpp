// Standard input and stop signals on POSIX.
#include "posix/console_input.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/posix/emulated_window.h"
#include "platform/threads.h"

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
        platform::emu::post_line(window, std::string());
        // Ends any input the plug-in is waiting for (its settings form), so
        // the stop is not held up until someone answers it.
        platform::emu::close_input(window);
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
            platform::emu::post_line(window, line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty())
        platform::emu::post_line(window, line);
    platform::emu::close_input(window);
}

}  // namespace

bool start_signal_thread(platform::Window window) {
    sigset_t set = stop_signals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    return platform::start_thread(wait_for_signals, window);
}

bool start_input_thread(platform::Window window) {
    return platform::start_thread(read_input, window);
}

}  // namespace player
