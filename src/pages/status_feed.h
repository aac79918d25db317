// The status feed: read-only JSON about the player, the request queue, the
// recently played list and the playlist, for overlays, chat bots and home
// automation. It carries nothing of the administrator's.
#pragma once
#include <string>

#include "http/http_connection.h"

namespace velvox {

// Returns the JSON object of /api/status.json (no line feed after it). With
// steady given, also writes there the same text less the elapsed time and the
// requests' start times, which change all the time without anything a guest
// looks at changing. With visitor (a client address) given, each request
// says whether it is that address's ("mine").
std::string StatusJson(std::string* steady = nullptr, const char* visitor = nullptr);

// Sends the reply to /api/status.json: the play state, the current entry and
// its timing, the queue in play order and the recently played titles.
void SendStatusFeed(HttpConnection& connection);

// Sends the reply to /api/playlist.json?psearch=&startswith=&current=: the
// page window of the playlist page for the same query, with its counts.
void SendPlaylistFeed(HttpConnection& connection);

}  // namespace velvox
