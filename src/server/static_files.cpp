// Serving files of the web root.
#include "server/static_files.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "core/text.h"
#include "http/content_type.h"
#include "pages/page_template.h"
#include "platform/files.h"
#include "server/web_root_paths.h"

namespace velvox {

namespace {

constexpr char kPageHeader[] =
    "HTTP/1.1 200 OK\nServer: Pelmora\nConnection: close\nContent-Type: %s\r\n\r\n";
constexpr char kFileHeader[] =
    "HTTP/1.1 200 OK\nServer: Pelmora\nContent-Length: %s\nConnection: close\n"
    "Content-Type: %s\r\n\r\n";
constexpr char kRelativeTitle[] = "Invalid File %s - relative paths not supported";
constexpr char kMissingTitle[] = "Invalid File %s";

constexpr int kBadRequest = 400;
constexpr int kNotFound = 404;

// Sends the error page of a refused file with its status (400 unless given)
// and the title formatted from pattern and name; returns refused.
Served RefuseNamed(HttpConnection& connection, const char* pattern, const char* name,
                   int status = kBadRequest) {
    char title[2112];  // room for the longest name in either pattern
    std::snprintf(title, sizeof title, pattern, name);
    connection.send_error(status, title, nullptr, "");
    return Served::refused;
}

// Opens file_name in one step where the platform allows: a name from the
// request only beneath the web root, links included. Returns unknown when
// the name is to be looked up the long way.
platform::Opened OpenDirectly(const SettingsSnapshot& settings, const char* file_name,
                              bool from_request, bool text, platform::InputFile& file,
                              std::int64_t& size) {
    if (!from_request) {
        const std::string full_path =
            FullPath(settings->WebRoot, file_name, platform::kPathSeparator);
        return file.open_sized(full_path.c_str(), text, size);
    }
    const std::shared_ptr<const WebRoot> root = WebRootOf(settings);
    if (root == nullptr)
        return platform::Opened::unknown;
    while (*file_name == '/')
        ++file_name;  // the name is taken relative to the root
    return file.open_beneath(root->directory, file_name, text, size);
}

// Looks file_name up the long way: where it resolves to, then whether it is
// there, then opens it. Returns nothing, with its size and what the opening
// found, or refused after an error page.
std::optional<Served> LookUp(HttpConnection& connection, const SettingsSnapshot& settings,
                             const char* file_name, bool from_request, bool text,
                             platform::InputFile& file, std::int64_t& size,
                             platform::Opened& opened) {
    const std::string full_path = FullPath(settings->WebRoot, file_name, platform::kPathSeparator);
    std::string shown(file_name);  // the name as the missing-file title shows it
    for (char& c : shown) {
        if (c == '/')
            c = platform::kPathSeparator;
    }
    if (from_request) {
        // Whatever the name, what it resolves to (links followed) must lie
        // inside the web root; what cannot be resolved is not there.
        switch (ResolveUnderRoot(WebRootOf(settings).get(), full_path)) {
            case Containment::inside:
                break;
            case Containment::unresolved:
                return RefuseNamed(connection, kMissingTitle, shown.c_str(), kNotFound);
            case Containment::outside:
                return RefuseNamed(connection, kRelativeTitle, file_name);
        }
    }
    if (!platform::path_size(full_path.c_str(), size))
        return RefuseNamed(connection, kMissingTitle, shown.c_str(), kNotFound);
    opened =
        file.open(full_path.c_str(), text) ? platform::Opened::regular : platform::Opened::other;
    return std::nullopt;
}

}  // namespace

Served ServeFromWebRoot(HttpConnection& connection, const SettingsSnapshot& settings,
                        const char* file_name, const char* content_type, bool from_request,
                        const PageQuery& query) {
    if (std::strncmp(file_name, "/.", 2) == 0 || (from_request && HasParentStep(file_name)))
        return RefuseNamed(connection, kRelativeTitle, file_name);

    const bool is_page = std::strcmp(content_type, "text/html") == 0;
    // On the heap: a file that the peer reads slowly is handed on with the rest.
    auto file = std::make_unique<platform::InputFile>();
    std::int64_t size = 0;
    platform::Opened opened = OpenDirectly(settings, file_name, from_request, is_page, *file, size);
    if (opened == platform::Opened::unknown) {
        const std::optional<Served> refused =
            LookUp(connection, settings, file_name, from_request, is_page, *file, size, opened);
        if (refused)
            return *refused;
    }

    // Not a file (a folder): the error page alone, with no header before it.
    if (opened != platform::Opened::regular) {
        connection.send_error(kNotFound, "Invalid File", nullptr, "");
        return Served::refused;
    }
    char header[1024];
    if (is_page)
        std::snprintf(header, sizeof header, kPageHeader, content_type);
    else
        std::snprintf(header, sizeof header, kFileHeader, std::to_string(size).c_str(),
                      content_type);
    connection.send_text(header);
    if (is_page)
        SendTemplatePage(connection, *file, query);
    else
        connection.send_file(std::move(file), size);
    return Served::served;
}

// A file under the web root named by the target, up to a "?": what follows
// is a query (a skin's way to make browsers fetch a file anew), and a name
// holding "?" cannot exist on Windows at all.
Served ServeFile(HttpConnection& connection) {
    const char* target = connection.requestTarget;
    const char* query = std::strchr(target, '?');
    const std::string name(
        target, query != nullptr ? static_cast<std::size_t>(query - target) : std::strlen(target));
    const char* type = ContentTypeFor(name.c_str());
    const SettingsSnapshot settings = CurrentSettings();
    return ServeFromWebRoot(connection, settings, name.c_str(), type != nullptr ? type : "", true,
                            PageQuery{});
}

}  // namespace velvox
