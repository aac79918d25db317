// The admin endpoint: player commands, playlist reload and queue deletes,
// each allowed only with the configured password.
#include "pages/admin_actions.h"

#include <string>
#include <string_view>

#include "pages/page_query.h"
#include "pages/redirect.h"
#include "core/host_ops.h"
#include "core/settings.h"
#include "queue/playback.h"
#include "queue/playlist_cache.h"
#include "queue/request_queue.h"

namespace velvox {
namespace {

enum class AdminAction { None, Delete, Play, Prev, Pause, Stop, Next, RefreshCache };

// Returns the action named by value, or None for any other text.
AdminAction ActionNamed(std::string_view value) {
    if (value == "delete")
        return AdminAction::Delete;
    if (value == "play")
        return AdminAction::Play;
    if (value == "prev")
        return AdminAction::Prev;
    if (value == "pause")
        return AdminAction::Pause;
    if (value == "stop")
        return AdminAction::Stop;
    if (value == "next")
        return AdminAction::Next;
    if (value == "refreshcache")
        return AdminAction::RefreshCache;
    return AdminAction::None;
}

}  // namespace

void HandleAdminAction(HttpConnection& connection, const char* target, bool& isAdmin) {
    std::string pass;
    AdminAction action = AdminAction::None;
    std::int32_t listpos = 0;
    ForEachQueryPiece(target, [&](std::string_view key, std::string_view value) {
        if (key == "pass") {
            pass.assign(value);
        } else if (key == "action") {
            // An unknown value leaves the last recognised one in force.
            AdminAction named = ActionNamed(value);
            if (named != AdminAction::None)
                action = named;
        } else if (key == "listpos") {
            listpos = QueryNumber(value);
        }
    });

    const SettingsSnapshot settings = CurrentSettings();
    const std::string password = settings->AdminPassword;
    if (password.empty()) {
        if (action == AdminAction::Delete)
            SendRedirect(connection, ResultLocation(connection.referer, kNoError));
        return;
    }
    if (pass != password) {
        isAdmin = false;
        if (action == AdminAction::Delete)
            SendRedirect(connection, ResultLocation(connection.referer, kBadAdminPassword));
        return;
    }
    isAdmin = true;
    switch (action) {
        case AdminAction::None:
            return;
        case AdminAction::Delete:
            SendRedirect(connection,
                         ResultLocation(connection.referer, RemoveAtPlayPosition(listpos)));
            return;
        case AdminAction::Play:
            PlayerPlay();
            break;
        case AdminAction::Prev:
            PlayerPrevious();
            break;
        case AdminAction::Pause:
            PlayerPause();
            break;
        case AdminAction::Stop:
            PlayerStop();
            break;
        case AdminAction::Next:
            SkipToNext();
            break;
        case AdminAction::RefreshCache:
            RefreshPlaylistCache();
            break;
    }
    // The whole password goes into the redirect, however long: a cut one
    // would land the administrator on the listener's view.
    SendRedirect(connection, "Location: /admin.cgi?pass=" + password);
}

}  // namespace velvox
