// The player's command line: options first or last, one playlist.
#include "options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "player_app.h"

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

}  // namespace

bool parse_options(int argc, char** argv, Options& options, std::string& error) {
    bool have_playlist = false;
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (options_ended || arg.size() < 2 || arg[0] != '-') {
            if (have_playlist) {
                error =
                    "more than one playlist given: '" + options.playlist + "' and '" + arg + "'";
                return false;
            }
            options.playlist = arg;
            have_playlist = true;
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            options.help = true;
            return true;
        }
        if (arg == "--trace") {
            options.trace = true;
            continue;
        }
        if (arg == "--announce") {
            options.announce = true;
            continue;
        }
        std::string name = arg;
        std::string value;
        if (!split_inline_value(arg, name, value)) {
            if (name != "--plugin" && name != "--clock" && name != "--speed") {
                error = "unknown option '" + arg + "'";
                return false;
            }
            if (i + 1 >= argc) {
                error = "option " + name + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (name == "--plugin") {
            if (value.empty()) {
                error = "option --plugin needs a file name";
                return false;
            }
            options.plugin = value;
        } else if (name == "--clock") {
            if (value != "real" && value != "manual") {
                error = "option --clock takes real or manual, not '" + value + "'";
                return false;
            }
            options.real_clock = value == "real";
        } else if (name == "--speed") {
            if (!parse_speed(value, options.speed)) {
                error = "option --speed takes a number above 0, not '" + value + "'";
                return false;
            }
        } else {
            error = "unknown option '" + arg + "'";
            return false;
        }
    }
    if (!have_playlist) {
        error = "no playlist given";
        return false;
    }
    return true;
}

std::string usage_text(const char* program) {
    std::string p = program ? program : "velvox-host";
    return "usage: " + p +
           " [--plugin FILE] [--clock real|manual] [--speed N] [--trace] [--announce] "
           "PLAYLIST.m3u\n"
           "  --plugin FILE   the plug-in module to load (default: the one beside the program)\n"
           "  --clock real    playback time follows the wall clock (default)\n"
           "  --clock manual  time moves only by console commands; tracks never end by "
           "themselves\n"
           "  --speed N       real-clock playback runs N times faster (default 1)\n"
           "  --trace         write every message reaching the player's window to stderr\n"
           "  --announce      write one line per track change to stdout\n"
           "console commands: status, end, seek MS, goto P, load FILE, config, quit\n";
}

int read_start_up(int argc, char** argv, Options& options, Playlist& playlist) {
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
    if (!read_playlist(options.playlist, playlist, error)) {
        write_line(stderr, "velvox-host: " + error);
        return 2;
    }
    return -1;
}

}  // namespace player
