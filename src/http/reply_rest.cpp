// Sending the rest of a reply without waiting.
#include "http/reply_rest.h"

namespace velvox {

RestSent SendRest(platform::Socket socket, ReplyRest& rest, std::uint64_t& moved) {
    while (rest.sent < rest.bytes.size()) {
        const long n = platform::try_send(socket, rest.bytes.data() + rest.sent, rest.bytes_left());
        if (n == platform::kWouldBlock)
            return RestSent::blocked;
        if (n <= 0)
            return RestSent::failed;
        rest.sent += static_cast<std::size_t>(n);
        moved += static_cast<std::uint64_t>(n);
    }
    // Sent bytes are dropped: a subscriber's rest lives as long as it does.
    rest.bytes.clear();
    rest.sent = 0;
    while (rest.file != nullptr && rest.file->left() > 0) {
        const long n = rest.file->send_to(socket);
        if (n == platform::kWouldBlock)
            return RestSent::blocked;
        if (n < 0)
            return RestSent::failed;
        moved += static_cast<std::uint64_t>(n);
    }
    rest.file.reset();
    return RestSent::all;
}

}  // namespace velvox
