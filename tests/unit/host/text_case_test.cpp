// Lower-casing for the case-blind playlist searches.
#include <gtest/gtest.h>

#include <string>

#include "host/text_case.h"

namespace {

TEST(TextCase, LettersLoweredAndMultiByteCharactersKept) {
    const struct {
        std::string text;
        std::string lower;
    } cases[] = {
        {"ABBA - Waterloo", "abba - waterloo"},
        {"already lower 123 -_.~", "already lower 123 -_.~"},
        {"", ""},
        // UTF-8: "Ä" and "É" are two bytes each; none of their bytes may change.
        {"\xC3\x84rger \xC3\x89T\xC3\x89", "\xC3\x84rger \xC3\x89t\xC3\x89"},
        // Bytes that look like letters only when taken apart stay as they are.
        {"\xE3\x81\x82Z", "\xE3\x81\x82z"},
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        host::lower_case(text);
        EXPECT_EQ(text, c.lower) << c.text;
    }
}

}  // namespace
