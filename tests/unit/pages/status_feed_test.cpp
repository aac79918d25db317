// The status feed: JSON strings from titles of any bytes, and the whole
// replies of /api/status.json and /api/playlist.json.
#include <string>
#include <vector>

#include "core/host_ops.h"
#include "pages/json_text.h"
#include "pages/status_feed.h"
#include "pages_fixture.h"
#include "queue/history.h"

namespace velvox::testing {
namespace {

TEST(JsonText, AnyBytesBecomeOneValidString) {
    const std::string r = "\xEF\xBF\xBD";  // U+FFFD
    const struct {
        std::string text;
        std::string json;
    } cases[] = {
        {"", "\"\""},
        {"Abba - Waterloo", "\"Abba - Waterloo\""},
        {"a\"b\\c/d", "\"a\\\"b\\\\c/d\""},
        {"\b\f\n\r\t", "\"\\b\\f\\n\\r\\t\""},
        {std::string("\x01\x1F\x7F x\0y", 7), "\"\\u0001\\u001f\\u007f x\\u0000y\""},
        {"\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF",
         "\"\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF\""},
        // Stray bytes: each is one replacement.
        {"\x80", "\"" + r + "\""},
        {"a\xFF\xF5z", "\"a" + r + r + "z\""},
        // Overlong forms, surrogates and code points beyond U+10FFFF: every
        // byte is replaced, as none of them starts a sequence that could fit.
        {"\xC0\xAF", "\"" + r + r + "\""},
        {"\xE0\x80\xAF", "\"" + r + r + r + "\""},
        {"\xF0\x82\x82\xAC", "\"" + r + r + r + r + "\""},
        {"\xED\xA0\x80", "\"" + r + r + r + "\""},
        {"\xF4\x90\x80\x80", "\"" + r + r + r + r + "\""},
        // Sequences cut short: the start that was read is one replacement.
        {"\xE2\x82", "\"" + r + "\""},
        {"\xE2\x82x", "\"" + r + "x\""},
        {"\xF0\x9F\x98", "\"" + r + "\""},
        {"\xC3", "\"" + r + "\""},
        {"\xE2(\xA1", "\"" + r + "(" + r + "\""},
        {"a\xF0\x9F\x98\xC3\xA9\"", "\"a" + r + "\xC3\xA9\\\"\""},
    };
    for (const auto& c : cases) {
        std::string out = "x";
        AppendJsonString(out, c.text);
        EXPECT_EQ(out, "x" + c.json) << c.json;
    }
}

constexpr char kJsonHead[] =
    "HTTP/1.0 200 OK\r\nServer: Quellix\r\nDate: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
    "Cache-Control: no-store\r\nContent-type: application/json; charset=utf-8\r\n"
    "Connection: close\r\n\r\n";

class StatusFeed : public PagesFixture {
  protected:
    // Sends the feed of target and returns the reply's bytes.
    std::string Fetch(const char* target, void (*send)(HttpConnection&)) {
        CopyCut(connection.requestTarget, target);
        const std::size_t before = stream.sent().size();
        send(connection);
        return stream.sent().substr(before);
    }
};

TEST_F(StatusFeed, StatusOfPlayerQueueAndRecentlyPlayed) {
    struct Case {
        const char* what;
        const char* state;
        std::int32_t current;
        std::vector<std::int32_t> waiting;
        std::vector<std::int32_t> ended;
        std::string body;
    } cases[] = {
        {"playing, a queue with a title gone, history",
         "playing",
         1,
         {2, 9},
         {0, 1},
         "{\"state\":\"playing\",\"position\":1,\"title\":\"Tab\\there\\u0001\",\"elapsed_ms\":"
         "95000,"
         "\"length_s\":240,\"queue\":[{\"position\":2,\"title\":\"Bad \xEF\xBF\xBD byte\","
         "\"mine\":false,\"eta_s\":145,\"eta_estimated\":false},{\"position\":9,\"title\":null,"
         "\"mine\":true,\"eta_s\":325,\"eta_estimated\":false}],\"history\":[\"Tab\\there\\u0001\","
         "\"Quote \\\" "
         "and \\\\\"]}\n"},
        {"paused",
         "paused",
         0,
         {},
         {},
         "{\"state\":\"paused\",\"position\":0,\"title\":\"Quote "
         "\\\" and \\\\\",\"elapsed_ms\":95000,\"length_s\":240,\"queue\":[],\"history\":[]}\n"},
        {"stopped: the player has no times",
         "stopped",
         5,
         {},
         {},
         "{\"state\":\"stopped\",\"position\":5,\"title\":null,\"elapsed_ms\":null,"
         "\"length_s\":null,\"queue\":[],\"history\":[]}\n"},
    };
    for (const Case& c : cases) {
        ResetAll();
        SetSettings("secret");
        LoadPlaylist({"Quote \" and \\", "Tab\there\x01", "Bad \xC3 byte"});
        RecentlyPlayed();  // puts the list in use
        for (std::int32_t position : c.ended) {
            player.position = position;
            HandleEndOfTrack();
        }
        // The first request is another listener's, the others this one's.
        for (std::int32_t position : c.waiting)
            InsertRequest(position, position == c.waiting.front() ? "10.0.0.9" : "10.0.0.1");
        player.lengths = {200, 240, 180};
        player.position = c.current;
        player.stopped = std::string(c.state) == "stopped";
        player.paused = std::string(c.state) == "paused";
        player.elapsedMs = 95000;
        player.lengthSeconds = 240;
        player.received.clear();
        EXPECT_EQ(Fetch("/api/status.json", SendStatusFeed), kJsonHead + c.body) << c.what;
        std::vector<Message> asked = {{kMsgUser, 0, kIpcIsPlaying},
                                      {kMsgUser, 0, kIpcGetListPos},
                                      {kMsgUser, 0, kIpcGetOutputTime},
                                      {kMsgUser, 1, kIpcGetOutputTime}};
        for (std::int32_t position : c.waiting)
            asked.push_back(
                {kMsgUser, static_cast<platform::WParam>(position), kIpcGetEntryLength});
        EXPECT_EQ(player.received, asked) << c.what;
    }
}

TEST_F(StatusFeed, PlaylistWindowOfThePagesQuery) {
    SetSettings("secret", "2");
    LoadPlaylist({"Abba - One", "Blur - Two", "abba - \x01Three", "Abba - Four\xFF"});
    const struct {
        const char* target;
        std::string body;
    } cases[] = {
        {"/api/playlist.json",
         "{\"psearch\":\"\",\"startswith\":\"\",\"current\":0,\"page_size\":2,\"match_count\":4,"
         "\"first\":1,\"last\":2,\"entries\":[{\"position\":0,\"title\":\"Abba - One\"},"
         "{\"position\":1,\"title\":\"Blur - Two\"}]}\n"},
        {"/api/playlist.json?startswith=ABBA&current=1&pass=secret",
         "{\"psearch\":\"\",\"startswith\":\"ABBA\",\"current\":1,\"page_size\":2,"
         "\"match_count\":3,\"first\":2,\"last\":3,\"entries\":[{\"position\":2,\"title\":"
         "\"abba - \\u0001Three\"},{\"position\":3,\"title\":\"Abba - Four\xEF\xBF\xBD\"}]}\n"},
        {"/api/playlist.json?psearch=%22t%5C&current=-4",
         "{\"psearch\":\"\\\"t\\\\\",\"startswith\":\"\",\"current\":0,\"page_size\":2,"
         "\"match_count\":0,\"first\":0,\"last\":0,\"entries\":[]}\n"},
        {"/api/playlist.json?psearch=o&current=9",
         "{\"psearch\":\"o\",\"startswith\":\"\",\"current\":9,\"page_size\":2,"
         "\"match_count\":3,\"first\":0,\"last\":0,\"entries\":[]}\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Fetch(c.target, SendPlaylistFeed), kJsonHead + c.body) << c.target;
    EXPECT_TRUE(player.received.empty()) << "the playlist window needs no player";
}

}  // namespace
}  // namespace velvox::testing
