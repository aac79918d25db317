// UTC conversion on POSIX.
#include <ctime>

#include "platform/clock.h"

namespace platform {

// Converts calendar seconds to UTC fields; returns false when it cannot.
bool utc_fields(std::int64_t seconds, std::tm& out) {
    std::time_t t = static_cast<std::time_t>(seconds);
    return gmtime_r(&t, &out) != nullptr;
}

}  // namespace platform
