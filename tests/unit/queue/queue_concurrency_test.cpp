// Many threads at once: the queue's limits and rules hold, and a cache
// rebuild never shows a reader a half-built list.
#include <atomic>
#include <map>
#include <set>
#include <thread>
#include <utility>

#include "platform/posix/emulated_window.h"
#include "queue_fixture.h"

namespace velvox::testing {
namespace {

using QueueConcurrencyTest = QueueFixture;

// Checks a copy of the queue against the limits; returns an empty text when
// it keeps them, otherwise what is wrong.
std::string LimitBreach(const std::vector<QueueEntry>& entries, std::size_t maxQueue,
                        int maxPerAddress) {
    if (entries.size() > maxQueue)
        return "queue of " + std::to_string(entries.size());
    std::map<std::string, int> perAddress;
    std::map<std::int32_t, int> perPosition;
    for (const QueueEntry& e : entries) {
        if (++perAddress[e.requester] > maxPerAddress)
            return "address " + e.requester + " over its limit";
        if (++perPosition[e.position] > 1)
            return "position " + std::to_string(e.position) + " twice";
    }
    return "";
}

struct LimitCase {
    const char* maxQueue;
    const char* maxPerAddress;
    int addresses;
    std::size_t expectedLength;  // what the queue fills up to
};

TEST_F(QueueConcurrencyTest, SimultaneousRequestsNeverPassALimit) {
    const LimitCase cases[] = {
        {"10", "2", 8, 10},  // the size limit binds: 8 addresses could hold 16
        {"50", "2", 3, 6},   // the per-address limit binds
        {"1", "0", 8, 1},
    };
    constexpr int kThreads = 8;
    constexpr int kRequestsPerThread = 200;
    LoadPlaylist(NumberedTitles(40));
    for (const LimitCase& c : cases) {
        ClearRequestQueue();
        SetLimits(c.maxQueue, c.maxPerAddress);
        const auto maxQueue = static_cast<std::size_t>(DecimalValue(c.maxQueue));
        const int maxPerAddress =
            DecimalValue(c.maxPerAddress) == 0 ? 1 << 30 : DecimalValue(c.maxPerAddress);
        std::atomic<bool> go{false};
        std::atomic<int> accepted{0};
        std::atomic<bool> stop{false};
        std::string breach;
        // A watcher copies the queue over and over while the requests run.
        std::thread watcher([&] {
            while (!stop.load() && breach.empty())
                breach = LimitBreach(QueueInPlayOrder(), maxQueue, maxPerAddress);
        });
        std::vector<std::thread> requesters;
        for (int t = 0; t < kThreads; ++t) {
            requesters.emplace_back([&, t] {
                const std::string address = "10.0.0." + std::to_string(t % c.addresses);
                while (!go.load()) {
                }
                for (int k = 0; k < kRequestsPerThread; ++k) {
                    const auto position = static_cast<std::int32_t>((k * 7 + t) % 40);
                    if (CheckAndInsertRequest(position, address.c_str()) == kRequestAccepted)
                        ++accepted;
                }
            });
        }
        go = true;
        for (std::thread& r : requesters)
            r.join();
        stop = true;
        watcher.join();
        EXPECT_EQ(breach, "") << c.maxQueue << "/" << c.maxPerAddress;
        const std::vector<QueueEntry> entries = QueueInPlayOrder();
        EXPECT_EQ(LimitBreach(entries, maxQueue, maxPerAddress), "");
        EXPECT_EQ(entries.size(), c.expectedLength) << c.maxQueue << "/" << c.maxPerAddress;
        EXPECT_EQ(accepted.load(), static_cast<int>(entries.size()));
    }
}

TEST_F(QueueConcurrencyTest, RequestsBesidePlaybackKeepTheLimits) {
    // Entries leave while others join: every copy still keeps the limits, and
    // every accepted request is either waiting or was taken exactly once.
    constexpr int kToTake = 300;
    LoadPlaylist(NumberedTitles(40));
    SetLimits("5", "2");
    std::atomic<int> accepted{0};
    std::atomic<int> taken{0};
    std::string breach;
    std::thread playerSide([&] {
        while (taken.load() < kToTake) {
            std::int32_t position = 0;
            std::uint64_t serial = 0;
            if (PeekOldestRequest(position, serial) && TakeRequest(serial))
                ++taken;
            if (breach.empty())
                breach = LimitBreach(QueueInPlayOrder(), 5, 2);
        }
    });
    std::vector<std::thread> requesters;
    for (int t = 0; t < 6; ++t) {
        requesters.emplace_back([&, t] {
            const std::string address = "10.0.1." + std::to_string(t % 4);
            for (int k = 0; taken.load() < kToTake; ++k) {
                if (CheckAndInsertRequest((k + t * 3) % 40, address.c_str()) == kRequestAccepted)
                    ++accepted;
            }
        });
    }
    for (std::thread& r : requesters)
        r.join();
    playerSide.join();
    EXPECT_EQ(breach, "");
    EXPECT_EQ(taken.load(), kToTake);
    EXPECT_EQ(accepted.load(), taken.load() + QueueLength());
}

// Title i of the fair-play run: artists "Artist 0" to "Artist 5", every
// eighth title without an artist.
std::string RunTitle(int i) {
    if (i % 8 == 7)
        return "Interlude " + std::to_string(i);
    return "Artist " + std::to_string(i % 6) + " - Song " + std::to_string(i);
}

// Returns the artist of RunTitle(position); empty for none.
std::string RunArtist(std::int32_t position) {
    const std::string title = RunTitle(position);
    const std::size_t mark = title.find(" -");
    return mark == std::string::npos ? "" : title.substr(0, mark);
}

// Checks a copy of the queue against every rule (limits 12 in all, 3 per
// address, 2 per artist, no artist twice in a row, nothing played, in turns);
// returns an empty text when it keeps them, otherwise what is wrong.
std::string RuleBreach(const std::vector<QueueEntry>& entries,
                       const std::set<std::int32_t>& played) {
    std::string breach = LimitBreach(entries, 12, 3);
    std::map<std::string, int> perArtist;
    std::map<std::string, std::uint64_t> lastTurn;
    for (std::size_t i = 0; i < entries.size() && breach.empty(); ++i) {
        const QueueEntry& e = entries[i];
        const std::string artist = RunArtist(e.position);
        if (!artist.empty() && ++perArtist[artist] > 2)
            breach = artist + " over its limit";
        else if (i > 0 && !artist.empty() && RunArtist(entries[i - 1].position) == artist)
            breach = artist + " twice in a row";
        else if (played.count(e.position) != 0)
            breach = "position " + std::to_string(e.position) + " played within the cooldown";
        else if (i > 0 && std::make_pair(e.turn, e.serial) <=
                              std::make_pair(entries[i - 1].turn, entries[i - 1].serial))
            breach = "out of turn at " + std::to_string(i);
        else if (lastTurn.count(e.requester) != 0 && lastTurn[e.requester] >= e.turn)
            breach = e.requester + " twice in one turn";
        lastTurn[e.requester] = e.turn;
    }
    return breach;
}

TEST_F(QueueConcurrencyTest, EveryRuleOnNeverLeavesAForbiddenQueue) {
    // Requests from 8 threads and 4 addresses while the window thread (this
    // one) answers their position questions and plays the head now and then.
    constexpr int kThreads = 8;
    constexpr int kRequestsPerThread = 150;
    std::vector<std::string> titles;
    for (int i = 0; i < 40; ++i)
        titles.push_back(RunTitle(i));
    LoadPlaylist(titles);
    PluginSettings settings;
    CopyCut(settings.g_MaxQueueSize, "12");
    CopyCut(settings.MaxRequestsPerArtist, "2");
    settings.NoConsecutiveArtist = true;
    CopyCut(settings.SongCooldownMinutes, "60");
    settings.FairOrder = true;
    PublishSettings(settings);
    UseTestClock();  // stands still: whatever played stays refused
    player.position = 39;
    std::atomic<int> done{0};
    std::atomic<int> accepted{0};
    std::vector<std::thread> requesters;
    for (int t = 0; t < kThreads; ++t) {
        requesters.emplace_back([&, t] {
            const std::string address = "10.0.2." + std::to_string(t % 4);
            for (int k = 0; k < kRequestsPerThread; ++k) {
                const auto position = static_cast<std::int32_t>((k * 7 + t * 5) % 40);
                if (CheckAndInsertRequest(position, address.c_str()) == kRequestAccepted)
                    ++accepted;
            }
            ++done;
        });
    }
    std::set<std::int32_t> played = {39};
    std::string breach;
    int taken = 0;
    while (done.load() < kThreads) {
        platform::emu::handle_pending_sends(player.window());
        // Only this thread removes entries: with one waiting, the end of a
        // track plays exactly one.
        if (played.size() < 20 && QueueLength() >= 6 && HandleEndOfTrack()) {
            played.insert(player.position);
            ++taken;
        }
        if (breach.empty())
            breach = RuleBreach(QueueInPlayOrder(), played);
    }
    for (std::thread& r : requesters)
        r.join();
    EXPECT_EQ(breach, "");
    EXPECT_EQ(RuleBreach(QueueInPlayOrder(), played), "");
    EXPECT_GT(taken, 0) << "the head played beside the requests";
    EXPECT_EQ(accepted.load(), taken + QueueLength());
}

// Title i of generation g; its length differs per generation so that each
// rebuild really happens.
std::string GenerationTitle(int g, int i) {
    return "Gen " + std::to_string(g) + " Title " + std::to_string(i);
}

// Returns an empty text when the snapshot is one whole generation, otherwise
// what is wrong with it.
std::string TornSnapshot(const PlaylistSnapshot& cache) {
    const std::vector<std::string> titles = TitlesOf(cache);
    if (titles.size() != static_cast<std::size_t>(cache.length))
        return "length " + std::to_string(cache.length) + " with " + std::to_string(titles.size()) +
               " titles";
    if (cache.length == 0)
        return "";
    const int g = cache.length - 100;
    const std::string generation = "gen " + std::to_string(g) + " title ";
    for (int i = 0; i < cache.length; ++i) {
        const std::string& title = titles[static_cast<std::size_t>(i)];
        if (title != GenerationTitle(g, i))
            return "title " + title + " in generation " + std::to_string(g);
        if (!TitleHolds(cache, i, generation + std::to_string(i)))
            return "title " + title + " not found by a search";
    }
    return "";
}

TEST_F(QueueConcurrencyTest, RebuildBesideReadersNeverShowsATornList) {
    constexpr int kGenerations = 60;
    constexpr int kReaders = 4;
    std::atomic<int> readersStarted{0};
    std::atomic<int> readersDone{0};
    std::atomic<bool> stop{false};
    std::vector<std::string> faults(kReaders);
    std::vector<std::thread> readers;
    for (int r = 0; r < kReaders; ++r) {
        readers.emplace_back([&, r] {
            ++readersStarted;
            while (!stop.load() && faults[static_cast<std::size_t>(r)].empty()) {
                std::string& fault = faults[static_cast<std::size_t>(r)];
                PlaylistView cache = PlaylistCache();
                fault = TornSnapshot(*cache);
                // The one-shot lookups give a title of some whole generation.
                std::string title;
                const std::int32_t position = (r * 37) % 100;
                if (CachedTitle(position, title) &&
                    title.find(" Title " + std::to_string(position)) == std::string::npos)
                    fault = "position " + std::to_string(position) + " gave " + title;
                // Asks the player, whose window thread pumps below.
                if (r == 0 && CurrentSongTitle(title) &&
                    title.find(" Title 3") == std::string::npos)
                    fault = "current song gave " + title;
            }
            ++readersDone;
        });
    }
    // The rebuilds run on the window's own thread, which also answers the
    // readers' messages between them.
    player.position = 3;
    while (readersStarted.load() < kReaders)
        platform::emu::handle_pending_sends(player.window());
    for (int g = 1; g <= kGenerations; ++g) {
        std::vector<std::string> titles;
        for (int i = 0; i < 100 + g; ++i)
            titles.push_back(GenerationTitle(g, i));
        player.playlist = titles;
        RefreshPlaylistCache();
        ASSERT_EQ(CachedLength(), 100 + g);
        platform::emu::handle_pending_sends(player.window());
    }
    stop = true;
    while (readersDone.load() < kReaders)
        platform::emu::handle_pending_sends(player.window());
    for (std::thread& r : readers)
        r.join();
    for (const std::string& fault : faults)
        EXPECT_EQ(fault, "");
}

}  // namespace
}  // namespace velvox::testing
