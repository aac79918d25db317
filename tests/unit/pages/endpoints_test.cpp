// The song request endpoint and the admin actions: what they queue, remove
// or send to the player, and the redirect heads they write.
#include <string>
#include <vector>

#include "core/host_ops.h"
#include "pages/admin_actions.h"
#include "pages/song_request.h"
#include "pages_fixture.h"

namespace velvox::testing {
namespace {

class SongRequestTest : public PagesFixture {};

TEST_F(SongRequestTest, QueuesAndRedirectsBack) {
    struct Case {
        const char* name;
        const char* password;  // configured
        const char* maxQueue;
        const char* maxPerAddress;
        std::vector<std::int32_t> waiting;  // queued first, from another address
        std::string referer;
        std::string target;
        std::string location;
        std::vector<std::int32_t> after;
    } cases[] = {
        {"no query",
         "",
         "50",
         "3",
         {},
         "playlist.cgi",
         "/request.cgi",
         "playlist.cgi&errorCode=1",
         {0}},
        {"non-numeric",
         "",
         "50",
         "3",
         {},
         "playlist.cgi",
         "/request.cgi?listpos=abc",
         "playlist.cgi&errorCode=1",
         {0}},
        {"last wins",
         "",
         "50",
         "3",
         {},
         "playlist.cgi",
         "/request.cgi?listpos=7&listpos=9",
         "playlist.cgi&errorCode=1",
         {9}},
        {"case-sensitive key",
         "",
         "50",
         "3",
         {},
         "playlist.cgi",
         "/request.cgi?LISTPOS=5",
         "playlist.cgi&errorCode=1",
         {0}},
        {"signed decimal",
         "",
         "50",
         "3",
         {},
         "playlist.cgi",
         "/request.cgi?listpos=+3x",
         "playlist.cgi&errorCode=1",
         {3}},
        {"referer with query",
         "",
         "50",
         "3",
         {},
         "/playlist.cgi?current=25",
         "/request.cgi?listpos=3",
         "/playlist.cgi?current=25&errorCode=1",
         {3}},
        {"admin referer",
         "",
         "50",
         "3",
         {},
         "/admin.cgi?action=next&pass=pw",
         "/request.cgi?listpos=3",
         "/admin.cgi?actionx=next&pass=pw&errorCode=1",
         {3}},
        {"every action=",
         "",
         "50",
         "3",
         {},
         "/x?action=a&subaction=b",
         "/request.cgi?listpos=3",
         "/x?actionx=a&subactionx=b&errorCode=1",
         {3}},
        {"duplicate",
         "",
         "50",
         "3",
         {4},
         "/playlist.cgi",
         "/request.cgi?listpos=4",
         "/playlist.cgi&errorCode=6",
         {4}},
        {"address limit", "", "50", "1", {}, "p", "/request.cgi?listpos=5", "p&errorCode=1", {5}},
        {"queue full",
         "",
         "1",
         "3",
         {2},
         "",
         "/request.cgi?listpos=4",
         "/playlist.cgi?errorCode=8",
         {2}},
        {"beyond the end", "", "50", "3", {}, "p", "/request.cgi?listpos=10", "p&errorCode=11", {}},
        {"negative", "", "50", "3", {}, "p", "/request.cgi?listpos=-1", "p&errorCode=11", {}},
        {"admin bypasses duplicate",
         "pw",
         "50",
         "3",
         {4},
         "p",
         "/request.cgi?listpos=4&pass=pw",
         "p&errorCode=1",
         {4, 4}},
        {"admin bypasses range",
         "pw",
         "50",
         "3",
         {},
         "p",
         "/request.cgi?pass=pw&listpos=99",
         "p&errorCode=1",
         {99}},
        {"admin bypasses full",
         "pw",
         "1",
         "3",
         {2},
         "p",
         "/request.cgi?pass=pw&listpos=3",
         "p&errorCode=1",
         {2, 3}},
        {"wrong password tested",
         "pw",
         "50",
         "3",
         {4},
         "p",
         "/request.cgi?listpos=4&pass=PW",
         "p&errorCode=6",
         {4}},
        {"no password configured",
         "",
         "50",
         "3",
         {4},
         "p",
         "/request.cgi?listpos=4&pass=",
         "p&errorCode=6",
         {4}},
    };
    for (const Case& c : cases) {
        ResetAll();
        SetSettings(c.password, "25", c.maxQueue, c.maxPerAddress);
        LoadPlaylist(NumberedTitles(10));
        for (std::int32_t p : c.waiting)
            InsertRequest(p, "10.0.0.9");
        CaptureStream out;
        connection.set_socket(&out);
        CopyCut(connection.referer, c.referer.c_str());
        HandleSongRequest(connection, c.target.c_str());
        EXPECT_EQ(out.sent(), Redirect(c.location)) << c.name;
        EXPECT_EQ(WaitingPositions(), c.after) << c.name;
    }
}

TEST_F(SongRequestTest, RequestsCountPerClientAddress) {
    SetSettings("", "25", "50", "2");
    LoadPlaylist(NumberedTitles(10));
    CopyCut(connection.referer, "p");
    std::string codes;
    for (const char* target :
         {"/request.cgi?listpos=1", "/request.cgi?listpos=2", "/request.cgi?listpos=3"}) {
        CaptureStream out;
        connection.set_socket(&out);
        CopyCut(connection.referer, "p");
        HandleSongRequest(connection, target);
        codes += out.sent().substr(out.sent().find("errorCode=") + 10, 1);
    }
    EXPECT_EQ(codes, "117");
    EXPECT_EQ(WaitingPositions(), (std::vector<std::int32_t>{1, 2}));
}

TEST_F(SongRequestTest, TheAdminSkipsTheFairPlayRules) {
    PluginSettings settings;
    CopyCut(settings.AdminPassword, "pw");
    CopyCut(settings.MaxRequestsPerArtist, "1");
    settings.NoConsecutiveArtist = true;
    CopyCut(settings.SongCooldownMinutes, "60");
    settings.FairOrder = true;
    PublishSettings(settings);
    LoadPlaylist({"Abba - A", "Abba - B", "Abba - C", "Blur - D"});
    player.position = 0;           // Abba - A plays
    InsertRequest(1, "10.0.0.9");  // Abba - B waits
    const struct {
        const char* target;
        const char* location;
    } cases[] = {
        {"/request.cgi?listpos=0", "p&errorCode=13"},  // playing now
        {"/request.cgi?listpos=2", "p&errorCode=4"},   // one by Abba waits
        {"/request.cgi?listpos=0&pass=pw", "p&errorCode=1"},
        {"/request.cgi?listpos=2&pass=pw", "p&errorCode=1"},
        {"/request.cgi?listpos=3&pass=PW", "p&errorCode=1"},  // a listener, rules kept
    };
    for (const auto& c : cases) {
        CaptureStream out;
        connection.set_socket(&out);
        CopyCut(connection.referer, "p");
        HandleSongRequest(connection, c.target);
        EXPECT_EQ(out.sent(), Redirect(c.location)) << c.target;
    }
    // In turns: 10.0.0.9's first, then this address's first, second and third.
    EXPECT_EQ(WaitingPositions(), (std::vector<std::int32_t>{1, 0, 2, 3}));
}

TEST_F(SongRequestTest, LocationLineIsCutAt1023Characters) {
    LoadPlaylist(NumberedTitles(10));
    const std::string referer = "/" + std::string(1022, 'r');
    CopyCut(connection.referer, referer.c_str());
    HandleSongRequest(connection, "/request.cgi?listpos=1");
    EXPECT_EQ(stream.sent(), Redirect(referer.substr(0, 1013)));
}

class AdminActionTest : public PagesFixture {
  protected:
    // Runs the handler on target with three waiting requests (positions 5, 6
    // and 7, played in that order); returns the bytes written.
    std::string Act(const std::string& target, bool& isAdmin) {
        stream = CaptureStream();
        connection.set_socket(&stream);
        CopyCut(connection.referer, referer.c_str());
        player.received.clear();
        HandleAdminAction(connection, target.c_str(), isAdmin);
        return stream.sent();
    }
    std::string referer = "playlist.cgi";
};

Message Command(platform::WParam command) {
    return {kMsgCommand, command, 0};
}

TEST_F(AdminActionTest, ActionsWithPasswords) {
    struct Case {
        const char* password;  // configured
        std::string target;
        std::string referer;
        bool isAdminBefore;
        std::string reply;  // the Location, or empty for no redirect
        bool isAdminAfter;
        std::vector<Message> sent;
        std::vector<std::int32_t> after;
    } cases[] = {
        {"pw", "/admin.cgi?pass=pw", "playlist.cgi", false, "", true, {}, {5, 6, 7}},
        {"pw",
         "/admin.cgi?pass=pw&action=stop",
         "playlist.cgi",
         false,
         "/admin.cgi?pass=pw",
         true,
         {Command(kCmdStop)},
         {5, 6, 7}},
        {"pw",
         "/admin.cgi?action=play&pass=pw",
         "x",
         false,
         "/admin.cgi?pass=pw",
         true,
         {Command(kCmdPlay)},
         {5, 6, 7}},
        {"pw",
         "/admin.cgi?pass=pw&action=prev",
         "x",
         false,
         "/admin.cgi?pass=pw",
         true,
         {Command(kCmdPrevious)},
         {5, 6, 7}},
        {"pw",
         "/admin.cgi?pass=pw&action=pause",
         "x",
         false,
         "/admin.cgi?pass=pw",
         true,
         {Command(kCmdPause)},
         {5, 6, 7}},
        {"pw",
         "/admin.cgi?pass=pw&action=next",
         "x",
         false,
         "/admin.cgi?pass=pw",
         true,
         {Command(kCmdNext), {kMsgEndOfTrack, 0, 0}},
         {5, 6, 7}},
        {"pw",
         "/admin.cgi?pass=pw&action=stop&action=bogus",
         "x",
         false,
         "/admin.cgi?pass=pw",
         true,
         {Command(kCmdStop)},
         {5, 6, 7}},
        {"pw",
         "/admin.cgi?pass=pw&action=stop&action=play",
         "x",
         false,
         "/admin.cgi?pass=pw",
         true,
         {Command(kCmdPlay)},
         {5, 6, 7}},
        {"pw", "/admin.cgi?pass=pw&action=Play", "x", false, "", true, {}, {5, 6, 7}},
        {"pw", "/admin.cgi?pass=pw&Action=stop", "x", false, "", true, {}, {5, 6, 7}},
        {"pw",
         "/admin.cgi?pass=pw&action=delete&listpos=1",
         "/playlist.cgi?current=25",
         false,
         "/playlist.cgi?current=25&errorCode=10",
         true,
         {},
         {6, 7}},
        {"pw",
         "/admin.cgi?pass=pw&action=delete&listpos=3",
         "",
         false,
         "/playlist.cgi?errorCode=10",
         true,
         {},
         {5, 6}},
        {"pw",
         "/admin.cgi?pass=pw&action=delete&listpos=4",
         "playlist.cgi",
         false,
         "playlist.cgi&errorCode=11",
         true,
         {},
         {5, 6, 7}},
        {"pw",
         "/admin.cgi?pass=pw&action=delete&listpos=0",
         "playlist.cgi",
         false,
         "playlist.cgi&errorCode=11",
         true,
         {},
         {5, 6, 7}},
        {"pw",
         "/admin.cgi?pass=pw&action=delete",
         "playlist.cgi",
         false,
         "playlist.cgi&errorCode=11",
         true,
         {},
         {5, 6, 7}},
        {"pw", "/admin.cgi?pass=bad&action=stop", "x", true, "", false, {}, {5, 6, 7}},
        {"pw", "/admin.cgi?pass=p%77&action=stop", "x", true, "", false, {}, {5, 6, 7}},
        {"pw",
         "/admin.cgi?action=delete&listpos=1",
         "playlist.cgi",
         true,
         "playlist.cgi&errorCode=9",
         false,
         {},
         {5, 6, 7}},
        {"pw",
         "/admin.cgi?pass=PW&action=delete&listpos=1",
         "",
         true,
         "/playlist.cgi?errorCode=9",
         false,
         {},
         {5, 6, 7}},
        {"",
         "/admin.cgi?pass=&action=delete&listpos=1",
         "/playlist.cgi?x=1",
         true,
         "/playlist.cgi?x=1",
         true,
         {},
         {5, 6, 7}},
        {"",
         "/admin.cgi?action=delete&listpos=1",
         "",
         false,
         "/playlist.cgi",
         false,
         {},
         {5, 6, 7}},
        {"", "/admin.cgi?pass=&action=play", "x", false, "", false, {}, {5, 6, 7}},
        {"", "/admin.cgi?pass=anything&action=stop", "x", true, "", true, {}, {5, 6, 7}},
    };
    for (const Case& c : cases) {
        ResetAll();
        SetSettings(c.password);
        LoadPlaylist(NumberedTitles(10));
        InsertRequest(5, "a");
        InsertRequest(6, "b");
        InsertRequest(7, "c");
        referer = c.referer;
        bool isAdmin = c.isAdminBefore;
        const std::string reply = Act(c.target, isAdmin);
        EXPECT_EQ(reply, c.reply.empty() ? "" : Redirect(c.reply)) << c.target;
        EXPECT_EQ(isAdmin, c.isAdminAfter) << c.target;
        EXPECT_EQ(player.received, c.sent) << c.target;
        EXPECT_EQ(WaitingPositions(), c.after) << c.target;
    }
}

TEST_F(AdminActionTest, NextOnAnEmptyQueueOnlySkips) {
    SetSettings("pw");
    LoadPlaylist(NumberedTitles(10));
    bool isAdmin = false;
    EXPECT_EQ(Act("/admin.cgi?pass=pw&action=next", isAdmin), Redirect("/admin.cgi?pass=pw"));
    EXPECT_EQ(player.received, (std::vector<Message>{Command(kCmdNext)}));
}

TEST_F(AdminActionTest, RefreshRebuildsOnlyOnALengthChange) {
    SetSettings("pw");
    LoadPlaylist({"A", "B"});
    bool isAdmin = false;
    player.playlist = {"C", "D"};
    EXPECT_EQ(Act("/admin.cgi?pass=pw&action=refreshcache", isAdmin),
              Redirect("/admin.cgi?pass=pw"));
    EXPECT_EQ(TitlesOf(*PlaylistCache()), (std::vector<std::string>{"A", "B"}));
    player.playlist = {"C", "D", "E"};
    EXPECT_EQ(Act("/admin.cgi?pass=pw&action=refreshcache", isAdmin),
              Redirect("/admin.cgi?pass=pw"));
    EXPECT_EQ(TitlesOf(*PlaylistCache()), (std::vector<std::string>{"C", "D", "E"}));
}

TEST_F(AdminActionTest, RedirectCarriesTheWholePassword) {
    // A password as long as the setting holds still leads back to the
    // administrator's view.
    const std::string password(254, 'p');
    SetSettings(password.c_str());
    bool isAdmin = false;
    EXPECT_EQ(Act("/admin.cgi?pass=" + password + "&action=pause", isAdmin),
              Redirect("/admin.cgi?pass=" + password));
    EXPECT_TRUE(isAdmin);
    SetSettings("a b\"c");
    EXPECT_EQ(Act("/admin.cgi?pass=a b\"c&action=pause", isAdmin),
              Redirect("/admin.cgi?pass=a b\"c"));
}

}  // namespace
}  // namespace velvox::testing
