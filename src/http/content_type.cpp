// The content type table.
#include "http/content_type.h"

#include <cstring>

namespace velvox {

const ContentTypeRow ContentTypeTable[14] = {
    {"jpg", "image/jpeg"},      {"jpeg", "image/jpeg"},     {"gif", "image/gif"},
    {"png", "image/png"},       {"css", "text/css"},        {"wav", "audio/wav"},
    {"avi", "video/x-msvideo"}, {"mov", "video/quicktime"}, {"mpg", "video/mpeg"},
    {"mpeg", "video/mpeg"},     {"vrml", "model/vrml"},     {"mp3", "audio/mpeg"},
    {"pls", "audio/x-scpls"},   {"html", "text/html"},
};

const char* ContentTypeFor(const char* target) {
    const char* dot = std::strchr(target, '.');
    if (dot == nullptr)
        return nullptr;
    for (const ContentTypeRow& row : ContentTypeTable) {
        if (std::strcmp(dot + 1, row.extension) == 0)
            return row.type;
    }
    return nullptr;
}

}  // namespace velvox
