// The request queue: waiting song requests, played oldest first or, with
// FairOrder, in turns by address (request_queue.cpp); the rules that decide
// whether a request may join are in request_rules.h. It also keeps when songs
// began, for the cooldown.
// One lock (QueueLock) serialises every access; it is never held while a
// message is sent to the player's window.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/result_codes.h"
#include "platform/lock.h"
#include "queue/request_rules.h"

namespace velvox {

// Returns the lock that guards the request queue (every entry, turn and
// song start).
platform::Lock& QueueLock();

// Tests a request against the rules; returns 1 or a refusal code (4 to 8, 11,
// 13, 17, 18).
// Changes no entry. When NoConsecutiveArtist or SongCooldownMinutes is on, it
// first asks the player for its current position (before taking the lock) and
// notes it as NoteCurrentSong does.
int CheckRequest(std::int32_t position, const char* requester);
// Adds a request as the newest entry, without any test.
void InsertRequest(std::int32_t position, const char* requester);
// CheckRequest and, when it gives 1, InsertRequest, under one holding of the
// lock; with RequestsPerHour on, an accepted request is counted for its
// address. Returns the code of the check; for 17 (the hour's requests made)
// sets wait_minutes, when given, to the minutes until the next one is let in.
int CheckAndInsertRequest(std::int32_t position, const char* requester,
                          std::int32_t* wait_minutes = nullptr);

// "Oldest" below means the first in play order: the oldest entry, or with
// FairOrder the oldest of the earliest turn.
// Returns the position of the oldest entry; -1 when the queue is empty.
std::int32_t OldestRequestPosition();
// Removes the oldest entry (nothing when the queue is empty).
void TakeOldestRequest();
// Reads the oldest entry's position and the serial number that names that very
// entry; returns false (and changes nothing) when the queue is empty.
bool PeekOldestRequest(std::int32_t& position, std::uint64_t& serial);
// Removes the entry with the given serial number when it still waits; returns
// whether it did. Entries that joined or moved meanwhile are never taken instead.
bool TakeRequest(std::uint64_t serial);
// Removes the entry at 1-based play-order position p; returns 10, or 11 when
// there is no such entry.
int RemoveAtPlayPosition(std::int32_t p);
// Takes back the entry with the given serial number: a listener only an entry
// of their own address, the administrator (admin) any. Returns 19 when it was
// removed, 20 for another address's entry, 21 when none waits with that number.
int TakeBackRequest(std::uint64_t serial, const char* requester, bool admin);
// Returns the number of waiting entries.
std::int32_t QueueLength();
// Copies the title (from the playlist copy) of the entry at play-order
// position p into title; returns false when there is none.
bool QueueEntryTitle(std::int32_t p, std::string& title);
// Returns the waiting entries in play order, copied at once.
std::vector<QueueEntry> QueueInPlayOrder();

// Returns whether SongCooldownMinutes is on in the settings in force.
bool SongCooldownOn();
// Records that the plug-in has just started the song at position.
void NoteSongStarted(std::int32_t position);
// Records that the player was found at position: when it is not the position
// seen last, that song counts as begun now. -1 says the current song is not
// known (the next one seen then counts as begun when it is seen).
void NoteCurrentSong(std::int32_t position);

// Empties the queue and forgets the turns, song starts and accepted times
// (unit tests and unload).
void ClearRequestQueue();

}  // namespace velvox
