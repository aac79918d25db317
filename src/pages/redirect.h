// The redirects of the song request endpoint and the admin actions.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "http/http_connection.h"

namespace velvox {

// Returns "Location: " and the referring page with "&errorCode=" and code
// appended (nothing appended for code 0), or "/playlist.cgi" with
// "?errorCode=" when the connection has no referer text. Cut to 1023
// characters.
std::string ResultLocation(std::string_view referer, int code);

// Writes the 302 head with the given Location line; no body follows.
void SendRedirect(HttpConnection& connection, const std::string& location);

// Returns the query value as a number, read by the decimal rule.
std::int32_t QueryNumber(std::string_view value);

}  // namespace velvox
