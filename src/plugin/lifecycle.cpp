// Start-up, shut-down and the hook on the player's window.
#include "plugin/lifecycle.h"

#include <cstdio>
#include <cstring>

#include "core/change_signal.h"
#include "core/host_ops.h"
#include "core/player_link.h"
#include "core/settings.h"
#include "platform/module_path.h"
#include "platform/services.h"
#include "plugin/plugin_record.h"
#include "plugin/settings_dialog.h"
#include "queue/playback.h"
#include "queue/playlist_cache.h"
#include "queue/request_queue.h"
#include "server/listener.h"
#include "velvox_version.h"

namespace velvox {

std::atomic<platform::WindowProc> PreviousWindowProc{nullptr};

namespace {

// The description text, built once at init; field 2 points here from then on.
char description[sizeof "Velvox Plugin v" VELVOX_VERSION " ()" + 512];

// Formats the description from the file name of our module: the part of its
// full path after the last separator, or the whole path when it has none.
void BuildDescription() {
    char path[512];
    platform::module_path(ThePluginRecord().hDllInstance, path, sizeof path);
    const char* separator = std::strrchr(path, platform::kPathSeparator);
    const char* name = separator != nullptr ? separator + 1 : path;
    ThePluginRecord().description = description;
    std::snprintf(description, sizeof description, "Velvox Plugin v" VELVOX_VERSION " (%s)", name);
}

// Puts our procedure in front of HostWindow's own, remembering the one found.
void InstallHook() {
    platform::Window window = HostWindow();
    if (window == nullptr)
        return;
    platform::WindowProc found = platform::window_proc(window);
    // A second init must not make the hook its own previous procedure.
    if (found == &PluginWindowProc)
        return;
    PreviousWindowProc.store(found);
    platform::replace_window_proc(window, &PluginWindowProc);
    SetQuestionsHook(true);
}

// Takes the hook off HostWindow when it is still the window's procedure. When
// someone has hooked the window after us, our procedure stays in their chain,
// so the module is pinned to keep that code in place.
void RemoveHook() {
    platform::Window window = HostWindow();
    platform::WindowProc previous = PreviousWindowProc.load();
    if (window == nullptr || previous == nullptr)
        return;
    if (platform::window_proc(window) == &PluginWindowProc) {
        SetQuestionsHook(false);
        platform::replace_window_proc(window, previous);
    } else {
        platform::pin_module();
    }
}

}  // namespace

int PluginInit() {
    QueueLock();
    BuildDescription();
    LoadSettings();
    InstallHook();
    if (ServerRunning.load() != 0 || CurrentSettings()->bDisabled)
        return 0;
    RefreshPlaylistCache();
    StartListener();
    return 0;
}

void PluginConfig() {
    RunSettingsDialog();
}

void PluginQuit() {
    StopListener();
    SaveSettings();
    while (ServerThreadCount.load() != 0)
        platform::services().sleep_ms(1000);
    RemoveHook();
}

platform::LResult VELVOX_CALLBACK PluginWindowProc(platform::Window window, unsigned message,
                                                   platform::WParam wparam,
                                                   platform::LParam lparam) {
    const bool track_ends = message == kMsgEndOfTrack && !CurrentSettings()->bDisabled;
    platform::LResult result = 0;
    platform::WindowProc previous = PreviousWindowProc.load();
    // Questions from the pages, asked of the player here on its own thread.
    if (message == QuestionsMessage() && message != 0 && previous != nullptr)
        return AnswerQuestions(previous, window, lparam);
    if ((!track_ends || !HandleEndOfTrack()) && previous != nullptr)
        result = platform::call_window_proc(previous, window, message, wparam, lparam);
    // After the player's own handling too, which may have moved on: the
    // listener asks the player only once this message has been answered.
    if (track_ends)
        AnnounceChange();
    return result;
}

}  // namespace velvox
