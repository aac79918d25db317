// Threads on Windows: CreateThread, handles closed at once.
#include <windows.h>

#include "host/threads.h"

namespace host {

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
    auto* start = new Start{entry, argument};
    HANDLE thread = CreateThread(nullptr, 0, run_thread, start, 0, nullptr);
    if (thread == nullptr) {
        delete start;
        return false;
    }
    CloseHandle(thread);
    return true;
}

void sleep_ms(unsigned milliseconds) {
    Sleep(milliseconds);
}

}  // namespace host
