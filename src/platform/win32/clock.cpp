// UTC conversion on Windows.
#include <ctime>

#include "platform/clock.h"

namespace platform {

// Converts calendar seconds to UTC fields; returns false when it cannot.
bool utc_fields(std::int64_t seconds, std::tm& out) {
    __time64_t t = static_cast<__time64_t>(seconds);
    return _gmtime64_s(&out, &t) == 0;
}

}  // namespace platform
