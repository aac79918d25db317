// The admin endpoint, "/admin.cgi?...".
#pragma once
#include "http/http_connection.h"

namespace velvox {

// Checks the password, carries out at most one action and, for an action,
// writes a redirect head. Sets isAdmin as the page query would.
void HandleAdminAction(HttpConnection& connection, const char* target, bool& isAdmin);

}  // namespace velvox
