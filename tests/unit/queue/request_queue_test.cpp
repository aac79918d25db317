// The request queue: acceptance rules in their order, play order, removal,
// result texts.
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
