// The query of a page request and the tokenizing rules shared by the pages,
// the song request endpoint and the admin actions.
#pragma once
#include <cstddef>
#include <functional>
#include <string_view>

namespace velvox {

struct PageQuery {
    char psearch[2046] = "";
    char startswith[255] = "";
    char current[25] = "";
    char errorCode[4] = "";
    char wait[12] = "";  // minutes until the next request, after code 17
    bool isAdmin = false;
    bool psearchGiven = false;
    bool startswithGiven = false;
};

// Splits the query part of target into key/value pieces (copy of at most 1023
// characters, keys and values cut to 254, empty pieces and pieces without "="
// skipped) and calls visit for each, in order.
void ForEachQueryPiece(
    const char* target,
    const std::function<void(std::string_view key, std::string_view value)>& visit);

// Fills query from the target of a page request, the admin decision included.
void ParsePageQuery(const char* target, PageQuery& query);

// Decodes a form value in place: "+" is a space, "%XX" the byte XX.
void DecodeQueryValue(char* value);

// Returns the byte of one escape from the (up to) two characters given.
unsigned char HexEscapeValue(const char* digits, std::size_t count);

}  // namespace velvox
