// The request queue and its acceptance rules, all under QueueLock.
#include "queue/request_queue.h"

#include <cstring>
#include <deque>
#include <mutex>

#include "core/settings.h"
#include "core/text.h"
#include "queue/playlist_cache.h"

namespace velvox {

namespace {

// One waiting request with the serial number that names it for good.
struct StoredEntry {
    QueueEntry entry;
    std::uint64_t serial;
};

struct QueueStore {
    // Newest first: index 0 is the newest entry, the back is the next to play.
    std::deque<StoredEntry> entries;
    std::uint64_t nextSerial = 1;
};

// Returns the process-wide queue; never destroyed (threads may outlive exit).
QueueStore& store() {
    static auto* s = new QueueStore;
    return *s;
}

// Returns the internal index of 1-based play-order position p, or -1 when
// there is no such entry. QueueLock must be held.
std::ptrdiff_t IndexOfPlayPosition(const QueueStore& s, std::int32_t p) {
    const auto length = static_cast<std::int64_t>(s.entries.size());
    if (p < 1 || p > length)
        return -1;
    return static_cast<std::ptrdiff_t>(length - p);
}

// The acceptance rules, in their fixed order. QueueLock must be held.
int CheckLocked(const QueueStore& s, std::int32_t position, const char* requester) {
    if (position < 0 || position >= CachedLength())
        return kPositionOutOfRange;
    // The limits are read at every check, so a changed setting applies at once.
    SettingsSnapshot settings = CurrentSettings();
    const std::int64_t maxQueue = DecimalValue(settings->g_MaxQueueSize);
    const std::int64_t maxPerAddress = DecimalValue(settings->g_MaxRequestsPerIP);
    const auto length = static_cast<std::int64_t>(s.entries.size());
    if (length >= maxQueue)
        return kQueueFull;
    const char* address = requester != nullptr ? requester : "";
    std::int64_t fromAddress = 0;
    for (const StoredEntry& stored : s.entries) {
        if (stored.entry.requester == address)
            ++fromAddress;
    }
    if (maxPerAddress != 0 && fromAddress >= maxPerAddress)
        return kAddressLimitReached;
    if (s.entries.empty())
        return kRequestAccepted;
    for (const StoredEntry& stored : s.entries) {
        if (stored.entry.position == position)
            return kDuplicateRequest;
    }
    return kRequestAccepted;
}

// Puts a new entry in front of all others. QueueLock must be held.
void InsertLocked(QueueStore& s, std::int32_t position, const char* requester) {
    s.entries.push_front(
        StoredEntry{QueueEntry{position, requester != nullptr ? requester : ""}, s.nextSerial++});
}

const char* const kErrorTexts[] = {
    "No Error",
    "Request Accepted!",
    "Too many songs from the same album",
    "Too many consecutive songs from the same album",
    "Too many songs from the same artist",
    "Too many consecutive songs from the same artist",
    "Too many consecutive songs from the same artist/album/title",
    "You cannot request any more songs at this time",
    "The request queue is full",
    "The admin password you supplied was invalid",
    "Queue position deleted!",
    "Position out of range",
    "",
};

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
    return s.entries.empty() ? -1 : s.entries.back().entry.position;
}

bool PeekOldestRequest(std::int32_t& position, std::uint64_t& serial) {
    std::lock_guard<host::Lock> hold(QueueLock());
    const QueueStore& s = store();
    if (s.entries.empty())
        return false;
    position = s.entries.back().entry.position;
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
        position = s.entries[static_cast<std::size_t>(index)].entry.position;
    }
    return CachedTitle(position, title);
}

std::vector<QueueEntry> QueueInPlayOrder() {
    std::lock_guard<host::Lock> hold(QueueLock());
    const QueueStore& s = store();
    std::vector<QueueEntry> entries;
    entries.reserve(s.entries.size());
    for (auto it = s.entries.rbegin(); it != s.entries.rend(); ++it)
        entries.push_back(it->entry);
    return entries;
}

const char* RequestErrorText(int code) {
    if (code < 0 || code >= static_cast<int>(sizeof kErrorTexts / sizeof kErrorTexts[0]))
        return "";
    return kErrorTexts[code];
}

void ClearRequestQueue() {
    std::lock_guard<host::Lock> hold(QueueLock());
    store().entries.clear();
}

}  // namespace velvox
