// Init and quit, the description, the hook and starting the listener.
#include "plugin/lifecycle.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "core/host_ops.h"
#include "core/settings.h"
#include "fake_player.h"
#include "platform/module_path.h"
#include "plugin/plugin_record.h"
#include "queue/playback.h"
#include "queue/request_queue.h"
#include "queue_world.h"
#include "server/listener.h"
#include "services_override.h"
#include "temp_folder.h"

namespace velvox {
namespace {

using testing::FakePlayer;
using testing::Message;
using testing::ServicesOverride;
using testing::TempFolder;

// What the fake thread starter saw at each call.
struct StartCall {
    platform::ThreadEntry entry;
    std::int32_t threadCount;
    int running;
    std::size_t messagesBefore;  // messages the player had received by then
};

std::vector<StartCall> starts;
bool startSucceeds = true;
FakePlayer* player = nullptr;

// Records the start instead of running a thread.
bool FakeStart(platform::ThreadEntry entry, void*, std::size_t) {
    starts.push_back({entry, ServerThreadCount.load(), ServerRunning.load(),
                      player != nullptr ? player->received.size() : 0});
    return startSucceeds;
}

std::vector<unsigned> sleeps;
int sleepsUntilListenerEnds = 0;

// Records the sleep; the listener "ends" after the chosen number of sleeps.
void FakeSleep(unsigned ms) {
    sleeps.push_back(ms);
    if (--sleepsUntilListenerEnds == 0)
        ServerThreadCount.fetch_sub(1);
}

class Lifecycle : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::override_module_path(folder.file("libvelvox.so").c_str());
        ServerRunning = 0;
        ServerThreadCount = 0;
        PreviousWindowProc = nullptr;
        ThePluginRecord().description = "";
        ThePluginRecord().hwndParent = fake.window();
        starts.clear();
        sleeps.clear();
        startSucceeds = true;
        sleepsUntilListenerEnds = 0;
        ResetQueueWorld(fake);
        services.table.start_thread = FakeStart;
        services.table.sleep_ms = FakeSleep;
        services.apply();
        player = &fake;
        fake.playlist = {"A - One", "B - Two", "C - Three"};
        original = platform::window_proc(fake.window());
    }
    void TearDown() override {
        platform::override_module_path(nullptr);
        ResetQueueWorld(fake);
        player = nullptr;
    }
    void Enable() { folder.write("plugin.ini", "[HTTP Request]\nbDisabled=FALSE\nPort=0\n"); }

    TempFolder folder;
    FakePlayer fake;
    ServicesOverride services;
    platform::WindowProc original = nullptr;
};

TEST_F(Lifecycle, DisabledPluginHooksTheWindowStartsNothingAndQuitsAtOnce) {
    EXPECT_EQ(ThePluginRecord().init(), 0);
    EXPECT_EQ(platform::window_proc(fake.window()), &PluginWindowProc);
    EXPECT_EQ(PreviousWindowProc.load(), original);
    EXPECT_TRUE(starts.empty());
    EXPECT_TRUE(fake.received.empty()) << "no playlist refresh when disabled";
    EXPECT_EQ(ServerRunning.load(), 0);

    ThePluginRecord().quit();
    EXPECT_TRUE(sleeps.empty());
    EXPECT_EQ(platform::window_proc(fake.window()), original);
    EXPECT_EQ(folder.read("plugin.ini"),
              "[HTTP Request]\nbDisabled=TRUE\nWebRoot=c:\\\nPort=80\nPlaylistfile=\n"
              "AdminPassword=\ng_MaxRequestsPerIP=3\ng_MaxEntries=25\ng_MaxQueueSize=50\n");
}

TEST_F(Lifecycle, EnabledPluginRefreshesThePlaylistThenStartsTheListener) {
    Enable();
    EXPECT_EQ(ThePluginRecord().init(), 0);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].entry, &RunListener);
    EXPECT_EQ(starts[0].threadCount, 1);
    EXPECT_EQ(starts[0].running, 1);
    ASSERT_GE(starts[0].messagesBefore, 1u);
    EXPECT_EQ(fake.received.front(), (Message{0x400, 0, 124}));
    EXPECT_EQ(platform::window_proc(fake.window()), &PluginWindowProc);

    // The listener ends after quit has looked three times.
    sleepsUntilListenerEnds = 2;
    ThePluginRecord().quit();
    EXPECT_EQ(sleeps, (std::vector<unsigned>{1000, 1000}));
    EXPECT_EQ(ServerRunning.load(), 0);
    EXPECT_EQ(ServerThreadCount.load(), 0);
}

TEST_F(Lifecycle, InitStartsNoSecondListener) {
    Enable();
    ServerRunning = 1;
    ThePluginRecord().init();
    EXPECT_TRUE(starts.empty());
    EXPECT_TRUE(fake.received.empty());
    // A direct second start is refused as well.
    StartListener();
    EXPECT_TRUE(starts.empty());
    EXPECT_EQ(ServerThreadCount.load(), 0);
}

TEST_F(Lifecycle, ListenerThatCannotStartTakesTheCounterBack) {
    Enable();
    startSucceeds = false;
    ThePluginRecord().init();
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(ServerThreadCount.load(), 0);
    EXPECT_EQ(ServerRunning.load(), 0);
    ThePluginRecord().quit();
    EXPECT_TRUE(sleeps.empty());
}

TEST_F(Lifecycle, DescriptionNamesTheModuleFile) {
    const struct {
        std::string path;
        const char* expected;
    } cases[] = {
        {folder.file("libvelvox.so"), "Velvox Plugin v2.5 (libvelvox.so)"},
        {"gen_velvox.dll", "Velvox Plugin v2.5 (gen_velvox.dll)"},
        {"/", "Velvox Plugin v2.5 ()"},
        {"/" + std::string(600, 'x'), nullptr},  // read into 512 bytes: cut
    };
    EXPECT_STREQ(ThePluginRecord().description, "");
    for (const auto& c : cases) {
        platform::override_module_path(c.path.c_str());
        ThePluginRecord().init();
        const std::string expected = c.expected != nullptr
                                         ? c.expected
                                         : "Velvox Plugin v2.5 (" + std::string(510, 'x') + ")";
        EXPECT_EQ(ThePluginRecord().description, expected) << c.path;
    }
}

TEST_F(Lifecycle, HookPassesMessagesToThePreviousProcedure) {
    ThePluginRecord().init();
    fake.received.clear();
    EXPECT_EQ(platform::send_message(fake.window(), 0x400, 0, 124), 3);
    EXPECT_EQ(platform::send_message(fake.window(), 0x111, 40048, 0), 0);
    // Disabled: the end of a track goes to the player even with requests waiting.
    InsertRequest(2, "10.0.0.1");
    EXPECT_EQ(platform::send_message(fake.window(), 1026, 0, 0), 0);
    const std::vector<Message> sent = {{0x400, 0, 124}, {0x111, 40048, 0}, {1026, 0, 0}};
    EXPECT_EQ(fake.received, sent);
}

TEST_F(Lifecycle, EndOfTrackWhileEnabledIsTakenWhenARequestWaits) {
    Enable();
    ThePluginRecord().init();
    // Nothing waits: the player sees the end of the track.
    fake.received.clear();
    platform::send_message(fake.window(), 1026, 0, 0);
    EXPECT_EQ(fake.received, (std::vector<Message>{{1026, 0, 0}}));

    fake.position = 0;
    InsertRequest(2, "10.0.0.1");
    fake.received.clear();
    EXPECT_EQ(platform::send_message(fake.window(), 1026, 0, 0), 0);
    for (const Message& m : fake.received)
        EXPECT_NE(m.message, 1026u) << "the player saw a taken end of track";
    EXPECT_EQ(fake.position, 2);
    EXPECT_EQ(QueueLength(), 0);
}

// What the procedure under our hook received, and the answer it gives.
struct Received {
    platform::Window window;
    unsigned message;
    platform::WParam wparam;
    platform::LParam lparam;
};
std::vector<Received> underneath;

// Stands for the player's own procedure: records the four values and answers
// with a value derived from them, so a changed value shows in the result.
platform::LResult VELVOX_CALLBACK RecordingProc(platform::Window window, unsigned message,
                                                platform::WParam wparam, platform::LParam lparam) {
    underneath.push_back({window, message, wparam, lparam});
    return static_cast<platform::LResult>(wparam) ^ lparam ^
           static_cast<platform::LResult>(message);
}

TEST_F(Lifecycle, HookHandsOnTheSameFourValuesAndReturnsTheAnswerUnchanged) {
    const platform::WindowProc player_proc =
        platform::replace_window_proc(fake.window(), RecordingProc);
    ThePluginRecord().init();
    // A second init must not make the hook its own previous procedure.
    ThePluginRecord().init();
    ASSERT_EQ(PreviousWindowProc.load(), &RecordingProc);
    const struct {
        unsigned message;
        platform::WParam wparam;
        platform::LParam lparam;
    } cases[] = {
        {0x400, 0, 124},
        {0x111, 40048, 0},
        {1026, 0, 0},  // disabled: the end of a track is passed on as well
        {1026, 7, -1},
        {0x0F, ~platform::WParam{0}, INT32_MIN},
        {0xC123, 0x80000000u, -2},
    };
    InsertRequest(1, "10.0.0.1");
    underneath.clear();
    for (const auto& c : cases) {
        const platform::LResult expected = static_cast<platform::LResult>(c.wparam) ^ c.lparam ^
                                           static_cast<platform::LResult>(c.message);
        EXPECT_EQ(platform::send_message(fake.window(), c.message, c.wparam, c.lparam), expected)
            << c.message;
    }
    ASSERT_EQ(underneath.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(underneath[i].window, fake.window()) << i;
        EXPECT_EQ(underneath[i].message, cases[i].message) << i;
        EXPECT_EQ(underneath[i].wparam, cases[i].wparam) << i;
        EXPECT_EQ(underneath[i].lparam, cases[i].lparam) << i;
    }
    EXPECT_EQ(QueueLength(), 1) << "a disabled plug-in plays no request";
    ThePluginRecord().quit();
    EXPECT_EQ(platform::window_proc(fake.window()), &RecordingProc);
    platform::replace_window_proc(fake.window(), player_proc);
}

TEST_F(Lifecycle, QuitSavesTheSettingsBeforeItWaitsForTheListener) {
    Enable();
    ThePluginRecord().init();
    folder.write("plugin.ini", "");
    // At the first look the listener still runs: the file must already hold
    // every key by then.
    std::string at_first_sleep;
    static std::string* seen = nullptr;
    static TempFolder* where = nullptr;
    seen = &at_first_sleep;
    where = &folder;
    services.table.sleep_ms = [](unsigned) {
        if (seen->empty())
            *seen = where->read("plugin.ini");
        ServerThreadCount.fetch_sub(1);
    };
    services.apply();
    ThePluginRecord().quit();
    EXPECT_EQ(at_first_sleep,
              "[HTTP Request]\nbDisabled=FALSE\nWebRoot=c:\\\nPort=0\nPlaylistfile=\n"
              "AdminPassword=\ng_MaxRequestsPerIP=3\ng_MaxEntries=25\ng_MaxQueueSize=50\n");
    EXPECT_EQ(ServerThreadCount.load(), 0);
}

// A hook installed on top of ours; it hands everything on to our procedure.
platform::LResult VELVOX_CALLBACK LaterHook(platform::Window window, unsigned message,
                                            platform::WParam wparam, platform::LParam lparam) {
    return PluginWindowProc(window, message, wparam, lparam);
}

TEST_F(Lifecycle, QuitLeavesALaterHookInPlaceAndKeepsPassingMessages) {
    ThePluginRecord().init();
    platform::replace_window_proc(fake.window(), LaterHook);
    ThePluginRecord().quit();
    EXPECT_EQ(platform::window_proc(fake.window()), &LaterHook);
    fake.received.clear();
    EXPECT_EQ(platform::send_message(fake.window(), 0x400, 0, 124), 3);
    EXPECT_EQ(fake.received, (std::vector<Message>{{0x400, 0, 124}}));
}

TEST(PluginRecordExport, SameRecordEveryTime) {
    PluginRecord& record = ThePluginRecord();
    EXPECT_EQ(record.version, 16);
    EXPECT_EQ(record.init, &PluginInit);
    EXPECT_EQ(record.config, &PluginConfig);
    EXPECT_EQ(record.quit, &PluginQuit);
    EXPECT_EQ(&record, &ThePluginRecord());
}

}  // namespace
}  // namespace velvox
