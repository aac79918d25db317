// Files on Windows: the C library's text and binary streams.
#include <windows.h>

#include <io.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "platform/files.h"

namespace platform {

const char kPathSeparator = '\\';

bool path_size(const char* path, std::int64_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        size = 0;
    else
        size = (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

bool resolve_path(const char* path, std::string& resolved) {
    char full[MAX_PATH * 4];
    DWORD n = GetFullPathNameA(path, sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full)
        return false;
    resolved.assign(full, n);
    return true;
}

bool path_inside(const std::string& resolved, const std::string& root) {
    if (resolved.size() < root.size() ||
        CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, resolved.data(),
                       static_cast<int>(root.size()), root.data(),
                       static_cast<int>(root.size())) != CSTR_EQUAL)
        return false;
    if (resolved.size() == root.size())
        return true;
    char last = root.back();
    char next = resolved[root.size()];
    return last == '\\' || last == '/' || next == '\\' || next == '/';
}

Directory::~Directory() = default;

// Names are looked up the long way on Windows.
bool Directory::open(const char*) {
    return false;
}

InputFile::~InputFile() {
    close();
}

Opened InputFile::open_sized(const char*, bool, std::int64_t&) {
    return Opened::unknown;
}

Opened InputFile::open_beneath(const Directory&, const char*, bool, std::int64_t&) {
    return Opened::unknown;
}

bool InputFile::open(const char* path, bool text) {
    close();
    // Directories cannot be opened by the C library on Windows.
    std::FILE* f = std::fopen(path, text ? "r" : "rb");
    if (f == nullptr)
        return false;
    file_ = f;
    text_ = text;
    return true;
}

bool InputFile::read_line(char* buffer, std::size_t size) {
    auto* f = static_cast<std::FILE*>(file_);
    if (f == nullptr || size == 0)
        return false;
    int limit = size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size);
    if (std::fgets(buffer, limit, f) == nullptr) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}

namespace {

// FILE_BASIC_INFO, as GetFileInformationByHandleEx fills it for FileBasicInfo (0).
struct BasicInfo {
    LARGE_INTEGER creation;
    LARGE_INTEGER last_access;
    LARGE_INTEGER last_write;
    LARGE_INTEGER change;
    DWORD attributes;
};
using GetInfoEx = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);

// Returns GetFileInformationByHandleEx, looked up once: Windows before Vista
// has none, and the module must still load there.
GetInfoEx file_info_ex() {
    static const auto found = reinterpret_cast<GetInfoEx>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFileInformationByHandleEx")));
    return found;
}

}  // namespace

// The later of the last write and the last change (of the content or the
// entry: a time set back by hand still changes the latter), in 100 ns steps
// since 1601; settled when the system's time has passed it by two seconds.
// Without the change time (Windows before Vista) no stamp settles.
bool InputFile::stamp(FileStamp& stamp) const {
    auto* f = static_cast<std::FILE*>(file_);
    if (f == nullptr)
        return false;
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    BY_HANDLE_FILE_INFORMATION info;
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &info))
        return false;
    const auto join = [](DWORD high, DWORD low) {
        return (static_cast<std::uint64_t>(high) << 32) | low;
    };
    BasicInfo basic{};
    const GetInfoEx info_ex = file_info_ex();
    const bool changed_known = info_ex != nullptr && info_ex(handle, 0, &basic, sizeof basic);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    stamp.volume = info.dwVolumeSerialNumber;
    stamp.index = join(info.nFileIndexHigh, info.nFileIndexLow);
    stamp.size = static_cast<std::int64_t>(join(info.nFileSizeHigh, info.nFileSizeLow));
    stamp.changed = static_cast<std::int64_t>(
        join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime));
    if (changed_known && basic.change.QuadPart > stamp.changed)
        stamp.changed = basic.change.QuadPart;
    stamp.settled =
        changed_known && stamp.changed + 20'000'000 <
                             static_cast<std::int64_t>(join(now.dwHighDateTime, now.dwLowDateTime));
    return true;
}

std::size_t InputFile::read(char* buffer, std::size_t size) {
    auto* f = static_cast<std::FILE*>(file_);
    if (f == nullptr)
        return 0;
    return std::fread(buffer, 1, size, f);
}

void InputFile::close() {
    if (file_ != nullptr)
        std::fclose(static_cast<std::FILE*>(file_));
    file_ = nullptr;
}

FileRest::FileRest(std::unique_ptr<InputFile> file, std::int64_t left)
    : file_(std::move(file)), left_(left) {}

FileRest::~FileRest() = default;

// A chunk is read once the last one has gone; it then waits here for the
// socket to take it.
long FileRest::send_to(Socket socket, std::size_t most) {
    constexpr std::size_t kChunk = 16384;
    if (chunk_at_ == chunk_end_) {
        if (left_ <= 0)
            return 0;
        if (chunk_ == nullptr)
            chunk_.reset(new (std::nothrow) char[kChunk]);
        if (chunk_ == nullptr)
            return -1;
        const std::size_t wanted =
            left_ < static_cast<std::int64_t>(kChunk) ? static_cast<std::size_t>(left_) : kChunk;
        chunk_at_ = 0;
        chunk_end_ = file_->read(chunk_.get(), wanted);
        if (chunk_end_ == 0) {
            left_ = 0;  // the file is shorter than it was: nothing more comes
            return 0;
        }
    }
    const std::size_t ready = chunk_end_ - chunk_at_;
    const long sent = try_send(socket, chunk_.get() + chunk_at_, ready < most ? ready : most);
    if (sent > 0) {
        chunk_at_ += static_cast<std::size_t>(sent);
        left_ -= sent;
    }
    return sent;
}

}  // namespace platform
