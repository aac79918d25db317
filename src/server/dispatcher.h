// The request dispatcher: one request per connection, read with a single
// receive and routed by the route table.
#pragma once
#include "http/http_connection.h"
#include "server/served.h"

namespace velvox {

// How a route's name is compared with the target.
enum class RouteMatch {
    exact,   // the target is the name
    prefix,  // the target begins with the name
    whole,   // the target is the name, alone or followed by "?" and a query
};

// One route: targets that its name matches go to serve, which answers and
// returns what that came to.
struct Route {
    const char* name;
    RouteMatch match;
    Served (*serve)(HttpConnection& connection);
};

// Returns the routes in the order they are tried; the last one takes every
// target.
const Route* RouteTable(std::size_t& count);

// Answers one request on the connection's stream. Returns 1 when it was
// served, 0 when an error page was sent or the connection was given up
// without a reply.
int DoProxy(HttpConnection& connection);

}  // namespace velvox
