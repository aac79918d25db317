// Loading and saving the settings: plugin.ini beside the plug-in's module, or
// in the folder the player names.
#include "core/settings_file.h"

#include <cstdlib>
#include <cstring>

#include "core/host_ops.h"
#include "core/player_link.h"
#include "core/settings.h"
#include "core/settings_table.h"
#include "platform/module_path.h"
#include "platform/profile.h"

namespace velvox {

std::string SettingsPath() {
    const char* folder = std::getenv(kSettingsFolderVariable);
    if (folder != nullptr && *folder != '\0') {
        std::string path = folder;
        if (path.back() != platform::kPathSeparator && path.back() != '/')
            path += platform::kPathSeparator;
        return path + "plugin.ini";
    }
    // The path is taken whole, also beyond the classic 260 bytes: a cut path
    // would put the settings into some other folder.
    std::string path = platform::module_path(ModuleHandle());
    const std::size_t separator = path.rfind(platform::kPathSeparator);
    if (separator == std::string::npos)
        return "plugin.ini";
    path.resize(separator + 1);
    return path + "plugin.ini";
}

void LoadSettings() {
    const std::string path = SettingsPath();
    PluginSettings settings;
    std::size_t count = 0;
    const SettingRow* rows = SettingsTable(count);
    for (std::size_t i = 0; i < count; ++i) {
        const SettingRow& row = rows[i];
        // Flags are read as the classic 25-character text fields are.
        char flag[25];
        const bool text = row.kind == SettingKind::text;
        char* buffer = text ? TextField(settings, row) : flag;
        const std::size_t size = text ? row.size : sizeof flag;
        platform::read_profile_string(path.c_str(), kSettingsSection, row.key, row.fallback, buffer,
                                      size);
        if (!text)
            SetFromText(settings, row, flag);
    }
    DeriveSettings(settings);
    PublishSettings(settings);
}

namespace {

// Returns whether the file at path has key in the settings section: a key
// that is there reads the same whatever the fallback, a missing one gives back
// each fallback.
bool FileHasKey(const char* path, const char* key) {
    char first[2];
    char second[2];
    platform::read_profile_string(path, kSettingsSection, key, "0", first, sizeof first);
    platform::read_profile_string(path, kSettingsSection, key, "1", second, sizeof second);
    return std::strcmp(first, second) == 0;
}

}  // namespace

void SaveSettings() {
    const std::string path = SettingsPath();
    const SettingsSnapshot settings = CurrentSettings();
    std::size_t count = 0;
    const SettingRow* rows = SettingsTable(count);
    // Results are ignored: a file that cannot be written keeps what it had.
    for (std::size_t i = 0; i < count; ++i) {
        const SettingRow& row = rows[i];
        const char* value = TextOf(*settings, row);
        if (row.onlyWhenUsed && std::strcmp(value, row.fallback) == 0 &&
            !FileHasKey(path.c_str(), row.key))
            continue;
        platform::write_profile_string(path.c_str(), kSettingsSection, row.key, value);
    }
}

}  // namespace velvox
