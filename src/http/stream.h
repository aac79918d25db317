// The one seam for a connection's I/O: a socket in production, a capture in
// tests. What is fixed is the bytes on the wire, not how many writes carry them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/files.h"

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

    // Sends the next size bytes of file (fewer when it ends early) as the
    // last part of the reply. Returns 0, or -1 when the stream has failed.
    // This one reads the file a piece at a time into send; a socket stream
    // may hand the file to the kernel or park it.
    virtual int send_file(std::unique_ptr<platform::InputFile> file, std::int64_t size);

    // Keeps the connection open after the reply, for live events that come
    // after the state of serial events_seen. Returns false when this stream
    // cannot (it then closes after the reply as usual).
    virtual bool stay_open(std::uint64_t events_seen);
};

}  // namespace velvox
