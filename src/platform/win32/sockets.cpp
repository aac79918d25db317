// TCP sockets on Windows: Windows Sockets 1.1 (ws2_32).
#include <climits>
#include <cstdio>

#include "platform/dotted_address.h"
#include "platform/sockets.h"
#include "socket_api.h"

namespace platform {

SocketsStart start_sockets() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0)
        return SocketsStart::unavailable;
    if (LOBYTE(data.wVersion) != 1 || HIBYTE(data.wVersion) != 1)
        return SocketsStart::old_version;
    return SocketsStart::started;
}

namespace {

// Returns the listen failure that a Windows Sockets error names.
ListenFailure failure_of(int error) {
    if (error == WSAEADDRINUSE)
        return ListenFailure::in_use;
    if (error == WSAEACCES)
        return ListenFailure::no_permission;
    return ListenFailure::other;
}

}  // namespace

Socket open_listening_socket(int family, std::uint16_t port, ListenFailure* why) {
    if (why != nullptr)
        *why = ListenFailure::none;
    SOCKET s = ::socket(family, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) {
        if (why != nullptr)
            *why = failure_of(WSAGetLastError());
        return kNoSocket;
    }
    // No SO_REUSEADDR here: on Windows it would let another program bind the
    // same port, and Windows binds a port whose old connections wait out
    // TIME_WAIT without it.
    sockaddr_in address{};
    address.sin_family = static_cast<short>(family);
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    // The backlog is clamped by Winsock to its own maximum.
    if (::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(s, INT_MAX) != 0) {
        if (why != nullptr)
            *why = failure_of(WSAGetLastError());
        ::closesocket(s);
        return kNoSocket;
    }
    return static_cast<Socket>(s);
}

Socket accept_connection(Socket listening, char* address_text, std::size_t size, bool* passing) {
    if (passing != nullptr)
        *passing = false;
    if (listening == kNoSocket)
        return kNoSocket;
    sockaddr_in peer{};
    int length = sizeof peer;
    SOCKET s =
        ::accept(static_cast<SOCKET>(listening), reinterpret_cast<sockaddr*>(&peer), &length);
    if (s == INVALID_SOCKET) {
        // A connection reset before it was taken fails only its own accept.
        int error = WSAGetLastError();
        if (passing != nullptr)
            *passing = error == WSAECONNRESET || error == WSAEMFILE || error == WSAENOBUFS;
        return kNoSocket;
    }
    write_dotted(&peer.sin_addr.s_addr, address_text, size);
    return static_cast<Socket>(s);
}

bool local_address(Socket socket, char* address_text, std::size_t size, std::uint16_t& port) {
    sockaddr_in self{};
    int length = sizeof self;
    if (::getsockname(static_cast<SOCKET>(socket), reinterpret_cast<sockaddr*>(&self), &length) !=
            0 ||
        self.sin_family != AF_INET)
        return false;
    write_dotted(&self.sin_addr.s_addr, address_text, size);
    port = ntohs(self.sin_port);
    return true;
}

long receive(Socket socket, char* buffer, std::size_t size) {
    int limit = size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
    int n = ::recv(static_cast<SOCKET>(socket), buffer, limit, 0);
    return n == SOCKET_ERROR ? -1 : static_cast<long>(n);
}

long send(Socket socket, const char* data, std::size_t size) {
    int limit = size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
    int n = ::send(static_cast<SOCKET>(socket), data, limit, 0);
    return n == SOCKET_ERROR ? -1 : static_cast<long>(n);
}

bool set_nonblocking(Socket socket) {
    u_long on = 1;
    return ioctlsocket(static_cast<SOCKET>(socket), FIONBIO, &on) == 0;
}

long try_send(Socket socket, const char* data, std::size_t size) {
    const long n = send(socket, data, size);
    return n < 0 && WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : n;
}

long try_receive(Socket socket, char* buffer, std::size_t size) {
    const long n = receive(socket, buffer, size);
    return n < 0 && WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : n;
}

int wait_readable(const Socket* sockets, bool* readable, std::size_t count, int milliseconds) {
    if (count > kMostWatched)
        count = kMostWatched;
    WSAPOLLFD watched[kMostWatched];
    for (std::size_t i = 0; i < count; ++i)
        watched[i] = WSAPOLLFD{static_cast<SOCKET>(sockets[i]), POLLRDNORM, 0};
    const int n = WSAPoll(watched, static_cast<ULONG>(count), milliseconds);
    for (std::size_t i = 0; i < count; ++i)
        readable[i] = n > 0 && watched[i].revents != 0;
    return n;
}

long long unsent_bytes(Socket) {
    return -1;  // not told by Windows Sockets 1.1
}

bool set_send_buffer(Socket socket, int bytes) {
    return setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_SNDBUF,
                      reinterpret_cast<const char*>(&bytes), sizeof bytes) == 0;
}

bool set_send_timeout(Socket socket, unsigned milliseconds) {
    DWORD limit = milliseconds;
    return setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_SNDTIMEO,
                      reinterpret_cast<const char*>(&limit), sizeof limit) == 0;
}

bool accepted_sockets_keep_send_timeout() {
    return false;  // not promised for Windows Sockets 1.1: set on each one
}

unsigned send_timeout(Socket socket) {
    DWORD limit = 0;
    int length = sizeof limit;
    if (getsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_SNDTIMEO,
                   reinterpret_cast<char*>(&limit), &length) != 0)
        return 0;
    return static_cast<unsigned>(limit);
}

void close_socket(Socket socket) {
    if (socket != kNoSocket)
        ::closesocket(static_cast<SOCKET>(socket));
}

void close_listening_socket(Socket socket) {
    // closesocket makes a pending accept on another thread fail at once.
    close_socket(socket);
}

Socket share_listening_socket(Socket socket) {
    // closesocket is what wakes a pending accept here, so the accepting
    // threads use the socket itself.
    return socket;
}

void release_shared_listening_socket(Socket) {}

long raise_open_file_limit() {
    // Winsock sockets are kernel handles, not C runtime descriptors.
    return 0;
}

}  // namespace platform
