// The settings dialog's behaviour: see settings_dialog_logic.h.
#include "plugin/settings_dialog_logic.h"

#include <iterator>

#include "core/settings_dialog_ids.h"
#include "core/settings_table.h"
#include "core/text.h"
#include "velvox_version.h"

namespace velvox {

const char kAboutCaption[] = "Velvox";
const char kAboutText[] = "Velvox " VELVOX_VERSION "\nBy: Tarnwick\nhttp://velvox.tarnwick.net/";

namespace {

using platform::ControlKind;
using platform::FormControl;

// The later settings, each once, for the console's form and the second dialog.
constexpr FormControl kArtistLimit = {
    IDC_VX_MAX_REQUESTS_PER_ARTIST, ControlKind::text,
    "most waiting songs by one artist, 0 for no limit (MaxRequestsPerArtist)", nullptr};
constexpr FormControl kNoConsecutive = {IDC_VX_NO_CONSECUTIVE_ARTIST, ControlKind::check_box,
                                        "no two songs by one artist in a row (NoConsecutiveArtist)",
                                        nullptr};
constexpr FormControl kCooldown = {
    IDC_VX_SONG_COOLDOWN, ControlKind::text,
    "minutes before a song can be asked for again, 0 for none (SongCooldownMinutes)", nullptr};
constexpr FormControl kFairOrder = {IDC_VX_FAIR_ORDER, ControlKind::check_box,
                                    "play the queue in turns by address (FairOrder)", nullptr};
constexpr FormControl kSkipVotes = {IDC_VX_SKIP_VOTES, ControlKind::text,
                                    "votes that skip the song playing, 0 for no voting (SkipVotes)",
                                    nullptr};
constexpr FormControl kPerHour = {
    IDC_VX_REQUESTS_PER_HOUR, ControlKind::text,
    "most requests from one address in an hour, 0 for no limit (RequestsPerHour)", nullptr};
constexpr FormControl kBlocked = {
    IDC_VX_BLOCKED_WORDS, ControlKind::text,
    "words that keep a song from being requested, comma-separated (BlockedWords)", nullptr};
constexpr FormControl kAllWords = {IDC_VX_MATCH_ALL_WORDS, ControlKind::check_box,
                                   "a search finds the titles holding each of its words "
                                   "(MatchAllWords)",
                                   nullptr};
constexpr FormControl kHistory = {IDC_VX_HISTORY_SIZE, ControlKind::text,
                                  "recently played titles kept, 0 for none (HistorySize)", nullptr};
constexpr FormControl kWaitDeadline = {
    IDC_VX_WAIT_DEADLINE, ControlKind::text,
    "seconds a connection has to send its request, 0 for no limit (WaitDeadlineSeconds)", nullptr};
constexpr FormControl kSendTimeout = {
    IDC_VX_SEND_TIMEOUT, ControlKind::text,
    "seconds a reply has to go out, 0 for no limit (SendTimeoutSeconds)", nullptr};
constexpr FormControl kThreads = {IDC_VX_MAX_CONNECTION_THREADS, ControlKind::text,
                                  "most connections answered at once (MaxConnectionThreads)",
                                  nullptr};
constexpr FormControl kSockets = {
    IDC_VX_MAX_SOCKETS_PER_ADDRESS, ControlKind::text,
    "most connections from one address, 0 for no limit (MaxSocketsPerAddress)", nullptr};

// Listed in the order the console shows them: the first dialog's layout,
// with the second dialog's settings where the fair-play rules always stood.
const FormControl kControls[] = {
    {IDC_VX_DISABLED, ControlKind::check_box, "disable the plug-in, accept no requests (bDisabled)",
     nullptr},
    {IDC_VX_WEBROOT, ControlKind::text, "web root directory (WebRoot)", nullptr},
    {IDC_VX_PORT, ControlKind::text, "port (Port)", nullptr},
    {IDC_VX_PLAYLISTFILE, ControlKind::text, "playlist.cgi template (Playlistfile)", nullptr},
    {IDC_VX_MAX_REQUESTS_PER_IP, ControlKind::text,
     "most requests from the same IP (g_MaxRequestsPerIP)", nullptr},
    {IDC_VX_MAX_ENTRIES, ControlKind::text, "playlist items shown (g_MaxEntries)", nullptr},
    {IDC_VX_MAX_QUEUE_SIZE, ControlKind::text, "largest queue size (g_MaxQueueSize)", nullptr},
    kArtistLimit,
    kNoConsecutive,
    kCooldown,
    kFairOrder,
    kSkipVotes,
    kPerHour,
    kBlocked,
    kAllWords,
    kHistory,
    kWaitDeadline,
    kSendTimeout,
    kThreads,
    kSockets,
    {IDC_VX_ADMIN_PASSWORD, ControlKind::text, "admin password (AdminPassword)", nullptr},
    {IDC_VX_OK, ControlKind::command, "take the values and close", "ok"},
    {IDC_VX_CANCEL, ControlKind::command, "close without changes", "cancel"},
    {IDC_VX_ABOUT, ControlKind::command, "about", "about"},
};

// The second dialog, grouped as its resource groups them.
const FormControl kMoreControls[] = {
    kArtistLimit,
    kNoConsecutive,
    kCooldown,
    kFairOrder,
    kSkipVotes,
    kPerHour,
    kBlocked,
    kAllWords,
    kHistory,
    kWaitDeadline,
    kSendTimeout,
    kThreads,
    kSockets,
    {IDC_VX_MORE_OK, ControlKind::command, "keep the values for the first dialog's OK", "ok"},
    {IDC_VX_MORE_CANCEL, ControlKind::command, "close, the values as they were", "cancel"},
};

const platform::DialogForm kForm = {IDD_VELVOX_SETTINGS, "HTTP Request(Velvox)", kControls,
                                    std::size(kControls)};
const platform::DialogForm kMoreForm = {IDD_VELVOX_MORE_SETTINGS, "More settings (Velvox)",
                                        kMoreControls, std::size(kMoreControls)};

// Returns whether the second dialog shows the setting of row.
bool InMoreForm(const SettingRow& row) {
    for (const FormControl& c : kMoreControls) {
        if (c.kind != ControlKind::command && c.id == row.control)
            return true;
    }
    return false;
}

// Calls visit for each setting whose control the shown dialog has (with
// later_only, of those in the second dialog).
template <typename Visit>
void ForEachShownSetting(platform::DialogControls& controls, bool later_only, Visit visit) {
    std::size_t count = 0;
    const SettingRow* rows = SettingsTable(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (rows[i].control != 0 && (!later_only || InMoreForm(rows[i])) &&
            controls.has_control(rows[i].control))
            visit(rows[i]);
    }
}

// Shows every setting of settings whose control the dialog has.
void ShowSettings(platform::DialogControls& controls, bool later_only,
                  const PluginSettings& settings) {
    ForEachShownSetting(controls, later_only, [&](const SettingRow& row) {
        if (row.kind == SettingKind::text)
            controls.set_text(row.control, TextField(settings, row));
        else
            controls.set_checked(row.control, FlagField(settings, row));
    });
}

// Reads every field the dialog has into settings, each cut to its size.
void ReadSettings(platform::DialogControls& controls, bool later_only, PluginSettings& settings) {
    ForEachShownSetting(controls, later_only, [&](const SettingRow& row) {
        if (row.kind == SettingKind::text)
            controls.get_text(row.control, TextField(settings, row), row.size);
        else
            FlagField(settings, row) = controls.is_checked(row.control);
    });
}

}  // namespace

const platform::DialogForm& SettingsDialogForm() {
    return kForm;
}

const platform::DialogForm& MoreSettingsForm() {
    return kMoreForm;
}

void SettingsDialog::on_open(platform::DialogControls& controls) {
    const SettingsSnapshot settings = CurrentSettings();
    more_.reset();
    ShowSettings(controls, false, *settings);
    start_listener_if_due(*settings);
}

void SettingsDialog::on_command(platform::DialogControls& controls, int id) {
    switch (id) {
        case IDC_VX_OK:
            accept(controls);
            break;
        case IDC_VX_CANCEL:
            controls.close(0);
            break;
        case IDC_VX_ABOUT:
            controls.message_box(kAboutText, kAboutCaption);
            break;
        case IDC_VX_MORE:
            more(controls);
            break;
        default:
            // Escape and the close box arrive as command 2: the dialog stays
            // open, only OK and cancel close it.
            break;
    }
}

void SettingsDialog::more(platform::DialogControls& controls) {
    PluginSettings edited = more_ ? *more_ : *CurrentSettings();
    MoreSettingsDialog second(edited);
    controls.show_child(MoreSettingsForm(), second);
    if (second.taken())
        more_ = edited;
}

void SettingsDialog::accept(platform::DialogControls& controls) {
    // Everything is read into a private copy and published in one step, so
    // connection threads see either the old set or the new one, never a mix.
    PluginSettings next = *CurrentSettings();
    if (more_) {
        std::size_t count = 0;
        const SettingRow* rows = SettingsTable(count);
        for (std::size_t i = 0; i < count; ++i) {
            if (!InMoreForm(rows[i]))
                continue;
            if (rows[i].kind == SettingKind::text)
                CopyCut(TextField(next, rows[i]), rows[i].size, TextField(*more_, rows[i]));
            else
                FlagField(next, rows[i]) = FlagField(*more_, rows[i]);
        }
    }
    ReadSettings(controls, false, next);
    DeriveSettings(next);
    PublishSettings(next);
    // The listener reads the port from the published set, so it is published
    // first. This start leaves the playlist cache as it is.
    start_listener_if_due(next);
    controls.close(0);
}

void SettingsDialog::start_listener_if_due(const PluginSettings& settings) {
    if (!settings.bDisabled && !hooks_.server_running())
        hooks_.start_listener();
}

void MoreSettingsDialog::on_open(platform::DialogControls& controls) {
    ShowSettings(controls, true, settings_);
}

void MoreSettingsDialog::on_command(platform::DialogControls& controls, int id) {
    if (id == IDC_VX_MORE_OK) {
        ReadSettings(controls, true, settings_);
        taken_ = true;
        controls.close(1);
    } else if (id == IDC_VX_MORE_CANCEL) {
        controls.close(0);
    }
}

}  // namespace velvox
