// The capture stream for byte-exact reply tests.
#include "capture_stream.h"

#include <algorithm>
#include <cstring>

namespace velvox::testing {

long CaptureStream::receive(char* buffer, std::size_t size) {
    if (receive_fails_)
        return -1;
    std::size_t n = std::min(size, request_.size());
    std::memcpy(buffer, request_.data(), n);
    return static_cast<long>(n);
}

int CaptureStream::send(const char* data, std::size_t size) {
    ++calls_;
    if (fail_from_ > 0 && calls_ >= fail_from_)
        failed_ = true;
    if (failed_)
        return -1;
    sent_.append(data, size);
    return static_cast<int>(size);
}

std::int64_t fixed_clock() {
    return 784111777;
}

}  // namespace velvox::testing
