// Files on POSIX: the C library's byte streams, with the CR LF translation of
// text mode done here since POSIX streams do not do it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "host/files.h"

namespace host {

const char kPathSeparator = '/';

bool path_size(const char* path, std::int64_t& size) {
    struct stat status;
    if (::stat(path, &status) != 0)
        return false;
    size = S_ISDIR(status.st_mode) ? 0 : static_cast<std::int64_t>(status.st_size);
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

bool InputFile::open(const char* path, bool text) {
    close();
    // Opened without waiting: a pipe would otherwise hold the connection until
    // some writer came. Only regular files are read; a directory, a pipe or a
    // device counts as a file that cannot be opened.
    int fd = ::open(path, O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return false;
    }
    std::FILE* f = ::fdopen(fd, "rb");
    if (f == nullptr) {
        ::close(fd);
        return false;
    }
    file_ = f;
    text_ = text;
    return true;
}

bool InputFile::read_line(char* buffer, std::size_t size) {
    auto* f = static_cast<std::FILE*>(file_);
    if (f == nullptr || size == 0)
        return false;
    std::size_t n = 0;
    while (n + 1 < size) {
        int c = getc_unlocked(f);
        if (c == EOF)
            break;
        if (c == '\r' && text_) {
            int next = getc_unlocked(f);
            if (next == '\n')
                c = '\n';
            else if (next != EOF)
                ungetc(next, f);
        }
        buffer[n++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    buffer[n] = '\0';
    return n > 0;
}

}  // namespace host
