// Shows the settings dialog through the platform, wired to the real listener.
#include "plugin/settings_dialog.h"

#include "core/player_link.h"
#include "platform/dialog.h"
#include "plugin/lifecycle.h"
#include "plugin/plugin_record.h"
#include "plugin/settings_dialog_logic.h"
#include "server/listener.h"

namespace velvox {

void RunSettingsDialog() {
    SettingsDialog logic(ListenerHooks{[] { return ServerRunning.load() != 0; }, StartListener});
    // The dialog's result carries nothing; nobody reads it.
    platform::show_dialog(ThePluginRecord().hDllInstance, SettingsDialogForm(), HostWindow(),
                          logic);
}

}  // namespace velvox
