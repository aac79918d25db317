// The start times of waiting requests and the entry lengths they add up.
#include "queue/queue_times.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/host_ops.h"

namespace velvox {

namespace {

// At most this many titles seen playing are kept; past it they start anew.
constexpr std::size_t kMostPlayed = 10000;

// A sum of lengths and how many went into it.
struct LengthSum {
    std::int64_t seconds = 0;
    std::int64_t count = 0;
};

struct LengthStore {
    std::mutex mutex;  // held only to read or change the fields
    // The copy the answers belong to: positions name other songs in another.
    std::weak_ptr<const PlaylistSnapshot> version;
    std::unordered_map<std::int32_t, std::int32_t> answered;  // 0 or less: unknown
    LengthSum answered_known;
    std::unordered_map<std::string, std::int32_t> played;  // by title
    LengthSum played_sum;
};

// Returns the process-wide store; never destroyed (threads may outlive exit).
LengthStore& Store() {
    static auto* s = new LengthStore;
    return *s;
}

// Forgets the answers of an older copy. The lock is held.
void FollowVersion(LengthStore& s, const PlaylistView& cache) {
    if (s.version.lock() == cache)
        return;
    s.version = cache;
    s.answered.clear();
    s.answered_known = {};
}

// Records that the song titled title played with a length of seconds.
void NotePlayed(LengthStore& s, const std::string& title, std::int32_t seconds) {
    if (s.played.size() >= kMostPlayed && s.played.count(title) == 0) {
        s.played.clear();
        s.played_sum = {};
    }
    auto [at, added] = s.played.emplace(title, seconds);
    if (!added)
        s.played_sum.seconds -= at->second;
    else
        ++s.played_sum.count;
    at->second = seconds;
    s.played_sum.seconds += seconds;
}

// Asks the player for the lengths of the positions of queue it has not been
// asked under this copy, with no lock held while it answers.
void AskMissingLengths(LengthStore& s, const PlaylistView& cache,
                       const std::vector<QueueEntry>& queue) {
    std::vector<std::int32_t> missing;
    {
        std::lock_guard<std::mutex> hold(s.mutex);
        FollowVersion(s, cache);
        for (const QueueEntry& entry : queue) {
            if (s.answered.count(entry.position) == 0 &&
                std::find(missing.begin(), missing.end(), entry.position) == missing.end())
                missing.push_back(entry.position);
        }
    }
    if (missing.empty())
        return;
    std::vector<PlayerQuestion> asked;
    for (std::int32_t position : missing)
        asked.push_back({kMsgUser, static_cast<platform::WParam>(position), kIpcGetEntryLength});
    AskPlayer(asked.data(), asked.size());
    std::lock_guard<std::mutex> hold(s.mutex);
    FollowVersion(s, cache);
    for (std::size_t i = 0; i < missing.size(); ++i) {
        const auto answer = static_cast<std::int32_t>(asked[i].answer);
        if (!s.answered.emplace(missing[i], answer).second || answer <= 0)
            continue;
        s.answered_known.seconds += answer;
        ++s.answered_known.count;
    }
}

// Returns the length of the song titled title: the player's answer (given as
// answer) when it knew it, else the length it was seen playing with, else the
// average of every length known; an estimate but for the first. The lock is
// held.
StartTime LengthOf(const LengthStore& s, std::int32_t answer, std::string_view title) {
    if (answer > 0)
        return {answer, false};
    const auto seen = s.played.find(std::string(title));
    if (seen != s.played.end())
        return {seen->second, true};
    const std::int64_t count = s.answered_known.count + s.played_sum.count;
    if (count == 0)
        return {};
    const std::int64_t sum = s.answered_known.seconds + s.played_sum.seconds;
    return {static_cast<std::int32_t>((sum + count / 2) / count), true};
}

// Returns a + b: unknown when either is, an estimate when either is.
StartTime Add(StartTime a, StartTime b) {
    if (a.seconds < 0 || b.seconds < 0)
        return {};
    const std::int64_t sum = std::int64_t{a.seconds} + b.seconds;
    return {sum > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(sum), a.estimate || b.estimate};
}

// Returns the time left of the current song; its length guessed as an
// entry's when the player does not tell it.
StartTime TimeLeft(const LengthStore& s, const CurrentPlay& now,
                   std::optional<std::string_view> title) {
    StartTime length{now.length_seconds, false};
    if (now.length_seconds <= 0)
        length = title ? LengthOf(s, 0, *title) : StartTime{};
    if (length.seconds < 0)
        return {};
    const std::int32_t elapsed = now.elapsed_ms / 1000;
    return {length.seconds > elapsed ? length.seconds - elapsed : 0, length.estimate};
}

}  // namespace

std::vector<StartTime> QueueStartTimes(const PlaylistView& cache, const CurrentPlay& now,
                                       const std::vector<QueueEntry>& queue) {
    std::vector<StartTime> times(queue.size());
    if (now.elapsed_ms < 0)
        return times;
    LengthStore& s = Store();
    const std::optional<std::string_view> current = CachedTitle(*cache, now.position);
    AskMissingLengths(s, cache, queue);
    std::lock_guard<std::mutex> hold(s.mutex);
    if (current && now.length_seconds > 0)
        NotePlayed(s, std::string(*current), now.length_seconds);
    FollowVersion(s, cache);
    StartTime at = TimeLeft(s, now, current);
    for (std::size_t i = 0; i < queue.size(); ++i) {
        times[i] = at;
        const std::optional<std::string_view> title = CachedTitle(*cache, queue[i].position);
        const auto answer = s.answered.find(queue[i].position);
        at = Add(at, LengthOf(s, answer != s.answered.end() ? answer->second : 0,
                              title ? *title : std::string_view()));
    }
    return times;
}

void ClearTrackLengths() {
    LengthStore& s = Store();
    std::lock_guard<std::mutex> hold(s.mutex);
    s.version.reset();
    s.answered.clear();
    s.answered_known = {};
    s.played.clear();
    s.played_sum = {};
}

}  // namespace velvox
