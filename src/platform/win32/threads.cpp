// Threads on Windows: CreateThread, handles closed at once.
#include <windows.h>

#include <new>

#include "platform/threads.h"

namespace platform {

namespace {

struct Start {
    ThreadEntry entry;
    void* argument;
};

// The Windows thread entry: unpacks the start record and runs the entry.
DWORD WINAPI run_thread(LPVOID raw) {
    Start start = *static_cast<Start*>(raw);
    delete static_cast<Start*>(raw);
    start.entry(start.argument);
    return 1;
}

}  // namespace

bool start_thread(ThreadEntry entry, void* argument) {
    return start_thread(entry, argument, 0);
}

bool start_thread(ThreadEntry entry, void* argument, std::size_t stack_bytes) {
    auto* start = new (std::nothrow) Start{entry, argument};
    if (start == nullptr)
        return false;
    // The size reserves the stack's address range; pages are committed as used.
    const DWORD flags = stack_bytes != 0 ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0;
    HANDLE thread = CreateThread(nullptr, stack_bytes, run_thread, start, flags, nullptr);
    if (thread == nullptr) {
        delete start;
        return false;
    }
    // A handle keeps its thread object alive until closed, so closing it is
    // safe even when the thread has already ended.
    CloseHandle(thread);
    return true;
}

void sleep_ms(unsigned milliseconds) {
    Sleep(milliseconds);
}

}  // namespace platform
