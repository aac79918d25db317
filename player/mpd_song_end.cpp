// The judge of MPD's ends of songs (see mpd_song_end.h).
#include "mpd_song_end.h"

namespace player {

namespace {

// True when now stands paused at the very start of its song.
bool at_start(const SongState& now) {
    return now.state == State::paused && now.elapsed_ms <= kStartSlackMs;
}

// True when now shows that song, seen playing, has ended: MPD paused at the
// start of the song that was to follow it, or stopped with no song after the
// last one. Deleting the last song stops MPD too, but changes the queue.
bool ends(const SongState& song, const SongState& now) {
    if (song.pos < 0)
        return false;
    if (now.state == State::paused)
        return song.next_id >= 0 && now.id == song.next_id && at_start(now);
    return now.state == State::stopped && now.pos < 0 && song.next_id < 0 &&
           now.queue_version == song.queue_version;
}

// True when now may be MPD halfway out of song: its player has paused at the
// border to the next song (the elapsed time still the ended song's, or
// already the next one's zero) or stopped after the last one, while its queue
// still names song. The clock never goes back on the way to an end.
bool leaving(const SongState& song, const SongState& now) {
    if (song.pos < 0 || song.id < 0 || now.id != song.id || now.queue_version != song.queue_version)
        return false;
    if (now.state == State::stopped)
        return song.next_id < 0;
    return now.state == State::paused && song.next_id >= 0 &&
           (now.elapsed_ms <= kStartSlackMs || now.elapsed_ms >= song.elapsed_ms);
}

// True when now is a pause that is no end of song: one our own command left,
// or one MPD was found in. After a gap the song ids may be new (MPD restarted
// from its state file): the position decides then.
bool pause_known(const SongWatch& last, const SongState& now) {
    return last.asked_pos >= 0 && now.pos == last.asked_pos &&
           (last.gap || now.id == last.asked_id);
}

// True when now is how MPD in single mode shows an ended song: paused at the
// start of a song that has one before it, and no one known asked for that.
bool held_after_end(const SongWatch& last, const SongState& now) {
    return at_start(now) && now.pos >= 1 && now.single && !pause_known(last, now);
}

// Returns the song that now is to be judged against: after our own start,
// the song started, as if seen playing from its start (MPD may have played
// it through while it answered: its end may show in this very read); else
// the last song seen playing, none after a gap.
SongState song_in_hand(const SongWatch& last, const SongState& now, ReadAfter after) {
    SongState song;
    if (after.kind == ReadKind::own_play) {
        song.state = State::playing;
        song.pos = after.pos;
        song.queue_version = now.queue_version;
        if (now.pos == after.pos) {
            song.id = now.id;
            song.next_id = now.next_id;
        } else if (now.pos == after.pos + 1) {
            song.next_id = now.id;
        } else {
            song.pos = -1;
        }
        return song;
    }
    if (after.kind == ReadKind::own_cue || last.gap)
        return song;
    return last.playing;
}

}  // namespace

SongJudgement judge_read(const SongWatch& last, const SongState& now, ReadAfter after,
                         std::int64_t now_ms) {
    SongJudgement out;
    SongWatch& watch = out.watch;
    watch.gap = false;
    const SongState song = song_in_hand(last, now, after);
    bool halfway = false;
    if (now.state == State::playing) {
        watch.playing = now;
    } else if (ends(song, now)) {
        out.ended = song.pos;
    } else if (leaving(song, now)) {
        watch.playing = song;
        halfway = true;
    } else if (song.pos < 0 && now.state == State::paused && !at_start(now)) {
        // Paused into a song, with none in hand (after a gap, say): it may be
        // halfway out of that song, so it is held as if seen playing.
        watch.playing = now;
    } else if (last.gap && held_after_end(last, now)) {
        // Nothing was seen on the way here: MPD held at a song's start in
        // single mode is the end of the song before it.
        out.ended = now.pos - 1;
    }
    if (out.ended >= 0 || now.state != State::paused)
        return out;
    if (after.kind != ReadKind::change || last.gap || pause_known(last, now)) {
        watch.asked_pos = now.pos;
        watch.asked_id = now.id;
    }
    if (!halfway && held_after_end(watch, now)) {
        const bool same = last.stalled_pos == now.pos && last.stalled_id == now.id;
        watch.stalled_pos = now.pos;
        watch.stalled_id = now.id;
        watch.stalled_since_ms = same ? last.stalled_since_ms : now_ms;
    }
    return out;
}

SongWatch after_gap(SongWatch last) {
    last.gap = true;
    last.playing = SongState();
    last.stalled_pos = -1;
    last.stalled_id = -1;
    return last;
}

std::int64_t ms_until_stall(const SongWatch& watch, std::int64_t now_ms) {
    if (watch.stalled_pos < 0)
        return -1;
    const std::int64_t left = watch.stalled_since_ms + kStallMs - now_ms;
    return left > 0 ? left : 0;
}

SongJudgement judge_stall(const SongWatch& last, std::int64_t now_ms) {
    SongJudgement out{last, -1};
    if (ms_until_stall(last, now_ms) != 0)
        return out;
    out.ended = last.stalled_pos - 1;
    out.watch.playing = SongState();
    out.watch.stalled_pos = -1;
    out.watch.stalled_id = -1;
    return out;
}

}  // namespace player
