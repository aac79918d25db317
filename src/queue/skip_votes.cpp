// Votes to skip the song playing.
#include "queue/skip_votes.h"

#include <algorithm>
#include <mutex>

#include "core/host_ops.h"
#include "core/result_codes.h"
#include "core/settings.h"
#include "core/text.h"

namespace velvox {

namespace {

struct BallotStore {
    std::mutex mutex;  // never held while a message goes to the player
    SkipBallot ballot;
};

// Returns the process-wide ballot; never destroyed (threads may outlive exit).
BallotStore& Ballots() {
    static auto* s = new BallotStore;
    return *s;
}

}  // namespace

VoteResult CastSkipVote(SkipBallot& ballot, std::int32_t current, std::string_view voter,
                        std::int64_t needed, bool admin) {
    if (ballot.position != current) {
        ballot.position = current;
        ballot.voters.clear();
    }
    if (admin) {
        ballot.voters.clear();
        return VoteResult::skip;
    }
    if (std::find(ballot.voters.begin(), ballot.voters.end(), voter) != ballot.voters.end())
        return VoteResult::already_voted;
    ballot.voters.emplace_back(voter);
    if (static_cast<std::int64_t>(ballot.voters.size()) < needed)
        return VoteResult::counted;
    ballot.voters.clear();
    return VoteResult::skip;
}

std::int32_t VotesAgainst(const SkipBallot& ballot, std::int32_t current) {
    return ballot.position == current ? static_cast<std::int32_t>(ballot.voters.size()) : 0;
}

std::int32_t SkipVotesNeeded() {
    return DecimalValue(CurrentSettings()->SkipVotes);
}

int VoteToSkip(const char* voter, bool admin) {
    const std::int32_t needed = SkipVotesNeeded();
    const std::int32_t current = GetListPos();
    VoteResult result;
    {
        BallotStore& s = Ballots();
        std::lock_guard<std::mutex> hold(s.mutex);
        result = CastSkipVote(s.ballot, current, voter != nullptr ? voter : "", needed, admin);
    }
    switch (result) {
        case VoteResult::counted:
            return kSkipVoteCounted;
        case VoteResult::already_voted:
            return kAlreadyVoted;
        case VoteResult::skip:
            break;
    }
    // The end-of-track path, as if the song had finished: the oldest request
    // plays next, or the player goes on with its list.
    SendEndOfTrack();
    return kSongSkipped;
}

std::int32_t SkipVotesFor(std::int32_t current) {
    BallotStore& s = Ballots();
    std::lock_guard<std::mutex> hold(s.mutex);
    return VotesAgainst(s.ballot, current);
}

void ForgetSkipVotes() {
    BallotStore& s = Ballots();
    std::lock_guard<std::mutex> hold(s.mutex);
    s.ballot = SkipBallot{};
}

}  // namespace velvox
