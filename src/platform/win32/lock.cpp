// The lock on Windows: a critical section.
#include <windows.h>

#include <new>

#include "platform/lock.h"

namespace platform {

static_assert(sizeof(CRITICAL_SECTION) <= 64, "lock storage too small");

// Returns the critical section living in the lock's storage.
static CRITICAL_SECTION* as_section(unsigned char* storage) {
    return reinterpret_cast<CRITICAL_SECTION*>(storage);
}

Lock::Lock() {
    InitializeCriticalSection(new (storage_) CRITICAL_SECTION);
}
Lock::~Lock() {
    DeleteCriticalSection(as_section(storage_));
}
void Lock::lock() {
    EnterCriticalSection(as_section(storage_));
}
void Lock::unlock() {
    LeaveCriticalSection(as_section(storage_));
}

}  // namespace platform
