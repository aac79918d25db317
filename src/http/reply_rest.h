// What is left of a reply when its handler returns: the bytes and the file
// the peer has not taken yet, and whether the connection stays open for live
// events. It waits in the readiness set, not on a thread, and goes on as the
// socket becomes writable.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/files.h"
#include "platform/sockets.h"

namespace velvox {

struct ReplyRest {
    std::string bytes;  // go first, from sent on
    std::size_t sent = 0;
    std::unique_ptr<platform::FileRest> file;  // goes after the bytes
    // A live-events subscriber: the socket stays open once all has gone.
    bool stays_open = false;
    // The serial of the last event the subscriber has the state of.
    std::uint64_t events_seen = 0;

    // Whether bytes or file bytes are still to go.
    bool pending() const { return sent < bytes.size() || (file != nullptr && file->left() > 0); }
    // The bytes still to go before the file.
    std::size_t bytes_left() const { return bytes.size() - sent; }
};

// What a turn of sending a rest came to.
enum class RestSent {
    all,      // nothing is left
    blocked,  // the socket takes no more now, or the turn is over: go on once it is writable
    failed,   // the socket failed: the rest is lost
};

// The most bytes one turn moves. A socket may take megabytes before it would
// block (Linux grows a loopback socket's send buffer up to 4 MiB, and Wine's
// sockets are Linux sockets); sent in one turn, that would hold a connection
// thread, or the readiness thread, on one peer for a long while (under Wine a
// send costs a round trip to the wineserver: about 0.5 ms per 16 KiB).
constexpr std::size_t kRestTurnBytes = 64 * 1024;

// Sends what the socket (made non-blocking) takes of rest now, at most
// kRestTurnBytes, the bytes first, then the file. Adds the count of bytes
// that went to moved.
RestSent SendRest(platform::Socket socket, ReplyRest& rest, std::uint64_t& moved);

}  // namespace velvox
