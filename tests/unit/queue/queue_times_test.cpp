// When waiting requests start: the player's lengths, lengths seen playing and
// the average of the known ones, added up from the time left of the song.
#include <string>
#include <vector>

#include "queue/queue_times.h"
#include "queue_fixture.h"

namespace velvox::testing {
namespace {

class QueueTimes : public ::testing::Test {
  protected:
    void SetUp() override { ResetQueueWorld(player); }
    void TearDown() override { ResetQueueWorld(player); }
    FakePlayer player;
};

// Positions 0-4 titled "Song 0".."Song 4"; the player answers lengths, 0
// (its "I do not know") past the given ones. played: songs seen playing
// before (position, length); now: the current song; then the queue.
TEST_F(QueueTimes, StartTimesFromKnownUnknownAndMixedLengths) {
    const PlaylistView cache = MakeSnapshot(NumberedTitles(5));
    using Times = std::vector<StartTime>;
    const struct {
        const char* what;
        std::vector<std::int32_t> lengths;
        std::vector<CurrentPlay> played;
        CurrentPlay now;
        std::vector<std::int32_t> queue;
        Times expected;
    } cases[] = {
        {"all known",
         {300, 200, 180},
         {},
         {0, 300, 100'500},
         {1, 2, 0},
         Times{{200, false}, {400, false}, {580, false}}},
        {"none known: the song playing is the one length seen",
         {},
         {},
         {0, 300, 0},
         {1, 2},
         Times{{300, false}, {600, true}}},
        {"mixed: the unknown one is the average of the known",
         {300, 100, 0, 200},
         {},
         {0, 300, 0},
         {1, 2, 3},
         Times{{300, false}, {400, false}, {600, true}}},
        {"a song seen playing keeps the length it had",
         {},
         {{2, 0, 60'000}, {2, 250, 1000}},
         {0, 300, 0},
         {2, 1},
         Times{{300, false}, {550, true}}},
        {"the song playing has no length: guessed, the time left at least 0",
         {0, 100},
         {},
         {0, -1, 150'000},
         {1, 1},
         Times{{0, true}, {100, true}}},
        {"nothing known at all", {}, {}, {0, -1, 5000}, {1}, Times{{-1, false}}},
        {"stopped", {300, 200}, {}, {0, -1, -1}, {1}, Times{{-1, false}}},
    };
    for (const auto& c : cases) {
        ResetQueueWorld(player);
        player.lengths = c.lengths;
        for (const CurrentPlay& before : c.played)
            QueueStartTimes(cache, before, {});
        std::vector<QueueEntry> queue;
        for (std::int32_t position : c.queue)
            queue.push_back({position, "10.0.0.1"});
        const Times times = QueueStartTimes(cache, c.now, queue);
        ASSERT_EQ(times.size(), c.expected.size()) << c.what;
        for (std::size_t i = 0; i < times.size(); ++i) {
            EXPECT_EQ(times[i].seconds, c.expected[i].seconds) << c.what << " #" << i;
            EXPECT_EQ(times[i].estimate, c.expected[i].estimate) << c.what << " #" << i;
        }
    }
}

// The player is asked once per entry and version of the copy, and never
// while stopped.
TEST_F(QueueTimes, EachLengthIsAskedOncePerCopy) {
    const Message first{kMsgUser, 1, kIpcGetEntryLength};
    const Message second{kMsgUser, 2, kIpcGetEntryLength};
    const std::vector<QueueEntry> queue = {{1, "a"}, {2, "b"}, {1, "c"}};
    PlaylistView cache = MakeSnapshot(NumberedTitles(3));
    QueueStartTimes(cache, {0, -1, -1}, queue);
    EXPECT_TRUE(player.received.empty());
    QueueStartTimes(cache, {0, 300, 0}, queue);
    QueueStartTimes(cache, {0, 300, 0}, queue);
    EXPECT_EQ(player.received, (std::vector<Message>{first, second}));
    player.received.clear();
    cache = MakeSnapshot(NumberedTitles(3));
    QueueStartTimes(cache, {0, 300, 0}, queue);
    EXPECT_EQ(player.received, (std::vector<Message>{first, second}));
}

}  // namespace
}  // namespace velvox::testing
