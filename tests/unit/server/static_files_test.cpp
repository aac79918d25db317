// Files under the web root: content types, the two body modes, directories,
// full paths and the refusal of anything outside the root.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "server/web_root_paths.h"
#include "server_fixture.h"

namespace velvox::testing {
namespace {

using StaticFiles = WebRootTest;

TEST_F(StaticFiles, EmptyFileIsJustTheHeader) {
    Write("empty.css", "");
    EXPECT_EQ(RunRequest("GET /empty.css HTTP/1.0\r\n\r\n").sent, FileHead(0, "text/css"));
    // A query after the name leaves the file and its type as they are.
    EXPECT_EQ(RunRequest("GET /empty.css?v=2 HTTP/1.0\r\n\r\n").sent, FileHead(0, "text/css"));
    Write("empty.html", "");
    Exchange e = RunRequest("GET /empty.html HTTP/1.0\r\n\r\n");
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.sent, kPageHead);
}

TEST_F(StaticFiles, LargeFileGoesOutWhole) {
    std::string body;
    for (int i = 0; i < 30000; ++i)
        body += static_cast<char>('a' + i % 26);
    Write("big.mp3", body);
    EXPECT_EQ(RunRequest("GET /big.mp3 HTTP/1.0\r\n\r\n").sent,
              FileHead(body.size(), "audio/mpeg") + body);
}

// A capture stream that empties a file once the first send (the header) has
// gone, so a huge sparse file costs no reading.
class TruncatingStream : public CaptureStream {
  public:
    TruncatingStream(std::string request, std::string path)
        : CaptureStream(std::move(request)), path_(std::move(path)) {}
    int send(const char* data, std::size_t size) override {
        int result = CaptureStream::send(data, size);
        std::filesystem::resize_file(path_, 0);
        return result;
    }

  private:
    std::string path_;
};

TEST_F(StaticFiles, LengthOfFilesBeyond2GiBIsWhole) {
    const struct {
        std::uintmax_t size;
        const char* length;
    } cases[] = {
        {2147483647u, "2147483647"},
        {2147483648u, "2147483648"},
        {5000000000u, "5000000000"},
    };
    for (const auto& c : cases) {
        Write("huge.mp3", "");
        std::filesystem::resize_file(root_ + "/huge.mp3", c.size);
        TruncatingStream stream("GET /huge.mp3 HTTP/1.0\r\n\r\n", root_ + "/huge.mp3");
        HttpConnection connection;
        connection.set_socket(&stream);
        EXPECT_EQ(DoProxy(connection), 1);
        EXPECT_EQ(stream.sent(),
                  "HTTP/1.1 200 OK\nServer: Pelmora\nContent-Length: " + std::string(c.length) +
                      "\nConnection: close\nContent-Type: audio/mpeg\r\n\r\n")
            << c.length;
    }
}

TEST_F(StaticFiles, HtmlFileIsReadAsTextLineByLine) {
    // CR LF reads as LF; a lone CR stays; each line gets CR LF after its LF.
    Write("page.html", "one\r\ntwo\rthree\n\nlast");
    Exchange e = RunRequest("GET /page.html HTTP/1.0\r\n\r\n");
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.sent, std::string(kPageHead) + "one\n\r\ntwo\rthree\n\r\n\n\r\nlast\r\n");
}

TEST_F(StaticFiles, LongLinesArriveInPiecesOf8095) {
    const std::string line(9000, 'x');
    Write("long.html", line + "\r\nok\n");
    Exchange e = RunRequest("GET /long.html HTTP/1.0\r\n\r\n");
    EXPECT_EQ(e.sent, std::string(kPageHead) + line.substr(0, 8095) + "\r\n" + line.substr(8095) +
                          "\n\r\nok\n\r\n");
}

TEST_F(StaticFiles, DirectoryGetsTheErrorPageAlone) {
    std::filesystem::create_directories(root_ + "/images");
    Exchange e = RunRequest("GET /images HTTP/1.0\r\n\r\n");
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(e.sent, ErrorPage("Invalid File", "", 404));
    std::filesystem::create_directories(root_ + "/dir.html");
    e = RunRequest("GET /dir.html HTTP/1.0\r\n\r\n");
    EXPECT_EQ(e.sent, ErrorPage("Invalid File", "", 404));
}

TEST_F(StaticFiles, UnreadableFileGetsTheErrorPageAlone) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    Write("locked.css", "secret");
    std::filesystem::permissions(root_ + "/locked.css", std::filesystem::perms::none);
    Exchange e = RunRequest("GET /locked.css HTTP/1.0\r\n\r\n");
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(e.sent, ErrorPage("Invalid File", "", 404));
}

TEST_F(StaticFiles, PipeInTheWebRootIsRefusedWithoutWaitingForAWriter) {
    ASSERT_EQ(::mkfifo((root_ + "/pipe.css").c_str(), 0600), 0);
    Exchange e = RunRequest("GET /pipe.css HTTP/1.0\r\n\r\n");
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(e.sent, ErrorPage("Invalid File", "", 404));
}

TEST_F(StaticFiles, NothingOutsideTheWebRootIsServed) {
    // A secret beside the web root, and links inside it that lead out.
    const std::string outside = root_ + "-secret.txt";
    { std::ofstream(outside) << "secret"; }
    std::filesystem::create_directories(root_ + "/docs");
    std::filesystem::create_symlink(outside, root_ + "/link.txt");
    std::filesystem::create_directory_symlink("/", root_ + "/up");
    const std::string secret_name = std::filesystem::path(outside).filename().string();
    const std::string traversals[] = {
        "/docs/../../" + secret_name,
        "/docs\\..\\..\\" + secret_name,
        "/docs/..",
        "/..\\x",
        "/link.txt",
        "/up/etc/hostname",
    };
    for (const std::string& target : traversals) {
        Exchange e = RunRequest("GET " + target + " HTTP/1.0\r\n\r\n");
        EXPECT_EQ(e.result, 0) << target;
        EXPECT_EQ(e.sent,
                  ErrorPage("Invalid File " + target + " - relative paths not supported", ""))
            << target;
    }
    std::filesystem::remove(outside);
}

TEST_F(StaticFiles, AbsoluteLookingNamesStayUnderTheRoot) {
    // "//etc/passwd" is the web root's own "etc/passwd", which is not there.
    Exchange e = RunRequest("GET //etc/hostname HTTP/1.0\r\n\r\n");
    EXPECT_EQ(e.sent, ErrorPage("Invalid File //etc/hostname", "", 404));
    Write("etc/hostname", "mine");
    e = RunRequest("GET //etc/hostname HTTP/1.0\r\n\r\n");
    EXPECT_EQ(e.sent, FileHead(4, "") + "mine");
}

TEST_F(StaticFiles, LinksThatStayInsideAreServed) {
    Write("real/a.css", "inside");
    std::filesystem::create_directory_symlink(root_ + "/real", root_ + "/alias");
    EXPECT_EQ(RunRequest("GET /alias/a.css HTTP/1.0\r\n\r\n").sent,
              FileHead(6, "text/css") + "inside");
}

TEST_F(StaticFiles, WebRootWithTrailingSeparatorsFindsTheSameFile) {
    Write("a/b.css", "b");
    for (const std::string& root : {root_ + "/", root_ + "//", root_ + "///"}) {
        Publish(root, "playlist.html");
        EXPECT_EQ(RunRequest("GET /a/b.css HTTP/1.0\r\n\r\n").sent, FileHead(1, "text/css") + "b")
            << root;
    }
}

TEST(FullPath, SeparatorsAndDoubledSeparatorRule) {
    const struct {
        const char* root;
        const char* name;
        char separator;
        const char* full;
    } cases[] = {
        {"C:\\web", "/a/b.css", '\\', "C:\\web\\a\\b.css"},
        {"C:\\web\\", "/a/b.css", '\\', "C:\\web\\\\a\\b.css"},
        {"\\\\server\\share", "/x", '\\', "\\server\\share\\x"},
        {"C:\\web\\\\", "/x", '\\', "C:\\web\\\\x"},
        {"/srv/web", "/a/b.css", '/', "/srv/web/a/b.css"},
        {"/srv/web/", "/a/b.css", '/', "/srv/web//a/b.css"},
        {"/srv/web//", "/a", '/', "/srv/web//a"},
        {"/srv/web", "//a///b", '/', "/srv/web//a//b"},
        {"/srv/web", "playlist.html", '/', "/srv/web/playlist.html"},
        {"", "/a", '/', "/a"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FullPath(c.root, c.name, c.separator), c.full) << c.root << " + " << c.name;
}

TEST(FullPath, ParentSteps) {
    const struct {
        const char* name;
        bool parent;
    } cases[] = {
        {"/..", true},         {"/a/../b", true}, {"/a\\..\\b", true}, {"/a/..", true},
        {"/..a/b", false},     {"/a../b", false}, {"/a/.../b", false}, {"/a.b/c", false},
        {"/style.css", false}, {"..", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HasParentStep(c.name), c.parent) << c.name;
}

}  // namespace
}  // namespace velvox::testing
