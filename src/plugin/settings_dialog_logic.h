// The settings dialog's behaviour, apart from whatever shows it: filling the
// fields on opening, taking them back on OK, the about box, and starting the
// listener when the plug-in is enabled and none has been started yet.
#pragma once
#include <functional>

#include "core/settings.h"
#include "platform/dialog.h"

namespace velvox {

// The about box: caption and three lines.
extern const char kAboutCaption[];
extern const char kAboutText[];

// Returns the dialog's form: its resource id, title and controls.
const platform::DialogForm& SettingsDialogForm();

// How the dialog sees and starts the listener; RunSettingsDialog passes the
// lifecycle's own, tests pass fakes.
struct ListenerHooks {
    std::function<bool()> server_running;  // ServerRunning is raised
    std::function<void()> start_listener;  // StartListener
};

class SettingsDialog : public platform::DialogLogic {
  public:
    explicit SettingsDialog(ListenerHooks hooks) : hooks_(std::move(hooks)) {}

    // Shows the settings in force and starts the listener when it is due.
    void on_open(platform::DialogControls& controls) override;
    // OK takes every field back and closes; cancel closes; about shows the
    // about box. Escape and the close box (command 2) are ignored.
    void on_command(platform::DialogControls& controls, int id) override;

  private:
    // Reads every field back into a new set of settings, publishes it and
    // closes the dialog.
    void accept(platform::DialogControls& controls);
    // Starts the listener when none has been started and the plug-in is on.
    void start_listener_if_due(const PluginSettings& settings);

    ListenerHooks hooks_;
};

}  // namespace velvox
