// dialog_probe.exe: drives a dialog of another process the way a user would,
// for the Wine tests of the settings dialog.
//
//   dialog_probe.exe ACTION [ARGS] [ACTION [ARGS]]...
//
// Actions run in order; the first failing one ends the run with exit status 1.
//   template DLL      print the caption and font of the DLL's dialog template
//   window TITLE MS   make the dialog (class #32770) titled TITLE the target; wait up to MS ms
//   dump              print the target and its child controls as one JSON line
//   set ID TEXT       set a control's text (TEXT is ASCII)
//   click ID          press a button (BM_CLICK), as a mouse click does
//   post ID           post WM_COMMAND ID to the target without waiting for its handler
//   checked ID        print {"id":ID,"checked":0|1}
//   escape            press and release the Escape key with the target in front
//   key VK            press and release the virtual key VK (9 Tab, 13 Enter) likewise
//   alt VK            press Alt+VK (86 for V, an underlined letter) likewise
//   focus             print {"focus":ID}, the control that has the keyboard focus
//   close             ask the target to close, as its close box does
//   sleep MS          wait MS ms
//   alive             fail unless the target still exists
//   gone MS           fail unless the target has disappeared within MS ms
// Texts are printed with every non-ASCII character as a \uXXXX escape, so the
// output is plain ASCII whatever the console's code page.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

HWND target = nullptr;

// Returns the text as a JSON string literal, quotes included.
std::string JsonText(const std::wstring& text) {
    std::string out = "\"";
    for (wchar_t c : text) {
        const unsigned code = static_cast<unsigned>(c);
        if (c == L'"' || c == L'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (code >= 0x20 && code < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", code);
            out += escape;
        }
    }
    return out + "\"";
}

// Returns the window's text, read through WM_GETTEXT (works across processes).
std::wstring WindowText(HWND window) {
    const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
    return std::wstring(buffer.data());
}

// Returns the window's class name.
std::wstring ClassName(HWND window) {
    wchar_t name[256] = L"";
    GetClassNameW(window, name, 256);
    return name;
}

// Returns the text as UTF-16 (the command line's text is taken as ASCII/ANSI).
std::wstring Wide(const char* text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring out(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], length);
    out.resize(static_cast<size_t>(length > 0 ? length - 1 : 0));
    return out;
}

// Collects the direct children of the target, in z order (the template's order).
BOOL CALLBACK CollectChild(HWND child, LPARAM context) {
    auto* children = reinterpret_cast<std::vector<HWND>*>(context);
    if (GetParent(child) == target) {
        children->push_back(child);
    }
    return TRUE;
}

// Prints the target's title and controls as one JSON line.
bool Dump() {
    std::string line = "{\"title\":" + JsonText(WindowText(target));
    RECT frame{};
    GetWindowRect(target, &frame);
    line += ",\"screen_rect\":[" + std::to_string(frame.left) + "," + std::to_string(frame.top) +
            "," + std::to_string(frame.right) + "," + std::to_string(frame.bottom) + "]";
    std::vector<HWND> children;
    EnumChildWindows(target, CollectChild, reinterpret_cast<LPARAM>(&children));
    line += ",\"controls\":[";
    for (size_t i = 0; i < children.size(); ++i) {
        const HWND child = children[i];
        const auto style = static_cast<unsigned long>(GetWindowLongW(child, GWL_STYLE));
        // The control's place in the dialog's client area, as [left, top, right, bottom].
        RECT rect{};
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, target, reinterpret_cast<POINT*>(&rect), 2);
        char fields[160];
        std::snprintf(fields, sizeof fields,
                      "{\"id\":%d,\"style\":%lu,\"visible\":%d,\"rect\":[%ld,%ld,%ld,%ld],"
                      "\"class\":",
                      GetDlgCtrlID(child), style, IsWindowVisible(child) ? 1 : 0, rect.left,
                      rect.top, rect.right, rect.bottom);
        line += (i == 0 ? "" : ",") + std::string(fields) + JsonText(ClassName(child)) +
                ",\"text\":" + JsonText(WindowText(child)) + "}";
    }
    line += "]}";
    std::printf("%s\n", line.c_str());
    return true;
}

// Returns the text at *cursor (a NUL-terminated UTF-16 string) and moves past it.
std::wstring TakeText(const WORD** cursor) {
    std::wstring text(reinterpret_cast<const wchar_t*>(*cursor));
    *cursor += text.size() + 1;
    return text;
}

// Moves *cursor past a name-or-ordinal field of a dialog template.
void SkipNameOrOrdinal(const WORD** cursor) {
    if (**cursor == 0xFFFF) {
        *cursor += 2;
    } else {
        TakeText(cursor);
    }
}

// Keeps the first resource of the enumeration in *context; returns FALSE to stop there.
BOOL CALLBACK FirstResource(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR context) {
    *reinterpret_cast<HRSRC*>(context) = FindResourceA(module, name, type);
    return FALSE;
}

// Prints the caption and font of the first extended dialog template in the module's
// resources as one JSON line (what the running dialog cannot tell another process).
bool PrintTemplate(const char* module_path) {
    HMODULE module = LoadLibraryExA(module_path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC found = nullptr;
    if (module != nullptr) {
        EnumResourceNamesA(module, MAKEINTRESOURCEA(5) /* RT_DIALOG */, FirstResource,
                           reinterpret_cast<LONG_PTR>(&found));
    }
    if (found == nullptr) {
        std::fprintf(stderr, "dialog_probe: no dialog template in %s\n", module_path);
        return false;
    }
    const auto* words = static_cast<const WORD*>(LockResource(LoadResource(module, found)));
    if (words[0] != 1 || words[1] != 0xFFFF) {
        std::fprintf(stderr, "dialog_probe: the template is not an extended one\n");
        return false;
    }
    DWORD style = 0;
    std::memcpy(&style, words + 6, sizeof style);
    const WORD* cursor = words + 13;  // past version, signature, ids, styles, count, place
    SkipNameOrOrdinal(&cursor);       // menu
    SkipNameOrOrdinal(&cursor);       // window class
    std::string line = "{\"caption\":" + JsonText(TakeText(&cursor));
    if (style & DS_SETFONT) {
        const WORD points = cursor[0];
        const BYTE charset = reinterpret_cast<const BYTE*>(cursor + 2)[1];
        cursor += 3;
        line += ",\"points\":" + std::to_string(points) +
                ",\"charset\":" + std::to_string(charset) +
                ",\"font\":" + JsonText(TakeText(&cursor));
    }
    std::printf("%s}\n", line.c_str());
    return true;
}

// Waits up to the given time for the dialog with the title; returns whether it appeared.
bool FindTarget(const char* title, unsigned long wait_ms) {
    const std::wstring wide_title = Wide(title);
    const ULONGLONG deadline = GetTickCount64() + wait_ms;
    for (;;) {
        target = FindWindowW(L"#32770", wide_title.c_str());
        if (target != nullptr) {
            return true;
        }
        if (GetTickCount64() >= deadline) {
            std::fprintf(stderr, "dialog_probe: no dialog titled \"%s\"\n", title);
            return false;
        }
        Sleep(50);
    }
}

// Returns the control of the target with the id, or null after a message.
HWND Control(int id) {
    HWND control = GetDlgItem(target, id);
    if (control == nullptr) {
        std::fprintf(stderr, "dialog_probe: no control %d\n", id);
    }
    return control;
}

// Presses and releases the key (with Alt held when alt is set) with the target in
// front and focused.
bool PressKey(WORD key, bool alt = false) {
    SetForegroundWindow(target);
    Sleep(200);
    INPUT keys[4]{};
    const WORD order[4] = {VK_MENU, key, key, VK_MENU};  // down, then up in reverse
    UINT count = 0;
    for (UINT i = 0; i < 4; ++i) {
        if (order[i] != VK_MENU || alt) {
            keys[count].type = INPUT_KEYBOARD;
            keys[count].ki.wVk = order[i];
            keys[count++].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
        }
    }
    if (SendInput(count, keys, sizeof(INPUT)) != count) {
        std::fprintf(stderr, "dialog_probe: SendInput failed\n");
        return false;
    }
    Sleep(300);
    return true;
}

// Prints the id of the control of the target's thread that has the keyboard focus.
bool PrintFocus() {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    const bool known = GetGUIThreadInfo(GetWindowThreadProcessId(target, nullptr), &info);
    std::printf("{\"focus\":%d}\n", known && info.hwndFocus ? GetDlgCtrlID(info.hwndFocus) : 0);
    return known;
}

// Waits up to the given time for the target to disappear; returns whether it did.
bool WaitGone(unsigned long wait_ms) {
    const ULONGLONG deadline = GetTickCount64() + wait_ms;
    while (IsWindow(target)) {
        if (GetTickCount64() >= deadline) {
            std::fprintf(stderr, "dialog_probe: the dialog is still open\n");
            return false;
        }
        Sleep(50);
    }
    return true;
}

// Returns the argument at the index as a number, or exits with a usage message.
long Number(int argc, char** argv, int index) {
    if (index >= argc) {
        std::fprintf(stderr, "dialog_probe: %s needs an argument\n", argv[index - 1]);
        std::exit(2);
    }
    return std::strtol(argv[index], nullptr, 10);
}

// Runs the action at argv[*index], consuming its arguments; returns whether it succeeded.
bool RunAction(int argc, char** argv, int* index) {
    const std::string action = argv[(*index)++];
    if (action == "window") {
        if (*index + 1 >= argc) {
            std::fprintf(stderr, "dialog_probe: window TITLE MS\n");
            std::exit(2);
        }
        const char* title = argv[(*index)++];
        return FindTarget(title, static_cast<unsigned long>(Number(argc, argv, (*index)++)));
    }
    if (action == "template") {
        if (*index >= argc) {
            std::fprintf(stderr, "dialog_probe: template DLL\n");
            std::exit(2);
        }
        return PrintTemplate(argv[(*index)++]);
    }
    if (action == "sleep") {
        Sleep(static_cast<DWORD>(Number(argc, argv, (*index)++)));
        return true;
    }
    if (action == "gone" && target != nullptr) {
        return WaitGone(static_cast<unsigned long>(Number(argc, argv, (*index)++)));
    }
    if (target == nullptr || !IsWindow(target)) {
        std::fprintf(stderr, "dialog_probe: %s: no target dialog\n", action.c_str());
        return false;
    }
    if (action == "dump") {
        return Dump();
    }
    if (action == "set" || action == "click" || action == "post" || action == "checked") {
        const int id = static_cast<int>(Number(argc, argv, (*index)++));
        if (action == "post") {
            return PostMessageW(target, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0) != 0;
        }
        HWND control = Control(id);
        if (control == nullptr) {
            return false;
        }
        if (action == "click") {
            SendMessageW(control, BM_CLICK, 0, 0);
            return true;
        }
        if (action == "checked") {
            const LRESULT state = SendMessageW(control, BM_GETCHECK, 0, 0);
            std::printf("{\"id\":%d,\"checked\":%d}\n", id, state == BST_CHECKED ? 1 : 0);
            return true;
        }
        if (*index >= argc) {
            std::fprintf(stderr, "dialog_probe: set ID TEXT\n");
            std::exit(2);
        }
        const std::wstring text = Wide(argv[(*index)++]);
        return SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())) != 0;
    }
    if (action == "escape") {
        return PressKey(VK_ESCAPE);
    }
    if (action == "key") {
        return PressKey(static_cast<WORD>(Number(argc, argv, (*index)++)));
    }
    if (action == "alt") {
        return PressKey(static_cast<WORD>(Number(argc, argv, (*index)++)), true);
    }
    if (action == "focus") {
        return PrintFocus();
    }
    if (action == "close") {
        return PostMessageW(target, WM_SYSCOMMAND, SC_CLOSE, 0) != 0;
    }
    if (action == "alive") {
        if (!IsWindow(target)) {
            std::fprintf(stderr, "dialog_probe: the dialog has closed\n");
            return false;
        }
        return true;
    }
    std::fprintf(stderr, "dialog_probe: unknown action %s\n", action.c_str());
    std::exit(2);
}

}  // namespace

// Runs the actions given on the command line; returns 0 when all succeeded.
int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    int index = 1;
    while (index < argc) {
        if (!RunAction(argc, argv, &index)) {
            return 1;
        }
    }
    return 0;
}
