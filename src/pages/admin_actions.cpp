// The admin endpoint: player commands, playlist reload and queue deletes,
// each allowed only with the configured password.
#include "pages/admin_actions.h"

#include <string>
#include <string_view>

#include "core/change_signal.h"
#include "core/host_ops.h"
#include "core/settings.h"
#include "pages/page_query.h"
#include "pages/redirect.h"
#include "queue/playback.h"
#include "queue/playlist_cache.h"
#include "queue/request_queue.h"

namespace velvox {
namespace {

// One admin action: its name in "action=" and what it does; null for delete,
// which answers with its own redirect.
struct AdminAction {
    const char* name;
    void (*run)();
};

// A new action is one row here.
const AdminAction kActions[] = {
    {"delete", nullptr},
    {"play", PlayerPlay},
    {"prev", PlayerPrevious},
    {"pause", PlayerPause},
    {"stop", PlayerStop},
    {"next", SkipToNext},
    {"refreshcache", RefreshPlaylistCache},
};

// Returns the action named by value, or null for any other text.
const AdminAction* ActionNamed(std::string_view value) {
    for (const AdminAction& action : kActions) {
        if (value == action.name)
            return &action;
    }
    return nullptr;
}

// What the admin target asks for.
struct AdminRequest {
    std::string pass;
    const AdminAction* action = nullptr;
    std::int32_t listpos = 0;
};

// Reads pass, action and listpos from the target.
AdminRequest ReadAdminRequest(const char* target) {
    AdminRequest request;
    ForEachQueryPiece(target, [&](std::string_view key, std::string_view value) {
        if (key == "pass") {
            request.pass.assign(value);
        } else if (key == "action") {
            // An unknown value leaves the last recognised one in force.
            if (const AdminAction* named = ActionNamed(value))
                request.action = named;
        } else if (key == "listpos") {
            request.listpos = QueryNumber(value);
        }
    });
    return request;
}

// Returns whether the request is a queue delete.
bool IsDelete(const AdminRequest& request) {
    return request.action != nullptr && request.action->run == nullptr;
}

}  // namespace

void HandleAdminAction(HttpConnection& connection, const char* target, bool& isAdmin) {
    const AdminRequest request = ReadAdminRequest(target);
    const SettingsSnapshot settings = CurrentSettings();
    const std::string password = settings->AdminPassword;
    if (password.empty()) {
        if (IsDelete(request))
            SendRedirect(connection, ResultLocation(connection.referer, kNoError));
        return;
    }
    if (request.pass != password) {
        isAdmin = false;
        if (IsDelete(request))
            SendRedirect(connection, ResultLocation(connection.referer, kBadAdminPassword));
        return;
    }
    isAdmin = true;
    if (request.action == nullptr)
        return;
    if (IsDelete(request)) {
        const int code = RemoveAtPlayPosition(request.listpos);
        AnnounceChange();
        SendRedirect(connection, ResultLocation(connection.referer, code));
        return;
    }
    request.action->run();
    AnnounceChange();
    // The whole password goes into the redirect, however long: a cut one
    // would land the administrator on the listener's view.
    SendRedirect(connection, "Location: /admin.cgi?pass=" + password);
}

}  // namespace velvox
