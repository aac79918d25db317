// The listener thread and the connection threads.
#pragma once
#include <atomic>
#include <cstdint>

#include "host/sockets.h"
#include "host/threads.h"

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
// port and starts one thread per accepted connection until an accept fails;
// then lowers ServerThreadCount.
void RunListener(void* unused);

// Lowers ServerRunning and closes the listening socket.
void StopListener();

// Entry of a connection thread: serves one request of its ticket's socket,
// closes the socket and frees the ticket.
void ServeConnection(void* ticket);

// The two platform steps of the listener that cannot be made to fail from
// outside: starting the sockets layer and starting a thread.
struct ListenerPlatform {
    host::SocketsStart (*start_sockets)();
    bool (*start_thread)(host::ThreadEntry entry, void* argument);
};

// Replaces those steps (tests make them fail); nullptr restores the real ones.
void SetListenerPlatform(const ListenerPlatform* platform);

// Test seam: how StartListener starts the listener thread. Null restores
// host::start_thread.
using ThreadStarter = bool (*)(host::ThreadEntry entry, void* argument);
void SetListenerStarterForTesting(ThreadStarter starter);

}  // namespace velvox
