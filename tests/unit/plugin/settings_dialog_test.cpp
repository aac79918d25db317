// The settings dialog's logic against a fake set of controls, and the same
// logic driven through the console form.
#include <gtest/gtest.h>

#include <algorithm>

#include <atomic>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/host_ops.h"
#include "core/settings.h"
#include "core/text.h"
#include "fake_player.h"
#include "platform/dialog.h"
#include "platform/posix/emulated_window.h"
#include "plugin/lifecycle.h"
#include "plugin/plugin_record.h"
#include "plugin/settings_dialog_logic.h"
#include "queue/playlist_cache.h"
#include "queue/request_queue.h"
#include "queue_world.h"
#include "server/listener.h"
#include "services_override.h"
#include "velvox_version.h"

namespace velvox {
namespace {

// Controls that hold their values in memory and record every read, with the
// buffer size the logic offered, in order.
class FakeControls : public platform::DialogControls {
  public:
    std::map<int, std::string> texts;
    std::map<int, bool> checks;
    std::vector<std::string> reads;  // "ID:SIZE" for texts, "ID:check" for the box
    std::vector<std::string> boxes;  // "CAPTION|TEXT"
    int closes = 0;

    void set_text(int id, const char* text) override { texts[id] = text; }
    std::size_t get_text(int id, char* buffer, std::size_t size) override {
        reads.push_back(std::to_string(id) + ":" + std::to_string(size));
        const std::string cut = texts[id].substr(0, size - 1);
        cut.copy(buffer, cut.size());
        buffer[cut.size()] = '\0';
        return cut.size();
    }
    void set_checked(int id, bool checked) override { checks[id] = checked; }
    bool is_checked(int id) override {
        reads.push_back(std::to_string(id) + ":check");
        return checks[id];
    }
    void message_box(const char* text, const char* caption) override {
        boxes.push_back(std::string(caption) + "|" + text);
    }
    void close(int) override { ++closes; }
    bool has_control(int id) override { return missing.count(id) == 0; }
    std::set<int> missing;  // controls the shown dialog lacks
    // The second dialog runs under Wine (tests/wine), not here.
    int show_child(const platform::DialogForm&, platform::DialogLogic&) override { return -1; }
};

// The listener as the dialog sees it: a flag and a count of starts, plus the
// settings in force at each start.
struct FakeListener {
    bool running = false;
    int starts = 0;
    std::vector<PluginSettings> seen_at_start;

    ListenerHooks hooks() {
        return ListenerHooks{[this] { return running; },
                             [this] {
                                 ++starts;
                                 seen_at_start.push_back(*CurrentSettings());
                             }};
    }
};

// Settings that differ from the defaults in every field.
PluginSettings SampleSettings(bool disabled) {
    PluginSettings s;
    s.bDisabled = disabled;
    CopyCut(s.WebRoot, "/srv/web");
    CopyCut(s.Port, "0080x");
    s.port = 80;
    CopyCut(s.Playlistfile, "list.html");
    CopyCut(s.AdminPassword, "secret");
    CopyCut(s.g_MaxRequestsPerIP, "4");
    CopyCut(s.g_MaxEntries, "30");
    CopyCut(s.g_MaxQueueSize, "60");
    CopyCut(s.MaxRequestsPerArtist, "2");
    s.NoConsecutiveArtist = true;
    CopyCut(s.SongCooldownMinutes, "45");
    s.FairOrder = true;
    return s;
}

class SettingsDialogTest : public ::testing::Test {
  protected:
    void SetUp() override { PublishSettings(SampleSettings(false)); }
    void TearDown() override { PublishSettings(PluginSettings{}); }

    FakeControls controls;
    FakeListener listener;
};

TEST_F(SettingsDialogTest, OpeningShowsEveryTextAsHeldAndThePortText) {
    SettingsDialog dialog(listener.hooks());
    dialog.on_open(controls);
    const std::map<int, std::string> expected = {
        {1063, "/srv/web"}, {1064, "0080x"},  {1065, "list.html"}, {1079, "4"},  {1083, "30"},
        {1084, "60"},       {1101, "2"},      {1103, "45"},        {1106, "0"},  {1107, "0"},
        {1108, ""},         {1110, "10"},     {1111, "10"},        {1112, "30"}, {1113, "256"},
        {1114, "64"},       {1007, "secret"},
    };
    EXPECT_EQ(controls.texts, expected);
    EXPECT_EQ(controls.checks,
              (std::map<int, bool>{{1026, false}, {1102, true}, {1104, true}, {1109, false}}));
    EXPECT_EQ(controls.closes, 0);
    EXPECT_TRUE(controls.reads.empty());
}

TEST_F(SettingsDialogTest, OpeningChecksTheBoxWhenDisabled) {
    PublishSettings(SampleSettings(true));
    SettingsDialog dialog(listener.hooks());
    dialog.on_open(controls);
    EXPECT_EQ(controls.checks[1026], true);
}

TEST_F(SettingsDialogTest, OpeningStartsTheListenerOnlyWhenEnabledAndNoneStarted) {
    struct Case {
        bool disabled;
        bool running;
        int starts;
    };
    const Case cases[] = {{false, false, 1}, {false, true, 0}, {true, false, 0}, {true, true, 0}};
    for (const Case& c : cases) {
        PublishSettings(SampleSettings(c.disabled));
        FakeListener l;
        l.running = c.running;
        FakeControls fc;
        SettingsDialog dialog(l.hooks());
        dialog.on_open(fc);
        EXPECT_EQ(l.starts, c.starts) << "disabled " << c.disabled << " running " << c.running;
    }
}

TEST_F(SettingsDialogTest, ControlsTheDialogLacksLeaveTheirSettingsAlone) {
    // A Windows dialog shows only the controls of its resource; settings
    // without one keep their values through open and OK.
    controls.missing = {1064, 1026};
    SettingsDialog dialog(listener.hooks());
    dialog.on_open(controls);
    EXPECT_EQ(controls.texts.count(1064), 0u);
    controls.texts[1063] = "/other";
    dialog.on_command(controls, 1062);
    EXPECT_STREQ(CurrentSettings()->Port, "0080x");
    EXPECT_FALSE(CurrentSettings()->bDisabled);
    EXPECT_STREQ(CurrentSettings()->WebRoot, "/other");
}

TEST_F(SettingsDialogTest, OkReadsEveryFieldWithItsLimitAndCloses) {
    listener.running = true;
    SettingsDialog dialog(listener.hooks());
    dialog.on_open(controls);
    controls.reads.clear();
    dialog.on_command(controls, 1062);
    // Every control once, each cut to its field's size; the order is free.
    std::vector<std::string> reads = controls.reads;
    std::sort(reads.begin(), reads.end());
    const std::vector<std::string> expected = {
        "1007:255",  "1026:check", "1063:1024",  "1064:10", "1065:1024",  "1079:25", "1083:25",
        "1084:25",   "1101:25",    "1102:check", "1103:25", "1104:check", "1106:25", "1107:25",
        "1108:1024", "1109:check", "1110:25",    "1111:25", "1112:25",    "1113:25", "1114:25"};
    EXPECT_EQ(reads, expected);
    EXPECT_EQ(controls.closes, 1);
}

TEST_F(SettingsDialogTest, OkCutsLongEntriesToOneLessThanTheirBuffers) {
    listener.running = true;
    SettingsDialog dialog(listener.hooks());
    dialog.on_open(controls);
    controls.texts[1063] = std::string(2000, 'w');
    controls.texts[1064] = "123456789012";  // 12 characters: the port is read from 9
    controls.texts[1065] = std::string(1500, 'p');
    controls.texts[1007] = std::string(300, 's');
    controls.texts[1079] = std::string(30, '7');
    controls.texts[1083] = std::string(30, '8');
    controls.texts[1084] = std::string(30, '9');
    dialog.on_command(controls, 1062);

    const SettingsSnapshot s = CurrentSettings();
    EXPECT_EQ(std::string(s->WebRoot), std::string(1023, 'w'));
    EXPECT_EQ(std::string(s->Port), "123456789");
    EXPECT_EQ(s->port, 123456789);
    EXPECT_EQ(std::string(s->Playlistfile), std::string(1023, 'p'));
    EXPECT_EQ(std::string(s->AdminPassword), std::string(254, 's'));
    EXPECT_EQ(std::string(s->g_MaxRequestsPerIP), std::string(24, '7'));
    EXPECT_EQ(std::string(s->g_MaxEntries), std::string(24, '8'));
    EXPECT_EQ(std::string(s->g_MaxQueueSize), std::string(24, '9'));
}

TEST_F(SettingsDialogTest, OkTakesValuesAsTypedAndRederivesThePort) {
    struct Case {
        const char* port_text;
        std::int32_t port;
    };
    const Case cases[] = {{"8081", 8081}, {"  8082abc", 8082}, {"abc", 0},
                          {"", 0},        {"-5", -5},          {"+77", 77}};
    for (const Case& c : cases) {
        PublishSettings(SampleSettings(false));
        FakeListener l;
        l.running = true;
        FakeControls fc;
        SettingsDialog dialog(l.hooks());
        dialog.on_open(fc);
        fc.texts[1064] = c.port_text;
        fc.texts[1063] = "";
        fc.texts[1007] = "";
        fc.texts[1079] = "many";
        dialog.on_command(fc, 1062);
        const SettingsSnapshot s = CurrentSettings();
        EXPECT_EQ(std::string(s->Port), c.port_text);
        EXPECT_EQ(s->port, c.port) << c.port_text;
        EXPECT_EQ(std::string(s->WebRoot), "");
        EXPECT_EQ(std::string(s->AdminPassword), "");
        EXPECT_EQ(std::string(s->g_MaxRequestsPerIP), "many");
    }
}

TEST_F(SettingsDialogTest, OkSetsDisabledExactlyWhenTheBoxIsChecked) {
    for (bool checked : {true, false}) {
        PublishSettings(SampleSettings(!checked));
        FakeListener l;
        l.running = true;
        FakeControls fc;
        SettingsDialog dialog(l.hooks());
        dialog.on_open(fc);
        fc.checks[1026] = checked;
        dialog.on_command(fc, 1062);
        EXPECT_EQ(CurrentSettings()->bDisabled, checked);
    }
}

TEST_F(SettingsDialogTest, EnablingByOkStartsOneListenerOnTheDialogsPort) {
    PublishSettings(SampleSettings(true));  // disabled at init: nothing serves
    SettingsDialog dialog(listener.hooks());
    dialog.on_open(controls);
    EXPECT_EQ(listener.starts, 0);
    controls.checks[1026] = false;
    controls.texts[1064] = "8081";
    dialog.on_command(controls, 1062);
    ASSERT_EQ(listener.starts, 1);
    // The listener reads the new settings, already published when it starts.
    EXPECT_EQ(listener.seen_at_start[0].port, 8081);
    EXPECT_FALSE(listener.seen_at_start[0].bDisabled);
}

TEST_F(SettingsDialogTest, OkStartsNothingWhenDisabledOrAlreadyServing) {
    struct Case {
        bool checked;
        bool running;
    };
    for (const Case& c : {Case{true, true}, Case{true, false}, Case{false, true}}) {
        PublishSettings(SampleSettings(false));
        FakeListener l;
        l.running = true;  // opening starts nothing either way
        FakeControls fc;
        SettingsDialog dialog(l.hooks());
        dialog.on_open(fc);
        l.running = c.running;
        fc.checks[1026] = c.checked;
        dialog.on_command(fc, 1062);
        EXPECT_EQ(l.starts, 0) << "checked " << c.checked << " running " << c.running;
        EXPECT_EQ(fc.closes, 1);
        EXPECT_EQ(CurrentSettings()->bDisabled, c.checked);
    }
}

TEST_F(SettingsDialogTest, OkLeavesSnapshotsHeldByReadersUntouched) {
    listener.running = true;
    const SettingsSnapshot before = CurrentSettings();
    SettingsDialog dialog(listener.hooks());
    dialog.on_open(controls);
    controls.texts[1063] = "/new/root";
    controls.texts[1007] = "changed";
    dialog.on_command(controls, 1062);
    EXPECT_EQ(std::string(before->WebRoot), "/srv/web");
    EXPECT_EQ(std::string(before->AdminPassword), "secret");
    EXPECT_EQ(std::string(CurrentSettings()->WebRoot), "/new/root");
    EXPECT_EQ(std::string(CurrentSettings()->AdminPassword), "changed");
}

TEST_F(SettingsDialogTest, CancelClosesWithoutReadingAnything) {
    listener.running = true;
    const SettingsSnapshot before = CurrentSettings();
    SettingsDialog dialog(listener.hooks());
    dialog.on_open(controls);
    controls.texts[1063] = "/elsewhere";
    controls.checks[1026] = true;
    dialog.on_command(controls, 1001);
    EXPECT_TRUE(controls.reads.empty());
    EXPECT_EQ(controls.closes, 1);
    EXPECT_EQ(CurrentSettings(), before);
}

TEST_F(SettingsDialogTest, AboutShowsTheBoxAndStaysOpen) {
    SettingsDialog dialog(listener.hooks());
    dialog.on_open(controls);
    dialog.on_command(controls, 1012);
    EXPECT_EQ(controls.boxes,
              std::vector<std::string>{"Velvox|Velvox " VELVOX_VERSION
                                       "\nBy: Tarnwick\nhttp://velvox.tarnwick.net/"});
    EXPECT_EQ(controls.closes, 0);
    EXPECT_TRUE(controls.reads.empty());
}

TEST_F(SettingsDialogTest, EscapeTheCloseBoxAndOtherIdsDoNotClose) {
    const SettingsSnapshot before = CurrentSettings();
    SettingsDialog dialog(listener.hooks());
    dialog.on_open(controls);
    for (int id : {2, 1, 1026, 1063, 0}) {
        dialog.on_command(controls, id);
    }
    EXPECT_EQ(controls.closes, 0);
    EXPECT_TRUE(controls.reads.empty());
    EXPECT_TRUE(controls.boxes.empty());
    EXPECT_EQ(CurrentSettings(), before);
}

// A window procedure for the console form's window: answers nothing.
platform::LResult QuietProc(platform::Window, unsigned, platform::WParam, platform::LParam) {
    return 0;
}

// Runs the console form with the given input lines (input ends after them
// when close_input is set); returns everything it printed.
std::string RunConsoleForm(const std::vector<std::string>& lines, bool close_input,
                           FakeListener& listener) {
    platform::Window window = platform::emu::create_window(QuietProc);
    for (const std::string& line : lines)
        platform::emu::post_line(window, line);
    if (close_input)
        platform::emu::close_input(window);
    SettingsDialog dialog(listener.hooks());
    ::testing::internal::CaptureStdout();
    platform::show_dialog(nullptr, SettingsDialogForm(), window, dialog);
    std::string out = ::testing::internal::GetCapturedStdout();
    platform::emu::destroy_window(window);
    return out;
}

const char kFormListing[] =
    "config: HTTP Request(Velvox)\n"
    "config: 1026 disable the plug-in, accept no requests (bDisabled) = off\n"
    "config: 1063 web root directory (WebRoot) = /srv/web\n"
    "config: 1064 port (Port) = 0080x\n"
    "config: 1065 playlist.cgi template (Playlistfile) = list.html\n"
    "config: 1079 most requests from the same IP (g_MaxRequestsPerIP) = 4\n"
    "config: 1083 playlist items shown (g_MaxEntries) = 30\n"
    "config: 1084 largest queue size (g_MaxQueueSize) = 60\n"
    "config: 1101 most waiting songs by one artist, 0 for no limit (MaxRequestsPerArtist) = 2\n"
    "config: 1102 no two songs by one artist in a row (NoConsecutiveArtist) = on\n"
    "config: 1103 minutes before a song can be asked for again, 0 for none "
    "(SongCooldownMinutes) = 45\n"
    "config: 1104 play the queue in turns by address (FairOrder) = on\n"
    "config: 1106 votes that skip the song playing, 0 for no voting (SkipVotes) = 0\n"
    "config: 1107 most requests from one address in an hour, 0 for no limit (RequestsPerHour) "
    "= 0\n"
    "config: 1108 words that keep a song from being requested, comma-separated (BlockedWords) "
    "= \n"
    "config: 1109 a search finds the titles holding each of its words (MatchAllWords) = off\n"
    "config: 1110 recently played titles kept, 0 for none (HistorySize) = 10\n"
    "config: 1111 seconds a connection has to send its request, 0 for no limit "
    "(WaitDeadlineSeconds) = 10\n"
    "config: 1112 seconds a reply has to go out, 0 for no limit (SendTimeoutSeconds) = 30\n"
    "config: 1113 most connections answered at once (MaxConnectionThreads) = 256\n"
    "config: 1114 most connections from one address, 0 for no limit (MaxSocketsPerAddress) = "
    "64\n"
    "config: 1007 admin password (AdminPassword) = secret\n"
    "config: commands: 1062 or ok (take the values and close), 1001 or cancel (close without "
    "changes), 1012 or about (about)\n"
    "config: change a field with \"ID VALUE\" (a check box takes on or off; ID \"\" empties a "
    "text); \"show\" lists the form again\n";

TEST_F(SettingsDialogTest, ConsoleFormChangesFieldsAndAnswersBadInputUntilOk) {
    listener.running = true;
    const std::string out = RunConsoleForm(
        {"1064 8081", "1026 on", "1104 off", "1103 10", "1007 \"\"", "1063   /var/www dir ",
         "9999 x", "1065", "1026 maybe", "hello", "1062 now", "1012", "", "ok", "1063 after close"},
        false, listener);
    const std::string expected = std::string(kFormListing) +
                                 "config: 1064 port (Port) = 8081\n"
                                 "config: 1026 disable the plug-in, accept no requests "
                                 "(bDisabled) = on\n"
                                 "config: 1104 play the queue in turns by address (FairOrder) "
                                 "= off\n"
                                 "config: 1103 minutes before a song can be asked for again, 0 "
                                 "for none (SongCooldownMinutes) = 10\n"
                                 "config: 1007 admin password (AdminPassword) = \n"
                                 "config: 1063 web root directory (WebRoot) = /var/www dir \n"
                                 "config: unknown id 9999; the ids are 1026 1063 1064 1065 1079 "
                                 "1083 1084 1101 1102 1103 1104 1106 1107 1108 1109 1110 1111 1112 "
                                 "1113 1114 1007 1062 1001 1012\n"
                                 "config: missing value for 1065; write 1065 VALUE, or 1065 \"\" "
                                 "to empty it\n"
                                 "config: check box 1026 takes on or off, not \"maybe\"\n"
                                 "config: not understood: \"hello\"; write ID VALUE, ok, cancel, "
                                 "about or show\n"
                                 "config: command 1062 takes no value; nothing done\n"
                                 "config: [Velvox] Velvox " VELVOX_VERSION
                                 "\n"
                                 "config: [Velvox] By: Tarnwick\n"
                                 "config: [Velvox] http://velvox.tarnwick.net/\n"
                                 "config: closed\n";
    EXPECT_EQ(out, expected);
    const SettingsSnapshot s = CurrentSettings();
    EXPECT_EQ(s->port, 8081);
    EXPECT_TRUE(s->bDisabled);
    EXPECT_EQ(std::string(s->AdminPassword), "");
    EXPECT_EQ(std::string(s->WebRoot), "/var/www dir ");
    EXPECT_EQ(std::string(s->Playlistfile), "list.html");
    EXPECT_FALSE(s->FairOrder);
    EXPECT_TRUE(s->NoConsecutiveArtist);
    EXPECT_EQ(std::string(s->SongCooldownMinutes), "10");
    EXPECT_EQ(listener.starts, 0);
}

TEST_F(SettingsDialogTest, ConsoleFormCutsOnReadBack) {
    listener.running = true;
    RunConsoleForm({"1064 123456789012", "1083 " + std::string(40, '5'), "ok"}, false, listener);
    const SettingsSnapshot s = CurrentSettings();
    EXPECT_EQ(std::string(s->Port), "123456789");
    EXPECT_EQ(s->port, 123456789);
    EXPECT_EQ(std::string(s->g_MaxEntries), std::string(24, '5'));
}

TEST_F(SettingsDialogTest, ConsoleFormClosesWithoutChangesOnCancelOrEndOfInput) {
    listener.running = true;
    const SettingsSnapshot before = CurrentSettings();
    const std::string by_cancel = RunConsoleForm({"1064 9000", "1001"}, false, listener);
    EXPECT_EQ(by_cancel,
              std::string(kFormListing) + "config: 1064 port (Port) = 9000\nconfig: closed\n");
    const std::string by_end = RunConsoleForm({"1064 9000", "2"}, true, listener);
    EXPECT_EQ(by_end, std::string(kFormListing) +
                          "config: 1064 port (Port) = 9000\n"
                          "config: unknown id 2; the ids are 1026 1063 1064 1065 1079 1083 1084 "
                          "1101 1102 1103 1104 1106 1107 1108 1109 1110 1111 1112 1113 1114 1007 "
                          "1062 1001 1012\n"
                          "config: end of input; closed without changes\n");
    EXPECT_EQ(CurrentSettings(), before);
}

std::atomic<int> messages_seen{0};

// Counts the messages that reach the window; answers 7.
platform::LResult CountingProc(platform::Window, unsigned, platform::WParam, platform::LParam) {
    ++messages_seen;
    return 7;
}

TEST_F(SettingsDialogTest, ConsoleFormKeepsAnsweringTheWindowWhileItWaits) {
    listener.running = true;
    messages_seen = 0;
    platform::Window window = platform::emu::create_window(CountingProc);
    platform::LResult answer = 0;
    // A connection thread sends to the player's window while the form is
    // open, and only then does the user press OK.
    std::thread other([&] {
        answer = platform::send_message(window, 1026, 0, 0);
        platform::emu::post_line(window, "ok");
    });
    SettingsDialog dialog(listener.hooks());
    ::testing::internal::CaptureStdout();
    platform::show_dialog(nullptr, SettingsDialogForm(), window, dialog);
    const std::string out = ::testing::internal::GetCapturedStdout();
    other.join();
    platform::emu::destroy_window(window);
    EXPECT_EQ(answer, 7);
    EXPECT_EQ(messages_seen.load(), 1);
    EXPECT_EQ(out, std::string(kFormListing) + "config: closed\n");
}

// The port in force each time the real StartListener started a thread; no
// thread runs.
std::vector<std::int32_t> ports_at_start;

bool RecordStart(platform::ThreadEntry, void*, std::size_t) {
    ports_at_start.push_back(CurrentSettings()->port);
    return true;
}

// The plug-in's config entry with the real lifecycle, driven on the console of
// a fake player; the listener thread is only recorded.
class SettingsDialogConfig : public ::testing::Test {
  protected:
    void SetUp() override {
        ThePluginRecord().hwndParent = player.window();
        ServerRunning = 0;
        ServerThreadCount = 0;
        ports_at_start.clear();
        ResetQueueWorld(player);  // an empty cache, as after an init while disabled
        services.table.start_thread = RecordStart;
        services.apply();
        player.playlist = {"A - One", "B - Two", "C - Three"};
    }
    void TearDown() override {
        ServerRunning = 0;
        ServerThreadCount = 0;
        PreviousWindowProc = nullptr;
        ResetQueueWorld(player);
    }

    // Runs the config entry with the given console lines; returns its output.
    std::string Config(const std::vector<std::string>& lines) {
        for (const std::string& line : lines)
            platform::emu::post_line(player.window(), line);
        ::testing::internal::CaptureStdout();
        PluginConfig();
        return ::testing::internal::GetCapturedStdout();
    }

    testing::FakePlayer player;
    testing::ServicesOverride services;
};

TEST_F(SettingsDialogConfig, EnablingStartsOnTheFormsPortWithoutFillingTheCache) {
    PluginSettings disabled;  // the defaults: disabled, port 80
    PublishSettings(disabled);
    Config({"1026 off", "1064 8081", "ok"});
    EXPECT_EQ(ports_at_start, std::vector<std::int32_t>{8081});
    EXPECT_EQ(ServerRunning.load(), 1);
    EXPECT_EQ(ServerThreadCount.load(), 1);
    // The start asks the player nothing: the pages show an empty playlist
    // until the cache is refreshed.
    EXPECT_TRUE(player.received.empty());
    EXPECT_EQ(CachedLength(), 0);

    // Opening again while serving starts nothing more.
    Config({"1064 9090", "cancel"});
    EXPECT_EQ(ports_at_start.size(), 1u);
}

TEST_F(SettingsDialogConfig, DisablingWhileServingKeepsServingAndStopsQueuedPlayback) {
    PluginSettings enabled;
    enabled.bDisabled = false;
    PublishSettings(enabled);
    ServerRunning = 1;  // a listener started at init
    PreviousWindowProc = platform::window_proc(player.window());
    Config({"1026 on", "ok"});
    EXPECT_TRUE(ports_at_start.empty());
    EXPECT_EQ(ServerRunning.load(), 1);
    EXPECT_TRUE(CurrentSettings()->bDisabled);

    // The end of a track now reaches the player itself; the request waits on.
    InsertRequest(2, "10.0.0.1");
    PluginWindowProc(player.window(), kMsgEndOfTrack, 0, 0);
    EXPECT_EQ(player.received, (std::vector<testing::Message>{{kMsgEndOfTrack, 0, 0}}));
    EXPECT_EQ(QueueLength(), 1);
}

}  // namespace
}  // namespace velvox
