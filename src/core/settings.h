// The plug-in's settings: fixed-size texts plus flags and the port number. Readers on any thread
// take one consistent snapshot per use; the settings dialog publishes a whole new set at once.
#pragma once
#include <cstdint>
#include <memory>

namespace velvox {

struct PluginSettings {
    bool bDisabled = true;  // on = the plug-in is switched off
    char WebRoot[1024] = "c:\\";
    char Port[10] = "80";
    char Playlistfile[1024] = "";
    char AdminPassword[255] = "";
    char g_MaxRequestsPerIP[25] = "3";
    char g_MaxEntries[25] = "25";
    char g_MaxQueueSize[25] = "50";
    // The fair-play rules, all off by default (docs/rules.md).
    char MaxRequestsPerArtist[25] = "0";  // 0: any number
    bool NoConsecutiveArtist = false;
    char SongCooldownMinutes[25] = "0";  // 0: no cooldown
    bool FairOrder = false;              // on: the queue plays in turns by address
    char HistorySize[25] = "10";         // titles in the recently played list; 0: none
    // The party controls, all off by default (docs/rules.md).
    // votes that skip the song playing; 0: no voting
    char SkipVotes[25] = "0";  // NOLINT(readability-identifier-naming)
    // accepted requests per address an hour; 0: any number
    char RequestsPerHour[25] = "0";  // NOLINT(readability-identifier-naming)
    // comma-separated; a title holding one cannot be requested
    char BlockedWords[1024] = "";  // NOLINT(readability-identifier-naming)
    // on = a search matches the titles that hold each of its space-separated
    // words, in any order; off = the titles that hold it as one text
    bool MatchAllWords = false;
    // The connection limits (README, "Settings").
    char WaitDeadlineSeconds[25] = "10";
    char SendTimeoutSeconds[25] = "30";
    char MaxConnectionThreads[25] = "256";
    char MaxSocketsPerAddress[25] = "64";
    char MaxEventClients[25] = "1000";  // NOLINT(readability-identifier-naming): its key
    std::int32_t port = 80;             // from Port by the decimal rule
    // From the limits' texts by the decimal rule, raised to their least.
    std::int32_t waitDeadlineSeconds = 10;    // 0: sockets wait without limit
    std::int32_t sendTimeoutSeconds = 30;     // 0: sends wait without limit
    std::int32_t maxConnectionThreads = 256;  // at least 1
    std::int32_t maxSocketsPerAddress = 64;   // 0: no limit
    std::int32_t max_event_clients = 1000;    // live-events subscribers in all; 0: none
};

using SettingsSnapshot = std::shared_ptr<const PluginSettings>;

// Returns the settings in force now (defaults until LoadSettings or a publish).
SettingsSnapshot CurrentSettings();

// Replaces the settings in force by a copy of the given set, all at once.
void PublishSettings(const PluginSettings& settings);

// Fills the settings from plugin.ini beside the module; never fails.
void LoadSettings();

// Writes the keys to plugin.ini beside the module (a key added later only when
// it is in use, see SettingRow::onlyWhenUsed); results are ignored.
void SaveSettings();

}  // namespace velvox
