// The page renderer: substitutes the tokens of one template line.
#pragma once
#include "pages/page_query.h"
#include "server/http_connection.h"

namespace velvox {

// Renders one template line (its LF still at the end when the file had one)
// and sends what it became on the connection. Returns true when the line held
// a token (also when nothing was sent); false when the caller is to send the
// line itself, followed by CR LF.
bool RenderTemplateLine(char* line, HttpConnection& connection, const PageQuery& query);

}  // namespace velvox
