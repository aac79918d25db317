// The plug-in module on Windows: LoadLibraryA and GetProcAddress.
#include <windows.h>

#include <cstdlib>

#include "core/host_ops.h"
#include "plugin_module.h"
#include "win32/error_text.h"

namespace player {

namespace {

// Returns the folder of the running program with a trailing '\'.
std::string program_folder() {
    char path[MAX_PATH] = {0};
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string full(path, n);
    std::size_t cut = full.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : full.substr(0, cut + 1);
}

}  // namespace

std::string module_file(const std::string& option) {
    return option.empty() ? program_folder() + "gen_velvox.dll" : option;
}

void* open_module(const std::string& path, std::string& why) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr)
        why = error_text(GetLastError());
    return reinterpret_cast<void*>(module);
}

void* module_export(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void close_module(void* module) {
    if (module != nullptr)
        FreeLibrary(static_cast<HMODULE>(module));
}

bool set_settings_folder(const std::string& folder) {
    // The C runtime's copy of the environment, which the module's getenv reads,
    // and the process's own.
    const std::string entry = std::string(velvox::kSettingsFolderVariable) + "=" + folder;
    return _putenv(entry.c_str()) == 0;
}

}  // namespace player
