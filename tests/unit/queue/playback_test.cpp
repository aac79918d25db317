// Queued playback: runs of requests at the end of tracks, and the admin "next".
#include "queue/history.h"
#include "queue_fixture.h"

namespace velvox::testing {
namespace {

// One end of track: what the player is sent, and the state after it.
struct Step {
    const char* what;
    std::vector<std::int32_t> requestBefore;  // requests joining before this end
    bool taken;
    std::vector<Message> sent;
    std::int32_t resumeAfter;
    std::int32_t playerAfter;
    std::int32_t waitingAfter;
};

class PlaybackTest : public QueueFixture {
  protected:
    void SetUp() override {
        QueueFixture::SetUp();
        LoadPlaylist(NumberedTitles(12));
    }

    // Ends the current track by calling the handler as the window hook does;
    // returns the taken flag and leaves in sent what the player received.
    bool EndTrack(std::vector<Message>& sent) {
        player.received.clear();
        const bool taken = HandleEndOfTrack();
        sent = player.received;
        return taken;
    }

    // Runs the steps from player position start, checking each end of track.
    void RunSteps(std::int32_t start, const std::vector<Step>& steps) {
        player.position = start;
        for (const Step& s : steps) {
            for (std::int32_t position : s.requestBefore)
                ASSERT_EQ(CheckAndInsertRequest(position, "10.0.0.1"), kRequestAccepted) << s.what;
            std::vector<Message> sent;
            EXPECT_EQ(EndTrack(sent), s.taken) << s.what;
            EXPECT_EQ(sent, s.sent) << s.what;
            EXPECT_EQ(ResumePosition, s.resumeAfter) << s.what;
            EXPECT_EQ(player.position, s.playerAfter) << s.what;
            EXPECT_EQ(QueueLength(), s.waitingAfter) << s.what;
        }
    }
};

TEST_F(PlaybackTest, EmptyQueueWithNothingSavedIsPassedOn) {
    std::vector<Message> sent;
    player.position = 4;
    EXPECT_FALSE(EndTrack(sent));
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(ResumePosition, -1);
}

TEST_F(PlaybackTest, RunOfThreeRequestsFromPositionSeven) {
    // A = 2, B = 4, C = 9 wait while position 7 plays.
    const std::vector<Step> steps = {
        {"end of 7", {2, 4, 9}, true, {ListPosMsg(), SetListPosMsg(2), PlayMsg()}, 7, 2, 2},
        {"end of A", {}, true, {SetListPosMsg(4), PlayMsg()}, 7, 4, 1},
        {"end of B", {}, true, {SetListPosMsg(9), PlayMsg()}, 7, 9, 0},
        {"end of C", {}, true, {SetListPosMsg(7), PlayMsg(), NextMsg()}, -1, 8, 0},
        {"end of 8", {}, false, {}, -1, 8, 0},
    };
    RunSteps(7, steps);
}

TEST_F(PlaybackTest, RequestJoiningARunIsPlayedBeforeTheRestore) {
    const std::vector<Step> steps = {
        {"end of 7", {2}, true, {ListPosMsg(), SetListPosMsg(2), PlayMsg()}, 7, 2, 0},
        // B arrives while A, the run's last song, plays.
        {"end of A", {5}, true, {SetListPosMsg(5), PlayMsg()}, 7, 5, 0},
        {"end of B", {}, true, {SetListPosMsg(7), PlayMsg(), NextMsg()}, -1, 8, 0},
    };
    RunSteps(7, steps);
}

TEST_F(PlaybackTest, RequestAfterTheRestoreStartsANewRun) {
    const std::vector<Step> steps = {
        {"end of 7", {2}, true, {ListPosMsg(), SetListPosMsg(2), PlayMsg()}, 7, 2, 0},
        {"end of A", {}, true, {SetListPosMsg(7), PlayMsg(), NextMsg()}, -1, 8, 0},
        {"end of 8", {3}, true, {ListPosMsg(), SetListPosMsg(3), PlayMsg()}, 8, 3, 0},
    };
    RunSteps(7, steps);
}

TEST_F(PlaybackTest, HandOverToThePlaylistNeverRepeatsTheRequestJustHeard) {
    // From start the requests play, one per end of track; the next end hands
    // over to the playlist: what the player is sent then, and where it is.
    const struct {
        const char* what;
        std::int32_t start;
        std::vector<std::int32_t> requests;
        std::vector<Message> sent;
        std::int32_t after;
    } cases[] = {
        {"next entry", 3, {4}, {SetListPosMsg(4), PlayMsg(), NextMsg()}, 5},
        {"run ending with it", 3, {7, 4}, {SetListPosMsg(4), PlayMsg(), NextMsg()}, 5},
        {"run ending elsewhere", 3, {4, 7}, {SetListPosMsg(3), PlayMsg(), NextMsg()}, 4},
        {"current song again", 3, {3}, {SetListPosMsg(3), PlayMsg(), NextMsg()}, 4},
        {"last entry", 10, {11}, {SetListPosMsg(11), PlayMsg(), NextMsg()}, 0},
        {"first after last", 11, {0}, {ListLengthMsg(), SetListPosMsg(0), PlayMsg(), NextMsg()}, 1},
        {"first mid-list", 5, {0}, {SetListPosMsg(5), PlayMsg(), NextMsg()}, 6},
    };
    for (const auto& c : cases) {
        ResetAll();
        LoadPlaylist(NumberedTitles(12));
        player.position = c.start;
        std::vector<Message> sent;
        for (std::int32_t position : c.requests)
            ASSERT_EQ(CheckAndInsertRequest(position, "10.0.0.1"), kRequestAccepted) << c.what;
        for (std::size_t i = 0; i <= c.requests.size(); ++i)
            EXPECT_TRUE(EndTrack(sent)) << c.what;
        EXPECT_EQ(sent, c.sent) << c.what;
        EXPECT_EQ(player.position, c.after) << c.what;
    }
}

TEST_F(PlaybackTest, PositionOutsideThePlaylistIsStillSent) {
    InsertRequest(40, "admin");
    player.position = 1;
    std::vector<Message> sent;
    EXPECT_TRUE(EndTrack(sent));
    EXPECT_EQ(sent, (std::vector<Message>{ListPosMsg(), SetListPosMsg(40), PlayMsg()}));
    EXPECT_EQ(QueueLength(), 0);
    EXPECT_EQ(ResumePosition, 1);
}

TEST_F(PlaybackTest, EndedTitlesAreRecordedOnceTheListIsInUse) {
    // Nothing is recorded, and nothing more sent, until someone reads the list.
    std::vector<Message> sent;
    player.position = 4;
    EXPECT_FALSE(EndTrack(sent));
    EXPECT_TRUE(sent.empty());
    EXPECT_TRUE(RecentlyPlayed().empty());

    // From then on the entry current at the end is asked for before anything
    // else is sent, also when a request then takes over.
    const std::vector<Step> steps = {
        {"end of 4", {}, false, {ListPosMsg()}, -1, 4, 0},
        {"end of 7", {2}, true, {ListPosMsg(), ListPosMsg(), SetListPosMsg(2), PlayMsg()}, 7, 2, 0},
        {"end of 2", {}, true, {ListPosMsg(), SetListPosMsg(7), PlayMsg(), NextMsg()}, -1, 8, 0},
    };
    player.position = 4;
    RunSteps(4, {steps[0]});
    RunSteps(7, {steps[1], steps[2]});
    EXPECT_EQ(RecentlyPlayed(), (std::vector<std::string>{"Song 2", "Song 7", "Song 4"}));
}

TEST_F(PlaybackTest, RecentlyPlayedKeepsHistorySizeTitles) {
    const struct {
        const char* historySize;
        std::size_t kept;
        std::size_t messages;  // sent by the 120 ends of track
    } cases[] = {
        {"10", 10, 120}, {"3", 3, 120}, {"1x", 1, 120},    {"0", 0, 0},
        {"-2", 0, 0},    {"", 0, 0},    {"500", 100, 120},
    };
    for (const auto& c : cases) {
        ResetAll();
        PluginSettings settings;
        CopyCut(settings.HistorySize, c.historySize);
        PublishSettings(settings);
        LoadPlaylist(NumberedTitles(120));
        RecentlyPlayed();
        for (std::int32_t position = 0; position < 120; ++position) {
            player.position = position;
            HandleEndOfTrack();
        }
        const std::vector<std::string> titles = RecentlyPlayed();
        ASSERT_EQ(titles.size(), c.kept) << c.historySize;
        if (c.kept > 0) {
            EXPECT_EQ(titles.front(), "Song 119") << c.historySize;
            EXPECT_EQ(titles.back(), "Song " + std::to_string(120 - c.kept)) << c.historySize;
        }
        EXPECT_EQ(player.received.size(), c.messages) << c.historySize;
    }
}

TEST_F(PlaybackTest, SkipToNextWithoutRequestsIsAPlainNext) {
    player.position = 3;
    SkipToNext();
    EXPECT_EQ(player.received, std::vector<Message>{NextMsg()});
    EXPECT_EQ(player.position, 4);
}

TEST_F(PlaybackTest, SkipToNextWithRequestsSendsEndOfTrackToTheHostWindow) {
    InsertRequest(6, "x");
    player.position = 3;
    SkipToNext();
    // No hook is installed here, so the player's own procedure sees it.
    EXPECT_EQ(player.received, (std::vector<Message>{NextMsg(), EndOfTrackMsg()}));
}

TEST_F(PlaybackTest, CooldownCountsFromEachStartThePlugInSees) {
    // Seconds after the start, what happens, and the code of a request.
    struct Moment {
        std::int64_t at;
        const char* what;  // "ask" a request, "end" of track, "goto" the player moves itself
        std::int32_t position;
        int code;  // for "ask"
    };
    const Moment moments[] = {
        {0, "goto", 7, 0},
        {0, "ask", 7, kPlayedRecently},  // the current song, seen begun now
        {0, "ask", 2, kRequestAccepted},
        {0, "end", 0, 0},                   // 2 begins
        {3599, "ask", 7, kPlayedRecently},  // begun 3599 s ago
        {3600, "ask", 7, kRequestAccepted},
        {3600, "ask", 2, kPlayedRecently},  // still playing
        {3600, "end", 0, 0},                // 7 begins again
        {3600, "end", 0, 0},                // back to 7, then on to 8: not known here
        {3700, "ask", 8, kPlayedRecently},  // seen current now
        {3700, "goto", 9, 0},
        {7299, "ask", 8, kPlayedRecently},
        {7300, "ask", 8, kRequestAccepted},
        {7300, "goto", 10, 0},
        {7300, "end", 0, 0},  // 10 is seen as it ends; 8 begins
        {7301, "ask", 10, kPlayedRecently},
        {7301, "ask", 2, kRequestAccepted},  // began at 0
    };
    SetRules("0", false, "60", false);
    UseTestClock();
    const std::int64_t start = 1'600'000'000;
    for (const Moment& s : moments) {
        g_testNow = start + s.at;
        const std::string what = s.what;
        if (what == "goto") {
            player.position = s.position;
        } else if (what == "end") {
            HandleEndOfTrack();
        } else {
            EXPECT_EQ(CheckAndInsertRequest(s.position, "10.0.0.1"), s.code)
                << s.at << " s: " << s.position;
        }
    }
    EXPECT_EQ(player.position, 8);
}

TEST_F(PlaybackTest, WithACooldownTheEndOfATrackAsksForTheSongEnding) {
    SetRules("0", false, "1", false);
    InsertRequest(2, "x");
    player.position = 5;
    std::vector<Message> sent;
    EXPECT_TRUE(EndTrack(sent));
    EXPECT_EQ(sent,
              (std::vector<Message>{ListPosMsg(), ListPosMsg(), SetListPosMsg(2), PlayMsg()}));
    EXPECT_TRUE(EndTrack(sent));
    EXPECT_EQ(sent, (std::vector<Message>{ListPosMsg(), SetListPosMsg(5), PlayMsg(), NextMsg()}));
}

// A window hook as the plug-in installs it: end-of-track goes to the handler
// first, everything else and anything not taken to the player's procedure.
platform::WindowProc g_playerProc = nullptr;

platform::LResult VELVOX_CALLBACK HookProc(platform::Window window, unsigned message,
                                           platform::WParam wparam, platform::LParam lparam) {
    if (message == kMsgEndOfTrack && HandleEndOfTrack())
        return 0;
    return platform::call_window_proc(g_playerProc, window, message, wparam, lparam);
}

TEST_F(PlaybackTest, SkipToNextThroughTheHookSavesThePositionNextReached) {
    g_playerProc = platform::replace_window_proc(player.window(), HookProc);
    InsertRequest(6, "x");
    player.position = 3;
    SkipToNext();
    EXPECT_EQ(player.received,
              (std::vector<Message>{NextMsg(), ListPosMsg(), SetListPosMsg(6), PlayMsg()}));
    EXPECT_EQ(ResumePosition, 4);
    EXPECT_EQ(QueueLength(), 0);

    // At the end of the request the run restores 4 and moves on from it.
    player.received.clear();
    SendEndOfTrack();
    EXPECT_EQ(player.received, (std::vector<Message>{SetListPosMsg(4), PlayMsg(), NextMsg()}));
    EXPECT_EQ(player.position, 5);

    // With nothing waiting and nothing saved the player gets the message itself.
    player.received.clear();
    SendEndOfTrack();
    EXPECT_EQ(player.received, std::vector<Message>{EndOfTrackMsg()});
    platform::replace_window_proc(player.window(), g_playerProc);
}

}  // namespace
}  // namespace velvox::testing
