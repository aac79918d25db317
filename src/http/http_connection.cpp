// The connection's state and its raw sends.
#include "http/http_connection.h"

#include <cstring>
#include <utility>

#include "core/text.h"
#include "platform/clock.h"

namespace velvox {

HttpConnection::HttpConnection() : clock(platform::now_seconds) {
    clientAddress[0] = '\0';
    referer[0] = '\0';
    requestTarget[0] = '\0';
    receiveBuffer[0] = '\0';
}

void HttpConnection::set_socket(Stream* s) {
    stream = s;
    // Both are read as text up to their first NUL, and the request's reading
    // writes them before it reads them: one NUL each clears them.
    requestTarget[0] = '\0';
    receiveBuffer[0] = '\0';
    referer[0] = '\0';
}

void HttpConnection::set_client_address(const char* address) {
    CopyCut(clientAddress, address);
}

int HttpConnection::send_bytes(const char* data, std::size_t size) {
    if (stream == nullptr)
        return -1;
    return stream->send(data, size);
}

int HttpConnection::send_file(std::unique_ptr<platform::InputFile> file, std::int64_t size) {
    if (stream == nullptr)
        return -1;
    return stream->send_file(std::move(file), size);
}

int HttpConnection::send_text(const char* text) {
    return send_bytes(text, std::strlen(text));
}

}  // namespace velvox
