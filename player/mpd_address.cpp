// MPD's address from the option or the environment.
#include "mpd_address.h"

#include <cstdlib>

namespace player {

namespace {

// Reads a port number from 1 to 65535; returns false for anything else.
bool parse_port(const std::string& text, unsigned& port) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long value = std::strtoul(text.c_str(), nullptr, 10);
    if (value < 1 || value > 65535)
        return false;
    port = static_cast<unsigned>(value);
    return true;
}

// Takes the port off "HOST:PORT" or "[IPV6]:PORT" into port; a host with
// several colons and no brackets is an IPv6 address alone. Returns false with
// a message in error when the port is no number.
bool split_port(std::string& host, unsigned& port, std::string& error) {
    std::string port_text;
    if (host[0] == '[') {
        const std::size_t close = host.find(']');
        if (close == std::string::npos || (close + 1 < host.size() && host[close + 1] != ':')) {
            error = "cannot read the MPD address '" + host + "'";
            return false;
        }
        if (close + 1 < host.size())
            port_text = host.substr(close + 2);
        host = host.substr(1, close - 1);
    } else if (host.find(':') != std::string::npos && host.find(':') == host.rfind(':')) {
        port_text = host.substr(host.find(':') + 1);
        host = host.substr(0, host.find(':'));
    } else {
        return true;
    }
    if (!port_text.empty() && !parse_port(port_text, port)) {
        error = "the MPD port must be a number from 1 to 65535, not '" + port_text + "'";
        return false;
    }
    return true;
}

}  // namespace

bool resolve_address(const std::string& option, Address& address, std::string& error) {
    const char* env_host = std::getenv("MPD_HOST");
    const char* env_port = std::getenv("MPD_PORT");
    std::string host = option;
    if (host.empty())
        host = env_host != nullptr && *env_host != '\0' ? env_host : "localhost";
    const std::size_t at = host.rfind('@');
    if (at != std::string::npos && at > 0) {  // '@' first is an abstract socket
        address.password = host.substr(0, at);
        host = host.substr(at + 1);
    }
    if (env_port != nullptr && *env_port != '\0' && !parse_port(env_port, address.port)) {
        error = std::string("MPD_PORT must be a number from 1 to 65535, not '") + env_port + "'";
        return false;
    }
    if (!host.empty() && host[0] != '/' && host[0] != '@' && !split_port(host, address.port, error))
        return false;
    if (host.empty()) {
        error = "no MPD host given";
        return false;
    }
    address.host = host;
    return true;
}

}  // namespace player
