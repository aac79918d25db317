// Serving files of the web root: the page template rendered line by line,
// any other file as it is, its body handed to the stream whole (which sends
// it from the kernel, or parks it with its offset for a slow reader).
#pragma once
#include "core/settings.h"
#include "http/http_connection.h"
#include "pages/page_query.h"
#include "server/served.h"

namespace velvox {

// Serves file_name from the web root: the path checks, the header for the
// content type, then the body ("text/html" through the page renderer with
// query). Names that come from the request (from_request) must resolve
// inside the web root. Returns what that came to.
Served ServeFromWebRoot(HttpConnection& connection, const SettingsSnapshot& settings,
                        const char* file_name, const char* content_type, bool from_request,
                        const PageQuery& query);

// The file route: a file under the web root named by the target, up to a "?".
Served ServeFile(HttpConnection& connection);

}  // namespace velvox
