// Case folding and the search of folded text for the case-blind playlist
// searches (the POSIX folding: UTF-8 text).
#include <gtest/gtest.h>

#include <string>

#include "platform/text_case.h"

namespace {

TEST(TextCase, UnicodeFoldedAndInvalidBytesKept) {
    const struct {
        std::string text;
        std::string folded;
    } cases[] = {
        {"ABBA - Waterloo", "abba - waterloo"},
        {"already folded 123 -_.~", "already folded 123 -_.~"},
        {"", ""},
        // "BJÖRK" and "Björk" fold alike; "ÉTÉ" becomes "été".
        {"BJ\xC3\x96RK", "bj\xC3\xB6rk"},
        {"Bj\xC3\xB6rk", "bj\xC3\xB6rk"},
        {"\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9"},
        // Folding may lengthen: "ß" and "ẞ" become "ss".
        {"Stra\xC3\x9F"
         "E",
         "strasse"},
        {"\xE1\xBA\x9E", "ss"},
        // Greek and Cyrillic capitals; a decomposed "É" is composed.
        {"\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x99\xCE\x91", "\xCF\x83\xCE\xBF\xCF\x86\xCE\xB9\xCE\xB1"},
        {"\xD0\x9C\xD0\x98\xD0\xA0", "\xD0\xBC\xD0\xB8\xD1\x80"},
        {"E\xCC\x81t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},
        // Bytes of no valid character pass as they are, the rest around them
        // is folded: a lone continuation byte, a cut sequence, an overlong
        // form, an encoded surrogate, 0xFF.
        {"A\x80"
         "B",
         "a\x80"
         "b"},
        {"\xC3\x96\xC3", "\xC3\xB6\xC3"},
        {"X\xC0\xAFY", "x\xC0\xAFy"},
        {"\xED\xA0\x80Z", "\xED\xA0\x80z"},
        {"\xFF\xFE\xC3\x89", "\xFF\xFE\xC3\xA9"},
        // Japanese has no case; it stays as it is.
        {"\xE3\x81\x82Z", "\xE3\x81\x82z"},
    };
    for (const auto& c : cases) {
        std::string out = "kept|";
        platform::fold_case(c.text, out);
        EXPECT_EQ(out, "kept|" + c.folded) << c.text;
    }
}

TEST(TextCase, FoldedTextFoundWithCaseIgnoredInAToZOnly) {
    // Long enough texts take the wide search, short ones the plain one.
    const std::string pad(40, '.');
    const struct {
        std::string text;
        std::string needle;
        long at;  // -1: nowhere
    } cases[] = {
        {"Hello World", "world", 6},
        {"Hello World", "WORLD", -1},  // a needle holds no A-Z: taken as it is
        {pad + "Hello World" + pad, "o w", 44},
        {pad + "qyxzzlE" + pad + "QYXZZLE", "qyxzzle", 40},
        {pad + "\xC3\x89t\xC3\xA9", "\xC3\xA9t\xC3\xA9", -1},  // bytes above 0x7F as they are
        {pad + "\xC3\xA9T\xC3\xA9", "\xC3\xA9t\xC3\xA9", 40},
        {pad + std::string("\0ab", 3) + pad, std::string("\0ab", 2), 40},
        {"abc", "", 0},
        {"ab", "abc", -1},
        {"", "a", -1},
        {"[\\]^_`{", "[\\]^_`{", 0},  // the bytes around A-Z are not letters
        {"@[`{", "`{", 2},
    };
    for (const auto& c : cases) {
        const char* found = platform::find_lowered(c.text.data(), c.text.size(), c.needle);
        EXPECT_EQ(found == nullptr ? -1L : static_cast<long>(found - c.text.data()), c.at)
            << c.text << " / " << c.needle;
    }
    // Every place of a long text, so every lane of the wide search and its end.
    for (std::size_t at = 0; at + 3 <= 70; ++at) {
        std::string text(70, 'x');
        text.replace(at, 3, "AbC");
        const char* found = platform::find_lowered(text.data(), text.size(), "abc");
        ASSERT_NE(found, nullptr) << at;
        EXPECT_EQ(static_cast<std::size_t>(found - text.data()), at);
    }
}

TEST(TextCase, AsciiTestAndLoweredComparison) {
    EXPECT_TRUE(platform::is_ascii("Plain ASCII ~\x7F"));
    EXPECT_TRUE(platform::is_ascii(""));
    EXPECT_FALSE(platform::is_ascii("seven bytes and then \x80"));
    EXPECT_FALSE(platform::is_ascii("\xC3\x89"));
    EXPECT_TRUE(platform::equals_lowered("AbC-1", "abc-1"));
    EXPECT_FALSE(platform::equals_lowered("AbC-1", "abc-"));
    EXPECT_FALSE(platform::equals_lowered("\xC3\x89", "\xC3\xA9"));
    EXPECT_TRUE(platform::equals_lowered("", ""));
}

}  // namespace
