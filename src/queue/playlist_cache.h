// The plug-in's own copy of the player's playlist titles. A rebuild builds a
// new snapshot aside and publishes it at once; readers take one snapshot per
// use and read titles from it without any further lock.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velvox {

// One version of the copy. Its titles lie in one text, each after a NUL
// ("\0" title 0 "\0" title 1 ... "\0"), so that a search goes through all of
// them in one pass and a NUL and a text found together mean a title that
// begins with the text. Case-blind searches read A-Z of these titles as a-z;
// a title whose folded form (platform::fold_case) is more than that has its
// folded form kept as well, in a second text of the same shape.
struct PlaylistSnapshot {
    std::string text;                       // every title, each after a NUL, and a NUL at the end
    std::vector<std::size_t> starts;        // where title p begins in text
    std::string foldedText;                 // the kept folded forms, in the same shape
    std::vector<std::size_t> foldedStarts;  // where the i-th kept form begins
    std::vector<std::int32_t> foldedPositions;  // whose form the i-th one is, ascending
    std::int32_t length = 0;                    // CachedLength of this snapshot
};

using PlaylistView = std::shared_ptr<const PlaylistSnapshot>;

// Returns the snapshot in force now (never null; empty before any rebuild).
PlaylistView PlaylistCache();

// Rebuilds the copy from the player when its list length differs from
// CachedLength (n + 1 messages); otherwise leaves it as it is.
void RefreshPlaylistCache();

// Returns a snapshot of titles laid out as a rebuild lays out the player's.
PlaylistView MakeSnapshot(const std::vector<std::string>& titles);

// Returns the length recorded by the last rebuild.
std::int32_t CachedLength();

// Returns the title at position in the given snapshot (valid as long as the
// snapshot), or nothing when there is none.
std::optional<std::string_view> CachedTitle(const PlaylistSnapshot& cache, std::int32_t position);
// Copies the title at position of the snapshot in force into title; returns
// false when there is none.
bool CachedTitle(std::int32_t position, std::string& title);

// Finds the artist of the title at position (the text before the first " -",
// empty when there is none). Returns false when the position has no title.
bool CachedArtist(const PlaylistSnapshot& cache, std::int32_t position, std::string_view& artist);

// Asks the player for its current position and copies the stored title there
// into title; returns false when there is none.
bool CurrentSongTitle(std::string& title);

// Returns true when the folded form of the title at position holds folded
// (text folded by platform::fold_case); false too when there is no such title.
bool TitleHolds(const PlaylistSnapshot& cache, std::int32_t position, std::string_view folded);

// Goes through the positions of one snapshot whose titles' folded forms hold
// a folded text (or begin with it), in ascending order, each scan picking up
// where the last one stopped. The snapshot must outlive the search.
class TitleSearch {
  public:
    TitleSearch(const PlaylistSnapshot& cache, std::string_view folded, bool atStart);

    // Returns the next position that matches, or -1 when no more do.
    std::int32_t next();

  private:
    // Where the search of one of the two texts stands.
    struct Cursor {
        std::size_t from = 0;     // where its next scan begins
        std::size_t index = 0;    // the title (or kept form) of the last match
        std::size_t skip = 0;     // the first kept form not yet passed
        std::int32_t found = -2;  // a position found and not handed out; -1 none left
    };
    std::int32_t NextInTitles();
    std::int32_t NextInFolded();

    const PlaylistSnapshot& cache_;
    std::string needle_;  // the folded text, after a NUL when atStart
    bool atStart_;
    bool everyTitle_;  // the folded text is empty: every title holds it
    Cursor titles_;
    Cursor folded_;
};

}  // namespace velvox
