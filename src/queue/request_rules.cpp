// The request rules, one function each, and their order.
#include "queue/request_rules.h"

#include <algorithm>
#include <iterator>

#include "platform/text_case.h"

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

// With RequestsPerHour, an address has at most that many requests accepted
// within the last hour.
int UnderHourlyLimit(const RequestView& r) {
    return SecondsUntilNextRequest(r) > 0 ? kHourLimitReached : kNoError;
}

// A title that holds one of the blocked words, compared as the search
// compares, cannot be requested.
int NotBlocked(const RequestView& r) {
    for (const std::string& word : r.limits.blocked_words) {
        if (TitleHolds(r.playlist, r.position, word))
            return kBlockedSong;
    }
    return kNoError;
}

// A position waits at most once.
int NotWaitingYet(const RequestView& r) {
    for (const QueueEntry& e : r.queue) {
        if (e.position == r.position)
            return kDuplicateRequest;
    }
    return kNoError;
}

// The artist list keeps names of at most this many bytes; the rules compare
// artists as it lists them.
constexpr std::size_t kArtistNameLimit = 254;

// Returns the artist of position as the artist list reads it; empty when the
// position has no title or its title names no artist.
std::string_view ArtistAt(const RequestView& r, std::int32_t position) {
    std::string_view artist;
    if (!CachedArtist(r.playlist, position, artist))
        return {};
    return artist.substr(0, std::min(artist.size(), kArtistNameLimit));
}

// With a cooldown, a song waits that long after it began, and as long as it
// is the player's current song.
int NotPlayedRecently(const RequestView& r) {
    if (r.limits.cooldownSeconds <= 0)
        return kNoError;
    if (r.position == r.current)
        return kPlayedRecently;
    const auto started = r.starts.find(r.position);
    if (started != r.starts.end() && r.now - started->second < r.limits.cooldownSeconds)
        return kPlayedRecently;
    return kNoError;
}

// At most maxPerArtist waiting entries share the request's artist; a title
// without an artist is nobody's and never counts.
int ArtistUnderLimit(const RequestView& r) {
    if (r.limits.maxPerArtist <= 0)
        return kNoError;
    const std::string_view artist = ArtistAt(r, r.position);
    if (artist.empty())
        return kNoError;
    std::int64_t byArtist = 0;
    for (const QueueEntry& e : r.queue) {
        if (ArtistAt(r, e.position) == artist)
            ++byArtist;
    }
    return byArtist >= r.limits.maxPerArtist ? kArtistLimitReached : kNoError;
}

// A request would not play right after, or right before, a song by its artist.
int NoArtistTwiceInARow(const RequestView& r) {
    if (!r.limits.noConsecutiveArtist)
        return kNoError;
    const std::string_view artist = ArtistAt(r, r.position);
    if (artist.empty())
        return kNoError;
    if (ArtistAt(r, r.before) == artist || ArtistAt(r, r.after) == artist)
        return kConsecutiveArtist;
    return kNoError;
}

// In the order they are tried; a new rule is one row here.
const RequestRule kRules[] = {
    PositionInRange, NotBlocked,        QueueHasRoom,     AddressUnderLimit,   UnderHourlyLimit,
    NotWaitingYet,   NotPlayedRecently, ArtistUnderLimit, NoArtistTwiceInARow,
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

// A time counts while less than an hour has passed since it (one in the
// clock's future counts too); the next request is let in when enough of the
// counted ones have left the hour.
std::int64_t SecondsUntilNextRequest(const RequestView& r) {
    if (r.limits.per_hour <= 0 || r.accepted == nullptr)
        return 0;
    std::vector<std::int64_t> counted;
    for (std::int64_t at : *r.accepted) {
        if (r.now - at < kHourSeconds)
            counted.push_back(at);
    }
    const auto limit = static_cast<std::size_t>(r.limits.per_hour);
    if (counted.size() < limit)
        return 0;
    std::sort(counted.begin(), counted.end());
    return counted[counted.size() - limit] + kHourSeconds - r.now;
}

std::vector<std::string> BlockedWordList(const char* text) {
    std::vector<std::string> words;
    const std::string_view all = text != nullptr ? text : "";
    std::size_t start = 0;
    while (start <= all.size()) {
        std::size_t end = all.find(',', start);
        if (end == std::string_view::npos)
            end = all.size();
        std::string_view word = all.substr(start, end - start);
        const std::size_t first = word.find_first_not_of(" \t");
        if (first != std::string_view::npos) {
            word = word.substr(first, word.find_last_not_of(" \t") - first + 1);
            std::string folded;
            platform::fold_case(word, folded);
            words.push_back(std::move(folded));
        }
        start = end + 1;
    }
    return words;
}

}  // namespace velvox
