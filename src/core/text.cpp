// The decimal rule and cut copies.
#include "core/text.h"

#include <cstring>

namespace velvox {

std::int32_t DecimalValue(const char* text) {
    if (text == nullptr)
        return 0;
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f')
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    std::int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (value <= INT32_MAX)
            value = value * 10 + (*p - '0');
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

std::size_t CopyCut(char* buffer, std::size_t size, const char* text) {
    if (size == 0)
        return 0;
    std::size_t n = 0;
    if (text != nullptr) {
        while (n + 1 < size && text[n] != '\0')
            ++n;
        std::memcpy(buffer, text, n);
    }
    buffer[n] = '\0';
    return n;
}

}  // namespace velvox
