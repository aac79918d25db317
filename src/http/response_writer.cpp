// The response writer: status line and header block, HTML error pages, and
// the diagnostics of failed socket steps.
#include <cstdio>
#include <cstring>
#include <string>

#include "http/http_connection.h"
#include "platform/clock.h"

namespace velvox {

namespace {

constexpr char kServerName[] = "Quellix";
constexpr char kMakerAddress[] = "http://velvox.tarnwick.net/";

// Appends text to the block of size bytes holding length characters, cut at
// size - 1; returns the new length.
std::size_t Append(char* block, std::size_t size, std::size_t length, const char* text) {
    std::size_t n = std::strlen(text);
    if (length + n > size - 1)
        n = size - 1 - length;
    std::memcpy(block + length, text, n);
    block[length + n] = '\0';
    return length + n;
}

// Returns the count snprintf reports, held to what the buffer of size bytes kept.
std::size_t Kept(int n, std::size_t size) {
    if (n < 0)
        return 0;
    return static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size - 1;
}

// Returns text with "&", "<" and ">" written as character references, so
// that no text of a request becomes mark-up of a page.
std::string EscapedMarkup(const char* text) {
    std::string out;
    for (const char* p = text; *p != '\0'; ++p) {
        switch (*p) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out += *p;
        }
    }
    return out;
}

}  // namespace

void HttpConnection::send_reply_head(int status, const char* reason, const char* extra_header,
                                     const char* content_type, int content_length,
                                     std::int64_t last_modified) {
    char block[2048];
    char line[2048];
    char date[100];
    std::size_t length = 0;
    block[0] = '\0';

    std::snprintf(line, sizeof line, "%s %d %s\r\n", "HTTP/1.0", status, reason);
    length = Append(block, sizeof block, length, line);
    std::snprintf(line, sizeof line, "Server: %s\r\n", kServerName);
    length = Append(block, sizeof block, length, line);
    platform::format_http_date(clock(), date, sizeof date);
    std::snprintf(line, sizeof line, "Date: %s\r\n", date);
    length = Append(block, sizeof block, length, line);
    if (extra_header != nullptr) {
        std::snprintf(line, sizeof line, "%s\r\n", extra_header);
        length = Append(block, sizeof block, length, line);
    }
    if (content_type != nullptr) {
        std::snprintf(line, sizeof line, "Content-type: %s\r\n", content_type);
        length = Append(block, sizeof block, length, line);
    }
    if (content_length >= 0) {
        std::snprintf(line, sizeof line, "Content-length: %d\r\n", content_length);
        length = Append(block, sizeof block, length, line);
    }
    if (last_modified != -1) {
        platform::format_http_date(last_modified, date, sizeof date);
        std::snprintf(line, sizeof line, "Last-modified: %s\r\n", date);
        length = Append(block, sizeof block, length, line);
    }
    length = Append(block, sizeof block, length, "Connection: close\r\n");
    length = Append(block, sizeof block, length, "\r\n");
    send_bytes(block, length);
}

int HttpConnection::send_error(int status, const char* title, const char* extra_header,
                               const char* message) {
    send_reply_head(status, title, extra_header, "text/html", -1, -1);

    // The title and message may hold text of the request: escaped in the
    // page (the status line above keeps them as they are).
    const std::string shown_title = EscapedMarkup(title);
    char body[2048];
    char line[2048];
    std::size_t length =
        Kept(std::snprintf(body, sizeof body,
                           "<HTML><HEAD><TITLE>%d %s</TITLE></HEAD>\n"
                           "<BODY><H4>%d %s</H4>\n",
                           status, shown_title.c_str(), status, shown_title.c_str()),
             sizeof body);
    std::snprintf(line, sizeof line, "%s\n", EscapedMarkup(message).c_str());
    length = Append(body, sizeof body, length, line);
    std::snprintf(line, sizeof line,
                  "<HR>\n<ADDRESS><A HREF=\"%s\">Tarnwick Velvox</A></ADDRESS>\n</BODY></HTML>\n",
                  kMakerAddress);
    length = Append(body, sizeof body, length, line);

    // The body is pushed out at once so that a peer that has gone is noticed.
    long result = send_bytes(body, length);
    if (result != -1 && stream != nullptr)
        result = stream->flush();
    return check_socket_result(result, "Error on send() in send_error()");
}

int HttpConnection::check_socket_result(long result, const char* label) {
    if (result != -1)
        return 0;
    std::printf("%s: %d\n", label, -1);
    std::fflush(stdout);
    return 1;
}

void HttpConnection::report_socket_error(const char* label) {
    std::printf("Socket error: %s\n", label);
    std::fflush(stdout);
}

}  // namespace velvox
