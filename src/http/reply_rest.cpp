// Sending the rest of a reply without waiting.
#include "http/reply_rest.h"

#include <algorithm>

namespace velvox {

// A turn ends when the socket would block or kRestTurnBytes have gone; a
// socket still writable then gets its next turn from the readiness wait.
RestSent SendRest(platform::Socket socket, ReplyRest& rest, std::uint64_t& moved) {
    std::size_t turn = 0;  // the bytes this turn has moved
    while (rest.sent < rest.bytes.size()) {
        if (turn >= kRestTurnBytes)
            return RestSent::blocked;
        const std::size_t most = std::min(rest.bytes_left(), kRestTurnBytes - turn);
        const long n = platform::try_send(socket, rest.bytes.data() + rest.sent, most);
        if (n == platform::kWouldBlock)
            return RestSent::blocked;
        if (n <= 0)
            return RestSent::failed;
        rest.sent += static_cast<std::size_t>(n);
        turn += static_cast<std::size_t>(n);
        moved += static_cast<std::uint64_t>(n);
    }
    // Sent bytes are dropped: a subscriber's rest lives as long as it does.
    rest.bytes.clear();
    rest.sent = 0;
    while (rest.file != nullptr && rest.file->left() > 0) {
        if (turn >= kRestTurnBytes)
            return RestSent::blocked;
        const long n = rest.file->send_to(socket, kRestTurnBytes - turn);
        if (n == platform::kWouldBlock)
            return RestSent::blocked;
        if (n < 0)
            return RestSent::failed;
        turn += static_cast<std::size_t>(n);
        moved += static_cast<std::uint64_t>(n);
    }
    rest.file.reset();
    return RestSent::all;
}

}  // namespace velvox
