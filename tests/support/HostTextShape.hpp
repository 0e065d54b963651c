// The shape that printed host text keeps whatever names and values a robot description holds:
// one model, balanced braces outside quotes, every quote closed on its own line, one closing
// "end NAME;". Header-only, so that the fuzz targets can use it too.
#pragma once

#include <corvane/Render.hpp>
#include <string>
#include <string_view>

namespace corvane::testing {

// An empty string when `text` has the shape of the one model named `modelName`; otherwise what
// is wrong with it.
inline std::string hostTextProblem(std::string_view text, std::string_view modelName) {
    const std::string expectedEnd = "end " + Render::quoteName(modelName) + ";";
    if (!text.starts_with("model ")) return "text does not start with \"model \"";
    long braces = 0;
    std::size_t endLines = 0;
    std::string_view lastLine;
    std::size_t lineStart = 0;
    while (lineStart < text.size()) {
        std::size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string_view::npos) return "text does not end with a newline";
        const std::string_view line = text.substr(lineStart, lineEnd - lineStart);
        char quote = '\0';
        for (std::size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (quote != '\0') {
                if (c == '\\') {
                    ++i;
                } else if (c == quote) {
                    quote = '\0';
                }
            } else if (c == '\'' || c == '"') {
                quote = c;
            } else if (c == '{') {
                ++braces;
            } else if (c == '}' && --braces < 0) {
                return "closing brace without an opening one: " + std::string(line);
            }
        }
        if (quote != '\0') return "quote left open: " + std::string(line);
        if (line.starts_with("end ")) ++endLines;
        lastLine = line;
        lineStart = lineEnd + 1;
    }
    if (braces != 0) return "braces left open: " + std::to_string(braces);
    if (endLines != 1) return std::to_string(endLines) + " lines start with \"end \"";
    if (lastLine != expectedEnd) return "last line is " + std::string(lastLine);
    return {};
}

}  // namespace corvane::testing
