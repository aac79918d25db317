// Lower-casing of single-byte text in the system code page, as the playlist
// searches compare titles without regard to case.
#pragma once
#include <string>

namespace host {

// Turns the letters of text into lower case in place, in the system code page:
// on Windows every letter the code page knows (a multi-byte character is
// converted whole); on POSIX, whose text is UTF-8, the letters A-Z, so that no
// byte of a multi-byte character is ever changed.
void lower_case(std::string& text);

}  // namespace host
