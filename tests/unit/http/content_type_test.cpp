// The content types by name: the text after the first dot, as it is.
#include "http/content_type.h"

#include <gtest/gtest.h>

namespace velvox {
namespace {

TEST(ContentTypeTable, FirstDotAndWholeExtension) {
    const struct {
        const char* name;
        const char* type;
    } cases[] = {
        {"/a.jpg", "image/jpeg"},
        {"/a.jpeg", "image/jpeg"},
        {"/a.gif", "image/gif"},
        {"/a.png", "image/png"},
        {"/a.css", "text/css"},
        {"/a.wav", "audio/wav"},
        {"/a.avi", "video/x-msvideo"},
        {"/a.mov", "video/quicktime"},
        {"/a.mpg", "video/mpeg"},
        {"/a.mpeg", "video/mpeg"},
        {"/a.vrml", "model/vrml"},
        {"/a.mp3", "audio/mpeg"},
        {"/a.pls", "audio/x-scpls"},
        {"/a.bin", nullptr},
        {"/PHOTO.JPG", nullptr},
        {"/page.htm", nullptr},
        {"/noextension", nullptr},
        {"/my.pics/logo.png", nullptr},
        {"/a.tar.gz", nullptr},
        {"/a.CSS", nullptr},
        {"/playlist.cgi?x=a.jpg", nullptr},
        {"/a.html", "text/html"},
        {"/a.mp3x", nullptr},
        {"/no/dot", nullptr},
        {"/x.jpg?v=1", nullptr},
    };
    for (const auto& c : cases) {
        const char* type = ContentTypeFor(c.name);
        if (c.type == nullptr)
            EXPECT_EQ(type, nullptr) << c.name;
        else
            EXPECT_STREQ(type, c.type) << c.name;
    }
}

}  // namespace
}  // namespace velvox
