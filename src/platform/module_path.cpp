// The module path with its test seam; the platform files find the real path.
#include "platform/module_path.h"

#include <cstring>
#include <mutex>

namespace platform {

namespace {

struct Override {
    std::mutex mutex;
    bool active = false;
    std::string path;
};

// Returns the seam's state; never destroyed, so late threads never see it go.
Override& path_override() {
    static auto* state = new Override;
    return *state;
}

}  // namespace

std::string module_path(void* module) {
    Override& o = path_override();
    {
        std::lock_guard<std::mutex> hold(o.mutex);
        if (o.active)
            return o.path;
    }
    return detail::system_module_path(module);
}

std::size_t module_path(void* module, char* buffer, std::size_t size) {
    const std::string path = module_path(module);
    if (buffer != nullptr && size > 0) {
        const std::size_t n = path.size() < size - 1 ? path.size() : size - 1;
        std::memcpy(buffer, path.data(), n);
        buffer[n] = '\0';
    }
    return path.size();
}

void override_module_path(const char* path) {
    Override& o = path_override();
    std::lock_guard<std::mutex> hold(o.mutex);
    o.active = path != nullptr;
    o.path = path != nullptr ? path : "";
}

}  // namespace platform
