// The plug-in module on POSIX: dlopen and dlsym.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "core/host_ops.h"
#include "plugin_module.h"

namespace player {

namespace {

// Returns the folder of the running program, with a trailing '/'; empty when
// it cannot be found.
std::string program_folder() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return std::string();
    std::string full(path, static_cast<std::size_t>(n));
    std::size_t slash = full.rfind('/');
    return slash == std::string::npos ? std::string() : full.substr(0, slash + 1);
}

// Returns the module beside the program, or, when there is none there and the
// program lies in an installed layout (bin/ beside lib/velvox/), that one.
std::string default_module() {
    const std::string folder = program_folder();
    const std::string beside = folder + "libvelvox.so";
    const std::string installed = folder + "../lib/velvox/libvelvox.so";
    if (access(beside.c_str(), F_OK) != 0 && access(installed.c_str(), F_OK) == 0)
        return installed;
    return beside;
}

}  // namespace

std::string module_file(const std::string& option) {
    std::string path = option.empty() ? default_module() : option;
    if (path.find('/') == std::string::npos)
        path = "./" + path;  // a bare name means the file here, not a library search
    return path;
}

void* open_module(const std::string& path, std::string& why) {
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* text = dlerror();
        why = text ? text : "unknown error";
    }
    return module;
}

void* module_export(void* module, const char* name) {
    return dlsym(module, name);
}

void close_module(void* module) {
    if (module != nullptr)
        dlclose(module);
}

bool set_settings_folder(const std::string& folder) {
    return setenv(velvox::kSettingsFolderVariable, folder.c_str(), 1) == 0;
}

}  // namespace player
