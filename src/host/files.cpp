// The parts of the input file that are the same on every platform: both
// keep the C library's stream.
#include <cstdio>

#include "host/files.h"

namespace host {

InputFile::~InputFile() {
    close();
}

std::size_t InputFile::read(char* buffer, std::size_t size) {
    auto* f = static_cast<std::FILE*>(file_);
    if (f == nullptr)
        return 0;
    return std::fread(buffer, 1, size, f);
}

void InputFile::close() {
    if (file_ != nullptr)
        std::fclose(static_cast<std::FILE*>(file_));
    file_ = nullptr;
}

}  // namespace host
