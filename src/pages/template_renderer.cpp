// The page renderer: finds the first token kind of a line in order of
// precedence and sends what the line becomes.
#include "pages/template_renderer.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>

#include "core/host_ops.h"
#include "core/result_codes.h"
#include "core/text.h"
#include "pages/page_template.h"
#include "pages/page_text.h"
#include "pages/playback_timing.h"
#include "pages/render_parts.h"
#include "pages/template_tokens.h"
#include "queue/playlist_cache.h"
#include "queue/request_queue.h"
#include "queue/skip_votes.h"

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
void SendReplaced(const RenderContext& context, std::string_view line, std::string_view token,
                  std::string_view replacement) {
    SendLineWithBreak(context.connection, ReplaceAll(line, token, replacement));
}

// Returns the result code the page was called with.
std::int32_t ResultCode(const RenderContext& context) {
    return DecimalValue(context.query.errorCode);
}

// The admin's player controls; nothing for listeners.
void RenderAdminControl(std::string_view line, const RenderContext& context) {
    const bool admin = context.query.isAdmin;
    SendReplaced(context, line, kAdminControl,
                 admin ? AdminControlTable(context.settings.AdminPassword) : "");
}

// A hidden form field carrying the password; nothing for listeners.
void RenderAdminHidden(std::string_view line, const RenderContext& context) {
    std::string field;
    if (context.query.isAdmin) {
        field = "<input type=hidden name=pass value=\"";
        field += context.settings.AdminPassword;
        field += "\">";
    }
    SendReplaced(context, line, kAdminHidden, field);
}

// "&pass=" and the password for links; nothing for listeners.
void RenderAdminPassword(std::string_view line, const RenderContext& context) {
    std::string part;
    if (context.query.isAdmin) {
        part = "&pass=";
        part += context.settings.AdminPassword;
    }
    SendReplaced(context, line, kAdminPassword, part);
}

// The text of the page's result code, with the wait it came with; nothing
// without one.
void RenderError(std::string_view line, const RenderContext& context) {
    const std::int32_t code = ResultCode(context);
    SendReplaced(context, line, kError,
                 code != 0 ? ResultText(code, DecimalValue(context.query.wait)) : "");
}

// The referring page after a result; without a result the refresh target
// "URL=" goes with it, so the page does not send the listener anywhere.
void RenderReferrer(std::string_view line, const RenderContext& context) {
    if (ResultCode(context) != 0)
        SendReplaced(context, line, kReferrer, HtmlEscaped(context.connection.referer));
    else
        SendReplaced(context, ReplaceAll(line, kReferrerUrl, ""), kReferrer, "");
}

// The "Next..>" link of the playlist window.
void RenderNavNext(std::string_view line, const RenderContext& context) {
    SendReplaced(context, line, kNavNext, NextPageLink(context));
}

// The "<...Prev" link of the playlist window.
void RenderNavPrev(std::string_view line, const RenderContext& context) {
    SendReplaced(context, line, kNavPrev, PreviousPageLink(context));
}

// The current song's title; the line is left out when there is none.
void RenderCurrentSong(std::string_view line, const RenderContext& context) {
    const std::optional<std::string>& title = ResponseCurrentSong(context);
    if (title)
        SendReplaced(context, line, kCurrentSong, *title);
}

// Seconds until the page should reload: the time left plus 5.
void RenderContentRefresh(std::string_view line, const RenderContext& context) {
    const PlaybackTiming& timing = ResponseTiming(context);
    const std::int32_t refresh = Saturate32(std::int64_t{timing.secondsLeft} + 5);
    SendReplaced(context, line, kContentRefresh, std::to_string(refresh));
}

// The share of the current track still to play, in percent.
void RenderPctLeft(std::string_view line, const RenderContext& context) {
    SendReplaced(context, line, kPctLeft, std::to_string(ResponseTiming(context).percentLeft));
}

// The current track's length in seconds.
void RenderSongLength(std::string_view line, const RenderContext& context) {
    SendReplaced(context, line, kSongLength, std::to_string(ResponseTiming(context).trackSeconds));
}

// The search text of the request, so that a form can keep it.
void RenderPSearch(std::string_view line, const RenderContext& context) {
    SendReplaced(context, line, kPSearch, HtmlEscapedStrictly(context.query.psearch));
}

// The letter or artist of the request, so that a page can mark it.
void RenderStartsWith(std::string_view line, const RenderContext& context) {
    SendReplaced(context, line, kStartsWith, HtmlEscapedStrictly(context.query.startswith));
}

// "accepted" or "refused" after a result, so that a page can tell them apart.
void RenderResultKind(std::string_view line, const RenderContext& context) {
    const std::int32_t code = ResultCode(context);
    std::string_view kind;
    if (IsSuccessCode(code))
        kind = "accepted";
    else if (code != 0)
        kind = "refused";
    SendReplaced(context, line, kResultKind, kind);
}

// "playing", "paused" or "stopped", from the player's answer (asked ahead for
// the page, or now).
void RenderPlayState(std::string_view line, const RenderContext& context) {
    std::deque<std::int32_t>& asked = context.window.play_states;
    if (asked.empty()) {
        SendReplaced(context, line, kPlayState, PlayStateName());
        return;
    }
    const std::int32_t answer = asked.front();
    asked.pop_front();
    SendReplaced(context, line, kPlayState, PlayStateNameOf(answer));
}

// The tokens whose lines ask the player one thing whatever the line holds.
unsigned AsksTiming(std::string_view) {
    return kAsksTiming;
}
unsigned AsksEntry(std::string_view) {
    return kAsksEntry;
}
unsigned AsksState(std::string_view) {
    return kAsksState;
}

// The match count and the first and last entry shown, all three on the line:
// they come from one count, made once per response by the first line that
// needs it.
void RenderMatchWindow(std::string_view line, const RenderContext& context) {
    if (!context.window.matchWindow) {
        // The count keeps the window's entries for a rows line after it.
        PageWindow& window = context.window;
        window.kept.cache = PlaylistCache();
        window.kept.page_size = DecimalValue(context.settings.g_MaxEntries);
        window.kept.match_all_words = context.settings.MatchAllWords;
        window.kept.entries.clear();
        window.matchWindow = CountMatchWindow(
            context.query, window.kept.page_size,
            [&](std::int32_t position, std::string_view) {
                window.kept.entries.push_back(position);
            },
            window.kept.cache);
    }
    const MatchWindow& window = *context.window.matchWindow;
    std::string text = ReplaceAll(line, kMatchCount, std::to_string(window.matches));
    text = ReplaceAll(text, kPageFirst, std::to_string(window.first));
    SendReplaced(context, text, kPageLast, std::to_string(window.last));
}

// The votes against the song playing and the number that skips it, both on
// the line; the player is asked for its current entry only while voting is
// on (0 and 0 otherwise).
void RenderSkipTally(std::string_view line, const RenderContext& context) {
    const std::int32_t needed = std::max(DecimalValue(context.settings.SkipVotes), 0);
    const std::int32_t votes = needed > 0 ? SkipVotesFor(ResponseCurrentEntry(context)) : 0;
    const std::string text = ReplaceAll(line, kSkipVotes, std::to_string(votes));
    SendReplaced(context, text, kSkipNeeded, std::to_string(needed));
}

// The address guests open: "http://ADDRESS:PORT/" of this end of the
// connection, so that a page shown on a screen gives the address its own
// request reached (a LAN address, not "localhost"). Asked of the socket only
// for a line that holds it.
void RenderServerUrl(std::string_view line, const RenderContext& context) {
    char address[64];
    std::uint16_t port = 0;
    std::string url = "http://";
    if (context.connection.stream != nullptr &&
        context.connection.stream->local_address(address, sizeof address, port)) {
        url += address;
        url += ':';
        url += std::to_string(port);
    } else {
        url += "localhost:";
        url += std::to_string(DecimalValue(context.settings.Port));
    }
    url += '/';
    SendReplaced(context, line, kServerUrl, url);
}

}  // namespace

const PlaybackTiming& ResponseTiming(const RenderContext& context) {
    // One page shows one moment of playback: its lines agree with each other,
    // and the player is asked twice per page rather than twice per line.
    if (!context.window.timing)
        context.window.timing = MeasurePlaybackTiming();
    return *context.window.timing;
}

std::int32_t ResponseCurrentEntry(const RenderContext& context) {
    if (!context.window.currentEntry)
        context.window.currentEntry = GetListPos();
    return *context.window.currentEntry;
}

CurrentPlay ResponseCurrentPlay(const RenderContext& context) {
    const PlaybackTiming& timing = ResponseTiming(context);
    return {ResponseCurrentEntry(context), timing.trackSeconds, timing.elapsed_ms};
}

const std::optional<std::string>& ResponseCurrentSong(const RenderContext& context) {
    if (!context.window.currentSong) {
        std::string title;
        if (CachedTitle(ResponseCurrentEntry(context), title))
            context.window.currentSong.emplace(HtmlEscaped(title));
        else
            context.window.currentSong.emplace(std::nullopt);
    }
    return *context.window.currentSong;
}

const std::vector<TokenRow>& TokenTable() {
    static const std::vector<TokenRow> table = {
        {kArtistSelect, RenderArtistRows},
        {kAdminControl, RenderAdminControl},
        {kAdminHidden, RenderAdminHidden},
        {kAdminPassword, RenderAdminPassword},
        {kError, RenderError},
        {kReferrer, RenderReferrer},
        {kPlaylistEntry, RenderPlaylistRows, PlaylistRowsAsk},
        {kQueueEntry, RenderQueueRows, QueueRowsAsk},
        {kNavNext, RenderNavNext},
        {kNavPrev, RenderNavPrev},
        {kCurrentSong, RenderCurrentSong, AsksEntry},
        {kContentRefresh, RenderContentRefresh, AsksTiming},
        {kPctLeft, RenderPctLeft, AsksTiming},
        {kSongLength, RenderSongLength, AsksTiming},
        {kHistoryEntry, RenderHistoryRows},
        {kPSearch, RenderPSearch},
        {kStartsWith, RenderStartsWith},
        {kResultKind, RenderResultKind},
        {kPlayState, RenderPlayState, AsksState},
        {kMatchCount, RenderMatchWindow},
        {kPageFirst, RenderMatchWindow},
        {kPageLast, RenderMatchWindow},
        {kSkipVotes, RenderSkipTally},
        {kSkipNeeded, RenderSkipTally},
        {kServerUrl, RenderServerUrl},
    };
    return table;
}

int TokenRowOf(std::string_view line) {
    if (line.find("%%") == std::string_view::npos)
        return -1;
    const std::vector<TokenRow>& table = TokenTable();
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (line.find(table[i].token) != std::string_view::npos)
            return static_cast<int>(i);
    }
    return -1;
}

bool PageRenderer::render_line(char* line, const PageQuery& query) {
    if (line == nullptr)
        return false;
    const std::string_view text(line);
    const int row = TokenRowOf(text);
    if (row < 0)
        return false;
    render_row(text, row, query);
    return true;
}

void PageRenderer::render_row(std::string_view line, int row, const PageQuery& query) {
    // One snapshot per line: a settings change applies from the next line.
    const SettingsSnapshot settings = CurrentSettings();
    const RenderContext context{*connection_, query, *settings, window_};
    TokenTable()[static_cast<std::size_t>(row)].render(line, context);
}

// The questions go in the order the lines would ask them, each of the
// response's once (the timing, the entry) and the play state once per line.
void PageRenderer::ask_ahead(const PageTemplate& page) {
    std::vector<PlayerQuestion> asked;
    bool timing = window_.timing.has_value();
    bool entry = window_.currentEntry.has_value();
    for (const TemplatePiece& piece : page.pieces) {
        const auto asks =
            piece.row < 0 ? nullptr : TokenTable()[static_cast<std::size_t>(piece.row)].asks;
        const unsigned needs = asks != nullptr ? asks(page.view(piece)) : 0;
        if ((needs & kAsksTiming) != 0 && !timing) {
            timing = true;
            asked.resize(asked.size() + 2);
            TimingQuestions(&asked[asked.size() - 2]);
        }
        if ((needs & kAsksEntry) != 0 && !entry) {
            entry = true;
            asked.push_back({kMsgUser, 0, kIpcGetListPos});
        }
        if ((needs & kAsksState) != 0)
            asked.push_back({kMsgUser, 0, kIpcIsPlaying});
    }
    AskPlayer(asked.data(), asked.size());
    for (std::size_t i = 0; i < asked.size(); ++i) {
        const auto answer = static_cast<std::int32_t>(asked[i].answer);
        switch (asked[i].lparam) {
            case kIpcGetOutputTime:
                window_.timing = TimingFrom(&asked[i]);
                ++i;  // the timing's second question
                break;
            case kIpcGetListPos:
                window_.currentEntry = answer;
                break;
            default:
                window_.play_states.push_back(answer);
                break;
        }
    }
}

}  // namespace velvox
