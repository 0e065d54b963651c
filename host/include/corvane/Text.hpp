// Pieces of text handling that every printer of names and literals shares: the UTF-8 check and
// the backslash escapes.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace corvane::Text {

// The length of the well-formed UTF-8 sequence that starts `text` (1 for an ASCII byte), or 0
// when none starts there (RFC 3629: no overlong forms, no surrogates, nothing past U+10FFFF, no
// sequence cut short by the end of `text`). `text` must not be empty.
std::size_t utf8SequenceLength(std::string_view text);

// The two-character escape of a backslash, a line feed, a carriage return or a tab ("\\\\",
// "\\n", "\\r", "\\t"); empty for every other byte. Each printer adds the escape of its own quote
// and its own way of writing the remaining control bytes.
std::string_view shortEscape(char c);

// "\\u00XX" with lowercase hexadecimal digits: how JSON and host text write a control byte.
std::array<char, 6> unicodeEscape(unsigned char byte);

}  // namespace corvane::Text
