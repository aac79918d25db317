// The POSIX private-profile reader and writer against the Windows rules.
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "temp_folder.h"

namespace {

using velvox::testing::TempFolder;

struct ReadCase {
    const char* name;
    const char* file;  // null: no file at all
    const char* section;
    const char* key;
    const char* fallback;
    std::size_t size;
    const char* expected;
};

TEST(ProfileRead, FollowsTheWindowsRules) {
    const ReadCase cases[] = {
        {"plain", "[S]\nk=v\n", "S", "k", "d", 64, "v"},
        {"names ignore case", "[HTTP Request]\r\nPort=8080\r\n", "http REQUEST", "PORT", "d", 64,
         "8080"},
        {"blanks around key and value", "[S]\n  k  =   two words \t\n", "S", "k", "d", 64,
         "two words"},
        {"blanks around section name", "  [ S ]  \nk=v\n", "S", "k", "d", 64, "v"},
        {"CR LF line ends", "[S]\r\nk=v\r\nl=w\r\n", "S", "k", "d", 64, "v"},
        {"no line end at the close", "[S]\nk=last", "S", "k", "d", 64, "last"},
        {"double quotes dropped", "[S]\nk=\" spaced \"\n", "S", "k", "d", 64, " spaced "},
        {"single quotes dropped", "[S]\nk='x'\n", "S", "k", "d", 64, "x"},
        {"unmatched quote kept", "[S]\nk=\"x\n", "S", "k", "d", 64, "\"x"},
        {"empty value is not missing", "[S]\nk=\n", "S", "k", "d", 64, ""},
        {"equals inside the value", "[S]\nk=a=b\n", "S", "k", "d", 64, "a=b"},
        {"first of two keys", "[S]\nk=1\nk=2\n", "S", "k", "d", 64, "1"},
        {"key of the same name elsewhere", "[S]\na=1\n[T]\nk=v\n", "S", "k", "d", 64, "d"},
        {"missing section", "[T]\nk=v\n", "S", "k", "d", 64, "d"},
        {"missing key", "[S]\na=1\n", "S", "k", "d", 64, "d"},
        {"key before any section", "k=v\n[S]\n", "S", "k", "d", 64, "d"},
        {"comment line", "[S]\n;k=v\n", "S", "k", "d", 64, "d"},
        {"line without equals", "[S]\nk\n", "S", "k", "d", 64, "d"},
        {"missing file", nullptr, "S", "k", "dflt", 64, "dflt"},
        {"default loses trailing blanks", nullptr, "S", "k", "dflt  ", 64, "dflt"},
        {"value cut to buffer", "[S]\nk=abcdef\n", "S", "k", "d", 4, "abc"},
        {"default cut to buffer", nullptr, "S", "k", "hello", 3, "he"},
        {"one-byte buffer", "[S]\nk=abc\n", "S", "k", "d", 1, ""},
        {"byte order mark", "\xEF\xBB\xBF[S]\nk=v\n", "S", "k", "d", 64, "v"},
    };
    for (const ReadCase& c : cases) {
        TempFolder folder;
        if (c.file != nullptr)
            folder.write("p.ini", c.file);
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        std::size_t n = platform::read_profile_string(folder.file("p.ini").c_str(), c.section,
                                                      c.key, c.fallback, buffer, c.size);
        EXPECT_STREQ(buffer, c.expected) << c.name;
        EXPECT_EQ(n, std::strlen(c.expected)) << c.name;
    }
}

struct WriteCase {
    const char* name;
    const char* before;  // null: no file at all
    const char* section;
    const char* key;
    const char* value;
    const char* after;
};

TEST(ProfileWrite, CreatesOrReplacesInPlaceKeepingOtherLines) {
    const WriteCase cases[] = {
        {"creates the file", nullptr, "S", "k", "v", "[S]\nk=v\n"},
        {"replaces in place, CR LF kept", "[S]\r\na=1\r\nk=old\r\nb=2\r\n", "s", "K", "new",
         "[S]\r\na=1\r\nk=new\r\nb=2\r\n"},
        {"keeps comments and odd lines", "; note\n[S]\n  k = old  \nnoequals\n", "S", "k", "n",
         "; note\n[S]\nk=n\nnoequals\n"},
        {"adds key at the end of its section", "[S]\na=1\n\n[T]\nx=y\n", "S", "k", "v",
         "[S]\na=1\nk=v\n\n[T]\nx=y\n"},
        {"adds key to an empty last section", "[S]", "S", "k", "v", "[S]\nk=v\n"},
        {"adds section after an unterminated line", "[T]\nx=y", "S", "k", "v",
         "[T]\nx=y\n[S]\nk=v\n"},
        {"adds section with the file's line ends", "[T]\r\nx=y\r\n", "S", "k", "v",
         "[T]\r\nx=y\r\n[S]\r\nk=v\r\n"},
        {"same key in another section untouched", "[T]\nk=1\n[S]\nk=2\n", "S", "k", "3",
         "[T]\nk=1\n[S]\nk=3\n"},
        {"empty value", "[S]\nk=v\n", "S", "k", "", "[S]\nk=\n"},
        {"line break cuts the value", nullptr, "S", "k", "a\r\n[X]", "[S]\nk=a\n"},
        {"empty file", "", "S", "k", "v", "[S]\nk=v\n"},
        {"byte order mark kept", "\xEF\xBB\xBF[S]\nk=1\n", "S", "k", "2", "\xEF\xBB\xBF[S]\nk=2\n"},
    };
    for (const WriteCase& c : cases) {
        TempFolder folder;
        if (c.before != nullptr)
            folder.write("p.ini", c.before);
        EXPECT_TRUE(
            platform::write_profile_string(folder.file("p.ini").c_str(), c.section, c.key, c.value))
            << c.name;
        EXPECT_EQ(folder.read("p.ini"), c.after) << c.name;
        EXPECT_EQ(folder.read("p.ini.new"), "<missing>") << c.name;
    }
}

TEST(ProfileWrite, WhatIsWrittenReadsBack) {
    TempFolder folder;
    const std::string path = folder.file("p.ini");
    ASSERT_TRUE(platform::write_profile_string(path.c_str(), "HTTP Request", "Port", "8080"));
    ASSERT_TRUE(
        platform::write_profile_string(path.c_str(), "HTTP Request", "WebRoot", "/srv/www"));
    ASSERT_TRUE(platform::write_profile_string(path.c_str(), "http request", "port", "9090"));
    char buffer[32];
    platform::read_profile_string(path.c_str(), "HTTP Request", "Port", "", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "9090");
    platform::read_profile_string(path.c_str(), "HTTP Request", "WebRoot", "", buffer,
                                  sizeof buffer);
    EXPECT_STREQ(buffer, "/srv/www");
    EXPECT_EQ(folder.read("p.ini"), "[HTTP Request]\nPort=9090\nWebRoot=/srv/www\n");
}

TEST(ProfileWrite, FailsWithoutHarmWhereItCannotWrite) {
    TempFolder folder;
    // A folder that does not exist, and a path that is a folder.
    EXPECT_FALSE(platform::write_profile_string(folder.file("none/p.ini").c_str(), "S", "k", "v"));
    EXPECT_FALSE(platform::write_profile_string(folder.file("").c_str(), "S", "k", "v"));
    char buffer[8];
    platform::read_profile_string(folder.file("").c_str(), "S", "k", "d", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "d");
}

}  // namespace
