// The recently played list: the titles of the tracks that ended, newest
// first, at most HistorySize of them. It has its own lock, held only to copy
// or change the list, never while a message goes to the player.
//
// The list records only once someone has read it (a page or the status
// feed): before that no end of track sends the player anything more than it
// did before the list existed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/settings.h"

namespace velvox {

// The most titles the list ever keeps, whatever HistorySize says.
constexpr std::size_t kHistoryMax = 100;

// Returns HistorySize by the decimal rule, held to 0..kHistoryMax.
std::size_t HistoryLimit(const PluginSettings& settings);

// Returns whether the list records ended tracks now: it is in use and not
// switched off.
bool HistoryRecording();

// At the end of a track, when HistoryRecording: puts the title at position,
// the entry that ended (from the playlist copy), in front, dropping the
// oldest beyond the limit. Returns whether it recorded a title.
bool RecordEndedTrack(std::int32_t position);

// Returns the titles, newest first, at most HistoryLimit of them (copied at
// once), and puts the list in use from now on.
std::vector<std::string> RecentlyPlayed();

// Empties the list and takes it out of use (unit tests and unload).
void ClearHistory();

}  // namespace velvox
