// The buffered socket stream.
#include "http/socket_stream.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/clock.h"
#include "platform/sockets.h"

namespace velvox {

SocketStream::SocketStream(std::intptr_t socket, Mode mode)
    : socket_(socket), mode_(mode), buffer_(TakePooledBlock()) {}

long SocketStream::receive(char* buffer, std::size_t size) {
    return platform::receive(socket_, buffer, size);
}

// Buffers data, flushing first when it does not fit; data at least as large
// as the buffer goes straight out. Once the socket has fallen behind, data
// joins the rest. Returns size, or -1 once the socket failed.
int SocketStream::send(const char* data, std::size_t size) {
    if (failed_ || (rest_ != nullptr && rest_->file != nullptr))
        return -1;  // nothing may follow a parked file
    const int result = size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
    if (rest_ != nullptr) {
        rest_->bytes.append(data, size);
        return result;
    }
    if (used_ + size > kCapacity && flush() != 0)
        return -1;
    if (size >= kCapacity || buffer_ == nullptr) {
        if (!send_all(data, size))
            return -1;
    } else {
        std::memcpy(buffer_.get() + used_, data, size);
        used_ += size;
    }
    return result;
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

int SocketStream::send_file(std::unique_ptr<platform::InputFile> file, std::int64_t size) {
    if (mode_ == Mode::blocking)
        return Stream::send_file(std::move(file), size);
    if (flush() != 0 || !ready_to_park())
        return -1;
    const bool behind = rest_ != nullptr;
    rest().file = std::make_unique<platform::FileRest>(std::move(file), size);
    if (behind)
        return 0;  // goes after the bytes still waiting
    std::uint64_t moved = 0;
    switch (SendRest(socket_, *rest_, moved)) {
        case RestSent::failed:
            failed_ = true;
            rest_.reset();
            return -1;
        case RestSent::all:
            if (!rest_->stays_open)
                rest_.reset();
            return 0;
        case RestSent::blocked:
            return 0;
    }
    return 0;
}

bool SocketStream::stay_open(std::uint64_t events_seen) {
    if (mode_ == Mode::blocking || failed_ || !ready_to_park())
        return false;
    // Events are small: a small buffer in the system bounds what a thousand
    // subscribers hold there, and shows soon which cannot keep up.
    platform::set_send_buffer(socket_, kSubscriberSendBuffer);
    rest().stays_open = true;
    rest_->events_seen = events_seen;
    return true;
}

std::unique_ptr<ReplyRest> SocketStream::take_rest() {
    if (failed_ || (rest_ != nullptr && !rest_->pending() && !rest_->stays_open))
        return nullptr;
    return std::move(rest_);
}

bool SocketStream::ready_to_park() {
    if (!nonblocking_)
        nonblocking_ = platform::set_nonblocking(socket_);
    return nonblocking_;
}

ReplyRest& SocketStream::rest() {
    if (rest_ == nullptr)
        rest_ = std::make_unique<ReplyRest>();
    return *rest_;
}

bool SocketStream::send_all(const char* data, std::size_t size) {
    if (mode_ == Mode::parking) {
        if (!ready_to_park()) {
            failed_ = true;
            return false;
        }
        while (size > 0) {
            const long sent = platform::try_send(socket_, data, size);
            if (sent == platform::kWouldBlock) {
                rest().bytes.append(data, size);
                return true;
            }
            if (sent <= 0) {
                failed_ = true;
                return false;
            }
            data += sent;
            size -= static_cast<std::size_t>(sent);
        }
        return true;
    }
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
