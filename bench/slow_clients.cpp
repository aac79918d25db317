// Many clients that hold connections open, measured from outside:
//
//   slow_clients readers --port P --path /big.bin --body-bytes B [--clients N]
//       [--sources S] [--page /x] [--pid PID] [--hold SECONDS]
//     N connections (from S addresses of 127.0.0.0/8) ask for the file and
//     read nothing for a while; then a page is fetched from another address,
//     the server's threads and resident memory are read, and every slow
//     reader reads its reply to the end. Prints readers= full= short=
//     page_p50_us= page_max_us= threads= rss_kib= drain_s=.
//
//   slow_clients events --port P --path /api/events [--clients N] [--sources S]
//       [--page /x] [--pid PID] [--rounds R] (--fifo FILE | --publish /pub)
//     N subscribers; each round writes "end" to the player's console fifo, or
//     posts a message to the publish path, and times until every subscriber
//     has the event that follows. Prints subscribers= events= missed= p50_ms=
//     p99_ms= max_ms= threads= rss_kib= page_alone_p50_us= page_with_p50_us=.
//
// Links nothing of Velvox; nothing here goes beyond 127.0.0.0/8.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string mode;
    int port = 0;
    std::string path = "/";
    std::string page = "/";
    long body_bytes = -1;
    int clients = 1000;
    int sources = 20;
    int pid = 0;
    double hold = 1.0;
    int rounds = 20;
    std::string fifo;
    std::string publish;
};

// Connects from 127.0.0.source to the port (blocking), with a receive buffer
// of rcvbuf bytes when positive; -1 on failure.
int Connect(const Options& o, int source, int rcvbuf) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (rcvbuf > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(0x7f000000u | static_cast<unsigned>(source));
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    a.sin_port = htons(static_cast<std::uint16_t>(o.port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Sends "GET path HTTP/1.0" (with a body of text for a POST).
void Ask(int fd, const std::string& path, const std::string& post = "") {
    // The event-stream Accept line is what nginx's nchan answers as a subscriber.
    std::string request = post.empty()
                              ? "GET " + path + " HTTP/1.0\r\nAccept: text/event-stream\r\n\r\n"
                              : "POST " + path +
                                    " HTTP/1.0\r\nContent-Length: " + std::to_string(post.size()) +
                                    "\r\n\r\n" + post;
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
}

// Reads fd to the end; returns the bytes.
std::string ReadAll(int fd) {
    std::string got;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return got;
}

// Microseconds from connect to close of count fetches of path, sorted.
std::vector<double> PageTimes(const Options& o, int count) {
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        int fd = Connect(o, 250, 0);
        if (fd < 0)
            continue;
        Ask(fd, o.page);
        ReadAll(fd);
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times;
}

double At(const std::vector<double>& sorted, double fraction) {
    if (sorted.empty())
        return -1;
    return sorted[std::min(sorted.size() - 1, static_cast<std::size_t>(
                                                  fraction * static_cast<double>(sorted.size())))];
}

// The threads and resident kibibytes of the process pid (0 and 0 without one).
std::pair<long, long> Footprint(int pid) {
    if (pid <= 0)
        return {0, 0};
    const std::string proc = "/proc/" + std::to_string(pid);
    long threads = 0;
    for (auto& entry : std::filesystem::directory_iterator(proc + "/task")) {
        (void)entry;
        ++threads;
    }
    std::ifstream status(proc + "/status");
    std::string line;
    long rss = 0;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            rss = std::atol(line.c_str() + 6);
    return {threads, rss};
}

// Opens the clients from the sources, each asking for path.
std::vector<int> OpenClients(const Options& o, int rcvbuf) {
    std::vector<int> fds;
    for (int i = 0; i < o.clients; ++i) {
        int fd = Connect(o, 10 + i % o.sources, rcvbuf);
        if (fd < 0)
            continue;
        Ask(fd, o.path);
        fds.push_back(fd);
    }
    return fds;
}

int Readers(const Options& o) {
    std::vector<int> slow = OpenClients(o, 4096);
    std::this_thread::sleep_for(std::chrono::duration<double>(o.hold));
    const std::vector<double> page = PageTimes(o, 20);
    const auto [threads, rss] = Footprint(o.pid);
    // Every slow reader now reads, all at once, through one epoll.
    const auto start = Clock::now();
    int poller = ::epoll_create1(0);
    std::vector<long> got(slow.size(), 0);
    for (std::size_t i = 0; i < slow.size(); ++i) {
        ::fcntl(slow[i], F_SETFL, O_NONBLOCK);
        const int reading = 1 << 18;  // a reader now: a window as large as the small start allows
        ::setsockopt(slow[i], SOL_SOCKET, SO_RCVBUF, &reading, sizeof reading);
        epoll_event e{EPOLLIN, {.u64 = i}};
        ::epoll_ctl(poller, EPOLL_CTL_ADD, slow[i], &e);
    }
    std::size_t open = slow.size();
    char buffer[1 << 16];
    epoll_event events[256];
    while (open > 0) {
        int n = ::epoll_wait(poller, events, 256, 60000);
        if (n <= 0)
            break;
        for (int k = 0; k < n; ++k) {
            const std::size_t i = events[k].data.u64;
            for (;;) {
                ssize_t r = ::recv(slow[i], buffer, sizeof buffer, 0);
                if (r > 0) {
                    got[i] += r;
                    continue;
                }
                if (r < 0 && errno == EAGAIN)
                    break;
                ::close(slow[i]);
                --open;
                break;
            }
        }
    }
    const double drain = std::chrono::duration<double>(Clock::now() - start).count();
    // The head is the same for all: the largest reply is a whole one.
    const long whole = *std::max_element(got.begin(), got.end());
    const long full = std::count(got.begin(), got.end(), whole);
    const long least = *std::min_element(got.begin(), got.end());
    std::printf(
        "readers=%zu full=%ld short=%ld whole_bytes=%ld least_bytes=%ld page_p50_us=%.0f "
        "page_max_us=%.0f "
        "threads=%ld rss_kib=%ld drain_s=%.2f\n",
        slow.size(), full, static_cast<long>(slow.size()) - full, whole, least, At(page, 0.5),
        At(page, 1.0), threads, rss, drain);
    return whole - o.body_bytes > 0 && whole - o.body_bytes < 1024 ? 0 : 1;
}

// Makes the next event: "end" to the player's console, or a published message.
void Trigger(const Options& o, int round) {
    if (!o.fifo.empty()) {
        std::ofstream(o.fifo) << "end\n";
        return;
    }
    int fd = Connect(o, 251, 0);
    Ask(fd, o.publish, "{\"round\":" + std::to_string(round) + "}");
    ReadAll(fd);
}

int Events(const Options& o) {
    const std::vector<double> alone = PageTimes(o, 50);
    std::vector<int> subs = OpenClients(o, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    int poller = ::epoll_create1(0);
    char buffer[1 << 16];
    for (std::size_t i = 0; i < subs.size(); ++i) {
        ::fcntl(subs[i], F_SETFL, O_NONBLOCK);
        while (::recv(subs[i], buffer, sizeof buffer, 0) > 0) {
        }  // the head and the first event
        epoll_event e{EPOLLIN, {.u64 = i}};
        ::epoll_ctl(poller, EPOLL_CTL_ADD, subs[i], &e);
    }
    const std::vector<double> with = PageTimes(o, 50);
    std::vector<double> latencies;
    long missed = 0;
    epoll_event events[256];
    for (int round = 0; round < o.rounds; ++round) {
        std::vector<bool> arrived(subs.size(), false);
        std::size_t waiting = subs.size();
        const auto start = Clock::now();
        Trigger(o, round);
        while (waiting > 0) {
            int n = ::epoll_wait(poller, events, 256, 5000);
            if (n <= 0)
                break;
            for (int k = 0; k < n; ++k) {
                const std::size_t i = events[k].data.u64;
                std::string seen;
                ssize_t r;
                while ((r = ::recv(subs[i], buffer, sizeof buffer, 0)) > 0)
                    seen.append(buffer, static_cast<std::size_t>(r));
                if (!arrived[i] && seen.find("data:") != std::string::npos) {
                    arrived[i] = true;
                    --waiting;
                    latencies.push_back(
                        std::chrono::duration<double, std::milli>(Clock::now() - start).count());
                }
                if (r == 0) {
                    ::epoll_ctl(poller, EPOLL_CTL_DEL, subs[i], nullptr);
                }
            }
        }
        missed += static_cast<long>(waiting);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::sort(latencies.begin(), latencies.end());
    const auto [threads, rss] = Footprint(o.pid);
    std::printf(
        "subscribers=%zu events=%zu missed=%ld p50_ms=%.2f p99_ms=%.2f max_ms=%.2f threads=%ld "
        "rss_kib=%ld page_alone_p50_us=%.0f page_with_p50_us=%.0f\n",
        subs.size(), latencies.size(), missed, At(latencies, 0.5), At(latencies, 0.99),
        At(latencies, 1.0), threads, rss, At(alone, 0.5), At(with, 0.5));
    return missed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (argc < 2)
        return 2;
    o.mode = argv[1];
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string key = argv[i], value = argv[i + 1];
        if (key == "--port")
            o.port = std::atoi(value.c_str());
        else if (key == "--path")
            o.path = value;
        else if (key == "--page")
            o.page = value;
        else if (key == "--body-bytes")
            o.body_bytes = std::atol(value.c_str());
        else if (key == "--clients")
            o.clients = std::atoi(value.c_str());
        else if (key == "--sources")
            o.sources = std::atoi(value.c_str());
        else if (key == "--pid")
            o.pid = std::atoi(value.c_str());
        else if (key == "--hold")
            o.hold = std::atof(value.c_str());
        else if (key == "--rounds")
            o.rounds = std::atoi(value.c_str());
        else if (key == "--fifo")
            o.fifo = value;
        else if (key == "--publish")
            o.publish = value;
    }
    return o.mode == "readers" ? Readers(o) : Events(o);
}
