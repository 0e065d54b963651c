#include "lsp/Text.hpp"

#include <algorithm>

namespace corvane::tools::lsp {

namespace {

// The length of the UTF-8 sequence that starts with `lead` (1 for a stray continuation byte, so
// that broken text still advances).
std::size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

}  // namespace

TextLines::TextLines(std::string_view text) : text_(text), starts_{0} {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') starts_.push_back(i + 1);
    }
}

Position TextLines::position(std::size_t offset) const {
    offset = std::min(offset, text_.size());
    const auto after = std::upper_bound(starts_.begin(), starts_.end(), offset);
    const auto line = static_cast<int>(after - starts_.begin()) - 1;
    int character = 0;
    for (std::size_t i = starts_[static_cast<std::size_t>(line)]; i < offset;) {
        const std::size_t length = sequenceLength(static_cast<unsigned char>(text_[i]));
        character += length == 4 ? 2 : 1;
        i += length;
    }
    return {line, character};
}

std::size_t TextLines::offset(Position position) const {
    if (position.line < 0) return 0;
    if (position.line >= lineCount()) return text_.size();
    const std::string_view text = line(position.line);
    std::size_t i = 0;
    for (int character = 0; i < text.size() && character < position.character;) {
        const std::size_t length = sequenceLength(static_cast<unsigned char>(text[i]));
        character += length == 4 ? 2 : 1;
        i = std::min(i + length, text.size());
    }
    return starts_[static_cast<std::size_t>(position.line)] + i;
}

std::string_view TextLines::line(int line) const {
    if (line < 0 || line >= lineCount()) return {};
    const std::size_t begin = starts_[static_cast<std::size_t>(line)];
    std::size_t end =
        line + 1 < lineCount() ? starts_[static_cast<std::size_t>(line) + 1] - 1 : text_.size();
    if (end > begin && text_[end - 1] == '\r') --end;
    return text_.substr(begin, end - begin);
}

}  // namespace corvane::tools::lsp
