// The parts of the page renderer, shared between its files.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings.h"
#include "http/http_connection.h"
#include "pages/page_query.h"
#include "pages/template_renderer.h"

namespace velvox {

// What one line of the renderer works with: the connection, the request's
// query, one snapshot of the settings and the response's window state.
struct RenderContext {
    HttpConnection& connection;
    const PageQuery& query;
    const PluginSettings& settings;
    PageWindow& window;
};

// One token of the table: the text that marks it, whether its line is a row
// template repeated once per item, and the function that sends what the line
// becomes.
struct TokenRow {
    std::string_view token;
    bool rows;
    void (*render)(std::string_view line, const RenderContext& context);
};

// Returns the token table in order of precedence: the first row whose token
// a line holds decides what the line becomes.
const std::vector<TokenRow>& TokenTable();

// Returns the playback timing of this response: the player is asked at the
// first call, later calls give the same values.
const PlaybackTiming& ResponseTiming(const RenderContext& context);

// Returns the current song's title, HTML-escaped, for this response (asked
// for at the first call), or nothing when there is none.
const std::optional<std::string>& ResponseCurrentSong(const RenderContext& context);

// Sends text, then CR LF, as every line and row of a page goes out.
void SendLineWithBreak(HttpConnection& connection, std::string_view text);

// One row token line cut into its literal pieces; between two pieces stands
// either the item (title, name) or its position.
struct RowTemplate {
    std::vector<std::string_view> pieces;  // always one more than slots
    std::vector<bool> slotIsItem;          // false: the position slot
};

// Cuts line at every itemToken, then each piece at every positionToken (none
// when positionToken is empty). The views point into line.
RowTemplate SplitRow(std::string_view line, std::string_view itemToken,
                     std::string_view positionToken);

// Fills out (cleared first unless clear is false) with the row: the pieces
// with item and position inserted as they are.
void BuildRow(const RowTemplate& row, std::string_view item, std::string_view position,
              std::string& out, bool clear = true);

// The playlist window of "%%PLAYLISTENTRY%%": sends one row per entry of the
// page window when line is given, and returns the number of rows it holds.
std::int32_t ScanPlaylistWindow(const RenderContext& context, const RowTemplate* line);

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
