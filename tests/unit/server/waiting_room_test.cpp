// The waiting room over real sockets on 127.0.0.0/8: idle sockets cost no
// thread, the deadline (on a clock of the test's), the limits per address and
// on connection threads, thread reuse, the send time-out and stop.
#include "server/waiting_room.h"

#include "http/socket_stream.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "services_override.h"

namespace velvox::testing {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Waits (at most ten seconds) until done() holds; returns whether it did.
template <typename Done>
bool WaitUntil(Done done) {
    const auto end = SteadyClock::now() + std::chrono::seconds(10);
    while (!done() && SteadyClock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done();
}

std::atomic<std::int64_t> manual_now{0};

std::int64_t ManualClock() {
    return manual_now.load();
}

// A listening socket on 127.0.0.1 whose accepted sockets go to a room.
class RoomFixture : public ::testing::Test {
  protected:
    RoomFixture() {
        listening_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        ::bind(listening_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listening_, 128);
        ::getsockname(listening_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = a.sin_port;
        manual_now = 0;
    }
    ~RoomFixture() override {
        ::close(listening_);
        for (int fd : clients_)
            ::close(fd);
    }

    // Connects from source (an address of 127.0.0.0/8), accepts on the
    // server side and admits the accepted socket to room. Returns the
    // client's socket.
    int Arrive(WaitingRoom& room, const char* source) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, source, &a.sin_addr);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = port_;
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        char address[64];
        platform::Socket accepted =
            platform::accept_connection(listening_, address, sizeof address);
        EXPECT_STREQ(address, source);
        room.admit(accepted, address);
        clients_.push_back(fd);
        return fd;
    }

    int listening_ = -1;
    in_port_t port_ = 0;
    std::vector<int> clients_;
};

// What the client sees within the wait: the bytes until the server closed,
// or "(open)" when it did not close in time.
std::string Outcome(int fd, int wait_ms = 5000) {
    std::string got;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, wait_ms) <= 0)
            return got + "(open)";
        char buffer[256];
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return got;
        got.append(buffer, static_cast<std::size_t>(n));
    }
}

// How long to look for an outcome: a close comes within five seconds; an open
// socket is only looked at briefly.
int WaitFor(const std::string& expected) {
    return expected == "(open)" ? 100 : 5000;
}

// Answers "reply:" and what one receive brought.
std::unique_ptr<ReplyRest> Echo(platform::Socket socket, const char*) {
    char buffer[256];
    long n = platform::receive(socket, buffer, sizeof buffer);
    std::string reply = "reply:" + std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    platform::send(socket, reply.data(), reply.size());
    return nullptr;
}

TEST_F(RoomFixture, IdleSocketsTakeNoThreadAndReadyOnesAreAnsweredInTurn) {
    WaitingRoomLimits limits;
    WaitingRoom room(Echo, limits);
    ASSERT_TRUE(room.start());
    std::vector<int> idle;
    for (int i = 0; i < 50; ++i)
        idle.push_back(Arrive(room, "127.0.0.2"));
    int asking = Arrive(room, "127.0.0.3");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(room.connection_threads(), 0);
    ASSERT_EQ(::send(asking, "GET /", 5, 0), 5);
    EXPECT_EQ(Outcome(asking), "reply:GET /");
    EXPECT_EQ(room.connection_threads(), 1);
    EXPECT_EQ(Outcome(idle[0], 0), "(open)");
    // The end of a stream counts as arrived: the handler's receive sees it.
    ::shutdown(idle[1], SHUT_WR);
    EXPECT_EQ(Outcome(idle[1]), "reply:");
    EXPECT_EQ(room.counts().admitted, 51u);
    EXPECT_EQ(room.counts().served, 2u);
}

TEST_F(RoomFixture, SocketsPastTheDeadlineAreClosedWithoutAReply) {
    WaitingRoomLimits limits;
    limits.wait_deadline_ms = 10000;
    testing::ServicesOverride services;
    services.table.steady_milliseconds = ManualClock;
    services.apply();
    WaitingRoom room(Echo, limits);
    ASSERT_TRUE(room.start());
    int first = Arrive(room, "127.0.0.2");
    manual_now = 4000;
    int second = Arrive(room, "127.0.0.2");
    struct Step {
        std::int64_t now;
        const char* first;
        const char* second;
    } steps[] = {
        {9999, "(open)", "(open)"},
        {10000, "", "(open)"},
        {13999, "", "(open)"},
        {14000, "", ""},
    };
    for (const Step& s : steps) {
        manual_now = s.now;
        room.recheck();
        EXPECT_EQ(Outcome(first, WaitFor(s.first)), s.first) << s.now;
        EXPECT_EQ(Outcome(second, WaitFor(s.second)), s.second) << s.now;
    }
    EXPECT_EQ(room.counts().expired, 2u);
    EXPECT_EQ(room.counts().served, 0u);
}

TEST_F(RoomFixture, AnAddressOverItsLimitIsClosedAtOnceAndCounted) {
    WaitingRoomLimits limits;
    limits.max_sockets_per_address = 2;
    WaitingRoom room(Echo, limits);
    ASSERT_TRUE(room.start());
    int a1 = Arrive(room, "127.0.0.2");
    int a2 = Arrive(room, "127.0.0.2");
    int a3 = Arrive(room, "127.0.0.2");
    int b1 = Arrive(room, "127.0.0.3");
    EXPECT_EQ(Outcome(a3), "");
    EXPECT_EQ(room.counts().refused_per_address, 1u);
    // Once one of the address's sockets is answered and closed, it has room
    // for one more again.
    ::send(a1, "a1", 2, 0);
    EXPECT_EQ(Outcome(a1), "reply:a1");
    int a4 = Arrive(room, "127.0.0.2");
    ::send(a4, "a4", 2, 0);
    ::send(a2, "a2", 2, 0);
    ::send(b1, "b1", 2, 0);
    EXPECT_EQ(Outcome(a4), "reply:a4");
    EXPECT_EQ(Outcome(a2), "reply:a2");
    EXPECT_EQ(Outcome(b1), "reply:b1");
    EXPECT_EQ(room.counts().refused_per_address, 1u);
}

// A handler that waits for the test's gate before it echoes.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    int inside = 0;
};
Gate gate;

std::unique_ptr<ReplyRest> GatedEcho(platform::Socket socket, const char* address) {
    std::unique_lock<std::mutex> hold(gate.mutex);
    gate.inside++;
    gate.changed.notify_all();
    gate.changed.wait(hold, [] { return gate.open; });
    hold.unlock();
    return Echo(socket, address);
}

TEST_F(RoomFixture, ReadySocketsOverTheThreadLimitWaitForAFreeThread) {
    gate.open = false;
    gate.inside = 0;
    WaitingRoomLimits limits;
    limits.max_connection_threads = 2;
    WaitingRoom room(GatedEcho, limits);
    ASSERT_TRUE(room.start());
    std::vector<int> clients;
    for (int i = 0; i < 5; ++i) {
        clients.push_back(Arrive(room, "127.0.0.2"));
        ::send(clients.back(), "r", 1, 0);
    }
    EXPECT_TRUE(WaitUntil([&] { return room.counts().waited_for_thread == 3; }));
    EXPECT_TRUE(WaitUntil([&] {
        std::lock_guard<std::mutex> hold(gate.mutex);
        return gate.inside == 2;
    }));
    {
        std::lock_guard<std::mutex> hold(gate.mutex);
        EXPECT_EQ(gate.inside, 2);
        EXPECT_EQ(room.connection_threads(), 2);
        gate.open = true;
    }
    gate.changed.notify_all();
    for (int fd : clients)
        EXPECT_EQ(Outcome(fd), "reply:r");
    EXPECT_EQ(room.connection_threads(), 2);
}

TEST_F(RoomFixture, AConnectionThreadIsReusedWhileItLingersAndEndsAfter) {
    WaitingRoomLimits limits;
    limits.thread_linger_ms = 300;
    WaitingRoom room(Echo, limits);
    ASSERT_TRUE(room.start());
    for (int i = 0; i < 10; ++i) {
        // The thread that answered the last one is back waiting first.
        if (i > 0) {
            ASSERT_TRUE(WaitUntil([&] { return room.idle_connection_threads() == 1; }));
        }
        int fd = Arrive(room, "127.0.0.2");
        ::send(fd, "q", 1, 0);
        EXPECT_EQ(Outcome(fd), "reply:q");
    }
    EXPECT_EQ(room.counts().threads_started, 1u);
    EXPECT_TRUE(WaitUntil([&] { return room.connection_threads() == 0; }));
}

// Starts the room's own thread, refuses every connection thread.
bool StartOnlyTheRoom(platform::ThreadEntry entry, void* argument, std::size_t stack_bytes) {
    static std::atomic<int> calls{0};
    return calls++ == 0 && platform::start_thread(entry, argument, stack_bytes);
}

TEST_F(RoomFixture, AReadySocketWithNoThreadToAnswerItIsClosed) {
    WaitingRoomLimits limits;
    testing::ServicesOverride services;
    services.table.start_thread = StartOnlyTheRoom;
    services.apply();
    WaitingRoom room(Echo, limits);
    ASSERT_TRUE(room.start());
    int fd = Arrive(room, "127.0.0.2");
    ::send(fd, "q", 1, 0);
    EXPECT_EQ(Outcome(fd), "");
    EXPECT_EQ(room.counts().thread_start_failures, 1u);
    // Its address's count went back down: it may use all of its sockets.
    EXPECT_EQ(room.counts().refused_per_address, 0u);
}

// Answers with 8 MiB that the socket cannot take at once: the rest is parked.
std::unique_ptr<ReplyRest> Flood(platform::Socket socket, const char*) {
    SocketStream stream(socket, SocketStream::Mode::parking);
    char request;  // read, or the close would reset the connection
    stream.receive(&request, 1);
    const std::string chunk(1 << 20, 'x');
    for (int i = 0; i < 8; ++i)
        stream.send(chunk.data(), chunk.size());
    stream.flush();
    return stream.take_rest();
}

TEST_F(RoomFixture, AParkedReplyHoldsNoThreadAndGoesOnAsReadOrEndsAtTheSendTimeOut) {
    // A peer that reads gets every byte; one that reads nothing for the
    // send time-out (on the room's clock) is closed with the rest unsent.
    testing::ServicesOverride services;
    services.table.steady_milliseconds = ManualClock;
    services.apply();
    for (const bool reads : {true, false}) {
        WaitingRoomLimits limits;
        limits.send_timeout_ms = 1000;
        WaitingRoom room(Flood, limits);
        ASSERT_TRUE(room.start());
        int fd = Arrive(room, "127.0.0.2");
        ::send(fd, "q", 1, 0);
        EXPECT_TRUE(WaitUntil([&] { return room.parked_sockets() == 1; }));
        EXPECT_TRUE(WaitUntil([&] { return room.idle_connection_threads() == 1; }));
        if (!reads) {
            // The system may still move bytes towards the peer for a while,
            // which counts as reading: the time-out runs from when that stops.
            EXPECT_TRUE(WaitUntil([&] {
                manual_now += 100;
                return room.counts().stalled == 1;
            }));
        }
        const std::string got = Outcome(fd);
        EXPECT_EQ(got.size() == 8u << 20, reads);
        EXPECT_EQ(got.find_first_not_of('x'), std::string::npos);
        EXPECT_EQ(room.counts().stalled, reads ? 0u : 1u);
        EXPECT_EQ(room.parked_sockets(), 0);
    }
}

TEST_F(RoomFixture, StopClosesWaitingSocketsAndTakesNoMore) {
    WaitingRoomLimits limits;
    WaitingRoom room(Echo, limits);
    ASSERT_TRUE(room.start());
    int waiting = Arrive(room, "127.0.0.2");
    room.stop();
    EXPECT_EQ(Outcome(waiting), "");
    int late = Arrive(room, "127.0.0.2");
    EXPECT_EQ(Outcome(late), "");
    EXPECT_EQ(room.counts().admitted, 1u);
}

}  // namespace
}  // namespace velvox::testing
