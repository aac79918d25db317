// The platform's services that tests replace, as one table of functions:
// starting a thread, the two clocks, sleeping, starting the sockets layer.
// Code above the platform calls them through services(); a test puts its
// own table in force and the platform's back when it ends.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/sockets.h"
#include "platform/threads.h"

namespace platform {

struct Services {
    // Starts a detached thread at entry with a stack of stack_bytes (0: the
    // default); false when none started.
    bool (*start_thread)(ThreadEntry entry, void* argument, std::size_t stack_bytes);
    // Milliseconds on a clock that never goes back (time-outs).
    std::int64_t (*steady_milliseconds)();
    // Calendar seconds since 1970 UTC (the Date line, the request rules).
    std::int64_t (*now_seconds)();
    void (*sleep_ms)(unsigned milliseconds);
    SocketsStart (*start_sockets)();
};

// Returns the platform's own table.
const Services& real_services();

// Returns the table in force.
const Services& services();

// Puts table in force; nullptr puts the platform's own back. The table must
// outlive its use.
void use_services(const Services* table);

}  // namespace platform
