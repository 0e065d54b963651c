// Names and messages from robot descriptions, made safe to show: the files are untrusted, and a
// name may hold line breaks, terminal control sequences or bytes that are no UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace corvane::tools {

// `text` with every byte that would not show as itself written as an escape: "\\" for a
// backslash, "\n", "\r" and "\t", "\xNN" for other control bytes, DEL and bytes that are not part
// of a well-formed UTF-8 character, and the two bytes of each control character U+0080 to
// U+009F. Other UTF-8 characters stay as they are, so distinct texts stay distinct.
//
// Text that is already escaped where it holds names (host text's quoted names, whose escapes
// start with a backslash) keeps its backslashes with `Backslashes::Kept`, so that the escapes
// read as written; only what would not show as itself is escaped then.
enum class Backslashes { Escaped, Kept };
std::string visibleText(std::string_view text, Backslashes backslashes = Backslashes::Escaped);

}  // namespace corvane::tools
