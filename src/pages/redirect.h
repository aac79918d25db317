// The redirects of the song request endpoint and the admin actions.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "http/http_connection.h"

namespace velvox {

// Returns "Location: " and the referring page with "&errorCode=" and code
// appended (nothing appended for code 0), or "/playlist.cgi" with
// "?errorCode=" when the connection has no referer text; a wait of
// wait_minutes > 0 follows as "&wait=N". Cut to 1023 characters.
std::string ResultLocation(std::string_view referer, int code, std::int32_t wait_minutes = 0);

// Sends the listener back to the referring page with the result code (and a
// wait, see ResultLocation); "action=" in it becomes "actionx=", so that the
// page returned to does not repeat an admin action when reloaded.
void SendResultRedirect(HttpConnection& connection, int code, std::int32_t wait_minutes = 0);

// Writes the 302 head with the given Location line; no body follows.
void SendRedirect(HttpConnection& connection, const std::string& location);

// Returns the query value as a number, read by the decimal rule.
std::int32_t QueryNumber(std::string_view value);

}  // namespace velvox
