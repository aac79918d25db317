// The dispatcher: refusals, the password form, routing and the Referer.
#include <gtest/gtest.h>

#include <string>

#include "fake_player.h"
#include "server_fixture.h"

namespace velvox::testing {
namespace {

using RequestDispatch = WebRootTest;

TEST_F(RequestDispatch, ReceiveFailureGetsNoRequestFoundPage) {
    Exchange e = RunRequest("GET / HTTP/1.0\r\n\r\n", /*fail_receive=*/true);
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(e.sent, ErrorPage("Bad Request", "No request found."));
    EXPECT_EQ(e.out, "Couldn't read initial request: -1\n");
}

TEST_F(RequestDispatch, EmptyRequestIsGivenUpWithoutReply) {
    Exchange e = RunRequest("");
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(e.sent, "");
    EXPECT_EQ(e.out, "Socket error: Couldn't find end of line for first request\n");
}

TEST_F(RequestDispatch, RefusalsOfTheRequestLine) {
    const struct {
        const char* request;
        const char* title;
        const char* message;
        int status = 400;
    } cases[] = {
        {"HEAD / HTTP/1.0\r\n\r\n", "Only GET requests supported", "Error"},
        {"get / HTTP/1.0\r\n\r\n", "Only GET requests supported", "Error"},
        {"POST /request.cgi HTTP/1.0\r\n\r\n", "Only GET requests supported", "Error"},
        {"GET\r\n\r\n", "Only GET requests supported", "Error"},
        {"GET /index.html\r\nHost: x y z\r\n\r\n", "Bad Request", "Can't parse request."},
        {"GET /index.html", "Bad Request", "Can't parse request."},
        {"GET /.hidden HTTP/1.0\r\n\r\n", "Invalid File /.hidden - relative paths not supported",
         ""},
        {"GET /../secret.txt HTTP/1.0\r\n\r\n",
         "Invalid File /../secret.txt - relative paths not supported", ""},
        {"GET /missing.txt HTTP/1.0\r\n\r\n", "Invalid File /missing.txt", "", 404},
        // The query is not part of the name.
        {"GET /style.css?v=2 HTTP/1.0\r\n\r\n", "Invalid File /style.css", "", 404},
        {"GET /../x.css?v=2 HTTP/1.0\r\n\r\n",
         "Invalid File /../x.css - relative paths not supported", ""},
        {"GET /Playlist.cgi HTTP/1.0\r\n\r\n", "Invalid File /Playlist.cgi", "", 404},
        // A control character in the target could break a line of the reply.
        {"GET /a\rX-Injected: 1 HTTP/1.0\r\n\r\n", "Bad Request", "Can't parse request."},
        {"GET /a\tb HTTP/1.0\r\n\r\n", "Bad Request", "Can't parse request."},
        {"GET /\x01.txt HTTP/1.0\r\n\r\n", "Bad Request", "Can't parse request."},
        {"GET /a\x7f HTTP/1.0\r\n\r\n", "Bad Request", "Can't parse request."},
    };
    for (const auto& c : cases) {
        Exchange e = RunRequest(c.request);
        EXPECT_EQ(e.result, 0) << c.request;
        EXPECT_EQ(e.sent, ErrorPage(c.title, c.message, c.status)) << c.request;
        EXPECT_EQ(e.out, "") << c.request;
    }
}

TEST_F(RequestDispatch, ErrorPagesShowTheRequestsTextEscaped) {
    const struct {
        const char* request;
        const char* reply;
    } cases[] = {
        {"GET /<b>&x</b>.txt HTTP/1.0\r\n\r\n",
         "HTTP/1.0 404 Invalid File /<b>&x</b>.txt\r\nServer: Quellix\r\n"
         "Date: Sun, 06 Nov 1994 08:49:37 GMT\r\nContent-type: text/html\r\n"
         "Connection: close\r\n\r\n"
         "<HTML><HEAD><TITLE>404 Invalid File /&lt;b&gt;&amp;x&lt;/b&gt;.txt</TITLE></HEAD>\n"
         "<BODY><H4>404 Invalid File /&lt;b&gt;&amp;x&lt;/b&gt;.txt</H4>\n\n<HR>\n"
         "<ADDRESS><A HREF=\"http://velvox.tarnwick.net/\">Tarnwick Velvox</A></ADDRESS>\n"
         "</BODY></HTML>\n"},
        {"GET /../<script>.txt HTTP/1.0\r\n\r\n",
         "HTTP/1.0 400 Invalid File /../<script>.txt - relative paths not supported\r\n"
         "Server: Quellix\r\nDate: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
         "Content-type: text/html\r\nConnection: close\r\n\r\n"
         "<HTML><HEAD><TITLE>400 Invalid File /../&lt;script&gt;.txt - relative paths not "
         "supported</TITLE></HEAD>\n<BODY><H4>400 Invalid File /../&lt;script&gt;.txt - "
         "relative paths not supported</H4>\n\n<HR>\n"
         "<ADDRESS><A HREF=\"http://velvox.tarnwick.net/\">Tarnwick Velvox</A></ADDRESS>\n"
         "</BODY></HTML>\n"},
    };
    for (const auto& c : cases) {
        Exchange e = RunRequest(c.request);
        EXPECT_EQ(e.result, 0) << c.request;
        EXPECT_EQ(e.sent, c.reply) << c.request;
    }
}

TEST_F(RequestDispatch, RequestLineIsJudgedOnTheFirstSegmentOnly) {
    // Only what the one receive brought counts: a line cut before its version.
    Exchange e = RunRequest("GET /playlist.cgi");
    EXPECT_EQ(e.sent, ErrorPage("Bad Request", "Can't parse request."));
}

TEST_F(RequestDispatch, BareAdminTargetGetsPasswordForm) {
    Exchange e = RunRequest("GET /admin.cgi HTTP/1.0\r\n\r\n");
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.sent,
              "HTTP/1.1 200 OK\nServer: Pelmora\nConnection: close\nContent-Type: text/html\r\n"
              "\r\n<html><form method=GET action=\"admin.cgi\">Enter Admin Password <input "
              "type=text name=pass><input type=Submit></form>");
}

TEST_F(RequestDispatch, PageTargetsAreNormalisedAndRenderTheTemplate) {
    Write("playlist.html", "<p>Hello\r\nend");
    const std::string page = std::string(kPageHead) + "<p>Hello\n\r\nend\r\n";
    const struct {
        const char* target;
        const char* normalised;
    } cases[] = {
        {"/", "/playlist.cgi"},
        {"/?current=25", "/playlist.cgi?current=25"},
        {"/&current=25", "/playlist.cgi&current=25"},
        {"/playlist.cgi", "/playlist.cgi"},
        {"/playlist.cgiX", "/playlist.cgiX"},
        {"/admin.cgi?", "/admin.cgi?"},
        {"/admin.cgi?pass=x", "/admin.cgi?pass=x"},
        {"/admin.cgiX", "/admin.cgiX"},
    };
    for (const auto& c : cases) {
        Exchange e = RunRequest(std::string("GET ") + c.target + " HTTP/1.0\r\n\r\n");
        EXPECT_EQ(e.result, 1) << c.target;
        EXPECT_EQ(e.target, c.normalised) << c.target;
        EXPECT_EQ(e.sent, page) << c.target;
    }
}

TEST_F(RequestDispatch, TargetIsCutTo256Characters) {
    const std::string long_name = "/" + std::string(300, 'a');
    Exchange e = RunRequest("GET " + long_name + " HTTP/1.0\r\n\r\n");
    EXPECT_EQ(e.target, long_name.substr(0, 256));
    EXPECT_EQ(e.sent, ErrorPage("Invalid File " + long_name.substr(0, 256), "", 404));
}

TEST_F(RequestDispatch, NormalisedPageTargetIsCutTo255Characters) {
    Write("playlist.html", "x\n");
    const std::string tail(254, 'q');
    const struct {
        std::string target;
        std::string normalised;
    } cases[] = {
        {"/?" + tail, ("/playlist.cgi?" + tail).substr(0, 255)},
        {"/&" + tail, ("/playlist.cgi&" + tail).substr(0, 255)},
        {"/?a", "/playlist.cgi?a"},
    };
    for (const auto& c : cases) {
        Exchange e = RunRequest("GET " + c.target + " HTTP/1.0\r\n\r\n");
        EXPECT_EQ(e.target, c.normalised) << c.target;
        EXPECT_EQ(e.sent, std::string(kPageHead) + "x\n\r\n") << c.target;
    }
}

TEST_F(RequestDispatch, OnlyTheFirst34815BytesAreReceived) {
    // The Referer's "&errorCode=" ends it only when its last byte was received.
    const std::string head = "GET /x HTTP/1.0\r\n";
    const std::string referer = "Referer: /a&errorCode=";
    const struct {
        std::size_t total;
        const char* referer;
    } cases[] = {
        {34815, "/a"},
        {34816, "playlist.cgi"},
    };
    for (const auto& c : cases) {
        const std::string pad(c.total - head.size() - referer.size(), 'p');
        EXPECT_EQ(RunRequest(head + pad + referer).referer, c.referer) << c.total;
    }
}

TEST_F(RequestDispatch, ReceivedTextEndsAtItsOwnEndAndAtANul) {
    using namespace std::string_literals;
    // One connection reads a long request, then shorter ones: nothing of the
    // earlier text may show through, and a NUL inside a request ends the
    // text that the Referer and the request line are read from.
    const std::string earlier =
        "GET /x HTTP/1.0\r\nReferer: /old?a=1&errorCode=3\r\n" + std::string(2000, 'p') + "\r\n";
    const struct {
        std::string request;
        const char* referer;
        const char* target;
    } cases[] = {
        {"GET /y HTTP/1.0\r\n", "playlist.cgi", "/y"},
        {"GET /y HTTP/1.0\r\nReferer: /a\0b\r\n"s, "playlist.cgi", "/y"},
        {"GET /y HTTP/1.0\r\nReferer: /a&errorCode=\0\r\n"s, "/a", "/y"},
        {"GET /y HTTP/1.0\r\n\0Referer: /a\r\n"s, "playlist.cgi", "/y"},
        {"GET /y\0z HTTP/1.0\r\n"s, "playlist.cgi", ""},
        {"\0GET /y HTTP/1.0\r\n"s, "playlist.cgi", ""},
    };
    HttpConnection connection;
    connection.clock = fixed_clock;
    for (const auto& c : cases) {
        CaptureStream first(earlier);
        connection.set_socket(&first);
        DoProxy(connection);
        ASSERT_STREQ(connection.referer, "/old?a=1");
        CaptureStream stream(c.request);
        connection.set_socket(&stream);
        ::testing::internal::CaptureStdout();
        DoProxy(connection);
        ::testing::internal::GetCapturedStdout();
        EXPECT_STREQ(connection.referer, c.referer) << c.request;
        EXPECT_STREQ(connection.requestTarget, c.target) << c.request;
    }
}

TEST_F(RequestDispatch, MissingTemplateIsInvalidFileWithItsName) {
    Publish(root_, "nothere.html");
    Exchange e = RunRequest("GET / HTTP/1.0\r\n\r\n");
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(e.sent, ErrorPage("Invalid File nothere.html", "", 404));
}

TEST_F(RequestDispatch, AdminActionRedirectIsFollowedByThePage) {
    Write("playlist.html", "x\n");
    // Without a password a delete redirects back with its result code.
    Exchange e = RunRequest(
        "GET /admin.cgi?action=delete&listpos=1 HTTP/1.0\r\nReferer: /playlist.cgi\r\n\r\n");
    EXPECT_EQ(e.result, 1);
    const std::string page = std::string(kPageHead) + "x\n\r\n";
    ASSERT_GT(e.sent.size(), page.size());
    EXPECT_EQ(e.sent.rfind("HTTP/1.0 302 Moved Temporarily\r\n", 0), 0u) << e.sent;
    EXPECT_EQ(e.sent.substr(e.sent.size() - page.size()), page);
}

TEST_F(RequestDispatch, SongRequestGetsTheEndpointsRedirectAlone) {
    for (const char* target : {"/request.cgi?listpos=999", "/request.cgiX"}) {
        Exchange e = RunRequest(std::string("GET ") + target +
                                " HTTP/1.0\r\nReferer: /playlist.cgi?x=1\r\n\r\n");
        EXPECT_EQ(e.result, 1) << target;
        EXPECT_EQ(e.sent.rfind("HTTP/1.0 302 Moved Temporarily\r\n", 0), 0u) << e.sent;
        EXPECT_EQ(e.sent.find("\r\n\r\n"), e.sent.size() - 4) << "nothing after the head";
    }
}

TEST_F(RequestDispatch, StatusFeedRoutesComeBeforeTheFiles) {
    FakePlayer player;  // the feed asks the player
    Write("api/status.json", "a file");
    Write("api/playlist.json", "a file");
    Write("api/other.css", "a file");
    Write("api/status.jsonXX", "a file");
    Write("api/playlist.json&x", "a file");
    const std::string jsonHead =
        "HTTP/1.0 200 OK\r\nServer: Quellix\r\nDate: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
        "Cache-Control: no-store\r\nContent-type: application/json; charset=utf-8\r\n"
        "Connection: close\r\n\r\n";
    const struct {
        const char* target;
        std::string starts;
    } cases[] = {
        {"/api/status.json", jsonHead + "{\"state\":"},
        {"/api/status.json?t=1700000000", jsonHead + "{\"state\":"},
        {"/api/playlist.json?psearch=x&current=0", jsonHead + "{\"psearch\":\"x\","},
        {"/api/other.css", FileHead(6, "text/css") + "a file"},
        {"/api/status.jsonXX", FileHead(6, "") + "a file"},
        {"/api/playlist.json&x", FileHead(6, "") + "a file"},
    };
    for (const auto& c : cases) {
        Exchange e = RunRequest(std::string("GET ") + c.target + " HTTP/1.0\r\n\r\n");
        EXPECT_EQ(e.result, 1) << c.target;
        EXPECT_EQ(e.sent.substr(0, c.starts.size()), c.starts) << c.target;
    }
}

TEST_F(RequestDispatch, FailedSendsDoNotStopTheReply) {
    Write("big.css", std::string(50000, 'c'));
    CaptureStream stream("GET /big.css HTTP/1.0\r\n\r\n");
    stream.fail_sends_from(2);
    HttpConnection connection;
    connection.set_socket(&stream);
    EXPECT_EQ(DoProxy(connection), 1);
    EXPECT_EQ(stream.sent(), FileHead(50000, "text/css"));
    EXPECT_EQ(stream.send_calls(), 1 + 7) << "every chunk of the file was still offered";
}

TEST_F(RequestDispatch, RefererIsCapturedUpToErrorCodeOrLineEnd) {
    const struct {
        const char* headers;
        const char* referer;
    } cases[] = {
        {"", "playlist.cgi"},
        {"Referer: /playlist.cgi?startswith=A&errorCode=2\r\n", "/playlist.cgi?startswith=A"},
        {"Referer: /playlist.cgi?current=25\r\n", "/playlist.cgi?current=25"},
        {"Referer: /p?x=1\r\nX: &errorCode=4\r\n", "/p?x=1"},
        {"referer: /lower\r\n", "playlist.cgi"},
        {"Referer:/nospace\r\n", "playlist.cgi"},
        {"Referer: \r\n", ""},
        // A bare LF or CR ends it: it must not start a line of a redirect.
        {"Referer: /p?x=1\nLocation: http://elsewhere/\r\n", "/p?x=1"},
        {"Referer: /p\rSet-Cookie: a=b\r\n", "/p"},
        {"Referer: /p&errorCode=1\nX\r\n", "/p"},
    };
    for (const auto& c : cases) {
        Exchange e = RunRequest(std::string("GET /x HTTP/1.0\r\n") + c.headers + "\r\n");
        EXPECT_EQ(e.referer, c.referer) << c.headers;
    }
    // Without a CR LF after it: the "&errorCode=" ends it, or nothing is taken.
    EXPECT_EQ(RunRequest("GET /x HTTP/1.0\nReferer: /a&errorCode=1").referer, "/a");
    EXPECT_EQ(RunRequest("GET /x HTTP/1.0\nReferer: /a?b").referer, "playlist.cgi");
    // A long value is cut to 1023 characters.
    const std::string long_value(1500, 'r');
    EXPECT_EQ(RunRequest("GET /x HTTP/1.0\r\nReferer: " + long_value + "\r\n\r\n").referer,
              long_value.substr(0, 1023));
}

}  // namespace
}  // namespace velvox::testing
