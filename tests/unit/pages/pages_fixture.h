// Shared set-up for the page tests: a fake player owning the host window, a
// connection writing into a capture stream, and the process-wide cache, queue,
// artist list and settings put back to their load state around every test.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "capture_stream.h"
#include "core/settings.h"
#include "core/text.h"
#include "fake_player.h"
#include "http/http_connection.h"
#include "pages/artist_list.h"
#include "pages/page_query.h"
#include "pages/template_renderer.h"
#include "queue/playback.h"
#include "queue/playlist_cache.h"
#include "queue/request_queue.h"
#include "queue_world.h"

namespace velvox::testing {

// The head of a redirect to location, with the injected clock's Date line.
inline std::string Redirect(const std::string& location) {
    return "HTTP/1.0 302 Moved Temporarily\r\nServer: Quellix\r\n"
           "Date: Sun, 06 Nov 1994 08:49:37 GMT\r\nLocation: " +
           location + "\r\nConnection: close\r\n\r\n";
}

class PagesFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetAll();
        connection.set_socket(&stream);
        connection.clock = fixed_clock;
        connection.set_client_address("10.0.0.1");
    }
    void TearDown() override { ResetAll(); }

    void ResetAll() {
        ResetQueueWorld(player);
        ClearArtistList();
    }

    // Gives the player these titles and rebuilds the cache from them (through
    // an empty list, so a list of the same length is taken as well).
    void LoadPlaylist(const std::vector<std::string>& titles) {
        player.playlist.clear();
        RefreshPlaylistCache();
        player.playlist = titles;
        RefreshPlaylistCache();
        player.received.clear();
    }

    // Puts settings in force: admin password and entries per page.
    static void SetSettings(const char* password, const char* maxEntries = "25",
                            const char* maxQueue = "50", const char* maxPerAddress = "3") {
        PluginSettings settings;
        CopyCut(settings.AdminPassword, password);
        CopyCut(settings.g_MaxEntries, maxEntries);
        CopyCut(settings.g_MaxQueueSize, maxQueue);
        CopyCut(settings.g_MaxRequestsPerIP, maxPerAddress);
        PublishSettings(settings);
    }

    // Renders one line and returns the bytes sent for it (cleared first);
    // handled receives the renderer's answer.
    std::string Render(const std::string& line, const PageQuery& query, bool* handled = nullptr) {
        const std::size_t before = stream.sent().size();
        std::vector<char> text(line.begin(), line.end());
        text.push_back('\0');
        const bool result = renderer.render_line(text.data(), query);
        if (handled != nullptr)
            *handled = result;
        return stream.sent().substr(before);
    }

    // Starts the next response: what the player answered earlier lines is
    // asked again.
    void NewResponse() { renderer = PageRenderer(connection); }

    // Returns the parsed query of a page target.
    static PageQuery Query(const char* target) {
        PageQuery query;
        ParsePageQuery(target, query);
        return query;
    }

    // Returns the waiting positions in play order.
    static std::vector<std::int32_t> WaitingPositions() {
        std::vector<std::int32_t> positions;
        for (const QueueEntry& e : QueueInPlayOrder())
            positions.push_back(e.position);
        return positions;
    }

    FakePlayer player;
    CaptureStream stream;
    HttpConnection connection;
    PageRenderer renderer{connection};  // one response's renderer
};

}  // namespace velvox::testing
