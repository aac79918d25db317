// The player's playlist position, play state and playback clock, and its
// answers to the messages of the player's interface.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>

#include "platform/window_messages.h"
#include "playlist.h"

namespace player {

enum class State { stopped, playing, paused };

// Where a track start came from, for announcements.
enum class StartKind { playlist, request };

// Returns "playing", "paused" or "stopped".
const char* state_name(State state);

class Playback {
  public:
    using NowMs = std::function<std::int64_t()>;

    // real_clock: elapsed time follows now_ms times speed while playing;
    // otherwise it moves only by seek.
    Playback(Playlist playlist, bool real_clock, double speed, NowMs now_ms);

    // Answers one message of the player's interface; other messages give 0.
    platform::LResult handle(unsigned message, platform::WParam wparam, platform::LParam lparam);

    // Stands at entry 0, playing from 0; stopped when the playlist is empty.
    void begin();
    // Makes entry index current with elapsed 0, state unchanged. Returns false
    // (and changes nothing) when there is no such entry.
    bool go_to(std::int64_t index);
    // Sets the elapsed time of the current track.
    void seek(std::int64_t ms);
    // Replaces the playlist: position kept when still valid, else 0; an
    // empty playlist stops. The titles of the replaced playlist stay readable
    // for a few seconds, as a thread may still copy one that it was handed.
    void replace(Playlist playlist);
    // Takes over the state of a real player: entry index (kept when it is no
    // entry), state, and elapsed time from now on. started counts a track
    // start for announcements. Records no change (see take_changes).
    void follow(std::int32_t index, State state, std::int64_t elapsed_ms, bool started);

    // What the commands since the last call asked for beyond the state: a
    // track (re)started at 0 (play, next, previous, end, SetListPos, goto),
    // the elapsed time set (seek). Cleared by the call.
    struct Changes {
        bool restarted = false;
        bool seeked = false;
    };
    Changes take_changes() { return std::exchange(changes_, Changes{}); }

    std::int32_t position() const { return index_; }
    State state() const { return state_; }
    std::size_t size() const { return playlist_.size(); }
    // Elapsed milliseconds of the current track; -1 while stopped.
    std::int64_t elapsed_ms() const;
    // Length of the current track in seconds; -1 while stopped or unknown.
    std::int32_t length_s() const;
    // Title of the current entry; empty when there is none.
    const std::string& title() const;
    // Title and length of entry index (which must exist).
    const Entry& entry(std::int32_t index) const {
        return playlist_[static_cast<std::size_t>(index)];
    }

    // Milliseconds of wall time until the current track ends by itself; -1
    // when it never does (manual clock, not playing, unknown length, or its
    // end already reported).
    std::int64_t ms_until_end() const;
    // True once per started track, when the real clock has reached its end;
    // the caller then sends the end-of-track message.
    bool take_track_end();

    // Counts track starts; the last one's entry and origin.
    std::uint64_t start_count() const { return starts_; }
    std::int32_t last_start_index() const { return last_start_index_; }
    StartKind last_start_kind() const { return last_start_kind_; }

  private:
    void start_current(StartKind kind);
    void stop();
    void set_elapsed(std::int64_t ms);
    void on_command(platform::WParam command, bool after_set_list_pos);
    void on_end_of_track();
    platform::LResult on_user(platform::WParam wparam, platform::LParam lparam);

    Playlist playlist_;
    bool real_clock_;
    double speed_;
    NowMs now_ms_;

    std::int32_t index_ = 0;
    State state_ = State::stopped;
    std::int64_t base_ms_ = 0;    // elapsed time at anchor_ms_
    std::int64_t anchor_ms_ = 0;  // clock reading when base_ms_ was taken
    bool end_reported_ = false;   // take_track_end already fired for this track
    bool after_set_list_pos_ = false;

    Changes changes_;
    // Replaced playlists, with the clock reading when each was replaced.
    std::deque<std::pair<std::int64_t, Playlist>> retired_;

    std::uint64_t starts_ = 0;
    std::int32_t last_start_index_ = 0;
    StartKind last_start_kind_ = StartKind::playlist;
};

}  // namespace player
