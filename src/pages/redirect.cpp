// Redirect heads carrying a result code.
#include "pages/redirect.h"

#include "core/text.h"
#include "pages/page_text.h"

namespace velvox {

namespace {
constexpr std::size_t kLocationLimit = 1023;
}

std::string ResultLocation(std::string_view referer, int code, std::int32_t wait_minutes) {
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
    if (wait_minutes > 0) {
        line += "&wait=";
        line += std::to_string(wait_minutes);
    }
    if (line.size() > kLocationLimit)
        line.resize(kLocationLimit);
    return line;
}

void SendResultRedirect(HttpConnection& connection, int code, std::int32_t wait_minutes) {
    const std::string referer = ReplaceAll(connection.referer, "action=", "actionx=");
    SendRedirect(connection, ResultLocation(referer, code, wait_minutes));
}

void SendRedirect(HttpConnection& connection, const std::string& location) {
    connection.send_reply_head(302, "Moved Temporarily", location.c_str(), nullptr, -1, -1);
}

std::int32_t QueryNumber(std::string_view value) {
    return DecimalValue(std::string(value).c_str());
}

}  // namespace velvox
