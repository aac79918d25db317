// The plug-in's own copy of the player's playlist titles. A rebuild builds a
// new snapshot aside and publishes it at once; readers take one snapshot per
// use and read titles from it without any further lock.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velvox {

struct PlaylistSnapshot {
    std::vector<std::string> titles;       // by 0-based position
    std::vector<std::string> lowerTitles;  // the same titles in lower case, for searches
    std::int32_t length = 0;               // CachedLength of this snapshot
};

using PlaylistView = std::shared_ptr<const PlaylistSnapshot>;

// Returns the snapshot in force now (never null; empty before any rebuild).
PlaylistView PlaylistCache();

// Rebuilds the copy from the player when its list length differs from
// CachedLength (n + 1 messages); otherwise leaves it as it is.
void RefreshPlaylistCache();

// Returns the length recorded by the last rebuild.
std::int32_t CachedLength();

// Returns the title at position in the given snapshot, or null when there is none.
const std::string* CachedTitle(const PlaylistSnapshot& cache, std::int32_t position);
// Copies the title at position of the snapshot in force into title; returns
// false when there is none.
bool CachedTitle(std::int32_t position, std::string& title);

// Finds the artist of the title at position (the text before the first " -",
// empty when there is none). Returns false when the position has no title.
bool CachedArtist(const PlaylistSnapshot& cache, std::int32_t position, std::string_view& artist);

// Asks the player for its current position and copies the stored title there
// into title; returns false when there is none.
bool CurrentSongTitle(std::string& title);

}  // namespace velvox
