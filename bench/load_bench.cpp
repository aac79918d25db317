// Load benchmark of the web server: starts the listener in this process on a
// free 127.0.0.1 port with a temporary web root, then lets N client threads
// fetch a 1 KiB static file and a template page, each request on a new
// connection, and prints requests per second and latency percentiles.
//
//   load_bench [--clients N] [--requests R]   (R per scenario, default 4000)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/settings.h"
#include "core/text.h"
#include "loopback.h"
#include "platform/threads.h"
#include "plugin/lifecycle.h"
#include "server/listener.h"

namespace {

using Clock = std::chrono::steady_clock;

// Fetches request on a new connection; returns the reply's size, or -1 when
// the connection failed.
long Fetch(int port, const std::string& request) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    long total = 0;
    char buffer[16384];
    for (;;) {
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        total += n;
    }
    ::close(fd);
    return total;
}

// Runs one scenario and prints its line of figures.
void RunScenario(const char* label, int port, const std::string& request, int clients,
                 int requests) {
    std::vector<std::vector<double>> latencies(static_cast<std::size_t>(clients));
    std::atomic<int> next{0};
    std::atomic<int> failures{0};
    std::atomic<long> bytes{0};
    auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            while (next.fetch_add(1) < requests) {
                auto t0 = Clock::now();
                long n = Fetch(port, request);
                auto t1 = Clock::now();
                if (n <= 0)
                    ++failures;
                else
                    bytes += n;
                latencies[static_cast<std::size_t>(c)].push_back(
                    std::chrono::duration<double, std::micro>(t1 - t0).count());
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<double> all;
    for (const auto& l : latencies)
        all.insert(all.end(), l.begin(), l.end());
    std::sort(all.begin(), all.end());
    auto pct = [&](double p) {
        return all.empty() ? 0.0 : all[static_cast<std::size_t>(p * double(all.size() - 1))];
    };
    std::printf(
        "%-22s %7d req  %9.0f req/s  p50 %7.0f us  p90 %7.0f us  p99 %7.0f us  "
        "max %7.0f us  %ld bytes  %d failed\n",
        label, requests, double(requests) / seconds, pct(0.50), pct(0.90), pct(0.99),
        all.empty() ? 0.0 : all.back(), bytes.load(), failures.load());
}

}  // namespace

int main(int argc, char** argv) {
    int clients = 8;
    int requests = 4000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--clients") == 0)
            clients = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--requests") == 0)
            requests = std::max(1, std::atoi(argv[i + 1]));
    }

    std::string root = (std::filesystem::temp_directory_path() / "velvox-bench-XXXXXX").string();
    if (mkdtemp(root.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    std::ofstream(root + "/file.css", std::ios::binary) << std::string(1024, 'c');
    {
        std::ofstream page(root + "/page.html", std::ios::binary);
        page << "<html><head><title>Playlist</title></head><body>\n%%ERROR%%\n";
        for (int i = 0; i < 60; ++i)
            page << "<tr><td class=\"row\">row " << i << " of the page template</td></tr>\n";
        page << "<a href=\"%%HTTP_REFERRER%%\">back</a>\n</body></html>\n";
    }

    const int port = velvox::testing::FreePort();
    velvox::PluginSettings settings;
    velvox::CopyCut(settings.WebRoot, root.c_str());
    velvox::CopyCut(settings.Playlistfile, "page.html");
    settings.port = port;
    settings.bDisabled = false;
    velvox::PublishSettings(settings);
    // Raised as the plug-in's start does; a listener that finds it lowered
    // takes it for a quit and closes its socket at once.
    velvox::ServerRunning.store(1);
    velvox::ServerThreadCount.store(1);
    if (!platform::start_thread(velvox::RunListener, nullptr)) {
        std::fprintf(stderr, "cannot start the listener\n");
        return 1;
    }
    for (int i = 0; i < 100 && Fetch(port, "GET /file.css HTTP/1.0\r\n\r\n") < 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));

    std::printf("%d clients, new connection per request, port %d\n", clients, port);
    RunScenario("static file 1 KiB", port, "GET /file.css HTTP/1.0\r\n\r\n", clients, requests);
    RunScenario("template page", port, "GET /playlist.cgi HTTP/1.0\r\n\r\n", clients, requests);

    velvox::StopListener();
    while (velvox::ServerThreadCount.load() != 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return 0;
}
