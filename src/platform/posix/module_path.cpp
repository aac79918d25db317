// The module's own path and pinning on POSIX: dladdr and dlopen.
#include <dlfcn.h>

#include <atomic>
#include <cstdlib>

#include "platform/module_path.h"

namespace platform {

namespace {

// An address inside the module that holds this code: the player and the
// plug-in each link their own copy, so each finds its own file.
const char anchor = 0;

}  // namespace

std::string detail::system_module_path(void*) {
    Dl_info info{};
    if (dladdr(&anchor, &info) == 0 || info.dli_fname == nullptr || info.dli_fname[0] == '\0')
        return std::string();
    // The loader keeps the name it was given, which may be relative.
    if (char* full = realpath(info.dli_fname, nullptr)) {
        std::string path(full);
        std::free(full);
        return path;
    }
    return info.dli_fname;
}

bool pin_module() {
    static std::atomic<bool> pinned{false};
    if (pinned.load())
        return true;
    Dl_info info{};
    if (dladdr(&anchor, &info) == 0 || info.dli_fname == nullptr)
        return false;
    // A reference that is never given back, on a module that may not be
    // deleted: later dlclose calls can no longer unmap our code.
    void* handle = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    if (handle == nullptr)
        return false;
    if (pinned.exchange(true))
        dlclose(handle);  // another call pinned it first; ours is not needed
    return true;
}

}  // namespace platform
