// The buffered socket stream.
#include "http/socket_stream.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include "platform/clock.h"
#include "platform/sockets.h"

namespace velvox {

SocketStream::SocketStream(std::intptr_t socket) : socket_(socket), buffer_(TakePooledBlock()) {}

long SocketStream::receive(char* buffer, std::size_t size) {
    return platform::receive(socket_, buffer, size);
}

// Buffers data, flushing first when it does not fit; data at least as large
// as the buffer goes straight out. Returns size, or -1 once the socket failed.
int SocketStream::send(const char* data, std::size_t size) {
    if (failed_)
        return -1;
    if (used_ + size > kCapacity && flush() != 0)
        return -1;
    if (size >= kCapacity || buffer_ == nullptr) {
        if (!send_all(data, size))
            return -1;
    } else {
        std::memcpy(buffer_.get() + used_, data, size);
        used_ += size;
    }
    return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

// Sends whatever is buffered; returns 0, or -1 when the socket failed.
int SocketStream::flush() {
    if (failed_)
        return -1;
    std::size_t pending = used_;
    used_ = 0;
    if (pending > 0 && !send_all(buffer_.get(), pending))
        return -1;
    return 0;
}

bool SocketStream::send_all(const char* data, std::size_t size) {
    // The socket's time-out bounds each send; a peer that reads a little
    // before each runs out would hold the thread for ever, so the whole of
    // this data gets that time too.
    // The time-out is read from the socket only once a send fell short, which
    // a reply that fits the socket's buffer never does.
    const std::int64_t start = platform::steady_milliseconds();
    while (size > 0) {
        long sent = platform::send(socket_, data, size);
        if (sent <= 0) {
            failed_ = true;
            return false;
        }
        data += sent;
        size -= static_cast<std::size_t>(sent);
        if (size > 0 && limit_ms_ < 0)
            limit_ms_ = static_cast<long long>(platform::send_timeout(socket_));
        if (size > 0 && limit_ms_ > 0 && platform::steady_milliseconds() - start >= limit_ms_) {
            failed_ = true;
            return false;
        }
    }
    return true;
}

bool SocketStream::local_address(char* text, std::size_t size, std::uint16_t& port) {
    return platform::local_address(socket_, text, size, port);
}

}  // namespace velvox
