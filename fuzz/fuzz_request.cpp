// Fuzzes the whole handling of one request: receive, routing, pages, files,
// endpoints and error pages.
#include <cstdint>
#include <string>

#include "capture_stream.h"
#include "http/http_connection.h"
#include "queue/request_queue.h"
#include "server/dispatcher.h"
#include "server_world.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    velvox::fuzzing::prepare_server_world();
    velvox::testing::CaptureStream stream(std::string(reinterpret_cast<const char*>(data), size));
    auto* connection = new velvox::HttpConnection;  // large: keep it off the stack
    connection->set_socket(&stream);
    connection->set_client_address("127.0.0.1");
    connection->clock = velvox::testing::fixed_clock;
    DoProxy(*connection);
    delete connection;
    if (velvox::QueueLength() > 100)
        velvox::ClearRequestQueue();
    return 0;
}
