// Threads and sleep.
#pragma once

namespace host {

using ThreadEntry = void (*)(void* argument);

// Starts a detached thread at entry with the default stack size. Returns false
// when the thread could not be started (entry then never runs).
bool start_thread(ThreadEntry entry, void* argument);

// Suspends the calling thread for the given number of milliseconds.
void sleep_ms(unsigned milliseconds);

}  // namespace host
