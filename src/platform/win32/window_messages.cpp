// Window messages on Windows: the real user32 calls.
#include <windows.h>

#include "platform/window_messages.h"

namespace platform {

LResult send_message(Window window, unsigned message, WParam wparam, LParam lparam) {
    return SendMessageA(static_cast<HWND>(window), message, wparam, lparam);
}

unsigned register_message(const char* name) {
    return RegisterWindowMessageA(name);
}

WindowProc window_proc(Window window) {
    return reinterpret_cast<WindowProc>(GetWindowLongPtrA(static_cast<HWND>(window), GWLP_WNDPROC));
}

WindowProc replace_window_proc(Window window, WindowProc proc) {
    return reinterpret_cast<WindowProc>(SetWindowLongPtrA(static_cast<HWND>(window), GWLP_WNDPROC,
                                                          reinterpret_cast<LONG_PTR>(proc)));
}

LResult call_window_proc(WindowProc proc, Window window, unsigned message, WParam wparam,
                         LParam lparam) {
    return CallWindowProcA(reinterpret_cast<WNDPROC>(proc), static_cast<HWND>(window), message,
                           wparam, lparam);
}

}  // namespace platform
