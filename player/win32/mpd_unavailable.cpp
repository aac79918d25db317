// The Windows player plays only the simulated playlist: a Music Player
// Daemon is the Linux player's.
#include "backend.h"

namespace player {

std::unique_ptr<Backend> make_mpd_backend(const Options&, Playlist, std::string& error) {
    error =
        "--player mpd is not available in the Windows player; it plays only --player sim "
        "(the MPD back end is part of velvox-host on Linux)";
    return nullptr;
}

}  // namespace player
