// The queue's lock and the recently played list's are never held while the
// player is sent a message: the player's window thread may itself need them
// (its end-of-track handler removes entries and records titles), so a message
// sent under either lock could deadlock.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "queue/history.h"
#include "queue_fixture.h"

namespace velvox::testing {
namespace {

// Set by each test: the player's own procedure under the probe.
platform::WindowProc g_player = nullptr;
// Messages that arrived while another thread could not take the queue's lock.
std::vector<Message> g_underLock;

// Returns whether another thread can take the queue's lock and the recently
// played list's within two seconds.
bool LocksAreFree() {
    struct Probe {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
    };
    auto probe = std::make_shared<Probe>();
    std::thread([probe] {
        QueueLength();     // takes and releases the queue's lock
        RecentlyPlayed();  // and the list's
        std::lock_guard<std::mutex> hold(probe->mutex);
        probe->finished = true;
        probe->done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> wait(probe->mutex);
    return probe->done.wait_for(wait, std::chrono::seconds(2), [&] { return probe->finished; });
}

// Stands in front of the player: checks the lock at every message, then lets
// the message through, with end-of-track going to the handler first as the
// plug-in's hook does.
platform::LResult VELVOX_CALLBACK ProbeProc(platform::Window window, unsigned message,
                                            platform::WParam wparam, platform::LParam lparam) {
    if (!LocksAreFree())
        g_underLock.push_back({message, wparam, lparam});
    if (message == kMsgEndOfTrack && HandleEndOfTrack())
        return 0;
    return platform::call_window_proc(g_player, window, message, wparam, lparam);
}

class LockDiscipline : public QueueFixture {
  protected:
    void SetUp() override {
        QueueFixture::SetUp();
        g_underLock.clear();
        g_player = platform::replace_window_proc(player.window(), ProbeProc);
    }
    void TearDown() override {
        platform::replace_window_proc(player.window(), g_player);
        QueueFixture::TearDown();
    }
};

TEST_F(LockDiscipline, NoMessageIsSentWhileALockIsHeld) {
    // With the defaults, and with every fair-play rule on (the checks and the
    // end of a track then ask the player for its position as well).
    for (bool rules : {false, true}) {
        ResetAll();
        g_underLock.clear();
        if (rules)
            SetRules("2", true, "60", true);
        LoadPlaylist(NumberedTitles(8));
        RecentlyPlayed();  // each end of track now records a title
        player.position = 5;
        for (std::int32_t position : {1, 2})
            ASSERT_EQ(CheckAndInsertRequest(position, "10.0.0.1"), kRequestAccepted);
        EXPECT_EQ(CheckRequest(3, "10.0.0.2"), kRequestAccepted);
        std::string title;
        EXPECT_TRUE(CurrentSongTitle(title));
        EXPECT_TRUE(QueueEntryTitle(1, title));
        SkipToNext();                         // next, then the first request plays
        EXPECT_TRUE(HandleEndOfTrack());      // the second request plays
        EXPECT_TRUE(HandleEndOfTrack());      // back to where the run began, then next
        EXPECT_FALSE(HandleEndOfTrack());     // following the playlist again
        player.playlist = NumberedTitles(3);  // a rebuild asks for every title
        RefreshPlaylistCache();
        EXPECT_GE(player.received.size(), rules ? 21u : 14u) << "every path above sent";
        EXPECT_TRUE(g_underLock.empty()) << g_underLock.size() << " messages sent under the lock";
        EXPECT_EQ(QueueLength(), 0);
        EXPECT_EQ(RecentlyPlayed().size(), 4u);
    }
}

}  // namespace
}  // namespace velvox::testing
