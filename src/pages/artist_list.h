// ArtistList: every distinct artist name seen in the playlist copy since the
// plug-in was loaded. It only grows; a lock of its own guards it.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "queue/playlist_cache.h"

namespace velvox {

using SortedArtists = std::shared_ptr<const std::vector<std::string>>;

// Appends the artists of cache not listed yet (names cut to 254 characters,
// empty ones skipped) and returns all names sorted by unsigned byte value.
// The returned list is immutable, so rows are sent from it without the lock.
SortedArtists UpdateArtistList(const PlaylistView& cache);

// Empties the list (unit tests and unload).
void ClearArtistList();

}  // namespace velvox
