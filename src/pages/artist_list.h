// ArtistList: every distinct artist name seen in the playlist copy since the
// plug-in was loaded. It only grows; a lock of its own guards it.
#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "queue/playlist_cache.h"

namespace velvox {

// One version of the list: every name, sorted by unsigned byte value, and the
// names HTML-escaped as the rows show them, made once per version.
struct ArtistVersion {
    std::vector<std::string> names;
    std::string escaped;            // the escaped names one after another
    std::vector<std::size_t> ends;  // where the i-th escaped name ends

    // Returns the i-th name HTML-escaped.
    std::string_view escaped_name(std::size_t i) const {
        const std::size_t begin = i == 0 ? 0 : ends[i - 1];
        return std::string_view(escaped).substr(begin, ends[i] - begin);
    }
};

using SortedArtists = std::shared_ptr<const ArtistVersion>;

// Appends the artists of cache not listed yet (names cut to 254 characters,
// empty ones skipped) and returns the version of the list that holds them all.
// A version is immutable, so rows are sent from it without the lock.
SortedArtists UpdateArtistList(const PlaylistView& cache);

// Empties the list (unit tests and unload).
void ClearArtistList();

}  // namespace velvox
