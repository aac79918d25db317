// What answering a request came to, for the routes and what they call.
// DoProxy, whose result the plug-in's contract fixes, turns it into 1 or 0.
#pragma once

namespace velvox {

enum class Served {
    served,   // the reply went out (a page, a file, a redirect, a feed)
    refused,  // an error page was sent, or the connection was given up
};

}  // namespace velvox
