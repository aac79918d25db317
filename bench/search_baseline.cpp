// The floor for a playlist search: the titles of an M3U playlist, lower-cased
// once into one contiguous buffer (one title per line), scanned with memmem
// for a lower-cased text. Times the scan alone, many times, and prints how
// many titles match and the median and spread of one scan.
//
//   search_baseline PLAYLIST TEXT [--runs N]
//
// Prints: titles=.. buffer_bytes=.. matches=.. runs=.. p50_us=.. min_us=.. max_us=..
#include <string.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Lower-cases A-Z only, as the server does for UTF-8 titles.
void LowerAscii(std::string& text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
}

// Returns the titles of the playlist's #EXTINF lines, one per line, lower-cased;
// counts them into titles.
std::string LoadTitles(const char* path, long& titles) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "search_baseline: cannot read %s\n", path);
        std::exit(2);
    }
    std::string buffer;
    std::string line;
    titles = 0;
    while (std::getline(in, line)) {
        if (line.compare(0, 8, "#EXTINF:") != 0)
            continue;
        std::size_t comma = line.find(',');
        if (comma == std::string::npos)
            continue;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        buffer.append(line, comma + 1, std::string::npos);
        buffer.push_back('\n');
        ++titles;
    }
    LowerAscii(buffer);
    return buffer;
}

// Returns how many lines of buffer hold needle.
long CountMatches(const std::string& buffer, const std::string& needle) {
    long matches = 0;
    const char* at = buffer.data();
    const char* end = at + buffer.size();
    while (at < end) {
        const void* hit =
            memmem(at, static_cast<std::size_t>(end - at), needle.data(), needle.size());
        if (hit == nullptr)
            break;
        ++matches;
        // One match per title: go on after the end of this line.
        const void* eol =
            memchr(hit, '\n', static_cast<std::size_t>(end - static_cast<const char*>(hit)));
        at = eol == nullptr ? end : static_cast<const char*>(eol) + 1;
    }
    return matches;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: search_baseline PLAYLIST TEXT [--runs N]\n");
        return 2;
    }
    int runs = 200;
    if (argc >= 5 && std::string(argv[3]) == "--runs")
        runs = std::max(1, std::atoi(argv[4]));
    long titles = 0;
    const std::string buffer = LoadTitles(argv[1], titles);
    std::string needle = argv[2];
    LowerAscii(needle);

    std::vector<double> times;
    long matches = 0;
    for (int r = 0; r < runs; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        matches = CountMatches(buffer, needle);
        const auto t1 = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "titles=%ld buffer_bytes=%zu matches=%ld runs=%d p50_us=%.1f min_us=%.1f max_us=%.1f\n",
        titles, buffer.size(), matches, runs, times[times.size() / 2], times.front(), times.back());
    return 0;
}
