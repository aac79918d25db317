// Votes to skip the song playing (SkipVotes): one vote per client address for
// the player's current entry; when they reach the number set, the song ends as
// if it had finished. The votes have their own lock, never held while a
// message goes to the player.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velvox {

// The votes against one entry.
struct SkipBallot {
    std::int32_t position = -1;  // the entry voted against; -1 for none
    std::vector<std::string> voters;
};

enum class VoteResult {
    counted,        // the vote counts; too few to skip yet
    already_voted,  // this address has voted against this entry; nothing changed
    skip,           // the votes are enough (or the administrator voted): skip now
};

// Casts voter's vote against the entry current, needed votes skipping it; an
// administrator's vote skips at once. A ballot for another entry is started
// afresh; one that skips is emptied. Returns what the vote did.
VoteResult CastSkipVote(SkipBallot& ballot, std::int32_t current, std::string_view voter,
                        std::int64_t needed, bool admin);

// Returns the number of votes against current in ballot.
std::int32_t VotesAgainst(const SkipBallot& ballot, std::int32_t current);

// Returns SkipVotes from the settings in force; 0 or less: voting is off.
std::int32_t SkipVotesNeeded();

// Votes against the song playing now (asked of the player first) from voter;
// when the vote skips, sends the end of the track to the player, so that the
// oldest request plays next. Returns 14 (counted), 15 (already voted) or 16
// (skipped).
int VoteToSkip(const char* voter, bool admin);

// Returns the votes against the entry current now.
std::int32_t SkipVotesFor(std::int32_t current);

// Forgets every vote: the track has changed (end of track, unit tests).
void ForgetSkipVotes();

}  // namespace velvox
