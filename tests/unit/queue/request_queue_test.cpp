// The request queue: acceptance rules in their order, play order, removal,
// result texts.
#include "queue/skip_votes.h"
#include "queue_fixture.h"

namespace velvox::testing {
namespace {

using RequestQueueTest = QueueFixture;

struct Waiting {
    std::int32_t position;
    const char* requester;
};

struct CheckCase {
    const char* name;
    const char* maxQueue;
    const char* maxPerAddress;
    std::vector<Waiting> waiting;  // inserted oldest first, without checks
    std::int32_t position;
    const char* requester;
    int expected;
};

TEST_F(RequestQueueTest, CheckRequestCodesAndTheirOrder) {
    const char* a = "10.0.0.1";
    const char* b = "10.0.0.2";
    const CheckCase cases[] = {
        {"first request", "50", "3", {}, 0, a, kRequestAccepted},
        {"last position", "50", "3", {}, 9, a, kRequestAccepted},
        {"negative position", "50", "3", {}, -1, a, kPositionOutOfRange},
        {"position CachedLength", "50", "3", {}, 10, a, kPositionOutOfRange},
        {"lowest position", "50", "3", {}, INT32_MIN, a, kPositionOutOfRange},
        {"other position waits", "50", "3", {{1, b}}, 2, a, kRequestAccepted},
        {"duplicate from another address", "50", "3", {{1, b}}, 1, a, kDuplicateRequest},
        {"duplicate from the same address", "50", "3", {{1, a}}, 1, a, kDuplicateRequest},
        {"fourth from one address",
         "50",
         "3",
         {{1, a}, {2, a}, {3, a}},
         4,
         a,
         kAddressLimitReached},
        {"address limit beats duplicate",
         "50",
         "3",
         {{1, a}, {2, a}, {3, a}},
         1,
         a,
         kAddressLimitReached},
        {"addresses compare byte for byte",
         "50",
         "3",
         {{1, a}, {2, a}, {3, a}},
         4,
         "10.0.0.10",
         kRequestAccepted},
        {"other address unaffected", "50", "3", {{1, a}, {2, a}, {3, a}}, 4, b, kRequestAccepted},
        {"queue full", "2", "3", {{1, b}, {2, b}}, 3, a, kQueueFull},
        {"full beats address limit", "3", "3", {{1, a}, {2, a}, {3, a}}, 4, a, kQueueFull},
        {"full beats duplicate", "1", "3", {{1, b}}, 1, a, kQueueFull},
        {"out of range beats full", "1", "3", {{1, b}}, 10, a, kPositionOutOfRange},
        {"queue limit 0", "0", "3", {}, 0, a, kQueueFull},
        {"queue limit negative", "-5", "3", {}, 0, a, kQueueFull},
        {"queue limit not numeric", "many", "3", {}, 0, a, kQueueFull},
        {"queue limit empty text", "", "3", {}, 0, a, kQueueFull},
        {"queue limit read to first non-digit", " +2x9", "3", {{1, b}}, 2, a, kRequestAccepted},
        {"queue limit read to first non-digit, full",
         " +2x9",
         "3",
         {{1, b}, {2, b}},
         3,
         a,
         kQueueFull},
        {"address limit 0 switches it off",
         "50",
         "0",
         {{1, a}, {2, a}, {3, a}, {4, a}, {5, a}},
         6,
         a,
         kRequestAccepted},
        {"address limit not numeric is 0",
         "50",
         "none",
         {{1, a}, {2, a}, {3, a}},
         6,
         a,
         kRequestAccepted},
        {"address limit negative", "50", "-1", {}, 0, a, kAddressLimitReached},
        {"address limit 1", "50", "1", {{1, a}}, 2, a, kAddressLimitReached},
    };
    LoadPlaylist(NumberedTitles(10));
    for (const CheckCase& c : cases) {
        ClearRequestQueue();
        SetLimits(c.maxQueue, c.maxPerAddress);
        for (const Waiting& w : c.waiting)
            InsertRequest(w.position, w.requester);
        const std::vector<std::int32_t> before = WaitingPositions();
        EXPECT_EQ(CheckRequest(c.position, c.requester), c.expected) << c.name;
        EXPECT_EQ(WaitingPositions(), before) << c.name << ": the check changed the queue";
        EXPECT_EQ(CheckAndInsertRequest(c.position, c.requester), c.expected) << c.name;
        EXPECT_EQ(QueueLength(),
                  static_cast<std::int32_t>(before.size()) + (c.expected == kRequestAccepted))
            << c.name;
    }
    EXPECT_TRUE(player.received.empty()) << "checks never ask the player";
}

TEST_F(RequestQueueTest, EmptyCacheRefusesEveryPosition) {
    for (std::int32_t position : {-1, 0, 1})
        EXPECT_EQ(CheckRequest(position, "a"), kPositionOutOfRange) << position;
}

TEST_F(RequestQueueTest, LimitsApplyFromTheNextCheckOn) {
    LoadPlaylist(NumberedTitles(10));
    EXPECT_EQ(CheckAndInsertRequest(0, "a"), kRequestAccepted);
    SetLimits("1", "3");
    EXPECT_EQ(CheckAndInsertRequest(1, "a"), kQueueFull);
    SetLimits("50", "1");
    EXPECT_EQ(CheckAndInsertRequest(1, "a"), kAddressLimitReached);
    SetLimits("50", "2");
    EXPECT_EQ(CheckAndInsertRequest(1, "a"), kRequestAccepted);
}

TEST_F(RequestQueueTest, PlayedEntriesFreeTheirAddressAndPosition) {
    LoadPlaylist(NumberedTitles(10));
    for (std::int32_t position : {0, 1, 2})
        ASSERT_EQ(CheckAndInsertRequest(position, "a"), kRequestAccepted);
    EXPECT_EQ(CheckRequest(3, "a"), kAddressLimitReached);
    EXPECT_EQ(CheckRequest(0, "b"), kDuplicateRequest);
    TakeOldestRequest();
    EXPECT_EQ(CheckAndInsertRequest(0, "a"), kRequestAccepted);
    EXPECT_EQ(WaitingPositions(), (std::vector<std::int32_t>{1, 2, 0}));
}

TEST_F(RequestQueueTest, PlaysInRequestOrder) {
    LoadPlaylist({"Zero", "A", "B", "C"});
    for (std::int32_t position : {1, 2, 3})
        ASSERT_EQ(CheckAndInsertRequest(position, "x"), kRequestAccepted);
    EXPECT_EQ(WaitingPositions(), (std::vector<std::int32_t>{1, 2, 3}));
    struct Case {
        std::int32_t p;
        bool found;
        const char* title;
    };
    const Case cases[] = {{1, true, "A"}, {2, true, "B"}, {3, true, "C"},
                          {0, false, ""}, {4, false, ""}, {-1, false, ""}};
    for (const Case& c : cases) {
        std::string title;
        EXPECT_EQ(QueueEntryTitle(c.p, title), c.found) << c.p;
        EXPECT_EQ(title, c.title) << c.p;
    }
    const std::int32_t played[] = {1, 2, 3};
    for (std::int32_t expected : played) {
        EXPECT_EQ(OldestRequestPosition(), expected);
        TakeOldestRequest();
    }
    EXPECT_EQ(QueueLength(), 0);
    EXPECT_EQ(OldestRequestPosition(), -1);
    TakeOldestRequest();  // harmless on an empty queue
    EXPECT_EQ(QueueLength(), 0);
}

TEST_F(RequestQueueTest, RemoveAtPlayPosition) {
    struct Case {
        std::int32_t p;
        int expected;
        std::vector<std::int32_t> left;
    };
    // The queue holds A(1), B(2), C(3) in play order before each case.
    const Case cases[] = {
        {2, kQueuePositionDeleted, {1, 3}},  {1, kQueuePositionDeleted, {2, 3}},
        {3, kQueuePositionDeleted, {1, 2}},  {4, kPositionOutOfRange, {1, 2, 3}},
        {0, kPositionOutOfRange, {1, 2, 3}}, {-1, kPositionOutOfRange, {1, 2, 3}},
    };
    LoadPlaylist(NumberedTitles(5));
    for (const Case& c : cases) {
        ClearRequestQueue();
        for (std::int32_t position : {1, 2, 3})
            InsertRequest(position, "x");
        EXPECT_EQ(RemoveAtPlayPosition(c.p), c.expected) << c.p;
        EXPECT_EQ(WaitingPositions(), c.left) << c.p;
    }
    ClearRequestQueue();
    EXPECT_EQ(RemoveAtPlayPosition(1), kPositionOutOfRange);
}

TEST_F(RequestQueueTest, AdminInsertSkipsTheRulesButCountsForItsAddress) {
    LoadPlaylist(NumberedTitles(3));
    SetLimits("2", "2");
    InsertRequest(1, "admin");
    InsertRequest(1, "admin");   // repeats a waiting position
    InsertRequest(99, "admin");  // beyond the playlist and the size limit
    EXPECT_EQ(WaitingPositions(), (std::vector<std::int32_t>{1, 1, 99}));
    std::string title;
    EXPECT_FALSE(QueueEntryTitle(3, title)) << "no cached title at position 99";
    SetLimits("50", "3");
    EXPECT_EQ(CheckRequest(2, "admin"), kAddressLimitReached);
    EXPECT_EQ(CheckRequest(2, "guest"), kRequestAccepted);
}

TEST_F(RequestQueueTest, RequestersAreCopied) {
    LoadPlaylist(NumberedTitles(3));
    std::string address = "192.168.1.20";
    ASSERT_EQ(CheckAndInsertRequest(0, address.c_str()), kRequestAccepted);
    address.assign("overwritten!");
    const std::vector<QueueEntry> entries = QueueInPlayOrder();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].requester, "192.168.1.20");
}

TEST_F(RequestQueueTest, TakeRequestRemovesOnlyTheNamedEntry) {
    LoadPlaylist(NumberedTitles(5));
    for (std::int32_t position : {1, 2})
        InsertRequest(position, "x");
    std::int32_t position = -1;
    std::uint64_t serial = 0;
    ASSERT_TRUE(PeekOldestRequest(position, serial));
    EXPECT_EQ(position, 1);
    // Deleted by an admin while its song was being started: the next request
    // must stay.
    ASSERT_EQ(RemoveAtPlayPosition(1), kQueuePositionDeleted);
    EXPECT_FALSE(TakeRequest(serial));
    EXPECT_EQ(WaitingPositions(), std::vector<std::int32_t>{2});
    ASSERT_TRUE(PeekOldestRequest(position, serial));
    EXPECT_TRUE(TakeRequest(serial));
    EXPECT_FALSE(PeekOldestRequest(position, serial));
}

}  // namespace
}  // namespace velvox::testing

namespace velvox::testing {
namespace {

// Titles for the fair-play rules; the comment gives each one's artist.
std::vector<std::string> ArtistTitles() {
    return {
        "Abba - Waterloo",                     // 0  Abba
        "Abba - SOS",                          // 1  Abba
        "Abba - Mamma Mia",                    // 2  Abba
        "Blur - Song 2",                       // 3  Blur
        "Blur - Parklife - Live",              // 4  Blur
        "Solo",                                // 5  none
        "Interlude",                           // 6  none
        "abba - Lower Case",                   // 7  abba, not Abba
        " - Dash First",                       // 8  none (empty)
        "Abba -Tight",                         // 9  Abba
        std::string(300, 'L') + " - Long",     // 10 254 x L, as the artist list cuts it
        std::string(254, 'L') + "M - Longer",  // 11 the same
        "Cure - Lovesong",                     // 12 Cure
        "Cure - Friday",                       // 13 Cure
    };
}

constexpr std::int64_t kNow = 1'700'000'000;

class RequestRulesTest : public QueueFixture {
  protected:
    // Runs the rules over a view of the given queue (positions oldest first,
    // all from another address) at time kNow, with the default size limits;
    // keeps SecondsUntilNextRequest in wait.
    int Judge(const RequestLimits& rules, const std::vector<std::int32_t>& waiting,
              std::int32_t position, std::int32_t current = -1, std::int32_t before = -1,
              std::int32_t after = -1, const SongStarts& starts = {},
              const AcceptedTimes* accepted = nullptr) {
        RequestLimits limits = rules;
        limits.maxQueue = 50;
        limits.maxPerAddress = 3;
        std::deque<QueueEntry> queue;
        for (std::int32_t p : waiting)
            queue.push_front(QueueEntry{p, "10.0.0.9"});
        const PlaylistView cache = PlaylistCache();
        const RequestView view{position, "10.0.0.1", queue,  cache->length, limits, kNow,
                               *cache,   current,    before, after,         starts, accepted};
        wait = SecondsUntilNextRequest(view);
        return ApplyRequestRules(view);
    }
    std::int64_t wait = 0;

    // Carries out one step of a script: "a:3" queues position 3 for address a
    // (through the rules when checked is set, which must accept it), "end"
    // ends the current track, "del:2" is the admin's delete of play-order
    // position 2.
    void Step(const std::string& step, bool checked) {
        const std::size_t colon = step.find(':');
        const std::string what = step.substr(0, colon);
        const std::int32_t value =
            colon == std::string::npos ? 0 : DecimalValue(step.substr(colon + 1).c_str());
        if (what == "end") {
            const std::vector<std::int32_t> before = WaitingPositions();
            HandleEndOfTrack();
            if (!before.empty()) {
                EXPECT_EQ(player.position, before[0]) << "the first shown plays";
            }
        } else if (what == "del") {
            RemoveAtPlayPosition(value);
        } else if (checked) {
            EXPECT_EQ(CheckAndInsertRequest(value, what.c_str()), kRequestAccepted) << step;
        } else {
            InsertRequest(value, what.c_str());
        }
    }
};

TEST_F(RequestRulesTest, ArtistLimit) {
    struct Case {
        const char* name;
        std::int64_t limit;
        std::vector<std::int32_t> waiting;
        std::int32_t position;
        int expected;
    };
    const Case cases[] = {
        {"0 is off", 0, {0, 1, 2}, 9, kRequestAccepted},
        {"negative is off", -1, {0}, 1, kRequestAccepted},
        {"1, none by the artist waits", 1, {3}, 0, kRequestAccepted},
        {"1, one waits", 1, {3, 0}, 1, kArtistLimitReached},
        {"2, one waits", 2, {0, 3}, 1, kRequestAccepted},
        {"2, two wait", 2, {0, 3, 1}, 2, kArtistLimitReached},
        {"the text before the first \" -\"", 1, {0}, 9, kArtistLimitReached},
        {"case counts", 1, {0}, 7, kRequestAccepted},
        {"a title without an artist is never limited", 1, {5, 8}, 6, kRequestAccepted},
        {"titles without an artist never count", 1, {5, 6, 8}, 0, kRequestAccepted},
        {"an entry without a title counts for nobody", 1, {99}, 0, kRequestAccepted},
        {"artists cut as the artist list cuts them", 1, {10}, 11, kArtistLimitReached},
        {"a duplicate is reported first", 1, {0}, 0, kDuplicateRequest},
    };
    LoadPlaylist(ArtistTitles());
    for (const Case& c : cases) {
        RequestLimits rules;
        rules.maxPerArtist = c.limit;
        EXPECT_EQ(Judge(rules, c.waiting, c.position), c.expected) << c.name;
    }
}

TEST_F(RequestRulesTest, NoConsecutiveArtistLooksOnBothSides) {
    struct Case {
        const char* name;
        bool on;
        std::int32_t before;
        std::int32_t after;
        std::int32_t position;
        int expected;
    };
    const Case cases[] = {
        {"off", false, 0, 2, 1, kRequestAccepted},
        {"after the same artist", true, 0, -1, 1, kConsecutiveArtist},
        {"after another artist", true, 3, -1, 1, kRequestAccepted},
        {"before the same artist", true, 3, 2, 1, kConsecutiveArtist},
        {"nothing on either side", true, -1, -1, 1, kRequestAccepted},
        {"\"Abba -Tight\" is by Abba", true, 9, -1, 0, kConsecutiveArtist},
        {"abba is not Abba", true, 7, -1, 0, kRequestAccepted},
        {"no artist between two without one", true, 5, 6, 8, kRequestAccepted},
        {"an artist after a title without one", true, 5, -1, 0, kRequestAccepted},
    };
    LoadPlaylist(ArtistTitles());
    for (const Case& c : cases) {
        RequestLimits rules;
        rules.noConsecutiveArtist = c.on;
        EXPECT_EQ(Judge(rules, {}, c.position, -1, c.before, c.after), c.expected) << c.name;
    }
}

TEST_F(RequestRulesTest, CooldownFromEachStartAndForTheCurrentSong) {
    struct Case {
        const char* name;
        std::int64_t seconds;
        std::int32_t current;
        std::int64_t startedAgo;  // position 4's start; below INT64_MIN + 1: never
        std::int32_t position;
        int expected;
    };
    constexpr std::int64_t never = INT64_MIN;
    const Case cases[] = {
        {"off", 0, 4, 0, 4, kRequestAccepted},
        {"the current song", 3600, 4, never, 4, kPlayedRecently},
        {"the current song, begun long ago", 3600, 4, 7200, 4, kPlayedRecently},
        {"begun a second inside", 3600, 2, 3599, 4, kPlayedRecently},
        {"begun exactly the cooldown ago", 3600, 2, 3600, 4, kRequestAccepted},
        {"begun longer ago", 3600, 2, 3601, 4, kRequestAccepted},
        {"never begun", 3600, 2, never, 4, kRequestAccepted},
        {"begun in the clock's future", 3600, 2, -10, 4, kPlayedRecently},
        {"another position began", 3600, 2, 0, 3, kRequestAccepted},
        {"current song not known", 3600, -1, never, 4, kRequestAccepted},
        {"one minute, inside", 60, -1, 59, 4, kPlayedRecently},
        {"one minute, at the edge", 60, -1, 60, 4, kRequestAccepted},
        {"a duplicate is reported first", 3600, 0, never, 0, kDuplicateRequest},
    };
    LoadPlaylist(ArtistTitles());
    for (const Case& c : cases) {
        RequestLimits rules;
        rules.cooldownSeconds = c.seconds;
        SongStarts starts;
        if (c.startedAgo != never)
            starts[4] = kNow - c.startedAgo;
        EXPECT_EQ(Judge(rules, {0}, c.position, c.current, -1, -1, starts), c.expected) << c.name;
    }
}

TEST_F(RequestRulesTest, FairOrderPlaysInTurnsByAddress) {
    struct Case {
        const char* name;
        std::vector<const char*> steps;   // see Step
        std::vector<std::int32_t> fair;   // the waiting positions in play order, FairOrder on
        std::vector<std::int32_t> plain;  // the same, FairOrder off
    };
    const Case cases[] = {
        {"a burst by address",
         {"a:1", "a:2", "a:3", "b:4", "b:5", "c:6"},
         {1, 4, 6, 2, 5, 3},
         {1, 2, 3, 4, 5, 6}},
        {"oldest first within a turn", {"a:1", "b:4", "b:5", "a:2"}, {1, 4, 5, 2}, {1, 4, 5, 2}},
        {"the head playing moves nobody", {"a:1", "a:2", "b:4", "end"}, {4, 2}, {2, 4}},
        {"a newcomer before second turns",
         {"a:1", "a:2", "b:4", "end", "c:6"},
         {4, 6, 2},
         {2, 4, 6}},
        {"who has just played waits a turn",
         {"a:1", "b:4", "end", "a:2", "c:6"},
         {4, 6, 2},
         {4, 2, 6}},
        {"turns run on over several ends",
         {"a:1", "a:2", "a:3", "b:4", "end", "end", "b:5", "c:6"},
         {6, 2, 5, 3},
         {3, 4, 5, 6}},
        {"an empty queue starts afresh", {"a:1", "end", "a:2", "b:4"}, {2, 4}, {2, 4}},
        {"a delete takes the entry shown",
         {"a:1", "a:2", "b:4", "b:5", "del:2"},
         {1, 2, 5},
         {1, 4, 5}},
        {"a delete moves nobody else",
         {"a:1", "a:2", "b:4", "b:5", "del:2", "b:7"},
         {1, 2, 5, 7},
         {1, 4, 5, 7}},
        {"a delete beyond the end", {"a:1", "b:4", "del:3"}, {1, 4}, {1, 4}},
    };
    for (bool fair : {true, false}) {
        for (const Case& c : cases) {
            ResetAll();
            LoadPlaylist(NumberedTitles(10));
            SetRules("5", false, "0", fair);
            for (const char* step : c.steps) {
                player.received.clear();
                Step(step, true);
                if (step[0] != 'e') {
                    EXPECT_TRUE(player.received.empty()) << c.name << ": " << step;
                }
            }
            const std::vector<std::int32_t>& order = fair ? c.fair : c.plain;
            EXPECT_EQ(WaitingPositions(), order) << c.name << (fair ? " (fair)" : " (plain)");
            // The rows, the oldest and the titles all follow the order shown.
            EXPECT_EQ(OldestRequestPosition(), order.empty() ? -1 : order[0]) << c.name;
            for (std::size_t k = 0; k < order.size(); ++k) {
                std::string title;
                EXPECT_TRUE(QueueEntryTitle(static_cast<std::int32_t>(k + 1), title));
                EXPECT_EQ(title, "Song " + std::to_string(order[k])) << c.name << " " << k;
            }
        }
    }
}

TEST_F(RequestRulesTest, NoConsecutiveArtistComparesWithItsPlaceInPlayOrder) {
    struct Case {
        const char* name;
        bool fair;
        std::int32_t current;
        std::vector<const char*> steps;  // unchecked; see Step
        const char* request;
        int expected;
    };
    const Case cases[] = {
        {"empty queue: the current song", false, 0, {}, "a:1", kConsecutiveArtist},
        {"empty queue: another artist plays", false, 3, {}, "a:1", kRequestAccepted},
        {"after the last entry", false, 12, {"a:3"}, "b:4", kConsecutiveArtist},
        {"the current song only while nothing waits", false, 0, {"a:3"}, "b:1", kRequestAccepted},
        {"the newest entry, not the oldest", false, 12, {"a:0", "b:3"}, "c:1", kRequestAccepted},
        {"plain: after the newest", false, 5, {"b:3", "a:0", "a:12"}, "c:1", kRequestAccepted},
        {"in turns: after the last of its turn",
         true,
         5,
         {"b:3", "a:0", "a:12"},
         "c:1",
         kConsecutiveArtist},
        {"in turns: before the next turn",
         true,
         5,
         {"b:3", "a:0", "a:12"},
         "c:13",
         kConsecutiveArtist},
        {"plain: after the entry waiting",
         false,
         5,
         {"a:0", "a:3", "end"},
         "b:1",
         kRequestAccepted},
        {"in turns: first, after the current song",
         true,
         5,
         {"a:0", "a:3", "end"},
         "b:1",
         kConsecutiveArtist},
        {"no artist never clashes", false, 5, {}, "a:6", kRequestAccepted},
    };
    for (const Case& c : cases) {
        ResetAll();
        LoadPlaylist(ArtistTitles());
        SetRules("0", true, "0", c.fair);
        player.position = c.current;
        for (const char* step : c.steps)
            Step(step, false);
        const std::string request = c.request;
        const std::size_t colon = request.find(':');
        player.received.clear();
        EXPECT_EQ(CheckRequest(DecimalValue(request.c_str() + colon + 1),
                               request.substr(0, colon).c_str()),
                  c.expected)
            << c.name;
        EXPECT_EQ(player.received, std::vector<Message>{ListPosMsg()}) << c.name;
    }
}

TEST_F(RequestRulesTest, BlockedWordsFoldAsTheSearchFolds) {
    const std::pair<const char*, int> cases[] = {
        {"", kRequestAccepted},       {"army", kBlockedSong},         {"  ARMY  ", kBlockedSong},
        {"f m", kBlockedSong},        {"demo, ,BJÖRK", kBlockedSong}, {",, ,", kRequestAccepted},
        {"of you", kRequestAccepted},
    };
    LoadPlaylist({"Abba - Waterloo", "Björk - Army of Me"});
    for (const auto& [words, expected] : cases) {
        RequestLimits rules;
        rules.blocked_words = BlockedWordList(words);
        EXPECT_EQ(Judge(rules, {}, 1), expected) << words;
    }
}

TEST_F(RequestRulesTest, RequestsPerHourCountTheLastHourOnly) {
    struct Case {
        std::int64_t limit;
        std::vector<std::int64_t> agos;  // seconds before now, oldest first
        std::int64_t wait;               // 0: accepted
    };
    const Case cases[] = {
        {0, {3, 2, 1}, 0},         {3, {120, 60}, 0},
        {3, {600, 120, 60}, 3000}, {3, {3600, 120, 60, 30}, 3480},  // an hour ago no longer counts
        {3, {3599, 10, 5}, 1},     {2, {900, 600, 300}, 3000},
        {1, {-60}, 3660},
    };
    LoadPlaylist(NumberedTitles(3));
    for (const Case& c : cases) {
        RequestLimits rules;
        rules.per_hour = c.limit;
        AcceptedTimes times;
        for (std::int64_t ago : c.agos)
            times.push_back(kNow - ago);
        EXPECT_EQ(Judge(rules, {}, 1, -1, -1, -1, {}, &times),
                  c.wait > 0 ? kHourLimitReached : kRequestAccepted);
        EXPECT_EQ(wait, c.wait) << c.limit << " " << c.agos[0];
    }
}

TEST_F(RequestRulesTest, OneSkipVotePerAddressForTheEntryPlaying) {
    struct Vote {
        std::int32_t current;
        const char* voter;  // "admin": the administrator
        VoteResult result;
        std::int32_t votes;  // against current afterwards
    };
    const Vote votes[] = {
        {4, "a", VoteResult::counted, 1},  {4, "a", VoteResult::already_voted, 1},
        {4, "b", VoteResult::counted, 2},  {5, "a", VoteResult::counted, 1},  // another song
        {5, "b", VoteResult::counted, 2},  {5, "c", VoteResult::skip, 0},
        {5, "a", VoteResult::counted, 1},  // a skip empties the ballot
        {5, "admin", VoteResult::skip, 0},
    };
    SkipBallot ballot;
    for (const Vote& v : votes) {
        const bool admin = std::string(v.voter) == "admin";
        EXPECT_EQ(CastSkipVote(ballot, v.current, v.voter, 3, admin), v.result) << v.voter;
        EXPECT_EQ(VotesAgainst(ballot, v.current), v.votes) << v.current << v.voter;
    }
}

}  // namespace
}  // namespace velvox::testing
