// The admin endpoint.
#include "pages/admin_actions.h"

namespace velvox {

// Not yet acting.
void HandleAdminAction(HttpConnection& connection, const char* target, bool& isAdmin) {
    (void)connection;
    (void)target;
    (void)isAdmin;
}

}  // namespace velvox
