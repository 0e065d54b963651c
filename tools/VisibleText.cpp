#include "VisibleText.hpp"

#include <array>
#include <cstddef>

namespace corvane::tools {

namespace {

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0U) == 0x80U;
}

// The length of the well-formed UTF-8 character of more than one byte at the start of `text`,
// or 0 when there is none there (RFC 3629: no overlong forms, no surrogates, nothing past
// U+10FFFF).
std::size_t utf8CharacterLength(std::string_view text) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80;  // the range of the second byte
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (!isContinuation(byte(i))) return 0;
    }
    return length;
}

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
void appendAscii(std::string& out, unsigned char byte) {
    switch (byte) {
        case '\\':
            out += "\\\\";
            return;
        case '\n':
            out += "\\n";
            return;
        case '\r':
            out += "\\r";
            return;
        case '\t':
            out += "\\t";
            return;
        default:
            break;
    }
    if (byte < 0x20 || byte == 0x7F) {
        appendHexEscape(out, byte);
    } else {
        out += static_cast<char>(byte);
    }
}

}  // namespace

std::string visibleText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const auto lead = static_cast<unsigned char>(text.front());
        if (lead < 0x80) {
            appendAscii(out, lead);
            text.remove_prefix(1);
            continue;
        }
        const std::size_t length = utf8CharacterLength(text);
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

}  // namespace corvane::tools
