// Shared set-up of the fuzz targets that serve requests: a web root with a
// template that uses every token, a fake player and a small playlist.
#pragma once

namespace velvox::fuzzing {

// Prepares the web root, settings, player and cache once; returns the web root.
const char* prepare_server_world();

}  // namespace velvox::fuzzing
