// The MPD back end (Linux): velvox-host as the front of a Music Player
// Daemon. MPD's queue is the playlist and its status the player's state;
// what the plug-in's messages change is carried out on MPD. A thread waits in
// MPD's idle on a connection of its own and sends each change to the window,
// where everything else happens, on a second connection.
//
// The end of a song reaches the plug-in first: MPD runs in single mode, so
// after a song it pauses at the start of the next one (or stops after the
// last) instead of playing on. The window then sends the end-of-track message
// through the plug-in's hook: the plug-in plays a waiting request, or the
// player's own handling plays the next entry, which MPD holds paused at its
// start and only resumes.
#include <mpd/client.h>

#include <cstdlib>
#include <string>
#include <utility>

#include "backend.h"
#include "mpd_address.h"
#include "mpd_song_end.h"
#include "platform/clock.h"
#include "platform/threads.h"
#include "player_app.h"

namespace player {

namespace {

constexpr unsigned kTimeoutMs = 5000;  // the longest wait for one answer of MPD
constexpr unsigned kRetryMs = 3000;    // between attempts to reach a lost MPD

// The four modes of MPD that decide what follows a song.
struct Modes {
    mpd_single_state single = MPD_SINGLE_OFF;
    bool consume = false;
    bool random = false;
    bool repeat = false;
};

// What the jukebox needs while it runs: stop after each song, nothing
// removed, no shuffling, no repeating, so positions and order hold.
const Modes kJukeboxModes = {MPD_SINGLE_ON, false, false, false};

// MPD's status, as far as the player needs it: what the judge of ends of
// songs reads (its single is set only when judging) and MPD's modes.
struct MpdState : SongState {
    Modes modes;
};

// Returns the text of the connection's error.
std::string error_of(mpd_connection* connection) {
    const char* text = mpd_connection_get_error_message(connection);
    return text != nullptr ? text : "unknown error";
}

// Connects to MPD and gives the password. Returns the connection, or nullptr
// with the reason in why.
mpd_connection* open_connection(const Address& address, std::string& why) {
    mpd_connection* connection = mpd_connection_new(address.host.c_str(), address.port, kTimeoutMs);
    if (connection == nullptr) {
        why = "out of memory";
        return nullptr;
    }
    if (mpd_connection_get_error(connection) == MPD_ERROR_SUCCESS &&
        (address.password.empty() || mpd_run_password(connection, address.password.c_str()))) {
        mpd_connection_set_keepalive(connection, true);
        return connection;
    }
    why = error_of(connection);
    mpd_connection_free(connection);
    return nullptr;
}

// Returns the file name of a song's URI without its folder and extension.
std::string file_title(const std::string& uri) {
    const std::size_t slash = uri.find_last_of('/');
    std::string name = slash == std::string::npos ? uri : uri.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name.empty() ? uri : name;
}

// Returns a song's title as the playlist shows it: "Artist - Title" from its
// tags, the title alone without an artist, else the file name.
std::string song_title(const mpd_song* song) {
    const char* artist = mpd_song_get_tag(song, MPD_TAG_ARTIST, 0);
    const char* title = mpd_song_get_tag(song, MPD_TAG_TITLE, 0);
    if (title != nullptr && *title != '\0') {
        if (artist != nullptr && *artist != '\0')
            return std::string(artist) + " - " + title;
        return title;
    }
    return file_title(mpd_song_get_uri(song));
}

// Reads MPD's queue as the player's playlist. Returns false when the
// connection failed.
bool read_queue(mpd_connection* connection, Playlist& playlist) {
    if (!mpd_send_list_queue_meta(connection))
        return false;
    Playlist queue;
    while (mpd_song* song = mpd_recv_song(connection)) {
        Entry entry;
        entry.title = song_title(song);
        const unsigned ms = mpd_song_get_duration_ms(song);
        entry.length_s = ms == 0 ? -1 : static_cast<std::int32_t>((ms + 500) / 1000);
        queue.push_back(std::move(entry));
        mpd_song_free(song);
    }
    if (!mpd_response_finish(connection))
        return false;
    playlist = std::move(queue);
    return true;
}

// Reads MPD's status. Returns false when the connection failed.
bool read_state(mpd_connection* connection, MpdState& state) {
    mpd_status* status = mpd_run_status(connection);
    if (status == nullptr)
        return false;
    switch (mpd_status_get_state(status)) {
        case MPD_STATE_PLAY:
            state.state = State::playing;
            break;
        case MPD_STATE_PAUSE:
            state.state = State::paused;
            break;
        default:
            state.state = State::stopped;
            break;
    }
    state.pos = mpd_status_get_song_pos(status);
    state.id = mpd_status_get_song_id(status);
    state.next_id = mpd_status_get_next_song_id(status);
    state.elapsed_ms = mpd_status_get_elapsed_ms(status);
    state.queue_version = mpd_status_get_queue_version(status);
    state.modes = {mpd_status_get_single_state(status), mpd_status_get_consume(status),
                   mpd_status_get_random(status), mpd_status_get_repeat(status)};
    mpd_status_free(status);
    return true;
}

// Returns what the judge of ends of songs needs of state; single tells
// whether MPD was in single mode (after a gap: as it was found).
SongState song_state(const MpdState& state, bool single) {
    SongState song = state;
    song.single = single;
    return song;
}

// Sets MPD's four modes in one exchange. Returns false when it failed.
bool set_modes(mpd_connection* connection, const Modes& modes) {
    return mpd_command_list_begin(connection, false) &&
           mpd_send_single_state(connection, modes.single) &&
           mpd_send_consume(connection, modes.consume) &&
           mpd_send_random(connection, modes.random) && mpd_send_repeat(connection, modes.repeat) &&
           mpd_command_list_end(connection) && mpd_response_finish(connection);
}

// True when the modes are the same.
bool same_modes(const Modes& a, const Modes& b) {
    return a.single == b.single && a.consume == b.consume && a.random == b.random &&
           a.repeat == b.repeat;
}

// What the watching thread hands the window in one event.
struct Event {
    enum class Kind { connected, changed, lost };
    Kind kind = Kind::changed;
    bool have_queue = false;
    Playlist queue;   // MPD's queue when it changed (and on connecting)
    std::string why;  // lost: the reason
};

// What the watching thread needs: MPD's address and the window to tell.
struct Watcher {
    Address address;
    platform::Window window;
};

// Hands an event to the window and waits until it has been handled.
void deliver(platform::Window window, Event& event) {
    platform::send_message(window, kMsgBackendEvent, 0, reinterpret_cast<platform::LParam>(&event));
}

// Watches one connection: hands the window MPD's queue, then every change,
// until the connection fails. Returns the reason.
std::string watch(mpd_connection* connection, platform::Window window) {
    Event first;
    first.kind = Event::Kind::connected;
    first.have_queue = read_queue(connection, first.queue);
    if (!first.have_queue)
        return error_of(connection);
    deliver(window, first);
    const auto mask = static_cast<mpd_idle>(MPD_IDLE_QUEUE | MPD_IDLE_PLAYER | MPD_IDLE_OPTIONS);
    for (;;) {
        const mpd_idle changed = mpd_run_idle_mask(connection, mask);
        if (mpd_connection_get_error(connection) != MPD_ERROR_SUCCESS)
            return error_of(connection);
        Event event;
        if ((changed & MPD_IDLE_QUEUE) != 0) {
            event.have_queue = read_queue(connection, event.queue);
            if (!event.have_queue)
                return error_of(connection);
        }
        deliver(window, event);
    }
}

// The watching thread: watches MPD for ever, trying again every few seconds
// while it cannot be reached.
void run_watcher(void* argument) {
    const Watcher* watcher = static_cast<const Watcher*>(argument);
    for (;;) {
        std::string why;
        mpd_connection* connection = open_connection(watcher->address, why);
        if (connection != nullptr) {
            why = watch(connection, watcher->window);
            mpd_connection_free(connection);
        }
        Event lost;
        lost.kind = Event::Kind::lost;
        lost.why = why;
        deliver(watcher->window, lost);
        platform::sleep_ms(kRetryMs);
    }
}

// Returns the milliseconds of the platform's steady clock.
std::int64_t now_ms() {
    return platform::steady_milliseconds();
}

class MpdBackend : public Backend {
  public:
    MpdBackend(Address address, mpd_connection* connection, Modes original, Playlist queue,
               const MpdState& state)
        : address_(std::move(address)),
          connection_(connection),
          original_(original),
          queue_(std::move(queue)),
          known_(state),
          found_single_(original.single == MPD_SINGLE_ON) {}

    bool begin(Playback& playback, platform::Window window, std::string& error) override;
    // MPD plays on as it was: the player takes over without a change.
    void start(Playback&) override {}
    void commit(Playback& playback) override;
    void on_event(Playback& playback, platform::WParam wparam, platform::LParam lparam) override;
    int wait_timeout_ms(const Playback&) const override;
    bool take_track_end(Playback& playback) override;
    bool load(Playback&, const std::string&, std::string& error) override {
        error = "load takes no file with --player mpd: the playlist is MPD's queue";
        return false;
    }
    void finish() override;

  private:
    template <class Step>
    bool exchange(Step step);
    mpd_connection* connection();
    void drop_connection();
    void report_lost(const std::string& why);
    void show(Playback& playback, const MpdState& state, bool started);
    void observe(Playback& playback, const MpdState& now, ReadAfter after);
    void end_song(Playback& playback, std::int32_t pos);
    void end_stall(Playback& playback);
    bool carry_out(const Playback& playback, Playback::Changes changes);
    ReadAfter own_read(const Playback& playback, Playback::Changes changes, bool done) const;
    bool start_at(mpd_connection* connection, std::int32_t pos);

    Address address_;
    mpd_connection* connection_;  // the window thread's; null while MPD is lost
    Modes original_;              // the server's own modes, put back at quit
    Playlist queue_;              // MPD's queue until begin hands it on
    MpdState known_;              // MPD's status as last read
    SongWatch watch_;             // what the judge of ends of songs keeps
    bool found_single_;           // MPD was in single mode when last (re)connected
    bool lost_ = false;
    std::int64_t last_attempt_ms_ = 0;
    bool end_pending_ = false;
};

bool MpdBackend::begin(Playback& playback, platform::Window window, std::string& error) {
    playback.replace(std::move(queue_));
    // MPD may hold a song that ended before we came: the loop hands its end
    // to the plug-in once it runs.
    observe(playback, known_, {});
    auto* watcher = new Watcher{address_, window};  // the thread's for ever
    if (!platform::start_thread(run_watcher, watcher)) {
        delete watcher;
        error = "cannot start the thread that watches MPD";
        return false;
    }
    return true;
}

void MpdBackend::finish() {
    if (exchange([this](mpd_connection* c) { return set_modes(c, original_); }))
        return;
    write_line(stderr,
               "velvox-host: could not put back the single, consume, random and repeat "
               "modes of MPD at " +
                   address_.text());
}

// Returns the command connection, opening it again when it is gone (while
// MPD is lost, at most every few seconds); nullptr when MPD cannot be reached.
mpd_connection* MpdBackend::connection() {
    if (connection_ != nullptr)
        return connection_;
    const std::int64_t now = now_ms();
    if (lost_ && now - last_attempt_ms_ < kRetryMs)
        return nullptr;
    last_attempt_ms_ = now;
    std::string why;
    connection_ = open_connection(address_, why);
    // Back after a gap: whether MPD was in single mode, before we set it,
    // tells whether a song held at its start may have ended meanwhile.
    MpdState found;
    if (connection_ != nullptr && lost_ && read_state(connection_, found))
        found_single_ = found.modes.single == MPD_SINGLE_ON;
    if (connection_ == nullptr || !set_modes(connection_, kJukeboxModes)) {
        if (connection_ != nullptr)
            why = error_of(connection_);
        drop_connection();
        report_lost(why);
        return nullptr;
    }
    if (lost_)
        write_line(stdout, "mpd: connected to " + address_.text() + " again");
    lost_ = false;
    return connection_;
}

// Closes the command connection.
void MpdBackend::drop_connection() {
    if (connection_ != nullptr)
        mpd_connection_free(connection_);
    connection_ = nullptr;
}

// Marks MPD as lost: one console line when it was reachable until now.
void MpdBackend::report_lost(const std::string& why) {
    known_ = MpdState();
    watch_ = after_gap(watch_);
    end_pending_ = false;
    last_attempt_ms_ = now_ms();
    if (lost_)
        return;
    lost_ = true;
    write_line(stdout, "mpd: lost the connection to " + address_.text() + " (" + why +
                           "); trying again every " + std::to_string(kRetryMs / 1000) + " s");
}

// Runs one exchange with MPD: step(connection) returns false when it failed.
// A connection that MPD has closed (it closes one that stays silent for a
// while) is opened again and the step tried once more; a command MPD refuses
// leaves the connection as it is. Returns whether the step succeeded.
template <class Step>
bool MpdBackend::exchange(Step step) {
    std::string why;
    for (int attempt = 0; attempt < 2; ++attempt) {
        mpd_connection* c = connection();
        if (c == nullptr)
            return false;
        if (step(c))
            return true;
        if (mpd_connection_get_error(c) == MPD_ERROR_SERVER && mpd_connection_clear_error(c))
            return false;
        why = error_of(c);
        drop_connection();
    }
    report_lost(why);
    return false;
}

// Shows MPD's state in playback. While both are stopped the player keeps its
// own entry, as SetListPos moves a stopped player without MPD.
void MpdBackend::show(Playback& playback, const MpdState& state, bool started) {
    if (state.state == State::stopped) {
        if (playback.state() != State::stopped)
            playback.follow(state.pos >= 0 ? state.pos : playback.position(), State::stopped, 0,
                            false);
        return;
    }
    playback.follow(state.pos, state.state, state.elapsed_ms, started);
}

// Takes MPD's new state; after tells what the read follows (an own command's
// start is counted already). The end of a song becomes the player's end of
// track, however the states on the way to it were read, even right after our
// command (a seek near the end) or after a gap.
void MpdBackend::observe(Playback& playback, const MpdState& now, ReadAfter after) {
    const MpdState before = known_;
    known_ = now;
    const bool single = watch_.gap ? found_single_ : now.modes.single == MPD_SINGLE_ON;
    const SongJudgement judged = judge_read(watch_, song_state(now, single), after, now_ms());
    watch_ = judged.watch;
    if (end_pending_)
        return;  // the player stands at the end of the song until the message is sent
    if (judged.ended >= 0) {
        end_song(playback, judged.ended);
        return;
    }
    show(playback, now, after.kind == ReadKind::change && now.id != before.id);
}

// Has the player stand at the end of entry pos, as the simulated one does,
// until the end-of-track message has been handled.
void MpdBackend::end_song(Playback& playback, std::int32_t pos) {
    const bool known = pos >= 0 && static_cast<std::size_t>(pos) < playback.size();
    const std::int32_t length = known ? playback.entry(pos).length_s : 0;
    playback.follow(pos, State::playing, std::int64_t{length} * 1000, false);
    end_pending_ = true;
}

// The stall guard's turn: MPD has stood paused at a song's start, unasked,
// for a while. One more look, in case MPD has moved on since its last event
// reached us; then the song before that one has ended, and the console says
// so, since no read showed that end.
void MpdBackend::end_stall(Playback& playback) {
    MpdState now;
    if (!exchange([&](mpd_connection* c) { return read_state(c, now); })) {
        show(playback, known_, false);
        return;
    }
    observe(playback, now, {});
    const SongJudgement judged = judge_stall(watch_, now_ms());
    if (end_pending_ || judged.ended < 0)
        return;
    watch_ = judged.watch;
    write_line(stdout, "mpd: paused at the start of entry " + std::to_string(judged.ended + 1) +
                           " for " + std::to_string(kStallMs / 1000) +
                           " s; taken as the end of entry " + std::to_string(judged.ended));
    end_song(playback, judged.ended);
}

// Ends of songs arrive as events, which the loop handles while it waits; one
// seen after our own command is due at once, the stall guard when its time
// has come. Returns the milliseconds the loop may wait, -1 for ever.
int MpdBackend::wait_timeout_ms(const Playback&) const {
    if (end_pending_)
        return 0;
    const std::int64_t stall = ms_until_stall(watch_, now_ms());
    return static_cast<int>(stall);  // at most kStallMs, or -1
}

// Returns true once for each end of a song, the stall guard's included.
bool MpdBackend::take_track_end(Playback& playback) {
    if (!end_pending_ && ms_until_stall(watch_, now_ms()) == 0)
        end_stall(playback);
    return std::exchange(end_pending_, false);
}

void MpdBackend::on_event(Playback& playback, platform::WParam, platform::LParam lparam) {
    Event& event = *reinterpret_cast<Event*>(lparam);
    if (event.kind == Event::Kind::lost) {
        drop_connection();
        report_lost(event.why);
        show(playback, known_, false);
        return;
    }
    if (event.kind == Event::Kind::connected)
        last_attempt_ms_ = 0;  // MPD is back: the command connection follows at once
    if (event.have_queue)
        playback.replace(std::move(event.queue));
    MpdState now;
    if (!exchange([&](mpd_connection* c) { return read_state(c, now); })) {
        show(playback, known_, false);
        return;
    }
    // Someone changed a mode the jukebox needs: MPD would play on or shuffle.
    if (!same_modes(now.modes, kJukeboxModes))
        exchange([](mpd_connection* c) { return set_modes(c, kJukeboxModes); });
    observe(playback, now, {});
}

// Plays entry pos from its start. After a finished song MPD holds the next
// one paused at its start: that one only resumes, with no new start.
bool MpdBackend::start_at(mpd_connection* c, std::int32_t pos) {
    if (known_.state == State::paused && known_.pos == pos && known_.elapsed_ms <= kStartSlackMs)
        return mpd_run_pause(c, false);
    return pos >= 0 && mpd_run_play_pos(c, static_cast<unsigned>(pos));
}

// Has MPD do what playback now shows. Returns false when MPD refused or
// could not be asked.
bool MpdBackend::carry_out(const Playback& playback, Playback::Changes changes) {
    const State wanted = playback.state();
    const std::int32_t pos = playback.position();
    const std::int64_t elapsed = playback.elapsed_ms();
    return exchange([&](mpd_connection* c) {
        if (wanted == State::stopped)
            return known_.state == State::stopped || mpd_run_stop(c);
        bool done = true;
        if (changes.restarted || known_.state == State::stopped)
            done = start_at(c, pos) && (wanted == State::playing || mpd_run_pause(c, true));
        else if (wanted != known_.state)
            done = mpd_run_pause(c, wanted == State::paused);
        if (done && changes.seeked)
            done = mpd_run_seek_current(c, static_cast<float>(elapsed) / 1000.0f, false);
        return done;
    });
}

// Returns what a read after our own command follows: a song it started, and
// whether playing; a step that started none; or, when MPD refused, nothing
// of ours.
ReadAfter MpdBackend::own_read(const Playback& playback, Playback::Changes changes,
                               bool done) const {
    const State wanted = playback.state();
    if (!done)
        return {};
    if (wanted == State::stopped || (!changes.restarted && known_.state != State::stopped))
        return {ReadKind::own_step};
    if (wanted == State::paused)
        return {ReadKind::own_cue};
    return {ReadKind::own_play, playback.position()};
}

void MpdBackend::commit(Playback& playback) {
    const Playback::Changes changes = playback.take_changes();
    // Until the end of the song has been handled, MPD stays where the song
    // left it: the plug-in chooses what plays next.
    if (end_pending_)
        return;
    if (!changes.restarted && !changes.seeked && playback.state() == known_.state)
        return;
    const bool done = carry_out(playback, changes);
    const ReadAfter after = own_read(playback, changes, done);
    // What MPD now does is what the player shows (a refusal included).
    MpdState now;
    if (exchange([&](mpd_connection* c) { return read_state(c, now); }))
        observe(playback, now, after);
    else
        show(playback, known_, false);
}

}  // namespace

std::unique_ptr<Backend> make_mpd_backend(const Options& options, Playlist, std::string& error) {
    Address address;
    if (!resolve_address(options.mpd, address, error))
        return nullptr;
    std::string why;
    mpd_connection* connection = open_connection(address, why);
    if (connection == nullptr) {
        error = "cannot connect to MPD at " + address.text() + ": " + why;
        return nullptr;
    }
    MpdState state;
    Playlist queue;
    if (!read_state(connection, state)) {
        error = "MPD at " + address.text() + " does not answer: " + error_of(connection);
        mpd_connection_free(connection);
        return nullptr;
    }
    const Modes original = state.modes;
    if (!set_modes(connection, kJukeboxModes) || !read_queue(connection, queue) ||
        !read_state(connection, state)) {
        error = "MPD at " + address.text() + " does not answer: " + error_of(connection);
        mpd_connection_free(connection);
        return nullptr;
    }
    return std::make_unique<MpdBackend>(std::move(address), connection, original, std::move(queue),
                                        state);
}

}  // namespace player
