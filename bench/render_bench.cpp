// Render benchmark: pages of a 100,000-title playlist (paging deep into the
// list, searches, the artist list, the queue) rendered into a stream that
// discards the bytes. Prints the time per page of each case.
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/host_ops.h"
#include "core/player_link.h"
#include "core/settings.h"
#include "core/text.h"
#include "http/http_connection.h"
#include "pages/artist_list.h"
#include "pages/page_query.h"
#include "pages/template_renderer.h"
#include "platform/posix/emulated_window.h"
#include "queue/playlist_cache.h"
#include "queue/request_queue.h"

namespace {

using namespace velvox;

constexpr int kTitles = 100000;
constexpr int kArtists = 5000;

// The player's side, as far as the pages ask it: the playlist, the current
// entry and the playback time.
std::vector<std::string> playlist;

platform::LResult VELVOX_CALLBACK PlayerProc(platform::Window, unsigned message,
                                             platform::WParam wparam, platform::LParam lparam) {
    if (message != kMsgUser)
        return 0;
    switch (lparam) {
        case kIpcGetListLength:
            return static_cast<platform::LResult>(playlist.size());
        case kIpcGetPlaylistTitle:
            return wparam < playlist.size()
                       ? reinterpret_cast<platform::LResult>(playlist[wparam].c_str())
                       : 0;
        case kIpcGetListPos:
            return 17;
        case kIpcGetOutputTime:
            return wparam == 0 ? 61000 : 240;
        default:
            return 0;
    }
}

// A stream that counts and drops what is sent.
class DiscardStream : public Stream {
  public:
    long receive(char*, std::size_t) override { return 0; }
    int send(const char*, std::size_t size) override {
        bytes += size;
        return static_cast<int>(size);
    }
    int flush() override { return 0; }
    std::size_t bytes = 0;
};

// Renders each line of page for target on a fresh connection; returns bytes.
std::size_t RenderPage(const std::vector<std::string>& page, const char* target) {
    DiscardStream stream;
    HttpConnection connection;
    connection.set_socket(&stream);
    PageQuery query;
    ParsePageQuery(target, query);
    PageRenderer renderer(connection);
    std::vector<char> line;
    for (const std::string& text : page) {
        line.assign(text.begin(), text.end());
        line.push_back('\0');
        if (!renderer.render_line(line.data(), query)) {
            stream.send(line.data(), text.size());
            stream.send("\r\n", 2);
        }
    }
    return stream.bytes;
}

// Returns the milliseconds since start.
double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Runs body repeats times; prints the mean time per run.
void Measure(const char* name, int repeats, const std::function<std::size_t()>& body) {
    std::size_t bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < repeats; ++i)
        bytes = body();
    std::printf("%-46s %9.3f ms/page  %8zu bytes\n", name, MillisecondsSince(start) / repeats,
                bytes);
}

}  // namespace

int main() {
    static platform::Window player_window = platform::emu::create_window(PlayerProc);
    AttachPlayer(&player_window, nullptr);
    playlist.reserve(kTitles);
    for (int i = 0; i < kTitles; ++i) {
        playlist.push_back("Artist " + std::to_string(i % kArtists) + " - Title " +
                           std::to_string(i) + " (Live Version)");
    }

    PluginSettings settings;
    CopyCut(settings.AdminPassword, "secret");
    CopyCut(settings.g_MaxEntries, "25");
    PublishSettings(settings);

    const auto rebuildStart = std::chrono::steady_clock::now();
    RefreshPlaylistCache();
    std::printf("%d titles, %d artists; cache rebuild %.1f ms\n\n", kTitles, kArtists,
                MillisecondsSince(rebuildStart));

    for (int p = 0; p < 50; ++p)
        InsertRequest(p * 1999, "10.0.0.1");

    const std::vector<std::string> playlistPage = {
        "<html><head><meta http-equiv=refresh content=\"%%CONTENT_REFRESH%%\"></head>\n",
        "<p>%%ERROR%% <a href=\"%%HTTP_REFERRER%%\">back</a></p>\n",
        "<p>Now: %%CURRENTSONG%% (%%PCT_LEFT%%% left of %%SONG_LENGTH%%s)</p>\n",
        "%%ADMINWINAMPCONTROL%%\n",
        "<p>%%NAV_PREV%%</p>\n",
        "<tr><td><a href=\"request.cgi?listpos=%%PLAYLISTPOS%%\">%%PLAYLISTENTRY%%</a></td></tr>\n",
        "<p>%%NAV_NEXT%%</p>\n",
        "<li>%%QUEUELISTPOS%% %%QUEUELISTENTRY%%</li>\n",
        "</html>\n",
    };
    // The same page with the match count line and row states, as the default skin has.
    std::vector<std::string> countedPage = playlistPage;
    countedPage[4] = "<p>%%PAGEFIRST%%-%%PAGELAST%% of %%MATCHCOUNT%%</p>\n";
    countedPage[5] =
        "<tr class=\"%%PLAYLISTROWSTATE%%\"><td><a href=\"request.cgi?listpos="
        "%%PLAYLISTPOS%%\">%%PLAYLISTENTRY%%</a></td></tr>\n";
    const std::vector<std::string> artistPage = {
        "<select name=startswith>\n",
        "<option>%%ARTISTSELECT%%</option>\n",
        "</select>\n",
    };

    Measure("playlist page, first window", 200,
            [&] { return RenderPage(playlistPage, "/playlist.cgi"); });
    Measure("playlist page, window at 99,975 (paging)", 50,
            [&] { return RenderPage(playlistPage, "/playlist.cgi?current=99975"); });
    Measure("admin page, window at 50,000", 50,
            [&] { return RenderPage(playlistPage, "/admin.cgi?pass=secret&current=50000"); });
    Measure("search psearch=LIVE+version, window at 90,000", 50, [&] {
        return RenderPage(playlistPage, "/playlist.cgi?psearch=LIVE+version&current=90000");
    });
    Measure("search psearch=title+9999 (few matches)", 50,
            [&] { return RenderPage(playlistPage, "/playlist.cgi?psearch=title+9999"); });
    Measure("search psearch=nowhere (no match)", 50,
            [&] { return RenderPage(playlistPage, "/playlist.cgi?psearch=nowhere"); });
    Measure("startswith=artist+42", 50,
            [&] { return RenderPage(playlistPage, "/playlist.cgi?startswith=artist+42"); });
    Measure("with match count and row states, first window", 50,
            [&] { return RenderPage(countedPage, "/playlist.cgi"); });
    Measure("with match count, psearch=LIVE+version", 50,
            [&] { return RenderPage(countedPage, "/playlist.cgi?psearch=LIVE+version"); });
    Measure("with match count, psearch=title+9999", 50,
            [&] { return RenderPage(countedPage, "/playlist.cgi?psearch=title+9999"); });

    ClearArtistList();
    Measure("artist list, first page (scan + sort)", 1,
            [&] { return RenderPage(artistPage, "/playlist.cgi"); });
    Measure("artist list, later pages", 200,
            [&] { return RenderPage(artistPage, "/playlist.cgi"); });

    // A rebuilt cache with the same artists is scanned again, adding nothing;
    // the rebuild itself is not timed.
    constexpr int kRescans = 10;
    double rescanMs = 0;
    for (int i = 0; i < kRescans; ++i) {
        playlist.push_back("Artist 1 - Extra");
        RefreshPlaylistCache();
        const auto start = std::chrono::steady_clock::now();
        RenderPage(artistPage, "/playlist.cgi");
        rescanMs += MillisecondsSince(start);
    }
    std::printf("%-46s %9.3f ms/page\n", "artist list, first page after a rebuild",
                rescanMs / kRescans);
    return 0;
}
