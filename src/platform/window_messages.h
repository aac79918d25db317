// Window messages: the only way the plug-in talks to the player.
// On Windows these are the real user32 calls; on POSIX a small emulation in
// which a window belongs to the thread that created it (see posix/emulated_window.h).
#pragma once
#include <cstdint>

#if defined(_WIN32)
#define VELVOX_CALLBACK __stdcall
#else
#define VELVOX_CALLBACK
#endif

namespace platform {

using Window = void*;           // HWND on Windows
using WParam = std::uintptr_t;  // WPARAM
using LParam = std::intptr_t;   // LPARAM
using LResult = std::intptr_t;  // LRESULT
using WindowProc = LResult(VELVOX_CALLBACK*)(Window, unsigned, WParam, LParam);

constexpr unsigned kWmCommand = 0x111;
constexpr unsigned kWmUser = 0x400;

// Sends a message and waits for the window's procedure to handle it; from the
// window's own thread this is a direct call. Returns the procedure's result.
LResult send_message(Window window, unsigned message, WParam wparam, LParam lparam);

// Returns a message number of the application's own for name, the same for
// every caller in this session and used by no system message (Windows:
// RegisterWindowMessageA; 0 when it fails).
unsigned register_message(const char* name);

// Returns the window's current procedure.
WindowProc window_proc(Window window);

// Installs a new procedure on the window; returns the one it replaces.
WindowProc replace_window_proc(Window window, WindowProc proc);

// Calls a previously installed procedure with the message; returns its result.
LResult call_window_proc(WindowProc proc, Window window, unsigned message, WParam wparam,
                         LParam lparam);

}  // namespace platform
