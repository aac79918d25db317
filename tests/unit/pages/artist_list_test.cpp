// The artist list: its order, and several connection threads at once.
#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "pages_fixture.h"

namespace velvox::testing {
namespace {

class ArtistOrder : public PagesFixture {};

// Returns a snapshot whose titles carry the given artists.
PlaylistView SnapshotOf(const std::vector<std::string>& artists) {
    std::vector<std::string> titles;
    for (const std::string& artist : artists)
        titles.push_back(artist + " - Song");
    return MakeSnapshot(titles);
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
                const std::vector<std::string>& names = sorted->names;
                for (std::size_t i = 1; i < names.size(); ++i) {
                    if (!(names[i - 1] < names[i]) || sorted->escaped_name(i) != names[i])
                        return;  // out of order, doubled or torn: the size check fails
                }
                sizes[static_cast<std::size_t>(t)] = names.size();
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
    EXPECT_EQ(all->names, expected);
    for (std::size_t size : sizes)
        EXPECT_GT(size, 0u);
    ClearArtistList();
}

TEST_F(ArtistOrder, ArtistsAboveSevenBitSortLast) {
    LoadPlaylist(
        {"\xC9"
         "cole - A",
         "abba - B", "Zed - C",
         "\x80"
         "x - D"});
    EXPECT_EQ(Render("%%ARTISTSELECT%%", Query("/playlist.cgi")),
              "Zed\r\nabba\r\n\x80"
              "x\r\n\xC9"
              "cole\r\n");
}

}  // namespace
}  // namespace velvox::testing
