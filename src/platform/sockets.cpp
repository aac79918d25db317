// The sockets code that both platforms share: the same calls exist in the BSD
// sockets and in Windows Sockets 1.1.
#include "platform/sockets.h"

#include "socket_api.h"  // the platform's, from src/platform/<platform>/

namespace platform {

int own_host_address_family() {
    char name[1024];
    if (gethostname(name, sizeof name) != 0)
        return -1;
    name[sizeof name - 1] = '\0';
    // Only the listener thread looks names up, so the result (static in the C
    // library, per thread in Windows Sockets) is read before the next lookup.
    const hostent* host = gethostbyname(name);
    if (host == nullptr)
        return -1;
    return host->h_addrtype;
}

}  // namespace platform
