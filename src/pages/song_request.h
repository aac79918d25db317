// The song request endpoint, "/request.cgi".
#pragma once
#include "http/http_connection.h"

namespace velvox {

// Tests and queues the requested song, then redirects back to the referring
// page with the result code. Writes the whole reply.
void HandleSongRequest(HttpConnection& connection, const char* target);

}  // namespace velvox
