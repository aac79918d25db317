// The row tokens: playlist window, request queue, recently played list and
// artist list; the count of the playlist window's matches.
#include <algorithm>
#include <utility>

#include "core/host_ops.h"
#include "core/text.h"
#include "host/text_case.h"
#include "pages/artist_list.h"
#include "pages/page_text.h"
#include "pages/render_parts.h"
#include "pages/template_tokens.h"
#include "queue/history.h"
#include "queue/playlist_cache.h"
#include "queue/request_queue.h"

namespace velvox {
namespace {

using namespace tokens;

// Appends the pieces of text between the occurrences of token.
void SplitAt(std::string_view text, std::string_view token, std::vector<std::string_view>& out) {
    std::size_t from = 0;
    for (std::size_t at; !token.empty() && (at = text.find(token, from)) != std::string_view::npos;
         from = at + token.size())
        out.push_back(text.substr(from, at - from));
    out.push_back(text.substr(from));
}

// The filter of the playlist window, with the search text lower-cased once.
class TitleFilter {
  public:
    explicit TitleFilter(const PageQuery& query) {
        if (query.startswithGiven) {
            mode_ = Mode::Prefix;
            search_ = query.startswith;
        } else if (query.psearchGiven) {
            mode_ = Mode::Contains;
            search_ = query.psearch;
        }
        host::lower_case(search_);
    }

    // Returns whether the lower-cased title passes.
    bool matches(const std::string& lowerTitle) const {
        switch (mode_) {
            case Mode::Prefix:
                return lowerTitle.compare(0, search_.size(), search_) == 0;
            case Mode::Contains:
                return lowerTitle.find(search_) != std::string::npos;
            case Mode::All:
                break;
        }
        return true;
    }

  private:
    enum class Mode { All, Prefix, Contains };
    Mode mode_ = Mode::All;
    std::string search_;
};

}  // namespace

void SendLineWithBreak(HttpConnection& connection, std::string_view text) {
    if (!text.empty())
        connection.send_bytes(text.data(), text.size());
    connection.send_bytes("\r\n", 2);
}

bool RowTemplate::has(RowSlot slot) const {
    return std::find(slots.begin(), slots.end(), slot) != slots.end();
}

// Each token cuts the pieces the tokens before it left, so text between two
// tokens of one kind is searched for the later kinds only.
RowTemplate SplitRow(std::string_view line, std::string_view itemToken,
                     std::string_view positionToken, std::string_view stateToken) {
    RowTemplate row;
    row.pieces.push_back(line);
    const std::pair<std::string_view, RowSlot> cuts[] = {
        {itemToken, RowSlot::item},
        {positionToken, RowSlot::position},
        {stateToken, RowSlot::state},
    };
    for (const auto& [token, slot] : cuts) {
        if (token.empty())
            continue;
        RowTemplate next;
        for (std::size_t i = 0; i < row.pieces.size(); ++i) {
            if (i > 0)
                next.slots.push_back(row.slots[i - 1]);
            std::vector<std::string_view> parts;
            SplitAt(row.pieces[i], token, parts);
            for (std::size_t j = 0; j < parts.size(); ++j) {
                if (j > 0)
                    next.slots.push_back(slot);
                next.pieces.push_back(parts[j]);
            }
        }
        row = std::move(next);
    }
    return row;
}

void BuildRow(const RowTemplate& row, std::string_view item, std::string_view position,
              std::string_view state, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < row.pieces.size(); ++i) {
        out.append(row.pieces[i]);
        if (i >= row.slots.size())
            continue;
        switch (row.slots[i]) {
            case RowSlot::item:
                out.append(item);
                break;
            case RowSlot::position:
                out.append(position);
                break;
            case RowSlot::state:
                out.append(state);
                break;
        }
    }
}

std::string_view RowMarks::state_of(std::int32_t position) const {
    if (position == playing)
        return "playing";
    if (std::binary_search(queued.begin(), queued.end(), position))
        return "queued";
    return {};
}

// The window starts at the current-th matching entry and holds at most
// g_MaxEntries rows; current counts matches, not playlist positions. Once the
// window is full no later entry can change the page, so the scan stops there.
std::int32_t ScanPlaylistWindow(const RenderContext& context, const RowTemplate* line,
                                const RowMarks* marks) {
    const std::int32_t start = DecimalValue(context.query.current);
    const std::int32_t pageSize = DecimalValue(context.settings.g_MaxEntries);
    const bool admin = context.query.isAdmin;
    const PlaylistView cache = PlaylistCache();
    const TitleFilter filter(context.query);
    std::int32_t matched = 0;
    std::int32_t rows = 0;
    std::string title;
    std::string position;
    std::string row;
    const std::size_t count = std::min(cache->titles.size(), cache->lowerTitles.size());
    for (std::size_t p = 0; p < count && rows < pageSize; ++p) {
        if (!filter.matches(cache->lowerTitles[p]))
            continue;
        if (matched >= start) {
            if (line != nullptr) {
                title.clear();
                AppendHtmlEscaped(title, cache->titles[p]);
                position = std::to_string(p);
                if (admin) {
                    position += "&pass=";
                    position += context.settings.AdminPassword;
                }
                const auto at = static_cast<std::int32_t>(p);
                BuildRow(*line, title, position, marks != nullptr ? marks->state_of(at) : "", row);
                SendLineWithBreak(context.connection, row);
            }
            ++rows;
        }
        ++matched;
    }
    return rows;
}

// Counts all matches in one pass; the window's rows are those the page shows.
std::int32_t CountPlaylistMatches(const PageQuery& query, std::int32_t start, std::int32_t pageSize,
                                  const WindowVisit& visit) {
    const PlaylistView cache = PlaylistCache();
    const TitleFilter filter(query);
    std::int32_t matched = 0;
    std::int32_t shown = 0;
    const std::size_t count = std::min(cache->titles.size(), cache->lowerTitles.size());
    for (std::size_t p = 0; p < count; ++p) {
        if (!filter.matches(cache->lowerTitles[p]))
            continue;
        if (visit && matched >= start && shown < pageSize) {
            visit(static_cast<std::int32_t>(p), cache->titles[p]);
            ++shown;
        }
        ++matched;
    }
    return matched;
}

MatchWindow CountMatchWindow(const PageQuery& query, std::int32_t pageSize,
                             const WindowVisit& visit) {
    const std::int32_t start = std::max(DecimalValue(query.current), 0);
    MatchWindow window;
    window.matches = CountPlaylistMatches(query, start, pageSize, visit);
    const std::int64_t room = std::max(pageSize, 0);
    const std::int64_t shown =
        std::clamp(std::int64_t{window.matches} - start, std::int64_t{0}, room);
    if (shown > 0) {
        window.first = start + 1;
        window.last = static_cast<std::int32_t>(start + shown);
    }
    return window;
}

// The player is asked for its current entry once per response; the queue is
// copied at once, and no lock is held while the rows go out.
RowMarks PlaylistRowMarks(const RenderContext& context) {
    if (!context.window.currentEntry)
        context.window.currentEntry = GetListPos();
    RowMarks marks;
    marks.playing = *context.window.currentEntry;
    for (const QueueEntry& entry : QueueInPlayOrder())
        marks.queued.push_back(entry.position);
    std::sort(marks.queued.begin(), marks.queued.end());
    return marks;
}

void RenderPlaylistRows(std::string_view line, const RenderContext& context) {
    const RowTemplate row = SplitRow(line, kPlaylistEntry, kPlaylistPos, kPlaylistRowState);
    context.window.rowsShown = 0;
    context.window.pageSize = DecimalValue(context.settings.g_MaxEntries);
    if (row.has(RowSlot::state)) {
        const RowMarks marks = PlaylistRowMarks(context);
        context.window.rowsShown = ScanPlaylistWindow(context, &row, &marks);
    } else {
        context.window.rowsShown = ScanPlaylistWindow(context, &row);
    }
}

// The queue is copied at once and its titles read from one snapshot of the
// playlist copy, so the rows agree with each other; a waiting entry whose
// title cannot be found ends the list there.
void RenderQueueRows(std::string_view line, const RenderContext& context) {
    const RowTemplate row = SplitRow(line, kQueueEntry, kQueuePos);
    const std::vector<QueueEntry> queue = QueueInPlayOrder();
    const PlaylistView cache = PlaylistCache();
    const char* password = context.settings.AdminPassword;
    std::string text;
    for (std::size_t i = 0; i < queue.size(); ++i) {
        const std::string* title = CachedTitle(*cache, queue[i].position);
        if (title == nullptr)
            break;
        const std::string k = std::to_string(i + 1);
        std::string number;
        if (context.query.isAdmin) {
            number = "<a href=\"admin.cgi?pass=";
            number += password;
            number += "&action=delete&listpos=";
            number += k;
            number += "\">Delete</a>&nbsp;";
            number += k;
        } else {
            number = k;
        }
        BuildRow(row, HtmlEscaped(*title), number, text);
        SendLineWithBreak(context.connection, text);
    }
}

void RenderHistoryRows(std::string_view line, const RenderContext& context) {
    const RowTemplate row = SplitRow(line, kHistoryEntry, kHistoryPos);
    const std::vector<std::string> titles = RecentlyPlayed();
    std::string text;
    for (std::size_t i = 0; i < titles.size(); ++i) {
        BuildRow(row, HtmlEscaped(titles[i]), std::to_string(i + 1), text);
        SendLineWithBreak(context.connection, text);
    }
}

void RenderArtistRows(std::string_view line, const RenderContext& context) {
    const RowTemplate row = SplitRow(line, kArtistSelect, {});
    const SortedArtists artists = UpdateArtistList(PlaylistCache());
    std::string text;
    for (const std::string& name : *artists) {
        BuildRow(row, HtmlEscaped(name), {}, text);
        SendLineWithBreak(context.connection, text);
    }
}

}  // namespace velvox
