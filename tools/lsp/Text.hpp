// Positions in a document's text as the protocol counts them: lines from 0, characters in UTF-16
// code units within the line (what every client speaks); the text itself is UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::tools::lsp {

struct Position {
    int line = 0;
    int character = 0;
    auto operator<=>(const Position&) const = default;
};

struct Range {
    Position start;
    Position end;
};

// The lines of a text, for turning byte offsets into positions and back.
class TextLines {
  public:
    explicit TextLines(std::string_view text);

    Position position(std::size_t offset) const;
    // The byte offset of `position`, clamped to its line (and the text).
    std::size_t offset(Position position) const;
    Range range(std::size_t begin, std::size_t end) const {
        return {position(begin), position(end)};
    }
    // The whole of the 0-based line `line` (without its line break); empty past the end.
    std::string_view line(int line) const;
    int lineCount() const { return static_cast<int>(starts_.size()); }

  private:
    std::string_view text_;
    std::vector<std::size_t> starts_;
};

}  // namespace corvane::tools::lsp
