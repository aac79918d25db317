// The settings dialog: its behaviour is portable logic; showing it is the
// platform's (a resource dialog on Windows, a console form on POSIX).
#pragma once

namespace velvox {

// Shows the settings dialog modally, owned by HostWindow; returns when it closed.
void RunSettingsDialog();

}  // namespace velvox
