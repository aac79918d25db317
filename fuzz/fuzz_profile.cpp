// Fuzzes the private-profile reader and writer: the input is the file's text;
// every key of the settings is read, one is rewritten, and read back.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = [] {
        char pattern[] = "/tmp/velvox-fuzz-ini-XXXXXX";
        int fd = mkstemp(pattern);
        if (fd >= 0)
            close(fd);
        return std::string(pattern);
    }();
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    static const char* const keys[] = {"bDisabled",    "WebRoot",       "Port",
                                       "Playlistfile", "AdminPassword", "g_MaxRequestsPerIP",
                                       "g_MaxEntries", "g_MaxQueueSize"};
    char value[1024];
    for (const char* key : keys) {
        platform::read_profile_string(path.c_str(), "HTTP Request", key, "", value, sizeof value);
    }
    platform::write_profile_string(path.c_str(), "HTTP Request", "Port", "8080");
    platform::read_profile_string(path.c_str(), "http request", "PORT", "80", value, 10);
    if (std::strcmp(value, "8080") != 0)
        std::abort();  // a write must read back
    return 0;
}
