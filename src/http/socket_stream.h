// The production stream: an accepted socket with a write buffer that gathers
// the many small writes of a reply into few system calls; a page of up to
// kCapacity bytes reaches the peer in one send (one wake-up of the reader).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "http/block_pool.h"
#include "http/stream.h"

namespace velvox {

class SocketStream : public Stream {
  public:
    static constexpr std::size_t kCapacity = kPooledBlockBytes;

    // A stream on socket; when the socket has a send time-out, no buffer
    // may take longer than it to go out, however the peer trickles.
    explicit SocketStream(std::intptr_t socket);

    long receive(char* buffer, std::size_t size) override;
    int send(const char* data, std::size_t size) override;
    int flush() override;
    bool local_address(char* text, std::size_t size, std::uint16_t& port) override;

  private:
    // Sends all of data, continuing short sends; returns false on failure.
    bool send_all(const char* data, std::size_t size);

    std::intptr_t socket_;
    long long limit_ms_ = -1;  // the socket's send time-out; 0 for none, -1 not read yet
    bool failed_ = false;
    std::size_t used_ = 0;
    // Back to the pool at the end.
    struct GiveBack {
        void operator()(char* block) const { GiveBackPooledBlock(block); }
    };
    // From the pool, not the stack: connection threads run on small stacks.
    // Without one (memory short) every send goes straight out.
    std::unique_ptr<char[], GiveBack> buffer_;
};

}  // namespace velvox
