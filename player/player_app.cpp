// The stand-in player's portable core.
#include "player_app.h"

#include <chrono>
#include <cstdio>
#include <utility>

#include "console.h"
#include "core/host_ops.h"

namespace player {

namespace {

// Milliseconds of a monotonic clock.
std::int64_t steady_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Quotes a title for an announcement line: '"' and '\' get a backslash.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

// The longest wait of the real clock's loop: messages from other threads can
// start a track while the loop waits, so the clock is looked at this often.
constexpr std::int64_t kClockLookMs = 250;

}  // namespace

void write_line(std::FILE* stream, const std::string& text) {
    std::string line = text + "\n";
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
}

PlayerApp::PlayerApp(const Options& options, Playlist playlist)
    : options_(options),
      playback_(std::move(playlist), options.real_clock, options.speed, steady_ms) {}

void PlayerApp::attach(host::Window window, host::WindowProc own_proc) {
    window_ = window;
    own_proc_ = own_proc;
}

host::LResult PlayerApp::on_message(unsigned message, host::WParam wparam, host::LParam lparam) {
    trace(message, wparam, lparam);
    enter();
    host::LResult result = playback_.handle(message, wparam, lparam);
    leave();
    return result;
}

void PlayerApp::trace(unsigned message, host::WParam wparam, host::LParam lparam) {
    if (options_.trace) {
        write_line(stderr, "trace " + std::to_string(message) + " " + std::to_string(wparam) + " " +
                               std::to_string(lparam));
    }
}

bool PlayerApp::is_player_message(unsigned message) {
    return message == velvox::kMsgUser || message == velvox::kMsgCommand ||
           message == velvox::kMsgEndOfTrack;
}

void PlayerApp::start_plugin(velvox::PluginRecord* record, void* module) {
    record_ = record;
    record->hwndParent = window_;
    record->hDllInstance = module;
    record->init();
    enter();
    playback_.begin();
    write_line(stdout, "ready");
    leave();
}

void PlayerApp::quit_plugin() {
    if (record_ != nullptr)
        record_->quit();
    // The module is about to be unloaded: a procedure of its left on the
    // window would be called after its code is gone.
    if (window_ != nullptr && host::window_proc(window_) != own_proc_) {
        write_line(stderr,
                   "velvox-host: the plug-in left its window procedure installed at "
                   "quit; putting the player's own back");
        host::replace_window_proc(window_, own_proc_);
    }
}

PlayerApp::LineResult PlayerApp::handle_line(const std::string& line) {
    const Command command = parse_command(line);
    if (command.kind == CommandKind::none)
        return LineResult::handled;
    if (command.kind == CommandKind::quit) {
        quit_plugin();
        return LineResult::quit;
    }
    enter();
    std::string answer = "ok";
    switch (command.kind) {
        case CommandKind::status:
            answer = status_line();
            break;
        case CommandKind::end:
            send_end_of_track();
            break;
        case CommandKind::seek:
            playback_.seek(command.number);
            break;
        case CommandKind::go_to:
            if (!playback_.go_to(command.number)) {
                answer = "error position " + std::to_string(command.number) +
                         " is not in the playlist (" + std::to_string(playback_.size()) +
                         " entries)";
            }
            break;
        case CommandKind::load: {
            Playlist playlist;
            std::string error;
            if (read_playlist(command.text, playlist, error))
                playback_.replace(std::move(playlist));
            else
                answer = "error " + error;
            break;
        }
        case CommandKind::config:
            if (record_ != nullptr && record_->config != nullptr)
                record_->config();
            break;
        case CommandKind::invalid:
            answer = "error " + command.text;
            break;
        case CommandKind::none:
        case CommandKind::quit:
            break;
    }
    write_line(stdout, answer);
    leave();
    return LineResult::handled;
}

int PlayerApp::wait_timeout_ms() const {
    if (!options_.real_clock)
        return -1;
    std::int64_t until = playback_.ms_until_end();
    if (until < 0 || until > kClockLookMs)
        until = kClockLookMs;
    return static_cast<int>(until);
}

void PlayerApp::tick() {
    if (playback_.take_track_end())
        send_end_of_track();
}

// Sends the end of the current track to our own window, so that the
// plug-in's hook sees it before our procedure does.
void PlayerApp::send_end_of_track() {
    enter();
    host::send_message(window_, velvox::kMsgEndOfTrack, 0, 0);
    leave();
}

// Marks the start of handling that may change tracks.
void PlayerApp::enter() {
    ++depth_;
}

// Marks its end; the outermost end prints a pending announcement.
void PlayerApp::leave() {
    if (--depth_ == 0)
        announce_if_changed();
}

// Prints the last track start once the outermost handling is over, so that
// a change made of several messages gives one line.
void PlayerApp::announce_if_changed() {
    if (!options_.announce || playback_.start_count() == announced_starts_)
        return;
    announced_starts_ = playback_.start_count();
    const std::int32_t index = playback_.last_start_index();
    if (index < 0 || static_cast<std::size_t>(index) >= playback_.size())
        return;
    const Entry& entry = playback_.entry(index);
    write_line(stdout,
               "track " + std::to_string(index) + " " + quoted(entry.title) + " " +
                   std::to_string(entry.length_s) + "s " +
                   (playback_.last_start_kind() == StartKind::request ? "request" : "playlist"));
}

// Returns the answer to "status": always all six fields.
std::string PlayerApp::status_line() const {
    return "ok pos=" + std::to_string(playback_.position()) +
           " state=" + state_name(playback_.state()) +
           " elapsed_ms=" + std::to_string(playback_.elapsed_ms()) +
           " length_s=" + std::to_string(playback_.length_s()) + " title=" + playback_.title();
}

}  // namespace player
