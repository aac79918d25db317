// The status feed's JSON replies. Everything is read and copied first; the
// reply goes out with no lock held.
#include "pages/status_feed.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/host_ops.h"
#include "core/settings.h"
#include "core/text.h"
#include "pages/json_text.h"
#include "pages/page_query.h"
#include "pages/playback_timing.h"
#include "pages/render_parts.h"
#include "queue/history.h"
#include "queue/playlist_cache.h"
#include "queue/queue_times.h"
#include "queue/request_queue.h"

namespace velvox {

namespace {

// Appends a number, or null for the player's "none" answers (below 0).
void AppendCountOrNull(std::string& out, std::int32_t value) {
    out += value < 0 ? "null" : std::to_string(value);
}

// Appends a title as a JSON string, or null when there is none.
void AppendTitleOrNull(std::string& out, std::optional<std::string_view> title) {
    if (title)
        AppendJsonString(out, *title);
    else
        out += "null";
}

// Appends {"position":P,"title":T}, after a comma unless out ends a "[".
void AppendEntry(std::string& out, std::int32_t position, std::optional<std::string_view> title) {
    out += out.back() == '[' ? "{\"position\":" : ",{\"position\":";
    out += std::to_string(position);
    out += ",\"title\":";
    AppendTitleOrNull(out, title);
    out += '}';
}

// Appends the fields of a waiting request that depend on who asks and when:
// whether the asking address requested it, and when it starts (seconds, or
// null when not known, and whether that is an estimate).
void AppendStartFields(std::string& out, bool mine, const StartTime& start) {
    out.pop_back();  // the entry's closing brace
    out += mine ? ",\"mine\":true,\"eta_s\":" : ",\"mine\":false,\"eta_s\":";
    AppendCountOrNull(out, start.seconds);
    out += start.estimate ? ",\"eta_estimated\":true}" : ",\"eta_estimated\":false}";
}

// Sends the head of a JSON reply, then body.
void SendJson(HttpConnection& connection, const std::string& body) {
    connection.send_reply_head(200, "OK", "Cache-Control: no-store",
                               "application/json; charset=utf-8", -1, -1);
    connection.send_bytes(body.data(), body.size());
}

}  // namespace

// The player is asked for its state, its current entry, then the elapsed
// time and the length; titles all come from one snapshot of the playlist copy.
void SendStatusFeed(HttpConnection& connection) {
    PlayerQuestion asked[] = {{kMsgUser, 0, kIpcIsPlaying},
                              {kMsgUser, 0, kIpcGetListPos},
                              {kMsgUser, 0, kIpcGetOutputTime},
                              {kMsgUser, 1, kIpcGetOutputTime}};
    AskPlayer(asked, std::size(asked));
    const auto position = static_cast<std::int32_t>(asked[1].answer);
    const auto elapsedMs = static_cast<std::int32_t>(asked[2].answer);
    const auto lengthS = static_cast<std::int32_t>(asked[3].answer);
    std::string body = "{\"state\":";
    AppendJsonString(body, PlayStateNameOf(static_cast<std::int32_t>(asked[0].answer)));
    const PlaylistView cache = PlaylistCache();
    body += ",\"position\":" + std::to_string(position) + ",\"title\":";
    AppendTitleOrNull(body, CachedTitle(*cache, position));
    body += ",\"elapsed_ms\":";
    AppendCountOrNull(body, elapsedMs);
    body += ",\"length_s\":";
    AppendCountOrNull(body, lengthS);
    body += ",\"queue\":[";
    const std::vector<QueueEntry> queue = QueueInPlayOrder();
    const std::vector<StartTime> starts =
        QueueStartTimes(cache, CurrentPlay{position, lengthS, elapsedMs}, queue);
    const std::string_view visitor = connection.clientAddress;
    for (std::size_t i = 0; i < queue.size(); ++i) {
        AppendEntry(body, queue[i].position, CachedTitle(*cache, queue[i].position));
        AppendStartFields(body, queue[i].requester == visitor, starts[i]);
    }
    body += "],\"history\":[";
    const std::vector<std::string> history = RecentlyPlayed();
    for (std::size_t i = 0; i < history.size(); ++i) {
        if (i > 0)
            body += ',';
        AppendJsonString(body, history[i]);
    }
    body += "]}\n";
    SendJson(connection, body);
}

// The window is the playlist page's: the same filter, start and page size.
void SendPlaylistFeed(HttpConnection& connection) {
    PageQuery query;
    ParsePageQuery(connection.requestTarget, query);
    const std::int32_t pageSize = DecimalValue(CurrentSettings()->g_MaxEntries);
    std::string entries = "[";
    const MatchWindow window =
        CountMatchWindow(query, pageSize, [&](std::int32_t position, std::string_view title) {
            AppendEntry(entries, position, title);
        });
    std::string body = "{\"psearch\":";
    AppendJsonString(body, query.psearch);
    body += ",\"startswith\":";
    AppendJsonString(body, query.startswith);
    body += ",\"current\":" + std::to_string(std::max(DecimalValue(query.current), 0));
    body += ",\"page_size\":" + std::to_string(pageSize);
    body += ",\"match_count\":" + std::to_string(window.matches);
    body += ",\"first\":" + std::to_string(window.first);
    body += ",\"last\":" + std::to_string(window.last);
    body += ",\"entries\":" + entries + "]}\n";
    SendJson(connection, body);
}

}  // namespace velvox
