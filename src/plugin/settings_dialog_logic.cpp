// The settings dialog's behaviour: see settings_dialog_logic.h.
#include "plugin/settings_dialog_logic.h"

#include "core/settings_dialog_ids.h"
#include "core/settings_table.h"
#include "velvox_version.h"

namespace velvox {

const char kAboutCaption[] = "Velvox";
const char kAboutText[] = "Velvox " VELVOX_VERSION "\nBy: Tarnwick\nhttp://velvox.tarnwick.net/";

namespace {

using platform::ControlKind;

// Listed in the order the console shows them, which follows the dialog's layout.
const platform::FormControl kControls[] = {
    {IDC_VX_DISABLED, ControlKind::check_box, "disable the plug-in, accept no requests (bDisabled)",
     nullptr},
    {IDC_VX_WEBROOT, ControlKind::text, "web root directory (WebRoot)", nullptr},
    {IDC_VX_PORT, ControlKind::text, "port (Port)", nullptr},
    {IDC_VX_PLAYLISTFILE, ControlKind::text, "playlist.cgi template (Playlistfile)", nullptr},
    {IDC_VX_MAX_REQUESTS_PER_IP, ControlKind::text,
     "most requests from the same IP (g_MaxRequestsPerIP)", nullptr},
    {IDC_VX_MAX_ENTRIES, ControlKind::text, "playlist items shown (g_MaxEntries)", nullptr},
    {IDC_VX_MAX_QUEUE_SIZE, ControlKind::text, "largest queue size (g_MaxQueueSize)", nullptr},
    // The fair-play rules: console only, the Windows dialog has no controls
    // for them (docs/rules.md).
    {IDC_VX_MAX_REQUESTS_PER_ARTIST, ControlKind::text,
     "most waiting songs by one artist, 0 for no limit (MaxRequestsPerArtist)", nullptr},
    {IDC_VX_NO_CONSECUTIVE_ARTIST, ControlKind::check_box,
     "no two songs by one artist in a row (NoConsecutiveArtist)", nullptr},
    {IDC_VX_SONG_COOLDOWN, ControlKind::text,
     "minutes before a song can be asked for again, 0 for none (SongCooldownMinutes)", nullptr},
    {IDC_VX_FAIR_ORDER, ControlKind::check_box, "play the queue in turns by address (FairOrder)",
     nullptr},
    {IDC_VX_ADMIN_PASSWORD, ControlKind::text, "admin password (AdminPassword)", nullptr},
    {IDC_VX_OK, ControlKind::command, "take the values and close", "ok"},
    {IDC_VX_CANCEL, ControlKind::command, "close without changes", "cancel"},
    {IDC_VX_ABOUT, ControlKind::command, "about", "about"},
};

const platform::DialogForm kForm = {IDD_VELVOX_SETTINGS, "HTTP Request(Velvox)", kControls,
                                    sizeof kControls / sizeof kControls[0]};

// Calls visit for each setting whose control the shown dialog has.
template <typename Visit>
void ForEachShownSetting(platform::DialogControls& controls, Visit visit) {
    std::size_t count = 0;
    const SettingRow* rows = SettingsTable(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (rows[i].control != 0 && controls.has_control(rows[i].control))
            visit(rows[i]);
    }
}

}  // namespace

const platform::DialogForm& SettingsDialogForm() {
    return kForm;
}

void SettingsDialog::on_open(platform::DialogControls& controls) {
    const SettingsSnapshot settings = CurrentSettings();
    ForEachShownSetting(controls, [&](const SettingRow& row) {
        if (row.kind == SettingKind::text)
            controls.set_text(row.control, TextField(*settings, row));
        else
            controls.set_checked(row.control, FlagField(*settings, row));
    });
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
        default:
            // Escape and the close box arrive as command 2: the dialog stays
            // open, only OK and cancel close it.
            break;
    }
}

void SettingsDialog::accept(platform::DialogControls& controls) {
    // Everything is read into a private copy and published in one step, so
    // connection threads see either the old set or the new one, never a mix.
    PluginSettings next = *CurrentSettings();
    ForEachShownSetting(controls, [&](const SettingRow& row) {
        if (row.kind == SettingKind::text)
            controls.get_text(row.control, TextField(next, row), row.size);
        else
            FlagField(next, row) = controls.is_checked(row.control);
    });
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

}  // namespace velvox
