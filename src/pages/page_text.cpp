// Token substitution and escaping for the pages.
#include "pages/page_text.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace velvox {

namespace {

// The character reference that stands for each byte in HTML text; empty for
// the bytes that stand for themselves.
constexpr std::array<std::string_view, 256> kReferences = [] {
    std::array<std::string_view, 256> table{};
    table['&'] = "&amp;";
    table['<'] = "&lt;";
    table['>'] = "&gt;";
    table['"'] = "&quot;";
    table['\''] = "&#39;";
    return table;
}();

// Whether any of the eight bytes of word is byte (the zero-byte test on
// word with byte cancelled out).
constexpr bool HasByte(std::uint64_t word, std::uint64_t byte) {
    const std::uint64_t x = word ^ (0x0101010101010101ull * byte);
    return ((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull) != 0;
}

// Whether any of the eight bytes at text needs a character reference.
bool NeedsReference(const char* text) {
    std::uint64_t word;
    std::memcpy(&word, text, sizeof word);
    return HasByte(word, '&') || HasByte(word, '<') || HasByte(word, '>') || HasByte(word, '"') ||
           HasByte(word, '\'');
}

}  // namespace

std::string ReplaceAll(std::string_view text, std::string_view token,
                       std::string_view replacement) {
    std::string out;
    out.reserve(text.size() + replacement.size());
    std::size_t from = 0;
    while (!token.empty()) {
        std::size_t at = text.find(token, from);
        if (at == std::string_view::npos)
            break;
        out.append(text.substr(from, at - from));
        out.append(replacement);
        from = at + token.size();
    }
    out.append(text.substr(from));
    return out;
}

void AppendHtmlEscaped(std::string& out, std::string_view text) {
    // The text between two characters to escape goes out in one piece.
    std::size_t from = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // Most titles need no reference: eight bytes are passed over at once.
        while (i + 8 <= text.size() && !NeedsReference(text.data() + i))
            i += 8;
        if (i >= text.size())
            break;
        const std::string_view reference = kReferences[static_cast<unsigned char>(text[i])];
        if (reference.empty())
            continue;
        out.append(text.data() + from, i - from);
        out.append(reference);
        from = i + 1;
    }
    out.append(text.data() + from, text.size() - from);
}

std::string HtmlEscaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendHtmlEscaped(out, text);
    return out;
}

std::string HtmlEscapedStrictly(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || byte < 0x20 || byte == 0x7F) {
            out += "&#";
            out += std::to_string(byte);
            out += ';';
        } else {
            AppendHtmlEscaped(out, std::string_view(&c, 1));
        }
    }
    return out;
}

void AppendPercentEncoded(std::string& out, std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    for (char c : text) {
        bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out += c;
        } else {
            auto byte = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
}

}  // namespace velvox
