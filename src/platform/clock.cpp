// The clocks and calendar time formatting shared by both platforms; the UTC conversion is
// the platform's thread-safe one (gmtime_r / gmtime_s).
#include <chrono>
#include <cstdio>
#include <ctime>

#include "platform/clock.h"

namespace platform {

bool utc_fields(std::int64_t seconds, std::tm& out);  // per platform

std::int64_t now_seconds() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

std::int64_t steady_milliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::size_t format_http_date(std::int64_t seconds, char* out, std::size_t size) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm t{};
    if (size == 0 || !utc_fields(seconds, t) || t.tm_wday < 0 || t.tm_wday > 6 || t.tm_mon < 0 ||
        t.tm_mon > 11) {
        if (size > 0)
            out[0] = '\0';
        return 0;
    }
    int n =
        std::snprintf(out, size, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[t.tm_wday], t.tm_mday,
                      kMonths[t.tm_mon], t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
    if (n < 0)
        return 0;
    return static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size - 1;
}

}  // namespace platform
