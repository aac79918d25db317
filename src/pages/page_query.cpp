// Query parameters of page requests and the tokenizing rules shared with the
// song request endpoint and the admin actions.
#include "pages/page_query.h"

#include <cstring>

#include "core/settings.h"
#include "core/text.h"

namespace velvox {
namespace {

constexpr std::size_t kTargetCopyLimit = 1023;
constexpr std::size_t kPieceLimit = 254;

// Copies at most limit characters of value into a field of size bytes
// (further cut to size - 1), NUL-terminated.
template <std::size_t N>
void CopyField(char (&field)[N], std::string_view value, std::size_t limit) {
    std::size_t n = value.size();
    if (n > limit)
        n = limit;
    if (n > N - 1)
        n = N - 1;
    std::memcpy(field, value.data(), n);
    field[n] = '\0';
}

// Returns whether c is a hexadecimal digit, and its worth in value.
bool HexDigit(char c, unsigned& value) {
    if (c >= '0' && c <= '9') {
        value = static_cast<unsigned>(c - '0');
        return true;
    }
    if (c >= 'A' && c <= 'F') {
        value = static_cast<unsigned>(c - 'A') + 10u;
        return true;
    }
    if (c >= 'a' && c <= 'f') {
        value = static_cast<unsigned>(c - 'a') + 10u;
        return true;
    }
    return false;
}

}  // namespace

// The position within the query lives in this call's locals only, so any
// number of connection threads can split their targets at once.
void ForEachQueryPiece(
    const char* target,
    const std::function<void(std::string_view key, std::string_view value)>& visit) {
    if (target == nullptr)
        return;
    std::size_t length = 0;
    while (length < kTargetCopyLimit && target[length] != '\0')
        ++length;
    std::string_view text(target, length);
    std::size_t mark = text.find('?');
    if (mark == std::string_view::npos)
        return;
    std::string_view rest = text.substr(mark + 1);
    while (!rest.empty()) {
        std::size_t amp = rest.find('&');
        std::string_view piece = rest.substr(0, amp);
        rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
        if (piece.empty())
            continue;
        std::size_t eq = piece.find('=');
        if (eq == std::string_view::npos)
            continue;
        std::string_view key = piece.substr(0, eq);
        std::string_view value = piece.substr(eq + 1);
        if (key.size() > kPieceLimit)
            key = key.substr(0, kPieceLimit);
        if (value.size() > kPieceLimit)
            value = value.substr(0, kPieceLimit);
        visit(key, value);
    }
}

// Reads every known key of a page request; the last occurrence of a key wins.
void ParsePageQuery(const char* target, PageQuery& query) {
    char pass[255] = "";
    ForEachQueryPiece(target, [&](std::string_view key, std::string_view value) {
        if (key == "pass") {
            CopyField(pass, value, kPieceLimit);
        } else if (key == "errorCode") {
            CopyField(query.errorCode, value, 3);
        } else if (key == "wait") {
            CopyField(query.wait, value, 11);
        } else if (key == "current") {
            CopyField(query.current, value, 24);
        } else if (key == "psearch") {
            CopyField(query.psearch, value, kPieceLimit);
            DecodeQueryValue(query.psearch);
        } else if (key == "startswith") {
            CopyField(query.startswith, value, kPieceLimit);
            DecodeQueryValue(query.startswith);
        }
    });
    SettingsSnapshot settings = CurrentSettings();
    const char* password = settings->AdminPassword;
    query.isAdmin = password[0] != '\0' && std::strcmp(pass, password) == 0;
    query.psearchGiven = query.psearch[0] != '\0';
    query.startswithGiven = query.startswith[0] != '\0';
}

// Decodes in place as forms encode: a "+" is a space and an escape its byte,
// so "%2B" stays a plus (a zero byte ends the text). Reads only up to the
// value's own end.
void DecodeQueryValue(char* value) {
    if (value == nullptr)
        return;
    std::size_t length = std::strlen(value);
    std::size_t in = 0;
    std::size_t out = 0;
    while (in < length) {
        char c = value[in];
        if (c != '%') {
            value[out++] = c == '+' ? ' ' : c;
            ++in;
            continue;
        }
        std::size_t count = length - in - 1;
        if (count > 2)
            count = 2;
        unsigned char byte = HexEscapeValue(value + in + 1, count);
        in += 1 + count;
        if (byte == 0)
            break;
        value[out++] = static_cast<char>(byte);
    }
    value[out] = '\0';
}

// Each character first multiplies the value by 16, then adds its worth; the
// first character that is not a hexadecimal digit ends the escape.
unsigned char HexEscapeValue(const char* digits, std::size_t count) {
    unsigned value = 0;
    for (std::size_t i = 0; i < count && i < 2; ++i) {
        value *= 16u;
        unsigned digit = 0;
        if (!HexDigit(digits[i], digit))
            break;
        value += digit;
    }
    return static_cast<unsigned char>(value);
}

}  // namespace velvox
