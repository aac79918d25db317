// The rules that decide whether a song request may join the queue: an ordered
// list of pure functions over a read-only view of the queue.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/result_codes.h"
#include "queue/playlist_cache.h"

namespace velvox {

// One waiting request, with the serial number that names it for good.
struct QueueEntry {
    std::int32_t position;
    std::string requester;  // the client address text
    std::uint64_t serial = 0;
    // The turn it joined, for FairOrder (see request_queue.cpp).
    std::uint64_t turn = 0;
};

// When each playlist position last began playing, in seconds since the epoch.
using SongStarts = std::unordered_map<std::int32_t, std::int64_t>;

// The limits the rules apply, read from the settings at every check.
struct RequestLimits {
    std::int64_t maxQueue = 0;
    std::int64_t maxPerAddress = 0;  // 0: no limit
    std::int64_t maxPerArtist = 0;   // 0 or less: no limit
    bool noConsecutiveArtist = false;
    std::int64_t cooldownSeconds = 0;  // 0 or less: no cooldown
    std::int64_t per_hour = 0;         // accepted requests per address an hour; 0 or less: any
    // Folded words (platform::fold_case) a title must not hold; see BlockedWordList.
    std::vector<std::string> blocked_words;
};

// When an address's requests were accepted, oldest first, in seconds since
// the epoch (kept while RequestsPerHour is on).
using AcceptedTimes = std::deque<std::int64_t>;

// The span of the requests-per-hour limit, in seconds.
constexpr std::int64_t kHourSeconds = 3600;

// What a rule sees of one request.
struct RequestView {
    std::int32_t position;                // the playlist position asked for
    std::string_view requester;           // the client address text
    const std::deque<QueueEntry>& queue;  // waiting entries, newest first
    std::int32_t cacheLength;             // the playlist copy's length
    const RequestLimits& limits;
    std::int64_t now;  // seconds since the epoch
    // The titles the artist rules read (the snapshot cacheLength came from).
    const PlaylistSnapshot& playlist;
    // The player's current position; -1 when it was not asked.
    std::int32_t current;
    // The positions the request would have on either side in play order: the
    // entry before it (the current song when it would play first) and the
    // one after it; -1 for none.
    std::int32_t before;
    std::int32_t after;
    const SongStarts& starts;
    // When the requester's requests were accepted; null for never.
    const AcceptedTimes* accepted = nullptr;
};

// A rule gives a result code, or kNoError when it has no objection.
using RequestRule = int (*)(const RequestView& request);

// Runs the rules in their fixed order; returns the first objection, or
// kRequestAccepted when there is none.
int ApplyRequestRules(const RequestView& request);

// Returns the seconds until the requests-per-hour limit lets the requester's
// next request in: 0 when it would now (or the limit is off).
std::int64_t SecondsUntilNextRequest(const RequestView& request);

// Returns the words of a BlockedWords text: split at commas, blanks around
// each word dropped, empty ones left out, each folded as the search folds.
std::vector<std::string> BlockedWordList(const char* text);

}  // namespace velvox
