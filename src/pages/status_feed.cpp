// The status feed's JSON replies. Everything is read and copied first; the
// reply goes out with no lock held.
#include "pages/status_feed.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
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
#include "queue/skip_votes.h"

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

// Spans of a reply that move with the clock, from and to.
using MovingSpans = std::vector<std::pair<std::size_t, std::size_t>>;

// Appends the fields of a waiting request that depend on who asks and when:
// mine (given: whether the asking address requested it; none when no one
// asks, as for the live events that go to every page alike), and when it
// starts (seconds, or null when not known, and whether that is an
// estimate), noting the seconds as moving.
void AppendStartFields(std::string& out, const char* mine, const StartTime& start,
                       MovingSpans& moving) {
    out.pop_back();  // the entry's closing brace
    if (mine != nullptr)
        out += mine;
    const std::size_t at = out.size();
    out += ",\"eta_s\":";
    AppendCountOrNull(out, start.seconds);
    moving.emplace_back(at, out.size());
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
// time and the length, all in one go; titles all come from one snapshot of
// the playlist copy.
std::string StatusJson(std::string* steady, const char* visitor) {
    PlayerQuestion asked[] = {{kMsgUser, 0, kIpcIsPlaying},
                              {kMsgUser, 0, kIpcGetListPos},
                              {kMsgUser, 0, kIpcGetOutputTime},
                              {kMsgUser, 1, kIpcGetOutputTime}};
    AskPlayer(asked, std::size(asked));
    const auto position = static_cast<std::int32_t>(asked[1].answer);
    const auto elapsed_ms = static_cast<std::int32_t>(asked[2].answer);
    const auto length_s = static_cast<std::int32_t>(asked[3].answer);
    const PlaylistView cache = PlaylistCache();
    MovingSpans moving;
    std::string body = "{\"state\":";
    AppendJsonString(body, PlayStateNameOf(static_cast<std::int32_t>(asked[0].answer)));
    body += ",\"position\":" + std::to_string(position) + ",\"title\":";
    AppendTitleOrNull(body, CachedTitle(*cache, position));
    body += ",\"elapsed_ms\":";
    const std::size_t elapsed_at = body.size();
    AppendCountOrNull(body, elapsed_ms);
    moving.emplace_back(elapsed_at, body.size());
    body += ",\"length_s\":";
    AppendCountOrNull(body, length_s);
    // The votes only while voting is on, so that the reply is as it was without it.
    const std::int32_t needed = SkipVotesNeeded();
    if (needed > 0) {
        body += ",\"skip_votes\":" + std::to_string(SkipVotesFor(position));
        body += ",\"skip_needed\":" + std::to_string(needed);
    }
    body += ",\"queue\":[";
    const std::vector<QueueEntry> queue = QueueInPlayOrder();
    const std::vector<StartTime> starts =
        QueueStartTimes(cache, CurrentPlay{position, length_s, elapsed_ms}, queue);
    for (std::size_t i = 0; i < queue.size(); ++i) {
        AppendEntry(body, queue[i].position, CachedTitle(*cache, queue[i].position));
        const char* mine = nullptr;
        if (visitor != nullptr)
            mine = queue[i].requester == visitor ? ",\"mine\":true" : ",\"mine\":false";
        AppendStartFields(body, mine, starts[i], moving);
    }
    body += "],\"history\":[";
    const std::vector<std::string> history = RecentlyPlayed();
    for (std::size_t i = 0; i < history.size(); ++i) {
        if (i > 0)
            body += ',';
        AppendJsonString(body, history[i]);
    }
    body += "]}";
    if (steady != nullptr) {
        steady->clear();
        std::size_t from = 0;
        for (const auto& [at, end] : moving) {
            steady->append(body, from, at - from);
            from = end;
        }
        steady->append(body, from, std::string::npos);
    }
    return body;
}

void SendStatusFeed(HttpConnection& connection) {
    SendJson(connection, StatusJson(nullptr, connection.clientAddress) + "\n");
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
