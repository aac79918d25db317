// The row tokens: playlist window, request queue and artist list.
#include <algorithm>

#include "core/text.h"
#include "host/text_case.h"
#include "pages/artist_list.h"
#include "pages/page_text.h"
#include "pages/render_parts.h"
#include "pages/template_tokens.h"
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

RowTemplate SplitRow(std::string_view line, std::string_view itemToken,
                     std::string_view positionToken) {
    std::vector<std::string_view> itemPieces;
    SplitAt(line, itemToken, itemPieces);
    RowTemplate row;
    for (std::size_t i = 0; i < itemPieces.size(); ++i) {
        if (i > 0)
            row.slotIsItem.push_back(true);
        std::vector<std::string_view> pieces;
        SplitAt(itemPieces[i], positionToken, pieces);
        for (std::size_t j = 0; j < pieces.size(); ++j) {
            if (j > 0)
                row.slotIsItem.push_back(false);
            row.pieces.push_back(pieces[j]);
        }
    }
    return row;
}

void BuildRow(const RowTemplate& row, std::string_view item, std::string_view position,
              std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < row.pieces.size(); ++i) {
        out.append(row.pieces[i]);
        if (i < row.slotIsItem.size())
            out.append(row.slotIsItem[i] ? item : position);
    }
}

// The window starts at the current-th matching entry and holds at most
// g_MaxEntries rows; current counts matches, not playlist positions. Once the
// window is full no later entry can change the page, so the scan stops there.
std::int32_t ScanPlaylistWindow(const RenderContext& context, const RowTemplate* line) {
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
                BuildRow(*line, title, position, row);
                SendLineWithBreak(context.connection, row);
            }
            ++rows;
        }
        ++matched;
    }
    return rows;
}

void RenderPlaylistRows(std::string_view line, const RenderContext& context) {
    const RowTemplate row = SplitRow(line, kPlaylistEntry, kPlaylistPos);
    context.window.rowsShown = 0;
    context.window.pageSize = DecimalValue(context.settings.g_MaxEntries);
    context.window.rowsShown = ScanPlaylistWindow(context, &row);
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
