// M3U/M3U8 reading.
#include "playlist.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

namespace player {

namespace {

// True for the white space that surrounds playlist lines and titles.
bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// Returns text without white space at either end.
std::string trim(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && is_space(text[begin]))
        ++begin;
    while (end > begin && is_space(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// True when line starts with prefix, ASCII letters compared without case.
bool starts_with_nocase(const std::string& line, const char* prefix) {
    std::size_t n = std::strlen(prefix);
    if (line.size() < n)
        return false;
    for (std::size_t i = 0; i < n; ++i) {
        char a = line[i];
        char b = prefix[i];
        if (a >= 'a' && a <= 'z')
            a = static_cast<char>(a - 'a' + 'A');
        if (a != b)
            return false;
    }
    return true;
}

// Reads the duration of an EXTINF line: an optional sign and digits, any
// fraction dropped. Anything negative or unreadable means unknown (-1).
std::int32_t parse_seconds(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && is_space(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || text[i] < '0' || text[i] > '9')
        return -1;
    std::int64_t value = 0;
    const std::int64_t cap = std::numeric_limits<std::int32_t>::max() / 1000;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > cap)
            value = cap;  // keeps the length in milliseconds within 32 bits
    }
    if (negative)
        return value == 0 ? 0 : -1;
    return static_cast<std::int32_t>(value);
}

// Returns the file name of an entry line: the part after the last '/' or '\'.
std::string file_name(const std::string& location) {
    std::size_t cut = location.find_last_of("/\\");
    std::string name = cut == std::string::npos ? location : location.substr(cut + 1);
    return name.empty() ? location : name;
}

}  // namespace

Playlist parse_playlist(const std::string& text) {
    Playlist playlist;
    bool have_info = false;
    Entry info;
    std::size_t start = 0;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        start = 3;  // UTF-8 byte order mark of M3U8 files
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty())
            continue;
        if (line[0] == '#') {
            if (starts_with_nocase(line, "#EXTINF:")) {
                std::string rest = line.substr(8);
                std::size_t comma = rest.find(',');
                info.length_s = parse_seconds(rest.substr(0, comma));
                info.title = comma == std::string::npos ? "" : trim(rest.substr(comma + 1));
                have_info = true;
            }
            continue;
        }
        Entry entry;
        if (have_info) {
            entry = info;
            if (entry.title.empty())
                entry.title = file_name(line);
        } else {
            entry.title = file_name(line);
            entry.length_s = -1;
        }
        playlist.push_back(entry);
        have_info = false;
    }
    return playlist;
}

bool read_playlist(const std::string& path, Playlist& playlist, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = "cannot read playlist '" + path + "': " + std::strerror(errno);
        return false;
    }
    std::string text;
    char buffer[8192];
    for (;;) {
        std::size_t n = std::fread(buffer, 1, sizeof buffer, file);
        text.append(buffer, n);
        if (n < sizeof buffer)
            break;
    }
    const bool failed = std::ferror(file) != 0;
    const int read_errno = errno;
    std::fclose(file);
    if (failed) {
        error = "cannot read playlist '" + path + "': " + std::strerror(read_errno);
        return false;
    }
    playlist = parse_playlist(text);
    return true;
}

}  // namespace player
