// The request rules, one function each, and their order.
#include "queue/request_rules.h"

#include <iterator>

namespace velvox {

namespace {

// The position must name an entry of the playlist copy.
int PositionInRange(const RequestView& r) {
    return r.position < 0 || r.position >= r.cacheLength ? kPositionOutOfRange : kNoError;
}

// The queue takes at most maxQueue entries.
int QueueHasRoom(const RequestView& r) {
    return static_cast<std::int64_t>(r.queue.size()) >= r.limits.maxQueue ? kQueueFull : kNoError;
}

// One address has at most maxPerAddress entries waiting (0: any number).
int AddressUnderLimit(const RequestView& r) {
    if (r.limits.maxPerAddress == 0)
        return kNoError;
    std::int64_t fromAddress = 0;
    for (const QueueEntry& e : r.queue) {
        if (e.requester == r.requester)
            ++fromAddress;
    }
    return fromAddress >= r.limits.maxPerAddress ? kAddressLimitReached : kNoError;
}

// A position waits at most once.
int NotWaitingYet(const RequestView& r) {
    for (const QueueEntry& e : r.queue) {
        if (e.position == r.position)
            return kDuplicateRequest;
    }
    return kNoError;
}

// In the order they are tried; a new rule is one row here.
const RequestRule kRules[] = {
    PositionInRange,
    QueueHasRoom,
    AddressUnderLimit,
    NotWaitingYet,
};

}  // namespace

int ApplyRequestRules(const RequestView& request) {
    for (RequestRule rule : kRules) {
        const int code = rule(request);
        if (code != kNoError)
            return code;
    }
    return kRequestAccepted;
}

}  // namespace velvox
