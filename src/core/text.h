// Small text rules used throughout: the decimal rule and cut copies into
// fixed-size buffers.
#pragma once
#include <cstddef>
#include <cstdint>

namespace velvox {

// Reads a number the way every numeric text is read here: leading white space,
// an optional sign, then decimal digits up to the first non-digit; no digits
// read as 0. Values beyond the 32-bit range saturate. Returns the number.
std::int32_t DecimalValue(const char* text);

// Copies text into a buffer of size bytes, cut to size - 1 characters, always
// NUL-terminated. Returns the number of characters copied.
std::size_t CopyCut(char* buffer, std::size_t size, const char* text);

template <std::size_t N>
std::size_t CopyCut(char (&buffer)[N], const char* text) {
    return CopyCut(buffer, N, text);
}

}  // namespace velvox
