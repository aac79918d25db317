// The parts of the page renderer, shared between its files.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings.h"
#include "http/http_connection.h"
#include "pages/page_query.h"
#include "pages/template_renderer.h"
#include "queue/playlist_cache.h"
#include "queue/queue_times.h"

namespace velvox {

// What one line of the renderer works with: the connection, the request's
// query, one snapshot of the settings and the response's window state.
struct RenderContext {
    HttpConnection& connection;
    const PageQuery& query;
    const PluginSettings& settings;
    PageWindow& window;
};

// What a line asks the player for the response: the timing, the current
// entry, the play state (a set of these flags, asked in this order).
constexpr unsigned kAsksTiming = 1;
constexpr unsigned kAsksEntry = 2;
constexpr unsigned kAsksState = 4;

// One token of the table: the text that marks it, the function that sends
// what the line becomes (for a row token, one row per item), and the one
// that tells what a line of it asks the player (none when it asks nothing).
struct TokenRow {
    std::string_view token;
    void (*render)(std::string_view line, const RenderContext& context);
    unsigned (*asks)(std::string_view line) = nullptr;
};

// What a line of playlist rows asks: the current entry when it shows the
// rows' states.
unsigned PlaylistRowsAsk(std::string_view line);

// What a line of queue rows asks: the timing and the current entry when it
// shows when the requests start.
unsigned QueueRowsAsk(std::string_view line);

// Returns the token table in order of precedence: the first row whose token
// a line holds decides what the line becomes.
const std::vector<TokenRow>& TokenTable();

// Returns the playback timing of this response: the player is asked at the
// first call, later calls give the same values.
const PlaybackTiming& ResponseTiming(const RenderContext& context);

// Returns the player's current entry for this response: asked at the first
// call, later calls give the same.
std::int32_t ResponseCurrentEntry(const RenderContext& context);

// Returns the current song's title, HTML-escaped, for this response (the
// title at ResponseCurrentEntry), or nothing when there is none.
const std::optional<std::string>& ResponseCurrentSong(const RenderContext& context);

// Returns what the player said of its current song for this response: the
// entry and the timing, each asked once per response as above.
CurrentPlay ResponseCurrentPlay(const RenderContext& context);

// Sends text, then CR LF, as every line and row of a page goes out.
void SendLineWithBreak(HttpConnection& connection, std::string_view text);

// What stands in a slot of a row: the item (title, name), its position, its
// state, when it starts or a link of its own.
enum class RowSlot : unsigned char { item, position, state, eta, link };

// One row token line cut into its literal pieces, with a slot between each
// two of them.
struct RowTemplate {
    std::vector<std::string_view> pieces;  // always one more than slots
    std::vector<RowSlot> slots;

    // Returns whether any slot of the row is of the given kind.
    bool has(RowSlot slot) const;
};

// Cuts line at every item_token, then each piece at every position_token, then
// at every state_token, eta_token and link_token in turn (an empty token cuts
// nothing). The views point into line.
RowTemplate SplitRow(std::string_view line, std::string_view item_token,
                     std::string_view position_token, std::string_view state_token = {},
                     std::string_view eta_token = {}, std::string_view link_token = {});

// Fills out (cleared first) with the row: the pieces with item, position and
// state inserted as they are.
void BuildRow(const RowTemplate& row, std::string_view item, std::string_view position,
              std::string_view state, std::string& out);

// BuildRow for rows without a state.
inline void BuildRow(const RowTemplate& row, std::string_view item, std::string_view position,
                     std::string& out) {
    BuildRow(row, item, position, {}, out);
}

// The states of playlist rows: the player's current entry and the entries
// waiting in the request queue.
struct RowMarks {
    std::int32_t playing = -1;
    std::vector<std::int32_t> queued;  // sorted

    // Returns "playing", "queued" or the empty text for position.
    std::string_view state_of(std::int32_t position) const;
};

// The playlist window of "%%PLAYLISTENTRY%%": sends one row per entry of the
// page window when line is given (with the state from marks, when given),
// and returns the number of rows it holds. The entries are those the match
// count kept when it counted for this window, else found now.
std::int32_t ScanPlaylistWindow(const RenderContext& context, const RowTemplate* line,
                                const RowMarks* marks = nullptr);

// Takes the entries of a page window: position and title (as in the playlist copy).
using WindowVisit = std::function<void(std::int32_t position, std::string_view title)>;

// Counts every entry of cache that passes the filter of query. When visit is
// given, calls it for each entry of the window that starts at the start-th
// match (0 for a negative start) and holds at most pageSize entries. Returns
// the count.
std::int32_t CountPlaylistMatches(const PageQuery& query, std::int32_t start, std::int32_t pageSize,
                                  const WindowVisit& visit,
                                  const PlaylistView& cache = PlaylistCache());

// Returns the counts of the window of query for pages of pageSize entries in
// cache; calls visit (when given) for each entry the window shows.
MatchWindow CountMatchWindow(const PageQuery& query, std::int32_t pageSize,
                             const WindowVisit& visit = nullptr,
                             const PlaylistView& cache = PlaylistCache());

// One row per title of the recently played list, newest first.
void RenderHistoryRows(std::string_view line, const RenderContext& context);

// One row per playlist entry of the page window; sets the window state.
void RenderPlaylistRows(std::string_view line, const RenderContext& context);

// One row per waiting request, in play order.
void RenderQueueRows(std::string_view line, const RenderContext& context);

// One row per artist of ArtistList, sorted.
void RenderArtistRows(std::string_view line, const RenderContext& context);

// Returns the "Next..>" link, or the empty text when the window is not full.
std::string NextPageLink(const RenderContext& context);

// Returns the "<...Prev" link, or the empty text when it would lead before 0.
std::string PreviousPageLink(const RenderContext& context);

}  // namespace velvox
