// The result texts: every known code's exact text, the empty text otherwise.
#include "core/result_codes.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace velvox {
namespace {

TEST(RequestErrorTextTable, FixedTextsWithCodeTwelveEmpty) {
    const char* const expected[] = {
        "No Error",
        "Request Accepted!",
        "Too many songs from the same album",
        "Too many consecutive songs from the same album",
        "Too many songs from the same artist",
        "Too many consecutive songs from the same artist",
        "Too many consecutive songs from the same artist/album/title",
        "You cannot request any more songs at this time",
        "The request queue is full",
        "The admin password you supplied was invalid",
        "Queue position deleted!",
        "Position out of range",
        "",
        "This song was played recently",
    };
    for (int code = 0; code < 14; ++code)
        EXPECT_STREQ(RequestErrorText(code), expected[code]) << code;
    for (int code : {-1, 14, 100, INT32_MIN, INT32_MAX})
        EXPECT_STREQ(RequestErrorText(code), "") << code;
}

}  // namespace
}  // namespace velvox
