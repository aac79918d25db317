// The listener thread and the connection threads.
#include "server/listener.h"

#include <atomic>
#include <cstdio>
#include <new>

#include "core/settings.h"
#include "core/text.h"
#include "http/http_connection.h"
#include "http/socket_stream.h"
#include "platform/module_path.h"
#include "platform/services.h"
#include "platform/sockets.h"
#include "server/acceptors.h"
#include "server/dispatcher.h"
#include "server/live_events.h"
#include "server/waiting_room.h"

namespace velvox {

std::atomic<int> ServerRunning{0};
std::atomic<std::int32_t> ServerThreadCount{0};

namespace {

// The listening socket: written by the listener, closed by StopListener.
std::atomic<platform::Socket> ListenSocket{platform::kNoSocket};

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
    switch (platform::services().start_sockets()) {
        case platform::SocketsStart::started:
            return true;
        case platform::SocketsStart::unavailable:
            SocketFatal("cannot find winsock.dll");
            return false;
        case platform::SocketsStart::old_version:
            SocketFatal("winsock.dll is an old version");
            return false;
    }
    return false;
}

// Writes the one line that says why the listener cannot listen on port.
void ReportCannotListen(std::uint16_t port, const char* reason) {
    std::printf("Velvox: cannot listen on port %u: %s\n", static_cast<unsigned>(port), reason);
    std::fflush(stdout);
}

// Writes a line when the port text's number is not a port: only its low 16
// bits are used, which may be another port or one the system chooses.
void ReportOddPort(const PluginSettings& settings, std::uint16_t port) {
    if (settings.port >= 1 && settings.port <= 65535)
        return;
    if (port == 0)
        std::printf(
            "Velvox: port \"%s\" is not from 1 to 65535; listening on a port the "
            "system chooses\n",
            settings.Port);
    else
        std::printf("Velvox: port \"%s\" is not from 1 to 65535; listening on port %u\n",
                    settings.Port, static_cast<unsigned>(port));
    std::fflush(stdout);
}

// Opens the listening socket on all interfaces; kNoSocket (after its line)
// when the host name lookup, the socket, the bind or the listen fails.
platform::Socket OpenListenSocket(std::uint16_t port) {
    int family = platform::own_host_address_family();
    if (family < 0) {
        ReportCannotListen(port, "this machine's own name cannot be looked up");
        return platform::kNoSocket;
    }
    platform::ListenFailure why = platform::ListenFailure::none;
    platform::Socket s = platform::open_listening_socket(family, port, &why);
    if (s == platform::kNoSocket)
        ReportCannotListen(port, why == platform::ListenFailure::in_use          ? "address in use"
                                 : why == platform::ListenFailure::no_permission ? "no permission"
                                                                                 : "refused");
    return s;
}

// The waiting room's limits from the settings.
WaitingRoomLimits RoomLimits(const PluginSettings& settings) {
    // Held to about 23 days, so that milliseconds fit an unsigned.
    const auto milliseconds = [](std::int32_t seconds) {
        return static_cast<unsigned>(seconds < 2000000 ? seconds : 2000000) * 1000u;
    };
    WaitingRoomLimits limits;
    limits.wait_deadline_ms = milliseconds(settings.waitDeadlineSeconds);
    limits.send_timeout_ms = milliseconds(settings.sendTimeoutSeconds);
    limits.max_connection_threads = settings.maxConnectionThreads;
    limits.max_sockets_per_address = settings.maxSocketsPerAddress;
    limits.thread_stack_bytes = kConnectionStackBytes;
    limits.subscriber_gone = SubscriberGone;
    return limits;
}

// Starts a thread for one connection; closes the socket when none starts.
void StartConnectionThread(platform::Socket accepted, const char* client_address) {
    auto* ticket = new (std::nothrow) ConnectionTicket{};
    if (ticket == nullptr) {
        platform::close_socket(accepted);
        return;
    }
    ticket->socket = accepted;
    CopyCut(ticket->clientAddress, client_address);
    if (!platform::services().start_thread(ServeConnection, ticket, kConnectionStackBytes)) {
        platform::close_socket(ticket->socket);
        delete ticket;
    }
}

// Accepts one connection on listening (the listening socket or a handle
// shared from it), writing the peer's address text. A
// failure that concerns one connection only (reset before it was taken) or a
// passing shortage is waited out while the listening socket is open, so no
// client can switch the server off. Returns kNoSocket when accepting is over.
platform::Socket AcceptConnection(platform::Socket listening, char* address_text,
                                  std::size_t size) {
    for (;;) {
        bool passing = false;
        platform::Socket accepted =
            platform::accept_connection(listening, address_text, size, &passing);
        if (accepted != platform::kNoSocket || !passing ||
            ListenSocket.load() == platform::kNoSocket)
            return accepted;
        platform::sleep_ms(10);
    }
}

// Closes the listening socket unless someone else already has.
void CloseListenSocket() {
    platform::Socket s = ListenSocket.exchange(platform::kNoSocket);
    if (s != platform::kNoSocket)
        platform::close_listening_socket(s);
}

// While the listener's own thread answers a request it does not count as the
// listener: the answer may wait for the player's window, whose thread is the
// one that waits in quit for the count to reach zero. Back from the answer,
// it counts again until it ends (a quit that came in between has closed the
// listening socket, so that is soon, with no more waits for the window).
void ListenerAnswerBegins() {
    ServerThreadCount.fetch_sub(1);
}

// The listener's own thread is back from an answer.
void ListenerAnswerEnds() {
    ServerThreadCount.fetch_add(1);
}

// Accepts connections until an accept fails, with the room and the
// accepting threads; without a room (its set or thread could not be made)
// each connection gets a thread of its own.
void AcceptConnections(const PluginSettings& settings) {
    AcceptorsSetup setup;
    setup.listening = ListenSocket.load();
    setup.handler = AnswerWithoutWaiting;
    setup.room_runs = AttachEventRoom;
    setup.limits = RoomLimits(settings);
    setup.accept_one = AcceptConnection;
    setup.answer_begins = ListenerAnswerBegins;
    setup.answer_ends = ListenerAnswerEnds;
    if (AcceptWithRoom(setup))
        return;
    // Without the room replies wait for their peer: the send time-out bounds
    // that, set once on the listening socket where accepted sockets keep it.
    if (setup.limits.send_timeout_ms > 0 && platform::accepted_sockets_keep_send_timeout())
        platform::set_send_timeout(setup.listening, setup.limits.send_timeout_ms);
    SocketListener listener;
    for (;;) {
        platform::Socket accepted = AcceptConnection(ListenSocket.load(), listener.peerAddressText,
                                                     sizeof listener.peerAddressText);
        if (accepted == platform::kNoSocket)
            break;
        StartConnectionThread(accepted, listener.peerAddressText);
    }
}

}  // namespace

void RunListener(void*) {
    // ServerRunning was raised by StartListener before this thread began:
    // raising it again here could undo a quit that came in between.
    const SettingsSnapshot settings = CurrentSettings();
    const auto port = static_cast<std::uint16_t>(settings->port & 0xFFFF);
    if (StartSockets()) {
        ReportOddPort(*settings, port);
        ListenSocket.store(OpenListenSocket(port));
        // A quit that came while the socket was being opened found nothing to
        // close; close it here so the accept below fails and quit can finish.
        if (ServerRunning.load() == 0)
            CloseListenSocket();
        if (ListenSocket.load() != platform::kNoSocket)
            AcceptConnections(*settings);
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
    platform::pin_module();
    if (!platform::services().start_thread(&RunListener, nullptr, 0)) {
        ServerThreadCount.fetch_sub(1);
        ServerRunning.store(0);
    }
}

void StopListener() {
    ServerRunning.store(0);
    CloseListenSocket();
}

namespace {

// Answers one request on stream, flushing it after.
void Answer(SocketStream& stream, const char* client_address) {
    HttpConnection connection;
    connection.set_socket(&stream);
    connection.set_client_address(client_address);
    int served = DoProxy(connection);
    stream.flush();
    if (served == 0) {
        std::printf("Error returned after DoProxy()\n");
        std::fflush(stdout);
    }
}

}  // namespace

void AnswerConnection(platform::Socket socket, const char* client_address) {
    SocketStream stream(socket);
    Answer(stream, client_address);
}

std::unique_ptr<ReplyRest> AnswerWithoutWaiting(platform::Socket socket,
                                                const char* client_address) {
    SocketStream stream(socket, SocketStream::Mode::parking);
    Answer(stream, client_address);
    return stream.take_rest();
}

void ServeConnection(void* raw) {
    auto* ticket = static_cast<ConnectionTicket*>(raw);
    AnswerConnection(ticket->socket, ticket->clientAddress);
    platform::close_socket(ticket->socket);
    delete ticket;
}

}  // namespace velvox
