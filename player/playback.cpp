// The player's state machine and playback clock.
#include "playback.h"

#include <cmath>
#include <utility>

#include "core/host_ops.h"

namespace player {

namespace {

const std::string kNoTitle;

// How long the titles of a replaced playlist stay readable.
constexpr std::int64_t kRetiredMs = 5000;

}  // namespace

const char* state_name(State state) {
    switch (state) {
        case State::playing:
            return "playing";
        case State::paused:
            return "paused";
        case State::stopped:
            break;
    }
    return "stopped";
}

Playback::Playback(Playlist playlist, bool real_clock, double speed, NowMs now_ms)
    : playlist_(std::move(playlist)),
      real_clock_(real_clock),
      speed_(speed),
      now_ms_(std::move(now_ms)) {}

platform::LResult Playback::handle(unsigned message, platform::WParam wparam,
                                   platform::LParam lparam) {
    // A Play right after SetListPos is how the plug-in plays a request.
    const bool after_set_list_pos = after_set_list_pos_;
    after_set_list_pos_ = false;
    if (message == velvox::kMsgUser)
        return on_user(wparam, lparam);
    if (message == velvox::kMsgCommand)
        on_command(wparam & 0xFFFF, after_set_list_pos);
    else if (message == velvox::kMsgEndOfTrack)
        on_end_of_track();
    return 0;
}

// The WM_USER queries and SetListPos.
platform::LResult Playback::on_user(platform::WParam wparam, platform::LParam lparam) {
    switch (lparam) {
        case velvox::kIpcGetListLength:
            return static_cast<platform::LResult>(playlist_.size());
        case velvox::kIpcGetPlaylistTitle:
            if (wparam < playlist_.size())
                return reinterpret_cast<platform::LResult>(playlist_[wparam].title.c_str());
            return 0;
        case velvox::kIpcGetListPos:
            return index_;
        case velvox::kIpcSetListPos:
            if (wparam < playlist_.size()) {
                go_to(static_cast<std::int64_t>(wparam));
                after_set_list_pos_ = true;
            }
            return 0;
        case velvox::kIpcGetEntryLength:
            // -1 for an entry of unknown length, as for one that is not there.
            if (wparam < playlist_.size())
                return playlist_[wparam].length_s;
            return -1;
        case velvox::kIpcIsPlaying:
            return state_ == State::playing ? 1 : (state_ == State::paused ? 3 : 0);
        case velvox::kIpcGetOutputTime:
            if (wparam == 0)
                return static_cast<platform::LResult>(elapsed_ms());
            if (wparam == 1)
                return length_s();
            return -1;
        default:
            return 0;
    }
}

// The transport buttons: previous, play, pause, stop, next.
void Playback::on_command(platform::WParam command, bool after_set_list_pos) {
    if (playlist_.empty()) {
        stop();
        return;
    }
    switch (command) {
        case velvox::kCmdPrevious:
            if (index_ > 0)
                --index_;
            start_current(StartKind::playlist);
            break;
        case velvox::kCmdPlay:
            if (state_ == State::paused) {
                anchor_ms_ = now_ms_();
                state_ = State::playing;
            } else {
                start_current(after_set_list_pos ? StartKind::request : StartKind::playlist);
            }
            break;
        case velvox::kCmdPause:
            if (state_ == State::playing) {
                base_ms_ = elapsed_ms();
                state_ = State::paused;
            } else if (state_ == State::paused) {
                anchor_ms_ = now_ms_();
                state_ = State::playing;
            }
            break;
        case velvox::kCmdStop:
            stop();
            break;
        case velvox::kCmdNext:
            index_ = index_ + 1 < static_cast<std::int32_t>(playlist_.size()) ? index_ + 1 : 0;
            start_current(StartKind::playlist);
            break;
        default:
            break;
    }
}

// The end of a track that the plug-in did not take: on to the next entry,
// or stop after the last one.
void Playback::on_end_of_track() {
    if (index_ + 1 < static_cast<std::int32_t>(playlist_.size())) {
        ++index_;
        start_current(StartKind::playlist);
    } else {
        stop();
    }
}

void Playback::begin() {
    index_ = 0;
    if (playlist_.empty())
        stop();
    else
        start_current(StartKind::playlist);
}

bool Playback::go_to(std::int64_t index) {
    if (index < 0 || index >= static_cast<std::int64_t>(playlist_.size()))
        return false;
    index_ = static_cast<std::int32_t>(index);
    set_elapsed(0);
    changes_.restarted = true;
    return true;
}

void Playback::seek(std::int64_t ms) {
    set_elapsed(ms);
    changes_.seeked = true;
}

void Playback::replace(Playlist playlist) {
    // The title message hands out addresses into the playlist, and the asking
    // thread copies the text after our answer: keep the old entries a while.
    const std::int64_t now = now_ms_();
    while (!retired_.empty() && now - retired_.front().first > kRetiredMs)
        retired_.pop_front();
    retired_.emplace_back(now, std::move(playlist_));
    playlist_ = std::move(playlist);
    if (playlist_.empty()) {
        index_ = 0;
        stop();
    } else if (index_ >= static_cast<std::int32_t>(playlist_.size())) {
        index_ = 0;
        set_elapsed(0);
    }
}

void Playback::follow(std::int32_t index, State state, std::int64_t elapsed_ms, bool started) {
    if (index >= 0 && index < static_cast<std::int32_t>(playlist_.size()))
        index_ = index;
    state_ = playlist_.empty() ? State::stopped : state;
    set_elapsed(elapsed_ms < 0 ? 0 : elapsed_ms);
    if (started && state_ != State::stopped) {
        ++starts_;
        last_start_index_ = index_;
        last_start_kind_ = StartKind::playlist;
    }
}

std::int64_t Playback::elapsed_ms() const {
    if (state_ == State::stopped)
        return -1;
    if (state_ == State::paused || !real_clock_)
        return base_ms_;
    const std::int64_t run =
        static_cast<std::int64_t>(std::floor(static_cast<double>(now_ms_() - anchor_ms_) * speed_));
    std::int64_t elapsed = base_ms_ + (run > 0 ? run : 0);
    // The clock stops at the end of a track whose end has not been handled yet.
    const std::int32_t length = length_s();
    if (length >= 0 && elapsed > std::int64_t{length} * 1000 && run > 0) {
        const std::int64_t end = std::int64_t{length} * 1000;
        elapsed = base_ms_ > end ? base_ms_ : end;
    }
    return elapsed;
}

std::int32_t Playback::length_s() const {
    if (state_ == State::stopped || playlist_.empty())
        return -1;
    return playlist_[static_cast<std::size_t>(index_)].length_s;
}

const std::string& Playback::title() const {
    if (playlist_.empty())
        return kNoTitle;
    return playlist_[static_cast<std::size_t>(index_)].title;
}

std::int64_t Playback::ms_until_end() const {
    if (!real_clock_ || state_ != State::playing || end_reported_)
        return -1;
    const std::int32_t length = length_s();
    if (length < 0)
        return -1;
    const std::int64_t left = std::int64_t{length} * 1000 - elapsed_ms();
    if (left <= 0)
        return 0;
    return static_cast<std::int64_t>(std::ceil(static_cast<double>(left) / speed_));
}

bool Playback::take_track_end() {
    if (ms_until_end() != 0)
        return false;
    end_reported_ = true;
    return true;
}

// Plays the current entry from 0 and counts the start for announcements.
void Playback::start_current(StartKind kind) {
    state_ = State::playing;
    set_elapsed(0);
    changes_.restarted = true;
    ++starts_;
    last_start_index_ = index_;
    last_start_kind_ = kind;
}

// Stops playback; the position stays.
void Playback::stop() {
    state_ = State::stopped;
    set_elapsed(0);
}

// Sets the elapsed time from now on; the new track time may end again.
void Playback::set_elapsed(std::int64_t ms) {
    base_ms_ = ms;
    anchor_ms_ = now_ms_();
    end_reported_ = false;
}

}  // namespace player
