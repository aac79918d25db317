// Case folding on Windows: the system's own lower case for the ANSI code page,
// which knows its accented letters and keeps double-byte characters whole.
#include <windows.h>

#include "platform/text_case.h"

namespace platform {

void fold_case(std::string_view text, std::string& out) {
    const std::size_t from = out.size();
    out.append(text);
    if (is_ascii(text)) {
        // CharLowerBuff maps A-Z to a-z alone here, whatever the language.
        for (std::size_t i = from; i < out.size(); ++i) {
            if (out[i] >= 'A' && out[i] <= 'Z')
                out[i] = static_cast<char>(out[i] - 'A' + 'a');
        }
    } else {
        CharLowerBuffA(&out[from], static_cast<DWORD>(text.size()));
    }
}

}  // namespace platform
