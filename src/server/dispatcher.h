// The request dispatcher: one request per connection, read with a single
// receive and routed by the route table.
#pragma once
#include "http/http_connection.h"

namespace velvox {

// One route: targets that equal (exact) or begin with prefix go to serve,
// which answers and returns DoProxy's result.
struct Route {
    const char* prefix;
    bool exact;
    int (*serve)(HttpConnection& connection);
};

// Returns the routes in the order they are tried; the last one takes every
// target.
const Route* RouteTable(std::size_t& count);

// Answers one request on the connection's stream. Returns 1 when it was
// served, 0 when an error page was sent or the connection was given up
// without a reply.
int DoProxy(HttpConnection& connection);

}  // namespace velvox
