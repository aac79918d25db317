// JSON strings from titles of any bytes.
#include "pages/json_text.h"

#include <cstddef>

namespace velvox {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// Returns the length of the well-formed UTF-8 sequence text starts with
// (text is not empty). When it starts with none, returns 0 and sets bad to
// the length of its maximal ill-formed part: the longest start of a sequence
// that could still have become well-formed, at least one byte.
std::size_t WellFormedLength(std::string_view text, std::size_t& bad) {
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80)
        return 1;
    std::size_t follow = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        follow = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        follow = 2;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        follow = 3;
        low = lead == 0xF0 ? 0x90 : 0x80;   // no overlong forms
        high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing beyond U+10FFFF
    } else {
        bad = 1;
        return 0;
    }
    for (std::size_t i = 1; i <= follow; ++i) {
        // A sequence cut short by the end of the text is ill-formed as well.
        const bool fits = i < text.size() && static_cast<unsigned char>(text[i]) >= low &&
                          static_cast<unsigned char>(text[i]) <= high;
        if (!fits) {
            bad = i;
            return 0;
        }
        low = 0x80;
        high = 0xBF;
    }
    return follow + 1;
}

// Appends one byte below 0x80, escaped where JSON wants it (and DEL too).
void AppendAscii(std::string& out, char c) {
    static const char kHex[] = "0123456789abcdef";
    switch (c) {
        case '"':
            out += "\\\"";
            return;
        case '\\':
            out += "\\\\";
            return;
        case '\b':
            out += "\\b";
            return;
        case '\f':
            out += "\\f";
            return;
        case '\n':
            out += "\\n";
            return;
        case '\r':
            out += "\\r";
            return;
        case '\t':
            out += "\\t";
            return;
        default:
            break;
    }
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
        out += "\\u00";
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    } else {
        out += c;
    }
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t bad = 0;
        const std::size_t length = WellFormedLength(text.substr(at), bad);
        if (length == 0) {
            out += kReplacement;
            at += bad;
        } else {
            if (length == 1)
                AppendAscii(out, text[at]);
            else
                out.append(text.substr(at, length));
            at += length;
        }
    }
    out += '"';
}

}  // namespace velvox
