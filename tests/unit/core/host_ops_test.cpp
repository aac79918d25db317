// Every operation on the player: its message, parameters and result.
#include "core/host_ops.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include "fake_player.h"
#include "platform/posix/emulated_window.h"
#include "queue/playback.h"
#include "queue/request_queue.h"

namespace velvox {
namespace {

using testing::FakePlayer;
using testing::Message;

constexpr unsigned kUser = 0x400;
constexpr unsigned kCommand = 0x111;

TEST(HostOps, EachOperationSendsItsMessageAndReadsTheAnswer) {
    const struct {
        const char* name;
        std::function<std::int64_t()> run;
        std::vector<Message> sent;
        std::int64_t result;  // what the caller gets back (0 for none)
    } cases[] = {
        {"GetListLength", [] { return GetListLength(); }, {{kUser, 0, 124}}, 3},
        {"GetPlaylistTitle",
         [] { return GetPlaylistTitle(1) == "Artist B - Two" ? 1 : 0; },
         {{kUser, 1, 212}},
         1},
        {"GetListPos", [] { return GetListPos(); }, {{kUser, 0, 125}}, 2},
        {"SetListPos",
         [] {
             SetListPos(1);
             return GetListPos();
         },
         {{kUser, 1, 121}, {kUser, 0, 125}},
         1},
        {"GetOutputTime position", [] { return GetOutputTime(0); }, {{kUser, 0, 105}}, 61000},
        {"GetOutputTime length", [] { return GetOutputTime(1); }, {{kUser, 1, 105}}, 240},
        {"IsPlaying", [] { return IsPlaying(); }, {{kUser, 0, 104}}, 3},
        {"PlayerPrevious", [] { return (PlayerPrevious(), 0); }, {{kCommand, 40044, 0}}, 0},
        {"PlayerPlay", [] { return (PlayerPlay(), 0); }, {{kCommand, 40045, 0}}, 0},
        {"PlayerPause", [] { return (PlayerPause(), 0); }, {{kCommand, 40046, 0}}, 0},
        {"PlayerStop", [] { return (PlayerStop(), 0); }, {{kCommand, 40047, 0}}, 0},
        {"PlayerNext", [] { return (PlayerNext(), 0); }, {{kCommand, 40048, 0}}, 0},
        {"SendEndOfTrack", [] { return (SendEndOfTrack(), 0); }, {{1026, 0, 0}}, 0},
        {"PlayEntry",
         [] {
             PlayEntry(0);
             return GetListPos();
         },
         {{kUser, 0, 121}, {kCommand, 40045, 0}, {kUser, 0, 125}},
         0},
        {"SkipToNext, no requests", [] { return (SkipToNext(), 0); }, {{kCommand, 40048, 0}}, 0},
    };
    for (const auto& c : cases) {
        FakePlayer player;
        player.playlist = {"Artist A - One", "Artist B - Two", "Artist C - Three"};
        player.position = 2;
        player.elapsedMs = 61000;
        player.lengthSeconds = 240;
        player.paused = true;
        EXPECT_EQ(c.run(), c.result) << c.name;
        EXPECT_EQ(player.received, c.sent) << c.name;
    }
}

TEST(HostOps, SkipToNextWithWaitingRequestsAlsoSendsEndOfTrack) {
    ClearRequestQueue();
    FakePlayer player;
    player.playlist = {"A", "B", "C"};
    InsertRequest(2, "10.0.0.1");
    SkipToNext();
    const std::vector<Message> sent = {{kCommand, 40048, 0}, {1026, 0, 0}};
    EXPECT_EQ(player.received, sent);
    ClearRequestQueue();
}

TEST(HostOps, AnotherThreadWaitsForTheWindowThreadToAnswer) {
    FakePlayer player;
    player.playlist = {"A", "B"};
    std::int32_t length = -1;
    std::string title;
    std::thread connection([&] {
        length = GetListLength();
        title = GetPlaylistTitle(1);
        platform::emu::close_input(player.window());
    });
    std::string line;
    EXPECT_EQ(platform::emu::wait_for_line(player.window(), line, -1),
              platform::emu::WaitResult::closed);
    connection.join();
    EXPECT_EQ(length, 2);
    EXPECT_EQ(title, "B");
    const std::vector<Message> sent = {{kUser, 0, 124}, {kUser, 1, 212}};
    EXPECT_EQ(player.received, sent);
}

}  // namespace
}  // namespace velvox
