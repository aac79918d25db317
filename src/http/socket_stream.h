// The production stream: an accepted socket with a write buffer that gathers
// the many small writes of a reply into few system calls.
#pragma once
#include <cstddef>
#include <cstdint>

#include "http/stream.h"

namespace velvox {

class SocketStream : public Stream {
  public:
    static constexpr std::size_t kCapacity = 16384;

    explicit SocketStream(std::intptr_t socket) : socket_(socket) {}

    long receive(char* buffer, std::size_t size) override;
    int send(const char* data, std::size_t size) override;
    int flush() override;

  private:
    // Sends all of data, continuing short sends; returns false on failure.
    bool send_all(const char* data, std::size_t size);

    std::intptr_t socket_;
    bool failed_ = false;
    std::size_t used_ = 0;
    char buffer_[kCapacity];
};

}  // namespace velvox
