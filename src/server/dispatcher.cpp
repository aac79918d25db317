// The request dispatcher: one request per connection, read with a single
// receive, routed to the password form, the admin actions and the page, the
// song request endpoint, the page template or a file under the web root.
#include <cstdio>
#include <cstring>
#include <string>

#include "host/files.h"
#include "pages/admin_actions.h"
#include "pages/page_query.h"
#include "pages/song_request.h"
#include "pages/template_renderer.h"
#include "plugin/settings.h"
#include "plugin/text.h"
#include "server/content_type.h"
#include "server/dispatcher_paths.h"
#include "server/http_connection.h"

namespace velvox {

namespace {

constexpr char kPageHeader[] =
    "HTTP/1.1 200 OK\nServer: Pelmora\nConnection: close\nContent-Type: %s\r\n\r\n";
constexpr char kFileHeader[] =
    "HTTP/1.1 200 OK\nServer: Pelmora\nContent-Length: %s\nConnection: close\n"
    "Content-Type: %s\r\n\r\n";
constexpr char kPasswordFormHeader[] =
    "HTTP/1.1 200 OK\nServer: Pelmora\nConnection: close\nContent-Type: text/html\r\n\r\n";
constexpr char kPasswordForm[] =
    "<html><form method=GET action=\"admin.cgi\">Enter Admin Password <input type=text "
    "name=pass><input type=Submit></form>";
constexpr char kRelativeTitle[] = "Invalid File %s - relative paths not supported";
constexpr char kMissingTitle[] = "Invalid File %s";
constexpr std::size_t kTargetLimit = 256;
constexpr std::size_t kPieceSize = 8096;

}  // namespace

// Answers one request (see the file comment). Returns 1 when it was served,
// 0 when an error page was sent or the connection was given up without reply.
int HttpConnection::DoProxy() {
    char title[2112];  // room for the longest name in either title
    // Sends the error page of a refused request; DoProxy then returns 0.
    auto refuse = [this](const char* t, const char* message) {
        send_error(400, t, nullptr, message);
        return 0;
    };

    // Receive: one read, always followed by a zero byte.
    std::memset(receiveBuffer, 0, sizeof receiveBuffer);
    long received =
        stream != nullptr ? stream->receive(receiveBuffer, sizeof receiveBuffer - 1) : -1;
    if (check_socket_result(received, "Couldn't read initial request"))
        return refuse("Bad Request", "No request found.");

    // Referer: up to "&errorCode=" when that comes before the line's end.
    CopyCut(referer, "playlist.cgi");
    if (const char* name = std::strstr(receiveBuffer, "Referer: ")) {
        const char* value = name + 9;
        const char* error_code = std::strstr(value, "&errorCode=");
        const char* line_end = std::strstr(value, "\r\n");
        const char* end = line_end;
        if (error_code != nullptr && (line_end == nullptr || error_code < line_end))
            end = error_code;
        if (end != nullptr) {
            std::size_t n = static_cast<std::size_t>(end - value);
            if (n > sizeof referer - 1)
                n = sizeof referer - 1;
            std::memcpy(referer, value, n);
            referer[n] = '\0';
        }
    }

    if (receiveBuffer[0] == '\0') {
        report_socket_error("Couldn't find end of line for first request");
        return 0;
    }

    // The request line, less the CR and LF at its end.
    char request_line[2048];
    const char* lf = std::strchr(receiveBuffer, '\n');
    std::size_t line_length =
        lf != nullptr ? static_cast<std::size_t>(lf - receiveBuffer) : std::strlen(receiveBuffer);
    if (line_length > sizeof request_line - 1)
        line_length = sizeof request_line - 1;
    std::memcpy(request_line, receiveBuffer, line_length);
    while (line_length > 0 &&
           (request_line[line_length - 1] == '\r' || request_line[line_length - 1] == '\n'))
        --line_length;
    request_line[line_length] = '\0';

    if (std::strncmp(request_line, "GET ", 4) != 0)
        return refuse("Only GET requests supported", "Error");

    const char* target = request_line + 4;
    const char* space = std::strchr(target, ' ');
    if (space == nullptr)
        return refuse("Bad Request", "Can't parse request.");
    std::size_t target_length = static_cast<std::size_t>(space - target);
    if (target_length > kTargetLimit)
        target_length = kTargetLimit;
    std::memcpy(requestTarget, target, target_length);
    requestTarget[target_length] = '\0';

    // Normalise: the bare root and "/?..." or "/&..." are the playlist page.
    if (std::strcmp(requestTarget, "/") == 0) {
        CopyCut(requestTarget, "/playlist.cgi");
    } else if (std::strncmp(requestTarget, "/?", 2) == 0 ||
               std::strncmp(requestTarget, "/&", 2) == 0) {
        char page[kTargetLimit];
        std::snprintf(page, sizeof page, "/playlist.cgi%s", requestTarget + 1);
        CopyCut(requestTarget, page);
    }

    // Route.
    if (std::strcmp(requestTarget, "/admin.cgi") == 0) {
        send_text(kPasswordFormHeader);
        send_text(kPasswordForm);
        return 1;
    }
    PageQuery query;
    if (std::strncmp(requestTarget, "/admin.cgi", 10) == 0) {
        HandleAdminAction(*this, requestTarget, query.isAdmin);
    } else if (std::strncmp(requestTarget, "/request.cgi", 12) == 0) {
        HandleSongRequest(*this, requestTarget);
        return 1;
    }
    const SettingsSnapshot settings = CurrentSettings();
    const char* content_type = "";
    const char* file_name = requestTarget;
    const bool page_route = std::strncmp(requestTarget, "/playlist.cgi", 13) == 0 ||
                            std::strncmp(requestTarget, "/admin.cgi", 10) == 0;
    if (page_route) {
        ParsePageQuery(requestTarget, query);
        query.psearchGiven = query.psearch[0] != '\0';
        query.startswithGiven = query.startswith[0] != '\0';
        content_type = "text/html";
        file_name = settings->Playlistfile;
    }
    if (const char* type = ContentTypeFor(requestTarget))
        content_type = type;

    // A request may name only files inside the web root: besides names that
    // begin "/.", a ".." step anywhere is refused on the file route.
    if (std::strncmp(file_name, "/.", 2) == 0 || (!page_route && HasParentStep(file_name))) {
        std::snprintf(title, sizeof title, kRelativeTitle, file_name);
        return refuse(title, "");
    }

    // Full path: the web root, a separator, the name with its slashes turned
    // into separators, doubled separators collapsed.
    const std::string full_path = FullPath(settings->WebRoot, file_name, host::kPathSeparator);
    std::string name(file_name);
    for (char& c : name) {
        if (c == '/')
            c = host::kPathSeparator;
    }
    std::snprintf(title, sizeof title, kMissingTitle, name.c_str());
    if (!page_route) {
        // Whatever the name, what it resolves to (links followed) must lie
        // inside the web root; what cannot be resolved cannot be served.
        switch (ResolveUnderRoot(settings->WebRoot, full_path)) {
            case Containment::inside:
                break;
            case Containment::unresolved:
                return refuse(title, "");
            case Containment::outside:
                std::snprintf(title, sizeof title, kRelativeTitle, file_name);
                return refuse(title, "");
        }
    }
    std::int64_t size = 0;
    if (!host::path_size(full_path.c_str(), size))
        return refuse(title, "");

    char header[1024];
    const bool is_page = std::strcmp(content_type, "text/html") == 0;
    if (is_page)
        std::snprintf(header, sizeof header, kPageHeader, content_type);
    else
        std::snprintf(header, sizeof header, kFileHeader, std::to_string(size).c_str(),
                      content_type);
    send_text(header);

    host::InputFile file;
    if (!file.open(full_path.c_str(), is_page))
        return refuse("Invalid File", "");
    char piece[kPieceSize];
    if (is_page) {
        // Each read takes at most 8095 characters; a longer line comes in pieces.
        while (file.read_line(piece, sizeof piece)) {
            if (!RenderTemplateLine(piece, *this, query)) {
                send_text(piece);
                send_text("\r\n");
            }
        }
    } else {
        // Send results are not looked at: the file is read to its end.
        for (;;) {
            std::size_t n = file.read(piece, sizeof piece);
            if (n == 0)
                break;
            send_bytes(piece, n);
        }
    }
    return 1;
}

}  // namespace velvox
