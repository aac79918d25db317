// record_check.exe DLL: loads the plug-in as the player does and checks the
// record its export hands out, field by field, before and after init.
// Prints one line per check ("ok ..." or "FAIL ..."); exit status 0 when all held.
//
// The DLL's folder should be a scratch folder: quit writes plugin.ini beside it.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

int failures = 0;
UINT lastMessage = 0;
WPARAM lastWParam = 0;

// Prints the outcome of one check and counts the failures.
void Check(bool held, const std::string& what) {
    std::printf("%s %s\n", held ? "ok" : "FAIL", what.c_str());
    if (!held) {
        ++failures;
    }
}

// The player's own window procedure: remembers the last user message it saw.
LRESULT CALLBACK PlayerProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message >= WM_USER) {
        lastMessage = message;
        lastWParam = wparam;
        return 7;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

// Returns whether the address lies inside the image of the module.
bool InModule(HMODULE module, std::uintptr_t address) {
    MEMORY_BASIC_INFORMATION info{};
    if (address == 0 ||
        VirtualQuery(reinterpret_cast<const void*>(address), &info, sizeof info) == 0) {
        return false;
    }
    return info.AllocationBase == module;
}

// The record as the player lays it out: a 32-bit version, then six pointer-sized
// fields, each in its own pointer-sized slot. Field i (0-based) therefore sits at
// byte offset i * sizeof(void*): 4 * i in a 28-byte record on 32-bit Windows,
// 8 * i in a 56-byte one on 64-bit Windows.
constexpr std::size_t kSlot = sizeof(void*);
constexpr std::size_t kFields = 7;

// Returns the byte offset of field i (0-based) of the record.
constexpr std::size_t FieldOffset(std::size_t i) {
    return i * kSlot;
}
static_assert(kSlot == 4 ? FieldOffset(5) == 20 && FieldOffset(6) == 24
                         : FieldOffset(5) == 40 && FieldOffset(6) == 48,
              "the player's window and module fields");

// Reads the record's seven fields: the 32-bit version, then six pointer-sized values.
void ReadFields(const void* record, std::uintptr_t fields[kFields]) {
    const char* bytes = static_cast<const char*>(record);
    std::uint32_t version = 0;
    std::memcpy(&version, bytes, sizeof version);
    fields[0] = version;
    for (std::size_t i = 1; i < kFields; ++i) {
        std::memcpy(&fields[i], bytes + FieldOffset(i), kSlot);
    }
}

// Returns the text at an address field.
std::string TextAt(std::uintptr_t address) {
    return address == 0 ? std::string("(null)")
                        : std::string(reinterpret_cast<const char*>(address));
}

// Returns the file name part of a Windows path.
std::string FileName(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Returns whether a file exists.
bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

// Runs the checks on the DLL named on the command line; returns 0 when all held.
int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc != 2) {
        std::fprintf(stderr, "usage: record_check.exe DLL\n");
        return 2;
    }
    const std::string dll = argv[1];
    HMODULE module = LoadLibraryA(dll.c_str());
    Check(module != nullptr, "LoadLibrary " + dll);
    if (module == nullptr) {
        return 1;
    }
    using Export = void* (*)();
    auto get_record = reinterpret_cast<Export>(
        reinterpret_cast<void*>(GetProcAddress(module, "winampGetGeneralPurposePlugin")));
    Check(get_record != nullptr, "export winampGetGeneralPurposePlugin found by its plain name");
    if (get_record == nullptr) {
        return 1;
    }
    void* record = get_record();
    Check(record != nullptr && get_record() == record, "the export returns the same record");
    Check(InModule(module, reinterpret_cast<std::uintptr_t>(record)),
          "the record lives in the DLL's own image");

    std::uintptr_t fields[kFields];
    ReadFields(record, fields);
    Check(fields[0] == 16, "field 1 (version) is 16, found " + std::to_string(fields[0]));
    Check(fields[1] != 0 && TextAt(fields[1]).empty(),
          "field 2 (description) is an empty text before init");
    for (int i = 2; i < 5; ++i) {
        Check(InModule(module, fields[i]),
              "field " + std::to_string(i + 1) + " (entry) points into the DLL");
    }
    Check(fields[5] == 0 && fields[6] == 0, "fields 6 and 7 are zero at load");

    WNDCLASSA window_class{};
    window_class.lpfnWndProc = PlayerProc;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "RecordCheckPlayer";
    RegisterClassA(&window_class);
    HWND window = CreateWindowA("RecordCheckPlayer", "player", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                nullptr, nullptr, window_class.hInstance, nullptr);
    Check(window != nullptr, "the player window was created");

    // The player fills fields 6 and 7 (the window and the module) before init.
    const auto window_field = reinterpret_cast<std::uintptr_t>(window);
    const auto module_field = reinterpret_cast<std::uintptr_t>(module);
    std::memcpy(static_cast<char*>(record) + FieldOffset(5), &window_field, kSlot);
    std::memcpy(static_cast<char*>(record) + FieldOffset(6), &module_field, kSlot);
    std::printf("record of %u-bit Windows: fields 6 and 7 at byte offsets %u and %u\n",
                static_cast<unsigned>(kSlot * 8), static_cast<unsigned>(FieldOffset(5)),
                static_cast<unsigned>(FieldOffset(6)));
    const auto own_proc = GetWindowLongPtrA(window, GWLP_WNDPROC);

    auto init = reinterpret_cast<int (*)()>(fields[2]);
    Check(init() == 0, "init returns 0");
    ReadFields(record, fields);
    const std::string expected = "Velvox Plugin v2.5 (" + FileName(dll) + ")";
    Check(TextAt(fields[1]) == expected,
          "description after init is \"" + TextAt(fields[1]) + "\", expected \"" + expected + "\"");
    const auto hooked_proc = GetWindowLongPtrA(window, GWLP_WNDPROC);
    Check(hooked_proc != own_proc && InModule(module, static_cast<std::uintptr_t>(hooked_proc)),
          "init hooks the window named in field 6");
    const LRESULT passed = SendMessageA(window, WM_USER + 77, 1234, 0);
    Check(passed == 7 && lastMessage == WM_USER + 77 && lastWParam == 1234,
          "the hook passes other messages to the player's procedure with their result");

    const ULONGLONG quit_start = GetTickCount64();
    auto quit = reinterpret_cast<void (*)()>(fields[4]);
    quit();
    Check(GetTickCount64() - quit_start < 900, "quit returns at once when no listener runs");
    // The player unloads the DLL next while its window lives on.
    Check(GetWindowLongPtrA(window, GWLP_WNDPROC) == own_proc,
          "quit gives the window its own procedure back");
    const std::string ini = dll.substr(0, dll.size() - FileName(dll).size()) + "plugin.ini";
    Check(FileExists(ini), "quit writes " + ini);
    char disabled[32] = "";
    GetPrivateProfileStringA("HTTP Request", "bDisabled", "", disabled, sizeof disabled,
                             ini.c_str());
    Check(std::strcmp(disabled, "TRUE") == 0, "no settings file at init leaves bDisabled=TRUE");

    DestroyWindow(window);
    FreeLibrary(module);
    std::printf("%d failure(s)\n", failures);
    return failures == 0 ? 0 : 1;
}
