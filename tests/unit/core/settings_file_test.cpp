// Loading and saving plugin.ini beside the module.
#include "core/settings_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>

#include "core/host_ops.h"
#include "core/settings.h"
#include "core/text.h"
#include "platform/module_path.h"
#include "temp_folder.h"

namespace velvox {
namespace {

using testing::TempFolder;

class SettingsFile : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::override_module_path(folder.file("libvelvox.so").c_str());
        PublishSettings(PluginSettings{});
    }
    void TearDown() override {
        platform::override_module_path(nullptr);
        PublishSettings(PluginSettings{});
    }
    // Writes plugin.ini with the given lines under the settings section.
    void WriteIni(const std::string& keys) {
        folder.write("plugin.ini", "[HTTP Request]\n" + keys);
    }

    TempFolder folder;
};

TEST_F(SettingsFile, NoFileGivesTheDefaults) {
    PluginSettings dirty;
    dirty.bDisabled = false;
    dirty.port = 1;
    PublishSettings(dirty);
    LoadSettings();
    SettingsSnapshot s = CurrentSettings();
    EXPECT_TRUE(s->bDisabled);
    EXPECT_STREQ(s->WebRoot, "c:\\");
    EXPECT_STREQ(s->Port, "80");
    EXPECT_EQ(s->port, 80);
    EXPECT_STREQ(s->Playlistfile, "");
    EXPECT_STREQ(s->AdminPassword, "");
    EXPECT_STREQ(s->g_MaxRequestsPerIP, "3");
    EXPECT_STREQ(s->g_MaxEntries, "25");
    EXPECT_STREQ(s->g_MaxQueueSize, "50");
    EXPECT_STREQ(s->HistorySize, "10");
    EXPECT_EQ(folder.read("plugin.ini"), "<missing>");
}

TEST_F(SettingsFile, OnlyTheExactTextFalseEnables) {
    const struct {
        const char* line;  // null: no bDisabled key
        bool disabled;
    } cases[] = {
        {"bDisabled=FALSE", false}, {"bdisabled = FALSE  ", false}, {"bDisabled=false", true},
        {"bDisabled=False", true},  {"bDisabled=0", true},          {"bDisabled=", true},
        {"bDisabled=TRUE", true},   {"bDisabled=FALSEX", true},     {nullptr, true},
    };
    for (const auto& c : cases) {
        WriteIni(c.line != nullptr ? std::string(c.line) + "\n" : "Port=81\n");
        LoadSettings();
        EXPECT_EQ(CurrentSettings()->bDisabled, c.disabled) << (c.line ? c.line : "(none)");
    }
}

TEST_F(SettingsFile, PortNumberFollowsTheDecimalRule) {
    const struct {
        const char* value;
        std::int32_t port;
        const char* text;
    } cases[] = {
        {"8080", 8080, "8080"},
        {"8080abc", 8080, "8080abc"},
        {"abc", 0, "abc"},
        {"", 0, ""},
        {"-12", -12, "-12"},
        {"+7x", 7, "+7x"},
        {"1234567890123", 123456789, "123456789"},  // cut to nine before conversion
        {"99999999999", 999999999, "999999999"},
    };
    for (const auto& c : cases) {
        WriteIni(std::string("Port=") + c.value + "\n");
        LoadSettings();
        EXPECT_EQ(CurrentSettings()->port, c.port) << c.value;
        EXPECT_STREQ(CurrentSettings()->Port, c.text) << c.value;
    }
}

TEST_F(SettingsFile, LongValuesAreCutToOneLessThanTheirLimit) {
    const struct {
        const char* key;
        std::size_t kept;
    } cases[] = {
        {"WebRoot", 1023},          {"Playlistfile", 1023}, {"AdminPassword", 254},
        {"g_MaxRequestsPerIP", 24}, {"g_MaxEntries", 24},   {"g_MaxQueueSize", 24},
        {"HistorySize", 24},
    };
    std::string keys;
    for (const auto& c : cases)
        keys += std::string(c.key) + "=" + std::string(2000, 'x') + "\n";
    WriteIni(keys);
    LoadSettings();
    SettingsSnapshot s = CurrentSettings();
    const char* values[] = {
        s->WebRoot,      s->Playlistfile,   s->AdminPassword, s->g_MaxRequestsPerIP,
        s->g_MaxEntries, s->g_MaxQueueSize, s->HistorySize};
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(std::string(values[i]), std::string(cases[i].kept, 'x')) << cases[i].key;

    // The cut leaves "FALSE" and blanks: still not exactly "FALSE".
    WriteIni("bDisabled=FALSE" + std::string(30, ' ') + "x\n");
    LoadSettings();
    EXPECT_TRUE(CurrentSettings()->bDisabled);
}

TEST_F(SettingsFile, SaveWritesAllEightKeysInOrder) {
    PluginSettings s;
    s.bDisabled = false;
    CopyCut(s.WebRoot, "/srv/www/");
    CopyCut(s.Port, "8080abc");
    s.port = 1;  // the text is written, not the number
    CopyCut(s.Playlistfile, "playlist.html");
    CopyCut(s.AdminPassword, "secret");
    CopyCut(s.g_MaxRequestsPerIP, "4");
    CopyCut(s.g_MaxEntries, "30");
    CopyCut(s.g_MaxQueueSize, "60");
    PublishSettings(s);
    SaveSettings();
    EXPECT_EQ(folder.read("plugin.ini"),
              "[HTTP Request]\n"
              "bDisabled=FALSE\n"
              "WebRoot=/srv/www/\n"
              "Port=8080abc\n"
              "Playlistfile=playlist.html\n"
              "AdminPassword=secret\n"
              "g_MaxRequestsPerIP=4\n"
              "g_MaxEntries=30\n"
              "g_MaxQueueSize=60\n");
}

TEST_F(SettingsFile, ConnectionLimitsFollowTheDecimalRuleRaisedToTheirLeast) {
    const struct {
        const char* lines;
        std::int32_t deadline, send_timeout, threads, per_address;
    } cases[] = {
        {"", 10, 30, 256, 64},
        {"WaitDeadlineSeconds=5\nSendTimeoutSeconds=7\nMaxConnectionThreads=8\n"
         "MaxSocketsPerAddress=9\n",
         5, 7, 8, 9},
        {"WaitDeadlineSeconds=0\nMaxConnectionThreads=0\nMaxSocketsPerAddress=-4\n", 0, 30, 1, 0},
        {"SendTimeoutSeconds=abc\nMaxConnectionThreads=12x\nWaitDeadlineSeconds=\n", 0, 0, 12, 64},
    };
    for (const auto& c : cases) {
        WriteIni(c.lines);
        LoadSettings();
        SettingsSnapshot s = CurrentSettings();
        EXPECT_EQ(s->waitDeadlineSeconds, c.deadline) << c.lines;
        EXPECT_EQ(s->sendTimeoutSeconds, c.send_timeout) << c.lines;
        EXPECT_EQ(s->maxConnectionThreads, c.threads) << c.lines;
        EXPECT_EQ(s->maxSocketsPerAddress, c.per_address) << c.lines;
    }
}

TEST_F(SettingsFile, SaveKeepsOtherLinesAndReplacesValuesInPlace) {
    folder.write("plugin.ini",
                 "; written by hand\r\n[Other]\r\nPort=1\r\n[HTTP Request]\r\nPort=81\r\n"
                 "Extra=kept\r\n");
    LoadSettings();
    EXPECT_EQ(CurrentSettings()->port, 81);
    SaveSettings();
    EXPECT_EQ(folder.read("plugin.ini"),
              "; written by hand\r\n[Other]\r\nPort=1\r\n[HTTP Request]\r\nPort=81\r\n"
              "Extra=kept\r\nbDisabled=TRUE\r\nWebRoot=c:\\\r\nPlaylistfile=\r\n"
              "AdminPassword=\r\ng_MaxRequestsPerIP=3\r\ng_MaxEntries=25\r\n"
              "g_MaxQueueSize=50\r\n");
    // What was saved loads back unchanged.
    LoadSettings();
    EXPECT_STREQ(CurrentSettings()->WebRoot, "c:\\");
    EXPECT_EQ(CurrentSettings()->port, 81);
}

TEST_F(SettingsFile, KeysAddedLaterAreWrittenBackOnlyWhenInUse) {
    // The eight classic keys as SaveSettings writes them with the defaults.
    const std::string classic =
        "bDisabled=TRUE\nWebRoot=c:\\\nPort=80\nPlaylistfile=\nAdminPassword=\n"
        "g_MaxRequestsPerIP=3\ng_MaxEntries=25\ng_MaxQueueSize=50\n";
    const struct {
        const char* name;
        std::string before;  // the section's lines before loading
        void (*change)(PluginSettings&);
        std::string after;  // the section's lines after saving
    } cases[] = {
        {"absent and off: the file keeps its eight keys", "", nullptr, classic},
        {"set: written", "",
         [](PluginSettings& s) {
             CopyCut(s.MaxRequestsPerArtist, "2");
             s.FairOrder = true;
             s.MatchAllWords = true;
             CopyCut(s.MaxSocketsPerAddress, "8");
         },
         classic + "MaxRequestsPerArtist=2\nFairOrder=TRUE\nMatchAllWords="
                   "TRUE\nMaxSocketsPerAddress=8\n"},
        {"in the file: written back, also when switched off",
         "FairOrder=TRUE\nsongcooldownminutes = 0\nNoConsecutiveArtist=true\nMatchAllWords=1\n",
         [](PluginSettings& s) { s.FairOrder = false; },
         "FairOrder=FALSE\nsongcooldownminutes=0\nNoConsecutiveArtist=FALSE\nMatchAllWords="
         "FALSE\n" +
             classic},
        {"read from the file and kept",
         "NoConsecutiveArtist=TRUE\nSongCooldownMinutes=45x\nmatchallwords = TRUE \n", nullptr,
         "NoConsecutiveArtist=TRUE\nSongCooldownMinutes=45x\nmatchallwords=TRUE\n" + classic},
    };
    for (const auto& c : cases) {
        WriteIni(c.before);
        LoadSettings();
        PluginSettings settings = *CurrentSettings();
        if (c.change != nullptr)
            c.change(settings);
        PublishSettings(settings);
        SaveSettings();
        EXPECT_EQ(folder.read("plugin.ini"), "[HTTP Request]\n" + c.after) << c.name;
    }
}

TEST_F(SettingsFile, LaterKeysAreWrittenOnlyWhenSet) {
    const std::string eight =
        "[HTTP Request]\nbDisabled=TRUE\nWebRoot=c:\\\nPort=80\nPlaylistfile=\n"
        "AdminPassword=\ng_MaxRequestsPerIP=3\ng_MaxEntries=25\ng_MaxQueueSize=50\n";
    const struct {
        const char* before;  // the HistorySize line of the file; null for none
        const char* held;
        std::string after;
    } cases[] = {
        {nullptr, "10", eight},
        {"HistorySize=5", "5", "[HTTP Request]\nHistorySize=5\n" + eight.substr(15)},
        {"HistorySize=10", "10", "[HTTP Request]\nHistorySize=10\n" + eight.substr(15)},
        {"historysize = 0 ", "0", "[HTTP Request]\nhistorysize=0\n" + eight.substr(15)},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(folder.file("plugin.ini"));
        if (c.before != nullptr)
            WriteIni(std::string(c.before) + "\n");
        LoadSettings();
        EXPECT_STREQ(CurrentSettings()->HistorySize, c.held) << (c.before ? c.before : "(none)");
        SaveSettings();
        EXPECT_EQ(folder.read("plugin.ini"), c.after) << (c.before ? c.before : "(none)");
    }
}

TEST(SettingsPathRule, TheNamedFolderElseTheModulesOrTheBareName) {
    const std::string long_folder = "/" + std::string(300, 'd') + "/";
    const struct {
        std::string module;
        const char* folder;  // the settings folder variable; empty: none
        std::string expected;
    } cases[] = {
        {"/opt/velvox/libvelvox.so", "", "/opt/velvox/plugin.ini"},
        {"/libvelvox.so", "", "/plugin.ini"},
        {"libvelvox.so", "", "plugin.ini"},
        {"", "", "plugin.ini"},
        {long_folder + "libvelvox.so", "", long_folder + "plugin.ini"},  // never cut
        {"/usr/lib/velvox/libvelvox.so", "/var/lib/velvox", "/var/lib/velvox/plugin.ini"},
        {"/usr/lib/velvox/libvelvox.so", "/var/lib/velvox/", "/var/lib/velvox/plugin.ini"},
        {"libvelvox.so", "state", "state/plugin.ini"},
    };
    for (const auto& c : cases) {
        platform::override_module_path(c.module.c_str());
        setenv(kSettingsFolderVariable, c.folder, 1);
        EXPECT_EQ(SettingsPath(), c.expected) << c.module << " " << c.folder;
    }
    unsetenv(kSettingsFolderVariable);
    platform::override_module_path(nullptr);
}

}  // namespace
}  // namespace velvox
