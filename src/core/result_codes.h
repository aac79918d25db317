// The result codes of song requests and admin actions, and their texts.
#pragma once
#include <cstdint>
#include <string>

namespace velvox {

enum RequestError : int {
    kNoError = 0,  // also: a request rule has no objection
    kRequestAccepted = 1,
    kArtistLimitReached = 4,  // MaxRequestsPerArtist requests by the artist wait
    kConsecutiveArtist = 5,   // the song would follow or precede one by its artist
    kDuplicateRequest = 6,    // the position is already waiting
    kAddressLimitReached = 7,
    kQueueFull = 8,
    kBadAdminPassword = 9,
    kQueuePositionDeleted = 10,
    kPositionOutOfRange = 11,
    kPlayedRecently = 13,  // started within SongCooldownMinutes, or playing now
};

// The party controls' codes (docs/rules.md).
constexpr int kSkipVoteCounted = 14;
constexpr int kAlreadyVoted = 15;      // this address has voted against the song playing
constexpr int kSongSkipped = 16;       // the votes reached SkipVotes, or the administrator voted
constexpr int kHourLimitReached = 17;  // RequestsPerHour requests accepted within the hour
constexpr int kBlockedSong = 18;       // the title holds one of BlockedWords
constexpr int kRequestTakenBack = 19;
constexpr int kNotYourRequest = 20;  // another address requested it
constexpr int kRequestGone = 21;     // no waiting entry has that number (played or deleted)

// Returns the message text of a result code; empty for codes the table does
// not know. A text that says when to try again holds "{when}" (see
// ResultText).
const char* RequestErrorText(int code);

// Returns the message text of a result code with "{when}" filled in: "in N
// minutes" ("in 1 minute") for a wait of minutes > 0, else "later".
std::string ResultText(int code, std::int32_t minutes);

// Returns whether a code tells of something done (a request taken, a vote
// counted), as opposed to a refusal.
bool IsSuccessCode(int code);

}  // namespace velvox
