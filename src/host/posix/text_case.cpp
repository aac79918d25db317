// Lower-casing on POSIX: A-Z only, which leaves UTF-8 sequences intact.
#include "host/text_case.h"

namespace host {

void lower_case(std::string& text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
}

}  // namespace host
