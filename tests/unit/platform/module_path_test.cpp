// The module's own path and its test seam.
#include "platform/module_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

TEST(ModulePath, RealPathIsTheFullPathOfAFileThatExists) {
    platform::override_module_path(nullptr);
    const std::string path = platform::module_path(nullptr);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), '/');
    EXPECT_TRUE(std::filesystem::is_regular_file(path)) << path;
}

TEST(ModulePath, OverrideIsReportedAndCutToTheBuffer) {
    platform::override_module_path("/tmp/some folder/libvelvox.so");
    char buffer[10];
    EXPECT_EQ(platform::module_path(nullptr, buffer, sizeof buffer), 29u);
    EXPECT_STREQ(buffer, "/tmp/some");
    char whole[64];
    EXPECT_EQ(platform::module_path(nullptr, whole, sizeof whole), 29u);
    EXPECT_STREQ(whole, "/tmp/some folder/libvelvox.so");
    platform::override_module_path(nullptr);
    EXPECT_NE(platform::module_path(nullptr), "/tmp/some folder/libvelvox.so");
}

}  // namespace
