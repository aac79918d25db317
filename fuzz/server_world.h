// Shared set-up of the fuzz targets that serve requests: a web root with a
// template that uses every token, a fake player and a small playlist.
#pragma once
#include "platform/window_messages.h"

namespace velvox::fuzzing {

// Prepares the web root, settings, player and cache once; returns the web root.
const char* prepare_server_world();

// The fake player's window (owned by the thread that prepared the world, which
// must answer the sends of other threads).
platform::Window server_world_window();

}  // namespace velvox::fuzzing
