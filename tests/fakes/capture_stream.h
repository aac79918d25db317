// A stream for tests: hands out a prepared request and captures every byte
// sent, optionally failing from the Nth send on.
#pragma once
#include <string>

#include "http/stream.h"

namespace velvox::testing {

class CaptureStream : public Stream {
  public:
    explicit CaptureStream(std::string request = {}) : request_(std::move(request)) {}

    long receive(char* buffer, std::size_t size) override;
    int send(const char* data, std::size_t size) override;
    int flush() override { return failed_ ? -1 : 0; }

    // Makes the receive fail with -1.
    void fail_receive() { receive_fails_ = true; }
    // Makes every send from the n-th (1-based) on fail with -1.
    void fail_sends_from(int n) { fail_from_ = n; }

    const std::string& sent() const { return sent_; }
    int send_calls() const { return calls_; }

  private:
    std::string request_;
    std::string sent_;
    bool receive_fails_ = false;
    bool failed_ = false;
    int fail_from_ = 0;
    int calls_ = 0;
};

// The clock that tests inject into connections: always 784111777
// (Sun, 06 Nov 1994 08:49:37 GMT).
std::int64_t fixed_clock();

// The writer's header block of an error page with the given title.
inline std::string ErrorHead(const std::string& title, int status = 400) {
    return "HTTP/1.0 " + std::to_string(status) + " " + title +
           "\r\nServer: Quellix\r\nDate: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
           "Content-type: text/html\r\nConnection: close\r\n\r\n";
}

// A whole error reply with the given title, message and status.
inline std::string ErrorPage(const std::string& title, const std::string& message,
                             int status = 400) {
    const std::string code = std::to_string(status);
    return ErrorHead(title, status) + "<HTML><HEAD><TITLE>" + code + " " + title +
           "</TITLE></HEAD>\n<BODY><H4>" + code + " " + title + "</H4>\n" + message +
           "\n<HR>\n<ADDRESS><A HREF=\"http://velvox.tarnwick.net/\">Tarnwick "
           "Velvox</A></ADDRESS>\n</BODY></HTML>\n";
}

}  // namespace velvox::testing
