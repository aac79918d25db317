// Threads and sleep.
#pragma once
#include <cstddef>

namespace platform {

using ThreadEntry = void (*)(void* argument);

// Starts a thread at entry with the default stack size, detached from the
// outset: nothing refers to it once it runs. Returns false when the thread
// could not be started (entry then never runs).
bool start_thread(ThreadEntry entry, void* argument);

// As above, with a stack of stack_bytes (rounded up to what the platform
// allows; 0 keeps the default size).
bool start_thread(ThreadEntry entry, void* argument, std::size_t stack_bytes);

// Suspends the calling thread for the given number of milliseconds.
void sleep_ms(unsigned milliseconds);

}  // namespace platform
