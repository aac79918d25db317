// The lock on POSIX: a pthread mutex.
#include <pthread.h>

#include <new>

#include "platform/lock.h"

namespace platform {

static_assert(sizeof(pthread_mutex_t) <= 64, "lock storage too small");

// Returns the mutex living in the lock's storage.
static pthread_mutex_t* as_mutex(unsigned char* storage) {
    return reinterpret_cast<pthread_mutex_t*>(storage);
}

Lock::Lock() {
    pthread_mutex_init(new (storage_) pthread_mutex_t, nullptr);
}
Lock::~Lock() {
    pthread_mutex_destroy(as_mutex(storage_));
}
void Lock::lock() {
    pthread_mutex_lock(as_mutex(storage_));
}
void Lock::unlock() {
    pthread_mutex_unlock(as_mutex(storage_));
}

}  // namespace platform
