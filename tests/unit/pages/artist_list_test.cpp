// ArtistList under several connection threads at once.
#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "pages_fixture.h"

namespace velvox::testing {
namespace {

// Returns a snapshot whose titles carry the given artists.
PlaylistView SnapshotOf(const std::vector<std::string>& artists) {
    auto snapshot = std::make_shared<PlaylistSnapshot>();
    for (const std::string& artist : artists) {
        snapshot->titles.push_back(artist + " - Song");
        snapshot->lowerTitles.push_back(snapshot->titles.back());
    }
    snapshot->length = static_cast<std::int32_t>(artists.size());
    return snapshot;
}

TEST(ArtistListThreads, ConcurrentScansListEachArtistOnce) {
    ClearArtistList();
    constexpr int kThreads = 4;
    constexpr int kArtists = 300;
    // Every thread sees an overlapping share of the artists in its own order.
    std::vector<PlaylistView> snapshots;
    for (int t = 0; t < kThreads; ++t) {
        std::vector<std::string> artists;
        for (int i = 0; i < kArtists; ++i)
            artists.push_back("A" + std::to_string((i * (t + 1) + t * 50) % kArtists));
        snapshots.push_back(SnapshotOf(artists));
    }
    std::vector<std::thread> threads;
    std::vector<std::size_t> sizes(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round) {
                const SortedArtists sorted = UpdateArtistList(snapshots[t]);
                for (std::size_t i = 1; i < sorted->size(); ++i) {
                    if (!((*sorted)[i - 1] < (*sorted)[i]))
                        return;  // out of order or doubled: the size check fails
                }
                sizes[static_cast<std::size_t>(t)] = sorted->size();
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    const SortedArtists all = UpdateArtistList(SnapshotOf({}));
    std::vector<std::string> expected;
    for (int i = 0; i < kArtists; ++i)
        expected.push_back("A" + std::to_string(i));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(*all, expected);
    for (std::size_t size : sizes)
        EXPECT_GT(size, 0u);
    ClearArtistList();
}

}  // namespace
}  // namespace velvox::testing
