// Turns of a parked rest on a socket that takes more at once: each within its share, all bytes.
#include "http/reply_rest.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <string>
#include <thread>

namespace velvox::testing {
namespace {

TEST(ReplyRest, ATurnMovesAtMostItsShareAndTurnsMoveEveryByte) {
    const std::size_t cases[][2] = {{0, 4 << 20}, {1 << 20, 0}, {100000, 3 << 20}, {10, 1000}};
    for (const auto& [bytes, file_bytes] : cases) {
        std::string all(bytes + file_bytes, '\0');
        for (std::size_t i = 0; i < all.size(); ++i)
            all[i] = static_cast<char>(i * 7 / 3);
        char path[] = "/tmp/velvox-rest-XXXXXX";
        const int fd = ::mkstemp(path);
        ASSERT_EQ(::write(fd, all.data() + bytes, file_bytes), static_cast<ssize_t>(file_bytes));
        ReplyRest rest;
        rest.bytes = all.substr(0, bytes);
        auto file = std::make_unique<platform::InputFile>();
        ASSERT_TRUE(file->open(path, false));
        rest.file = std::make_unique<platform::FileRest>(std::move(file), file_bytes);
        ::close(fd);
        ::unlink(path);
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
        ASSERT_TRUE(platform::set_nonblocking(ends[0]));
        std::string got;
        std::thread reader([&got, &ends] {
            char buffer[65536];
            for (ssize_t n; (n = ::recv(ends[1], buffer, sizeof buffer, 0)) > 0;)
                got.append(buffer, static_cast<std::size_t>(n));
        });
        for (RestSent sent = RestSent::blocked; sent == RestSent::blocked;) {
            pollfd p{ends[0], POLLOUT, 0};
            if (::poll(&p, 1, 5000) <= 0)
                break;
            std::uint64_t moved = 0;
            sent = SendRest(ends[0], rest, moved);
            EXPECT_LE(moved, kRestTurnBytes);
        }
        ::close(ends[0]);
        reader.join();
        ::close(ends[1]);
        EXPECT_EQ(got, all);
    }
}

}  // namespace
}  // namespace velvox::testing
