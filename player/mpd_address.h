// Where MPD listens, found as MPD's own clients find it: an option, else
// MPD_HOST and MPD_PORT, else localhost:6600, with "PASSWORD@HOST".
#pragma once
#include <string>

namespace player {

// Where MPD listens.
struct Address {
    std::string host;      // a name, an address, or a socket path ('/' or '@' first)
    unsigned port = 6600;  // MPD's own default
    std::string password;

    // Returns the address for messages (never the password).
    std::string text() const {
        if (host[0] == '/' || host[0] == '@')
            return host;
        const bool v6 = host.find(':') != std::string::npos;
        return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
    }
};

// Finds MPD's address as MPD's clients do: --mpd (option), else MPD_HOST,
// else localhost; the port from the address, else MPD_PORT, else 6600; a
// password as "PASSWORD@HOST". Returns false with a message in error.
bool resolve_address(const std::string& option, Address& address, std::string& error);

}  // namespace player
