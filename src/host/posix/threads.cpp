// Threads on POSIX: detached pthreads.
#include <pthread.h>
#include <time.h>

#include <cerrno>

#include "host/threads.h"

namespace host {

namespace {

struct Start {
    ThreadEntry entry;
    void* argument;
};

// The pthread entry: unpacks the start record and runs the entry.
void* run_thread(void* raw) {
    Start start = *static_cast<Start*>(raw);
    delete static_cast<Start*>(raw);
    start.entry(start.argument);
    return nullptr;
}

}  // namespace

bool start_thread(ThreadEntry entry, void* argument) {
    auto* start = new Start{entry, argument};
    pthread_t thread;
    if (pthread_create(&thread, nullptr, run_thread, start) != 0) {
        delete start;
        return false;
    }
    pthread_detach(thread);
    return true;
}

void sleep_ms(unsigned milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) == -1 && errno == EINTR) {
    }
}

}  // namespace host
