// When each waiting request starts: the time left of the current song, then
// the lengths of the entries before it. The player is asked for an entry's
// length once per version of the playlist copy; an entry it does not know
// (Winamp answers 0) is guessed from what the plug-in has seen play, else
// from the average of the lengths known, and the time is then an estimate.
// The lengths have their own lock, never held while the player is asked.
#pragma once
#include <cstdint>
#include <vector>

#include "queue/playlist_cache.h"
#include "queue/request_rules.h"

namespace velvox {

// How long until one waiting request starts.
struct StartTime {
    std::int32_t seconds = -1;  // -1: not known
    bool estimate = false;      // a length in it was guessed
};

// What the player said of its current song.
struct CurrentPlay {
    std::int32_t position = -1;
    std::int32_t length_seconds = -1;  // 0 or less: not known
    std::int32_t elapsed_ms = -1;      // below 0: stopped
};

// Returns the start time of each entry of queue (in play order). Stopped, no
// time is known. Notes the current song's length as one seen playing.
std::vector<StartTime> QueueStartTimes(const PlaylistView& cache, const CurrentPlay& now,
                                       const std::vector<QueueEntry>& queue);

// Forgets every length asked and seen (tests and unload).
void ClearTrackLengths();

}  // namespace velvox
