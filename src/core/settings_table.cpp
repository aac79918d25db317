// The settings table and the accessors of its fields.
#include "core/settings_table.h"

#include <cstring>
#include <iterator>

#include "core/settings_dialog_ids.h"
#include "core/text.h"

namespace velvox {

namespace {

#define VELVOX_TEXT(member) \
    SettingKind::text, offsetof(PluginSettings, member), sizeof(PluginSettings::member)
#define VELVOX_FLAG(kind, member) kind, offsetof(PluginSettings, member), sizeof(bool)

// A new setting is one row here plus, when the dialog shows it, its control.
const SettingRow kRows[] = {
    {"bDisabled", "TRUE", VELVOX_FLAG(SettingKind::disabled_flag, bDisabled), IDC_VX_DISABLED},
    {"WebRoot", "c:\\", VELVOX_TEXT(WebRoot), IDC_VX_WEBROOT},
    {"Port", "80", VELVOX_TEXT(Port), IDC_VX_PORT},
    {"Playlistfile", "", VELVOX_TEXT(Playlistfile), IDC_VX_PLAYLISTFILE},
    {"AdminPassword", "", VELVOX_TEXT(AdminPassword), IDC_VX_ADMIN_PASSWORD},
    {"g_MaxRequestsPerIP", "3", VELVOX_TEXT(g_MaxRequestsPerIP), IDC_VX_MAX_REQUESTS_PER_IP},
    {"g_MaxEntries", "25", VELVOX_TEXT(g_MaxEntries), IDC_VX_MAX_ENTRIES},
    {"g_MaxQueueSize", "50", VELVOX_TEXT(g_MaxQueueSize), IDC_VX_MAX_QUEUE_SIZE},
    {"MaxRequestsPerArtist", "0", VELVOX_TEXT(MaxRequestsPerArtist), IDC_VX_MAX_REQUESTS_PER_ARTIST,
     true},
    {"NoConsecutiveArtist", "FALSE", VELVOX_FLAG(SettingKind::enabled_flag, NoConsecutiveArtist),
     IDC_VX_NO_CONSECUTIVE_ARTIST, true},
    {"SongCooldownMinutes", "0", VELVOX_TEXT(SongCooldownMinutes), IDC_VX_SONG_COOLDOWN, true},
    {"FairOrder", "FALSE", VELVOX_FLAG(SettingKind::enabled_flag, FairOrder), IDC_VX_FAIR_ORDER,
     true},
    {"HistorySize", "10", VELVOX_TEXT(HistorySize), IDC_VX_HISTORY_SIZE, true},
    {"MatchAllWords", "FALSE", VELVOX_FLAG(SettingKind::enabled_flag, MatchAllWords),
     IDC_VX_MATCH_ALL_WORDS, true},
    {"WaitDeadlineSeconds", "10", VELVOX_TEXT(WaitDeadlineSeconds), IDC_VX_WAIT_DEADLINE, true},
    {"SendTimeoutSeconds", "30", VELVOX_TEXT(SendTimeoutSeconds), IDC_VX_SEND_TIMEOUT, true},
    {"MaxConnectionThreads", "256", VELVOX_TEXT(MaxConnectionThreads),
     IDC_VX_MAX_CONNECTION_THREADS, true},
    {"MaxSocketsPerAddress", "64", VELVOX_TEXT(MaxSocketsPerAddress),
     IDC_VX_MAX_SOCKETS_PER_ADDRESS, true},
    {"SkipVotes", "0", VELVOX_TEXT(SkipVotes), IDC_VX_SKIP_VOTES, true},
    {"RequestsPerHour", "0", VELVOX_TEXT(RequestsPerHour), IDC_VX_REQUESTS_PER_HOUR, true},
    {"BlockedWords", "", VELVOX_TEXT(BlockedWords), IDC_VX_BLOCKED_WORDS, true},
    {"MaxEventClients", "1000", VELVOX_TEXT(MaxEventClients), 0, true},
};

#undef VELVOX_TEXT
#undef VELVOX_FLAG

}  // namespace

const SettingRow* SettingsTable(std::size_t& count) {
    count = std::size(kRows);
    return kRows;
}

char* TextField(PluginSettings& settings, const SettingRow& row) {
    return reinterpret_cast<char*>(&settings) + row.offset;
}

const char* TextField(const PluginSettings& settings, const SettingRow& row) {
    return reinterpret_cast<const char*>(&settings) + row.offset;
}

bool& FlagField(PluginSettings& settings, const SettingRow& row) {
    return *reinterpret_cast<bool*>(reinterpret_cast<char*>(&settings) + row.offset);
}

bool FlagField(const PluginSettings& settings, const SettingRow& row) {
    return *reinterpret_cast<const bool*>(reinterpret_cast<const char*>(&settings) + row.offset);
}

void SetFromText(PluginSettings& settings, const SettingRow& row, const char* text) {
    switch (row.kind) {
        case SettingKind::text:
            CopyCut(TextField(settings, row), row.size, text);
            break;
        case SettingKind::disabled_flag:
            FlagField(settings, row) = std::strcmp(text, "FALSE") != 0;
            break;
        case SettingKind::enabled_flag:
            FlagField(settings, row) = std::strcmp(text, "TRUE") == 0;
            break;
    }
}

const char* TextOf(const PluginSettings& settings, const SettingRow& row) {
    if (row.kind == SettingKind::text)
        return TextField(settings, row);
    return FlagField(settings, row) ? "TRUE" : "FALSE";
}

namespace {

// Returns a limit's number from its text by the decimal rule, raised to least.
std::int32_t LimitValue(const char* text, std::int32_t least) {
    const std::int32_t value = DecimalValue(text);
    return value < least ? least : value;
}

}  // namespace

void DeriveSettings(PluginSettings& settings) {
    settings.port = DecimalValue(settings.Port);
    settings.waitDeadlineSeconds = LimitValue(settings.WaitDeadlineSeconds, 0);
    settings.sendTimeoutSeconds = LimitValue(settings.SendTimeoutSeconds, 0);
    settings.maxConnectionThreads = LimitValue(settings.MaxConnectionThreads, 1);
    settings.maxSocketsPerAddress = LimitValue(settings.MaxSocketsPerAddress, 0);
    settings.max_event_clients = LimitValue(settings.MaxEventClients, 0);
}

}  // namespace velvox
