// The row tokens of the page renderer: the playlist window with paging and
// filters, the navigation links, the request queue and the artist list.
#include <string>
#include <vector>

#include "core/host_ops.h"
#include "pages/page_text.h"
#include "pages/playback_timing.h"
#include "pages_fixture.h"

namespace velvox::testing {
namespace {

const char kRowLine[] = "<a href=r?listpos=%%PLAYLISTPOS%%>%%PLAYLISTENTRY%%</a>\n";

// The bytes of the playlist rows of the given titles and position texts.
std::string Rows(const std::vector<std::string>& titles, const std::vector<std::string>& pos) {
    std::string out;
    for (std::size_t i = 0; i < titles.size(); ++i)
        out += "<a href=r?listpos=" + pos[i] + ">" + titles[i] + "</a>\n\r\n";
    return out;
}

// The bytes of the rows for "Song p", p from first to last.
std::string SongRows(int first, int last, const std::string& suffix = "") {
    std::vector<std::string> titles;
    std::vector<std::string> pos;
    for (int p = first; p <= last; ++p) {
        titles.push_back("Song " + std::to_string(p));
        pos.push_back(std::to_string(p) + suffix);
    }
    return Rows(titles, pos);
}

std::string NextLink(const std::string& query) {
    return "<a href=\"playlist.cgi?" + query + "\">Next..></a>";
}
std::string PrevLink(const std::string& query) {
    return "<a href=\"playlist.cgi?" + query + "\"><...Prev</a>";
}

class TemplateRows : public PagesFixture {
  protected:
    // Renders the rows line, then a Prev line and a Next line; returns the
    // three outputs.
    struct Page {
        std::string rows, prev, next;
    };
    Page RenderPage(const char* target) {
        const PageQuery q = Query(target);
        Page page;
        page.rows = Render(kRowLine, q);
        page.prev = Render("[%%NAV_PREV%%]\n", q);
        page.next = Render("[%%NAV_NEXT%%]\n", q);
        return page;
    }
};

TEST_F(TemplateRows, PagingThroughThePlaylist) {
    struct Case {
        int entries;
        const char* perPage;
        const char* target;
        std::string rows, prev, next;
    } cases[] = {
        {30, "25", "/playlist.cgi", SongRows(0, 24), "", NextLink("current=25")},
        {30, "25", "/playlist.cgi?current=25", SongRows(25, 29), PrevLink("current=0"), ""},
        {30, "25", "/playlist.cgi?current=10", SongRows(10, 29), "", ""},
        {25, "25", "/playlist.cgi", SongRows(0, 24), "", NextLink("current=25")},
        {25, "25", "/playlist.cgi?current=25", "", PrevLink("current=0"), ""},
        {30, "0", "/playlist.cgi?current=5", "", PrevLink("current=5"), NextLink("current=5")},
        {30, "10", "/playlist.cgi?current=abc", SongRows(0, 9), "", NextLink("current=10")},
        {30, "25", "/playlist.cgi?current=-5", SongRows(0, 24), "", NextLink("current=20")},
        {0, "25", "/playlist.cgi", "", "", ""},
    };
    for (const Case& c : cases) {
        SetSettings("pw", c.perPage);
        LoadPlaylist(NumberedTitles(c.entries));
        connection.set_socket(&stream);
        const Page page = RenderPage(c.target);
        const std::string label = std::string(c.target) + " of " + std::to_string(c.entries);
        EXPECT_EQ(page.rows, c.rows) << label;
        EXPECT_EQ(page.prev, "[" + c.prev + "]\n\r\n") << label;
        EXPECT_EQ(page.next, "[" + c.next + "]\n\r\n") << label;
    }
}

TEST_F(TemplateRows, EmptyPlaylistLineIsHandledButSendsNothing) {
    bool handled = false;
    EXPECT_EQ(Render(kRowLine, Query("/playlist.cgi"), &handled), "");
    EXPECT_TRUE(handled);
    EXPECT_EQ(Render("%%NAV_NEXT%%", Query("/playlist.cgi")), "\r\n");
}

TEST_F(TemplateRows, SecondPlaylistLineStartsTheWindowAgain) {
    SetSettings("pw", "2");
    LoadPlaylist(NumberedTitles(5));
    const PageQuery q = Query("/playlist.cgi?current=1");
    EXPECT_EQ(Render(kRowLine, q), SongRows(1, 2));
    EXPECT_EQ(Render(kRowLine, q), SongRows(1, 2));
    EXPECT_EQ(renderer.window().rowsShown, 2);
    EXPECT_EQ(renderer.window().pageSize, 2);
}

TEST_F(TemplateRows, NextLinkBeforeAnyPlaylistLineAgreesWithTheWindow) {
    // Above the rows the window is counted without sending anything.
    struct Case {
        int entries;
        const char* target;
        std::string next;
    } cases[] = {
        {30, "/playlist.cgi", NextLink("current=25")},
        {30, "/playlist.cgi?current=25", ""},
        {10, "/playlist.cgi", ""},
        {30, "/playlist.cgi?psearch=Song+2", ""},
    };
    for (const Case& c : cases) {
        LoadPlaylist(NumberedTitles(c.entries));
        renderer = PageRenderer(connection);
        EXPECT_EQ(Render("%%NAV_NEXT%%\n", Query(c.target)), c.next + "\n\r\n") << c.target;
        EXPECT_EQ(renderer.window().rowsShown, 0);
        EXPECT_EQ(renderer.window().pageSize, 0);
    }
}

TEST_F(TemplateRows, FiltersIgnoreCase) {
    const std::vector<std::string> titles = {"ABBA - Love",         "Beatles - Help",
                                             "bee gees - Love you", "Cream - Lovely",
                                             "Blur - Song 2",       "C++ Band - Fun+Loving"};
    LoadPlaylist(titles);
    struct Case {
        const char* perPage;
        const char* target;
        std::vector<int> rows;
        std::string next;
    } cases[] = {
        {"25", "/playlist.cgi?startswith=b", {1, 2, 4}, ""},
        {"25", "/playlist.cgi?startswith=B", {1, 2, 4}, ""},
        {"25", "/playlist.cgi?startswith=BEE%20G", {2}, ""},
        {"25", "/playlist.cgi?startswith=love", {}, ""},
        {"25", "/playlist.cgi?psearch=LOVE", {0, 2, 3}, ""},
        {"25", "/playlist.cgi?psearch=love+you", {2}, ""},
        {"25", "/playlist.cgi?psearch=abba", {0}, ""},
        {"25", "/playlist.cgi?psearch=zzz", {}, ""},
        {"25", "/playlist.cgi?psearch=c%2B%2B", {5}, ""},
        {"25", "/playlist.cgi?startswith=C%2B%2B+b", {5}, ""},
        // Both given: the rows follow startswith, the links carry psearch.
        {"25", "/playlist.cgi?startswith=b&psearch=LOVE", {1, 2, 4}, ""},
        {"2",
         "/playlist.cgi?startswith=b&psearch=LOVE",
         {1, 2},
         NextLink("psearch=LOVE&current=2")},
        {"2", "/playlist.cgi?startswith=b", {1, 2}, NextLink("startswith=b&current=2")},
        {"2", "/playlist.cgi?startswith=b&current=2", {4}, ""},
    };
    for (const Case& c : cases) {
        SetSettings("pw", c.perPage);
        connection.set_socket(&stream);
        std::vector<std::string> t;
        std::vector<std::string> pos;
        for (int p : c.rows) {
            t.push_back(titles[static_cast<std::size_t>(p)]);
            pos.push_back(std::to_string(p));
        }
        const PageQuery q = Query(c.target);
        EXPECT_EQ(Render(kRowLine, q), Rows(t, pos)) << c.target;
        EXPECT_EQ(Render("%%NAV_NEXT%%", q), c.next + "\r\n") << c.target;
    }
}

TEST_F(TemplateRows, WordSearchAndUnicodeCase) {
    const std::vector<std::string> titles = {
        "Bj\xC3\xB6rk - Army of Me",   // 0
        "ABBA - Dancing Queen",        // 1
        "Queen - Dancing  Alone",      // 2
        "\xC3\x89t\xC3\xA9 - Sommar",  // 3: "Été - Sommar"
        "Odd \xFF - Queen Dancing",    // 4
        "Three   Spaces",              // 5
    };
    LoadPlaylist(titles);
    struct Case {
        bool allWords;
        const char* target;
        std::vector<int> rows;
    } cases[] = {
        {false, "/playlist.cgi?psearch=dancing+queen", {1}},
        {true, "/playlist.cgi?psearch=dancing+queen", {1, 2, 4}},
        {true, "/playlist.cgi?psearch=QUEEN+dancing", {1, 2, 4}},
        {true, "/playlist.cgi?psearch=++queen+++abba++", {1}},
        {true, "/playlist.cgi?psearch=queen+zzz", {}},
        {false, "/playlist.cgi?psearch=+++", {5}},
        {true, "/playlist.cgi?psearch=+++", {0, 1, 2, 3, 4, 5}},
        {true, "/playlist.cgi?psearch=", {0, 1, 2, 3, 4, 5}},
        {false, "/playlist.cgi?psearch=BJ%C3%96RK", {0}},
        {true, "/playlist.cgi?psearch=me+BJ%C3%96RK", {0}},
        {false, "/playlist.cgi?psearch=%C3%89T%C3%89", {3}},
        {false, "/playlist.cgi?startswith=%C3%89T%C3%89", {3}},
        {false, "/playlist.cgi?psearch=%FF", {4}},
        {true, "/playlist.cgi?psearch=%FF+odd", {4}},
        // startswith is one text, whatever the switch.
        {true, "/playlist.cgi?startswith=queen+dancing", {}},
        {true, "/playlist.cgi?startswith=queen+-+dancing", {2}},
    };
    for (const Case& c : cases) {
        PluginSettings settings;
        settings.MatchAllWords = c.allWords;
        PublishSettings(settings);
        std::vector<std::string> t;
        std::vector<std::string> pos;
        for (int p : c.rows) {
            t.push_back(HtmlEscaped(titles[static_cast<std::size_t>(p)]));
            pos.push_back(std::to_string(p));
        }
        EXPECT_EQ(Render(kRowLine, Query(c.target)), Rows(t, pos))
            << c.target << (c.allWords ? " (all words)" : "");
    }
}

TEST_F(TemplateRows, MatchCountAndTheEntriesShown) {
    const char* line = "Showing %%PAGEFIRST%%-%%PAGELAST%% of %%MATCHCOUNT%%\n";
    struct Case {
        int entries;
        const char* perPage;
        const char* target;
        const char* expected;
    } cases[] = {
        {30, "25", "/playlist.cgi", "Showing 1-25 of 30"},
        {30, "25", "/playlist.cgi?current=25", "Showing 26-30 of 30"},
        {30, "25", "/playlist.cgi?current=29", "Showing 30-30 of 30"},
        {30, "25", "/playlist.cgi?current=30", "Showing 0-0 of 30"},
        {30, "25", "/playlist.cgi?current=-5", "Showing 1-25 of 30"},
        {30, "0", "/playlist.cgi", "Showing 0-0 of 30"},
        {30, "-3", "/playlist.cgi", "Showing 0-0 of 30"},
        {30, "25", "/playlist.cgi?psearch=SONG+2", "Showing 1-11 of 11"},
        {30, "5", "/playlist.cgi?psearch=song+2&current=5", "Showing 6-10 of 11"},
        {30, "25", "/playlist.cgi?startswith=Song+1&current=10", "Showing 11-11 of 11"},
        {30, "25", "/playlist.cgi?startswith=x&psearch=song", "Showing 0-0 of 0"},
        {30, "25", "/playlist.cgi?psearch=zzz", "Showing 0-0 of 0"},
        {0, "25", "/playlist.cgi", "Showing 0-0 of 0"},
    };
    for (const Case& c : cases) {
        SetSettings("pw", c.perPage);
        LoadPlaylist(NumberedTitles(c.entries));
        renderer = PageRenderer(connection);
        EXPECT_EQ(Render(line, Query(c.target)), std::string(c.expected) + "\n\r\n") << c.target;
    }
    // Each token works on a line of its own, as the first of its line.
    const PageQuery q = Query("/playlist.cgi?current=25");
    EXPECT_EQ(Render("%%PAGELAST%%", q) + Render("%%PAGEFIRST%%", q), "0\r\n0\r\n");
}

TEST_F(TemplateRows, RowStateMarksTheCurrentAndTheWaitingEntries) {
    const char* line = "<li class=\"%%PLAYLISTROWSTATE%%\">%%PLAYLISTENTRY%%</li>\n";
    // The rows of "Song 0" to "Song n-1" with the given states.
    const auto rows = [](const std::vector<std::string>& states, int first = 0) {
        std::string out;
        for (std::size_t i = 0; i < states.size(); ++i)
            out += "<li class=\"" + states[i] + "\">Song " +
                   std::to_string(first + static_cast<int>(i)) + "</li>\n\r\n";
        return out;
    };
    struct Case {
        const char* target;
        std::int32_t current;
        bool stopped;
        std::vector<std::int32_t> waiting;
        std::string expected;
    } cases[] = {
        {"/playlist.cgi", 2, false, {4, 0}, rows({"queued", "", "playing", "", "queued", ""})},
        {"/playlist.cgi", 2, false, {}, rows({"", "", "playing", "", "", ""})},
        // The current entry is marked whatever the player does with it.
        {"/playlist.cgi", 2, true, {}, rows({"", "", "playing", "", "", ""})},
        {"/playlist.cgi", 4, false, {4}, rows({"", "", "", "", "playing", ""})},
        {"/playlist.cgi?current=3", 9, false, {5, 40}, rows({"", "", "queued"}, 3)},
        {"/playlist.cgi?psearch=4", 0, false, {4}, rows({"queued"}, 4)},
    };
    for (const Case& c : cases) {
        ResetAll();
        LoadPlaylist(NumberedTitles(6));
        for (std::int32_t position : c.waiting)
            InsertRequest(position, "10.0.0.1");
        player.position = c.current;
        player.stopped = c.stopped;
        renderer = PageRenderer(connection);
        EXPECT_EQ(Render(line, Query(c.target)), c.expected) << c.target << " at " << c.current;
    }
    // The player is asked once per response, and only for rows with a state.
    ResetAll();
    LoadPlaylist(NumberedTitles(2));
    renderer = PageRenderer(connection);
    Render(kRowLine, Query("/playlist.cgi"));
    EXPECT_TRUE(player.received.empty());
    Render(line, Query("/playlist.cgi"));
    Render(line, Query("/playlist.cgi"));
    EXPECT_EQ(player.received, (std::vector<Message>{{kMsgUser, 0, kIpcGetListPos}}));
}

TEST_F(TemplateRows, RecentlyPlayedNewestFirst) {
    const char* line = "<li>%%HISTORYPOS%%. %%HISTORYENTRY%%</li>\n";
    struct Case {
        const char* historySize;
        std::vector<std::int32_t> ended;  // the current entry at each end of track
        std::string expected;
    } cases[] = {
        {"10", {}, ""},
        {"10", {0, 2, 1}, "<li>1. B</li>\n\r\n<li>2. &lt;C&gt;</li>\n\r\n<li>3. A</li>\n\r\n"},
        {"2", {0, 2, 1}, "<li>1. B</li>\n\r\n<li>2. &lt;C&gt;</li>\n\r\n"},
        {"10", {0, 7}, "<li>1. A</li>\n\r\n"},  // no title at 7: nothing to record
        {"0", {0, 2, 1}, ""},
    };
    for (const Case& c : cases) {
        ResetAll();
        PluginSettings settings;
        CopyCut(settings.HistorySize, c.historySize);
        PublishSettings(settings);
        LoadPlaylist({"A", "B", "<C>"});
        bool handled = false;
        EXPECT_EQ(Render(line, Query("/playlist.cgi"), &handled), "");  // puts the list in use
        EXPECT_TRUE(handled);
        for (std::int32_t position : c.ended) {
            player.position = position;
            HandleEndOfTrack();
        }
        EXPECT_EQ(Render(line, Query("/playlist.cgi")), c.expected) << c.historySize;
    }
}

TEST_F(TemplateRows, SearchLinksDecodeBackToTheSameSearch) {
    SetSettings("pw", "1");
    LoadPlaylist({"a b&c\"<x>=%/é? - 1", "a b&c\"<x>=%/é? - 2"});
    const char* target = "/playlist.cgi?psearch=a%20b%26c%22%3Cx%3E%3D%25%2F%C3%A9%3F";
    const PageQuery q = Query(target);
    ASSERT_EQ(std::string(q.psearch), "a b&c\"<x>=%/\xC3\xA9?");
    Render(kRowLine, q);
    const std::string next = Render("%%NAV_NEXT%%", q);
    EXPECT_EQ(next, NextLink("psearch=a%20b%26c%22%3Cx%3E%3D%25%2F%C3%A9%3F&current=1") + "\r\n");
    // Follow the link: its query gives the same search back.
    const std::string href = next.substr(9, next.find("\">") - 9);
    const PageQuery followed = Query(("/" + href).c_str());
    EXPECT_EQ(std::string(followed.psearch), std::string(q.psearch));
    EXPECT_EQ(std::string(followed.current), "1");
}

TEST_F(TemplateRows, AdministratorsViewCarriesThePassword) {
    SetSettings("pw", "2");
    LoadPlaylist(NumberedTitles(30));
    const PageQuery q = Query("/admin.cgi?pass=pw&current=6");
    ASSERT_TRUE(q.isAdmin);
    EXPECT_EQ(Render(kRowLine, q), SongRows(6, 7, "&pass=pw"));
    EXPECT_EQ(Render("%%NAV_PREV%%", q),
              "<a href=\"admin.cgi?pass=pw&current=4\"><...Prev</a>\r\n");
    EXPECT_EQ(Render("%%NAV_NEXT%%", q), "<a href=\"admin.cgi?pass=pw&current=8\">Next..></a>\r\n");
    const PageQuery s = Query("/admin.cgi?pass=pw&current=2&startswith=song");
    Render(kRowLine, s);
    EXPECT_EQ(Render("%%NAV_NEXT%%", s),
              "<a href=\"admin.cgi?pass=pw&startswith=song&current=4\">Next..></a>\r\n");
}

TEST_F(TemplateRows, RowTextIsInsertedOnceAndEscaped) {
    LoadPlaylist({"<script>alert(1)</script>", "%%PLAYLISTPOS%% & %%PLAYLISTENTRY%%"});
    const PageQuery q = Query("/playlist.cgi");
    EXPECT_EQ(Render("%%PLAYLISTPOS%%:%%PLAYLISTENTRY%%|%%PLAYLISTENTRY%%\n", q),
              "0:&lt;script&gt;alert(1)&lt;/script&gt;|&lt;script&gt;alert(1)&lt;/script&gt;\n\r\n"
              "1:%%PLAYLISTPOS%% &amp; %%PLAYLISTENTRY%%|%%PLAYLISTPOS%% &amp; "
              "%%PLAYLISTENTRY%%\n\r\n");
}

TEST_F(TemplateRows, QueueRowsInPlayOrder) {
    SetSettings("pw");
    LoadPlaylist({"Song 0", "Song 1", "Song <2>", "Song 3", "Song 4"});
    InsertRequest(4, "a");
    InsertRequest(2, "b");
    InsertRequest(0, "c");
    const char* line = "<li>%%QUEUELISTPOS%%. %%QUEUELISTENTRY%% %%PLAYLISTPOS%%</li>\n";
    EXPECT_EQ(Render(line, Query("/playlist.cgi")),
              "<li>1. Song 4 %%PLAYLISTPOS%%</li>\n\r\n"
              "<li>2. Song &lt;2&gt; %%PLAYLISTPOS%%</li>\n\r\n"
              "<li>3. Song 0 %%PLAYLISTPOS%%</li>\n\r\n");
    EXPECT_EQ(
        Render("%%QUEUELISTPOS%%:%%QUEUELISTENTRY%%\n", Query("/admin.cgi?pass=pw")),
        "<a href=\"admin.cgi?pass=pw&action=delete&listpos=1\">Delete</a>&nbsp;1:Song 4\n\r\n"
        "<a href=\"admin.cgi?pass=pw&action=delete&listpos=2\">Delete</a>&nbsp;2:Song "
        "&lt;2&gt;\n\r\n"
        "<a href=\"admin.cgi?pass=pw&action=delete&listpos=3\">Delete</a>&nbsp;3:Song 0\n\r\n");
}

// Whose request a row is (the connection's address is 10.0.0.1) and when it
// starts: the time left of the song, then the lengths before it.
TEST_F(TemplateRows, QueueRowsSayWhoseAndWhen) {
    LoadPlaylist(NumberedTitles(4));
    player.lengths = {0, 3600, 0, 100};
    player.lengthSeconds = 200;
    player.elapsedMs = 50'000;
    InsertRequest(3, "10.0.0.1");
    InsertRequest(2, "10.0.0.10");
    InsertRequest(1, "10.0.0.1");
    EXPECT_EQ(Render("<li data-row=\"%%QUEUELISTROWSTATE%%\">%%QUEUELISTENTRY%% "
                     "%%QUEUELISTETA%%</li>\n",
                     Query("/playlist.cgi")),
              "<li data-row=\"mine\">Song 3 in 3 min</li>\n\r\n"
              "<li data-row=\"\">Song 2 in 4 min</li>\n\r\n"
              "<li data-row=\"mine\">Song 1 in about 26 min</li>\n\r\n");
    const struct {
        std::int32_t seconds;
        bool estimate;
        const char* text;
    } texts[] = {
        {-1, false, ""},         {0, false, "in 1 min"},  {89, true, "in about 1 min"},
        {90, false, "in 2 min"}, {3570, false, "in 1 h"}, {3630, true, "in about 1 h 1 min"},
        {7200, false, "in 2 h"}};
    for (const auto& t : texts)
        EXPECT_EQ(StartsInText(t.seconds, t.estimate), t.text) << t.seconds;
}

TEST_F(TemplateRows, QueueListEndsAtAnEntryWithoutTitle) {
    LoadPlaylist(NumberedTitles(5));
    InsertRequest(1, "a");
    InsertRequest(4, "b");
    InsertRequest(2, "c");
    LoadPlaylist(NumberedTitles(3));  // position 4 has left the playlist
    bool handled = false;
    EXPECT_EQ(Render("%%QUEUELISTENTRY%%\n", Query("/playlist.cgi")), "Song 1\n\r\n");
    ClearRequestQueue();
    EXPECT_EQ(Render("%%QUEUELISTENTRY%%\n", Query("/playlist.cgi"), &handled), "");
    EXPECT_TRUE(handled);
}

TEST_F(TemplateRows, ArtistsSortedByByteValue) {
    LoadPlaylist({"Abba - X", "abba - Y", "Zed - Q", "Solo", "Abba - Z", " - Nameless"});
    const char* line = "<option>%%ARTISTSELECT%%</option> %%ERROR%%\n";
    const PageQuery q = Query("/playlist.cgi?errorCode=1");
    EXPECT_EQ(Render(line, q),
              "<option>Abba</option> %%ERROR%%\n\r\n"
              "<option>Zed</option> %%ERROR%%\n\r\n"
              "<option>abba</option> %%ERROR%%\n\r\n");
    // The list only grows: artists gone from the playlist stay listed.
    LoadPlaylist({"New - A", "<b> - x", std::string(300, 'L') + " - long"});
    EXPECT_EQ(Render("%%ARTISTSELECT%%\n", q), "&lt;b&gt;\n\r\nAbba\n\r\n" + std::string(254, 'L') +
                                                   "\n\r\nNew\n\r\nZed\n\r\nabba\n\r\n");
}

TEST_F(TemplateRows, NoArtistsNoRows) {
    LoadPlaylist({"Solo", "Another"});
    bool handled = false;
    EXPECT_EQ(Render("%%ARTISTSELECT%%\n", Query("/playlist.cgi"), &handled), "");
    EXPECT_TRUE(handled);
}

}  // namespace
}  // namespace velvox::testing
