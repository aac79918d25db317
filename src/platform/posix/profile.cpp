// Private-profile files on POSIX: a small reader and writer of our own that
// follow the rules of the Windows profile API, so that a plugin.ini moves
// freely between the two builds.
#include "platform/profile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

namespace {

// One line of the file: its text without the line end, and the line end
// itself ("\r\n", "\n", or empty for a last line that has none).
struct Line {
    std::string text;
    std::string end;
};

// Returns true for the blanks dropped around names and values.
bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// Returns text without blanks at either end.
std::string_view trim(std::string_view text) {
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Compares two names without regard to the case of A-Z; returns true when equal.
bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// Reads the whole file into content. Returns 0 on success, otherwise the
// errno of the failure (ENOENT for a missing file).
int read_file(const char* path, std::string& content) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return errno != 0 ? errno : EIO;
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        content.append(chunk, n);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return failed ? EIO : 0;
}

// Splits the file's content into lines, keeping each line's own line end.
std::vector<Line> split_lines(const std::string& content) {
    std::vector<Line> lines;
    std::size_t start = 0;
    // A UTF-8 byte order mark is not part of the first line's text.
    if (content.compare(0, 3, "\xEF\xBB\xBF") == 0)
        start = 3;
    while (start < content.size()) {
        std::size_t newline = content.find('\n', start);
        Line line;
        if (newline == std::string::npos) {
            line.text = content.substr(start);
            start = content.size();
        } else {
            std::size_t text_end = newline;
            if (text_end > start && content[text_end - 1] == '\r')
                --text_end;
            line.text = content.substr(start, text_end - start);
            line.end = content.substr(text_end, newline + 1 - text_end);
            start = newline + 1;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

// When line is a section header, stores its name and returns true.
bool section_name(const std::string& line, std::string_view& name) {
    std::string_view text = trim(line);
    if (text.empty() || text.front() != '[')
        return false;
    text.remove_prefix(1);
    std::size_t close = text.find(']');
    name = trim(text.substr(0, close));
    return true;
}

// When line is a "key=value" line, stores its trimmed key and value and
// returns true. Comment lines (starting with ';') are never keys.
bool key_line(const std::string& line, std::string_view& key, std::string_view& value) {
    std::string_view text(line);
    std::size_t equals = text.find('=');
    if (equals == std::string_view::npos)
        return false;
    key = trim(text.substr(0, equals));
    if (!key.empty() && key.front() == ';')
        return false;
    value = trim(text.substr(equals + 1));
    return true;
}

// Finds the line of key in section; returns its index or -1.
long find_key(const std::vector<Line>& lines, std::string_view section, std::string_view key,
              std::string_view& value) {
    bool inside = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view name;
        std::string_view line_key;
        if (section_name(lines[i].text, name)) {
            inside = same_name(name, section);
        } else if (inside && key_line(lines[i].text, line_key, value) && same_name(line_key, key)) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

// Copies text into buffer cut to size - 1 characters; returns the length stored.
std::size_t copy_cut(std::string_view text, char* buffer, std::size_t size) {
    std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return n;
}

// Returns the line end new lines get: the one the file already uses, else LF.
std::string line_end_of(const std::vector<Line>& lines) {
    for (const Line& line : lines) {
        if (!line.end.empty())
            return line.end;
    }
    return "\n";
}

// Writes content to path through a temporary file renamed over it, so that a
// failed write never leaves half a file behind. Returns true on success.
bool replace_file(const char* path, const std::string& content, bool existed) {
    std::string temporary = std::string(path) + ".new";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool ok = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    ok = std::fflush(file) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    struct stat old_status;
    if (ok && existed && ::stat(path, &old_status) == 0)
        ::chmod(temporary.c_str(), old_status.st_mode & 07777);
    if (ok)
        ok = std::rename(temporary.c_str(), path) == 0;
    if (!ok)
        std::remove(temporary.c_str());
    return ok;
}

}  // namespace

std::size_t read_profile_string(const char* path, const char* section, const char* key,
                                const char* fallback, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0)
        return 0;
    std::string_view result = fallback != nullptr ? std::string_view(fallback) : "";
    while (!result.empty() && is_blank(result.back()))
        result.remove_suffix(1);
    std::string content;
    std::vector<Line> lines;
    std::string_view value;
    if (path != nullptr && section != nullptr && key != nullptr && read_file(path, content) == 0) {
        lines = split_lines(content);
        if (find_key(lines, section, key, value) >= 0) {
            result = value;
            // One pair of matching quotes around the whole value is dropped.
            if (result.size() >= 2 && (result.front() == '"' || result.front() == '\'') &&
                result.back() == result.front()) {
                result = result.substr(1, result.size() - 2);
            }
        }
    }
    return copy_cut(result, buffer, size);
}

bool write_profile_string(const char* path, const char* section, const char* key,
                          const char* value) {
    if (path == nullptr || section == nullptr || key == nullptr)
        return false;
    std::string_view new_value = value != nullptr ? std::string_view(value) : "";
    new_value = new_value.substr(0, new_value.find_first_of("\r\n"));

    std::string content;
    const int error = read_file(path, content);
    if (error != 0 && error != ENOENT)
        return false;  // never replace a file we could not read
    std::vector<Line> lines = split_lines(content);
    const std::string eol = line_end_of(lines);

    std::string_view old_value;
    long at = find_key(lines, section, key, old_value);
    if (at >= 0) {
        // Keep the key as the file spells it; only the value changes.
        std::string_view old_key;
        key_line(lines[static_cast<std::size_t>(at)].text, old_key, old_value);
        lines[static_cast<std::size_t>(at)].text =
            std::string(old_key) + "=" + std::string(new_value);
    } else {
        // The new key goes after the last non-blank line of the first section
        // of that name, so blank lines before the next section stay there.
        long header = -1;
        long last = -1;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            std::string_view name;
            if (section_name(lines[i].text, name)) {
                if (header >= 0)
                    break;
                if (same_name(name, section))
                    header = last = static_cast<long>(i);
            } else if (header >= 0 && !trim(lines[i].text).empty()) {
                last = static_cast<long>(i);
            }
        }
        Line entry{std::string(key) + "=" + std::string(new_value), eol};
        if (header >= 0) {
            Line& before = lines[static_cast<std::size_t>(last)];
            if (before.end.empty())
                before.end = eol;
            lines.insert(lines.begin() + last + 1, std::move(entry));
        } else {
            if (!lines.empty() && lines.back().end.empty())
                lines.back().end = eol;
            lines.push_back(Line{"[" + std::string(section) + "]", eol});
            lines.push_back(std::move(entry));
        }
    }

    std::string out;
    if (content.compare(0, 3, "\xEF\xBB\xBF") == 0)
        out = "\xEF\xBB\xBF";
    for (const Line& line : lines)
        out += line.text + line.end;
    return replace_file(path, out, error == 0);
}

}  // namespace platform
