// Where the settings file lies and what it holds.
#pragma once
#include <string>

namespace velvox {

// The section that holds every key of the settings file.
constexpr const char* kSettingsSection = "HTTP Request";

// Returns the settings file's path: "plugin.ini" in the folder that the
// environment variable kSettingsFolderVariable names when it is set and not
// empty, else in the folder of the plug-in's module file (up to and including
// its last separator), or the bare "plugin.ini" when the module path holds no
// separator. Worked out afresh on every call.
std::string SettingsPath();

}  // namespace velvox
