// The one seam for a connection's I/O: a socket in production, a capture in
// tests. What is fixed is the bytes on the wire, not how many writes carry them.
#pragma once
#include <cstddef>
#include <cstdint>

namespace velvox {

class Stream {
  public:
    virtual ~Stream() = default;
    // Receives once, at most size bytes; returns the count, 0 when the peer
    // closed, -1 on failure.
    virtual long receive(char* buffer, std::size_t size) = 0;
    // Sends bytes (possibly buffered); returns size, or -1 when the stream
    // has failed.
    virtual int send(const char* data, std::size_t size) = 0;
    // Pushes out whatever is buffered; returns 0, or -1 when that failed.
    virtual int flush() = 0;
    // Writes the address (dotted decimal, cut to size - 1) and port of this
    // end of the connection, the ones the peer reached. Returns false when
    // the stream has none.
    virtual bool local_address(char* text, std::size_t size, std::uint16_t& port) {
        (void)text;
        (void)size;
        (void)port;
        return false;
    }
};

}  // namespace velvox
