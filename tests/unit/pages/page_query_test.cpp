// Query splitting, page query parsing with the admin decision, and the
// decoding of escapes.
#include <string>
#include <utility>
#include <vector>

#include "pages_fixture.h"

namespace velvox::testing {
namespace {

using Pieces = std::vector<std::pair<std::string, std::string>>;

Pieces Split(const std::string& target) {
    Pieces pieces;
    ForEachQueryPiece(target.c_str(), [&](std::string_view key, std::string_view value) {
        pieces.emplace_back(std::string(key), std::string(value));
    });
    return pieces;
}

TEST(QueryPieces, SplitsByTheSharedRules) {
    const std::string longKey(300, 'k');
    const std::string longValue(300, 'v');
    // "/p?a=" + 1014 x is 1019 characters: the 1023-character copy keeps "&b=1".
    const std::string nearLimit = "/p?a=" + std::string(1014, 'x') + "&b=12345";
    struct Case {
        std::string target;
        Pieces expected;
    } cases[] = {
        {"/playlist.cgi", {}},
        {"/playlist.cgi?", {}},
        {"/p?a=1&b=2", {{"a", "1"}, {"b", "2"}}},
        {"/p?&&a=1&&", {{"a", "1"}}},
        {"/p?=5&current=3", {{"", "5"}, {"current", "3"}}},
        {"/p?flag&a=1&b", {{"a", "1"}}},
        {"/p?a=b=c", {{"a", "b=c"}}},
        {"/p?a=", {{"a", ""}}},
        {"/p?x?y=1", {{"x?y", "1"}}},
        {"/p?a=1&a=2", {{"a", "1"}, {"a", "2"}}},
        {"/p?" + longKey + "=" + longValue, {{std::string(254, 'k'), std::string(254, 'v')}}},
        {nearLimit, {{"a", std::string(254, 'x')}, {"b", "1"}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Split(c.target), c.expected) << c.target;
}

TEST(QueryPieces, SplittingTwoTargetsInTurnKeepsEachPosition) {
    // The position within a query is the call's own: a split started inside
    // another split's visitor does not disturb it.
    Pieces outer;
    Pieces inner;
    ForEachQueryPiece("/p?a=1&b=2&c=3", [&](std::string_view key, std::string_view value) {
        outer.emplace_back(std::string(key), std::string(value));
        ForEachQueryPiece("/q?x=9", [&](std::string_view k, std::string_view v) {
            inner.emplace_back(std::string(k), std::string(v));
        });
    });
    EXPECT_EQ(outer, (Pieces{{"a", "1"}, {"b", "2"}, {"c", "3"}}));
    EXPECT_EQ(inner.size(), 3u);
}

TEST(HexEscape, ValueOfUpToTwoCharacters) {
    struct Case {
        const char* digits;
        std::size_t count;
        unsigned expected;
    } cases[] = {
        {"41", 2, 65}, {"4", 1, 4},  {"4z", 2, 64}, {"z4", 2, 0},  {"fF", 2, 255}, {"a0", 2, 160},
        {"", 0, 0},    {"41", 1, 4}, {"4a", 2, 74}, {"4A", 2, 74}, {"g", 1, 0},    {"9", 1, 9},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HexEscapeValue(c.digits, c.count), c.expected) << c.digits << "/" << c.count;
}

TEST(DecodeValue, PlusSignsAndEscapesAsFormsEncodeThem) {
    struct Case {
        std::string in;
        std::string expected;
    } cases[] = {
        {"%41b+c", "Ab c"}, {"a%2Bb", "a+b"},     {"%4a", "J"},
        {"%4A", "J"},       {"x%00y", "x"},       {"%", ""},
        {"ab%", "ab"},      {"ab%4", "ab\x04"},   {"%zz", ""},
        {"a%4zb", "a@b"},   {"%41%42%43", "ABC"}, {"%C3%A9t%C3%A9", "\xC3\xA9t\xC3\xA9"},
        {"++", "  "},       {"plain", "plain"},   {"", ""},
        {"C%2B%2B", "C++"}, {"%2B+%2b", "+ +"},   {"%20+", "  "},
    };
    for (const Case& c : cases) {
        std::vector<char> buffer(c.in.begin(), c.in.end());
        buffer.push_back('\0');
        DecodeQueryValue(buffer.data());
        EXPECT_EQ(std::string(buffer.data()), c.expected) << c.in;
    }
}

TEST(DecodeValue, NeverReadsPastTheEndOfTheValue) {
    // Digits stand after the terminating zero: they must not join the escape.
    char cutAfterOne[] = {'a', '%', '4', '\0', '1', '\0'};
    DecodeQueryValue(cutAfterOne);
    EXPECT_EQ(std::string(cutAfterOne), "a\x04");
    char cutAtPercent[] = {'b', '%', '\0', '4', '1', '\0'};
    DecodeQueryValue(cutAtPercent);
    EXPECT_EQ(std::string(cutAtPercent), "b");
}

class PageQueryTest : public PagesFixture {};

TEST_F(PageQueryTest, FieldsOfAPageRequest) {
    SetSettings("s3cret");
    struct Case {
        std::string target;
        std::string psearch, startswith, current, errorCode;
        bool isAdmin, psearchGiven, startswithGiven;
    } cases[] = {
        {"/playlist.cgi", "", "", "", "", false, false, false},
        {"/playlist.cgi?current=25&current=50", "", "", "50", "", false, false, false},
        {"/playlist.cgi?errorCode=1234", "", "", "", "123", false, false, false},
        {"/playlist.cgi?current=" + std::string(30, '7'), "", "", std::string(24, '7'), "", false,
         false, false},
        {"/playlist.cgi?current=%41", "", "", "%41", "", false, false, false},
        {"/playlist.cgi?psearch=%41b+c", "Ab c", "", "", "", false, true, false},
        {"/playlist.cgi?psearch=a%2Bb", "a+b", "", "", "", false, true, false},
        {"/playlist.cgi?startswith=Fun%2B+L", "", "Fun+ L", "", "", false, false, true},
        {"/playlist.cgi?psearch=x%00y", "x", "", "", "", false, true, false},
        {"/playlist.cgi?psearch=%", "", "", "", "", false, false, false},
        {"/playlist.cgi?psearch=", "", "", "", "", false, false, false},
        {"/playlist.cgi?psearch&current=2", "", "", "2", "", false, false, false},
        {"/playlist.cgi?=5&current=3", "", "", "3", "", false, false, false},
        {"/playlist.cgi?&&current=3&&", "", "", "3", "", false, false, false},
        {"/playlist.cgi?Current=3", "", "", "", "", false, false, false},
        {"/playlist.cgi?startswith=The+B&psearch=love", "love", "The B", "", "", false, true, true},
        {"/playlist.cgi?psearch=a&psearch=b", "b", "", "", "", false, true, false},
        {"/admin.cgi?pass=s3cret", "", "", "", "", true, false, false},
        {"/admin.cgi?pass=s3cret&pass=wrong", "", "", "", "", false, false, false},
        {"/admin.cgi?pass=wrong&pass=s3cret", "", "", "", "", true, false, false},
        {"/admin.cgi?Pass=s3cret", "", "", "", "", false, false, false},
        {"/admin.cgi?pass=S3CRET", "", "", "", "", false, false, false},
        {"/admin.cgi?pass=s3cre%74", "", "", "", "", false, false, false},
        {"/admin.cgi?pass=", "", "", "", "", false, false, false},
    };
    for (const Case& c : cases) {
        const PageQuery q = Query(c.target.c_str());
        EXPECT_EQ(std::string(q.psearch), c.psearch) << c.target;
        EXPECT_EQ(std::string(q.startswith), c.startswith) << c.target;
        EXPECT_EQ(std::string(q.current), c.current) << c.target;
        EXPECT_EQ(std::string(q.errorCode), c.errorCode) << c.target;
        EXPECT_EQ(q.isAdmin, c.isAdmin) << c.target;
        EXPECT_EQ(q.psearchGiven, c.psearchGiven) << c.target;
        EXPECT_EQ(q.startswithGiven, c.startswithGiven) << c.target;
    }
}

TEST_F(PageQueryTest, PasswordsAreComparedVerbatim) {
    // A password with a space: a form sends it as "+", which is not decoded.
    SetSettings("my pass");
    EXPECT_FALSE(Query("/admin.cgi?pass=my+pass").isAdmin);
    EXPECT_FALSE(Query("/admin.cgi?pass=my%20pass").isAdmin);
    SetSettings("a=b&c");
    EXPECT_FALSE(Query("/admin.cgi?pass=a=b&c").isAdmin);
    SetSettings("a=b");
    EXPECT_TRUE(Query("/admin.cgi?pass=a=b").isAdmin);
}

TEST_F(PageQueryTest, NoConfiguredPasswordMakesNobodyAdmin) {
    SetSettings("");
    for (const char* target : {"/admin.cgi?pass=", "/admin.cgi?pass=x", "/admin.cgi"})
        EXPECT_FALSE(Query(target).isAdmin) << target;
}

}  // namespace
}  // namespace velvox::testing
