#include "support/VisibleText.hpp"

#include <array>
#include <corvane/Render.hpp>
#include <corvane/Text.hpp>
#include <cstddef>

namespace corvane::tools {

namespace {

// U+0080 to U+009F: control characters that some terminals act upon.
bool isC1Control(std::string_view character) {
    return character.size() == 2 && static_cast<unsigned char>(character[0]) == 0xC2 &&
           static_cast<unsigned char>(character[1]) < 0xA0;
}

void appendHexEscape(std::string& out, unsigned char byte) {
    constexpr std::array<char, 16> digits{'0', '1', '2', '3', '4', '5', '6', '7',
                                          '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};
    out += "\\x";
    out += digits[byte >> 4U];
    out += digits[byte & 0x0FU];
}

// Appends one ASCII byte, escaped when it would not show as itself.
void appendAscii(std::string& out, unsigned char byte, Backslashes backslashes) {
    if (byte == '\\' && backslashes == Backslashes::Kept) {
        out += '\\';
    } else if (const std::string_view escaped = Text::shortEscape(static_cast<char>(byte));
               !escaped.empty()) {
        out += escaped;
    } else if (byte < 0x20 || byte == 0x7F) {
        appendHexEscape(out, byte);
    } else {
        out += static_cast<char>(byte);
    }
}

}  // namespace

std::string visibleText(std::string_view text, Backslashes backslashes) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const auto lead = static_cast<unsigned char>(text.front());
        if (lead < 0x80) {
            appendAscii(out, lead, backslashes);
            text.remove_prefix(1);
            continue;
        }
        const std::size_t length = Text::utf8SequenceLength(text);
        if (length == 0) {
            appendHexEscape(out, lead);
            text.remove_prefix(1);
        } else if (isC1Control(text.substr(0, length))) {
            for (const char byte : text.substr(0, length)) {
                appendHexEscape(out, static_cast<unsigned char>(byte));
            }
            text.remove_prefix(length);
        } else {
            out.append(text.substr(0, length));
            text.remove_prefix(length);
        }
    }
    return out;
}

std::string onOneLine(std::string text) {
    for (auto& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return text;
}

std::string singleQuoted(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '\'';
    quoted += text;
    quoted += '\'';
    return quoted;
}

std::string hostNameQuoted(std::string_view name) {
    if (Render::isPlainIdentifier(name)) return singleQuoted(name);
    return Render::quoteName(name);
}

}  // namespace corvane::tools
