// The row tokens: playlist window, request queue and artist list.
#include <algorithm>
#include <charconv>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

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

// Rows are gathered and handed to the connection in pieces of about this
// size: few sends, and never a whole long list in memory.
constexpr std::size_t kRowPiece = 65536;

// The rows of one token line, gathered into large pieces for the connection.
class RowSink {
  public:
    explicit RowSink(HttpConnection& connection) : connection_(connection) {}
    ~RowSink() { flush(); }
    RowSink(const RowSink&) = delete;
    RowSink& operator=(const RowSink&) = delete;

    // Appends the row with item and position inserted, then CR LF.
    void add(const RowTemplate& row, std::string_view item, std::string_view position) {
        // Room for a piece and the row that completes it, taken once.
        if (pending_.capacity() < kRowPiece)
            pending_.reserve(kRowPiece + 4096);
        BuildRow(row, item, position, pending_, false);
        pending_.append("\r\n", 2);
        if (pending_.size() >= kRowPiece)
            flush();
    }

    // Appends the row as add does, with item HTML-escaped.
    void add_escaped(const RowTemplate& row, std::string_view item, std::string_view position) {
        if (pending_.capacity() < kRowPiece)
            pending_.reserve(kRowPiece + 4096);
        for (std::size_t i = 0; i < row.pieces.size(); ++i) {
            pending_.append(row.pieces[i]);
            if (i >= row.slotIsItem.size())
                continue;
            if (row.slotIsItem[i])
                AppendHtmlEscaped(pending_, item);
            else
                pending_.append(position);
        }
        pending_.append("\r\n", 2);
        if (pending_.size() >= kRowPiece)
            flush();
    }

    // Hands what is gathered, then block, to the connection, block in pieces.
    void add_block(std::string_view block) {
        flush();
        for (std::size_t at = 0; at < block.size(); at += kRowPiece) {
            const std::size_t n = std::min(kRowPiece, block.size() - at);
            connection_.send_bytes(block.data() + at, n);
        }
    }

    // Hands what is gathered to the connection.
    void flush() {
        if (!pending_.empty())
            connection_.send_bytes(pending_.data(), pending_.size());
        pending_.clear();
    }

  private:
    HttpConnection& connection_;
    std::string pending_;
};

// The filter of the playlist window: "startswith" (the title begins with it),
// else "psearch" (the title holds it, or with MatchAllWords every one of its
// words), else every title. Texts are folded once; the titles of the snapshot
// are gone through in position order.
class TitleFilter {
  public:
    TitleFilter(const PageQuery& query, const PluginSettings& settings,
                const PlaylistSnapshot& cache)
        : cache_(cache) {
        if (query.startswithGiven) {
            host::fold_case(query.startswith, driver_);
            search_.emplace(cache, driver_, true);
        } else if (query.psearchGiven && !settings.MatchAllWords) {
            host::fold_case(query.psearch, driver_);
            search_.emplace(cache, driver_, false);
        } else if (query.psearchGiven) {
            FoldWords(query.psearch);
            if (!driver_.empty())
                search_.emplace(cache, driver_, false);
        }
    }

    // Returns the next position that passes, or -1 when none is left.
    std::int32_t next() {
        if (!search_) {
            const std::optional<std::string_view> title = CachedTitle(cache_, all_);
            return title ? all_++ : -1;
        }
        for (std::int32_t p = search_->next(); p >= 0; p = search_->next()) {
            if (HoldsOtherWords(p))
                return p;
        }
        return -1;
    }

    // Passes over up to count titles where that needs no test (no filter);
    // returns how many it passed over.
    std::int32_t pass_over(std::int32_t count) {
        if (search_ || count <= 0)
            return 0;
        const std::int32_t passed = std::min(count, std::max(cache_.length - all_, 0));
        all_ += passed;
        return passed;
    }

  private:
    // Folds each space-separated word of text; the longest drives the search
    // and the others are tested on the titles it finds.
    void FoldWords(std::string_view text) {
        std::size_t from = 0;
        while (from < text.size()) {
            std::size_t end = text.find(' ', from);
            if (end == std::string_view::npos)
                end = text.size();
            if (end > from) {
                std::string word;
                host::fold_case(text.substr(from, end - from), word);
                others_.push_back(std::move(word));
            }
            from = end + 1;
        }
        if (others_.empty())
            return;
        auto longest = std::max_element(
            others_.begin(), others_.end(),
            [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
        driver_ = std::move(*longest);
        others_.erase(longest);
    }

    // Returns true when the title at position holds every word but the driver.
    bool HoldsOtherWords(std::int32_t position) const {
        for (const std::string& word : others_) {
            if (!TitleHolds(cache_, position, word))
                return false;
        }
        return true;
    }

    const PlaylistSnapshot& cache_;
    std::string driver_;
    std::vector<std::string> others_;
    std::optional<TitleSearch> search_;
    std::int32_t all_ = 0;  // without a filter, the next position
};

// The artist rows last made, with what they were made from.
struct ArtistRowsCache {
    std::mutex mutex;  // held only to read or replace the fields, never while sending
    std::weak_ptr<const ArtistVersion> version;
    std::string line;
    std::shared_ptr<const std::string> rows;
};

// Returns the process-wide artist rows; never destroyed, as connection
// threads may still render while the process ends.
ArtistRowsCache& KeptArtistRows() {
    static auto* cache = new ArtistRowsCache;
    return *cache;
}

// Returns the rows of row for every artist of the version, each with CR LF.
std::shared_ptr<const std::string> ArtistRows(const RowTemplate& row,
                                              const ArtistVersion& artists) {
    std::size_t fixed = 2;
    for (std::string_view piece : row.pieces)
        fixed += piece.size();
    auto rows = std::make_shared<std::string>();
    rows->reserve(fixed * artists.names.size() + artists.escaped.size() * row.slotIsItem.size());
    for (std::size_t i = 0; i < artists.names.size(); ++i) {
        BuildRow(row, artists.escaped_name(i), {}, *rows, false);
        rows->append("\r\n", 2);
    }
    return rows;
}

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
              std::string& out, bool clear) {
    if (clear)
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
    const PlaylistView cache = PlaylistCache();
    TitleFilter filter(context.query, context.settings, *cache);
    RowSink sink(context.connection);
    std::string position;
    std::int32_t matched = filter.pass_over(start);
    std::int32_t rows = 0;
    while (rows < pageSize) {
        const std::int32_t p = filter.next();
        if (p < 0)
            break;
        if (matched >= start) {
            if (line != nullptr) {
                char digits[16];
                const auto written = std::to_chars(digits, digits + sizeof digits, p);
                position.assign(digits, written.ptr);
                if (context.query.isAdmin) {
                    position += "&pass=";
                    position += context.settings.AdminPassword;
                }
                sink.add_escaped(*line, *CachedTitle(*cache, p), position);
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
    RowSink sink(context.connection);
    for (std::size_t i = 0; i < queue.size(); ++i) {
        const std::optional<std::string_view> title = CachedTitle(*cache, queue[i].position);
        if (!title)
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
        sink.add(row, HtmlEscaped(*title), number);
    }
}

// The artist rows are kept for the version of the list and the line they were
// made from: the list changes seldom and a skin has one artist line, so most
// pages send them as they are.
void RenderArtistRows(std::string_view line, const RenderContext& context) {
    const SortedArtists artists = UpdateArtistList(PlaylistCache());
    ArtistRowsCache& cache = KeptArtistRows();
    std::shared_ptr<const std::string> rows;
    {
        std::lock_guard<std::mutex> hold(cache.mutex);
        if (cache.version.lock() == artists && cache.line == line)
            rows = cache.rows;
    }
    if (rows == nullptr) {
        rows = ArtistRows(SplitRow(line, kArtistSelect, {}), *artists);
        std::lock_guard<std::mutex> hold(cache.mutex);
        cache.version = artists;
        cache.line.assign(line);
        cache.rows = rows;
    }
    RowSink(context.connection).add_block(*rows);
}

}  // namespace velvox
