// The request dispatcher (first cut: refuses every request).
#include "server/http_connection.h"

namespace velvox {

int HttpConnection::DoProxy() {
    send_error(400, "Bad Request", nullptr, "Can't parse request.");
    return 0;
}

}  // namespace velvox
