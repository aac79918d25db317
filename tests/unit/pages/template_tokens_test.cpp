// The single-line tokens of the page renderer, their precedence on shared
// lines, the timing values and the pieces of long lines.
#include <climits>
#include <string>

#include "core/host_ops.h"
#include "pages/page_text.h"
#include "pages/playback_timing.h"
#include "pages_fixture.h"

namespace velvox::testing {
namespace {

const char kAdminTable[] =
    "<table bordercolor=white border=1><tr><td colspan=5>Winamp Admin Control</td></tr><tr>"
    "<td><a href=\"admin.cgi?pass=pw&action=prev\">Prev</td><td><a "
    "href=\"admin.cgi?pass=pw&action=play\">Play</td><td><a "
    "href=\"admin.cgi?pass=pw&action=pause\">Pause</td><td><a "
    "href=\"admin.cgi?pass=pw&action=stop\">Stop</td><td><a "
    "href=\"admin.cgi?pass=pw&action=next\">Next</td><tr><td colspan=5><a "
    "href=\"admin.cgi?pass=pw&action=refreshcache\">Refresh Playlist Cache</td></tr></table>";

class TemplateTokens : public PagesFixture {
  protected:
    void SetUp() override {
        PagesFixture::SetUp();
        SetSettings("pw");
        LoadPlaylist({"Alpha - One", "Beta - Two", "Gamma - Three"});
        player.position = 1;
        player.lengthSeconds = 200;
        player.elapsedMs = 30500;
        CopyCut(connection.referer, "/playlist.cgi?current=25");
    }
};

TEST_F(TemplateTokens, EachSingleLineToken) {
    struct Case {
        const char* target;
        std::string line;
        std::string expected;
    } cases[] = {
        {"/admin.cgi?pass=pw", "%%ADMINWINAMPCONTROL%%\n", std::string(kAdminTable) + "\n\r\n"},
        {"/playlist.cgi", "<p>%%ADMINWINAMPCONTROL%%</p>\n", "<p></p>\n\r\n"},
        {"/admin.cgi?pass=pw", "<form>%%ADMINHIDDENFIELD%%</form>\n",
         "<form><input type=hidden name=pass value=\"pw\"></form>\n\r\n"},
        {"/playlist.cgi", "<form>%%ADMINHIDDENFIELD%%</form>\n", "<form></form>\n\r\n"},
        {"/admin.cgi?pass=pw", "x%%ADMINPASSWORD%%y%%ADMINPASSWORD%%\n",
         "x&pass=pwy&pass=pw\n\r\n"},
        {"/admin.cgi?pass=bad", "x%%ADMINPASSWORD%%y\n", "xy\n\r\n"},
        {"/playlist.cgi?errorCode=1", "%%ERROR%% / %%ERROR%%\n",
         "Request Accepted! / Request Accepted!\n\r\n"},
        {"/playlist.cgi?errorCode=11", "<b>%%ERROR%%</b>\n", "<b>Position out of range</b>\n\r\n"},
        {"/playlist.cgi?errorCode=6x", "<b>%%ERROR%%</b>\n",
         "<b>Too many consecutive songs from the same artist/album/title</b>\n\r\n"},
        {"/playlist.cgi", "<b>%%ERROR%%</b>\n", "<b></b>\n\r\n"},
        {"/playlist.cgi?errorCode=99", "<b>%%ERROR%%</b>\n", "<b></b>\n\r\n"},
        {"/playlist.cgi?errorCode=12", "<b>%%ERROR%%</b>\n", "<b></b>\n\r\n"},
        {"/playlist.cgi?errorCode=13", "%%ERROR%%", "This song was played recently\r\n"},
        {"/playlist.cgi?errorCode=-1", "<b>%%ERROR%%</b>\n", "<b></b>\n\r\n"},
        {"/playlist.cgi?errorCode=8", "<meta content=\"2; URL=%%HTTP_REFERRER%%\">\n",
         "<meta content=\"2; URL=/playlist.cgi?current=25\">\n\r\n"},
        {"/playlist.cgi", "<meta content=\"2; URL=%%HTTP_REFERRER%%\">\n",
         "<meta content=\"2; \">\n\r\n"},
        {"/playlist.cgi", "a%%HTTP_REFERRER%%b URL=%%HTTP_REFERRER%%c\n", "ab c\n\r\n"},
        {"/playlist.cgi", "<i>%%CURRENTSONG%%</i>\n", "<i>Beta - Two</i>\n\r\n"},
        {"/playlist.cgi", "%%CONTENT_REFRESH%%\n", "175\n\r\n"},
        {"/playlist.cgi", "%%PCT_LEFT%%%\n", "85%\n\r\n"},
        {"/playlist.cgi", "%%SONG_LENGTH%%s %%SONG_LENGTH%%s\n", "200s 200s\n\r\n"},
        // A stream without an address of its own: the settings' port.
        {"/playlist.cgi", "<a href=\"%%SERVERURL%%\">\n",
         "<a href=\"http://localhost:80/\">\n\r\n"},
        // The last line of a file has no LF of its own.
        {"/playlist.cgi?errorCode=10", "%%ERROR%%", "Queue position deleted!\r\n"},
    };
    for (const Case& c : cases) {
        bool handled = false;
        EXPECT_EQ(Render(c.line, Query(c.target), &handled), c.expected) << c.line;
        EXPECT_TRUE(handled) << c.line;
    }
}

TEST_F(TemplateTokens, SearchResultAndPlayStateTokens) {
    struct Case {
        const char* target;
        const char* state;  // the player's: playing, paused or stopped
        std::string line;
        std::string expected;
    } cases[] = {
        {"/playlist.cgi?psearch=Love+Song", "playing", "<input value=\"%%PSEARCH%%\">\n",
         "<input value=\"Love Song\">\n\r\n"},
        {"/playlist.cgi", "playing", "<input value=\"%%PSEARCH%%\">\n", "<input value=\"\">\n\r\n"},
        // Quotes, markup, the backslash and line breaks cannot leave a quoted
        // attribute or a quoted CSS string.
        {"/playlist.cgi?psearch=%22%3E%3C%2Fstyle%3E%27%5C%0D%0A%09%7F%26", "playing",
         "[%%PSEARCH%%]\n", "[&quot;&gt;&lt;/style&gt;&#39;&#92;&#13;&#10;&#9;&#127;&amp;]\n\r\n"},
        {"/playlist.cgi?startswith=A&psearch=x", "playing",
         "a[data-letter=\"%%STARTSWITH%%\" i]{}\n", "a[data-letter=\"A\" i]{}\n\r\n"},
        {"/playlist.cgi?startswith=%22%5D%7Bx%7D%0A%5C", "playing", "[%%STARTSWITH%%]\n",
         "[&quot;]{x}&#10;&#92;]\n\r\n"},
        {"/playlist.cgi?startswith=Sigur+R%C3%B3s", "playing", "%%STARTSWITH%%",
         "Sigur R\xC3\xB3s\r\n"},
        {"/playlist.cgi", "playing", "<p class=\"%%RESULTKIND%%\">\n", "<p class=\"\">\n\r\n"},
        {"/playlist.cgi?errorCode=1", "playing", "%%RESULTKIND%%", "accepted\r\n"},
        {"/playlist.cgi?errorCode=10", "playing", "%%RESULTKIND%%", "accepted\r\n"},
        {"/playlist.cgi?errorCode=6", "playing", "%%RESULTKIND%%", "refused\r\n"},
        {"/playlist.cgi?errorCode=11", "playing", "%%RESULTKIND%%", "refused\r\n"},
        {"/playlist.cgi?errorCode=99", "playing", "%%RESULTKIND%%", "refused\r\n"},
        {"/playlist.cgi?errorCode=-1", "playing", "%%RESULTKIND%%", "refused\r\n"},
        {"/playlist.cgi?errorCode=x", "playing", "%%RESULTKIND%%", "\r\n"},
        {"/playlist.cgi", "playing", "<div data-state=\"%%PLAYSTATE%%\">\n",
         "<div data-state=\"playing\">\n\r\n"},
        {"/playlist.cgi", "paused", "%%PLAYSTATE%%", "paused\r\n"},
        {"/playlist.cgi", "stopped", "%%PLAYSTATE%% %%PLAYSTATE%%", "stopped stopped\r\n"},
    };
    for (const Case& c : cases) {
        player.stopped = std::string(c.state) == "stopped";
        player.paused = std::string(c.state) == "paused";
        bool handled = false;
        EXPECT_EQ(Render(c.line, Query(c.target), &handled), c.expected) << c.target << c.line;
        EXPECT_TRUE(handled) << c.line;
    }
}

TEST_F(TemplateTokens, FirstTokenKindDecidesTheLine) {
    LoadPlaylist(NumberedTitles(30));
    player.position = 1;
    struct Case {
        const char* target;
        std::string line;
        std::string expected;
        bool handled;
    } cases[] = {
        {"/playlist.cgi", "%%NAV_PREV%% %%NAV_NEXT%%\n",
         "%%NAV_PREV%% <a href=\"playlist.cgi?current=25\">Next..></a>\n\r\n", true},
        {"/admin.cgi?pass=pw", "%%PLAYLISTENTRY%% %%ADMINPASSWORD%%\n",
         "%%PLAYLISTENTRY%% &pass=pw\n\r\n", true},
        {"/playlist.cgi?errorCode=1", "%%CURRENTSONG%% %%ERROR%% %%ADMINHIDDENFIELD%%\n",
         "%%CURRENTSONG%% %%ERROR%% \n\r\n", true},
        {"/playlist.cgi?errorCode=1", "%%ERROR%% %%HTTP_REFERRER%% %%CURRENTSONG%%\n",
         "Request Accepted! %%HTTP_REFERRER%% %%CURRENTSONG%%\n\r\n", true},
        {"/playlist.cgi", "%%SONG_LENGTH%% %%PCT_LEFT%% %%CONTENT_REFRESH%%\n",
         "%%SONG_LENGTH%% %%PCT_LEFT%% 175\n\r\n", true},
        {"/playlist.cgi", "%%PCT_LEFT%% %%SONG_LENGTH%%\n", "85 %%SONG_LENGTH%%\n\r\n", true},
        {"/playlist.cgi", "%%CURRENTSONG%% %%PCT_LEFT%%\n", "Song 1 %%PCT_LEFT%%\n\r\n", true},
        {"/playlist.cgi?errorCode=6", "%%RESULTKIND%% %%ERROR%% %%PSEARCH%%\n",
         "%%RESULTKIND%% Too many consecutive songs from the same artist/album/title "
         "%%PSEARCH%%\n\r\n",
         true},
        {"/playlist.cgi?psearch=a", "%%PLAYSTATE%% %%PSEARCH%%\n", "%%PLAYSTATE%% a\n\r\n", true},
        {"/playlist.cgi", "%%PLAYLISTPOS%% %%QUEUELISTPOS%%\n", "", false},
        {"/playlist.cgi", "%%PLAYLISTROWSTATE%% %%HISTORYPOS%%\n", "", false},
        {"/playlist.cgi", "plain <b>line</b> 100%% sure\n", "", false},
        {"/playlist.cgi", "%%UNKNOWN%% %%error%%\n", "", false},
        {"/playlist.cgi", "", "", false},
    };
    for (const Case& c : cases) {
        bool handled = !c.handled;
        EXPECT_EQ(Render(c.line, Query(c.target), &handled), c.expected) << c.line;
        EXPECT_EQ(handled, c.handled) << c.line;
    }
}

TEST_F(TemplateTokens, CurrentSongLineLeftOutWithoutATitle) {
    player.position = 7;  // beyond the three cached titles
    bool handled = false;
    EXPECT_EQ(Render("<i>%%CURRENTSONG%%</i>\n", Query("/playlist.cgi"), &handled), "");
    EXPECT_TRUE(handled);
}

TEST_F(TemplateTokens, TimingValuesFromThePlayersAnswers) {
    struct Case {
        std::int32_t length;
        std::int32_t elapsedMs;
        bool stopped;
        const char* refresh;
        const char* percentLeft;
        const char* songLength;
    } cases[] = {
        {200, 30500, false, "175", "85", "200"},
        {0, 0, true, "4", "100", "-1"},  // a stopped player answers -1 to both
        {0, 5000, false, "0", "100", "0"},
        {0, 0, false, "5", "100", "0"},
        {3, 2999, false, "6", "34", "3"},
        {180, 180000, false, "5", "0", "180"},
        {180, 999, false, "185", "100", "180"},
    };
    for (const Case& c : cases) {
        player.lengthSeconds = c.length;
        player.elapsedMs = c.elapsedMs;
        player.stopped = c.stopped;
        NewResponse();
        const PageQuery q = Query("/playlist.cgi");
        EXPECT_EQ(Render("%%CONTENT_REFRESH%%", q), std::string(c.refresh) + "\r\n")
            << c.length << "/" << c.elapsedMs;
        EXPECT_EQ(Render("%%PCT_LEFT%%", q), std::string(c.percentLeft) + "\r\n")
            << c.length << "/" << c.elapsedMs;
        EXPECT_EQ(Render("%%SONG_LENGTH%%", q), std::string(c.songLength) + "\r\n")
            << c.length << "/" << c.elapsedMs;
    }
}

TEST_F(TemplateTokens, OneResponseAsksForTitleAndTimingOnceLengthFirst) {
    player.received.clear();
    const PageQuery q = Query("/playlist.cgi");
    EXPECT_EQ(Render("%%CURRENTSONG%% %%PCT_LEFT%%\n", q), "Beta - Two %%PCT_LEFT%%\n\r\n");
    EXPECT_EQ(Render("%%PCT_LEFT%%%\n", q), "85%\n\r\n");
    // The player moves on; the lines of this response still show one moment.
    player.elapsedMs = 100000;
    player.position = 2;
    EXPECT_EQ(Render("<i>%%CURRENTSONG%%</i>\n", q), "<i>Beta - Two</i>\n\r\n");
    EXPECT_EQ(Render("%%CONTENT_REFRESH%%\n", q), "175\n\r\n");
    EXPECT_EQ(Render("%%SONG_LENGTH%%s\n", q), "200s\n\r\n");
    const std::vector<Message> expected = {
        {kMsgUser, 0, kIpcGetListPos},
        {kMsgUser, 1, kIpcGetOutputTime},
        {kMsgUser, 0, kIpcGetOutputTime},
    };
    EXPECT_EQ(player.received, expected);
    // The next response asks again.
    NewResponse();
    EXPECT_EQ(Render("%%PCT_LEFT%%\n", q), "50\n\r\n");
    EXPECT_EQ(Render("%%CURRENTSONG%%\n", q), "Gamma - Three\n\r\n");
}

TEST(PlaybackTimingValues, ExtremeAnswersSaturate) {
    struct Case {
        std::int32_t length, positionMs;
        std::int32_t track, left, percent;
    } cases[] = {
        {-1, -1, -1, -1, 100},
        {0, 123456, 0, -123, 100},
        {INT_MIN, INT_MAX, INT_MIN, INT_MIN, 100},
        {1, INT_MAX, 1, 1 - 2147483, 100 - 214748300},
        {INT_MAX, INT_MIN, INT_MAX, INT_MAX, 100},
        {-1, INT_MAX, -1, -1 - 2147483, 100 + 214748300},
    };
    for (const Case& c : cases) {
        const PlaybackTiming t = ComputePlaybackTiming(c.length, c.positionMs);
        EXPECT_EQ(t.trackSeconds, c.track) << c.length << "/" << c.positionMs;
        EXPECT_EQ(t.secondsLeft, c.left) << c.length << "/" << c.positionMs;
        EXPECT_EQ(t.percentLeft, c.percent) << c.length << "/" << c.positionMs;
    }
}

TEST_F(TemplateTokens, PiecesOfALongLineAreLinesOfTheirOwn) {
    // A 9000-character line reaches the renderer as a piece of 8095
    // characters and the rest; a token cut by the split is not recognised.
    const std::string head = std::string(8090, 'a') + "%%ERR";
    const std::string tail = "OR%%" + std::string(901, 'b') + "\n";
    const PageQuery q = Query("/playlist.cgi?errorCode=1");
    bool handled = true;
    EXPECT_EQ(Render(head, q, &handled), "");
    EXPECT_FALSE(handled);
    EXPECT_EQ(Render(tail, q, &handled), "");
    EXPECT_FALSE(handled);

    // A token wholly inside a long piece is replaced within that piece alone.
    const std::string piece = std::string(8000, 'a') + "%%ERROR%%" + std::string(86, 'b');
    EXPECT_EQ(Render(piece, q, &handled),
              std::string(8000, 'a') + "Request Accepted!" + std::string(86, 'b') + "\r\n");
    EXPECT_TRUE(handled);
}

TEST_F(TemplateTokens, OutsideTextIsHtmlEscaped) {
    LoadPlaylist({"<script>alert(1)</script>", "Tom & Jerry's \"Best\""});
    CopyCut(connection.referer, "/p?a=\"><script>x</script>");
    const PageQuery q = Query("/playlist.cgi?errorCode=1");
    player.position = 0;
    EXPECT_EQ(Render("<i>%%CURRENTSONG%%</i>\n", q),
              "<i>&lt;script&gt;alert(1)&lt;/script&gt;</i>\n\r\n");
    player.position = 1;
    NewResponse();
    EXPECT_EQ(Render("<i>%%CURRENTSONG%%</i>\n", q),
              "<i>Tom &amp; Jerry&#39;s &quot;Best&quot;</i>\n\r\n");
    EXPECT_EQ(Render("URL=%%HTTP_REFERRER%%\n", q),
              "URL=/p?a=&quot;&gt;&lt;script&gt;x&lt;/script&gt;\n\r\n");
}

TEST(HtmlEscaping, EachSpecialByteIsFoundAtEveryPlaceInAWord) {
    // Titles are passed over eight bytes at a time: a special byte at any
    // place of a word, or in the tail after the last whole word, is escaped.
    const std::pair<char, const char*> kSpecials[] = {
        {'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'"', "&quot;"}, {'\'', "&#39;"}};
    for (const auto& [special, reference] : kSpecials) {
        for (std::size_t length = 1; length <= 19; ++length) {
            for (std::size_t at = 0; at < length; ++at) {
                std::string text(length, 'x');
                text[at] = special;
                const std::string expected =
                    std::string(at, 'x') + reference + std::string(length - at - 1, 'x');
                EXPECT_EQ(HtmlEscaped(text), expected) << special << " " << length << " " << at;
            }
        }
    }
    // Bytes one away from a special byte, and high bytes, stand for themselves.
    EXPECT_EQ(HtmlEscaped("%'()=;?@\x80\xff\x27\x25;=?"), "%&#39;()=;?@\x80\xff&#39;%;=?");
}

}  // namespace
}  // namespace velvox::testing
