// The table of back ends, by the name --player takes.
#include "backend.h"

namespace player {

namespace {

struct BackendKind {
    const char* name;
    std::unique_ptr<Backend> (*make)(const Options& options, Playlist playlist, std::string& error);
};

const BackendKind kBackends[] = {
    {"sim", make_sim_backend},
    {"mpd", make_mpd_backend},
};

}  // namespace

std::unique_ptr<Backend> make_backend(const Options& options, Playlist playlist,
                                      std::string& error) {
    for (const BackendKind& kind : kBackends) {
        if (options.player == kind.name)
            return kind.make(options, std::move(playlist), error);
    }
    error = "no playback back end called '" + options.player + "'";
    return nullptr;
}

}  // namespace player
