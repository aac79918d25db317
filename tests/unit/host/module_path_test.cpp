// The module's own path and its test seam.
#include "host/module_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

TEST(ModulePath, RealPathIsTheFullPathOfAFileThatExists) {
    host::override_module_path(nullptr);
    const std::string path = host::module_path(nullptr);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), '/');
    EXPECT_TRUE(std::filesystem::is_regular_file(path)) << path;
}

TEST(ModulePath, OverrideIsReportedAndCutToTheBuffer) {
    host::override_module_path("/tmp/some folder/libvelvox.so");
    char buffer[10];
    EXPECT_EQ(host::module_path(nullptr, buffer, sizeof buffer), 29u);
    EXPECT_STREQ(buffer, "/tmp/some");
    char whole[64];
    EXPECT_EQ(host::module_path(nullptr, whole, sizeof whole), 29u);
    EXPECT_STREQ(whole, "/tmp/some folder/libvelvox.so");
    host::override_module_path(nullptr);
    EXPECT_NE(host::module_path(nullptr), "/tmp/some folder/libvelvox.so");
}

}  // namespace
