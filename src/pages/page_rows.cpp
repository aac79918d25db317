// The row tokens: playlist window, request queue, recently played list and
// artist list; the count of the playlist window's matches.
#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/settings.h"
#include "core/text.h"
#include "pages/artist_list.h"
#include "pages/page_text.h"
#include "pages/playback_timing.h"
#include "pages/render_parts.h"
#include "pages/template_tokens.h"
#include "platform/text_case.h"
#include "queue/history.h"
#include "queue/playlist_cache.h"
#include "queue/queue_times.h"
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

// What goes into a row's slots, indexed by RowSlot; an empty view for a slot
// the row has no value for.
using RowValues = std::array<std::string_view, static_cast<std::size_t>(RowSlot::link) + 1>;

// Appends the row to out: the pieces with the values in their slots, the
// item HTML-escaped when escape_item is set.
void AppendRow(const RowTemplate& row, const RowValues& values, bool escape_item,
               std::string& out) {
    for (std::size_t i = 0; i < row.pieces.size(); ++i) {
        out.append(row.pieces[i]);
        if (i >= row.slots.size())
            continue;
        const std::string_view value = values[static_cast<std::size_t>(row.slots[i])];
        if (escape_item && row.slots[i] == RowSlot::item)
            AppendHtmlEscaped(out, value);
        else
            out.append(value);
    }
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

    // Appends the row with the values in its slots (the item HTML-escaped
    // here when escape_item is set), then CR LF.
    void add(const RowTemplate& row, const RowValues& values, bool escape_item) {
        // Room for a piece and the row that completes it, taken once.
        if (pending_.capacity() < kRowPiece)
            pending_.reserve(kRowPiece + 4096);
        AppendRow(row, values, escape_item, pending_);
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
    TitleFilter(const PageQuery& query, bool matchAllWords, const PlaylistSnapshot& cache)
        : cache_(cache) {
        if (query.startswithGiven) {
            platform::fold_case(query.startswith, driver_);
            search_.emplace(cache, driver_, true);
        } else if (query.psearchGiven && !matchAllWords) {
            platform::fold_case(query.psearch, driver_);
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
                platform::fold_case(text.substr(from, end - from), word);
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
    rows->reserve(fixed * artists.names.size() + artists.escaped.size() * row.slots.size());
    for (std::size_t i = 0; i < artists.names.size(); ++i) {
        AppendRow(row, {artists.escaped_name(i)}, false, *rows);
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

bool RowTemplate::has(RowSlot slot) const {
    return std::find(slots.begin(), slots.end(), slot) != slots.end();
}

// Each token cuts the pieces the tokens before it left, so text between two
// tokens of one kind is searched for the later kinds only.
RowTemplate SplitRow(std::string_view line, std::string_view item_token,
                     std::string_view position_token, std::string_view state_token,
                     std::string_view eta_token, std::string_view link_token) {
    RowTemplate row;
    row.pieces.push_back(line);
    const std::pair<std::string_view, RowSlot> cuts[] = {
        {item_token, RowSlot::item},   {position_token, RowSlot::position},
        {state_token, RowSlot::state}, {eta_token, RowSlot::eta},
        {link_token, RowSlot::link},
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
    AppendRow(row, {item, position, state}, false, out);
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
    const KeptWindow& kept = context.window.kept;
    const bool use_kept = kept.cache != nullptr && kept.page_size == pageSize &&
                          kept.match_all_words == context.settings.MatchAllWords;
    const PlaylistView cache = use_kept ? kept.cache : PlaylistCache();
    TitleFilter filter(context.query, context.settings.MatchAllWords, *cache);
    RowSink sink(context.connection);
    std::string position;
    std::size_t next = 0;  // the next kept entry
    std::int32_t matched = use_kept ? 0 : filter.pass_over(start);
    std::int32_t rows = 0;
    while (rows < pageSize) {
        std::int32_t p;
        if (use_kept)
            p = next < kept.entries.size() ? kept.entries[next++] : -1;
        else
            p = filter.next();
        if (p < 0)
            break;
        if (use_kept || matched >= start) {
            if (line != nullptr) {
                char digits[16];
                const auto written = std::to_chars(digits, digits + sizeof digits, p);
                position.assign(digits, written.ptr);
                if (context.query.isAdmin) {
                    position += "&pass=";
                    position += context.settings.AdminPassword;
                }
                const std::string_view state = marks != nullptr ? marks->state_of(p) : "";
                sink.add(*line, {*CachedTitle(*cache, p), position, state}, true);
            }
            ++rows;
        }
        ++matched;
    }
    return rows;
}

// Counts all matches in one pass; the window's rows are those the page shows.
// Without a filter the titles before the window and after it need no look.
std::int32_t CountPlaylistMatches(const PageQuery& query, std::int32_t start, std::int32_t pageSize,
                                  const WindowVisit& visit, const PlaylistView& cache) {
    constexpr std::int32_t kAll = std::numeric_limits<std::int32_t>::max();
    TitleFilter filter(query, CurrentSettings()->MatchAllWords, *cache);
    std::int32_t matched = filter.pass_over(visit ? start : kAll);
    std::int32_t shown = 0;
    for (std::int32_t p = filter.next(); p >= 0; p = filter.next()) {
        if (visit && matched >= start && shown < pageSize) {
            visit(p, *CachedTitle(*cache, p));
            ++shown;
        }
        ++matched;
        if (!visit || shown >= pageSize)
            matched += filter.pass_over(kAll);
    }
    return matched;
}

MatchWindow CountMatchWindow(const PageQuery& query, std::int32_t pageSize,
                             const WindowVisit& visit, const PlaylistView& cache) {
    const std::int32_t start = std::max(DecimalValue(query.current), 0);
    MatchWindow window;
    window.matches = CountPlaylistMatches(query, start, pageSize, visit, cache);
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
    RowMarks marks;
    marks.playing = ResponseCurrentEntry(context);
    for (const QueueEntry& entry : QueueInPlayOrder())
        marks.queued.push_back(entry.position);
    std::sort(marks.queued.begin(), marks.queued.end());
    return marks;
}

unsigned PlaylistRowsAsk(std::string_view line) {
    return line.find(kPlaylistRowState) != std::string_view::npos ? kAsksEntry : 0;
}

unsigned QueueRowsAsk(std::string_view line) {
    return line.find(kQueueEta) != std::string_view::npos ? kAsksTiming | kAsksEntry : 0;
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

// Returns the take-back link of entry for the page's client: a link for an
// entry of their own address, nothing for others'.
std::string TakeBackLink(const QueueEntry& entry, const RenderContext& context) {
    if (entry.requester != context.connection.clientAddress)
        return {};
    return "<a href=\"takeback.cgi?entry=" + std::to_string(entry.serial) + "\">Take back</a>";
}

// The queue is copied at once and its titles read from one snapshot of the
// playlist copy, so the rows agree with each other; a waiting entry whose
// title cannot be found ends the list there. Start times are worked out (and
// the player asked for them) only for a line that shows them.
void RenderQueueRows(std::string_view line, const RenderContext& context) {
    const RowTemplate row =
        SplitRow(line, kQueueEntry, kQueuePos, kQueueRowState, kQueueEta, kQueueTakeBack);
    const bool take_back = row.has(RowSlot::link);
    const std::vector<QueueEntry> queue = QueueInPlayOrder();
    const PlaylistView cache = PlaylistCache();
    std::vector<StartTime> starts;
    if (row.has(RowSlot::eta))
        starts = QueueStartTimes(cache, ResponseCurrentPlay(context), queue);
    const std::string_view visitor = context.connection.clientAddress;
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
        const std::string_view state = queue[i].requester == visitor ? "mine" : "";
        const std::string eta =
            starts.empty() ? std::string() : StartsInText(starts[i].seconds, starts[i].estimate);
        const std::string link = take_back ? TakeBackLink(queue[i], context) : std::string();
        sink.add(row, {*title, number, state, eta, link}, true);
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
