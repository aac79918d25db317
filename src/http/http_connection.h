// One accepted connection: its stream, the client address and the request as
// received. Lives on its connection thread's stack.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/files.h"

#include "http/stream.h"

namespace velvox {

class HttpConnection {
  public:
    using Clock = std::int64_t (*)();

    // A connection with no stream yet and an empty client address.
    HttpConnection();

    // Gives the connection its stream (the accepted socket); clears the
    // request buffers.
    void set_socket(Stream* stream);
    // Copies the client address text (cut to 1023 characters).
    void set_client_address(const char* address);

    // Writes a status line and header block (see the response writer).
    void send_reply_head(int status, const char* reason, const char* extra_header,
                         const char* content_type, int content_length, std::int64_t last_modified);
    // Writes a whole HTML error reply; returns 1 if sending its body failed.
    int send_error(int status, const char* title, const char* extra_header, const char* message);
    // Returns 1 (and writes a diagnostic) when result is the failure value -1.
    int check_socket_result(long result, const char* label);
    // Writes "Socket error: <label>" to standard output.
    void report_socket_error(const char* label);

    // Sends raw bytes on the stream; returns the stream's result.
    int send_bytes(const char* data, std::size_t size);
    int send_text(const char* text);
    // Sends the next size bytes of file as the reply's last part (see
    // Stream::send_file); returns 0, or -1 when the stream failed.
    int send_file(std::unique_ptr<platform::InputFile> file, std::int64_t size);

    Stream* stream = nullptr;
    Clock clock;  // the Date line's time source; injectable for tests
    char clientAddress[1024];
    char referer[1024];
    char requestTarget[2048];
    char receiveBuffer[34816];
};

}  // namespace velvox
