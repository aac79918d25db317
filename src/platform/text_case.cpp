// The parts of case-blind text that are the same on every platform: the A-Z
// rule and the search of folded text in titles kept as they are.
#include "platform/text_case.h"

#include <array>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {
namespace {

// Every byte with A-Z turned into a-z.
constexpr std::array<unsigned char, 256> kLowered = [] {
    std::array<unsigned char, 256> table{};
    for (unsigned c = 0; c < 256; ++c)
        table[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    return table;
}();

// Returns the upper-case letter of a-z, any other byte as it is.
unsigned char Raised(unsigned char c) {
    return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
}

// Returns true when the needle.size() bytes at text, A-Z read as a-z, are needle.
bool MatchesAt(const char* text, std::string_view needle) {
    for (std::size_t j = 0; j < needle.size(); ++j) {
        if (kLowered[static_cast<unsigned char>(text[j])] != static_cast<unsigned char>(needle[j]))
            return false;
    }
    return true;
}

// Tries every place in turn; for the few bytes a wider step leaves over.
const char* FindEachPlace(const char* text, std::size_t size, std::string_view needle) {
    for (std::size_t i = 0; i + needle.size() <= size; ++i) {
        if (MatchesAt(text + i, needle))
            return text + i;
    }
    return nullptr;
}

#if defined(__SSE2__)
// Looks at 16 places at once: a place is tried only when its first and its
// last byte fit (in either case), which few places do.
const char* FindWide(const char* text, std::size_t size, std::string_view needle) {
    const std::size_t last = needle.size() - 1;
    const auto first_byte = static_cast<unsigned char>(needle.front());
    const auto last_byte = static_cast<unsigned char>(needle.back());
    const __m128i first_lower = _mm_set1_epi8(static_cast<char>(first_byte));
    const __m128i first_upper = _mm_set1_epi8(static_cast<char>(Raised(first_byte)));
    const __m128i last_lower = _mm_set1_epi8(static_cast<char>(last_byte));
    const __m128i last_upper = _mm_set1_epi8(static_cast<char>(Raised(last_byte)));
    std::size_t i = 0;
    for (; i + last + 16 <= size; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + last));
        const __m128i at_first =
            _mm_or_si128(_mm_cmpeq_epi8(a, first_lower), _mm_cmpeq_epi8(a, first_upper));
        const __m128i at_last =
            _mm_or_si128(_mm_cmpeq_epi8(b, last_lower), _mm_cmpeq_epi8(b, last_upper));
        auto places = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(at_first, at_last)));
        while (places != 0) {
            const auto bit = static_cast<std::size_t>(__builtin_ctz(places));
            if (MatchesAt(text + i + bit, needle))
                return text + i + bit;
            places &= places - 1;
        }
    }
    return FindEachPlace(text + i, size - i, needle);
}
#else
// Horspool's search: after a miss the window moves on by how far the byte
// under its last place stands from the end of the needle.
const char* FindWide(const char* text, std::size_t size, std::string_view needle) {
    const std::size_t last = needle.size() - 1;
    std::array<std::uint8_t, 256> step;
    const auto longest = static_cast<std::uint8_t>(needle.size() < 255 ? needle.size() : 255);
    step.fill(longest);
    for (std::size_t j = 0; j < last; ++j) {
        const auto c = static_cast<unsigned char>(needle[j]);
        const auto distance = static_cast<std::uint8_t>(last - j < 255 ? last - j : 255);
        step[c] = distance;
        step[Raised(c)] = distance;
    }
    for (std::size_t i = 0; i + last < size;) {
        if (MatchesAt(text + i, needle))
            return text + i;
        i += step[static_cast<unsigned char>(text[i + last])];
    }
    return nullptr;
}
#endif

}  // namespace

bool is_ascii(std::string_view text) {
    unsigned char seen = 0;
    for (char c : text)
        seen = static_cast<unsigned char>(seen | static_cast<unsigned char>(c));
    return seen < 0x80;
}

bool equals_lowered(std::string_view text, std::string_view folded) {
    return text.size() == folded.size() && MatchesAt(text.data(), folded);
}

const char* find_lowered(const char* text, std::size_t size, std::string_view needle) {
    if (needle.empty())
        return text;
    if (needle.size() > size)
        return nullptr;
    if (size - needle.size() < 16)
        return FindEachPlace(text, size, needle);
    return FindWide(text, size, needle);
}

}  // namespace platform
