// Threads on POSIX: pthreads created detached.
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "platform/threads.h"

namespace platform {

namespace {

struct Start {
    ThreadEntry entry;
    void* argument;
};

// The pthread entry: unpacks the start record and runs the entry. A broken
// pipe never raises a signal on our threads: sends say MSG_NOSIGNAL, but a
// file sent by sendfile cannot, so the signal is blocked (it stays pending,
// unseen) and the call fails with EPIPE instead.
void* run_thread(void* raw) {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    Start start = *static_cast<Start*>(raw);
    delete static_cast<Start*>(raw);
    start.entry(start.argument);
    return nullptr;
}

// Returns bytes rounded up to whole pages and to at least the platform's
// smallest thread stack.
std::size_t usable_stack_size(std::size_t bytes) {
    long page = sysconf(_SC_PAGESIZE);
    const std::size_t page_size = page > 0 ? static_cast<std::size_t>(page) : 4096;
    // A constant or, with some C libraries, a sysconf call.
    const auto smallest = static_cast<std::size_t>(PTHREAD_STACK_MIN);
    if (bytes < smallest)
        bytes = smallest;
    return (bytes + page_size - 1) / page_size * page_size;
}

}  // namespace

bool start_thread(ThreadEntry entry, void* argument) {
    return start_thread(entry, argument, 0);
}

bool start_thread(ThreadEntry entry, void* argument, std::size_t stack_bytes) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0)
        return false;
    // Detached by attribute: a detach after the create could name a thread
    // that has already ended and been reclaimed.
    bool ready = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED) == 0 &&
                 (stack_bytes == 0 ||
                  pthread_attr_setstacksize(&attributes, usable_stack_size(stack_bytes)) == 0);
    Start* start = ready ? new (std::nothrow) Start{entry, argument} : nullptr;
    pthread_t thread;
    bool started = start != nullptr && pthread_create(&thread, &attributes, run_thread, start) == 0;
    if (!started)
        delete start;
    pthread_attr_destroy(&attributes);
    return started;
}

void sleep_ms(unsigned milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) == -1 && errno == EINTR) {
    }
}

}  // namespace platform
