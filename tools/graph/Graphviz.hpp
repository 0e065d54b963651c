// Drawing DOT source with Graphviz's dot program.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane::tools {

struct Drawing {
    // The picture exactly as dot wrote it (binary for PNG).
    std::string bytes;
    // What dot said on standard error although it succeeded, one line each.
    std::vector<std::string> warnings;
};

// Runs `dot -T<format>` (format "svg" or "png") on `dot`. Throws ToolError (usage or I/O) with a
// one-line message, not naming any input, when dot cannot be run or fails.
Drawing drawWithGraphviz(std::string_view dot, const std::string& format);

}  // namespace corvane::tools
