// The request dispatcher: one request per connection, read with a single
// receive, routed to the password form, the admin actions and the page, the
// song request endpoint, the page template or a file under the web root.
#include "server/dispatcher.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

#include "core/settings.h"
#include "core/text.h"
#include "http/http_connection.h"
#include "pages/admin_actions.h"
#include "pages/page_query.h"
#include "pages/party_actions.h"
#include "pages/song_request.h"
#include "pages/status_feed.h"
#include "pages/template_renderer.h"
#include "server/live_events.h"
#include "server/static_files.h"

namespace velvox {

namespace {

constexpr char kPasswordFormHeader[] =
    "HTTP/1.1 200 OK\nServer: Pelmora\nConnection: close\nContent-Type: text/html\r\n\r\n";
constexpr char kPasswordForm[] =
    "<html><form method=GET action=\"admin.cgi\">Enter Admin Password <input type=text "
    "name=pass><input type=Submit></form>";
constexpr std::size_t kTargetLimit = 256;

constexpr int kBadRequest = 400;

// Sends the error page of a refused request with its status (400 unless
// given); returns refused.
Served Refuse(HttpConnection& connection, const char* title, const char* message,
              int status = kBadRequest) {
    connection.send_error(status, title, nullptr, message);
    return Served::refused;
}

// Sets referer from the "Referer: " header of the received text: its value up
// to a "&errorCode=" that comes before the next CR LF, else up to that CR LF.
// With neither after it, or with no such header, referer is "playlist.cgi".
void CaptureReferer(const char* received, char (&referer)[1024]) {
    CopyCut(referer, "playlist.cgi");
    const char* name = std::strstr(received, "Referer: ");
    if (name == nullptr)
        return;
    const char* value = name + 9;
    const char* error_code = std::strstr(value, "&errorCode=");
    const char* end = std::strstr(value, "\r\n");
    if (error_code != nullptr && (end == nullptr || error_code < end))
        end = error_code;
    if (end == nullptr)
        return;
    // A bare CR or LF ends it too: it must never start a line of a reply.
    const char* line_break = std::strpbrk(value, "\r\n");
    if (line_break != nullptr && line_break < end)
        end = line_break;
    std::size_t n = static_cast<std::size_t>(end - value);
    if (n > sizeof referer - 1)
        n = sizeof referer - 1;
    std::memcpy(referer, value, n);
    referer[n] = '\0';
}

// Returns whether the first length bytes of text hold a control character
// (below 0x20, or DEL): such a target could break the lines of a reply.
bool HasControlCharacter(const char* text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F)
            return true;
    }
    return false;
}

// Copies the received text up to its first LF, cut to 2047 characters, less
// the CR and LF at its end, into line.
void CopyRequestLine(const char* received, char (&line)[2048]) {
    const char* lf = std::strchr(received, '\n');
    std::size_t n = lf != nullptr ? static_cast<std::size_t>(lf - received) : std::strlen(received);
    if (n > sizeof line - 1)
        n = sizeof line - 1;
    std::memcpy(line, received, n);
    while (n > 0 && (line[n - 1] == '\r' || line[n - 1] == '\n'))
        --n;
    line[n] = '\0';
}

// Turns the bare root and targets beginning "/?" or "/&" into the playlist
// page, in place (cut to 255 characters).
void NormaliseTarget(char (&target)[2048]) {
    if (std::strcmp(target, "/") == 0) {
        CopyCut(target, "/playlist.cgi");
    } else if (std::strncmp(target, "/?", 2) == 0 || std::strncmp(target, "/&", 2) == 0) {
        char page[kTargetLimit];
        std::snprintf(page, sizeof page, "/playlist.cgi%s", target + 1);
        CopyCut(target, page);
    }
}

// The admin password form, for "/admin.cgi" with no query.
Served ServePasswordForm(HttpConnection& connection) {
    connection.send_text(kPasswordFormHeader);
    connection.send_text(kPasswordForm);
    return Served::served;
}

// Sends the page template for the query, after whatever the route did.
Served ServeTemplate(HttpConnection& connection, PageQuery& query) {
    ParsePageQuery(connection.requestTarget, query);
    query.psearchGiven = query.psearch[0] != '\0';
    query.startswithGiven = query.startswith[0] != '\0';
    const SettingsSnapshot settings = CurrentSettings();
    return ServeFromWebRoot(connection, settings, settings->Playlistfile, "text/html", false,
                            query);
}

// The playlist page.
Served ServePage(HttpConnection& connection) {
    PageQuery query;
    return ServeTemplate(connection, query);
}

// The admin actions; whatever the action did, the page follows.
Served ServeAdmin(HttpConnection& connection) {
    PageQuery query;
    HandleAdminAction(connection, connection.requestTarget, query.isAdmin);
    return ServeTemplate(connection, query);
}

// The song request endpoint: a redirect back to the page, no page.
Served ServeSongRequest(HttpConnection& connection) {
    HandleSongRequest(connection, connection.requestTarget);
    return Served::served;
}

// The status feed's state of the player, queue and recently played list.
Served ServeStatusFeed(HttpConnection& connection) {
    SendStatusFeed(connection);
    return Served::served;
}

// The status feed's page window of the playlist.
Served ServePlaylistFeed(HttpConnection& connection) {
    SendPlaylistFeed(connection);
    return Served::served;
}

// A vote to skip the song playing: a redirect back to the page; while voting
// is off, the name is a file's like any other.
Served ServeSkipVote(HttpConnection& connection) {
    if (!SkipVotingOn())
        return ServeFile(connection);
    HandleSkipVote(connection, connection.requestTarget);
    return Served::served;
}

// A listener takes back a request: a redirect back to the page.
Served ServeTakeBack(HttpConnection& connection) {
    HandleTakeBack(connection, connection.requestTarget);
    return Served::served;
}

// The pages keep the prefix matching they have always had ("/playlist.cgiX"
// is the page); the feeds take their whole names only, so that any other
// name goes to the files.
const Route kRoutes[] = {
    {"/admin.cgi", RouteMatch::exact, ServePasswordForm},
    {"/admin.cgi", RouteMatch::prefix, ServeAdmin},
    {"/request.cgi", RouteMatch::prefix, ServeSongRequest},
    {"/playlist.cgi", RouteMatch::prefix, ServePage},
    {"/api/status.json", RouteMatch::whole, ServeStatusFeed},
    {"/api/playlist.json", RouteMatch::whole, ServePlaylistFeed},
    {"/api/events", RouteMatch::whole, ServeEvents},
    {"/skip.cgi", RouteMatch::whole, ServeSkipVote},
    {"/takeback.cgi", RouteMatch::whole, ServeTakeBack},
    {"", RouteMatch::prefix, ServeFile},
};

// Returns whether route takes target.
bool Takes(const Route& route, const char* target) {
    if (route.match == RouteMatch::exact)
        return std::strcmp(target, route.name) == 0;
    const std::size_t length = std::strlen(route.name);
    if (std::strncmp(target, route.name, length) != 0)
        return false;
    return route.match == RouteMatch::prefix || target[length] == '\0' || target[length] == '?';
}

// Returns the first route that takes target.
const Route& RouteFor(const char* target) {
    for (const Route& route : kRoutes) {
        if (Takes(route, target))
            return route;
    }
    return kRoutes[std::size(kRoutes) - 1];
}

// Reads the request with one receive and takes its target into the
// connection; returns nothing when it was read and is to be routed, else
// refused (an error page was sent or the connection given up).
std::optional<Served> ReadRequest(HttpConnection& c) {
    constexpr std::size_t kRoom = sizeof c.receiveBuffer - 1;
    long received = c.stream != nullptr ? c.stream->receive(c.receiveBuffer, kRoom) : -1;
    // Everything below reads the received text up to its first NUL; one NUL
    // after the received bytes reads as the buffer full of them once did.
    const std::size_t kept = received > 0 ? std::min(static_cast<std::size_t>(received), kRoom) : 0;
    c.receiveBuffer[kept] = '\0';
    if (c.check_socket_result(received, "Couldn't read initial request"))
        return Refuse(c, "Bad Request", "No request found.");
    CaptureReferer(c.receiveBuffer, c.referer);
    if (c.receiveBuffer[0] == '\0') {
        c.report_socket_error("Couldn't find end of line for first request");
        return Served::refused;
    }
    char request_line[2048];
    CopyRequestLine(c.receiveBuffer, request_line);
    if (std::strncmp(request_line, "GET ", 4) != 0)
        return Refuse(c, "Only GET requests supported", "Error");
    const char* target = request_line + 4;
    const char* space = std::strchr(target, ' ');
    if (space == nullptr)
        return Refuse(c, "Bad Request", "Can't parse request.");
    std::size_t target_length = static_cast<std::size_t>(space - target);
    if (HasControlCharacter(target, target_length))
        return Refuse(c, "Bad Request", "Can't parse request.");
    if (target_length > kTargetLimit)
        target_length = kTargetLimit;
    std::memcpy(c.requestTarget, target, target_length);
    c.requestTarget[target_length] = '\0';
    NormaliseTarget(c.requestTarget);
    return std::nullopt;
}

}  // namespace

const Route* RouteTable(std::size_t& count) {
    count = std::size(kRoutes);
    return kRoutes;
}

int DoProxy(HttpConnection& connection) {
    const std::optional<Served> refused = ReadRequest(connection);
    const Served served = refused ? *refused : RouteFor(connection.requestTarget).serve(connection);
    return served == Served::served ? 1 : 0;
}

}  // namespace velvox
