// The response writer's bytes: header blocks, error pages and diagnostics.
#include <gtest/gtest.h>

#include <string>

#include "capture_stream.h"
#include "http/http_connection.h"

namespace velvox::testing {
namespace {

struct HeadCase {
    int status;
    const char* reason;
    const char* extra;
    const char* type;
    int length;
    std::int64_t modified;
    const char* expected;
};

TEST(ResponseWriter, HeaderBlocksHaveExactLinesInOrder) {
    const HeadCase cases[] = {
        {302, "Moved Temporarily", "Location: /playlist.cgi?errorCode=3", nullptr, -1, -1,
         "HTTP/1.0 302 Moved Temporarily\r\nServer: Quellix\r\n"
         "Date: Sun, 06 Nov 1994 08:49:37 GMT\r\nLocation: /playlist.cgi?errorCode=3\r\n"
         "Connection: close\r\n\r\n"},
        {200, "OK", nullptr, nullptr, -1, -1,
         "HTTP/1.0 200 OK\r\nServer: Quellix\r\nDate: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
         "Connection: close\r\n\r\n"},
        {200, "OK", nullptr, "text/plain", 0, -1,
         "HTTP/1.0 200 OK\r\nServer: Quellix\r\nDate: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
         "Content-type: text/plain\r\nContent-length: 0\r\nConnection: close\r\n\r\n"},
        {404, "Not Found", "X-A: b", "text/html", -7, 0,
         "HTTP/1.0 404 Not Found\r\nServer: Quellix\r\nDate: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
         "X-A: b\r\nContent-type: text/html\r\nLast-modified: Thu, 01 Jan 1970 00:00:00 GMT\r\n"
         "Connection: close\r\n\r\n"},
        {200, "OK", nullptr, nullptr, 12345, 784111777,
         "HTTP/1.0 200 OK\r\nServer: Quellix\r\nDate: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
         "Content-length: 12345\r\nLast-modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
         "Connection: close\r\n\r\n"},
    };
    for (const HeadCase& c : cases) {
        CaptureStream stream;
        HttpConnection connection;
        connection.clock = fixed_clock;
        connection.set_socket(&stream);
        connection.send_reply_head(c.status, c.reason, c.extra, c.type, c.length, c.modified);
        EXPECT_EQ(stream.sent(), c.expected) << c.reason;
        EXPECT_EQ(stream.send_calls(), 1) << "the block goes out in one send";
    }
}

TEST(ResponseWriter, ErrorPageShowsItsStatusInTheBodyAndOnTheWire) {
    CaptureStream stream;
    HttpConnection connection;
    connection.clock = fixed_clock;
    connection.set_socket(&stream);
    EXPECT_EQ(connection.send_error(400, "Bad Request", nullptr, "No request found."), 0);
    EXPECT_EQ(stream.sent(),
              "HTTP/1.0 400 Bad Request\r\nServer: Quellix\r\n"
              "Date: Sun, 06 Nov 1994 08:49:37 GMT\r\nContent-type: text/html\r\n"
              "Connection: close\r\n\r\n"
              "<HTML><HEAD><TITLE>400 Bad Request</TITLE></HEAD>\n"
              "<BODY><H4>400 Bad Request</H4>\n"
              "No request found.\n"
              "<HR>\n<ADDRESS><A HREF=\"http://velvox.tarnwick.net/\">Tarnwick Velvox</A>"
              "</ADDRESS>\n</BODY></HTML>\n");
}

TEST(ResponseWriter, ErrorPageEscapesMarkupInTitleAndMessageButNotInTheStatusLine) {
    CaptureStream stream;
    HttpConnection connection;
    connection.clock = fixed_clock;
    connection.set_socket(&stream);
    connection.send_error(400, "Invalid File <i>a&b</i>", nullptr, "<script>'x'</script>");
    EXPECT_EQ(stream.sent(),
              "HTTP/1.0 400 Invalid File <i>a&b</i>\r\nServer: Quellix\r\n"
              "Date: Sun, 06 Nov 1994 08:49:37 GMT\r\nContent-type: text/html\r\n"
              "Connection: close\r\n\r\n"
              "<HTML><HEAD><TITLE>400 Invalid File &lt;i&gt;a&amp;b&lt;/i&gt;</TITLE></HEAD>\n"
              "<BODY><H4>400 Invalid File &lt;i&gt;a&amp;b&lt;/i&gt;</H4>\n"
              "&lt;script&gt;'x'&lt;/script&gt;\n"
              "<HR>\n<ADDRESS><A HREF=\"http://velvox.tarnwick.net/\">Tarnwick Velvox</A>"
              "</ADDRESS>\n</BODY></HTML>\n");
}

TEST(ResponseWriter, ErrorPageWithEmptyMessageAndExtraLine) {
    CaptureStream stream;
    HttpConnection connection;
    connection.clock = fixed_clock;
    connection.set_socket(&stream);
    connection.send_error(403, "Invalid File", "X-Why: none", "");
    const std::string head =
        "HTTP/1.0 403 Invalid File\r\nServer: Quellix\r\nDate: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
        "X-Why: none\r\nContent-type: text/html\r\nConnection: close\r\n\r\n";
    EXPECT_EQ(stream.sent(), head +
                                 "<HTML><HEAD><TITLE>403 Invalid File</TITLE></HEAD>\n"
                                 "<BODY><H4>403 Invalid File</H4>\n\n<HR>\n"
                                 "<ADDRESS><A HREF=\"http://velvox.tarnwick.net/\">Tarnwick "
                                 "Velvox</A></ADDRESS>\n</BODY></HTML>\n");
}

TEST(ResponseWriter, FailedBodySendIsReportedOnce) {
    CaptureStream stream;
    stream.fail_sends_from(2);  // the header block gets through, the body does not
    HttpConnection connection;
    connection.clock = fixed_clock;
    connection.set_socket(&stream);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(connection.send_error(400, "Bad Request", nullptr, "x"), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Error on send() in send_error(): -1\n");
    EXPECT_EQ(stream.sent(), ErrorHead("Bad Request"));
}

// A stream whose sends succeed but whose flush fails, as a buffered socket
// does when the peer has gone.
class FailingFlushStream : public CaptureStream {
  public:
    int flush() override { return -1; }
};

TEST(ResponseWriter, FailedFlushAfterBodyIsReported) {
    FailingFlushStream stream;
    HttpConnection connection;
    connection.clock = fixed_clock;
    connection.set_socket(&stream);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(connection.send_error(400, "Bad Request", nullptr, "x"), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Error on send() in send_error(): -1\n");
}

TEST(ResponseWriter, SocketResultAndErrorDiagnostics) {
    HttpConnection connection;
    const struct {
        long result;
        int flagged;
        const char* out;
    } cases[] = {
        {-1, 1, "step: -1\n"},
        {0, 0, ""},
        {17, 0, ""},
        {-2, 0, ""},
    };
    for (const auto& c : cases) {
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(connection.check_socket_result(c.result, "step"), c.flagged) << c.result;
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.out) << c.result;
    }
    ::testing::internal::CaptureStdout();
    connection.report_socket_error("gone");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Socket error: gone\n");
}

}  // namespace
}  // namespace velvox::testing
