// Queued playback: at the end of a track the oldest request plays, and after
// the last one the playlist resumes where it was interrupted.
#pragma once
#include <cstdint>

namespace velvox {

// The position saved when requests took over from the playlist; -1 for none.
// Read and written on the player's window thread only.
extern std::int32_t ResumePosition;

// Handles an end-of-track notification; returns true when it took the message
// (the player's own handler must not see it).
bool HandleEndOfTrack();

// The admin "next": PlayerNext, then, when requests wait, an end-of-track
// notification so that the oldest request plays at once.
void SkipToNext();

}  // namespace velvox
