// Loading and saving the settings: plugin.ini beside the plug-in's module.
#include "core/settings_file.h"

#include <cstring>

#include "host/module_path.h"
#include "host/profile.h"
#include "core/player_link.h"
#include "core/settings.h"
#include "core/text.h"

namespace velvox {

namespace {

// Reads one key of the settings section into a text buffer, with its default.
template <std::size_t N>
void ReadKey(const std::string& path, const char* key, const char* fallback, char (&buffer)[N]) {
    host::read_profile_string(path.c_str(), kSettingsSection, key, fallback, buffer, N);
}

// Writes one key of the settings section; the result is ignored.
void WriteKey(const std::string& path, const char* key, const char* value) {
    host::write_profile_string(path.c_str(), kSettingsSection, key, value);
}

}  // namespace

std::string SettingsPath() {
    // The path is taken whole, also beyond the classic 260 bytes: a cut path
    // would put the settings into some other folder.
    std::string path = host::module_path(ModuleHandle());
    const std::size_t separator = path.rfind(host::kPathSeparator);
    if (separator == std::string::npos)
        return "plugin.ini";
    path.resize(separator + 1);
    return path + "plugin.ini";
}

void LoadSettings() {
    const std::string path = SettingsPath();
    PluginSettings settings;
    char disabled[25];
    ReadKey(path, "bDisabled", "TRUE", disabled);
    ReadKey(path, "WebRoot", "c:\\", settings.WebRoot);
    ReadKey(path, "Port", "80", settings.Port);
    ReadKey(path, "Playlistfile", "", settings.Playlistfile);
    ReadKey(path, "AdminPassword", "", settings.AdminPassword);
    ReadKey(path, "g_MaxRequestsPerIP", "3", settings.g_MaxRequestsPerIP);
    ReadKey(path, "g_MaxEntries", "25", settings.g_MaxEntries);
    ReadKey(path, "g_MaxQueueSize", "50", settings.g_MaxQueueSize);
    settings.port = DecimalValue(settings.Port);
    // Only the exact text "FALSE" switches the plug-in on.
    settings.bDisabled = std::strcmp(disabled, "FALSE") != 0;
    PublishSettings(settings);
}

void SaveSettings() {
    const std::string path = SettingsPath();
    const SettingsSnapshot settings = CurrentSettings();
    WriteKey(path, "bDisabled", settings->bDisabled ? "TRUE" : "FALSE");
    WriteKey(path, "WebRoot", settings->WebRoot);
    WriteKey(path, "Port", settings->Port);
    WriteKey(path, "Playlistfile", settings->Playlistfile);
    WriteKey(path, "AdminPassword", settings->AdminPassword);
    WriteKey(path, "g_MaxRequestsPerIP", settings->g_MaxRequestsPerIP);
    WriteKey(path, "g_MaxEntries", settings->g_MaxEntries);
    WriteKey(path, "g_MaxQueueSize", settings->g_MaxQueueSize);
}

}  // namespace velvox
