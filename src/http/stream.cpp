// What every stream does the same way.
#include "http/stream.h"

namespace velvox {

// Send results are not looked at while reading: the file is read to size or
// to a read that brings nothing, and the stream's state is what counts.
int Stream::send_file(std::unique_ptr<platform::InputFile> file, std::int64_t size) {
    char chunk[8096];
    int result = 0;
    while (size > 0) {
        const std::size_t wanted = size < static_cast<std::int64_t>(sizeof chunk)
                                       ? static_cast<std::size_t>(size)
                                       : sizeof chunk;
        const std::size_t n = file->read(chunk, wanted);
        if (n == 0)
            break;
        result = send(chunk, n) < 0 ? -1 : 0;
        size -= static_cast<std::int64_t>(n);
    }
    return result;
}

bool Stream::stay_open(std::uint64_t) {
    return false;
}

}  // namespace velvox
