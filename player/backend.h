// Playback back ends: where the player's playlist and sound come from. The
// player's answers to its window messages are the same for every back end
// (Playback); a back end fills Playback, carries out what the messages
// changed, and tells the player when a track has ended. One back end is one
// file: sim_backend.cpp (the simulated playback of an M3U playlist) and
// mpd_backend.cpp (a Music Player Daemon, on Linux).
#pragma once
#include <memory>
#include <string>

#include "options.h"
#include "platform/window_messages.h"
#include "playback.h"

namespace player {

// The private message a back end's own thread sends to the player's window
// to hand it an event (the plug-in's hook passes it on; it is not traced).
constexpr unsigned kMsgBackendEvent = 0x8000 + 0x40;  // WM_APP + 0x40

class Backend {
  public:
    virtual ~Backend() = default;

    // Fills playback with the playlist and state to start from, before the
    // plug-in's init; window is the player's. Returns false with a message in
    // error when the back end cannot run.
    virtual bool begin(Playback& playback, platform::Window window, std::string& error) = 0;
    // Sets the state the player shows once the plug-in is started.
    virtual void start(Playback& playback) = 0;
    // Carries out what the handling that has just ended changed in playback.
    virtual void commit(Playback& playback) = 0;
    // Handles an event that the back end's thread sent (kMsgBackendEvent).
    virtual void on_event(Playback& playback, platform::WParam wparam, platform::LParam lparam) = 0;
    // Returns how long the loop may wait before take_track_end needs another
    // look: milliseconds, or -1 for ever.
    virtual int wait_timeout_ms(const Playback& playback) const = 0;
    // Returns true once for each end of a track that the player is to send
    // to its window.
    virtual bool take_track_end(Playback& playback) = 0;
    // Replaces the playlist with the file's (console "load"). Returns false
    // with a message in error when it cannot.
    virtual bool load(Playback& playback, const std::string& file, std::string& error) = 0;
    // Called at quit: leaves the real player's settings as they were found.
    virtual void finish() = 0;
};

// Makes the back end that options.player names, with the playlist read from
// the command line (sim). Returns nullptr with a message in error when it
// cannot be made (the player then exits with status 1).
std::unique_ptr<Backend> make_backend(const Options& options, Playlist playlist,
                                      std::string& error);

// The back ends' makers, for the table in backend.cpp.
std::unique_ptr<Backend> make_sim_backend(const Options& options, Playlist playlist,
                                          std::string& error);
std::unique_ptr<Backend> make_mpd_backend(const Options& options, Playlist playlist,
                                          std::string& error);

}  // namespace player
