// The page renderer: finds the first token kind of a line in order of
// precedence and sends what the line becomes.
#include "pages/template_renderer.h"

#include <iterator>
#include <string>
#include <string_view>

#include "pages/page_text.h"
#include "pages/playback_timing.h"
#include "pages/render_parts.h"
#include "pages/template_tokens.h"
#include "plugin/text.h"
#include "queue/playlist_cache.h"
#include "queue/request_queue.h"

namespace velvox {
namespace {

using namespace tokens;

// Returns the admin control table with the password in each of its links.
std::string AdminControlTable(std::string_view password) {
    static constexpr std::string_view kParts[] = {
        "<table bordercolor=white border=1><tr><td colspan=5>Winamp Admin Control</td></tr>"
        "<tr><td><a href=\"admin.cgi?pass=",
        "&action=prev\">Prev</td><td><a href=\"admin.cgi?pass=",
        "&action=play\">Play</td><td><a href=\"admin.cgi?pass=",
        "&action=pause\">Pause</td><td><a href=\"admin.cgi?pass=",
        "&action=stop\">Stop</td><td><a href=\"admin.cgi?pass=",
        "&action=next\">Next</td><tr><td colspan=5><a href=\"admin.cgi?pass=",
        "&action=refreshcache\">Refresh Playlist Cache</td></tr></table>",
    };
    std::string table;
    for (std::size_t i = 0; i < std::size(kParts); ++i) {
        if (i > 0)
            table += password;
        table += kParts[i];
    }
    return table;
}

// Sends a copy of line with every token replaced by replacement.
void SendReplaced(HttpConnection& connection, std::string_view line, std::string_view token,
                  std::string_view replacement) {
    SendLineWithBreak(connection, ReplaceAll(line, token, replacement));
}

// Returns whether line holds token.
bool Holds(std::string_view line, std::string_view token) {
    return line.find(token) != std::string_view::npos;
}

}  // namespace

bool RenderTemplateLine(char* line, HttpConnection& connection, const PageQuery& query) {
    if (line == nullptr)
        return false;
    const std::string_view text(line);
    if (text.find("%%") == std::string_view::npos)
        return false;
    const SettingsSnapshot settings = CurrentSettings();
    const RenderContext context{connection, query, *settings};
    const std::string_view password = settings->AdminPassword;
    const bool admin = query.isAdmin;
    const std::int32_t code = DecimalValue(query.errorCode);

    if (Holds(text, kArtistSelect)) {
        RenderArtistRows(text, context);
    } else if (Holds(text, kAdminControl)) {
        SendReplaced(connection, text, kAdminControl, admin ? AdminControlTable(password) : "");
    } else if (Holds(text, kAdminHidden)) {
        std::string field;
        if (admin) {
            field = "<input type=hidden name=pass value=\"";
            field += password;
            field += "\">";
        }
        SendReplaced(connection, text, kAdminHidden, field);
    } else if (Holds(text, kAdminPassword)) {
        std::string part;
        if (admin) {
            part = "&pass=";
            part += password;
        }
        SendReplaced(connection, text, kAdminPassword, part);
    } else if (Holds(text, kError)) {
        SendReplaced(connection, text, kError, code != 0 ? RequestErrorText(code) : "");
    } else if (Holds(text, kReferrer)) {
        if (code != 0) {
            SendReplaced(connection, text, kReferrer, HtmlEscaped(connection.referer));
        } else {
            SendReplaced(connection, ReplaceAll(text, kReferrerUrl, ""), kReferrer, "");
        }
    } else if (Holds(text, kPlaylistEntry)) {
        RenderPlaylistRows(text, context);
    } else if (Holds(text, kQueueEntry)) {
        RenderQueueRows(text, context);
    } else if (Holds(text, kNavNext)) {
        SendReplaced(connection, text, kNavNext, NextPageLink(context));
    } else if (Holds(text, kNavPrev)) {
        SendReplaced(connection, text, kNavPrev, PreviousPageLink(context));
    } else if (Holds(text, kCurrentSong)) {
        std::string title;
        if (CurrentSongTitle(title))
            SendReplaced(connection, text, kCurrentSong, HtmlEscaped(title));
    } else if (Holds(text, kContentRefresh)) {
        const PlaybackTiming timing = MeasurePlaybackTiming();
        const std::int32_t refresh = Saturate32(std::int64_t{timing.secondsLeft} + 5);
        SendReplaced(connection, text, kContentRefresh, std::to_string(refresh));
    } else if (Holds(text, kPctLeft)) {
        const PlaybackTiming timing = MeasurePlaybackTiming();
        SendReplaced(connection, text, kPctLeft, std::to_string(timing.percentLeft));
    } else if (Holds(text, kSongLength)) {
        const PlaybackTiming timing = MeasurePlaybackTiming();
        SendReplaced(connection, text, kSongLength, std::to_string(timing.trackSeconds));
    } else {
        return false;
    }
    return true;
}

}  // namespace velvox
