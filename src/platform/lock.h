// A mutual-exclusion lock usable with std::lock_guard and
// std::condition_variable_any: a critical section on Windows, a pthread mutex
// on POSIX. The request queue's lock is one, and so are the server's; the
// standard library's std::mutex, which is no different in use, guards the
// settings, the playlist copy and the other state private to one file.
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
