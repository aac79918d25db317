// The playlist copy: rebuild rules, lookups, artist parts.
#include <string_view>

#include "queue_fixture.h"

namespace velvox::testing {
namespace {

// The snapshot in force when the process started, before any test rebuilt.
const PlaylistView kAtLoad = PlaylistCache();

using PlaylistCacheTest = QueueFixture;

TEST(PlaylistCacheAtLoad, EveryLookupGivesNone) {
    ASSERT_NE(kAtLoad, nullptr);
    EXPECT_EQ(kAtLoad->length, 0);
    EXPECT_TRUE(kAtLoad->titles.empty());
    std::string_view artist;
    for (std::int32_t position : {-1, 0, 1}) {
        EXPECT_EQ(CachedTitle(*kAtLoad, position), nullptr) << position;
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
    EXPECT_EQ(cache->titles, (std::vector<std::string>{"A", "", "C"}));
    EXPECT_EQ(CachedLength(), 3);
}

TEST_F(PlaylistCacheTest, SameLengthRebuildKeepsOldTitles) {
    LoadPlaylist({"A", "B", "C"});
    player.playlist = {"X", "Y", "Z"};
    RefreshPlaylistCache();
    EXPECT_EQ(player.received, std::vector<Message>{ListLengthMsg()});
    EXPECT_EQ(PlaylistCache()->titles, (std::vector<std::string>{"A", "B", "C"}));
}

TEST_F(PlaylistCacheTest, ShrinkToZeroEmptiesTitles) {
    LoadPlaylist(NumberedTitles(10));
    ASSERT_EQ(CachedLength(), 10);
    player.playlist.clear();
    RefreshPlaylistCache();
    EXPECT_EQ(CachedLength(), 0);
    EXPECT_TRUE(PlaylistCache()->titles.empty());
    EXPECT_TRUE(PlaylistCache()->lowerTitles.empty());
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
        EXPECT_EQ(CachedTitle(*PlaylistCache(), c.position) != nullptr, c.found) << c.position;
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

TEST_F(PlaylistCacheTest, LowerTitlesChangeOnlyAsciiLetters) {
    // "\xC3\x84" is a two-byte character; its bytes must pass untouched.
    LoadPlaylist({"ABC xyz", "Gr\xC3\x84N [Mix] 09", "\xC4\xD6 Z"});
    PlaylistView cache = PlaylistCache();
    EXPECT_EQ(cache->lowerTitles,
              (std::vector<std::string>{"abc xyz", "gr\xC3\x84n [mix] 09", "\xC4\xD6 z"}));
    EXPECT_EQ(cache->titles[1], "Gr\xC3\x84N [Mix] 09");
}

TEST_F(PlaylistCacheTest, SnapshotHandedOutOutlivesARebuild) {
    LoadPlaylist({"Old A", "Old B"});
    PlaylistView held = PlaylistCache();
    const std::string* title = CachedTitle(*held, 1);
    LoadPlaylist({"New A", "New B", "New C"});
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(*title, "Old B");
    EXPECT_EQ(held->length, 2);
    EXPECT_EQ(CachedLength(), 3);
}

}  // namespace
}  // namespace velvox::testing
