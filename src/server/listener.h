// The listener thread and the connection threads.
#pragma once
#include <cstdint>

namespace velvox {

// What the listener hands to a connection thread, which owns and frees it.
struct ConnectionTicket {
    std::intptr_t socket;
    char clientAddress[1024];
};

// Entry of the listener thread: listens on the low 16 bits of the configured
// port and starts one thread per accepted connection until an accept fails;
// then lowers ServerThreadCount.
void RunListener(void* unused);

// Lowers ServerRunning and closes the listening socket.
void StopListener();

// Entry of a connection thread: serves one request of its ticket's socket,
// closes the socket and frees the ticket.
void ServeConnection(void* ticket);

}  // namespace velvox
