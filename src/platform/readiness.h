// Waiting until sockets become readable or writable: one set of sockets
// watched by one thread with the platform's readiness call (epoll on Linux,
// WSAPoll on Windows), which any other thread can wake.
#pragma once
#include <cstddef>

#include "platform/sockets.h"

namespace platform {

// What a watched socket is waited for: readable (data, the end of the
// stream) or writable (room in its send buffer); a failure counts as both.
enum class Interest { readable, writable };

class ReadySet {
  public:
    ReadySet();
    ~ReadySet();
    ReadySet(const ReadySet&) = delete;
    ReadySet& operator=(const ReadySet&) = delete;

    // Returns whether the set and its wake-up channel could be made; a set
    // that is not usable watches nothing and its wait fails.
    bool usable() const;

    // Watches socket for interest. Watching thread only. Returns false when
    // it cannot be watched.
    bool add(Socket socket, Interest interest = Interest::readable);

    // Watches a watched socket for interest instead. Watching thread only.
    // Returns false when that failed (it is then no longer watched).
    bool change(Socket socket, Interest interest);

    // Stops watching socket (before it is closed or handed on). Watching
    // thread only.
    void remove(Socket socket);

    // Waits at most timeout_ms (negative: without limit) for a watched
    // socket to be as watched for, or for wake(). Writes at most capacity
    // such sockets to ready; those stay watched until removed. Returns their
    // count (0 after a time-out or a wake), or -1 when the wait failed.
    int wait(Socket* ready, std::size_t capacity, int timeout_ms);

    // Makes the current wait, or else the next one, return; any thread.
    void wake();

  private:
    struct State;
    State* state_;
};

}  // namespace platform
