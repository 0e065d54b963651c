// File name patterns of includes, matched as Python's glob module matches them, since the files
// an include names are those the reference's glob finds.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::xacro {

// Whether NAME matches PATTERN as fnmatch matches a file name on POSIX: '*' any text, '?' one
// character, '[abc]', '[a-z]' and '[!abc]' one character of a set or out of it; a '[' without
// its ']' is itself. Characters are those of the UTF-8 text, not bytes.
bool matchesPattern(std::string_view pattern, std::string_view name);

// Whether TEXT holds a character that makes it a pattern ('*', '?' or '[').
bool hasPatternCharacters(std::string_view text);

// The paths PATTERN names below FOLDER (PATTERN itself when absolute): each part of it with
// pattern characters matched against the folder's entries, names starting with '.' only by a
// part that starts with '.', parts before the last matching folders only. Sorted as strings.
std::vector<std::string> globMatches(const std::filesystem::path& folder,
                                     const std::string& pattern);

}  // namespace corvane::xacro
