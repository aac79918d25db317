// The page renderer: substitutes the tokens of a page template, line by line.
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "http/http_connection.h"
#include "pages/page_query.h"
#include "pages/playback_timing.h"
#include "queue/playlist_cache.h"

namespace velvox {

// The counts of the page window: all matches, and the 1-based first and last
// entry shown (0 and 0 when it shows none).
struct MatchWindow {
    std::int32_t matches = 0;
    std::int32_t first = 0;
    std::int32_t last = 0;
};

// What earlier lines of one response leave for later ones: the size and the
// row count of the last playlist window sent (0/0 before any), and what was
// counted or asked once for the whole response: the player is asked by the
// first line that needs an answer, so that one page asks it once.
// The entries of the page window found by the match count, in the copy it
// counted in, with what decided the window; a rows line after the count
// sends them without a second pass over the titles.
struct KeptWindow {
    std::shared_ptr<const PlaylistSnapshot> cache;  // null: nothing kept
    std::int32_t page_size = 0;
    bool match_all_words = false;
    std::vector<std::int32_t> entries;
};

struct PageWindow {
    std::int32_t rowsShown = 0;
    std::int32_t pageSize = 0;
    std::optional<MatchWindow> matchWindow;    // counted by the first line that needs it
    KeptWindow kept;                           // the window of that count
    std::optional<std::int32_t> currentEntry;  // asked by the first line that needs it
    std::optional<PlaybackTiming> timing;      // asked by the first line that needs it
    // The current song's title, HTML-escaped; empty inside when there is none.
    std::optional<std::optional<std::string>> currentSong;
    // The player's answers to the play-state question asked ahead, one for
    // each line that shows the state, in their order.
    std::deque<std::int32_t> play_states;
};

struct PageTemplate;

// Returns the row of the token table that decides what line becomes (the
// first whose token it holds), or -1 when it holds none.
int TokenRowOf(std::string_view line);

// Renders the template lines of one page response onto its connection.
class PageRenderer {
  public:
    explicit PageRenderer(HttpConnection& connection) : connection_(&connection) {}

    // Renders one template line (its LF still at the end when the file had
    // one) and sends what it became. Returns true when the line held a token
    // (also when nothing was sent); false when the caller is to send the line
    // itself, followed by CR LF.
    bool render_line(char* line, const PageQuery& query);

    // Renders one template line decided by row of the token table (as
    // TokenRowOf gives it) and sends what it became.
    void render_row(std::string_view line, int row, const PageQuery& query);

    // Asks the player, in one go, what the lines of page will ask it for the
    // response (the timing, the current entry, the play state of each line
    // that shows it), in the order the lines would ask; the lines then find
    // the answers.
    void ask_ahead(const PageTemplate& page);

    const PageWindow& window() const { return window_; }

  private:
    HttpConnection* connection_;
    PageWindow window_;
};

}  // namespace velvox
