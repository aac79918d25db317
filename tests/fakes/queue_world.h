// Puts the process-wide playlist copy, request queue, saved position and
// settings back to how they are at load, for tests that share them.
#pragma once
#include <string>
#include <vector>

#include "core/settings.h"
#include "fake_player.h"
#include "platform/services.h"
#include "queue/history.h"
#include "queue/playback.h"
#include "queue/playlist_cache.h"
#include "queue/queue_times.h"
#include "queue/request_queue.h"
#include "queue/skip_votes.h"

namespace velvox::testing {

// Returns n titles "Song 0", "Song 1", ...
inline std::vector<std::string> NumberedTitles(int n) {
    std::vector<std::string> titles;
    for (int i = 0; i < n; ++i)
        titles.push_back("Song " + std::to_string(i));
    return titles;
}

// Returns every title of the snapshot, in position order.
inline std::vector<std::string> TitlesOf(const PlaylistSnapshot& cache) {
    std::vector<std::string> titles;
    for (std::int32_t p = 0; CachedTitle(cache, p); ++p)
        titles.emplace_back(*CachedTitle(cache, p));
    return titles;
}

// Empties the player's list and rebuilds the copy from it (an empty copy),
// empties the queue with its turns and song starts, the skip votes, the
// recently played list and the entry lengths, forgets the saved position, puts the default settings
// in force, puts the platform's own services (the rules' clock) back and forgets the messages the
// player received.
inline void ResetQueueWorld(FakePlayer& player) {
    player.playlist.clear();
    player.position = 0;
    RefreshPlaylistCache();
    ClearRequestQueue();
    ForgetSkipVotes();
    platform::use_services(nullptr);
    ClearHistory();
    ClearTrackLengths();
    ResumePosition = -1;
    PublishSettings(PluginSettings{});
    player.received.clear();
}

}  // namespace velvox::testing
