// The request queue and its acceptance rules, all under QueueLock.
#include "queue/request_queue.h"

#include <atomic>
#include <deque>
#include <mutex>

#include "host/clock.h"

#include "core/settings.h"
#include "core/text.h"
#include "queue/playlist_cache.h"

namespace velvox {

namespace {

struct QueueStore {
    // Newest first: index 0 is the newest entry, the back is the next to play.
    std::deque<QueueEntry> entries;
    std::uint64_t nextSerial = 1;
};

// Returns the process-wide queue; never destroyed (threads may outlive exit).
QueueStore& store() {
    static auto* s = new QueueStore;
    return *s;
}

std::atomic<std::int64_t (*)()> rule_clock{nullptr};

// Returns the internal index of 1-based play-order position p, or -1 when
// there is no such entry. QueueLock must be held.
std::ptrdiff_t IndexOfPlayPosition(const QueueStore& s, std::int32_t p) {
    const auto length = static_cast<std::int64_t>(s.entries.size());
    if (p < 1 || p > length)
        return -1;
    return static_cast<std::ptrdiff_t>(length - p);
}

// Runs the rules over the queue as it stands. QueueLock must be held.
int CheckLocked(const QueueStore& s, std::int32_t position, const char* requester) {
    // The limits are read at every check, so a changed setting applies at once.
    const SettingsSnapshot settings = CurrentSettings();
    RequestLimits limits;
    limits.maxQueue = DecimalValue(settings->g_MaxQueueSize);
    limits.maxPerAddress = DecimalValue(settings->g_MaxRequestsPerIP);
    std::int64_t (*clock)() = rule_clock.load();
    const RequestView view{position,  requester != nullptr ? requester : "",
                           s.entries, CachedLength(),
                           limits,    clock != nullptr ? clock() : host::now_seconds()};
    return ApplyRequestRules(view);
}

// Puts a new entry in front of all others. QueueLock must be held.
void InsertLocked(QueueStore& s, std::int32_t position, const char* requester) {
    s.entries.push_front(
        QueueEntry{position, requester != nullptr ? requester : "", s.nextSerial++});
}

}  // namespace

host::Lock& QueueLock() {
    static auto* lock = new host::Lock;
    return *lock;
}

int CheckRequest(std::int32_t position, const char* requester) {
    std::lock_guard<host::Lock> hold(QueueLock());
    return CheckLocked(store(), position, requester);
}

void InsertRequest(std::int32_t position, const char* requester) {
    std::lock_guard<host::Lock> hold(QueueLock());
    InsertLocked(store(), position, requester);
}

int CheckAndInsertRequest(std::int32_t position, const char* requester) {
    std::lock_guard<host::Lock> hold(QueueLock());
    QueueStore& s = store();
    const int code = CheckLocked(s, position, requester);
    if (code == kRequestAccepted)
        InsertLocked(s, position, requester);
    return code;
}

std::int32_t OldestRequestPosition() {
    std::lock_guard<host::Lock> hold(QueueLock());
    const QueueStore& s = store();
    return s.entries.empty() ? -1 : s.entries.back().position;
}

bool PeekOldestRequest(std::int32_t& position, std::uint64_t& serial) {
    std::lock_guard<host::Lock> hold(QueueLock());
    const QueueStore& s = store();
    if (s.entries.empty())
        return false;
    position = s.entries.back().position;
    serial = s.entries.back().serial;
    return true;
}

void TakeOldestRequest() {
    std::lock_guard<host::Lock> hold(QueueLock());
    QueueStore& s = store();
    if (!s.entries.empty())
        s.entries.pop_back();
}

bool TakeRequest(std::uint64_t serial) {
    std::lock_guard<host::Lock> hold(QueueLock());
    QueueStore& s = store();
    for (auto it = s.entries.begin(); it != s.entries.end(); ++it) {
        if (it->serial == serial) {
            s.entries.erase(it);
            return true;
        }
    }
    return false;
}

int RemoveAtPlayPosition(std::int32_t p) {
    std::lock_guard<host::Lock> hold(QueueLock());
    QueueStore& s = store();
    const std::ptrdiff_t index = IndexOfPlayPosition(s, p);
    if (index < 0)
        return kPositionOutOfRange;
    s.entries.erase(s.entries.begin() + index);
    return kQueuePositionDeleted;
}

std::int32_t QueueLength() {
    std::lock_guard<host::Lock> hold(QueueLock());
    return static_cast<std::int32_t>(store().entries.size());
}

bool QueueEntryTitle(std::int32_t p, std::string& title) {
    std::int32_t position;
    {
        std::lock_guard<host::Lock> hold(QueueLock());
        const QueueStore& s = store();
        const std::ptrdiff_t index = IndexOfPlayPosition(s, p);
        if (index < 0)
            return false;
        position = s.entries[static_cast<std::size_t>(index)].position;
    }
    return CachedTitle(position, title);
}

std::vector<QueueEntry> QueueInPlayOrder() {
    std::lock_guard<host::Lock> hold(QueueLock());
    const QueueStore& s = store();
    std::vector<QueueEntry> entries;
    entries.reserve(s.entries.size());
    for (auto it = s.entries.rbegin(); it != s.entries.rend(); ++it)
        entries.push_back(*it);
    return entries;
}

void SetQueueClockForTesting(std::int64_t (*clock)()) {
    rule_clock.store(clock);
}

void ClearRequestQueue() {
    std::lock_guard<host::Lock> hold(QueueLock());
    store().entries.clear();
}

}  // namespace velvox
