// Paths under the web root.
#include "server/web_root_paths.h"

#include <mutex>

#include "platform/files.h"

namespace velvox {

namespace {

// The web root of the snapshot that asked last; a new snapshot resolves anew.
struct WebRootCache {
    std::mutex mutex;  // held only to read or swap the two pointers
    SettingsSnapshot settings;
    std::shared_ptr<const WebRoot> root;
};

// Never destroyed: connection threads may still ask while the process ends.
WebRootCache& Cache() {
    static auto* cache = new WebRootCache;
    return *cache;
}

}  // namespace

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

std::shared_ptr<const WebRoot> WebRootOf(const SettingsSnapshot& settings) {
    WebRootCache& cache = Cache();
    {
        std::lock_guard<std::mutex> hold(cache.mutex);
        if (cache.settings == settings)
            return cache.root;
    }
    // Resolved without the lock: two first requests may both do it, and the
    // results are alike.
    auto root = std::make_shared<WebRoot>();
    if (!platform::resolve_path(settings->WebRoot, root->resolved))
        return nullptr;
    root->directory.open(settings->WebRoot);
    std::lock_guard<std::mutex> hold(cache.mutex);
    cache.settings = settings;
    cache.root = std::move(root);
    return cache.root;
}

Containment ResolveUnderRoot(const WebRoot* root, const std::string& full_path) {
    std::string target;
    if (root == nullptr || !platform::resolve_path(full_path.c_str(), target))
        return Containment::unresolved;
    return platform::path_inside(target, root->resolved) ? Containment::inside
                                                         : Containment::outside;
}

}  // namespace velvox
