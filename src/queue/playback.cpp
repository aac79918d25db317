// Queued playback: the end-of-track handler and the admin "next".
#include "queue/playback.h"

#include "core/host_ops.h"
#include "queue/history.h"
#include "queue/request_queue.h"

namespace velvox {

std::int32_t ResumePosition = -1;

bool HandleEndOfTrack() {
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
    // then on to the entry after it (which one that is, is not known here).
    if (QueueLength() == 0 && ResumePosition != -1) {
        PlayEntry(ResumePosition);
        PlayerNext();
        NoteCurrentSong(-1);
        ResumePosition = -1;
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
