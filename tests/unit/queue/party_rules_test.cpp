// The party controls through their functions, time passed in: blocked words,
// requests per hour, skip votes, taking back a request.
#include "queue/skip_votes.h"
#include "queue_fixture.h"

namespace velvox::testing {
namespace {

constexpr std::int64_t kNow = 1'700'000'000;

class PartyRulesTest : public QueueFixture {
  protected:
    // Runs the rules at kNow for position over an empty queue; sets wait to
    // SecondsUntilNextRequest.
    static int Judge(RequestLimits limits, std::int32_t position, const AcceptedTimes* accepted,
                     std::int64_t& wait) {
        limits.maxQueue = 50;
        const std::deque<QueueEntry> queue;
        const SongStarts starts;
        const PlaylistView cache = PlaylistCache();
        const RequestView view{position, "10.0.0.1", queue, cache->length, limits,  kNow, *cache,
                               -1,       -1,         -1,    starts,        accepted};
        wait = SecondsUntilNextRequest(view);
        return ApplyRequestRules(view);
    }
};

TEST_F(PartyRulesTest, BlockedWordsFoldAsTheSearchFolds) {
    struct Case {
        const char* words;
        std::int32_t position;
        int expected;
    };
    const Case cases[] = {
        {"", 0, kRequestAccepted},        {"live", 0, kBlockedSong},
        {"  (LIVE)  ", 0, kBlockedSong},   // blanks around a word dropped, case folded
        {"demo, ,live", 0, kBlockedSong},  // any word; empty ones left out
        {",, ,", 0, kRequestAccepted},    {"BJÖRK", 1, kBlockedSong},  // Unicode case folding
        {"g 2", 2, kBlockedSong},                                      // inner blanks kept
        {"song 3", 2, kRequestAccepted},  {"live", 4, kPositionOutOfRange},
    };
    LoadPlaylist({"Abba - Waterloo (Live)", "Björk - Army of Me", "Blur - Song 2", "Solo"});
    for (const Case& c : cases) {
        RequestLimits limits;
        limits.blocked_words = BlockedWordList(c.words);
        std::int64_t wait = 0;
        EXPECT_EQ(Judge(limits, c.position, nullptr, wait), c.expected) << c.words;
    }
}

TEST_F(PartyRulesTest, RequestsPerHourCountTheLastHourOnly) {
    struct Case {
        std::int64_t limit;
        std::vector<std::int64_t> agos;  // seconds before now, oldest first
        int expected;
        std::int64_t wait;
    };
    const Case cases[] = {
        {0, {3, 2, 1}, kRequestAccepted, 0},
        {3, {120, 60}, kRequestAccepted, 0},
        {3, {600, 120, 60}, kHourLimitReached, 3000},
        {3, {3600, 120, 60, 30}, kHourLimitReached, 3480},  // an hour ago no longer counts
        {3, {3599, 10, 5}, kHourLimitReached, 1},
        {2, {900, 600, 300}, kHourLimitReached, 3000},  // two must leave the hour
        {1, {-60}, kHourLimitReached, 3660},            // the clock's future counts
    };
    LoadPlaylist(NumberedTitles(3));
    for (const Case& c : cases) {
        RequestLimits limits;
        limits.per_hour = c.limit;
        AcceptedTimes times;
        for (std::int64_t ago : c.agos)
            times.push_back(kNow - ago);
        std::int64_t wait = -1;
        EXPECT_EQ(Judge(limits, 1, &times, wait), c.expected) << c.limit << " " << c.agos[0];
        EXPECT_EQ(wait, c.wait) << c.limit << " " << c.agos[0];
    }
}

TEST_F(PartyRulesTest, TheHourLimitGivesItsMinutesAndOpensAsTheClockMoves) {
    struct Step {
        std::int64_t at;  // seconds after the first request
        std::int32_t position;
        const char* address;
        int expected;
        std::int32_t minutes;
    };
    const Step steps[] = {
        {0, 1, "a", kRequestAccepted, 0},     {60, 2, "a", kRequestAccepted, 0},
        {60, 3, "a", kHourLimitReached, 59},  {60, 3, "b", kRequestAccepted, 0},
        {3599, 4, "a", kHourLimitReached, 1}, {3600, 4, "a", kRequestAccepted, 0},
        {3600, 5, "a", kHourLimitReached, 1},
    };
    UseTestClock();
    LoadPlaylist(NumberedTitles(10));
    PluginSettings settings;
    CopyCut(settings.RequestsPerHour, "2");
    CopyCut(settings.g_MaxRequestsPerIP, "0");
    PublishSettings(settings);
    for (const Step& s : steps) {
        g_testNow = kNow + s.at;
        std::int32_t minutes = 0;
        EXPECT_EQ(CheckAndInsertRequest(s.position, s.address, &minutes), s.expected) << s.at;
        EXPECT_EQ(minutes, s.minutes) << s.at;
    }
}

TEST_F(PartyRulesTest, OneSkipVotePerAddressForTheEntryPlaying) {
    struct Vote {
        std::int64_t needed;
        std::int32_t current;
        const char* voter;
        bool admin;
        VoteResult result;
        std::int32_t votes;  // against current afterwards
    };
    const Vote votes[] = {
        {3, 4, "a", false, VoteResult::counted, 1},
        {3, 4, "a", false, VoteResult::already_voted, 1},
        {3, 4, "b", false, VoteResult::counted, 2},
        {3, 5, "a", false, VoteResult::counted, 1},  // another song: counted afresh
        {3, 5, "b", false, VoteResult::counted, 2},
        {3, 5, "c", false, VoteResult::skip, 0},
        {3, 5, "a", false, VoteResult::counted, 1},  // a skip empties the ballot
        {3, 5, "z", true, VoteResult::skip, 0},      // the administrator at once
        {1, 6, "a", false, VoteResult::skip, 0},
    };
    SkipBallot ballot;
    for (const Vote& v : votes) {
        EXPECT_EQ(CastSkipVote(ballot, v.current, v.voter, v.needed, v.admin), v.result)
            << v.current << v.voter;
        EXPECT_EQ(VotesAgainst(ballot, v.current), v.votes) << v.current << v.voter;
    }
}

TEST_F(PartyRulesTest, EnoughVotesEndTheTrackAsIfItHadFinished) {
    PluginSettings settings;
    CopyCut(settings.SkipVotes, "2");
    PublishSettings(settings);
    LoadPlaylist(NumberedTitles(5));
    player.position = 3;
    EXPECT_EQ(VoteToSkip("a", false), kSkipVoteCounted);
    EXPECT_EQ(VoteToSkip("a", false), kAlreadyVoted);
    EXPECT_EQ(SkipVotesFor(3), 1);
    EXPECT_EQ(VoteToSkip("b", false), kSongSkipped);
    EXPECT_EQ(player.received,
              (std::vector<Message>{ListPosMsg(), ListPosMsg(), ListPosMsg(), EndOfTrackMsg()}));
    EXPECT_EQ(VoteToSkip("a", false), kSkipVoteCounted);
    HandleEndOfTrack();
    EXPECT_EQ(SkipVotesFor(3), 0);
}

TEST_F(PartyRulesTest, OnlyItsOwnAddressOrTheAdministratorTakesARequestBack) {
    struct Step {
        int entry;  // 0 or 1: the first or second entry queued; 2: one never queued
        const char* requester;
        bool admin;
        int expected;
        std::vector<std::int32_t> waiting;
    };
    const Step steps[] = {
        {0, "b", false, kNotYourRequest, {1, 2}}, {0, "a", false, kRequestTakenBack, {2}},
        {0, "a", false, kRequestGone, {2}},       {2, "a", true, kRequestGone, {2}},
        {1, "a", true, kRequestTakenBack, {}},
    };
    LoadPlaylist(NumberedTitles(5));
    InsertRequest(1, "a");
    InsertRequest(2, "b");
    const std::vector<QueueEntry> queued = QueueInPlayOrder();
    const std::uint64_t serials[] = {queued[0].serial, queued[1].serial, queued[1].serial + 1};
    for (const Step& s : steps) {
        EXPECT_EQ(TakeBackRequest(serials[s.entry], s.requester, s.admin), s.expected);
        EXPECT_EQ(WaitingPositions(), s.waiting);
    }
}

}  // namespace
}  // namespace velvox::testing
