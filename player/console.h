// The console's command lines: one command per line, answered by one line.
#pragma once
#include <cstdint>
#include <string>

namespace player {

enum class CommandKind { none, status, end, seek, go_to, load, config, quit, invalid };

struct Command {
    CommandKind kind = CommandKind::none;
    std::int64_t number = 0;  // seek: milliseconds; goto: position
    std::string text;         // load: the file; invalid: what is wrong
};

// Reads one console line. A blank line gives kind none; a line that is not
// a command, or has a bad argument, gives kind invalid with the reason.
Command parse_command(const std::string& line);

}  // namespace player
