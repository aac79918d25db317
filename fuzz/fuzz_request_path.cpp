// Fuzzes the whole path of requests as the listener runs it: connections over
// real sockets from a few client addresses go into a waiting room with small
// limits (a short deadline, two connection threads, two sockets per address)
// and are answered by the listener's connection function. Every connection
// must end answered or closed; one left open aborts the run.
//
// The input is a list of records: [flags][length][length bytes]. The flags'
// low two bits pick the address 127.0.0.2 to .5; bit 2 leaves the connection
// idle (nothing sent); bit 3 closes the client's end at once.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix/emulated_window.h"
#include "server/listener.h"
#include "server/waiting_room.h"
#include "server_world.h"

namespace {

using Clock = std::chrono::steady_clock;

// Answers the player's messages and reads the open clients until each has
// been closed by the server or the time is up; returns how many are open.
std::size_t Drain(std::vector<int>& clients, Clock::duration limit) {
    const auto end = Clock::now() + limit;
    std::size_t open = 0;
    do {
        platform::emu::handle_pending_sends(velvox::fuzzing::server_world_window());
        open = 0;
        for (int& fd : clients) {
            if (fd < 0)
                continue;
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 0) > 0) {
                char buffer[16384];
                if (::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) <= 0) {
                    ::close(fd);
                    fd = -1;
                    continue;
                }
            }
            ++open;
        }
        if (open > 0)
            platform::emu::wait_for_activity(velvox::fuzzing::server_world_window(), 1);
    } while (open > 0 && Clock::now() < end);
    return open;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    velvox::fuzzing::prepare_server_world();
    velvox::WaitingRoomLimits limits;
    limits.wait_deadline_ms = 100;
    limits.send_timeout_ms = 500;
    limits.max_connection_threads = 2;
    limits.max_sockets_per_address = 2;
    limits.max_idle_threads = 1;
    limits.thread_linger_ms = 50;
    velvox::WaitingRoom room(velvox::AnswerWithoutWaiting, limits);
    if (!room.start())
        std::abort();
    std::vector<int> clients;
    std::size_t at = 0;
    while (at + 2 <= size && clients.size() < 8) {
        const std::uint8_t flags = data[at];
        std::size_t length = data[at + 1];
        at += 2;
        if (length > size - at)
            length = size - at;
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0)
            break;
        const std::string address = "127.0.0." + std::to_string(2 + (flags & 3));
        room.admit(pair[0], address.c_str());
        if ((flags & 4) == 0) {
            ::send(pair[1], data + at, length, MSG_NOSIGNAL);
            ::shutdown(pair[1], SHUT_WR);
        }
        at += length;
        if ((flags & 8) != 0) {
            ::close(pair[1]);
            continue;
        }
        clients.push_back(pair[1]);
    }
    // Idle ones are closed at the deadline, the rest once answered.
    if (Drain(clients, std::chrono::seconds(5)) != 0) {
        std::fprintf(stderr, "a connection was neither answered nor closed\n");
        std::abort();
    }
    room.stop();
    // Connection threads may still be sending messages to the player.
    while (room.connection_threads() != 0) {
        platform::emu::handle_pending_sends(velvox::fuzzing::server_world_window());
        platform::emu::wait_for_activity(velvox::fuzzing::server_world_window(), 1);
    }
    return 0;
}
