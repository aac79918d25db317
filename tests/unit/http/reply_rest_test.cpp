// Sending a parked rest over a real loopback connection whose send buffer
// takes megabytes: each turn stops at its share, and the turns deliver every
// byte in order.
#include "http/reply_rest.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <utility>

namespace velvox::testing {
namespace {

// Connects a client to a listener on 127.0.0.1; returns {client, accepted}.
std::pair<int, int> LoopbackPair() {
    const int listening = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(listening, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listening, 1);
    ::getsockname(listening, reinterpret_cast<sockaddr*>(&a), &length);
    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    const int accepted = ::accept(listening, nullptr, nullptr);
    ::close(listening);
    return {client, accepted};
}

TEST(ReplyRest, ATurnMovesAtMostItsShareAndTurnsMoveEveryByte) {
    const struct {
        std::size_t bytes, file;
    } cases[] = {{0, 4 << 20}, {1 << 20, 0}, {100000, 3 << 20}, {10, 1000}};
    for (const auto& c : cases) {
        std::string expected(c.bytes + c.file, '\0');
        for (std::size_t i = 0; i < expected.size(); ++i)
            expected[i] = static_cast<char>(i * 7 / 3);
        char path[] = "/tmp/velvox-rest-XXXXXX";
        const int fd = ::mkstemp(path);
        ASSERT_EQ(::write(fd, expected.data() + c.bytes, c.file), static_cast<ssize_t>(c.file));
        ::close(fd);
        ReplyRest rest;
        rest.bytes = expected.substr(0, c.bytes);
        auto file = std::make_unique<platform::InputFile>();
        ASSERT_TRUE(file->open(path, false));
        rest.file = std::make_unique<platform::FileRest>(std::move(file), c.file);
        ::unlink(path);
        const auto [client, server] = LoopbackPair();
        ASSERT_TRUE(platform::set_nonblocking(server));
        // The peer reads nothing yet: the system would take megabytes now.
        std::uint64_t moved = 0;
        RestSent sent = SendRest(server, rest, moved);
        EXPECT_LE(moved, kRestTurnBytes);
        EXPECT_EQ(sent, expected.size() <= kRestTurnBytes ? RestSent::all : RestSent::blocked);
        std::string got;
        std::thread reader([&, client = client] {
            char buffer[65536];
            for (ssize_t n; (n = ::recv(client, buffer, sizeof buffer, 0)) > 0;)
                got.append(buffer, static_cast<std::size_t>(n));
        });
        for (std::uint64_t before = moved; sent == RestSent::blocked; before = moved) {
            pollfd p{server, POLLOUT, 0};
            ::poll(&p, 1, 5000);
            sent = SendRest(server, rest, moved);
            EXPECT_LE(moved - before, kRestTurnBytes);
        }
        EXPECT_EQ(sent, RestSent::all);
        ::close(server);
        reader.join();
        ::close(client);
        EXPECT_EQ(got, expected);
    }
}

}  // namespace
}  // namespace velvox::testing
