// Lower-casing on Windows: the system's own rules for the ANSI code page,
// which know its accented letters and keep double-byte characters whole.
#include <windows.h>

#include "host/text_case.h"

namespace host {

void lower_case(std::string& text) {
    if (!text.empty())
        CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
}

}  // namespace host
