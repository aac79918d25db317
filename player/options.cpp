// The player's command line: options first or last, one playlist.
#include "options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "backend.h"
#include "player_app.h"
#include "plugin_module.h"
#include "velvox_version.h"

namespace player {

namespace {

// Splits "--name=value" into name and value; returns false when there is no '='.
bool split_inline_value(const std::string& arg, std::string& name, std::string& value) {
    std::size_t eq = arg.find('=');
    if (eq == std::string::npos)
        return false;
    name = arg.substr(0, eq);
    value = arg.substr(eq + 1);
    return true;
}

// Reads a positive, finite speed factor; returns false for anything else.
bool parse_speed(const std::string& text, double& speed) {
    if (text.empty())
        return false;
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (end == nullptr || *end != '\0' || !std::isfinite(value) || value <= 0.0)
        return false;
    speed = value;
    return true;
}

// Sets the module to load; returns false for an empty name.
bool set_plugin(const std::string& value, Options& options, std::string& error) {
    if (value.empty()) {
        error = "option --plugin needs a file name";
        return false;
    }
    options.plugin = value;
    return true;
}

// Sets the clock from "real" or "manual"; returns false for anything else.
bool set_clock(const std::string& value, Options& options, std::string& error) {
    if (value != "real" && value != "manual") {
        error = "option --clock takes real or manual, not '" + value + "'";
        return false;
    }
    options.real_clock = value == "real";
    return true;
}

// Sets the speed factor; returns false unless it is a number above 0.
bool set_speed(const std::string& value, Options& options, std::string& error) {
    if (!parse_speed(value, options.speed)) {
        error = "option --speed takes a number above 0, not '" + value + "'";
        return false;
    }
    return true;
}

// Sets the playback back end; returns false for a name other than sim or mpd.
bool set_player(const std::string& value, Options& options, std::string& error) {
    if (value != "sim" && value != "mpd") {
        error = "option --player takes sim or mpd, not '" + value + "'";
        return false;
    }
    options.player = value;
    return true;
}

// Sets the address of the Music Player Daemon; returns false when it is empty.
bool set_mpd(const std::string& value, Options& options, std::string& error) {
    if (value.empty()) {
        error = "option --mpd needs an address: [PASSWORD@]HOST[:PORT]";
        return false;
    }
    options.mpd = value;
    return true;
}

// Sets the folder for the module's settings file; returns false when it is empty.
bool set_settings_dir(const std::string& value, Options& options, std::string& error) {
    if (value.empty()) {
        error = "option --settings-dir needs a folder";
        return false;
    }
    options.settings_dir = value;
    return true;
}

// The options that take a value, as "--name VALUE" or "--name=VALUE".
struct ValueOption {
    const char* name;
    bool (*set)(const std::string& value, Options& options, std::string& error);
};
const ValueOption kValueOptions[] = {
    {"--plugin", set_plugin}, {"--clock", set_clock}, {"--speed", set_speed},
    {"--player", set_player}, {"--mpd", set_mpd},     {"--settings-dir", set_settings_dir},
};

// Returns the value option called name, or nullptr.
const ValueOption* find_value_option(const std::string& name) {
    for (const ValueOption& option : kValueOptions) {
        if (name == option.name)
            return &option;
    }
    return nullptr;
}

// Sets a flag option; returns false when arg is no flag.
bool set_flag(const std::string& arg, Options& options) {
    if (arg == "-h" || arg == "--help")
        options.help = true;
    else if (arg == "--version")
        options.version = true;
    else if (arg == "--trace")
        options.trace = true;
    else if (arg == "--announce")
        options.announce = true;
    else
        return false;
    return true;
}

// Reads the option at argv[i] that takes a value, moving i past its value when
// that is the next argument. Returns false with a message in error.
bool read_value_option(int argc, char** argv, int& i, Options& options, std::string& error) {
    const std::string arg = argv[i];
    std::string name = arg;
    std::string value;
    const bool inline_value = split_inline_value(arg, name, value);
    const ValueOption* option = find_value_option(name);
    if (option == nullptr) {
        error = "unknown option '" + arg + "'";
        return false;
    }
    if (!inline_value) {
        if (i + 1 >= argc) {
            error = "option " + name + " needs a value";
            return false;
        }
        value = argv[++i];
    }
    return option->set(value, options, error);
}

// Takes a non-option argument as the playlist; returns false for a second one.
bool set_playlist(const std::string& arg, bool& have_playlist, Options& options,
                  std::string& error) {
    if (have_playlist) {
        error = "more than one playlist given: '" + options.playlist + "' and '" + arg + "'";
        return false;
    }
    options.playlist = arg;
    have_playlist = true;
    return true;
}

// Checks that the playlist argument and --mpd suit the back end: sim plays a
// playlist file, mpd plays MPD's queue (with MPD's clock). Returns false with
// a message in error.
bool check_back_end_arguments(bool have_playlist, Options& options, std::string& error) {
    if (options.player == "mpd") {
        // MPD's clock is the clock: the simulated one's options do not apply.
        options.real_clock = true;
        options.speed = 1.0;
        if (have_playlist)
            error = "no playlist with --player mpd: the playlist is MPD's queue (given: '" +
                    options.playlist + "')";
        return !have_playlist;
    }
    if (!options.mpd.empty()) {
        error = "option --mpd needs --player mpd";
        return false;
    }
    if (!have_playlist) {
        error = "no playlist given";
        return false;
    }
    return true;
}

}  // namespace

bool parse_options(int argc, char** argv, Options& options, std::string& error) {
    bool have_playlist = false;
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options_ended || arg.size() < 2 || arg[0] != '-') {
            if (!set_playlist(arg, have_playlist, options, error))
                return false;
        } else if (arg == "--") {
            options_ended = true;
        } else if (set_flag(arg, options)) {
            if (options.help || options.version)
                return true;
        } else if (!read_value_option(argc, argv, i, options, error)) {
            return false;
        }
    }
    return check_back_end_arguments(have_playlist, options, error);
}

std::string usage_text(const char* program) {
    std::string p = program ? program : "velvox-host";
    return "usage: " + p +
           " [--plugin FILE] [--settings-dir DIR] [--clock real|manual] [--speed N] [--trace] "
           "[--announce] PLAYLIST.m3u\n"
           "       " +
           p +
           " --player mpd [--mpd [PASSWORD@]HOST[:PORT]] [--plugin FILE] [--settings-dir DIR] "
           "[--trace] [--announce]\n"
           "  --plugin FILE   the plug-in module to load (default: the one beside the program;\n"
           "                  for an installed Linux player, ../lib/velvox/ from it)\n"
           "  --settings-dir DIR  keep the module's plugin.ini in DIR, not beside the module\n"
           "  --clock real    playback time follows the wall clock (default)\n"
           "  --clock manual  time moves only by console commands; tracks never end by "
           "themselves\n"
           "  --speed N       real-clock playback runs N times faster (default 1)\n"
           "  --trace         write every message reaching the player's window to stderr\n"
           "  --announce      write one line per track change to stdout\n"
           "  --player sim    play PLAYLIST.m3u with a simulated clock (default)\n"
           "  --player mpd    play on a Music Player Daemon: its queue is the playlist, its\n"
           "                  clock is the clock (--clock and --speed do not apply)\n"
           "  --mpd ADDRESS   the daemon: [PASSWORD@]HOST[:PORT] or a socket path (default:\n"
           "                  MPD_HOST and MPD_PORT, else localhost:6600)\n"
           "  --version       print the version and end\n"
           "console commands: status, end, seek MS, goto P, load FILE, config, quit\n";
}

int read_start_up(int argc, char** argv, Options& options, std::unique_ptr<Backend>& backend) {
    std::string error;
    if (!parse_options(argc, argv, options, error)) {
        write_line(stderr, "velvox-host: " + error);
        std::fputs(usage_text(argv[0]).c_str(), stderr);
        return 2;
    }
    if (options.help) {
        std::fputs(usage_text(argv[0]).c_str(), stdout);
        return 0;
    }
    if (options.version) {
        write_line(stdout, "velvox-host " VELVOX_VERSION);
        return 0;
    }
    if (!options.settings_dir.empty() && !set_settings_folder(options.settings_dir)) {
        write_line(stderr, "velvox-host: cannot hand the settings folder to the plug-in");
        return 2;
    }
    Playlist playlist;
    if (options.player == "sim" && !read_playlist(options.playlist, playlist, error)) {
        write_line(stderr, "velvox-host: " + error);
        return 2;
    }
    backend = make_backend(options, std::move(playlist), error);
    if (backend == nullptr) {
        write_line(stderr, "velvox-host: " + error);
        return 1;
    }
    return -1;
}

}  // namespace player
