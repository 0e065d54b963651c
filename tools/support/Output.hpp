// Writing the rendered document where the command line asks for it.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace corvane::tools {

// Writes `content` to standard output when `destination` is empty. A regular file (or one that
// does not exist yet) is written to a temporary file in the same folder, which then replaces it,
// so a failed run never leaves a partial file behind. Anything else that exists, such as a
// device or a pipe, is written directly and never replaced. Throws ToolError (usage or I/O)
// naming the file and the cause.
void writeOutput(std::string_view content, const std::optional<std::filesystem::path>& destination);

}  // namespace corvane::tools
