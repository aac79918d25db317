// The request queue and its acceptance rules, all under QueueLock.
#include "queue/request_queue.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

#include "platform/services.h"

#include "core/host_ops.h"
#include "core/settings.h"
#include "core/text.h"
#include "queue/playlist_cache.h"

namespace velvox {

namespace {

// Turns, for FairOrder. Every entry is given a turn when it joins: the turn
// being played, or the turn after the latest one its address was given,
// whichever is later. With FairOrder the entries play by turn, oldest first
// within a turn. The turn being played is that of the entry played last; a
// queue that runs empty starts the turns afresh. The turns are kept in the
// entries themselves, so the fair order is worked out from them at every use
// and can never drift from the queue.
struct QueueStore {
    // Newest first: index 0 is the newest entry, the back the oldest.
    std::deque<QueueEntry> entries;
    std::uint64_t nextSerial = 1;
    std::uint64_t playedTurn = 0;
    // The latest turn given to each address; one below playedTurn is dropped,
    // since it no longer makes a difference.
    std::map<std::string, std::uint64_t, std::less<>> lastTurn;
    // For SongCooldownMinutes: when positions began, and the position the
    // player was last seen at.
    SongStarts starts;
    std::int32_t seenCurrent = -1;
    // For RequestsPerHour: when each address's requests were accepted, kept
    // while the limit is on and for an hour at most.
    std::map<std::string, AcceptedTimes, std::less<>> accepted;
};

// Returns the process-wide queue; never destroyed (threads may outlive exit).
QueueStore& store() {
    static auto* s = new QueueStore;
    return *s;
}

// Returns the rules' time: seconds since the epoch.
std::int64_t Now() {
    return platform::services().now_seconds();
}

// Returns whether the queue plays in turns (the setting is read at every use).
bool FairOrderOn() {
    return CurrentSettings()->FairOrder;
}

// Returns the key entries play in, lowest first: the serial number (arrival),
// or with FairOrder the turn and then the serial number.
std::pair<std::uint64_t, std::uint64_t> PlayKey(const QueueEntry& e, bool fair) {
    return {fair ? e.turn : 0, e.serial};
}

// Returns the internal indexes of the entries in play order. QueueLock must
// be held.
std::vector<std::size_t> PlayOrder(const QueueStore& s, bool fair) {
    std::vector<std::size_t> order(s.entries.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = order.size() - 1 - i;
    if (fair) {
        std::sort(order.begin(), order.end(), [&s](std::size_t a, std::size_t b) {
            return PlayKey(s.entries[a], true) < PlayKey(s.entries[b], true);
        });
    }
    return order;
}

// Returns the internal index of 1-based play-order position p, or -1 when
// there is no such entry. QueueLock must be held.
std::ptrdiff_t IndexOfPlayPosition(const QueueStore& s, std::int32_t p, bool fair) {
    const auto length = static_cast<std::int64_t>(s.entries.size());
    if (p < 1 || p > length)
        return -1;
    if (!fair)
        return static_cast<std::ptrdiff_t>(length - p);
    return static_cast<std::ptrdiff_t>(PlayOrder(s, true)[static_cast<std::size_t>(p - 1)]);
}

// Returns the turn a new request from requester would join. QueueLock must be
// held.
std::uint64_t TurnFor(const QueueStore& s, std::string_view requester) {
    const auto last = s.lastTurn.find(requester);
    if (last == s.lastTurn.end())
        return s.playedTurn;
    return std::max(s.playedTurn, last->second + 1);
}

// Finds the positions a new entry would have on either side in play order:
// before it the last entry that plays earlier (current when none does), after
// it the first that plays later (-1 when none does). QueueLock must be held.
void Neighbours(const QueueStore& s, const QueueEntry& added, bool fair, std::int32_t current,
                std::int32_t& before, std::int32_t& after) {
    const QueueEntry* previous = nullptr;
    const QueueEntry* next = nullptr;
    for (const QueueEntry& e : s.entries) {
        if (PlayKey(e, fair) < PlayKey(added, fair)) {
            if (previous == nullptr || PlayKey(*previous, fair) < PlayKey(e, fair))
                previous = &e;
        } else if (next == nullptr || PlayKey(e, fair) < PlayKey(*next, fair)) {
            next = &e;
        }
    }
    before = previous != nullptr ? previous->position : current;
    after = next != nullptr ? next->position : -1;
}

// Records that the player was found at position at time now: a position other
// than the one seen last counts as begun then; -1 (not known) only forgets.
// QueueLock must be held.
void NoteCurrentLocked(QueueStore& s, std::int32_t position, std::int64_t now) {
    if (position == s.seenCurrent)
        return;
    s.seenCurrent = position;
    if (position >= 0)
        s.starts[position] = now;
}

// What a check reads before it takes the lock.
struct CheckInputs {
    RequestLimits limits;
    bool fair = false;
    std::int32_t current = -1;  // asked only when a rule needs it
    std::int64_t now = 0;
};

// Reads the limits from the settings in force (so a changed setting applies
// at once) and, when a rule needs the current song, asks the player for it:
// a message, so no lock may be held.
CheckInputs ReadCheckInputs() {
    const SettingsSnapshot settings = CurrentSettings();
    CheckInputs in;
    in.limits.maxQueue = DecimalValue(settings->g_MaxQueueSize);
    in.limits.maxPerAddress = DecimalValue(settings->g_MaxRequestsPerIP);
    in.limits.maxPerArtist = DecimalValue(settings->MaxRequestsPerArtist);
    in.limits.noConsecutiveArtist = settings->NoConsecutiveArtist;
    in.limits.cooldownSeconds = std::int64_t{DecimalValue(settings->SongCooldownMinutes)} * 60;
    in.limits.per_hour = DecimalValue(settings->RequestsPerHour);
    if (settings->BlockedWords[0] != '\0')
        in.limits.blocked_words = BlockedWordList(settings->BlockedWords);
    in.fair = settings->FairOrder;
    if (in.limits.noConsecutiveArtist || in.limits.cooldownSeconds > 0)
        in.current = GetListPos();
    in.now = Now();
    return in;
}

// Returns the times requester's requests were accepted; null for none.
// QueueLock must be held.
const AcceptedTimes* AcceptedFrom(const QueueStore& s, std::string_view requester) {
    const auto found = s.accepted.find(requester);
    return found != s.accepted.end() ? &found->second : nullptr;
}

// Counts an accepted request of requester at time now and forgets every time
// an hour old, so that only the limit's hour is kept. QueueLock must be held.
void CountAccepted(QueueStore& s, const char* requester, std::int64_t now) {
    s.accepted[requester != nullptr ? requester : ""].push_back(now);
    for (auto it = s.accepted.begin(); it != s.accepted.end();) {
        AcceptedTimes& times = it->second;
        while (!times.empty() && now - times.front() >= kHourSeconds)
            times.pop_front();
        it = times.empty() ? s.accepted.erase(it) : std::next(it);
    }
}

// Runs the rules over the queue as it stands; notes the current song when it
// was asked for. Sets wait_minutes, when given, for a refusal by the hour's
// limit. QueueLock must be held.
int CheckLocked(QueueStore& s, const CheckInputs& in, std::int32_t position, const char* requester,
                std::int32_t* wait_minutes = nullptr) {
    const std::string_view who = requester != nullptr ? requester : "";
    if (in.current >= 0)
        NoteCurrentLocked(s, in.current, in.now);
    const PlaylistView cache = PlaylistCache();
    QueueEntry added{position, {}, s.nextSerial, TurnFor(s, who)};
    std::int32_t before = -1;
    std::int32_t after = -1;
    if (in.limits.noConsecutiveArtist)
        Neighbours(s, added, in.fair, in.current, before, after);
    const RequestView view{position,  who,    s.entries, cache->length,
                           in.limits, in.now, *cache,    in.current,
                           before,    after,  s.starts,  AcceptedFrom(s, who)};
    const int code = ApplyRequestRules(view);
    if (code == kHourLimitReached && wait_minutes != nullptr) {
        constexpr std::int64_t kMinute = 60;
        const std::int64_t seconds = SecondsUntilNextRequest(view);
        const std::int64_t minutes = (seconds + kMinute - 1) / kMinute;
        *wait_minutes = static_cast<std::int32_t>(std::min<std::int64_t>(minutes, INT32_MAX));
    }
    return code;
}

// Puts a new entry in front of all others, in its address's next turn.
// QueueLock must be held.
void InsertLocked(QueueStore& s, std::int32_t position, const char* requester) {
    std::string who = requester != nullptr ? requester : "";
    const std::uint64_t turn = TurnFor(s, who);
    s.lastTurn[who] = turn;
    s.entries.push_front(QueueEntry{position, std::move(who), s.nextSerial++, turn});
}

// Starts the turns afresh once the queue has run empty. QueueLock must be held.
void ForgetTurnsWhenEmpty(QueueStore& s) {
    if (!s.entries.empty())
        return;
    s.playedTurn = 0;
    s.lastTurn.clear();
}

// Removes the entry at index as played: its turn is the one being played now.
// QueueLock must be held.
void TakeLocked(QueueStore& s, std::size_t index) {
    s.playedTurn = std::max(s.playedTurn, s.entries[index].turn);
    s.entries.erase(s.entries.begin() + static_cast<std::ptrdiff_t>(index));
    for (auto it = s.lastTurn.begin(); it != s.lastTurn.end();) {
        if (it->second < s.playedTurn)
            it = s.lastTurn.erase(it);
        else
            ++it;
    }
    ForgetTurnsWhenEmpty(s);
}

}  // namespace

platform::Lock& QueueLock() {
    static auto* lock = new platform::Lock;
    return *lock;
}

int CheckRequest(std::int32_t position, const char* requester) {
    const CheckInputs in = ReadCheckInputs();
    std::lock_guard<platform::Lock> hold(QueueLock());
    return CheckLocked(store(), in, position, requester);
}

void InsertRequest(std::int32_t position, const char* requester) {
    std::lock_guard<platform::Lock> hold(QueueLock());
    InsertLocked(store(), position, requester);
}

int CheckAndInsertRequest(std::int32_t position, const char* requester,
                          std::int32_t* wait_minutes) {
    const CheckInputs in = ReadCheckInputs();
    std::lock_guard<platform::Lock> hold(QueueLock());
    QueueStore& s = store();
    const int code = CheckLocked(s, in, position, requester, wait_minutes);
    if (code == kRequestAccepted) {
        InsertLocked(s, position, requester);
        if (in.limits.per_hour > 0)
            CountAccepted(s, requester, in.now);
    }
    return code;
}

std::int32_t OldestRequestPosition() {
    const bool fair = FairOrderOn();
    std::lock_guard<platform::Lock> hold(QueueLock());
    const QueueStore& s = store();
    const std::ptrdiff_t index = IndexOfPlayPosition(s, 1, fair);
    return index < 0 ? -1 : s.entries[static_cast<std::size_t>(index)].position;
}

bool PeekOldestRequest(std::int32_t& position, std::uint64_t& serial) {
    const bool fair = FairOrderOn();
    std::lock_guard<platform::Lock> hold(QueueLock());
    const QueueStore& s = store();
    const std::ptrdiff_t index = IndexOfPlayPosition(s, 1, fair);
    if (index < 0)
        return false;
    position = s.entries[static_cast<std::size_t>(index)].position;
    serial = s.entries[static_cast<std::size_t>(index)].serial;
    return true;
}

void TakeOldestRequest() {
    const bool fair = FairOrderOn();
    std::lock_guard<platform::Lock> hold(QueueLock());
    QueueStore& s = store();
    const std::ptrdiff_t index = IndexOfPlayPosition(s, 1, fair);
    if (index >= 0)
        TakeLocked(s, static_cast<std::size_t>(index));
}

bool TakeRequest(std::uint64_t serial) {
    std::lock_guard<platform::Lock> hold(QueueLock());
    QueueStore& s = store();
    for (std::size_t i = 0; i < s.entries.size(); ++i) {
        if (s.entries[i].serial == serial) {
            TakeLocked(s, i);
            return true;
        }
    }
    return false;
}

int RemoveAtPlayPosition(std::int32_t p) {
    const bool fair = FairOrderOn();
    std::lock_guard<platform::Lock> hold(QueueLock());
    QueueStore& s = store();
    const std::ptrdiff_t index = IndexOfPlayPosition(s, p, fair);
    if (index < 0)
        return kPositionOutOfRange;
    s.entries.erase(s.entries.begin() + index);
    ForgetTurnsWhenEmpty(s);
    return kQueuePositionDeleted;
}

int TakeBackRequest(std::uint64_t serial, const char* requester, bool admin) {
    const std::string_view who = requester != nullptr ? requester : "";
    std::lock_guard<platform::Lock> hold(QueueLock());
    QueueStore& s = store();
    for (auto it = s.entries.begin(); it != s.entries.end(); ++it) {
        if (it->serial != serial)
            continue;
        if (!admin && it->requester != who)
            return kNotYourRequest;
        // As the administrator's delete: the others keep their turns.
        s.entries.erase(it);
        ForgetTurnsWhenEmpty(s);
        return kRequestTakenBack;
    }
    return kRequestGone;
}

std::int32_t QueueLength() {
    std::lock_guard<platform::Lock> hold(QueueLock());
    return static_cast<std::int32_t>(store().entries.size());
}

bool QueueEntryTitle(std::int32_t p, std::string& title) {
    const bool fair = FairOrderOn();
    std::int32_t position;
    {
        std::lock_guard<platform::Lock> hold(QueueLock());
        const QueueStore& s = store();
        const std::ptrdiff_t index = IndexOfPlayPosition(s, p, fair);
        if (index < 0)
            return false;
        position = s.entries[static_cast<std::size_t>(index)].position;
    }
    return CachedTitle(position, title);
}

std::vector<QueueEntry> QueueInPlayOrder() {
    const bool fair = FairOrderOn();
    std::lock_guard<platform::Lock> hold(QueueLock());
    const QueueStore& s = store();
    std::vector<QueueEntry> entries;
    entries.reserve(s.entries.size());
    for (std::size_t index : PlayOrder(s, fair))
        entries.push_back(s.entries[index]);
    return entries;
}

bool SongCooldownOn() {
    return DecimalValue(CurrentSettings()->SongCooldownMinutes) > 0;
}

void NoteSongStarted(std::int32_t position) {
    const std::int64_t now = Now();
    std::lock_guard<platform::Lock> hold(QueueLock());
    QueueStore& s = store();
    s.seenCurrent = position;
    if (position >= 0)
        s.starts[position] = now;
}

void NoteCurrentSong(std::int32_t position) {
    const std::int64_t now = Now();
    std::lock_guard<platform::Lock> hold(QueueLock());
    NoteCurrentLocked(store(), position, now);
}

void ClearRequestQueue() {
    std::lock_guard<platform::Lock> hold(QueueLock());
    QueueStore& s = store();
    s.entries.clear();
    ForgetTurnsWhenEmpty(s);
    s.starts.clear();
    s.seenCurrent = -1;
    s.accepted.clear();
}

}  // namespace velvox
