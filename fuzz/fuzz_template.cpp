// Fuzzes the template renderer: the first line of the input is the page's
// query, the rest is template text handed over in pieces as the server reads it.
#include <cstdint>
#include <cstring>
#include <string>

#include "capture_stream.h"
#include "http/http_connection.h"
#include "pages/page_query.h"
#include "pages/template_renderer.h"
#include "server_world.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    velvox::fuzzing::prepare_server_world();
    std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t eol = input.find('\n');
    std::string target = "/playlist.cgi?" + input.substr(0, eol);
    std::string body = eol == std::string::npos ? std::string() : input.substr(eol + 1);

    velvox::PageQuery query;
    velvox::ParsePageQuery(target.c_str(), query);
    query.psearchGiven = query.psearch[0] != '\0';
    query.startswithGiven = query.startswith[0] != '\0';
    velvox::testing::CaptureStream stream;
    auto* connection = new velvox::HttpConnection;
    connection->set_socket(&stream);
    connection->clock = velvox::testing::fixed_clock;
    std::strcpy(connection->referer, "/playlist.cgi?current=5");
    velvox::PageRenderer renderer(*connection);

    // Lines as the server hands them over: at most 8095 characters, LF kept.
    char line[8096];
    std::size_t pos = 0;
    while (pos < body.size()) {
        std::size_t n = 0;
        while (pos < body.size() && n < sizeof line - 1) {
            char c = body[pos++];
            if (c == '\0')
                continue;
            line[n++] = c;
            if (c == '\n')
                break;
        }
        line[n] = '\0';
        renderer.render_line(line, query);
    }
    delete connection;
    return 0;
}
