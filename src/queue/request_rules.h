// The rules that decide whether a song request may join the queue: an ordered
// list of pure functions over a read-only view of the queue.
#pragma once
#include <cstdint>
#include <deque>
#include <string_view>

#include "core/result_codes.h"
#include "queue/playlist_cache.h"

namespace velvox {

// One waiting request, with the serial number that names it for good.
struct QueueEntry {
    std::int32_t position;
    std::string requester;  // the client address text
    std::uint64_t serial = 0;
};

// The limits the rules apply, read from the settings at every check.
struct RequestLimits {
    std::int64_t maxQueue = 0;
    std::int64_t maxPerAddress = 0;  // 0: no limit
};

// What a rule sees of one request.
struct RequestView {
    std::int32_t position;                // the playlist position asked for
    std::string_view requester;           // the client address text
    const std::deque<QueueEntry>& queue;  // waiting entries, newest first
    std::int32_t cacheLength;             // the playlist copy's length
    const RequestLimits& limits;
    std::int64_t now;  // seconds since the epoch
};

// A rule gives a result code, or kNoError when it has no objection.
using RequestRule = int (*)(const RequestView& request);

// Runs the rules in their fixed order; returns the first objection, or
// kRequestAccepted when there is none.
int ApplyRequestRules(const RequestView& request);

}  // namespace velvox
