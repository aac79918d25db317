// velvox-host on POSIX: the emulated player window on the main thread, the
// plug-in loaded with dlopen, console lines and signals fed to the window.
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <memory>
#include <string>

#include "host/posix/emulated_window.h"
#include "player_app.h"
#include "posix/console_input.h"

namespace {

player::PlayerApp* the_app = nullptr;

// The player's own window procedure.
host::LResult player_window_proc(host::Window, unsigned message, host::WParam wparam,
                                 host::LParam lparam) {
    return the_app->on_message(message, wparam, lparam);
}

// Returns the folder of the running program, with a trailing '/'; empty when
// it cannot be found.
std::string program_folder() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return std::string();
    std::string full(path, static_cast<std::size_t>(n));
    std::size_t slash = full.rfind('/');
    return slash == std::string::npos ? std::string() : full.substr(0, slash + 1);
}

// Prints a failure and ends the program with status 2.
[[noreturn]] void fail(const std::string& message) {
    player::write_line(stderr, "velvox-host: " + message);
    std::_Exit(2);
}

// Ends the program at once: threads blocked on input or sends are not joined.
[[noreturn]] void finish(void* module) {
    if (module != nullptr)
        dlclose(module);
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(0);
}

// Waits for the next console line once input has ended: wait_for_line then
// reports "closed" at once, so this waits on the window for a send or a
// posted line (the signal thread's) before letting it handle them.
host::emu::WaitResult wait_after_input_closed(host::Window window, std::string& line,
                                              int timeout_ms) {
    if (!host::emu::wait_for_activity(window, timeout_ms))
        return host::emu::WaitResult::timeout;
    return host::emu::wait_for_line(window, line, 0);
}

}  // namespace

int main(int argc, char** argv) {
    player::Options options;
    player::Playlist playlist;
    int status = player::read_start_up(argc, argv, options, playlist);
    if (status >= 0)
        return status;

    // A reader that went away must not kill the player (or the plug-in's sockets).
    signal(SIGPIPE, SIG_IGN);

    static player::PlayerApp app(options, std::move(playlist));
    the_app = &app;
    host::Window window = host::emu::create_window(player_window_proc);
    app.attach(window, player_window_proc);
    if (!player::start_signal_thread(window))
        fail("cannot start the signal thread");

    std::string plugin =
        options.plugin.empty() ? program_folder() + "libvelvox.so" : options.plugin;
    if (plugin.find('/') == std::string::npos)
        plugin = "./" + plugin;  // a bare name means the file here, not a library search
    void* module = dlopen(plugin.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* why = dlerror();
        fail("cannot load plug-in '" + plugin + "': " + (why ? why : "unknown error"));
    }
    auto get_record =
        reinterpret_cast<player::GetPluginRecord>(dlsym(module, "winampGetGeneralPurposePlugin"));
    if (get_record == nullptr)
        fail("plug-in '" + plugin + "' has no export winampGetGeneralPurposePlugin");
    velvox::PluginRecord* record = get_record();
    if (record == nullptr)
        fail("plug-in '" + plugin + "' returned no record");

    app.start_plugin(record, module);
    if (!player::start_input_thread(window))
        fail("cannot start the console reader");

    bool input_closed = false;
    for (;;) {
        if (player::stop_requested) {
            app.quit_plugin();
            finish(module);
        }
        std::string line;
        const int timeout = app.wait_timeout_ms();
        host::emu::WaitResult result = input_closed
                                           ? wait_after_input_closed(window, line, timeout)
                                           : host::emu::wait_for_line(window, line, timeout);
        if (player::stop_requested) {
            app.quit_plugin();
            finish(module);
        }
        switch (result) {
            case host::emu::WaitResult::line:
                if (app.handle_line(line) == player::PlayerApp::LineResult::quit) {
                    player::write_line(stdout, "ok");
                    finish(module);
                }
                break;
            case host::emu::WaitResult::closed:
                input_closed = true;
                break;
            case host::emu::WaitResult::timeout:
                break;
        }
        app.tick();
    }
}
