// The plug-in module: named on the command line or found beside the program
// (or, for an installed Linux player, in ../lib/velvox/),
// loaded by the platform, and asked for its record through its one export.
// The platform front (posix/, win32/) supplies the four module calls; finding
// the export and the messages for a refusal are written once, here.
#pragma once
#include <string>

namespace velvox {
struct PluginRecord;
}

namespace player {

// Returns the file to load for the --plugin value; an empty value means the
// plug-in module beside the program. (Platform.)
std::string module_file(const std::string& option);

// Loads the module at path. Returns its handle, or nullptr with the system's
// reason in why. (Platform.)
void* open_module(const std::string& path, std::string& why);

// Returns the address of the function that module exports as name, or nullptr.
// (Platform.)
void* module_export(void* module, const char* name);

// Unloads a module opened by open_module; null is ignored. (Platform.)
void close_module(void* module);

// Names folder as the one the module keeps its settings file in, through the
// environment variable the module reads (velvox::kSettingsFolderVariable).
// Returns false when the environment cannot be changed. (Platform.)
bool set_settings_folder(const std::string& folder);

// A loaded plug-in: its module and the record its export returned.
struct LoadedPlugin {
    void* module = nullptr;
    velvox::PluginRecord* record = nullptr;
};

// Loads the plug-in named by the --plugin value and calls its export. Returns
// false with the message to print in error (the module then stays loaded, as
// the player exits at once).
bool load_plugin(const std::string& option, LoadedPlugin& plugin, std::string& error);

}  // namespace player
