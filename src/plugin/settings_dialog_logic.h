// The settings dialog's behaviour, apart from whatever shows it: filling the
// fields on opening, taking them back on OK, the about box, the second dialog
// with every later setting, and starting the listener when the plug-in is
// enabled and none has been started yet.
#pragma once
#include <functional>
#include <optional>

#include "core/settings.h"
#include "platform/dialog.h"

namespace velvox {

// The about box: caption and three lines.
extern const char kAboutCaption[];
extern const char kAboutText[];

// Returns the dialog's form: its resource id, title and controls. The
// console shows every setting in it; on Windows the later ones are in the
// second dialog.
const platform::DialogForm& SettingsDialogForm();

// Returns the second dialog's form, opened by the first one's "More..."
// button: every setting added after the first dialog.
const platform::DialogForm& MoreSettingsForm();

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
    // about box; more opens the second dialog. Escape and the close box
    // (command 2) are ignored.
    void on_command(platform::DialogControls& controls, int id) override;

  private:
    // Reads every field back into a new set of settings, with the second
    // dialog's values when its OK took them, publishes it and closes.
    void accept(platform::DialogControls& controls);
    // Opens the second dialog over this one; its OK keeps its values for
    // this dialog's OK, its cancel leaves them as they were.
    void more(platform::DialogControls& controls);
    // Starts the listener when none has been started and the plug-in is on.
    void start_listener_if_due(const PluginSettings& settings);

    ListenerHooks hooks_;
    // The second dialog's values once its OK took them; nothing before.
    std::optional<PluginSettings> more_;
};

// The second dialog: shows the later settings of a set of settings and, on
// OK, takes its fields back into that set. It publishes nothing itself.
class MoreSettingsDialog : public platform::DialogLogic {
  public:
    explicit MoreSettingsDialog(PluginSettings& settings) : settings_(settings) {}

    // Shows the later settings of the set.
    void on_open(platform::DialogControls& controls) override;
    // OK (Enter) reads the fields into the set and closes; cancel (Escape,
    // the close box) closes and leaves the set as it was.
    void on_command(platform::DialogControls& controls, int id) override;
    // Returns whether OK took the fields.
    bool taken() const { return taken_; }

  private:
    PluginSettings& settings_;
    bool taken_ = false;
};

}  // namespace velvox
