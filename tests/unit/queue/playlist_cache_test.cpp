// The playlist copy: rebuild rules, lookups, artist parts.
#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "queue_fixture.h"

namespace velvox::testing {
namespace {

// The snapshot in force when the process started, before any test rebuilt.
const PlaylistView kAtLoad = PlaylistCache();

using PlaylistCacheTest = QueueFixture;

TEST(PlaylistCacheAtLoad, EveryLookupGivesNone) {
    ASSERT_NE(kAtLoad, nullptr);
    EXPECT_EQ(kAtLoad->length, 0);
    EXPECT_TRUE(TitlesOf(*kAtLoad).empty());
    std::string_view artist;
    for (std::int32_t position : {-1, 0, 1}) {
        EXPECT_FALSE(CachedTitle(*kAtLoad, position)) << position;
        EXPECT_FALSE(CachedArtist(*kAtLoad, position, artist)) << position;
    }
}

TEST_F(PlaylistCacheTest, EmptyPlaylistGivesNoneForEveryLookup) {
    LoadPlaylist({"A", "B"});
    LoadPlaylist({});
    EXPECT_EQ(CachedLength(), 0);
    std::string title = "unchanged";
    std::string_view artist;
    for (std::int32_t position : {-1, 0, 1}) {
        EXPECT_FALSE(CachedTitle(position, title)) << position;
        EXPECT_FALSE(CachedArtist(*PlaylistCache(), position, artist)) << position;
    }
    EXPECT_EQ(title, "unchanged");
    EXPECT_FALSE(CurrentSongTitle(title));
}

TEST_F(PlaylistCacheTest, RebuildAsksLengthThenEveryTitleInOrder) {
    player.playlist = {"A", "", "C"};
    RefreshPlaylistCache();
    EXPECT_EQ(player.received,
              (std::vector<Message>{ListLengthMsg(), TitleMsg(0), TitleMsg(1), TitleMsg(2)}));
    PlaylistView cache = PlaylistCache();
    EXPECT_EQ(cache->length, 3);
    EXPECT_EQ(TitlesOf(*cache), (std::vector<std::string>{"A", "", "C"}));
    EXPECT_EQ(CachedLength(), 3);
}

TEST_F(PlaylistCacheTest, SameLengthRebuildKeepsOldTitles) {
    LoadPlaylist({"A", "B", "C"});
    player.playlist = {"X", "Y", "Z"};
    RefreshPlaylistCache();
    EXPECT_EQ(player.received, std::vector<Message>{ListLengthMsg()});
    EXPECT_EQ(TitlesOf(*PlaylistCache()), (std::vector<std::string>{"A", "B", "C"}));
}

TEST_F(PlaylistCacheTest, ShrinkToZeroEmptiesTitles) {
    LoadPlaylist(NumberedTitles(10));
    ASSERT_EQ(CachedLength(), 10);
    player.playlist.clear();
    RefreshPlaylistCache();
    EXPECT_EQ(CachedLength(), 0);
    EXPECT_TRUE(TitlesOf(*PlaylistCache()).empty());
    EXPECT_EQ(TitleSearch(*PlaylistCache(), "song", false).next(), -1);
}

TEST_F(PlaylistCacheTest, TitleLookupBounds) {
    LoadPlaylist({""});
    struct Case {
        std::int32_t position;
        bool found;
    };
    const Case cases[] = {
        {-1, false}, {0, true}, {1, false}, {INT32_MIN, false}, {INT32_MAX, false}};
    for (const Case& c : cases) {
        std::string title = "unchanged";
        EXPECT_EQ(CachedTitle(c.position, title), c.found) << c.position;
        EXPECT_EQ(title, c.found ? "" : "unchanged") << c.position;
        EXPECT_EQ(CachedTitle(*PlaylistCache(), c.position).has_value(), c.found) << c.position;
    }
    LoadPlaylist(NumberedTitles(4));
    std::string title;
    EXPECT_FALSE(CachedTitle(CachedLength(), title));
    ASSERT_TRUE(CachedTitle(CachedLength() - 1, title));
    EXPECT_EQ(title, "Song 3");
}

TEST_F(PlaylistCacheTest, CurrentSongTitleFollowsThePlayersPosition) {
    LoadPlaylist({"A", "B", "C"});
    struct Case {
        std::int32_t playerPosition;
        bool found;
        const char* title;
    };
    // 3 and beyond: the player's list grew after the last rebuild.
    const Case cases[] = {{0, true, "A"}, {2, true, "C"}, {3, false, ""}, {-1, false, ""}};
    for (const Case& c : cases) {
        player.position = c.playerPosition;
        player.received.clear();
        std::string title;
        EXPECT_EQ(CurrentSongTitle(title), c.found) << c.playerPosition;
        if (c.found) {
            EXPECT_EQ(title, c.title);
        }
        EXPECT_EQ(player.received, std::vector<Message>{ListPosMsg()});
    }
}

TEST_F(PlaylistCacheTest, ArtistIsTheTextBeforeTheFirstSpaceHyphen) {
    struct Case {
        const char* title;
        const char* artist;
    };
    const Case cases[] = {
        {"Band - Song - Live", "Band"},
        {"Band-Song", ""},
        {" - Song", ""},
        {"No separator", ""},
        {"", ""},
        {"Band -Song", "Band"},
        {"A  - B", "A "},
    };
    std::vector<std::string> titles;
    for (const Case& c : cases)
        titles.push_back(c.title);
    LoadPlaylist(titles);
    PlaylistView cache = PlaylistCache();
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(titles.size()); ++i) {
        std::string_view artist = "unset";
        ASSERT_TRUE(CachedArtist(*cache, i, artist)) << cases[i].title;
        EXPECT_EQ(artist, cases[i].artist) << cases[i].title;
    }
    std::string_view artist;
    EXPECT_FALSE(CachedArtist(*cache, cache->length, artist));
    EXPECT_FALSE(CachedArtist(*cache, -1, artist));
}

// Returns every position a search hands out, in order.
std::vector<std::int32_t> Found(TitleSearch search) {
    std::vector<std::int32_t> positions;
    for (std::int32_t p = search.next(); p >= 0; p = search.next())
        positions.push_back(p);
    return positions;
}

TEST(TitleSearchTable, FoldedTitlesFoundInPositionOrder) {
    // Titles that A-Z alone folds, titles with kept folded forms (2, 4, 6)
    // and invalid UTF-8 (7) side by side.
    const std::vector<std::string> titles = {
        "ABBA - Waterloo",             // 0
        "",                            // 1
        "Bj\xC3\x96rk - J\xC3\xB3ga",  // 2: "BjÖrk - Jóga"
        "abba - Waterloo (Live)",      // 3
        "Die Stra\xC3\x9F"
        "e - ABBA",                       // 4: "Die Straße - ABBA"
        "Sigur R\xC3\xB3s - Hoppipolla",  // 5: "ó" folds to itself
        "\xC3\x89T\xC3\x89 - abba",       // 6: "ÉTÉ - abba"
        "Bad \xFF\xC3 Bytes - ABBA",      // 7
    };
    const PlaylistView cache = MakeSnapshot(titles);
    ASSERT_EQ(TitlesOf(*cache), titles);
    struct Case {
        const char* folded;
        bool atStart;
        std::vector<std::int32_t> positions;
    } cases[] = {
        {"abba", false, {0, 3, 4, 6, 7}},
        {"abba", true, {0, 3}},
        {"waterloo (live)", false, {3}},
        {"bj\xC3\xB6rk", true, {2}},
        {"strasse", false, {4}},
        {"\xC3\xA9t\xC3\xA9", true, {6}},
        {"r\xC3\xB3s", false, {5}},
        {"\xff\xc3 bytes", false, {7}},
        {"bad \xff", true, {7}},
        {"", false, {0, 1, 2, 3, 4, 5, 6, 7}},
        {"", true, {0, 1, 2, 3, 4, 5, 6, 7}},
        {"o - a", false, {}},  // never across two titles
        {"ba\xC3\x9F", false, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Found(TitleSearch(*cache, c.folded, c.atStart)), c.positions)
            << c.folded << (c.atStart ? " at the start" : "");
        if (c.atStart)
            continue;
        for (std::int32_t p = 0; p < static_cast<std::int32_t>(titles.size()); ++p) {
            const bool listed =
                std::find(c.positions.begin(), c.positions.end(), p) != c.positions.end();
            EXPECT_EQ(TitleHolds(*cache, p, c.folded), listed) << c.folded << " in " << p;
        }
    }
    EXPECT_FALSE(TitleHolds(*cache, 8, ""));
}

TEST_F(PlaylistCacheTest, SnapshotHandedOutOutlivesARebuild) {
    LoadPlaylist({"Old A", "Old B"});
    PlaylistView held = PlaylistCache();
    const std::optional<std::string_view> title = CachedTitle(*held, 1);
    LoadPlaylist({"New A", "New B", "New C"});
    ASSERT_TRUE(title);
    EXPECT_EQ(*title, "Old B");
    EXPECT_EQ(held->length, 2);
    EXPECT_EQ(CachedLength(), 3);
}

}  // namespace
}  // namespace velvox::testing
