// HTTP load client for servers that close the connection to end a reply (no
// keep-alive, often no Content-Length): each request goes on a new connection
// and is finished when the server closes it. One thread drives N connections
// at once through epoll and measures requests per second and the time from
// connect to the last byte of each reply.
//
//   http_load --port P --path /x [--clients N] [--requests R] [--duration S]
//             [--warmup W] [--body-bytes B] [--status CODE] [--timeout S]
//   http_load --port P --path /x --save FILE     (fetch once, write the body)
//
// Prints one line: requests=.. errors=.. seconds=.. rps=.. p50_us=.. p90_us=..
// p99_us=.. max_us=.. body_bytes=.. (the body size of the last good reply).
// A reply counts as an error when its status is not --status (default 200),
// it has no end of head, or its body size differs from --body-bytes.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string host = "127.0.0.1";
    int port = 0;
    std::string path = "/";
    int clients = 1;
    long requests = 1000;
    double duration = 10.0;
    long warmup = 0;
    long bodyBytes = -1;
    std::string status = "200";
    double timeout = 10.0;
    std::string save;
};

// One connection carrying one request.
struct Conn {
    int fd = -1;
    bool sending = true;
    std::size_t sent = 0;
    Clock::time_point start;
    std::string head;  // the bytes up to the end of the reply head
    bool headDone = false;
    long body = 0;
};

struct Tally {
    long started = 0;
    long done = 0;
    long errors = 0;
    long lastBody = -1;
    std::vector<double> latencies;  // microseconds, good replies only
};

// Prints why the program stops and ends it.
[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "http_load: %s: %s\n", what, std::strerror(errno));
    std::exit(2);
}

// Returns the options read from the command line; stops on a bad one.
Options ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string key = argv[i];
        if (i + 1 >= argc) {
            std::fprintf(stderr, "http_load: %s needs a value\n", key.c_str());
            std::exit(2);
        }
        const char* value = argv[++i];
        if (key == "--host")
            o.host = value;
        else if (key == "--port")
            o.port = std::atoi(value);
        else if (key == "--path")
            o.path = value;
        else if (key == "--clients")
            o.clients = std::max(1, std::atoi(value));
        else if (key == "--requests")
            o.requests = std::max(1L, std::atol(value));
        else if (key == "--duration")
            o.duration = std::atof(value);
        else if (key == "--warmup")
            o.warmup = std::max(0L, std::atol(value));
        else if (key == "--body-bytes")
            o.bodyBytes = std::atol(value);
        else if (key == "--status")
            o.status = value;
        else if (key == "--timeout")
            o.timeout = std::atof(value);
        else if (key == "--save")
            o.save = value;
        else {
            std::fprintf(stderr, "http_load: unknown option %s\n", key.c_str());
            std::exit(2);
        }
    }
    if (o.port <= 0) {
        std::fprintf(stderr, "http_load: --port is required\n");
        std::exit(2);
    }
    return o;
}

// Returns the request line and head sent on every connection.
std::string RequestText(const Options& o) {
    return "GET " + o.path + " HTTP/1.0\r\nHost: " + o.host + "\r\nUser-Agent: http_load\r\n\r\n";
}

// Returns the server's address.
sockaddr_in ServerAddress(const Options& o) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(o.port));
    if (::inet_pton(AF_INET, o.host.c_str(), &a.sin_addr) != 1) {
        std::fprintf(stderr, "http_load: --host must be an IPv4 address\n");
        std::exit(2);
    }
    return a;
}

// Returns whether the head starts with a status line of the given code.
bool HasStatus(const std::string& head, const std::string& code) {
    return head.size() >= 9 + code.size() && head.compare(0, 5, "HTTP/") == 0 && head[8] == ' ' &&
           head.compare(9, code.size(), code) == 0;
}

// Adds received bytes to the connection: head bytes until the blank line,
// then counts the body.
void Take(Conn& c, const char* data, std::size_t n) {
    if (c.headDone) {
        c.body += static_cast<long>(n);
        return;
    }
    std::size_t before = c.head.size();
    c.head.append(data, n);
    std::size_t end = c.head.find("\r\n\r\n", before >= 3 ? before - 3 : 0);
    if (end == std::string::npos)
        return;
    c.headDone = true;
    c.body = static_cast<long>(c.head.size() - (end + 4));
    c.head.resize(end + 4);
}

class Runner {
  public:
    Runner(const Options& o, int epoll) : o_(o), epoll_(epoll), request_(RequestText(o)) {
        address_ = ServerAddress(o);
    }

    // Runs total requests (or until deadline) with the configured number of
    // connections in flight; returns the tally and the seconds it took.
    Tally Run(long total, double seconds, double& elapsed) {
        Tally t;
        total_ = total;
        t.latencies.reserve(static_cast<std::size_t>(std::min(total, 4000000L)));
        const Clock::time_point begin = Clock::now();
        const Clock::time_point deadline = begin + std::chrono::duration_cast<Clock::duration>(
                                                       std::chrono::duration<double>(seconds));
        conns_.assign(static_cast<std::size_t>(o_.clients), Conn{});
        for (std::size_t i = 0; i < conns_.size() && t.started < total; ++i)
            Start(i, t);
        epoll_event events[256];
        while (InFlight() > 0) {
            int n = ::epoll_wait(epoll_, events, 256, 100);
            if (n < 0 && errno != EINTR)
                Fail("epoll_wait");
            const bool more = Clock::now() < deadline;
            for (int k = 0; k < n; ++k)
                Handle(events[k].data.u32, events[k].events, t, more);
            ExpireSlow(t, more);
        }
        elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
        return t;
    }

  private:
    long InFlight() const {
        return std::count_if(conns_.begin(), conns_.end(), [](const Conn& c) { return c.fd >= 0; });
    }

    // Opens a new connection in slot i and begins its request.
    void Start(std::size_t i, Tally& t) {
        Conn& c = conns_[i];
        c = Conn{};
        c.start = Clock::now();
        ++t.started;
        c.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (c.fd < 0)
            Fail("socket");
        int one = 1;
        ::setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        int r = ::connect(c.fd, reinterpret_cast<const sockaddr*>(&address_), sizeof address_);
        if (r != 0 && errno != EINPROGRESS) {
            Finish(i, t, false, false);
            return;
        }
        epoll_event ev{};
        ev.events = EPOLLOUT;
        ev.data.u32 = static_cast<std::uint32_t>(i);
        if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, c.fd, &ev) != 0)
            Fail("epoll_ctl");
    }

    // Ends the request in slot i, records it, and starts the next one when
    // more are wanted.
    void Finish(std::size_t i, Tally& t, bool good, bool more) {
        Conn& c = conns_[i];
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - c.start).count();
        ::close(c.fd);
        c.fd = -1;
        ++t.done;
        if (good && c.headDone && HasStatus(c.head, o_.status) &&
            (o_.bodyBytes < 0 || c.body == o_.bodyBytes)) {
            t.latencies.push_back(us);
            t.lastBody = c.body;
        } else {
            ++t.errors;
        }
        if (more && t.started < total_)
            Start(i, t);
    }

    // Advances slot i on an epoll event.
    void Handle(std::uint32_t slot, std::uint32_t events, Tally& t, bool more) {
        const std::size_t i = slot;
        Conn& c = conns_[i];
        if (c.fd < 0)
            return;
        if (c.sending) {
            int err = 0;
            socklen_t len = sizeof err;
            ::getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &err, &len);
            if (err != 0 || (events & EPOLLERR) != 0)
                return Finish(i, t, false, more);
            ssize_t n =
                ::send(c.fd, request_.data() + c.sent, request_.size() - c.sent, MSG_NOSIGNAL);
            if (n < 0)
                return (errno == EAGAIN) ? void() : Finish(i, t, false, more);
            c.sent += static_cast<std::size_t>(n);
            if (c.sent < request_.size())
                return;
            c.sending = false;
            epoll_event ev{};
            ev.events = EPOLLIN | EPOLLRDHUP;
            ev.data.u32 = slot;
            ::epoll_ctl(epoll_, EPOLL_CTL_MOD, c.fd, &ev);
            return;
        }
        char buffer[65536];
        for (;;) {
            ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
            if (n > 0) {
                Take(c, buffer, static_cast<std::size_t>(n));
                continue;
            }
            if (n == 0)
                return Finish(i, t, true, more);
            if (errno == EAGAIN)
                return;
            // A reset after the whole reply (the server closed with unread
            // input) still delivered every byte.
            return Finish(i, t, errno == ECONNRESET && c.headDone, more);
        }
    }

    // Counts requests older than the time-out as errors.
    void ExpireSlow(Tally& t, bool more) {
        const Clock::time_point now = Clock::now();
        for (std::size_t i = 0; i < conns_.size(); ++i) {
            if (conns_[i].fd >= 0 &&
                std::chrono::duration<double>(now - conns_[i].start).count() > o_.timeout)
                Finish(i, t, false, more);
        }
    }

    const Options& o_;
    int epoll_;
    std::string request_;
    sockaddr_in address_{};
    std::vector<Conn> conns_;
    long total_ = 0;
};

// Returns the p-th fraction of the sorted values (nearest rank).
double Percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty())
        return 0.0;
    const auto at = static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(at, sorted.size() - 1)];
}

// Fetches the path once and writes the reply body to the file; returns the
// exit status.
int SaveBody(const Options& o) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = ServerAddress(o);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        Fail("connect");
    std::string request = RequestText(o);
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size()))
        Fail("send");
    std::string reply;
    char buffer[65536];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
        reply.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    std::size_t end = reply.find("\r\n\r\n");
    if (end == std::string::npos || !HasStatus(reply, o.status)) {
        std::fprintf(stderr, "http_load: %s did not answer %s: %.80s\n", o.path.c_str(),
                     o.status.c_str(), reply.c_str());
        return 1;
    }
    FILE* out = std::fopen(o.save.c_str(), "wb");
    if (out == nullptr)
        Fail(o.save.c_str());
    std::fwrite(reply.data() + end + 4, 1, reply.size() - end - 4, out);
    std::fclose(out);
    std::printf("body_bytes=%zu\n", reply.size() - end - 4);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = ParseOptions(argc, argv);
    if (!o.save.empty())
        return SaveBody(o);
    int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    if (epoll < 0)
        Fail("epoll_create1");
    Runner runner(o, epoll);
    double elapsed = 0.0;
    if (o.warmup > 0)
        runner.Run(o.warmup, o.duration, elapsed);
    Tally t = runner.Run(o.requests, o.duration, elapsed);
    std::sort(t.latencies.begin(), t.latencies.end());
    const double good = static_cast<double>(t.latencies.size());
    std::printf(
        "requests=%ld errors=%ld seconds=%.3f rps=%.1f p50_us=%.1f p90_us=%.1f p99_us=%.1f "
        "max_us=%.1f body_bytes=%ld\n",
        t.done, t.errors, elapsed, elapsed > 0 ? good / elapsed : 0.0,
        Percentile(t.latencies, 0.50), Percentile(t.latencies, 0.90), Percentile(t.latencies, 0.99),
        t.latencies.empty() ? 0.0 : t.latencies.back(), t.lastBody);
    ::close(epoll);
    return t.errors == 0 ? 0 : 1;
}
