// Waiting until sockets become readable: one set of sockets watched by one
// thread with the platform's readiness call (epoll on Linux, WSAPoll on
// Windows), which any other thread can wake.
#pragma once
#include <cstddef>

#include "platform/sockets.h"

namespace platform {

class ReadySet {
  public:
    ReadySet();
    ~ReadySet();
    ReadySet(const ReadySet&) = delete;
    ReadySet& operator=(const ReadySet&) = delete;

    // Returns whether the set and its wake-up channel could be made; a set
    // that is not usable watches nothing and its wait fails.
    bool usable() const;

    // Watches socket until it is readable: data, the end of the stream or a
    // failure. Watching thread only. Returns false when it cannot be watched.
    bool add(Socket socket);

    // Stops watching socket (before it is closed or handed on). Watching
    // thread only.
    void remove(Socket socket);

    // Waits at most timeout_ms (negative: without limit) for a watched
    // socket to be readable or for wake(). Writes at most capacity readable
    // sockets to ready; those stay watched until removed. Returns their
    // count (0 after a time-out or a wake), or -1 when the wait failed.
    int wait(Socket* ready, std::size_t capacity, int timeout_ms);

    // Makes the current wait, or else the next one, return; any thread.
    void wake();

  private:
    struct State;
    State* state_;
};

}  // namespace platform
