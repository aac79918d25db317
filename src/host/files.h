// Reading files under the web root: a status query and an input file with
// text mode (CR LF read as LF) or byte mode.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace host {

// The separator of path components on this platform: '\\' or '/'.
extern const char kPathSeparator;

// Looks up what is at path. Returns true and its size in bytes when a file or
// a directory is there (a directory reads as size 0), false otherwise.
bool path_size(const char* path, std::int64_t& size);

// Resolves path to an absolute path with no "." or ".." parts (and on POSIX
// no symbolic links). Returns false when it cannot be resolved.
bool resolve_path(const char* path, std::string& resolved);

// Returns true when resolved (as from resolve_path) is root itself or lies
// inside it, compared the way the platform compares paths.
bool path_inside(const std::string& resolved, const std::string& root);

// A file opened for reading; closed when destroyed.
class InputFile {
  public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens the file at path for reading, as text (a CR LF reads as one LF)
    // or as bytes. Returns false when it cannot be opened or is a directory.
    bool open(const char* path, bool text);

    // Reads the next line like fgets: at most size - 1 characters, its LF
    // included, then a NUL. Returns false at the end of the file (or on a
    // read error) when nothing was read.
    bool read_line(char* buffer, std::size_t size);

    // Reads up to size bytes; returns how many (0 at the end or on an error).
    std::size_t read(char* buffer, std::size_t size);

    // Closes the file; further reads find the end.
    void close();

  private:
    void* file_ = nullptr;  // the C library's FILE
    bool text_ = false;
};

}  // namespace host
