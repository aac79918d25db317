// Calendar time for the Date line of replies, and a clock for time-outs.
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

// Returns the current calendar time in whole seconds since 1970-01-01 UTC.
std::int64_t now_seconds();

// Returns milliseconds on a clock that never goes back (for time-outs).
std::int64_t steady_milliseconds();

// Formats a calendar time as "%a, %d %b %Y %H:%M:%S GMT" in UTC into out
// (English names, safe to call from several threads at once). Returns the
// length written, or 0 when the time cannot be converted.
std::size_t format_http_date(std::int64_t seconds, char* out, std::size_t size);

}  // namespace platform
