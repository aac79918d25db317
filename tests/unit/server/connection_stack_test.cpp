// What answering a request takes of a connection thread's stack: the
// connection runs on a stack painted with a pattern, of the size connection
// threads get, and the part the pattern no longer covers is what it used.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fake_player.h"
#include "platform/posix/emulated_window.h"
#include "queue/playlist_cache.h"
#include "server/listener.h"
#include "server_fixture.h"

namespace velvox::testing {
namespace {

constexpr unsigned char kPaint = 0xA5;

struct Run {
    int socket;
};

// A connection thread's work: answers and closes the socket.
void* Answer(void* raw) {
    auto* run = static_cast<Run*>(raw);
    AnswerConnection(run->socket, "127.0.0.1");
    ::close(run->socket);
    return nullptr;
}

// Answers request on a thread whose stack is painted, while the test thread
// answers the player's messages; returns the bytes of the stack written.
std::size_t StackUsed(FakePlayer& player, const std::string& request) {
    const std::size_t size = kConnectionStackBytes;
    void* stack = std::aligned_alloc(4096, size);
    std::memset(stack, kPaint, size);
    int pair[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    ::send(pair[1], request.data(), request.size(), MSG_NOSIGNAL);
    ::shutdown(pair[1], SHUT_WR);
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstack(&attributes, stack, size);
    Run run{pair[0]};
    pthread_t thread;
    const bool started = pthread_create(&thread, &attributes, Answer, &run) == 0;
    EXPECT_TRUE(started);
    if (!started)
        ::close(pair[0]);
    ::fcntl(pair[1], F_SETFL, O_NONBLOCK);
    char buffer[65536];
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < end) {
        platform::emu::handle_pending_sends(player.window());
        ssize_t n = ::recv(pair[1], buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN))
            break;
        if (n < 0)
            platform::emu::wait_for_activity(player.window(), 1);
    }
    if (started)
        pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    ::close(pair[1]);
    // The stack grows down: the lowest byte written marks the deepest use.
    const auto* bytes = static_cast<const unsigned char*>(stack);
    const std::size_t untouched = static_cast<std::size_t>(
        std::find_if(bytes, bytes + size, [](unsigned char b) { return b != kPaint; }) - bytes);
    std::free(stack);
    return size - untouched;
}

using ConnectionStack = WebRootTest;

TEST_F(ConnectionStack, AnsweringAnyRequestUsesAQuarterOfTheStackAtMost) {
#ifdef __SANITIZE_THREAD__
    GTEST_SKIP() << "the thread sanitizer runs no thread on a stack of the caller's";
#endif
    FakePlayer player;
    for (int i = 0; i < 300; ++i)
        player.playlist.push_back("Artist " + std::to_string(i % 40) + " - Song " +
                                  std::to_string(i));
    RefreshPlaylistCache();
    std::string page;
    for (const char* token :
         {"%%ARTISTSELECT%%", "%%ADMINWINAMPCONTROL%%", "%%ADMINHIDDENFIELD%%", "%%ADMINPASSWORD%%",
          "%%ERROR%%", "%%HTTP_REFERRER%%", "%%PLAYLISTENTRY%%", "%%PLAYLISTPOS%%",
          "%%QUEUELISTENTRY%%", "%%QUEUELISTPOS%%", "%%NAV_NEXT%%", "%%NAV_PREV%%",
          "%%CURRENTSONG%%", "%%CONTENT_REFRESH%%", "%%PCT_LEFT%%", "%%SONG_LENGTH%%"})
        page += std::string("<p>") + token + "</p>\n";
    Write("playlist.html", page);
    Write("big.mp3", std::string(100000, 'm'));
    const std::string requests[] = {
        "GET / HTTP/1.0\r\nReferer: /playlist.cgi?x=1\r\n\r\n",
        "GET /playlist.cgi?startswith=A&current=3 HTTP/1.0\r\n\r\n",
        "GET /admin.cgi?pass=&action=stop HTTP/1.0\r\n\r\n",
        "GET /request.cgi?file=1 HTTP/1.0\r\n\r\n",
        "GET /big.mp3 HTTP/1.0\r\n\r\n",
        "GET /" + std::string(255, '<') + " HTTP/1.0\r\n\r\n",
        "GET /../" + std::string(250, '&') + " HTTP/1.0\r\n\r\n",
        "HEAD / HTTP/1.0\r\n\r\n",
        "",
    };
    std::size_t most = 0;
    for (const std::string& request : requests) {
        const std::size_t used = StackUsed(player, request);
        EXPECT_LT(used, kConnectionStackBytes / 4) << request;
        most = std::max(most, used);
    }
    RecordProperty("most_stack_bytes", static_cast<int>(most));
}

}  // namespace
}  // namespace velvox::testing
