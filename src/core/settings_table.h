// The settings as one table: each row names a key of plugin.ini, its default
// text, the field of PluginSettings that holds it and the dialog control that
// shows it. The file's reader and writer and the settings dialog all walk it.
#pragma once
#include <cstddef>

#include "core/settings.h"

namespace velvox {

enum class SettingKind {
    text,           // a text field, cut to its size on reading
    disabled_flag,  // a bool: on unless the text is exactly "FALSE"
    enabled_flag,   // a bool: on only when the text is exactly "TRUE"
};

struct SettingRow {
    const char* key;
    const char* fallback;  // the text when the key is absent
    SettingKind kind;
    std::size_t offset;  // of the field in PluginSettings
    std::size_t size;    // a text field's size; read-backs are cut to size - 1
    int control;         // the settings dialog's control; 0 for none
    // A key added later: written only when its value differs from the
    // fallback, so that a file without it stays as it was.
    bool optional = false;
};

// Returns the rows in the order the file is written.
const SettingRow* SettingsTable(std::size_t& count);

// Returns the text field of row in settings (row.kind must be text).
char* TextField(PluginSettings& settings, const SettingRow& row);
const char* TextField(const PluginSettings& settings, const SettingRow& row);
// Returns the flag of row in settings (row.kind must be a flag).
bool& FlagField(PluginSettings& settings, const SettingRow& row);
bool FlagField(const PluginSettings& settings, const SettingRow& row);

// Sets row's field from text, as the file's reader takes it.
void SetFromText(PluginSettings& settings, const SettingRow& row, const char* text);
// Returns row's field as the file's writer writes it.
const char* TextOf(const PluginSettings& settings, const SettingRow& row);

// Works out the values derived from the texts (the port number).
void DeriveSettings(PluginSettings& settings);

}  // namespace velvox
