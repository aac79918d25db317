// TCP sockets on POSIX: BSD sockets; sends never raise SIGPIPE.
#include <fcntl.h>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/time.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/dotted_address.h"
#include "platform/sockets.h"
#include "socket_api.h"

#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0  // platforms without it use SO_NOSIGPIPE below
#endif

namespace platform {

SocketsStart start_sockets() {
    return SocketsStart::started;
}

namespace {

// Returns the listen failure that errno names.
ListenFailure failure_of(int error) {
    if (error == EADDRINUSE)
        return ListenFailure::in_use;
    if (error == EACCES || error == EPERM)
        return ListenFailure::no_permission;
    return ListenFailure::other;
}

}  // namespace

Socket open_listening_socket(int family, std::uint16_t port, ListenFailure* why) {
    if (why != nullptr)
        *why = ListenFailure::none;
    int fd = ::socket(family, SOCK_STREAM, 0);
    if (fd < 0) {
        if (why != nullptr)
            *why = failure_of(errno);
        return kNoSocket;
    }
    int on = 1;
#ifdef SO_NOSIGPIPE
    setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
    // The connections a previous run closed wait out TIME_WAIT on this port;
    // without this a restart could not listen there for a minute or so.
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = static_cast<sa_family_t>(family);
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, INT_MAX) != 0) {
        if (why != nullptr)
            *why = failure_of(errno);
        ::close(fd);
        return kNoSocket;
    }
    return fd;
}

Socket accept_connection(Socket listening, char* address_text, std::size_t size, bool* passing) {
    if (passing != nullptr)
        *passing = false;
    if (listening == kNoSocket)
        return kNoSocket;
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    int fd;
    do {
        fd = ::accept(static_cast<int>(listening), reinterpret_cast<sockaddr*>(&peer), &length);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (passing != nullptr)
            *passing = errno == ECONNABORTED || errno == EPROTO || errno == EPERM ||
                       errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM;
        return kNoSocket;
    }
#ifdef SO_NOSIGPIPE
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
    write_dotted(&peer.sin_addr.s_addr, address_text, size);
    return fd;
}

bool local_address(Socket socket, char* address_text, std::size_t size, std::uint16_t& port) {
    sockaddr_in self{};
    socklen_t length = sizeof self;
    if (::getsockname(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&self), &length) != 0 ||
        self.sin_family != AF_INET)
        return false;
    write_dotted(&self.sin_addr.s_addr, address_text, size);
    port = ntohs(self.sin_port);
    return true;
}

long receive(Socket socket, char* buffer, std::size_t size) {
    ssize_t n;
    do {
        n = ::recv(static_cast<int>(socket), buffer, size, 0);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : static_cast<long>(n);
}

long send(Socket socket, const char* data, std::size_t size) {
    ssize_t n;
    do {
        n = ::send(static_cast<int>(socket), data, size, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : static_cast<long>(n);
}

bool set_nonblocking(Socket socket) {
    const int flags = ::fcntl(static_cast<int>(socket), F_GETFL);
    return flags >= 0 && ::fcntl(static_cast<int>(socket), F_SETFL, flags | O_NONBLOCK) == 0;
}

long try_send(Socket socket, const char* data, std::size_t size) {
    const long n = send(socket, data, size);
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? kWouldBlock : n;
}

long try_receive(Socket socket, char* buffer, std::size_t size) {
    const long n = receive(socket, buffer, size);
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? kWouldBlock : n;
}

int wait_readable(const Socket* sockets, bool* readable, std::size_t count, int milliseconds) {
    if (count > kMostWatched)
        count = kMostWatched;
    pollfd watched[kMostWatched];
    for (std::size_t i = 0; i < count; ++i)
        watched[i] = pollfd{static_cast<int>(sockets[i]), POLLIN, 0};
    int n;
    do {
        n = ::poll(watched, static_cast<nfds_t>(count), milliseconds);
    } while (n < 0 && errno == EINTR);
    for (std::size_t i = 0; i < count; ++i)
        readable[i] = n > 0 && watched[i].revents != 0;
    return n;
}

long long unsent_bytes(Socket socket) {
#ifdef SIOCOUTQ
    int unsent = 0;
    return ::ioctl(static_cast<int>(socket), SIOCOUTQ, &unsent) == 0 ? unsent : -1;
#else
    (void)socket;
    return -1;
#endif
}

bool set_send_buffer(Socket socket, int bytes) {
    return setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) == 0;
}

bool set_send_timeout(Socket socket, unsigned milliseconds) {
    timeval limit{static_cast<time_t>(milliseconds / 1000),
                  static_cast<suseconds_t>(milliseconds % 1000) * 1000};
    return setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) == 0;
}

bool accepted_sockets_keep_send_timeout() {
#ifdef __linux__
    return true;  // an accepted socket starts as a copy of the listening one
#else
    return false;
#endif
}

unsigned send_timeout(Socket socket) {
    timeval limit{};
    socklen_t length = sizeof limit;
    if (getsockopt(static_cast<int>(socket), SOL_SOCKET, SO_SNDTIMEO, &limit, &length) != 0)
        return 0;
    return static_cast<unsigned>(limit.tv_sec) * 1000u +
           static_cast<unsigned>(limit.tv_usec / 1000);
}

void close_socket(Socket socket) {
    if (socket != kNoSocket)
        ::close(static_cast<int>(socket));
}

void close_listening_socket(Socket socket) {
    if (socket == kNoSocket)
        return;
    // On Linux a close alone leaves a blocked accept waiting; shutdown wakes it.
    ::shutdown(static_cast<int>(socket), SHUT_RDWR);
    ::close(static_cast<int>(socket));
}

Socket share_listening_socket(Socket socket) {
    if (socket == kNoSocket)
        return kNoSocket;
    // The duplicate is the same socket: the shutdown in close_listening_socket
    // wakes accepts on it too.
    const int shared = ::fcntl(static_cast<int>(socket), F_DUPFD_CLOEXEC, 0);
    return shared < 0 ? kNoSocket : shared;
}

void release_shared_listening_socket(Socket shared) {
    close_socket(shared);
}

long raise_open_file_limit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return -1;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        // An unlimited hard limit may still be refused (above the kernel's
        // own ceiling); the soft limit then stays as it was.
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    const rlim_t most = static_cast<rlim_t>(LONG_MAX);
    return limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > most
               ? LONG_MAX
               : static_cast<long>(limit.rlim_cur);
}

}  // namespace platform
