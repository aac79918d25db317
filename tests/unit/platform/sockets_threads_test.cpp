// Threads started detached with a stack size, the readiness set, the send
// time-out and the open-file limit, on real threads and sockets on 127.0.0.1.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/readiness.h"
#include "platform/sockets.h"
#include "platform/threads.h"

namespace {

using Clock = std::chrono::steady_clock;

// Waits (at most ten seconds) until done() holds; returns whether it did.
template <typename Done>
bool WaitUntil(Done done) {
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (!done() && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done();
}

struct SeenAttributes {
    std::atomic<bool> ran{false};
    std::size_t stack_size = 0;
    int detach_state = -1;
};

// Notes the calling thread's own stack size and detach state.
void NoteAttributes(void* raw) {
    auto* seen = static_cast<SeenAttributes*>(raw);
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
        pthread_attr_getstacksize(&attributes, &seen->stack_size);
        pthread_attr_getdetachstate(&attributes, &seen->detach_state);
        pthread_attr_destroy(&attributes);
    }
    seen->ran = true;
}

TEST(Threads, StartDetachedWithTheStackAskedForRoundedUpToPages) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t smallest = PTHREAD_STACK_MIN;
    struct Case {
        std::size_t asked;
        std::size_t expected;  // 0: the platform's default, whatever it is
    } cases[] = {
        {0, 0},
        {1, smallest},
        {96 * 1024 + 1, 96 * 1024 + page},
        {256 * 1024, 256 * 1024},
    };
    for (const Case& c : cases) {
        SeenAttributes seen;
        ASSERT_TRUE(platform::start_thread(NoteAttributes, &seen, c.asked));
        ASSERT_TRUE(WaitUntil([&] { return seen.ran.load(); }));
        EXPECT_EQ(seen.detach_state, PTHREAD_CREATE_DETACHED) << c.asked;
        if (c.expected != 0) {
#ifdef __SANITIZE_THREAD__
            // The thread sanitizer enlarges small stacks for its own use.
            EXPECT_GE(seen.stack_size, c.expected) << c.asked;
#else
            EXPECT_EQ(seen.stack_size, c.expected) << c.asked;
#endif
        }
    }
}

std::atomic<int> finished_threads{0};

// A thread that ends at once.
void EndAtOnce(void*) {
    finished_threads++;
}

TEST(Threads, ThousandsOfShortThreadsStartedAtOnceEachRunOnce) {
    // Threads that end before their start returns: nothing may refer to them
    // afterwards (the sanitizer builds catch a use of a reclaimed thread).
    finished_threads = 0;
    int started = 0;
    for (int i = 0; i < 3000; ++i)
        started += platform::start_thread(EndAtOnce, nullptr, 64 * 1024) ? 1 : 0;
    EXPECT_EQ(started, 3000);
    EXPECT_TRUE(WaitUntil([&] { return finished_threads.load() == started; }));
}

// A connected pair over 127.0.0.1: the server side and the client side.
struct Pair {
    int server = -1;
    int client = -1;
};

// Connects n clients to a fresh listening socket on 127.0.0.1 (with the
// send time-out given, when not 0) and accepts each.
std::vector<Pair> ConnectPairs(int n, unsigned listening_send_timeout_ms = 0) {
    int listening = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listening_send_timeout_ms > 0)
        platform::set_send_timeout(listening, listening_send_timeout_ms);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(listening, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listening, 64);
    ::getsockname(listening, reinterpret_cast<sockaddr*>(&a), &length);
    std::vector<Pair> pairs(static_cast<std::size_t>(n));
    for (Pair& p : pairs) {
        p.client = ::socket(AF_INET, SOCK_STREAM, 0);
        ::connect(p.client, reinterpret_cast<sockaddr*>(&a), sizeof a);
        p.server = ::accept(listening, nullptr, nullptr);
    }
    ::close(listening);
    return pairs;
}

// The sockets one wait reports, sorted.
std::vector<platform::Socket> Wait(platform::ReadySet& set, int timeout_ms) {
    platform::Socket ready[8];
    int n = set.wait(ready, 8, timeout_ms);
    std::vector<platform::Socket> result(ready, ready + std::max(n, 0));
    std::sort(result.begin(), result.end());
    return result;
}

TEST(ReadySet, ReportsSocketsWithDataOrEndOfStreamUntilRemovedAndWakes) {
    std::vector<Pair> p = ConnectPairs(3);
    platform::ReadySet set;
    ASSERT_TRUE(set.usable());
    for (const Pair& pair : p)
        ASSERT_TRUE(set.add(pair.server));
    using List = std::vector<platform::Socket>;
    EXPECT_EQ(Wait(set, 50), List{});

    ASSERT_EQ(::send(p[0].client, "x", 1, 0), 1);
    EXPECT_EQ(Wait(set, 5000), List{p[0].server});
    // Readable stays readable until it is read or removed.
    ::close(p[2].client);
    List both{p[0].server, p[2].server};
    std::sort(both.begin(), both.end());
    EXPECT_EQ(Wait(set, 5000), both);
    set.remove(p[0].server);
    EXPECT_EQ(Wait(set, 5000), List{p[2].server});
    set.remove(p[2].server);

    // A wake from another thread ends a wait without limit.
    std::thread waker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        set.wake();
    });
    EXPECT_EQ(set.wait(nullptr, 0, -1), 0);
    waker.join();
    // A wake before the wait is not lost.
    set.wake();
    EXPECT_EQ(set.wait(nullptr, 0, 5000), 0);
    EXPECT_EQ(Wait(set, 0), List{});
    for (const Pair& pair : p) {
        ::close(pair.server);
        ::close(pair.client);
    }
}

TEST(Sockets, WaitReadableMarksTheSocketsWithDataAndWaitsOnlyForTheFirst) {
    struct Case {
        bool first_before, second_before;  // sent before the wait
        bool first_later;                  // sent 20 ms into the wait
        int expected;                      // the count returned
    };
    const Case kCases[] = {
        {true, false, false, 1},   // there already
        {false, true, false, 1},   // the other one
        {true, true, false, 2},    // both
        {false, false, true, 1},   // comes during the wait
        {false, false, false, 0},  // never comes: the whole wait
    };
    for (const Case& c : kCases) {
        std::vector<Pair> p = ConnectPairs(2);
        if (c.first_before)
            ::send(p[0].client, "x", 1, 0);
        if (c.second_before)
            ::send(p[1].client, "y", 1, 0);
        std::thread later([&] {
            if (!c.first_later)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            ::send(p[0].client, "x", 1, 0);
        });
        const platform::Socket sockets[2] = {p[0].server, p[1].server};
        bool readable[2] = {true, true};
        // Only the case that waits it out has a short limit.
        const int limit_ms = c.expected > 0 ? 2000 : 200;
        const auto start = Clock::now();
        EXPECT_EQ(platform::wait_readable(sockets, readable, 2, limit_ms), c.expected);
        const auto waited = Clock::now() - start;
        later.join();
        EXPECT_EQ(readable[0], c.first_before || c.first_later);
        EXPECT_EQ(readable[1], c.second_before);
        if (c.first_before || c.second_before) {
            EXPECT_LT(waited, std::chrono::milliseconds(500));
        } else if (c.expected == 0) {
            EXPECT_GE(waited, std::chrono::milliseconds(190));
        }
        for (const Pair& pair : p) {
            ::close(pair.server);
            ::close(pair.client);
        }
    }
}

TEST(Sockets, SendGivesUpAfterItsTimeOutWhenThePeerReadsNothing) {
    // The time-out set on the connection, or (where the host says accepted
    // sockets keep it) only on the listening socket.
    for (const bool on_listening : {false, true}) {
        if (on_listening && !platform::accepted_sockets_keep_send_timeout())
            continue;
        std::vector<Pair> p = ConnectPairs(1, on_listening ? 200 : 0);
        if (!on_listening) {
            ASSERT_TRUE(platform::set_send_timeout(p[0].server, 200));
        }
        EXPECT_EQ(platform::send_timeout(p[0].server), 200u) << on_listening;
        std::vector<char> chunk(64 * 1024, 'a');
        const auto start = Clock::now();
        long sent = 0;
        for (int i = 0; i < 10000 && sent >= 0; ++i)
            sent = platform::send(p[0].server, chunk.data(), chunk.size());
        EXPECT_EQ(sent, -1) << on_listening;
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(20));
        ::close(p[0].server);
        ::close(p[0].client);
    }
}

TEST(Sockets, OpenFileLimitIsRaisedToTheHardLimit) {
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
    rlimit lowered = before;
    lowered.rlim_cur = std::min<rlim_t>(before.rlim_max, 256);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    long limit = platform::raise_open_file_limit();
    rlimit after{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &after), 0);
    EXPECT_EQ(after.rlim_cur, before.rlim_max);
    if (before.rlim_max != RLIM_INFINITY) {
        EXPECT_EQ(limit, static_cast<long>(before.rlim_max));
    }
    setrlimit(RLIMIT_NOFILE, &before);
}

}  // namespace
