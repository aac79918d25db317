// The playlist copy: immutable snapshots, rebuilt aside and published at once.
#include "queue/playlist_cache.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "core/host_ops.h"
#include "platform/text_case.h"

namespace velvox {

namespace {

// Bytes set aside per title before the first is read: most titles fit, and
// room that is never written costs no memory on systems that map it lazily.
// Beyond kTitlesGuessed titles the text grows as it needs, so that a huge
// length from the player asks for no huge block at once.
constexpr std::size_t kTitleBytesGuess = 48;
constexpr std::size_t kTitlesGuessed = 1 << 20;

struct CacheStore {
    std::mutex mutex;  // held only to copy or swap the pointer, never while sending
    PlaylistView current = std::make_shared<const PlaylistSnapshot>();
};

// Returns the process-wide store; never destroyed, so threads still running at
// exit never see it go.
CacheStore& store() {
    static auto* s = new CacheStore;
    return *s;
}

// Makes snapshot the one in force.
void Publish(PlaylistView snapshot) {
    CacheStore& s = store();
    std::lock_guard<std::mutex> hold(s.mutex);
    s.current = std::move(snapshot);
}

// Lays out titles in snapshot, one at a time; finish ends the layout.
class Layout {
  public:
    Layout(PlaylistSnapshot& snapshot, std::size_t count) : snapshot_(snapshot) {
        snapshot.length = static_cast<std::int32_t>(count);
        snapshot.starts.reserve(count + 1);
        snapshot.text.reserve(std::min(count, kTitlesGuessed) * kTitleBytesGuess);
        snapshot.text.push_back('\0');
        snapshot.foldedText.push_back('\0');
    }

    // Adds the next title, with its folded form when A-Z alone cannot give it.
    void add(std::string_view title) {
        const auto position = static_cast<std::int32_t>(snapshot_.starts.size());
        snapshot_.starts.push_back(snapshot_.text.size());
        snapshot_.text.append(title);
        snapshot_.text.push_back('\0');
        if (platform::is_ascii(title))
            return;
        folded_.clear();
        platform::fold_case(title, folded_);
        if (platform::equals_lowered(title, folded_))
            return;
        snapshot_.foldedStarts.push_back(snapshot_.foldedText.size());
        snapshot_.foldedPositions.push_back(position);
        snapshot_.foldedText.append(folded_);
        snapshot_.foldedText.push_back('\0');
    }

    // Adds one more start, where a title after the last would begin, so that
    // every title ends one byte (its NUL) before the next start.
    void finish() {
        snapshot_.starts.push_back(snapshot_.text.size());
        snapshot_.foldedStarts.push_back(snapshot_.foldedText.size());
    }

  private:
    PlaylistSnapshot& snapshot_;
    std::string folded_;
};

// Returns the text between start and the NUL before next.
std::string_view Between(const std::string& text, std::size_t start, std::size_t next) {
    return std::string_view(text).substr(start, next - 1 - start);
}

// Returns the index i of starts with starts[i] <= offset < starts[i + 1],
// looking from hint (an index at or before it) on: in steps that double,
// since the next hit of a search is most often a few titles on, then halving.
std::size_t IndexAt(const std::vector<std::size_t>& starts, std::size_t offset, std::size_t hint) {
    std::size_t low = hint;
    std::size_t high = hint + 1;
    for (std::size_t step = 1; high < starts.size() && starts[high] <= offset; step *= 2) {
        low = high;
        high = hint + step * 2;
    }
    high = std::min(high, starts.size());
    const auto first = starts.begin() + static_cast<std::ptrdiff_t>(low);
    const auto last = starts.begin() + static_cast<std::ptrdiff_t>(high);
    return static_cast<std::size_t>(std::upper_bound(first, last, offset) - starts.begin()) - 1;
}

}  // namespace

PlaylistView PlaylistCache() {
    CacheStore& s = store();
    std::lock_guard<std::mutex> hold(s.mutex);
    return s.current;
}

void RefreshPlaylistCache() {
    // The player is asked with no lock held: its window thread may itself be
    // waiting for one of ours.
    const std::int32_t length = GetListLength();
    if (length == CachedLength())
        return;
    auto next = std::make_shared<PlaylistSnapshot>();
    next->length = length;
    if (length > 0) {
        Layout layout(*next, static_cast<std::size_t>(length));
        for (std::int32_t p = 0; p < length; ++p)
            layout.add(GetPlaylistTitle(p));
        layout.finish();
    }
    Publish(std::move(next));
}

PlaylistView MakeSnapshot(const std::vector<std::string>& titles) {
    auto snapshot = std::make_shared<PlaylistSnapshot>();
    if (!titles.empty()) {
        Layout layout(*snapshot, titles.size());
        for (const std::string& title : titles)
            layout.add(title);
        layout.finish();
    }
    return snapshot;
}

std::int32_t CachedLength() {
    return PlaylistCache()->length;
}

std::optional<std::string_view> CachedTitle(const PlaylistSnapshot& cache, std::int32_t position) {
    if (position < 0 || position >= cache.length)
        return std::nullopt;
    const auto index = static_cast<std::size_t>(position);
    if (index + 1 >= cache.starts.size())
        return std::nullopt;
    return Between(cache.text, cache.starts[index], cache.starts[index + 1]);
}

bool CachedTitle(std::int32_t position, std::string& title) {
    PlaylistView cache = PlaylistCache();
    const std::optional<std::string_view> found = CachedTitle(*cache, position);
    if (!found)
        return false;
    title.assign(found->data(), found->size());
    return true;
}

bool CachedArtist(const PlaylistSnapshot& cache, std::int32_t position, std::string_view& artist) {
    const std::optional<std::string_view> title = CachedTitle(cache, position);
    if (!title)
        return false;
    const std::size_t mark = title->find(" -");
    artist = mark == std::string_view::npos ? std::string_view() : title->substr(0, mark);
    return true;
}

bool CurrentSongTitle(std::string& title) {
    return CachedTitle(GetListPos(), title);
}

bool TitleHolds(const PlaylistSnapshot& cache, std::int32_t position, std::string_view folded) {
    std::optional<std::string_view> title = CachedTitle(cache, position);
    if (!title)
        return false;
    const auto& kept = cache.foldedPositions;
    const auto at = std::lower_bound(kept.begin(), kept.end(), position);
    if (at != kept.end() && *at == position) {
        const auto i = static_cast<std::size_t>(at - kept.begin());
        title = Between(cache.foldedText, cache.foldedStarts[i], cache.foldedStarts[i + 1]);
    }
    return platform::find_lowered(title->data(), title->size(), folded) != nullptr;
}

// Keeps the text to look for: after a NUL when it is to begin a title.
TitleSearch::TitleSearch(const PlaylistSnapshot& cache, std::string_view folded, bool atStart)
    : cache_(cache), atStart_(atStart), everyTitle_(folded.empty()) {
    if (atStart)
        needle_.push_back('\0');
    needle_.append(folded);
}

// Returns the next position whose title holds the text, passing over titles
// with a kept folded form; -1 when no more do.
std::int32_t TitleSearch::NextInTitles() {
    const std::string& text = cache_.text;
    const std::size_t titles = cache_.starts.empty() ? 0 : cache_.starts.size() - 1;
    const std::size_t shift = atStart_ ? 1 : 0;  // the NUL before the title
    const auto& kept = cache_.foldedPositions;
    Cursor& c = titles_;
    while (c.from < text.size()) {
        const char* hit =
            platform::find_lowered(text.data() + c.from, text.size() - c.from, needle_);
        if (hit == nullptr)
            break;
        c.index =
            IndexAt(cache_.starts, static_cast<std::size_t>(hit - text.data()) + shift, c.index);
        if (c.index >= titles)
            break;
        c.from = cache_.starts[c.index + 1] - shift;
        // Titles with a kept folded form are searched in that form instead.
        const auto position = static_cast<std::int32_t>(c.index);
        while (c.skip < kept.size() && kept[c.skip] < position)
            ++c.skip;
        if (c.skip < kept.size() && kept[c.skip] == position)
            continue;
        return position;
    }
    c.from = text.size();
    return -1;
}

// Returns the next position whose kept folded form holds the text; -1 when no
// more do.
std::int32_t TitleSearch::NextInFolded() {
    const std::string& text = cache_.foldedText;
    const std::size_t shift = atStart_ ? 1 : 0;
    Cursor& c = folded_;
    if (c.from < text.size()) {
        const char* hit =
            platform::find_lowered(text.data() + c.from, text.size() - c.from, needle_);
        if (hit != nullptr) {
            c.index = IndexAt(cache_.foldedStarts,
                              static_cast<std::size_t>(hit - text.data()) + shift, c.index);
            if (c.index < cache_.foldedPositions.size()) {
                c.from = cache_.foldedStarts[c.index + 1] - shift;
                return cache_.foldedPositions[c.index];
            }
        }
    }
    c.from = text.size();
    return -1;
}

// The two texts are searched each on its own and their positions merged.
std::int32_t TitleSearch::next() {
    if (everyTitle_) {
        // Every title holds the empty text: the positions in turn.
        const auto titles =
            static_cast<std::int32_t>(cache_.starts.empty() ? 0 : cache_.starts.size() - 1);
        const auto position = static_cast<std::int32_t>(titles_.index);
        if (position >= titles)
            return -1;
        ++titles_.index;
        return position;
    }
    if (titles_.found == -2)
        titles_.found = NextInTitles();
    if (folded_.found == -2)
        folded_.found = NextInFolded();
    Cursor* first = &titles_;
    if (first->found < 0 || (folded_.found >= 0 && folded_.found < first->found))
        first = &folded_;
    const std::int32_t position = first->found;
    if (position >= 0)
        first->found = -2;
    return position;
}

}  // namespace velvox
