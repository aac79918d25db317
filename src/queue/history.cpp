// The recently played list.
#include "queue/history.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>

#include "core/text.h"
#include "queue/playlist_cache.h"

namespace velvox {

namespace {

struct HistoryStore {
    std::mutex mutex;                // held only to copy or change titles
    std::deque<std::string> titles;  // newest first
    std::atomic<bool> inUse{false};
};

// Returns the process-wide list; never destroyed (threads may outlive exit).
HistoryStore& store() {
    static auto* s = new HistoryStore;
    return *s;
}

}  // namespace

std::size_t HistoryLimit(const PluginSettings& settings) {
    const std::int32_t size = DecimalValue(settings.HistorySize);
    if (size <= 0)
        return 0;
    return std::min(static_cast<std::size_t>(size), kHistoryMax);
}

// The entry current at the end of a track is the one that ended: it is read
// before the end is handled, since handling it may make another current.
bool HistoryRecording() {
    return store().inUse.load() && HistoryLimit(*CurrentSettings()) > 0;
}

bool RecordEndedTrack(std::int32_t position) {
    HistoryStore& s = store();
    const std::size_t limit = HistoryLimit(*CurrentSettings());
    if (!s.inUse.load() || limit == 0)
        return false;
    std::string title;
    if (!CachedTitle(position, title))
        return false;
    std::lock_guard<std::mutex> hold(s.mutex);
    s.titles.push_front(std::move(title));
    while (s.titles.size() > limit)
        s.titles.pop_back();
    return true;
}

std::vector<std::string> RecentlyPlayed() {
    HistoryStore& s = store();
    s.inUse.store(true);
    const std::size_t limit = HistoryLimit(*CurrentSettings());
    std::lock_guard<std::mutex> hold(s.mutex);
    const std::size_t count = std::min(limit, s.titles.size());
    return std::vector<std::string>(s.titles.begin(),
                                    s.titles.begin() + static_cast<std::ptrdiff_t>(count));
}

void ClearHistory() {
    HistoryStore& s = store();
    std::lock_guard<std::mutex> hold(s.mutex);
    s.titles.clear();
    s.inUse.store(false);
}

}  // namespace velvox
