// The player's playlist and its M3U/M3U8 reader.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace player {

struct Entry {
    std::string title;
    std::int32_t length_s = -1;  // -1: unknown, such a track never ends by itself
};

using Playlist = std::vector<Entry>;

// Reads an M3U/M3U8 file: "#EXTINF:<seconds>,<title>" describes the next
// entry; an entry without one is titled by its file name (no folder) with
// length -1; blank lines and other '#' lines are skipped. Returns false with
// a message in error when the file cannot be read.
bool read_playlist(const std::string& path, Playlist& playlist, std::string& error);

// Parses playlist text (the file's contents) into entries.
Playlist parse_playlist(const std::string& text);

}  // namespace player
