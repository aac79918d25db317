// For the sockets sources of both platforms: an IPv4 address as text.
#pragma once
#include <cstddef>

namespace platform {

// Writes the four bytes of an IPv4 address (network order) in dotted decimal
// form into text, cut to size - 1; nothing when size is 0.
void write_dotted(const void* address_bytes, char* text, std::size_t size);

}  // namespace platform
