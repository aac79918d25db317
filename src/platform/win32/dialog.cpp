// Windows dialogs: a modal dialog from the module's resources whose behaviour
// is the portable logic handed in.
#include "platform/dialog.h"

#include <windows.h>

namespace platform {

namespace {

// The controls of a real dialog window.
class Win32Controls : public DialogControls {
  public:
    explicit Win32Controls(HWND dialog) : dialog_(dialog) {}

    void set_text(int id, const char* text) override { SetDlgItemTextA(dialog_, id, text); }

    std::size_t get_text(int id, char* buffer, std::size_t size) override {
        if (size == 0)
            return 0;
        buffer[0] = '\0';
        const int limit = size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size);
        // GetDlgItemTextA cuts to limit - 1 characters and adds the NUL.
        return GetDlgItemTextA(dialog_, id, buffer, limit);
    }

    void set_checked(int id, bool checked) override {
        CheckDlgButton(dialog_, id, checked ? BST_CHECKED : BST_UNCHECKED);
    }

    bool is_checked(int id) override { return IsDlgButtonChecked(dialog_, id) == BST_CHECKED; }

    void message_box(const char* text, const char* caption) override {
        MessageBoxA(dialog_, text, caption, MB_OK);
    }

    void close(int result) override { EndDialog(dialog_, result); }
    bool has_control(int id) override { return GetDlgItem(dialog_, id) != nullptr; }

    int show_child(const DialogForm& form, DialogLogic& logic) override {
        // From the module whose resources hold this dialog, owned by it, so
        // that this one is disabled while the other is open.
        auto* module = reinterpret_cast<void*>(GetWindowLongPtrW(dialog_, GWLP_HINSTANCE));
        return show_dialog(module, form, dialog_, logic);
    }

  private:
    HWND dialog_;
};

// The dialog procedure: hands opening and commands to the logic kept in the
// dialog's user data. Returns TRUE for what it handled.
INT_PTR CALLBACK dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lparam);
        Win32Controls controls(dialog);
        reinterpret_cast<DialogLogic*>(lparam)->on_open(controls);
        return TRUE;
    }
    auto* logic = reinterpret_cast<DialogLogic*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (message == WM_COMMAND && logic != nullptr) {
        // Buttons, Escape and the close box come with code 0 (1 from an
        // accelerator); the text fields' notifications are not commands.
        if (HIWORD(wparam) <= 1) {
            Win32Controls controls(dialog);
            logic->on_command(controls, LOWORD(wparam));
        }
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int show_dialog(void* module, const DialogForm& form, Window owner, DialogLogic& logic) {
    // The dialog window is made a Unicode one so that its controls take their
    // labels from the resource as written, whatever the system code page: an
    // ANSI dialog converts them to that code page first, and the Japanese
    // labels turn into question marks on any system that is not Japanese.
    // Field values still pass through the ...A calls in the system code page,
    // the encoding the settings are kept in.
    INT_PTR result =
        DialogBoxParamW(static_cast<HINSTANCE>(module), MAKEINTRESOURCEW(form.resource_id),
                        static_cast<HWND>(owner), dialog_proc, reinterpret_cast<LPARAM>(&logic));
    return static_cast<int>(result);
}

}  // namespace platform
