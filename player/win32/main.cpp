// velvox-host.exe: a real (hidden) player window with its message loop, the
// plug-in loaded with LoadLibraryA, console lines posted to the window by a
// reader thread, and Ctrl-C turned into the quit sequence.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>

#include "player_app.h"
#include "plugin_module.h"
#include "win32/error_text.h"

namespace {

// Private messages of the player's window, never seen by the plug-in's
// interface: a console line (lParam: a heap std::string) and a stop request.
constexpr UINT kMsgConsoleLine = WM_APP + 1;
constexpr UINT kMsgStop = WM_APP + 2;

player::PlayerApp* the_app = nullptr;
HWND the_window = nullptr;
std::atomic<bool> stop_requested{false};
HANDLE finished_event = nullptr;
// Console lines that reached the window procedure inside a modal loop (the
// settings dialog's); the main loop carries them out afterwards.
std::deque<std::string> pending_lines;

// Takes a console line out of its message and queues it.
void queue_line(LPARAM lparam) {
    auto* line = reinterpret_cast<std::string*>(lparam);
    pending_lines.push_back(std::move(*line));
    delete line;
}

// The player's own window procedure.
LRESULT CALLBACK player_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == kMsgConsoleLine) {
        queue_line(lparam);
        return 0;
    }
    if (message == kMsgStop) {
        stop_requested = true;
        return 0;
    }
    if (the_app != nullptr && player::PlayerApp::is_player_message(message))
        return the_app->on_message(message, wparam, lparam);
    if (the_app != nullptr)
        the_app->trace(message, wparam, static_cast<platform::LParam>(lparam));
    return DefWindowProcA(window, message, wparam, lparam);
}

// The same procedure in the portable signature, for the window-procedure checks.
platform::WindowProc own_proc() {
    return reinterpret_cast<platform::WindowProc>(&player_window_proc);
}

// Prints a failure and ends the program with status 2.
[[noreturn]] void fail(const std::string& message) {
    player::write_line(stderr, "velvox-host: " + message);
    ExitProcess(2);
}

// A fault nothing handled (in the player, the plug-in or one of its threads): says
// so on standard error, then lets the system end the program with the fault's code
// instead of starting a debugger. Returns EXCEPTION_EXECUTE_HANDLER.
LONG WINAPI report_unhandled_exception(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    char line[96];
    const int n =
        std::snprintf(line, sizeof line, "velvox-host: unhandled exception 0x%08lx at 0x%llx\n",
                      static_cast<unsigned long>(record->ExceptionCode),
                      static_cast<unsigned long long>(
                          reinterpret_cast<std::uintptr_t>(record->ExceptionAddress)));
    // WriteFile, not stdio: the fault may have come while a thread held the stream's lock.
    if (n > 0) {
        const DWORD size =
            n < static_cast<int>(sizeof line) ? static_cast<DWORD>(n) : sizeof line - 1;
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, size, &written, nullptr);
    }
    return EXCEPTION_EXECUTE_HANDLER;
}

// Unloads the module and ends the program with status 0.
[[noreturn]] void finish(void* module) {
    player::close_module(module);
    std::fflush(stdout);
    std::fflush(stderr);
    if (finished_event != nullptr)
        SetEvent(finished_event);
    ExitProcess(0);
}

// Reads standard input with ReadFile (no C runtime lock is held while it
// waits, so ExitProcess never waits for it) and posts each line to the window.
DWORD WINAPI read_input(LPVOID) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    std::string line;
    char buffer[4096];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(input, buffer, sizeof buffer, &n, nullptr) || n == 0)
            break;
        for (DWORD i = 0; i < n; ++i) {
            if (buffer[i] != '\n') {
                line += buffer[i];
                continue;
            }
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            auto* posted = new std::string(line);
            if (!PostMessageA(the_window, kMsgConsoleLine, 0, reinterpret_cast<LPARAM>(posted)))
                delete posted;
            line.clear();
        }
    }
    if (!line.empty()) {
        auto* posted = new std::string(line);
        if (!PostMessageA(the_window, kMsgConsoleLine, 0, reinterpret_cast<LPARAM>(posted)))
            delete posted;
    }
    return 0;  // end of input: the player keeps running
}

// Ctrl-C, Ctrl-Break and closing the console: the main loop runs the quit
// sequence. For a closing console the system ends the process when this
// returns, so wait a little for the sequence to finish.
BOOL WINAPI on_console_control(DWORD type) {
    stop_requested = true;
    PostMessageA(the_window, kMsgStop, 0, 0);
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(finished_event, 4000);
    return TRUE;
}

// Creates the hidden main window of the player.
HWND create_player_window() {
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = player_window_proc;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "VelvoxHostWindow";
    if (!RegisterClassA(&window_class))
        return nullptr;
    HWND window = CreateWindowExA(0, "VelvoxHostWindow", "Velvox Host", WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 400, 300, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (window != nullptr)
        return window;
    // Without a display (a headless Wine) only a message-only window can be made;
    // it receives, sends and can be subclassed all the same.
    return CreateWindowExA(0, "VelvoxHostWindow", "Velvox Host", 0, 0, 0, 0, 0, HWND_MESSAGE,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
}

// Creates the player's window, loads the plug-in and starts it, then starts
// the console reader; a refusal ends the program. Returns the module.
void* start(player::PlayerApp& app, const player::Options& options) {
    finished_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    the_window = create_player_window();
    if (the_window == nullptr)
        fail("cannot create the player window: " + player::error_text(GetLastError()));
    std::string error;
    if (!app.attach(the_window, own_proc(), error))
        fail(error);
    SetConsoleCtrlHandler(on_console_control, TRUE);
    player::LoadedPlugin plugin;
    if (!player::load_plugin(options.plugin, plugin, error))
        fail(error);
    app.start_plugin(plugin.record, plugin.module);
    HANDLE reader = CreateThread(nullptr, 0, read_input, nullptr, 0, nullptr);
    if (reader == nullptr)
        fail("cannot start the console reader: " + player::error_text(GetLastError()));
    CloseHandle(reader);
    return plugin.module;
}

// Carries out the console lines queued so far; quit ends the program.
void run_pending_lines(player::PlayerApp& app, void* module) {
    while (!pending_lines.empty() && !stop_requested) {
        std::string line = std::move(pending_lines.front());
        pending_lines.pop_front();
        if (app.handle_line(line) == player::PlayerApp::LineResult::quit) {
            player::write_line(stdout, "ok");
            finish(module);
        }
    }
}

// Waits for messages or the clock, then dispatches every queued message;
// console lines and stop requests are kept for the loop.
void pump_messages(int timeout) {
    MsgWaitForMultipleObjectsEx(0, nullptr, timeout < 0 ? INFINITE : static_cast<DWORD>(timeout),
                                QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            stop_requested = true;
        } else if (msg.hwnd == the_window && msg.message == kMsgConsoleLine) {
            queue_line(msg.lParam);
        } else if (msg.hwnd == the_window && msg.message == kMsgStop) {
            stop_requested = true;
        } else {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

// The window's message loop, until quit or a stop request ends the program.
[[noreturn]] void run(player::PlayerApp& app, void* module) {
    for (;;) {
        run_pending_lines(app, module);
        if (stop_requested) {
            app.quit_plugin();
            finish(module);
        }
        pump_messages(app.wait_timeout_ms());
        app.tick();
    }
}

}  // namespace

int main(int argc, char** argv) {
    SetUnhandledExceptionFilter(report_unhandled_exception);
    player::Options options;
    std::unique_ptr<player::Backend> backend;
    int status = player::read_start_up(argc, argv, options, backend);
    if (status >= 0)
        return status;

    static player::PlayerApp app(options, std::move(backend));
    the_app = &app;
    void* module = start(app, options);
    run(app, module);
}
