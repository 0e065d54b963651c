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

// `text` with each line break (CR or LF) turned into a space, so that a message that may span
// lines (an exception's text, a library's diagnostic) ends up on one.
std::string onOneLine(std::string text);

// Names in messages, three ways, each kept where its bytes show in the tool's outputs:
//
// `text` between single quotes, as it is: the caller makes the name visible first, or the whole
// message afterwards (mesh and package messages, the 3D page's warnings).
std::string singleQuoted(std::string_view text);
//
// A name as host text writes it, always between single quotes: host text leaves a plain
// identifier bare (which gets the quotes here) and quotes every other name itself, with its
// escapes (the checks' findings). Render::quoteName alone, bare plain identifiers and all, is
// how the summary writes names.
std::string hostNameQuoted(std::string_view name);

}  // namespace corvane::tools
