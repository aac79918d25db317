// The stand-in player's portable core.
#include "player_app.h"

#include <cstdio>
#include <utility>

#include "console.h"
#include "core/host_ops.h"
#include "platform/clock.h"

namespace player {

namespace {

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

}  // namespace

void write_line(std::FILE* stream, const std::string& text) {
    std::string line = text + "\n";
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
}

PlayerApp::PlayerApp(const Options& options, std::unique_ptr<Backend> backend)
    : options_(options),
      backend_(std::move(backend)),
      playback_(Playlist(), options.real_clock, options.speed, platform::steady_milliseconds) {}

bool PlayerApp::attach(platform::Window window, platform::WindowProc own_proc, std::string& error) {
    window_ = window;
    own_proc_ = own_proc;
    return backend_->begin(playback_, window, error);
}

platform::LResult PlayerApp::on_message(unsigned message, platform::WParam wparam,
                                        platform::LParam lparam) {
    if (message == kMsgBackendEvent) {
        enter();
        backend_->on_event(playback_, wparam, lparam);
        tick();
        leave();
        return 0;
    }
    trace(message, wparam, lparam);
    enter();
    platform::LResult result = playback_.handle(message, wparam, lparam);
    leave();
    return result;
}

void PlayerApp::trace(unsigned message, platform::WParam wparam, platform::LParam lparam) {
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
    backend_->start(playback_);
    write_line(stdout, "ready");
    leave();
}

void PlayerApp::quit_plugin() {
    if (record_ != nullptr)
        record_->quit();
    // The module is about to be unloaded: a procedure of its left on the
    // window would be called after its code is gone.
    if (window_ != nullptr && platform::window_proc(window_) != own_proc_) {
        write_line(stderr,
                   "velvox-host: the plug-in left its window procedure installed at "
                   "quit; putting the player's own back");
        platform::replace_window_proc(window_, own_proc_);
    }
    backend_->finish();
}

PlayerApp::LineResult PlayerApp::handle_line(const std::string& line) {
    const Command command = parse_command(line);
    if (command.kind == CommandKind::none)
        return LineResult::handled;
    if (command.kind == CommandKind::quit) {
        quit_plugin();
        return LineResult::quit;
    }
    if (command.kind == CommandKind::config) {
        // Not inside our own handling: the form may stay open a while, and
        // what the plug-in's threads ask meanwhile is carried out at once.
        if (record_ != nullptr && record_->config != nullptr)
            record_->config();
        write_line(stdout, "ok");
        return LineResult::handled;
    }
    enter();
    const std::string answer = run_command(command);
    // The answer tells that the back end has carried the command out.
    backend_->commit(playback_);
    write_line(stdout, answer);
    leave();
    return LineResult::handled;
}

// Carries out a console command other than quit and config; returns its answer.
std::string PlayerApp::run_command(const Command& command) {
    switch (command.kind) {
        case CommandKind::status:
            return status_line();
        case CommandKind::end:
            send_end_of_track();
            break;
        case CommandKind::seek:
            playback_.seek(command.number);
            break;
        case CommandKind::go_to:
            if (!playback_.go_to(command.number)) {
                return "error position " + std::to_string(command.number) +
                       " is not in the playlist (" + std::to_string(playback_.size()) + " entries)";
            }
            break;
        case CommandKind::load: {
            std::string error;
            if (!backend_->load(playback_, command.text, error))
                return "error " + error;
            break;
        }
        case CommandKind::invalid:
            return "error " + command.text;
        case CommandKind::none:
        case CommandKind::config:
        case CommandKind::quit:
            break;
    }
    return "ok";
}

int PlayerApp::wait_timeout_ms() const {
    return backend_->wait_timeout_ms(playback_);
}

void PlayerApp::tick() {
    if (backend_->take_track_end(playback_))
        send_end_of_track();
}

// Sends the end of the current track to our own window, so that the
// plug-in's hook sees it before our procedure does.
void PlayerApp::send_end_of_track() {
    enter();
    platform::send_message(window_, velvox::kMsgEndOfTrack, 0, 0);
    leave();
}

// Marks the start of handling that may change tracks.
void PlayerApp::enter() {
    ++depth_;
}

// Marks its end. The outermost end has the back end carry out what the
// handling changed, as one step (a request's SetListPos and Play, or a return
// to the playlist's Play and Next, start one track), then prints a pending
// announcement.
void PlayerApp::leave() {
    if (--depth_ != 0)
        return;
    backend_->commit(playback_);
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
