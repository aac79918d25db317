// Case-blind text for the playlist searches: folding a text so that letters
// that differ only in case become the same bytes, and finding folded text in
// titles kept as they are.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Appends text folded for case-blind comparison to out. On Windows this is the
// system code page's lower case (every letter the code page knows, a
// multi-byte character converted whole). On POSIX, whose text is UTF-8, it is
// Unicode case folding with composed characters ("BJÖRK" and "Björk" both
// become "björk", "ß" becomes "ss"); bytes that are no valid UTF-8 pass as
// they are. Everywhere, text whose bytes all lie below 0x80 folds to itself
// with A-Z turned into a-z and nothing else changed, and folded text never
// holds A-Z. The folded text may be longer or shorter than text.
void fold_case(std::string_view text, std::string& out);

// Returns true when every byte of text lies below 0x80.
bool is_ascii(std::string_view text);

// Returns true when text with A-Z read as a-z equals folded, byte for byte.
bool equals_lowered(std::string_view text, std::string_view folded);

// Returns the first place in the size bytes at text where needle occurs when
// the bytes A-Z of text are read as a-z (needle is folded text, which holds no
// A-Z; other bytes, NUL included, compare as they are). Returns nullptr when
// needle occurs nowhere, text when needle is empty.
const char* find_lowered(const char* text, std::size_t size, std::string_view needle);

}  // namespace platform
