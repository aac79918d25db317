// TCP sockets: Windows Sockets 1.1 on Windows, BSD sockets on POSIX.
// A handle is a Windows SOCKET or a POSIX descriptor; kNoSocket marks none.
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

using Socket = std::intptr_t;
constexpr Socket kNoSocket = -1;  // INVALID_SOCKET and -1 alike

enum class SocketsStart { started, unavailable, old_version };

// Starts the sockets layer (WSAStartup asking for 1.1 on Windows, nothing on
// POSIX). Returns whether it started and was granted exactly version 1.1.
SocketsStart start_sockets();

// Reads this machine's own name and looks it up by name. Returns the address
// family of the result, or -1 when the name cannot be read or looked up.
int own_host_address_family();

// Why a listening socket could not be opened.
enum class ListenFailure { none, in_use, no_permission, other };

// Makes a stream socket of the family, binds it to all interfaces on port and
// listens with the largest backlog the platform allows. On POSIX it asks to
// reuse the address (SO_REUSEADDR), so that a restart can listen at once on a
// port whose old connections wait out TIME_WAIT; Windows allows that anyway.
// Returns the socket, or kNoSocket (nothing left open) when a step failed;
// then why (when given) tells the reason.
Socket open_listening_socket(int family, std::uint16_t port, ListenFailure* why = nullptr);

// Waits for one connection on the listening socket. Writes the peer's address
// in dotted decimal form into address_text (cut to size - 1). Returns the
// connected socket, or kNoSocket when the accept failed. On a failure, passing
// (when given) says whether it concerned only that one connection or a passing
// shortage of descriptors or memory, so the listening socket still works.
Socket accept_connection(Socket listening, char* address_text, std::size_t size,
                         bool* passing = nullptr);

// Writes the address this end of a connected socket has (dotted decimal, cut
// to size - 1) and its port: where the peer reached us. Returns false when
// they cannot be read.
bool local_address(Socket socket, char* address_text, std::size_t size, std::uint16_t& port);

// Receives once, at most size bytes. Returns the count, 0 when the peer has
// closed, -1 on failure.
long receive(Socket socket, char* buffer, std::size_t size);

// Sends once, without raising a broken-pipe signal. Returns the count of
// bytes taken (possibly fewer than size), or -1 on failure.
long send(Socket socket, const char* data, std::size_t size);

// What try_send and try_receive return when the socket cannot take or give
// a byte now.
constexpr long kWouldBlock = -2;

// Makes the socket's later sends, receives and file sends return at once
// instead of waiting (try_send, try_receive, FileRest). Returns false when it
// was refused.
bool set_nonblocking(Socket socket);

// Sends once on a socket made non-blocking, without raising a broken-pipe
// signal. Returns the count taken, kWouldBlock when none fits now, or -1 on
// failure.
long try_send(Socket socket, const char* data, std::size_t size);

// Receives once on a socket made non-blocking. Returns the count, 0 when the
// peer has closed, kWouldBlock when nothing is there, or -1 on failure.
long try_receive(Socket socket, char* buffer, std::size_t size);

// Returns the bytes sent on the socket that the peer has not yet
// acknowledged, or -1 where the platform does not tell: that count moving
// shows a peer that reads, while the socket is not yet writable again.
long long unsent_bytes(Socket socket);

// Sets the size of the socket's send buffer in the system. Returns false when
// it was refused.
bool set_send_buffer(Socket socket, int bytes);

// Makes every later send on the socket give up (fail) when it could not
// pass any byte for milliseconds. Returns false when the option was refused.
bool set_send_timeout(Socket socket, unsigned milliseconds);

// Whether a connection accepted on a listening socket starts with that
// socket's send time-out, so that it need not be set on each connection.
bool accepted_sockets_keep_send_timeout();

// Returns the send time-out of the socket in milliseconds, 0 for none.
unsigned send_timeout(Socket socket);

// The most sockets one wait_readable call watches.
constexpr std::size_t kMostWatched = 64;

// Waits up to milliseconds (-1: without limit) until one of the first count
// sockets (at most kMostWatched) is readable, and marks in readable which
// are. Returns how many are, 0 when the time ran out, -1 on failure.
int wait_readable(const Socket* sockets, bool* readable, std::size_t count, int milliseconds);

// Returns whether the socket can be read at once (data, the end of the
// stream or a failure wait there), without waiting.
inline bool readable_now(Socket socket) {
    bool readable = false;
    return wait_readable(&socket, &readable, 1, 0) > 0;
}

// Closes a connected socket.
void close_socket(Socket socket);

// Closes a listening socket so that a thread blocked in its accept returns
// with a failure (a plain close does not wake it on every platform).
void close_listening_socket(Socket socket);

// Gives threads that accept on a listening socket a handle of their own, so
// that closing the listening socket cannot leave them accepting on a reused
// handle; close_listening_socket on the original still makes their accepts
// fail. On POSIX a duplicate descriptor, on Windows the socket itself.
// Returns kNoSocket when none could be made.
Socket share_listening_socket(Socket socket);

// Lets go of a handle from share_listening_socket.
void release_shared_listening_socket(Socket shared);

// Raises the process's limit on open descriptors to the highest it may
// reach, so that thousands of waiting sockets fit. Returns the limit now in
// force, 0 where the platform counts sockets against no such limit, or -1
// when it cannot be read.
long raise_open_file_limit();

}  // namespace platform
