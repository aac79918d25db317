// The listener thread and the connection threads.
#include "server/listener.h"

#include <atomic>
#include <cstdio>
#include <new>

#include "core/settings.h"
#include "core/text.h"
#include "host/module_path.h"
#include "host/sockets.h"
#include "host/threads.h"
#include "http/http_connection.h"
#include "http/socket_stream.h"
#include "server/dispatcher.h"

namespace velvox {

std::atomic<int> ServerRunning{0};
std::atomic<std::int32_t> ServerThreadCount{0};

namespace {

std::atomic<ThreadStarter> listener_starter{nullptr};

// Starts the listener thread through the seam or the host; returns false
// when it failed.
bool StartListenerThread(host::ThreadEntry entry, void* argument) {
    ThreadStarter starter = listener_starter.load();
    return starter != nullptr ? starter(entry, argument) : host::start_thread(entry, argument);
}

// The listening socket: written by the listener, closed by StopListener.
std::atomic<host::Socket> ListenSocket{host::kNoSocket};

const ListenerPlatform kRealPlatform = {host::start_sockets, host::start_thread};
std::atomic<const ListenerPlatform*> Platform{&kRealPlatform};

// The listener's own state: the text of the last accepted peer's address.
struct SocketListener {
    char peerAddressText[1024] = "";
};

// Writes the diagnostic of a sockets layer that cannot be used. The listener
// then ends instead of ending the player's process.
void SocketFatal(const char* message) {
    std::printf("Socket error: %s\n", message);
    std::fflush(stdout);
}

// Starts the sockets layer; returns false (after its diagnostic) when it
// cannot be used.
bool StartSockets() {
    switch (Platform.load()->start_sockets()) {
        case host::SocketsStart::started:
            return true;
        case host::SocketsStart::unavailable:
            SocketFatal("cannot find winsock.dll");
            return false;
        case host::SocketsStart::old_version:
            SocketFatal("winsock.dll is an old version");
            return false;
    }
    return false;
}

// Opens the listening socket on all interfaces; kNoSocket when the host name
// lookup, the socket, the bind or the listen fails.
host::Socket OpenListenSocket(std::uint16_t port) {
    int family = host::own_host_address_family();
    if (family < 0)
        return host::kNoSocket;
    return host::open_listening_socket(family, port);
}

// Accepts one connection, keeping the peer's address text in listener. A
// failure that concerns one connection only (reset before it was taken) or a
// passing shortage is waited out while the listening socket is open, so no
// client can switch the server off. Returns kNoSocket when accepting is over.
host::Socket AcceptConnection(SocketListener& listener) {
    for (;;) {
        bool passing = false;
        host::Socket accepted =
            host::accept_connection(ListenSocket.load(), listener.peerAddressText,
                                    sizeof listener.peerAddressText, &passing);
        if (accepted != host::kNoSocket || !passing || ListenSocket.load() == host::kNoSocket)
            return accepted;
        host::sleep_ms(10);
    }
}

// Closes the listening socket unless someone else already has.
void CloseListenSocket() {
    host::Socket s = ListenSocket.exchange(host::kNoSocket);
    if (s != host::kNoSocket)
        host::close_listening_socket(s);
}

}  // namespace

void RunListener(void*) {
    // ServerRunning was raised by StartListener before this thread began:
    // raising it again here could undo a quit that came in between.
    const auto port = static_cast<std::uint16_t>(CurrentSettings()->port & 0xFFFF);
    if (StartSockets()) {
        ListenSocket.store(OpenListenSocket(port));
        // A quit that came while the socket was being opened found nothing to
        // close; close it here so the accept below fails and quit can finish.
        if (ServerRunning.load() == 0)
            CloseListenSocket();
        SocketListener listener;
        for (;;) {
            host::Socket accepted = AcceptConnection(listener);
            if (accepted == host::kNoSocket)
                break;
            auto* ticket = new (std::nothrow) ConnectionTicket{};
            if (ticket == nullptr) {
                host::close_socket(accepted);
                continue;
            }
            ticket->socket = accepted;
            CopyCut(ticket->clientAddress, listener.peerAddressText);
            if (!Platform.load()->start_thread(ServeConnection, ticket)) {
                host::close_socket(ticket->socket);
                delete ticket;
            }
        }
    }
    ServerThreadCount.fetch_sub(1);
}

void StartListener() {
    // Raised here rather than only by the listener, so that no second start
    // can slip in before the new thread runs.
    if (ServerRunning.exchange(1) != 0)
        return;
    ServerThreadCount.fetch_add(1);
    // Connection threads are never waited for and may be blocked in a send to
    // the player's window, so instead of waiting for them at quit the module
    // is kept loaded for good once a thread of ours can run its code.
    host::pin_module();
    if (!StartListenerThread(&RunListener, nullptr)) {
        ServerThreadCount.fetch_sub(1);
        ServerRunning.store(0);
    }
}

void SetListenerStarterForTesting(ThreadStarter starter) {
    listener_starter.store(starter);
}

void StopListener() {
    ServerRunning.store(0);
    CloseListenSocket();
}

void SetListenerPlatform(const ListenerPlatform* platform) {
    Platform.store(platform != nullptr ? platform : &kRealPlatform);
}

void ServeConnection(void* raw) {
    auto* ticket = static_cast<ConnectionTicket*>(raw);
    {
        SocketStream stream(ticket->socket);
        HttpConnection connection;
        connection.set_socket(&stream);
        connection.set_client_address(ticket->clientAddress);
        int served = DoProxy(connection);
        stream.flush();
        if (served == 0) {
            std::printf("Error returned after DoProxy()\n");
            std::fflush(stdout);
        }
    }
    host::close_socket(ticket->socket);
    delete ticket;
}

}  // namespace velvox
