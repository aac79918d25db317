// The table of replaceable platform services.
#include "platform/services.h"

#include <atomic>

#include "platform/clock.h"

namespace platform {

namespace {

// start_thread is overloaded: the table takes the one with a stack size.
bool StartThread(ThreadEntry entry, void* argument, std::size_t stack_bytes) {
    return start_thread(entry, argument, stack_bytes);
}

const Services kReal = {StartThread, steady_milliseconds, now_seconds, sleep_ms, start_sockets};
std::atomic<const Services*> in_force{&kReal};

}  // namespace

const Services& real_services() {
    return kReal;
}

const Services& services() {
    return *in_force.load();
}

void use_services(const Services* table) {
    in_force.store(table != nullptr ? table : &kReal);
}

}  // namespace platform
