// Files on POSIX: descriptors read with a read-ahead buffer of our own, with
// the CR LF translation of text mode done here since POSIX does not do it.
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/openat2.h>
#include <sys/syscall.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

#include "platform/files.h"

namespace platform {

namespace {

// Opened without waiting: a pipe would otherwise hold the connection until
// some writer came. Only regular files are read, for which it changes nothing.
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;

// Returns the size path_size gives for what status describes.
std::int64_t SizeOf(const struct stat& status) {
    return S_ISDIR(status.st_mode) ? 0 : static_cast<std::int64_t>(status.st_size);
}

// Opens name under the directory dir in one step, refusing any step (a "..",
// an absolute name or link, a magic link) that would leave it. Returns the
// descriptor, or -1 when it failed or the system cannot do this.
int OpenBeneath(int dir, const char* name) {
#if defined(__linux__) && defined(SYS_openat2)
    struct open_how how;
    std::memset(&how, 0, sizeof how);
    how.flags = static_cast<std::uint64_t>(kOpenFlags);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    long fd;
    do {
        fd = ::syscall(SYS_openat2, dir, name, &how, sizeof how);
    } while (fd < 0 && errno == EINTR);
    return fd < 0 ? -1 : static_cast<int>(fd);
#else
    (void)dir;
    (void)name;
    return -1;
#endif
}

}  // namespace

const char kPathSeparator = '/';

bool path_size(const char* path, std::int64_t& size) {
    struct stat status;
    if (::stat(path, &status) != 0)
        return false;
    size = SizeOf(status);
    return true;
}

bool resolve_path(const char* path, std::string& resolved) {
    char* full = ::realpath(path, nullptr);
    if (full == nullptr)
        return false;
    resolved = full;
    std::free(full);
    return true;
}

bool path_inside(const std::string& resolved, const std::string& root) {
    if (resolved.compare(0, root.size(), root) != 0)
        return false;
    if (resolved.size() == root.size())
        return true;
    return root.back() == '/' || resolved[root.size()] == '/';
}

Directory::~Directory() {
    if (handle_ >= 0)
        ::close(handle_);
}

bool Directory::open(const char* path) {
    if (handle_ >= 0)
        ::close(handle_);
    handle_ = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return handle_ >= 0;
}

InputFile::~InputFile() {
    close();
}

Opened InputFile::Adopt(int descriptor, bool text, std::int64_t& size) {
    struct stat status;
    if (::fstat(descriptor, &status) != 0) {
        ::close(descriptor);
        return Opened::unknown;
    }
    size = SizeOf(status);
    if (!S_ISREG(status.st_mode)) {
        ::close(descriptor);
        return Opened::other;
    }
    descriptor_ = descriptor;
    text_ = text;
    return Opened::regular;
}

// The later of the content's and the inode's change, in nanoseconds; settled
// when the real-time clock has passed it by two seconds.
bool InputFile::stamp(FileStamp& stamp) const {
    struct stat status;
    if (descriptor_ < 0 || ::fstat(descriptor_, &status) != 0)
        return false;
    const auto nanoseconds = [](const timespec& t) {
        return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
    };
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    stamp.volume = static_cast<std::uint64_t>(status.st_dev);
    stamp.index = static_cast<std::uint64_t>(status.st_ino);
    stamp.size = SizeOf(status);
    stamp.changed = std::max(nanoseconds(status.st_mtim), nanoseconds(status.st_ctim));
    stamp.settled = stamp.changed + 2'000'000'000 < nanoseconds(now);
    return true;
}

bool InputFile::open(const char* path, bool text) {
    std::int64_t size = 0;
    return open_sized(path, text, size) == Opened::regular;
}

Opened InputFile::open_sized(const char* path, bool text, std::int64_t& size) {
    close();
    const int fd = ::open(path, kOpenFlags);
    return fd < 0 ? Opened::unknown : Adopt(fd, text, size);
}

Opened InputFile::open_beneath(const Directory& root, const char* name, bool text,
                               std::int64_t& size) {
    close();
    if (root.handle_ < 0 || name[0] == '\0')
        return Opened::unknown;
    const int fd = OpenBeneath(root.handle_, name);
    return fd < 0 ? Opened::unknown : Adopt(fd, text, size);
}

bool InputFile::Refill() {
    if (descriptor_ < 0)
        return false;
    ssize_t n;
    do {
        n = ::read(descriptor_, ahead_, sizeof ahead_);
    } while (n < 0 && errno == EINTR);
    next_ = 0;
    filled_ = n > 0 ? static_cast<std::size_t>(n) : 0;
    if (n <= 0) {
        // The end (or an error) stays the end, as a C stream's does.
        ::close(descriptor_);
        descriptor_ = -1;
    }
    return n > 0;
}

bool InputFile::read_line(char* buffer, std::size_t size) {
    if (size == 0)
        return false;
    std::size_t n = 0;
    while (n + 1 < size) {
        if (next_ == filled_ && !Refill())
            break;
        char c = ahead_[next_++];
        if (c == '\r' && text_) {
            // A CR LF reads as LF; a CR before anything else stays a CR.
            if (next_ < filled_ || Refill()) {
                if (ahead_[next_] == '\n') {
                    c = '\n';
                    ++next_;
                }
            }
        }
        buffer[n++] = c;
        if (c == '\n')
            break;
    }
    buffer[n] = '\0';
    return n > 0;
}

std::size_t InputFile::read(char* buffer, std::size_t size) {
    std::size_t n = 0;
    if (next_ < filled_) {
        n = filled_ - next_ < size ? filled_ - next_ : size;
        std::memcpy(buffer, ahead_ + next_, n);
        next_ += n;
    }
    while (n < size && descriptor_ >= 0) {
        const ssize_t got = ::read(descriptor_, buffer + n, size - n);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ::close(descriptor_);
            descriptor_ = -1;
            break;
        }
        n += static_cast<std::size_t>(got);
    }
    return n;
}

void InputFile::close() {
    if (descriptor_ >= 0)
        ::close(descriptor_);
    descriptor_ = -1;
    next_ = 0;
    filled_ = 0;
}

FileRest::FileRest(std::unique_ptr<InputFile> file, std::int64_t left)
    : file_(std::move(file)), left_(left) {}

FileRest::~FileRest() = default;

// Bytes read ahead by read_line go first; the rest goes from the file to the
// socket in the kernel, with no copy here.
long FileRest::send_to(Socket socket, std::size_t most) {
    InputFile& f = *file_;
    const std::int64_t limit = std::min(left_, static_cast<std::int64_t>(most));
    if (left_ > 0 && f.next_ < f.filled_) {
        std::size_t n = f.filled_ - f.next_;
        if (static_cast<std::int64_t>(n) > limit)
            n = static_cast<std::size_t>(limit);
        const long sent = try_send(socket, f.ahead_ + f.next_, n);
        if (sent > 0) {
            f.next_ += static_cast<std::size_t>(sent);
            left_ -= sent;
        }
        return sent;
    }
    if (left_ <= 0 || f.descriptor_ < 0) {
        left_ = 0;
        return 0;
    }
    ssize_t sent;
    do {
        sent = ::sendfile(static_cast<int>(socket), f.descriptor_, nullptr,
                          static_cast<std::size_t>(limit));
    } while (sent < 0 && errno == EINTR);
    if (sent < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK ? kWouldBlock : -1;
    if (sent == 0)
        left_ = 0;  // the file is shorter than it was: nothing more comes
    left_ -= sent;
    return static_cast<long>(sent);
}

}  // namespace platform
