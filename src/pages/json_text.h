// JSON text for the status feed.
#pragma once
#include <string>
#include <string_view>

namespace velvox {

// Appends text as a JSON string, quotes included: well-formed UTF-8 goes out
// as it is; the quote, the backslash and the control characters are escaped;
// each maximal ill-formed part (a stray byte, an overlong or surrogate form,
// a cut sequence) becomes one U+FFFD. The result is valid JSON for any bytes.
void AppendJsonString(std::string& out, std::string_view text);

}  // namespace velvox
