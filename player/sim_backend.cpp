// The simulated back end: the M3U playlist from the command line, and a
// playback clock that ends tracks by itself (--clock real) or only on the
// console's word (--clock manual).
#include "backend.h"

namespace player {

namespace {

// The longest wait of the real clock's loop: messages from other threads can
// start a track while the loop waits, so the clock is looked at this often.
constexpr std::int64_t kClockLookMs = 250;

class SimBackend : public Backend {
  public:
    SimBackend(const Options& options, Playlist playlist)
        : real_clock_(options.real_clock), playlist_(std::move(playlist)) {}

    bool begin(Playback& playback, platform::Window, std::string&) override {
        playback.replace(std::move(playlist_));
        return true;
    }

    void start(Playback& playback) override { playback.begin(); }

    void commit(Playback& playback) override { playback.take_changes(); }

    void on_event(Playback&, platform::WParam, platform::LParam) override {}

    int wait_timeout_ms(const Playback& playback) const override {
        if (!real_clock_)
            return -1;
        std::int64_t until = playback.ms_until_end();
        if (until < 0 || until > kClockLookMs)
            until = kClockLookMs;
        return static_cast<int>(until);
    }

    bool take_track_end(Playback& playback) override { return playback.take_track_end(); }

    bool load(Playback& playback, const std::string& file, std::string& error) override {
        Playlist playlist;
        if (!read_playlist(file, playlist, error))
            return false;
        playback.replace(std::move(playlist));
        return true;
    }

    void finish() override {}

  private:
    bool real_clock_;
    Playlist playlist_;  // until begin hands it to playback
};

}  // namespace

std::unique_ptr<Backend> make_sim_backend(const Options& options, Playlist playlist, std::string&) {
    return std::make_unique<SimBackend>(options, std::move(playlist));
}

}  // namespace player
