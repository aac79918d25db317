// The page renderer: substitutes the tokens of a page template, line by line.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "http/http_connection.h"
#include "pages/page_query.h"
#include "pages/playback_timing.h"

namespace velvox {

// What earlier lines of one response leave for later ones: the size and the
// row count of the last playlist window sent (0/0 before any), and what the
// player answered the first line that asked, so that one page asks it once.
struct PageWindow {
    std::int32_t rowsShown = 0;
    std::int32_t pageSize = 0;
    std::optional<PlaybackTiming> timing;
    // The current song's title, HTML-escaped; empty inside when there is none.
    std::optional<std::optional<std::string>> currentSong;
};

// Renders the template lines of one page response onto its connection.
class PageRenderer {
  public:
    explicit PageRenderer(HttpConnection& connection) : connection_(&connection) {}

    // Renders one template line (its LF still at the end when the file had
    // one) and sends what it became. Returns true when the line held a token
    // (also when nothing was sent); false when the caller is to send the line
    // itself, followed by CR LF.
    bool render_line(char* line, const PageQuery& query);

    const PageWindow& window() const { return window_; }

  private:
    HttpConnection* connection_;
    PageWindow window_;
};

}  // namespace velvox
