// The threads that accept connections. Usually one thread accepts and
// answers each request that is there at its accept itself, as an event loop
// would, with no hand between threads; a socket whose request has not come
// yet goes to the waiting room. A watch thread starts another accepting
// thread when connections wait while every accepting thread has been busy
// answering for a while (a reply stuck on a slow peer, a player slow to
// answer), so no one answer holds up the others for long.
#pragma once
#include <cstddef>

#include "platform/sockets.h"
#include "server/waiting_room.h"

namespace velvox {

// Accepts one connection on listening and writes the peer's address text;
// kNoSocket when accepting is over.
using AcceptOne = platform::Socket (*)(platform::Socket listening, char* address_text,
                                       std::size_t size);

struct AcceptorsSetup {
    platform::Socket listening = platform::kNoSocket;
    WaitingRoom::Handler handler;
    WaitingRoomLimits limits;
    AcceptOne accept_one = nullptr;
    // How often the watch looks while requests are being answered, and how
    // long connections may wait with every accepting thread busy.
    int watch_period_ms = 10;
    // Called by the calling thread (the listener's own) before and after it
    // answers a request itself: an answer may wait for the player's window,
    // and quit, on that window's thread, waits only for a listener that is
    // not answering. Null: nothing is called.
    void (*answer_begins)() = nullptr;
    void (*answer_ends)() = nullptr;
    // Called with the room once it runs, and with nullptr before it stops.
    // Null: nothing is called.
    void (*room_runs)(WaitingRoom* room) = nullptr;
};

// Accepts on the calling thread, with the room, the watch and the accepting
// threads it starts, until accepting is over. Returns false at once, having
// accepted nothing, when the room or the watch could not be started.
bool AcceptWithRoom(const AcceptorsSetup& setup);

}  // namespace velvox
