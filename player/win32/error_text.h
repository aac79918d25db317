// The text of a Windows error code, for the player's messages.
#pragma once
#include <string>

namespace player {

// Returns the system's text for an error code (GetLastError), without its
// line end; "error N" when the system has none.
std::string error_text(unsigned long code);

}  // namespace player
