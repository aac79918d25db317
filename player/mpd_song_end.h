// How the MPD back end tells that a song has ended. In single mode MPD ends a
// song by pausing at the start of the next one (or by stopping after the
// last). Its player gets there a moment before its queue does, and the back
// end reads MPD's status on its own connection whenever an idle event comes,
// so any of the states on the way may be read, once, twice or not at all.
// The judge therefore compares each read with the last song it saw playing,
// not with the read before it, and keeps what it needs between reads.
#pragma once
#include <cstdint>

#include "playback.h"

namespace player {

// A song paused this close to its start stands where playing it would begin.
constexpr std::int64_t kStartSlackMs = 100;
// How long MPD may stand paused at the start of a song, in single mode, with
// no pause asked for, before that is taken as an end of song no read showed.
constexpr std::int64_t kStallMs = 5000;

// One read of MPD's status, as far as the end of a song shows in it.
struct SongState {
    State state = State::stopped;
    std::int32_t pos = -1;  // the current song's position; -1 when none
    int id = -1;            // its song id
    int next_id = -1;       // the song id that follows it; -1 after the last
    std::int64_t elapsed_ms = 0;
    unsigned queue_version = 0;
    bool single = false;  // MPD in single mode (after a gap: as it was found)
};

// What a read follows.
enum class ReadKind {
    change,    // an idle event, or a look of our own
    own_step,  // our own command that started no song (pause, resume, seek, stop)
    own_play,  // our own command that started the song at ReadAfter::pos playing
    own_cue,   // our own command that started a song and left it paused at its start
};

struct ReadAfter {
    ReadKind kind = ReadKind::change;
    std::int32_t pos = -1;  // own_play: the position started
};

// What the judge keeps between reads.
struct SongWatch {
    SongState playing;            // the song in hand: last read playing (pos -1: none)
    bool gap = true;              // reads were missed: at start-up, or while MPD was lost
    std::int32_t asked_pos = -1;  // where our own command left MPD paused; -1: nowhere
    int asked_id = -1;
    std::int32_t stalled_pos = -1;  // paused at this song's start unasked; -1: not so
    int stalled_id = -1;
    std::int64_t stalled_since_ms = 0;
};

// The judge's answer to one read.
struct SongJudgement {
    SongWatch watch;          // what to keep for the next read
    std::int32_t ended = -1;  // the position of the song that ended; -1 when none
};

// Judges one read of MPD (now, taken at now_ms) against what was kept.
// Returns the song that ended, if one did, and what to keep.
SongJudgement judge_read(const SongWatch& last, const SongState& now, ReadAfter after,
                         std::int64_t now_ms);

// Returns what to keep when MPD has been lost: the next read follows a gap,
// and the song in hand is gone (MPD may come back with new song ids).
SongWatch after_gap(SongWatch last);

// Returns the milliseconds until the stall guard is due; -1 when it never is.
std::int64_t ms_until_stall(const SongWatch& watch, std::int64_t now_ms);

// The stall guard: once MPD has stood paused at the start of a song for
// kStallMs, the song before it has ended. Returns that one (once), and what
// to keep.
SongJudgement judge_stall(const SongWatch& last, std::int64_t now_ms);

}  // namespace player
