// Console command parsing.
#include "console.h"

#include <limits>

namespace player {

namespace {

// True for the characters that separate a command from its argument.
bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Reads a whole argument as a decimal number from 0 to the 32-bit maximum.
bool parse_count(const std::string& text, std::int64_t& value) {
    if (text.empty() || text.size() > 10)
        return false;
    std::int64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        result = result * 10 + (c - '0');
    }
    if (result > std::numeric_limits<std::int32_t>::max())
        return false;
    value = result;
    return true;
}

// Returns an invalid command carrying the reason for its error answer.
Command invalid(std::string reason) {
    Command command;
    command.kind = CommandKind::invalid;
    command.text = std::move(reason);
    return command;
}

}  // namespace

Command parse_command(const std::string& line) {
    std::size_t begin = 0;
    std::size_t end = line.size();
    while (begin < end && is_blank(line[begin]))
        ++begin;
    while (end > begin && is_blank(line[end - 1]))
        --end;
    Command command;
    if (begin == end)
        return command;
    std::size_t word_end = begin;
    while (word_end < end && !is_blank(line[word_end]))
        ++word_end;
    const std::string word = line.substr(begin, word_end - begin);
    std::size_t arg_begin = word_end;
    while (arg_begin < end && is_blank(line[arg_begin]))
        ++arg_begin;
    const std::string argument = line.substr(arg_begin, end - arg_begin);

    struct Plain {
        const char* word;
        CommandKind kind;
    };
    static const Plain plain[] = {{"status", CommandKind::status},
                                  {"end", CommandKind::end},
                                  {"config", CommandKind::config},
                                  {"quit", CommandKind::quit}};
    for (const Plain& p : plain) {
        if (word == p.word) {
            if (!argument.empty())
                return invalid(word + " takes no argument");
            command.kind = p.kind;
            return command;
        }
    }
    if (word == "seek" || word == "goto") {
        const char* what = word == "seek" ? "seek MS" : "goto P";
        if (argument.empty())
            return invalid(std::string("missing argument: ") + what);
        if (!parse_count(argument, command.number))
            return invalid("bad argument '" + argument + "': " + what +
                           " takes a whole number from 0 to 2147483647");
        command.kind = word == "seek" ? CommandKind::seek : CommandKind::go_to;
        return command;
    }
    if (word == "load") {
        if (argument.empty())
            return invalid("missing argument: load FILE");
        command.kind = CommandKind::load;
        command.text = argument;
        return command;
    }
    return invalid("unknown command '" + word +
                   "' (status, end, seek MS, goto P, load FILE, config, quit)");
}

}  // namespace player
