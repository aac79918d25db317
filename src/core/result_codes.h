// The result codes of song requests and admin actions, and their texts.
#pragma once

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

// Returns the message text of a result code; empty for codes the table does
// not know.
const char* RequestErrorText(int code);

}  // namespace velvox
