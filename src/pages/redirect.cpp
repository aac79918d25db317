// Redirect heads carrying a result code.
#include "pages/redirect.h"

#include "core/text.h"

namespace velvox {

namespace {
constexpr std::size_t kLocationLimit = 1023;
}

std::string ResultLocation(std::string_view referer, int code) {
    std::string line = "Location: ";
    if (referer.empty()) {
        line += "/playlist.cgi";
        if (code != 0) {
            line += "?errorCode=";
            line += std::to_string(code);
        }
    } else {
        line += referer;
        if (code != 0) {
            line += "&errorCode=";
            line += std::to_string(code);
        }
    }
    if (line.size() > kLocationLimit)
        line.resize(kLocationLimit);
    return line;
}

void SendRedirect(HttpConnection& connection, const std::string& location) {
    connection.send_reply_head(302, "Moved Temporarily", location.c_str(), nullptr, -1, -1);
}

std::int32_t QueryNumber(std::string_view value) {
    return DecimalValue(std::string(value).c_str());
}

}  // namespace velvox
