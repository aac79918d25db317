// The process-wide artist list.
#include "pages/artist_list.h"

#include <algorithm>
#include <deque>
#include <mutex>
#include <string_view>
#include <unordered_set>

#include "pages/page_text.h"
#include "platform/lock.h"

namespace velvox {
namespace {

constexpr std::size_t kArtistLimit = 254;

struct ArtistListState {
    platform::Lock lock;
    // A deque keeps each name where it is, so the set can hold views of them.
    std::deque<std::string> names;
    std::unordered_set<std::string_view> members;
    // Null after an append until the next request sorts again.
    SortedArtists sorted;
    // The snapshot scanned last: scanning it again could add nothing.
    std::weak_ptr<const PlaylistSnapshot> lastScanned;
};

// Never destroyed: connection threads are not waited for, so one may still be
// rendering an artist line while the process ends.
ArtistListState& State() {
    static auto* state = new ArtistListState;
    return *state;
}

// Returns a version of the list holding names sorted, with their escaped text.
SortedArtists MakeVersion(const std::deque<std::string>& names) {
    auto version = std::make_shared<ArtistVersion>();
    // std::string compares as unsigned bytes: "Zed" sorts before "abba".
    version->names.assign(names.begin(), names.end());
    std::sort(version->names.begin(), version->names.end());
    version->ends.reserve(version->names.size());
    for (const std::string& name : version->names) {
        AppendHtmlEscaped(version->escaped, name);
        version->ends.push_back(version->escaped.size());
    }
    return version;
}

}  // namespace

SortedArtists UpdateArtistList(const PlaylistView& cache) {
    ArtistListState& state = State();
    std::lock_guard<platform::Lock> hold(state.lock);
    if (cache && state.lastScanned.lock() != cache) {
        std::string_view artist;
        for (std::int32_t p = 0; CachedArtist(*cache, p, artist); ++p) {
            if (artist.size() > kArtistLimit)
                artist = artist.substr(0, kArtistLimit);
            if (artist.empty() || state.members.count(artist) != 0)
                continue;
            state.names.emplace_back(artist);
            state.members.insert(state.names.back());
            state.sorted.reset();
        }
        state.lastScanned = cache;
    }
    if (!state.sorted)
        state.sorted = MakeVersion(state.names);
    return state.sorted;
}

void ClearArtistList() {
    ArtistListState& state = State();
    std::lock_guard<platform::Lock> hold(state.lock);
    state.members.clear();
    state.names.clear();
    state.sorted.reset();
    state.lastScanned.reset();
}

}  // namespace velvox
