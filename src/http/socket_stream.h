// The production stream: an accepted socket with a write buffer that gathers
// the many small writes of a reply into few system calls; a page of up to
// kCapacity bytes reaches the peer in one send (one wake-up of the reader).
//
// A parking stream never waits for the peer: what the socket does not take
// at once (the rest of the bytes, the file and its offset) is kept as the
// reply's rest, for the readiness set to send as the socket becomes writable.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "http/block_pool.h"
#include "http/reply_rest.h"
#include "http/stream.h"

namespace velvox {

class SocketStream : public Stream {
  public:
    static constexpr std::size_t kCapacity = kPooledBlockBytes;
    // The system's send buffer of a connection that stays open for events.
    static constexpr int kSubscriberSendBuffer = 32768;

    // How sends that the socket cannot take at once are handled.
    enum class Mode {
        blocking,  // they wait, each buffer up to the socket's send time-out
        parking,   // they are kept as the rest (the socket is made non-blocking)
    };

    // A stream on socket.
    explicit SocketStream(std::intptr_t socket, Mode mode = Mode::blocking);

    long receive(char* buffer, std::size_t size) override;
    int send(const char* data, std::size_t size) override;
    int flush() override;
    bool local_address(char* text, std::size_t size, std::uint16_t& port) override;
    int send_file(std::unique_ptr<platform::InputFile> file, std::int64_t size) override;
    bool stay_open(std::uint64_t events_seen) override;

    // Takes what is left of the reply after the last flush: nullptr when all
    // went out (or the socket failed) and the socket is to be closed.
    std::unique_ptr<ReplyRest> take_rest();

  private:
    // Sends all of data, continuing short sends; returns false on failure.
    // A parking stream keeps what the socket does not take as the rest.
    bool send_all(const char* data, std::size_t size);
    // Makes the socket non-blocking before its first send; false when refused.
    bool ready_to_park();
    // The rest, made when first needed.
    ReplyRest& rest();

    std::intptr_t socket_;
    Mode mode_;
    bool nonblocking_ = false;
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
    std::unique_ptr<ReplyRest> rest_;  // parking: once the socket fell behind
};

}  // namespace velvox
