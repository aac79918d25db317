// The stand-in player without its platform front: the window procedure's
// answers, tracing, announcements, the console commands and the clock's
// end-of-track. The fronts (posix/, win32/) create the window, load the
// plug-in module, read the console and run the loop.
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "backend.h"
#include "console.h"
#include "options.h"
#include "platform/window_messages.h"
#include "playback.h"
#include "plugin/plugin_record.h"

namespace player {

// Writes one whole line (a newline added) and flushes it.
void write_line(std::FILE* stream, const std::string& text);

class PlayerApp {
  public:
    PlayerApp(const Options& options, std::unique_ptr<Backend> backend);

    // Makes window (whose own procedure is own_proc) the player's main window
    // and begins the back end on it. Returns false with a message in error
    // when the back end cannot run.
    bool attach(platform::Window window, platform::WindowProc own_proc, std::string& error);
    platform::Window window() const { return window_; }

    // The body of the player's own window procedure: traces the message and
    // answers it, or hands a back end's event to it untraced. Returns the answer.
    platform::LResult on_message(unsigned message, platform::WParam wparam,
                                 platform::LParam lparam);
    // Traces a message that reached our procedure but is not one of the
    // player's interface (a real window also gets the system's own).
    void trace(unsigned message, platform::WParam wparam, platform::LParam lparam);
    // True for the messages the player answers: WM_USER, WM_COMMAND, end of track.
    static bool is_player_message(unsigned message);

    // Hands the plug-in its window and module, calls init, starts playback
    // and prints "ready".
    void start_plugin(velvox::PluginRecord* record, void* module);

    enum class LineResult { handled, quit };
    // Carries out one console line and prints its answer. For quit, the
    // plug-in's quit has returned and the front still prints "ok", unloads
    // the module and exits.
    LineResult handle_line(const std::string& line);

    // Calls the plug-in's quit, makes sure our own procedure is the window's
    // again and lets the back end leave the real player as it found it.
    void quit_plugin();

    // How long the loop may wait for input before the clock needs a look:
    // -1 for ever (manual clock), else milliseconds.
    int wait_timeout_ms() const;
    // Sends the end-of-track message when the back end reports the end of
    // the current track.
    void tick();

  private:
    std::string run_command(const Command& command);
    void send_end_of_track();
    void enter();
    void leave();
    void announce_if_changed();
    std::string status_line() const;

    Options options_;
    std::unique_ptr<Backend> backend_;
    Playback playback_;
    platform::Window window_ = nullptr;
    platform::WindowProc own_proc_ = nullptr;
    velvox::PluginRecord* record_ = nullptr;
    int depth_ = 0;  // nesting of our own handling; announcements wait for 0
    std::uint64_t announced_starts_ = 0;
};

}  // namespace player
