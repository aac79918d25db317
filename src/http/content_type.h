// The content types of files, chosen by the text after the first "." of the
// request target.
#pragma once

namespace velvox {

struct ContentTypeRow {
    const char* extension;
    const char* type;
};

// The rows in the order they are tried; extensions compare case-sensitively.
extern const ContentTypeRow ContentTypeTable[14];

// Returns the type whose extension equals the whole text after the first "."
// of target, or nullptr when there is no "." or no row matches.
const char* ContentTypeFor(const char* target);

}  // namespace velvox
