// Case folding on POSIX: Unicode case folding of UTF-8 text by utf8proc, with
// bytes that are no valid UTF-8 kept as they are.
#include <utf8proc.h>

#include <cstdint>
#include <vector>

#include "platform/text_case.h"

namespace platform {
namespace {

constexpr auto kFolding =
    static_cast<utf8proc_option_t>(UTF8PROC_CASEFOLD | UTF8PROC_COMPOSE | UTF8PROC_STABLE);

// Appends ASCII text with A-Z lowered.
void AppendLowered(std::string_view text, std::string& out) {
    for (char c : text)
        out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
}

// Returns the length of the valid UTF-8 that text begins with.
std::size_t ValidPrefix(std::string_view text) {
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    const auto size = static_cast<utf8proc_ssize_t>(text.size());
    utf8proc_ssize_t at = 0;
    while (at < size) {
        utf8proc_int32_t code = 0;
        const utf8proc_ssize_t length = utf8proc_iterate(bytes + at, size - at, &code);
        if (length <= 0 || code < 0)
            break;
        at += length;
    }
    return static_cast<std::size_t>(at);
}

// Appends valid UTF-8 text folded and composed; keeps text as it is should
// utf8proc refuse it.
void AppendFolded(std::string_view text, std::string& out) {
    if (is_ascii(text)) {
        AppendLowered(text, out);
        return;
    }
    thread_local std::vector<utf8proc_int32_t> codes;
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    const auto size = static_cast<utf8proc_ssize_t>(text.size());
    utf8proc_ssize_t count = -1;
    for (std::size_t room = text.size() + 1;; room = static_cast<std::size_t>(count) + 1) {
        codes.resize(room);
        count = utf8proc_decompose(bytes, size, codes.data(),
                                   static_cast<utf8proc_ssize_t>(room - 1), kFolding);
        if (count < 0 || static_cast<std::size_t>(count) < room)
            break;
    }
    const utf8proc_ssize_t length =
        count < 0 ? count : utf8proc_reencode(codes.data(), count, kFolding);
    if (length < 0) {
        out.append(text);
        return;
    }
    out.append(reinterpret_cast<const char*>(codes.data()), static_cast<std::size_t>(length));
}

}  // namespace

void fold_case(std::string_view text, std::string& out) {
    while (!text.empty()) {
        const std::size_t valid = ValidPrefix(text);
        AppendFolded(text.substr(0, valid), out);
        if (valid < text.size())
            out.push_back(text[valid]);  // a byte of no valid character, as it is
        text.remove_prefix(valid < text.size() ? valid + 1 : valid);
    }
}

}  // namespace platform
