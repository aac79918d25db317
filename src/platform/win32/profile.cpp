// Private-profile files on Windows: the system's own profile API.
#include <windows.h>

#include <string>

#include "platform/profile.h"

namespace platform {

std::size_t read_profile_string(const char* path, const char* section, const char* key,
                                const char* fallback, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0)
        return 0;
    if (path == nullptr || section == nullptr || key == nullptr) {
        // Null names would make the API list sections or keys instead.
        buffer[0] = '\0';
        return 0;
    }
    const DWORD limit = static_cast<DWORD>(size < 0x7FFFFFFFu ? size : 0x7FFFFFFFu);
    return GetPrivateProfileStringA(section, key, fallback != nullptr ? fallback : "", buffer,
                                    limit, path);
}

bool write_profile_string(const char* path, const char* section, const char* key,
                          const char* value) {
    if (path == nullptr || section == nullptr || key == nullptr)
        return false;  // null names would delete a key or a whole section
    // A line break inside a value would add lines of its own to the file.
    std::string text = value != nullptr ? value : "";
    text = text.substr(0, text.find_first_of("\r\n"));
    return WritePrivateProfileStringA(section, key, text.c_str(), path) != FALSE;
}

}  // namespace platform
