// Queued playback: the end-of-track handler and the admin "next".
#include "queue/playback.h"

#include "core/host_ops.h"
#include "queue/history.h"
#include "queue/playlist_cache.h"
#include "queue/request_queue.h"
#include "queue/skip_votes.h"

namespace velvox {

std::int32_t ResumePosition = -1;

namespace {

// The entry of the request played last in the current run; -1 for none.
// Read and written on the player's window thread only, as ResumePosition.
std::int32_t g_lastRequest = -1;

// Returns whether "next" from the saved entry reaches entry: the one after
// it, or the first when the saved one is the last (the player goes round).
// The player is asked for its length only when the copy says the saved entry
// is the last and entry is the first, so that a stale copy cannot skip a song.
bool NextReaches(std::int32_t saved, std::int32_t entry) {
    if (entry == saved + 1)
        return true;
    return entry == 0 && saved > 0 && saved + 1 == CachedLength() && GetListLength() == saved + 1;
}

// Sends the player back to the playlist after a run of requests: to the saved
// entry, then on to the next one. When that next one is the song whose
// request has just ended, the player moves on from that song instead, so it
// is not heard twice in a row; a request for the saved entry itself still
// leads on to the entry after it.
void ResumePlaylist() {
    std::int32_t from = ResumePosition;
    if (NextReaches(ResumePosition, g_lastRequest))
        from = g_lastRequest;
    PlayEntry(from);
    PlayerNext();
}

}  // namespace

bool HandleEndOfTrack() {
    // Votes are against the song that has just ended.
    ForgetSkipVotes();
    // The entry that ended, asked for once (before anything below makes
    // another entry current) and only when the recently played list or the
    // cooldown needs it: with a cooldown, the song ending now counts as played
    // even when the player reached it on its own.
    const bool history = HistoryRecording();
    const bool cooldown = SongCooldownOn();
    if (history || cooldown) {
        const std::int32_t ended = GetListPos();
        if (history)
            RecordEndedTrack(ended);
        if (cooldown)
            NoteCurrentSong(ended);
    }
    bool taken = false;
    // The last request of a run has just ended: back to where the run began,
    // then on to the entry after it (which one that is, the player decides).
    if (QueueLength() == 0 && ResumePosition != -1) {
        ResumePlaylist();
        NoteCurrentSong(-1);
        ResumePosition = -1;
        g_lastRequest = -1;
        taken = true;
    }
    // The queue lock is held only to read and to remove; the player is told to
    // play with no lock held, since its window thread is the one running here.
    std::int32_t position = 0;
    std::uint64_t serial = 0;
    if (PeekOldestRequest(position, serial)) {
        if (ResumePosition == -1)
            ResumePosition = GetListPos();
        PlayEntry(position);
        g_lastRequest = position;
        NoteSongStarted(position);
        // Removes exactly the entry that was played, even if an admin deleted
        // it meanwhile (then nothing else is removed in its place).
        TakeRequest(serial);
        taken = true;
    }
    return taken;
}

void SkipToNext() {
    PlayerNext();
    if (QueueLength() > 0)
        SendEndOfTrack();
}

}  // namespace velvox
