// The listener and connection threads over real sockets on 127.0.0.1, and
// the buffered socket stream.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "http/socket_stream.h"
#include "loopback.h"
#include "platform/threads.h"
#include "server/listener.h"
#include "server_fixture.h"
#include "services_override.h"

namespace velvox::testing {
namespace {

// Reads everything the server sends on fd until it closes, then closes fd;
// returns the bytes.
std::string ReadToEnd(int fd) {
    std::string reply;
    char buffer[4096];
    for (;;) {
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        reply.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return reply;
}

// Connects to 127.0.0.1:port, trying the given number of times 50 ms apart
// (five seconds by default); -1 if it never could. Replies are waited for at
// most five seconds.
int Connect(int port, int attempts = 100) {
    for (int attempt = 0; attempt < attempts; ++attempt) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        timeval wait{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
            return fd;
        ::close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

// Sends request on a new connection and returns everything up to the close.
std::string Fetch(int port, const std::string& request) {
    int fd = Connect(port);
    if (fd < 0)
        return "<no connection>";
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    return ReadToEnd(fd);
}

// Waits up to five seconds for the listener thread to have ended.
bool ListenerEnded() {
    for (int i = 0; i < 500 && ServerThreadCount.load() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return ServerThreadCount.load() == 0;
}

class Listener : public WebRootTest {
  protected:
    // Starts the listener thread as the lifecycle does, on port (plus 65536,
    // of which only the low 16 bits count).
    void Start(int port) {
        PluginSettings s = *CurrentSettings();
        s.port = port + 65536;
        PublishSettings(s);
        ServerRunning.store(1);
        ServerThreadCount.store(1);
        ASSERT_TRUE(platform::start_thread(RunListener, nullptr));
    }
    void TearDown() override {
        StopListener();
        EXPECT_TRUE(ListenerEnded());
        WebRootTest::TearDown();
    }
};

TEST_F(Listener, ServesEachConnectionAndEndsWhenStopped) {
    const int port = FreePort();
    Start(port);
    const std::string form =
        "HTTP/1.1 200 OK\nServer: Pelmora\nConnection: close\nContent-Type: text/html\r\n\r\n"
        "<html><form method=GET action=\"admin.cgi\">Enter Admin Password <input type=text "
        "name=pass><input type=Submit></form>";
    EXPECT_EQ(Fetch(port, "GET /admin.cgi HTTP/1.0\r\n\r\n"), form);
    EXPECT_EQ(Fetch(port, "GET /admin.cgi HTTP/1.0\r\n\r\n"), form);
    StopListener();
    EXPECT_TRUE(ListenerEnded());
    EXPECT_EQ(ServerRunning.load(), 0);
    EXPECT_EQ(Connect(port, 1), -1) << "the listening socket is closed";
}

TEST_F(Listener, PeerThatResetsMidReplyLeavesTheServerServing) {
    Write("big.mp3", std::string(4 << 20, 'm'));
    Write("small.css", "ok");
    const int port = FreePort();
    Start(port);
    for (int i = 0; i < 5; ++i) {
        int fd = Connect(port);
        ASSERT_GE(fd, 0);
        const std::string request = "GET /big.mp3 HTTP/1.0\r\n\r\n";
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        if (i % 2 == 1)
            ::shutdown(fd, SHUT_WR);  // the server then sees EPIPE, not ECONNRESET
        char some[100];
        ::recv(fd, some, sizeof some, 0);
        linger reset{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(fd);
    }
    EXPECT_EQ(Fetch(port, "GET /small.css HTTP/1.0\r\n\r\n"), FileHead(2, "text/css") + "ok");
}

TEST_F(Listener, APeerThatReadsSlowlyHoldsNoThreadAndLosesNoByte) {
    const std::string big(8 << 20, 'm');
    Write("big.mp3", big);
    Write("small.css", "ok");
    const std::string small = "GET /small.css HTTP/1.0\r\n\r\n";
    // Even with one connection thread, the slow reader's reply holds none.
    for (const int threads : {256, 1}) {
        PluginSettings s = *CurrentSettings();
        s.maxConnectionThreads = threads;
        PublishSettings(s);
        const int port = FreePort();
        Start(port);
        // Connected before the slow reply begins, its request after: the
        // connection was waiting beside the reply's when that one stuck.
        int early = Connect(port);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        int slow = Connect(port);
        const std::string request = "GET /big.mp3 HTTP/1.0\r\n\r\n";
        ::send(slow, request.data(), request.size(), MSG_NOSIGNAL);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto start = std::chrono::steady_clock::now();
        ::send(early, small.data(), small.size(), MSG_NOSIGNAL);
        EXPECT_EQ(ReadToEnd(early), FileHead(2, "text/css") + "ok") << threads;
        EXPECT_EQ(Fetch(port, small), FileHead(2, "text/css") + "ok") << threads;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500))
            << "not held up";
        EXPECT_EQ(ReadToEnd(slow), FileHead(big.size(), "audio/mpeg") + big) << threads;
        StopListener();
        EXPECT_TRUE(ListenerEnded());
    }
}

TEST_F(Listener, PortInUseEndsTheListenerAndLeavesItRaised) {
    // Something else listens on all interfaces on the port.
    const int port = FreePort();
    int other = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    ASSERT_EQ(::bind(other, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(other, 4), 0);
    PluginSettings s = *CurrentSettings();
    s.port = port;
    PublishSettings(s);
    ServerRunning.store(1);  // as StartListener leaves it
    ServerThreadCount.store(1);
    ::testing::internal::CaptureStdout();
    RunListener(nullptr);  // returns at once: no socket, the first accept fails
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Velvox: cannot listen on port " + std::to_string(port) + ": address in use\n");
    EXPECT_EQ(ServerThreadCount.load(), 0);
    EXPECT_EQ(ServerRunning.load(), 1);
    ::close(other);
}

TEST_F(Listener, PortNumberAbove65535IsReportedWithThePortItListensOn) {
    Write("small.css", "ok");
    const int port = FreePort();
    PluginSettings s = *CurrentSettings();
    CopyCut(s.Port, std::to_string(port + 65536).c_str());
    s.port = port + 65536;
    PublishSettings(s);
    ServerRunning.store(1);
    ServerThreadCount.store(1);
    ::testing::internal::CaptureStdout();
    std::thread listener(RunListener, nullptr);
    // A whole request, answered before the stop: an empty connection would
    // add its own console line or not, depending on when the stop comes.
    EXPECT_EQ(Fetch(port, "GET /small.css HTTP/1.0\r\n\r\n"), FileHead(2, "text/css") + "ok")
        << "it listens on the low 16 bits";
    StopListener();
    listener.join();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Velvox: port \"" + std::to_string(port + 65536) +
                  "\" is not from 1 to 65535; listening on port " + std::to_string(port) + "\n");
}

TEST_F(Listener, QuitBeforeTheListenerRunsEndsItAtOnce) {
    PluginSettings s = *CurrentSettings();
    s.port = FreePort();
    PublishSettings(s);
    ServerRunning.store(1);  // StartListener raised it...
    ServerThreadCount.store(1);
    StopListener();  // ...and quit came before the thread opened its socket
    std::atomic<bool> ended{false};
    std::thread listener([&] {
        RunListener(nullptr);
        ended.store(true);
    });
    for (int i = 0; i < 100 && !ended.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(ended.load()) << "the listener kept accepting after quit";
    if (!ended.load())
        StopListener();  // unblock it so the test can end
    listener.join();
    EXPECT_EQ(ServerThreadCount.load(), 0);
}

TEST_F(Listener, ShortageOfDescriptorsIsWaitedOut) {
    const int port = FreePort();
    Start(port);
    const std::string form = Fetch(port, "GET /admin.cgi HTTP/1.0\r\n\r\n");
    ASSERT_EQ(form.substr(0, 15), "HTTP/1.1 200 OK");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // its thread has ended
    // The clients' sockets first; then no descriptor is left for an accept
    // until the limit is restored.
    int clients[3];
    for (int& fd : clients) {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        timeval wait{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    }
    rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowest_free = ::dup(0);
    ::close(lowest_free);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowest_free);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const std::string request = "GET /admin.cgi HTTP/1.0\r\n\r\n";
    for (int fd : clients) {
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    for (int fd : clients) {
        EXPECT_EQ(ReadToEnd(fd), form);
    }
}

platform::SocketsStart SocketsUnavailable() {
    return platform::SocketsStart::unavailable;
}
platform::SocketsStart SocketsTooOld() {
    return platform::SocketsStart::old_version;
}
bool NoThreads(platform::ThreadEntry, void*, std::size_t) {
    return false;
}

TEST_F(Listener, UnusableSocketsLayerEndsTheListenerNotTheProcess) {
    const struct {
        platform::SocketsStart (*start)();
        const char* out;
    } cases[] = {
        {SocketsUnavailable, "Socket error: cannot find winsock.dll\n"},
        {SocketsTooOld, "Socket error: winsock.dll is an old version\n"},
    };
    for (const auto& c : cases) {
        testing::ServicesOverride services;
        services.table.start_sockets = c.start;
        services.apply();
        ServerRunning.store(1);  // as StartListener leaves it
        ServerThreadCount.store(1);
        ::testing::internal::CaptureStdout();
        RunListener(nullptr);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.out);
        EXPECT_EQ(ServerThreadCount.load(), 0);
        EXPECT_EQ(ServerRunning.load(), 1) << "the server is off as after a failed bind";
    }
}

TEST_F(Listener, ConnectionWhoseThreadCannotStartIsClosed) {
    auto services = std::make_unique<testing::ServicesOverride>();
    services->table.start_thread = NoThreads;
    services->apply();
    const int port = FreePort();
    Start(port);
    // The connection is closed without a reply (an end of stream, not the
    // receive time-out), and the listener goes on.
    int fd = Connect(port);
    ASSERT_GE(fd, 0);
    char byte;
    EXPECT_EQ(::recv(fd, &byte, 1, 0), 0);
    ::close(fd);
    services.reset();
    EXPECT_EQ(Fetch(port, "GET /admin.cgi HTTP/1.0\r\n\r\n").substr(0, 15), "HTTP/1.1 200 OK");
}

// The reply with the value of its first Date line replaced by the fixed
// clock's, so that it compares with the fixture's pages.
std::string FixedDate(std::string reply) {
    const std::size_t start = reply.find("\r\nDate: ");
    if (start == std::string::npos)
        return reply;
    const std::size_t from = start + 8;
    const std::size_t to = reply.find("\r\n", from);
    return reply.replace(from, to - from, "Sun, 06 Nov 1994 08:49:37 GMT");
}

TEST_F(Listener, ConnectionThreadFlushesEveryReplyAndReportsFailures) {
    std::string big;
    for (int i = 0; i < 40000; ++i)
        big += static_cast<char>('a' + i % 26);
    Write("big.mp3", big);
    std::string lines;
    for (int i = 0; i < 3000; ++i)
        lines += "line " + std::to_string(i) + "\n";
    Write("playlist.html", lines);
    std::string page = kPageHead;
    for (int i = 0; i < 3000; ++i)
        page += "line " + std::to_string(i) + "\n\r\n";
    std::filesystem::create_directories(root_ + "/images");
    const std::string failed = "Error returned after DoProxy()\n";
    const struct {
        std::string request;
        std::string reply;
        std::string out;
    } cases[] = {
        {"GET /admin.cgi HTTP/1.0\r\n\r\n",
         std::string(kPageHead) +
             "<html><form method=GET action=\"admin.cgi\">Enter Admin Password <input "
             "type=text name=pass><input type=Submit></form>",
         ""},
        {"GET /big.mp3 HTTP/1.0\r\n\r\n", FileHead(big.size(), "audio/mpeg") + big, ""},
        {"GET / HTTP/1.0\r\n\r\n", page, ""},
        {"HEAD / HTTP/1.0\r\n\r\n", ErrorPage("Only GET requests supported", "Error"), failed},
        {"GET /images HTTP/1.0\r\n\r\n", ErrorPage("Invalid File", "", 404), failed},
        {"", "", "Socket error: Couldn't find end of line for first request\n" + failed},
    };
    for (const auto& c : cases) {
        int pair[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
        ::send(pair[1], c.request.data(), c.request.size(), MSG_NOSIGNAL);
        ::shutdown(pair[1], SHUT_WR);
        auto* ticket = new ConnectionTicket{};
        ticket->socket = pair[0];
        CopyCut(ticket->clientAddress, "127.0.0.1");
        ::testing::internal::CaptureStdout();
        std::thread connection(ServeConnection, ticket);
        // The reply ends where the connection thread closes its socket.
        std::string reply = ReadToEnd(pair[1]);
        connection.join();
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.out) << c.request;
        EXPECT_EQ(FixedDate(reply), c.reply) << c.request;
    }
}

TEST(SocketStreamTest, CoalescesWritesAndKeepsTheBytes) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    std::string expected;
    {
        SocketStream stream(pair[0]);
        for (int i = 0; i < 3000; ++i) {
            std::string piece = "line " + std::to_string(i) + "\n";
            expected += piece;
            EXPECT_EQ(stream.send(piece.data(), piece.size()), static_cast<int>(piece.size()));
        }
        std::string big(SocketStream::kCapacity + 10, 'B');
        expected += big;
        EXPECT_EQ(stream.send(big.data(), big.size()), static_cast<int>(big.size()));
        EXPECT_EQ(stream.flush(), 0);
        ::shutdown(pair[0], SHUT_WR);
    }
    EXPECT_EQ(ReadToEnd(pair[1]), expected);
    ::close(pair[0]);
}

TEST(SocketStreamTest, APeerThatTricklesCannotHoldASendPastTheTimeOut) {
    const int port = FreePort();
    int listening = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listening, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ::listen(listening, 1);
    int client = Connect(port);
    int server = ::accept(listening, nullptr, nullptr);
    ::close(listening);
    ASSERT_TRUE(platform::set_send_timeout(server, 300));
    // Reads a little every 50 ms: each single send makes progress in time.
    std::atomic<bool> done{false};
    std::thread reader([&] {
        char some[2048];
        while (!done.load() && ::recv(client, some, sizeof some, 0) > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    });
    SocketStream stream(server);
    const std::string big(16 << 20, 'b');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(stream.send(big.data(), big.size()), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    done.store(true);
    ::shutdown(server, SHUT_RDWR);
    reader.join();
    ::close(server);
    ::close(client);
}

TEST(SocketStreamTest, GonePeerFailsTheStreamWithoutASignal) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    ::close(pair[1]);
    SocketStream stream(pair[0]);
    const char text[] = "hello";
    EXPECT_EQ(stream.send(text, 5), 5);  // only buffered so far
    EXPECT_EQ(stream.flush(), -1);       // a SIGPIPE would have ended the test binary
    EXPECT_EQ(stream.send(text, 5), -1);
    EXPECT_EQ(stream.flush(), -1);
    ::close(pair[0]);
}

}  // namespace
}  // namespace velvox::testing
