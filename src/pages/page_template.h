// Page templates read whole and kept in memory. A kept template is used while
// its file is the one it was read from, of the same size and last changed at
// the same time, and that change lies seconds back (a change within the same
// tick of the file system's clock could not show otherwise); else the file
// is read again. So an edited template shows on the next request, and an
// unchanged one is not read line by line on every request.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "http/http_connection.h"
#include "pages/page_query.h"
#include "platform/files.h"

namespace velvox {

// One piece of a template: a line that holds a token, with the row of the
// token table that decides it, or a run of lines without one (row -1), each
// followed by the CR LF it goes out with.
struct TemplatePiece {
    std::size_t at = 0;
    std::size_t size = 0;
    int row = -1;
};

// A template as the line reader gave it: each line cut at 8095 characters
// (the rest a line of its own) and at a NUL.
struct PageTemplate {
    std::string text;
    std::vector<TemplatePiece> pieces;

    std::string_view view(const TemplatePiece& piece) const {
        return std::string_view(text).substr(piece.at, piece.size);
    }
};

// Returns the template in the open file: the kept one when the file has not
// changed since it was read, else the file's lines, read now.
std::shared_ptr<const PageTemplate> TemplateOf(platform::InputFile& file);

// Sends the page that the template in file becomes for query: its lines
// without tokens as they are, each followed by CR LF, the others through the
// renderer, which asks the player what the whole page needs at once.
void SendTemplatePage(HttpConnection& connection, platform::InputFile& file,
                      const PageQuery& query);

// Forgets the kept templates (tests).
void ForgetTemplates();

}  // namespace velvox
