// The sockets code that both platforms share: the same calls exist in the BSD
// sockets and in Windows Sockets 1.1.
#include "platform/sockets.h"

#include <cstdio>

#include "platform/dotted_address.h"
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

void write_dotted(const void* address_bytes, char* text, std::size_t size) {
    if (size == 0)
        return;
    const unsigned char* b = static_cast<const unsigned char*>(address_bytes);
    std::snprintf(text, size, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
}

}  // namespace platform
