// The playlist copy: immutable snapshots, rebuilt aside and published at once.
#include "queue/playlist_cache.h"

#include <mutex>
#include <utility>

#include "core/host_ops.h"
#include "host/text_case.h"

namespace velvox {

namespace {

struct CacheStore {
    std::mutex mutex;  // held only to copy or swap the pointer, never while sending
    PlaylistView current = std::make_shared<const PlaylistSnapshot>();
};

// Returns the process-wide store; never destroyed, so threads still running at
// exit never see it go.
CacheStore& store() {
    static auto* s = new CacheStore;
    return *s;
}

// Returns a copy of text in lower case, for the case-blind searches.
std::string LowerCased(const std::string& text) {
    std::string lower(text);
    host::lower_case(lower);
    return lower;
}

// Makes snapshot the one in force.
void Publish(PlaylistView snapshot) {
    CacheStore& s = store();
    std::lock_guard<std::mutex> hold(s.mutex);
    s.current = std::move(snapshot);
}

}  // namespace

PlaylistView PlaylistCache() {
    CacheStore& s = store();
    std::lock_guard<std::mutex> hold(s.mutex);
    return s.current;
}

void RefreshPlaylistCache() {
    // The player is asked with no lock held: its window thread may itself be
    // waiting for one of ours.
    const std::int32_t length = GetListLength();
    if (length == CachedLength())
        return;
    auto next = std::make_shared<PlaylistSnapshot>();
    next->length = length;
    if (length > 0) {
        const auto count = static_cast<std::size_t>(length);
        next->titles.reserve(count);
        next->lowerTitles.reserve(count);
        for (std::int32_t i = 0; i < length; ++i) {
            next->titles.push_back(GetPlaylistTitle(i));
            next->lowerTitles.push_back(LowerCased(next->titles.back()));
        }
    }
    Publish(std::move(next));
}

std::int32_t CachedLength() {
    return PlaylistCache()->length;
}

const std::string* CachedTitle(const PlaylistSnapshot& cache, std::int32_t position) {
    if (position < 0 || position >= cache.length)
        return nullptr;
    const auto index = static_cast<std::size_t>(position);
    if (index >= cache.titles.size())
        return nullptr;
    return &cache.titles[index];
}

bool CachedTitle(std::int32_t position, std::string& title) {
    PlaylistView cache = PlaylistCache();
    const std::string* found = CachedTitle(*cache, position);
    if (found == nullptr)
        return false;
    title = *found;
    return true;
}

bool CachedArtist(const PlaylistSnapshot& cache, std::int32_t position, std::string_view& artist) {
    const std::string* title = CachedTitle(cache, position);
    if (title == nullptr)
        return false;
    const std::size_t mark = title->find(" -");
    artist =
        mark == std::string::npos ? std::string_view() : std::string_view(*title).substr(0, mark);
    return true;
}

bool CurrentSongTitle(std::string& title) {
    return CachedTitle(GetListPos(), title);
}

}  // namespace velvox
