// The module's own path and pinning on Windows.
#include <windows.h>

#include "platform/module_path.h"

namespace platform {

namespace {

// An address inside the module that holds this code.
const char anchor = 0;

// Returns the module that holds this code, without taking a reference.
HMODULE own_module() {
    HMODULE module = nullptr;
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        &anchor, &module);
    return module;
}

}  // namespace

std::string detail::system_module_path(void* module) {
    HMODULE handle = module != nullptr ? static_cast<HMODULE>(module) : own_module();
    if (handle == nullptr)
        return std::string();
    // Grow the buffer until the whole path fits (the API cuts silently).
    std::string path(MAX_PATH, '\0');
    for (;;) {
        DWORD n = GetModuleFileNameA(handle, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0)
            return std::string();
        if (n < path.size() || path.size() >= 32768) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

bool pin_module() {
    HMODULE module = nullptr;
    return GetModuleHandleExA(
               GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, &anchor,
               &module) != FALSE;
}

}  // namespace platform
