// The song request endpoint: queue a playlist position and send the listener
// back to the page it came from with the result code.
#include "pages/song_request.h"

#include <cstring>
#include <string>

#include "core/change_signal.h"
#include "core/settings.h"
#include "pages/page_query.h"
#include "pages/redirect.h"
#include "queue/request_queue.h"

namespace velvox {

void HandleSongRequest(HttpConnection& connection, const char* target) {
    std::string pass;
    std::int32_t position = 0;
    ForEachQueryPiece(target, [&](std::string_view key, std::string_view value) {
        if (key == "pass")
            pass.assign(value);
        else if (key == "listpos")
            position = QueryNumber(value);
    });

    const SettingsSnapshot settings = CurrentSettings();
    const char* password = settings->AdminPassword;
    int code;
    std::int32_t wait_minutes = 0;
    if (password[0] != '\0' && pass == password) {
        // The administrator's requests skip every rule.
        code = kRequestAccepted;
        InsertRequest(position, connection.clientAddress);
    } else {
        // Tested and inserted under one holding of the queue lock, so two
        // listeners cannot both take the last place.
        code = CheckAndInsertRequest(position, connection.clientAddress, &wait_minutes);
    }
    if (code == kRequestAccepted)
        AnnounceChange();

    SendResultRedirect(connection, code, wait_minutes);
}

}  // namespace velvox
