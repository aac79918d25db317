// Paths under the web root.
#include "server/web_root_paths.h"

#include "host/files.h"

namespace velvox {

bool HasParentStep(const char* name) {
    const char* part = name;
    for (const char* p = name;; ++p) {
        if (*p == '/' || *p == '\\' || *p == '\0') {
            if (p - part == 2 && part[0] == '.' && part[1] == '.')
                return true;
            if (*p == '\0')
                return false;
            part = p + 1;
        }
    }
}

std::string FullPath(const char* web_root, const char* file_name, char separator) {
    std::string joined(web_root);
    joined += separator;
    for (const char* p = file_name; *p != '\0'; ++p)
        joined += *p == '/' ? separator : *p;
    std::string out;
    out.reserve(joined.size());
    for (std::size_t i = 0; i < joined.size(); ++i) {
        out += joined[i];
        if (joined[i] == separator && i + 1 < joined.size() && joined[i + 1] == separator)
            ++i;
    }
    return out;
}

Containment ResolveUnderRoot(const char* web_root, const std::string& full_path) {
    std::string root;
    std::string target;
    if (!host::resolve_path(web_root, root) || !host::resolve_path(full_path.c_str(), target))
        return Containment::unresolved;
    return host::path_inside(target, root) ? Containment::inside : Containment::outside;
}

}  // namespace velvox
