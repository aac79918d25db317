// Shared pieces of the server tests: a temporary web root, settings that
// point at it, and one request run through a capture stream.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "capture_stream.h"
#include "core/settings.h"
#include "core/text.h"
#include "http/http_connection.h"
#include "server/dispatcher.h"

namespace velvox::testing {

// What one DoProxy run produced.
struct Exchange {
    int result = -1;
    std::string sent;
    std::string out;  // standard output written meanwhile
    std::string referer;
    std::string target;
};

// Runs DoProxy once on a capture stream holding request; fail_receive makes
// the receive fail instead.
inline Exchange RunRequest(const std::string& request, bool fail_receive = false) {
    CaptureStream stream(request);
    if (fail_receive)
        stream.fail_receive();
    HttpConnection connection;
    connection.clock = fixed_clock;
    connection.set_socket(&stream);
    connection.set_client_address("127.0.0.1");
    ::testing::internal::CaptureStdout();
    Exchange e;
    e.result = DoProxy(connection);
    e.out = ::testing::internal::GetCapturedStdout();
    e.sent = stream.sent();
    e.referer = connection.referer;
    e.target = connection.requestTarget;
    return e;
}

// The dispatcher's header for a file with a length.
inline std::string FileHead(std::size_t length, const std::string& type) {
    return "HTTP/1.1 200 OK\nServer: Pelmora\nContent-Length: " + std::to_string(length) +
           "\nConnection: close\nContent-Type: " + type + "\r\n\r\n";
}

constexpr char kPageHead[] =
    "HTTP/1.1 200 OK\nServer: Pelmora\nConnection: close\nContent-Type: text/html\r\n\r\n";

// A fresh web root under the temporary directory, published as WebRoot with
// the page template "playlist.html"; removed with everything in it.
class WebRootTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "velvox-web-XXXXXX");
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        Publish(root_, "playlist.html");
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
        PublishSettings(PluginSettings{});
    }

    // Publishes settings with the given web root and page template.
    void Publish(const std::string& web_root, const std::string& template_name,
                 const std::string& password = "") {
        PluginSettings s;
        CopyCut(s.WebRoot, web_root.c_str());
        CopyCut(s.Playlistfile, template_name.c_str());
        CopyCut(s.AdminPassword, password.c_str());
        PublishSettings(s);
    }

    // Writes a file (folders made as needed) under the web root.
    void Write(const std::string& relative, const std::string& bytes) {
        std::filesystem::path path = std::filesystem::path(root_) / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }

    std::string root_;
};

}  // namespace velvox::testing
