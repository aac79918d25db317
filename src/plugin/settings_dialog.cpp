// Shows the settings dialog through the host, wired to the real listener.
#include "plugin/settings_dialog.h"

#include "core/player_link.h"
#include "host/dialog.h"
#include "plugin/lifecycle.h"
#include "plugin/plugin_record.h"
#include "plugin/settings_dialog_logic.h"
#include "server/listener.h"

namespace velvox {

void RunSettingsDialog() {
    SettingsDialog logic(ListenerHooks{[] { return ServerRunning.load() != 0; }, StartListener});
    // The dialog's result carries nothing; nobody reads it.
    host::show_dialog(ThePluginRecord().hDllInstance, SettingsDialogForm(), HostWindow(), logic);
}

}  // namespace velvox
