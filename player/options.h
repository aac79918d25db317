// The player's command line.
#pragma once
#include <memory>
#include <string>

#include "playlist.h"

namespace player {

class Backend;

struct Options {
    std::string plugin;        // module to load; empty means the one beside the program
    std::string settings_dir;  // --settings-dir: the folder of the module's plugin.ini
    bool real_clock = true;
    double speed = 1.0;          // real-clock playback runs this many times faster
    bool trace = false;          // every message reaching our procedure goes to stderr
    bool announce = false;       // one stdout line per track change
    std::string player = "sim";  // the playback back end: sim or mpd
    std::string mpd;             // --mpd: [PASSWORD@]HOST[:PORT]; empty: the environment's
    std::string playlist;
    bool help = false;
    bool version = false;  // --version: print it and end
};

// Reads the command line into options. Returns false with a message in error
// when it is not understood.
bool parse_options(int argc, char** argv, Options& options, std::string& error);

// Returns the usage text (several lines, ending in a newline).
std::string usage_text(const char* program);

// Reads the command line and the playlist it names, and makes the playback
// back end, writing usage or errors to the console. Returns -1 when the
// player is to go on, otherwise the exit status to end with (0 after --help
// or --version, 2 on an error of the command line or the playlist, 1 when the
// back end cannot run, such as an MPD that cannot be reached).
int read_start_up(int argc, char** argv, Options& options, std::unique_ptr<Backend>& backend);

}  // namespace player
