// Modal dialogs whose behaviour is portable logic. The logic sees the open
// dialog only through DialogControls; the platform shows it: on Windows a real
// dialog from the module's resources, on POSIX a form on the console.
#pragma once
#include <cstddef>

#include "platform/window_messages.h"

namespace platform {

struct DialogForm;
class DialogLogic;

// The controls of one open dialog, addressed by control id.
class DialogControls {
  public:
    virtual ~DialogControls() = default;

    // Replaces the text of a control.
    virtual void set_text(int id, const char* text) = 0;
    // Copies a control's text into buffer, cut to size - 1 characters and
    // always NUL-terminated. Returns the number of characters copied.
    virtual std::size_t get_text(int id, char* buffer, std::size_t size) = 0;
    // Checks or clears a check box.
    virtual void set_checked(int id, bool checked) = 0;
    // Returns whether a check box is checked.
    virtual bool is_checked(int id) = 0;
    // Shows a message box with an OK button, owned by the dialog; returns
    // when it is dismissed.
    virtual void message_box(const char* text, const char* caption) = 0;
    // Closes the dialog; the show call then returns result.
    virtual void close(int result) = 0;
    // Returns whether the shown dialog has a control with this id. The
    // console form has every control of its list; a Windows dialog only those
    // of its resource, so settings it lacks are left as they are.
    virtual bool has_control(int) { return true; }
    // Shows another dialog modally over this one; returns what show_dialog
    // returns for it.
    virtual int show_child(const DialogForm& form, DialogLogic& logic) = 0;
};

// What a dialog does when it opens and when a command reaches it.
class DialogLogic {
  public:
    virtual ~DialogLogic() = default;

    // Fills the controls as the dialog opens.
    virtual void on_open(DialogControls& controls) = 0;
    // Handles a command (a button's id, or 2 for Escape and the close box).
    virtual void on_command(DialogControls& controls, int id) = 0;
};

enum class ControlKind { text, check_box, command };

// One control as the console form presents it; the Windows dialog takes its
// layout from the resource script instead.
struct FormControl {
    int id;
    ControlKind kind;
    const char* label;
    const char* word;  // another name for a command on the console, or nullptr
};

// A dialog: its resource on Windows, its title and controls for the console.
struct DialogForm {
    int resource_id;
    const char* title;
    const FormControl* controls;
    std::size_t control_count;
};

// Shows the dialog modally, owned by owner; module holds its resource.
// Returns the result passed to close(), or -1 when it could not be shown.
int show_dialog(void* module, const DialogForm& form, Window owner, DialogLogic& logic);

}  // namespace platform
