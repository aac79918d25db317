// velvox-host on POSIX: the emulated player window on the main thread, the
// plug-in loaded with dlopen, console lines and signals fed to the window.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/posix/emulated_window.h"
#include "platform/sockets.h"
#include "player_app.h"
#include "plugin_module.h"
#include "posix/console_input.h"

namespace {

player::PlayerApp* the_app = nullptr;

// The player's own window procedure.
platform::LResult player_window_proc(platform::Window, unsigned message, platform::WParam wparam,
                                     platform::LParam lparam) {
    return the_app->on_message(message, wparam, lparam);
}

// Prints a failure and ends the program with status 2.
[[noreturn]] void fail(const std::string& message) {
    player::write_line(stderr, "velvox-host: " + message);
    std::_Exit(2);
}

// Ends the program at once: threads blocked on input or sends are not joined.
[[noreturn]] void finish(void* module) {
    player::close_module(module);
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(0);
}

// Runs the quit sequence when a stop signal has arrived; returns otherwise.
void finish_if_stopped(player::PlayerApp& app, void* module) {
    if (!player::stop_requested)
        return;
    app.quit_plugin();
    finish(module);
}

// Waits for a console line (or a posted one: the signal thread's), a send
// from another thread, or the timeout. Sends are handled here, and the wait
// ends after them, so that the loop asks for its timeout again: a back-end
// event may have set a new one. Returns line when one came (in line), else
// timeout, or closed once the input has ended.
platform::emu::WaitResult wait_for_input(platform::Window window, std::string& line,
                                         int timeout_ms) {
    if (!platform::emu::wait_for_activity(window, timeout_ms))
        return platform::emu::WaitResult::timeout;
    return platform::emu::wait_for_line(window, line, 0);
}

// Creates the player's window, loads the plug-in and starts it, then starts
// the console reader; a refusal ends the program. Returns the window.
platform::Window start(player::PlayerApp& app, const player::Options& options, void*& module) {
    platform::Window window = platform::emu::create_window(player_window_proc);
    // First, so that every later thread (the back end's too) has the stop
    // signals blocked and only the signal thread takes them.
    if (!player::start_signal_thread(window))
        fail("cannot start the signal thread");
    std::string error;
    if (!app.attach(window, player_window_proc, error))
        fail(error);
    player::LoadedPlugin plugin;
    if (!player::load_plugin(options.plugin, plugin, error))
        fail(error);
    module = plugin.module;
    app.start_plugin(plugin.record, plugin.module);
    if (!player::start_input_thread(window))
        fail("cannot start the console reader");
    return window;
}

// The window's loop: console lines, sends from other threads and the clock,
// until quit or a stop signal ends the program.
[[noreturn]] void run(player::PlayerApp& app, platform::Window window, void* module) {
    for (;;) {
        finish_if_stopped(app, module);
        std::string line;
        const platform::emu::WaitResult result =
            wait_for_input(window, line, app.wait_timeout_ms());
        finish_if_stopped(app, module);
        if (result == platform::emu::WaitResult::line &&
            app.handle_line(line) == player::PlayerApp::LineResult::quit) {
            player::write_line(stdout, "ok");
            finish(module);
        }
        app.tick();
    }
}

}  // namespace

int main(int argc, char** argv) {
    player::Options options;
    std::unique_ptr<player::Backend> backend;
    int status = player::read_start_up(argc, argv, options, backend);
    if (status >= 0)
        return status;

    // A reader that went away must not kill the player (or the plug-in's sockets).
    signal(SIGPIPE, SIG_IGN);
    // Waiting sockets cost a descriptor each: room for thousands of them.
    platform::raise_open_file_limit();

    static player::PlayerApp app(options, std::move(backend));
    the_app = &app;
    void* module = nullptr;
    platform::Window window = start(app, options, module);
    run(app, window, module);
}
