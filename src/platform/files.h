// Reading files under the web root: a status query, a directory held open and
// an input file with text mode (CR LF read as LF) or byte mode.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/sockets.h"

namespace platform {

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

// A directory held open, so that names under it can be opened in one step
// with the guarantee that they lead nowhere outside it. Closed when destroyed.
class Directory {
  public:
    Directory() = default;
    ~Directory();
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;

    // Opens the directory at path. Returns false when it cannot be opened or
    // the platform has no such opening (Windows); names are then looked up
    // the long way.
    bool open(const char* path);

  private:
    friend class InputFile;
    int handle_ = -1;
};

// What a one-step opening found.
enum class Opened {
    regular,  // a regular file, now open; the size is its size in bytes
    other,    // something else (a directory reads as size 0, as path_size gives it)
    unknown,  // not found, not allowed, not beneath the directory or not supported:
              // the caller looks again with path_size and open
};

// What tells one version of a file from another: which file it is, its size
// and when it last changed, with whether that change lies far enough back
// (two seconds) that any later one must show as a different time.
struct FileStamp {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    std::int64_t size = 0;
    std::int64_t changed = 0;  // in the platform's own unit and epoch
    bool settled = false;

    bool operator==(const FileStamp& o) const {
        return volume == o.volume && index == o.index && size == o.size && changed == o.changed;
    }
};

// A file opened for reading; closed when destroyed.
class InputFile {
  public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens the file at path for reading, as text (a CR LF reads as one LF)
    // or as bytes. Returns false when it cannot be opened or is no regular
    // file (a directory, a pipe, a device).
    bool open(const char* path, bool text);

    // Opens path as open does and tells its size as path_size does, with one
    // opening instead of a look-up and an opening.
    Opened open_sized(const char* path, bool text, std::int64_t& size);

    // Opens name, a path relative to root, as open_sized does, but only when
    // every step of it, links included, stays inside root (else unknown).
    Opened open_beneath(const Directory& root, const char* name, bool text, std::int64_t& size);

    // Reads the next line like fgets: at most size - 1 characters, its LF
    // included, then a NUL. Returns false at the end of the file (or on a
    // read error) when nothing was read.
    bool read_line(char* buffer, std::size_t size);

    // Fills stamp for the open file. Returns false when it cannot be read.
    bool stamp(FileStamp& stamp) const;

    // Reads up to size bytes; returns how many (0 at the end or on an error).
    std::size_t read(char* buffer, std::size_t size);

    // Closes the file; further reads find the end.
    void close();

  private:
    friend class FileRest;
    // Gives the descriptor to this file when it is a regular file, closes it
    // otherwise; returns what it is, with its size.
    Opened Adopt(int descriptor, bool text, std::int64_t& size);
    // Fills the read-ahead buffer; returns false at the end or on an error.
    bool Refill();

    [[maybe_unused]] void* file_ = nullptr;  // Windows: the C library's FILE
    int descriptor_ = -1;                    // POSIX: the open file
    bool text_ = false;
    std::size_t next_ = 0;    // POSIX: the first unread byte of ahead_
    std::size_t filled_ = 0;  // POSIX: the bytes of ahead_ read so far
    char ahead_[8192];        // POSIX: bytes read ahead for read_line
};

// What is left of an open file to send on a socket: sent as the socket
// takes it, never waiting (sendfile on Linux, reads of a chunk at a time on
// Windows), so that a slow reader holds no thread. Sent on POSIX only from
// threads of start_thread, on which a broken pipe raises no signal.
class FileRest {
  public:
    // Takes file, of which the next left bytes are to be sent.
    FileRest(std::unique_ptr<InputFile> file, std::int64_t left);
    ~FileRest();
    FileRest(const FileRest&) = delete;
    FileRest& operator=(const FileRest&) = delete;

    // Sends what socket (made non-blocking) takes now, at most most bytes
    // (at least 1). Returns the count sent, kWouldBlock when it took
    // nothing, or -1 when the socket failed.
    long send_to(Socket socket, std::size_t most);

    // The bytes still to go; 0 once all went, or the file ended early.
    std::int64_t left() const { return left_; }

  private:
    std::unique_ptr<InputFile> file_;
    std::int64_t left_;
    std::unique_ptr<char[]> chunk_;  // Windows: read, not yet sent
    [[maybe_unused]] std::size_t chunk_at_ = 0;
    [[maybe_unused]] std::size_t chunk_end_ = 0;
};

}  // namespace platform
