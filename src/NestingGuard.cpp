#include "NestingGuard.hpp"

#include <spdlog/spdlog.h>

namespace corvane::Plugins::Urdf {

namespace {

bool startsWith(std::string_view text, std::size_t at, std::string_view prefix) {
    return text.substr(at, prefix.size()) == prefix;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool startsElementName(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || byte >= 0x80;
}

// Position just past `terminator` at or after `from`, or the end of the text.
std::size_t skipPast(std::string_view text, std::size_t from, std::string_view terminator) {
    const std::size_t found = text.find(terminator, from);
    return found == std::string_view::npos ? text.size() : found + terminator.size();
}

// Scans a start tag from just after "<" to just past its ">". Quotes count only where an attribute
// value begins (after "=" and optional white space), as the parser reads them; a stray quote
// elsewhere does not hide the rest of the text. Sets `selfClosing` for "<name .../>".
std::size_t skipStartTag(std::string_view text, std::size_t at, bool& selfClosing) {
    selfClosing = false;
    bool afterEquals = false;
    while (at < text.size()) {
        const char c = text[at];
        if (c == '>') {
            selfClosing = at > 0 && text[at - 1] == '/';
            return at + 1;
        }
        if (c == '=') {
            afterEquals = true;
            ++at;
            continue;
        }
        if (afterEquals && (c == '"' || c == '\'')) {
            const std::size_t close = text.find(c, at + 1);
            if (close == std::string_view::npos) return text.size();
            at = close + 1;
            afterEquals = false;
            continue;
        }
        if (!isSpace(c)) afterEquals = false;
        ++at;
    }
    return at;
}

}  // namespace

std::size_t maxElementDepth(std::string_view xml) {
    std::size_t depth = 0;
    std::size_t deepest = 0;
    std::size_t at = 0;
    while (at < xml.size()) {
        const std::size_t open = xml.find('<', at);
        if (open == std::string_view::npos) break;
        if (startsWith(xml, open, "<!--")) {
            at = skipPast(xml, open + 4, "-->");
        } else if (startsWith(xml, open, "<![CDATA[")) {
            at = skipPast(xml, open + 9, "]]>");
        } else if (startsWith(xml, open, "<!") || startsWith(xml, open, "<?")) {
            // Declarations (DOCTYPE, ENTITY) and processing instructions: the parser ends them at
            // the first ">", so stopping there never hides an element from the count.
            at = skipPast(xml, open + 2, ">");
        } else if (startsWith(xml, open, "</")) {
            if (depth > 0) --depth;
            at = skipPast(xml, open + 2, ">");
        } else if (open + 1 < xml.size() && startsElementName(xml[open + 1])) {
            bool selfClosing = false;
            at = skipStartTag(xml, open + 1, selfClosing);
            if (!selfClosing) {
                ++depth;
                if (depth > deepest) deepest = depth;
            } else if (depth + 1 > deepest) {
                deepest = depth + 1;
            }
        } else {
            at = open + 1;
        }
    }
    return deepest;
}

bool nestingWithinLimit(std::string_view xml) {
    const std::size_t depth = maxElementDepth(xml);
    if (depth <= kMaxElementDepth) return true;
    SPDLOG_WARN("Refusing URDF document: elements nest {} levels deep, more than the {} allowed",
                depth, kMaxElementDepth);
    return false;
}

}  // namespace corvane::Plugins::Urdf
