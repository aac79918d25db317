// The waiting room in front of the connection threads: accepted sockets wait
// here, watched by one readiness thread, until their request has arrived;
// only then is a connection thread given the socket. An idle socket costs a
// descriptor and a few bytes, never a thread. So does a reply that its peer
// reads slowly: what the socket did not take waits here until it is
// writable, and so do live-events subscribers between events.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "http/reply_rest.h"
#include "platform/sockets.h"
#include "platform/threads.h"

namespace velvox {

struct WaitingRoomLimits {
    // A socket whose request has not arrived this long after its accept is
    // closed without a reply; 0 or less waits without limit.
    std::int64_t wait_deadline_ms = 10000;
    // A reply whose peer takes no byte this long is closed; 0 sets no
    // time-out.
    unsigned send_timeout_ms = 30000;
    // Connection threads at once (at least 1); a ready socket over the limit
    // waits in the room until a thread is free.
    int max_connection_threads = 256;
    // Sockets from one client address at once, waiting or being answered;
    // one more is closed at once without a reply. 0 or less: no limit.
    int max_sockets_per_address = 64;
    // Connection threads that may wait for the next ready socket at once.
    int max_idle_threads = 32;
    // How long an idle connection thread waits for the next ready socket.
    std::int64_t thread_linger_ms = 30000;
    // Stack of a connection thread; 0 keeps the platform's default.
    std::size_t thread_stack_bytes = 0;
    // A subscriber that still has this many bytes waiting for its socket
    // when the next event comes cannot keep up, and is dropped.
    std::size_t subscriber_backlog_bytes = 65536;
    // How often subscribers are sent a comment line, so that proxies keep
    // the connection open; 0: never.
    std::int64_t keep_alive_ms = 15000;
    // Called on the readiness thread each time a subscriber's socket is
    // closed (nullptr: nothing); it must return at once.
    void (*subscriber_gone)() = nullptr;
};

// What the room has done since it was made.
struct WaitingRoomCounts {
    std::uint64_t admitted = 0;             // sockets taken in
    std::uint64_t refused_per_address = 0;  // closed at once: address over its limit
    std::uint64_t expired = 0;              // closed at the deadline, nothing received
    std::uint64_t waited_for_thread = 0;    // ready sockets that found no free thread
    std::uint64_t threads_started = 0;      // connection threads
    std::uint64_t thread_start_failures = 0;
    std::uint64_t served = 0;       // handler calls that returned
    std::uint64_t parked = 0;       // replies that waited for their socket to be writable
    std::uint64_t stalled = 0;      // closed at the send time-out, their peer reading nothing
    std::uint64_t subscribers = 0;  // live-events subscribers taken in
    std::uint64_t dropped = 0;      // subscribers closed for not keeping up
};

class WaitingRoom {
  public:
    // Answers one ready socket on a connection thread. The room closes the
    // socket after it returns, or keeps it while what it returns (the rest
    // of the reply, a subscriber) is still to go.
    using Handler = std::function<std::unique_ptr<ReplyRest>(platform::Socket socket,
                                                             const char* client_address)>;
    // A room that calls handler, with the platform's services in force now
    // (its steady clock and thread start).
    WaitingRoom(Handler handler, const WaitingRoomLimits& limits);
    // Stops the room (see stop).
    ~WaitingRoom();
    WaitingRoom(const WaitingRoom&) = delete;
    WaitingRoom& operator=(const WaitingRoom&) = delete;

    // Starts the readiness thread. Returns false when the readiness set or
    // the thread could not be made; the room then closes what it is given.
    bool start();

    // What admit did with a socket.
    enum class Admission {
        refused,  // closed at once: address over its limit, or room not running
        waiting,  // taken in: waits here, or is queued for a connection thread
        kept,     // its request is there: the caller answers it with answer_kept
    };

    // What the caller of admit keeps of a socket it takes in.
    enum class Keep {
        none,    // nothing: the room answers it
        ready,   // the socket when its request is there already
        always,  // the socket: the caller answers it or lets it wait in the room
    };

    // Takes an accepted socket from client_address (any thread) and counts it
    // as that address's. Closes it at once, without a reply, when the address
    // already has its most sockets, and before start or after stop. The room
    // answers it on a connection thread once its request is there, unless
    // keep gives it back to the caller (kept).
    Admission admit(platform::Socket socket, const char* client_address, Keep keep = Keep::none);

    // Lets a socket admit gave back wait in the room after all (it counts as
    // its address's already); closed after stop.
    void wait_in_room(platform::Socket socket, const char* client_address);

    // Answers a socket admit gave back on the calling thread, which counts as
    // a connection thread meanwhile, and closes it. At the connection
    // threads' limit the socket is queued for them instead.
    void answer_kept(platform::Socket socket, const char* client_address);

    // Starts a thread with the room's thread starter and stack size; false
    // when it could not start.
    bool start_thread(platform::ThreadEntry entry, void* argument);

    // The limits the room was made with.
    const WaitingRoomLimits& limits() const;

    // Makes the readiness thread read the clock again now.
    void recheck();

    // Sends event, whose serial is higher than any before, to every
    // subscriber (any thread; returns at once: the readiness thread writes
    // it without waiting on any socket).
    void broadcast(std::shared_ptr<const std::string> event, std::uint64_t serial);

    // Closes every socket still waiting and ends the readiness thread (waits
    // for it); connection threads end after the request they are answering.
    void stop();

    // A snapshot of the counters.
    WaitingRoomCounts counts() const;
    // Connection threads now running (answering or idle).
    int connection_threads() const;
    // Connection threads now waiting for the next ready socket.
    int idle_connection_threads() const;
    // Sockets now waiting in the readiness set for their reply to go on,
    // subscribers included.
    int parked_sockets() const;

    struct Core;

  private:
    // Puts a counted socket in the room: queued for a connection thread when
    // its request is there, else watched; closed (and counted out) after stop.
    void enter(platform::Socket socket, const char* client_address, bool ready);

    std::shared_ptr<Core> core_;
    bool started_ = false;
};

}  // namespace velvox
