// The signal that something a guest sees may have changed (the track, the
// play state, the queue, the recently played list). The places that change
// them raise it; live events listen. Raising it never waits on a socket or
// on the player: it only wakes whoever listens.
#pragma once

namespace velvox {

// Tells the listener, if any, that the state may have changed; any thread,
// returns at once.
void AnnounceChange();

// Sets the function AnnounceChange calls (nullptr: none). It must return at
// once and never send to the player's window.
void SetChangeListener(void (*listener)());

}  // namespace velvox
