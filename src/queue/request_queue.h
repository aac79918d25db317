// The request queue: waiting song requests, stored newest first and played
// oldest first; the rules that decide whether a request may join are in
// request_rules.h.
// One lock (QueueLock) serialises every access; it is never held while a
// message is sent to the player's window.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/result_codes.h"
#include "host/lock.h"
#include "queue/request_rules.h"

namespace velvox {

// Returns the lock that guards RequestQueue.
host::Lock& QueueLock();

// Tests a request against the rules; returns 1, 6, 7, 8 or 11. Changes nothing.
int CheckRequest(std::int32_t position, const char* requester);
// Adds a request as the newest entry, without any test.
void InsertRequest(std::int32_t position, const char* requester);
// CheckRequest and, when it gives 1, InsertRequest, under one holding of the
// lock. Returns the code of the check.
int CheckAndInsertRequest(std::int32_t position, const char* requester);

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
// Returns the number of waiting entries.
std::int32_t QueueLength();
// Copies the title (from the playlist copy) of the entry at play-order
// position p into title; returns false when there is none.
bool QueueEntryTitle(std::int32_t p, std::string& title);
// Returns the waiting entries in play order (oldest first), copied at once.
std::vector<QueueEntry> QueueInPlayOrder();
// Replaces the clock the rules read (seconds since the epoch); null restores
// host::now_seconds.
void SetQueueClockForTesting(std::int64_t (*clock)());

// Empties the queue (unit tests and unload).
void ClearRequestQueue();

}  // namespace velvox
