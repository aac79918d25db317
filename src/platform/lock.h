// The one lock type: a mutual-exclusion lock usable with std::lock_guard.
// A critical section on Windows, a pthread mutex on POSIX.
#pragma once

namespace platform {

class Lock {
  public:
    Lock();
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    // Waits until the lock is free and takes it.
    void lock();
    // Releases the lock taken by this thread.
    void unlock();

  private:
    alignas(8) unsigned char storage_[64];
};

}  // namespace platform
