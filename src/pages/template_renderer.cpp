// The page renderer.
#include "pages/template_renderer.h"

namespace velvox {

// Not yet substituting: reports every line as unhandled.
bool RenderTemplateLine(char* line, HttpConnection& connection, const PageQuery& query) {
    (void)line;
    (void)connection;
    (void)query;
    return false;
}

}  // namespace velvox
