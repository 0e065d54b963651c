// What one run of corvane-urdf is asked to do, as read from its command line.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace corvane::tools {

enum class OutputFormat { Text, Json };

// The name that stands for standard input (and, as output, standard output).
inline constexpr const char* standardStream = "-";

struct Options {
    // A path, or "-" for standard input.
    std::string input;
    // Where the rendered document goes; standard output when empty.
    std::optional<std::filesystem::path> output;
    OutputFormat format = OutputFormat::Text;
    int precision = 10;
    // Type segments of the import statement; the last one names the model.
    std::vector<std::string> importSegments;
    bool quiet = false;
};

}  // namespace corvane::tools
