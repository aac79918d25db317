// The "%%NAV_NEXT%%" and "%%NAV_PREV%%" links of the playlist window.
#include <cstdint>

#include "core/text.h"
#include "pages/page_text.h"
#include "pages/playback_timing.h"
#include "pages/render_parts.h"

namespace velvox {
namespace {

// Builds the link to the window starting at target, keeping the search. The
// search texts are percent-encoded so the link decodes back to them.
std::string PageLink(const RenderContext& context, std::int64_t target, std::string_view label) {
    const PageQuery& query = context.query;
    std::string part;
    if (query.psearchGiven) {
        part = "psearch=";
        AppendPercentEncoded(part, query.psearch);
        part += '&';
    } else if (query.startswithGiven) {
        part = "startswith=";
        AppendPercentEncoded(part, query.startswith);
        part += '&';
    }
    part += "current=";
    part += std::to_string(Saturate32(target));

    std::string link;
    if (query.isAdmin) {
        link = "<a href=\"admin.cgi?pass=";
        link += context.settings.AdminPassword;
        link += '&';
    } else {
        link = "<a href=\"playlist.cgi?";
    }
    link += part;
    link += "\">";
    link += label;
    link += "</a>";
    return link;
}

}  // namespace

// Next shows when the last playlist window of this response was full. Before
// any playlist line the counters are still 0/0; the window is then counted
// without sending, so a Next link at the top of a page agrees with the rows
// below it.
std::string NextPageLink(const RenderContext& context) {
    std::int32_t rows = context.window.rowsShown;
    std::int32_t size = context.window.pageSize;
    if (rows == 0 && size == 0) {
        size = DecimalValue(context.settings.g_MaxEntries);
        rows = ScanPlaylistWindow(context, nullptr);
    }
    if (rows < size)
        return {};
    const std::int64_t target = static_cast<std::int64_t>(DecimalValue(context.query.current)) +
                                DecimalValue(context.settings.g_MaxEntries);
    return PageLink(context, target, "Next..>");
}

std::string PreviousPageLink(const RenderContext& context) {
    const std::int64_t target = static_cast<std::int64_t>(DecimalValue(context.query.current)) -
                                DecimalValue(context.settings.g_MaxEntries);
    if (target < 0)
        return {};
    return PageLink(context, target, "<...Prev");
}

}  // namespace velvox
