// The listener thread and the connection threads.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "http/reply_rest.h"
#include "platform/sockets.h"
#include "platform/threads.h"

namespace velvox {

// What the listener hands to a connection thread, which owns and frees it.
struct ConnectionTicket {
    std::intptr_t socket;
    char clientAddress[1024];
};

// Raised when a listener has been started; lowered only at quit.
extern std::atomic<int> ServerRunning;
// Listener threads that have not yet ended.
extern std::atomic<std::int32_t> ServerThreadCount;

// Raises ServerRunning and ServerThreadCount and starts the listener thread.
// Starts nothing while ServerRunning is already raised; takes both back when
// the thread cannot be started.
void StartListener();

// Entry of the listener thread: listens on the low 16 bits of the configured
// port and hands each accepted connection to the waiting room until an
// accept fails; then closes what still waits and lowers ServerThreadCount.
void RunListener(void* unused);

// Lowers ServerRunning and closes the listening socket.
void StopListener();

// Answers one request on an accepted socket with the connection on the
// calling thread's stack; leaves the socket open.
void AnswerConnection(platform::Socket socket, const char* client_address);

// Answers as AnswerConnection does, without ever waiting for the peer to
// read. Returns what is left of the reply (for the waiting room to send as
// the socket becomes writable, or a subscriber to keep), or nullptr when it
// all went out or the socket failed.
std::unique_ptr<ReplyRest> AnswerWithoutWaiting(platform::Socket socket,
                                                const char* client_address);

// Entry of a connection thread started for one connection (when the waiting
// room cannot run): answers its ticket's socket, closes it, frees the ticket.
void ServeConnection(void* ticket);

// The stack of a connection thread. Answering a request takes about 75 KiB
// (most of it the connection's buffers; connection_stack_test measures it and
// fails above a quarter of this), so the sanitizer builds fit too.
constexpr std::size_t kConnectionStackBytes = 512 * 1024;

}  // namespace velvox
