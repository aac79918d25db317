// Private-profile files: "key=value" lines under "[section]" lines.
// The Windows API on Windows; on POSIX a reader and writer of our own that
// behave the same way (names compared without regard to case, blanks around
// a value dropped, one pair of enclosing quotes dropped, defaults for whatever
// is missing, values cut to the caller's buffer).
#pragma once
#include <cstddef>

namespace platform {

// Reads the value of key in section of the file at path into buffer (size
// bytes, always NUL-terminated when size > 0), cut to size - 1 characters.
// A missing file, section or key gives fallback instead (trailing blanks
// dropped). Returns the number of characters stored.
std::size_t read_profile_string(const char* path, const char* section, const char* key,
                                const char* fallback, char* buffer, std::size_t size);

// Writes key=value into section of the file at path, creating the file, the
// section and the key as needed; an existing value is replaced in place and
// every other line stays as it was. A value is cut at its first line break so
// that it can never add lines. Returns true when the file was written.
bool write_profile_string(const char* path, const char* section, const char* key,
                          const char* value);

}  // namespace platform
