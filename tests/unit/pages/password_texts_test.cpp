// Texts built from the admin password keep its bytes as configured.
#include <cstdio>
#include <string>
#include <vector>

#include "pages_fixture.h"

namespace velvox::testing {
namespace {

// Returns format with every "%s" filled with text and "%d" with number.
std::string Fill(const char* format, const std::string& text, int number = 0) {
    std::string out;
    for (const char* p = format; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            out += text;
            ++p;
        } else if (p[0] == '%' && p[1] == 'd') {
            out += std::to_string(number);
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

const char kControlTable[] =
    "<table bordercolor=white border=1><tr><td colspan=5>Winamp Admin Control</td></tr><tr><td><a "
    "href=\"admin.cgi?pass=%s&action=prev\">Prev</td><td><a "
    "href=\"admin.cgi?pass=%s&action=play\">Play</td><td><a "
    "href=\"admin.cgi?pass=%s&action=pause\">Pause</td><td><a "
    "href=\"admin.cgi?pass=%s&action=stop\">Stop</td><td><a "
    "href=\"admin.cgi?pass=%s&action=next\">Next</td><tr><td colspan=5><a "
    "href=\"admin.cgi?pass=%s&action=refreshcache\">Refresh Playlist Cache</td></tr></table>";

class PasswordTexts : public PagesFixture {};

TEST_F(PasswordTexts, PasswordGoesInAsConfigured) {
    const std::string pw = "a<b>&c\"d'e%41";
    SetSettings(pw.c_str(), "2");
    LoadPlaylist(NumberedTitles(10));
    InsertRequest(3, "a");
    // A password holding "&" cannot travel in a link's query; the view is
    // the administrator's all the same.
    PageQuery q = Query("/admin.cgi?current=2");
    q.isAdmin = true;
    struct Case {
        const char* line;
        std::string expected;
    } cases[] = {
        {"%%ADMINWINAMPCONTROL%%", Fill(kControlTable, pw) + "\r\n"},
        {"%%ADMINHIDDENFIELD%%", Fill("<input type=hidden name=pass value=\"%s\">", pw) + "\r\n"},
        {"%%ADMINPASSWORD%%", Fill("&pass=%s", pw) + "\r\n"},
        {"%%PLAYLISTPOS%%:%%PLAYLISTENTRY%%",
         Fill("2&pass=%s:Song 2\r\n", pw) + Fill("3&pass=%s:Song 3\r\n", pw)},
        {"%%QUEUELISTPOS%%:%%QUEUELISTENTRY%%",
         Fill("<a href=\"admin.cgi?pass=%s&action=delete&listpos=1\">Delete</a>&nbsp;1", pw) +
             ":Song 3\r\n"},
        {"%%NAV_PREV%%", Fill("<a href=\"admin.cgi?pass=%s&current=0\"><...Prev</a>", pw) + "\r\n"},
        {"%%NAV_NEXT%%", Fill("<a href=\"admin.cgi?pass=%s&current=4\">Next..></a>", pw) + "\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Render(c.line, q), c.expected) << c.line;
}

}  // namespace
}  // namespace velvox::testing
