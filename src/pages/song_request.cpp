// The song request endpoint.
#include "pages/song_request.h"

namespace velvox {

// Not yet queuing.
void HandleSongRequest(HttpConnection& connection, const char* target) {
    (void)connection;
    (void)target;
}

}  // namespace velvox
