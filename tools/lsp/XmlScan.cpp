#include "lsp/XmlScan.hpp"

#include <algorithm>
#include <cctype>

namespace corvane::tools::lsp {

namespace {

bool isNameCharacter(char c) {
    const auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) || c == '_' || c == ':' || c == '-' || c == '.' || u >= 0x80;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isIdentifierStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}

bool isIdentifierCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// Reads the name starting at `i`; returns where it ends.
std::size_t nameEnd(std::string_view text, std::size_t i) {
    while (i < text.size() && isNameCharacter(text[i])) ++i;
    return i;
}

// After a comment, a CDATA section, a processing instruction or a declaration that starts at
// `i`; npos when `i` starts none of them.
std::size_t afterSpecial(std::string_view text, std::size_t i) {
    const auto skipTo = [&](std::string_view close) {
        const std::size_t found = text.find(close, i);
        return found == std::string_view::npos ? text.size() : found + close.size();
    };
    const std::string_view rest = text.substr(i);
    if (rest.starts_with("<!--")) return skipTo("-->");
    if (rest.starts_with("<![CDATA[")) return skipTo("]]>");
    if (rest.starts_with("<?")) return skipTo("?>");
    if (rest.starts_with("<!")) return skipTo(">");
    return std::string_view::npos;
}

// Reads the attributes and the end of the start tag whose name ends at `i`.
std::size_t readAttributes(std::string_view text, std::size_t i, XmlTag& tag) {
    while (i < text.size()) {
        while (i < text.size() && isSpace(text[i])) ++i;
        if (i >= text.size()) break;
        if (text[i] == '>') return i + 1;
        if (text[i] == '/' && i + 1 < text.size() && text[i + 1] == '>') {
            tag.selfClosing = true;
            return i + 2;
        }
        if (text[i] == '<') return i;  // a tag left open while typing
        XmlAttribute attribute;
        attribute.nameBegin = i;
        i = nameEnd(text, i);
        if (i == attribute.nameBegin) {
            ++i;  // a character no name holds
            continue;
        }
        attribute.nameEnd = i;
        attribute.name = std::string(text.substr(attribute.nameBegin, i - attribute.nameBegin));
        while (i < text.size() && isSpace(text[i])) ++i;
        if (i < text.size() && text[i] == '=') {
            ++i;
            while (i < text.size() && isSpace(text[i])) ++i;
            if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
                const char quote = text[i];
                attribute.valueBegin = ++i;
                const std::size_t close = text.find(quote, i);
                i = close == std::string_view::npos ? text.size() : close;
                attribute.valueEnd = i;
                attribute.value =
                    std::string(text.substr(attribute.valueBegin, i - attribute.valueBegin));
                if (i < text.size()) ++i;
            }
        } else {
            attribute.valueBegin = attribute.valueEnd = i;
        }
        tag.attributes.push_back(std::move(attribute));
    }
    return text.size();
}

}  // namespace

const XmlAttribute* XmlTag::attribute(std::string_view name) const {
    const auto found = std::find_if(attributes.begin(), attributes.end(),
                                    [name](const XmlAttribute& a) { return a.name == name; });
    return found == attributes.end() ? nullptr : &*found;
}

XmlScan::XmlScan(std::string_view text) {
    std::vector<int> open;
    std::size_t i = 0;
    while ((i = text.find('<', i)) != std::string_view::npos) {
        if (const std::size_t after = afterSpecial(text, i); after != std::string_view::npos) {
            i = after;
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '/') {
            const std::size_t end = nameEnd(text, i + 2);
            const std::string_view name = text.substr(i + 2, end - i - 2);
            // The innermost open element of that name ends here, and those inside it.
            const auto match = std::find_if(open.rbegin(), open.rend(), [&](int index) {
                return tags_[static_cast<std::size_t>(index)].name == name;
            });
            if (match != open.rend()) {
                const auto keep = static_cast<std::size_t>(open.rend() - match) - 1;
                for (std::size_t k = keep; k < open.size(); ++k) {
                    tags_[static_cast<std::size_t>(open[k])].contentEnd = i;
                }
                open.resize(keep);
            }
            const std::size_t close = text.find('>', end);
            i = close == std::string_view::npos ? text.size() : close + 1;
            continue;
        }
        XmlTag tag;
        tag.begin = i;
        tag.nameBegin = i + 1;
        tag.nameEnd = nameEnd(text, i + 1);
        tag.name = std::string(text.substr(tag.nameBegin, tag.nameEnd - tag.nameBegin));
        tag.end = readAttributes(text, tag.nameEnd, tag);
        tag.parent = open.empty() ? -1 : open.back();
        tag.contentEnd = tag.selfClosing ? tag.end : text.size();
        const bool opens = !tag.selfClosing;
        i = std::max(tag.end, i + 1);
        tags_.push_back(std::move(tag));
        if (opens) open.push_back(static_cast<int>(tags_.size()) - 1);
    }
}

const XmlTag* XmlScan::tagAt(std::size_t offset) const {
    for (const auto& tag : tags_) {
        if (tag.begin <= offset && offset < std::max(tag.end, tag.begin + 1)) return &tag;
        if (tag.begin > offset) break;
    }
    return nullptr;
}

const XmlTag* XmlScan::elementAround(std::size_t offset) const {
    const XmlTag* around = nullptr;
    for (const auto& tag : tags_) {
        if (tag.begin > offset) break;
        if (!tag.selfClosing && tag.end <= offset && offset <= tag.contentEnd) around = &tag;
    }
    return around;
}

std::vector<const XmlTag*> XmlScan::children(int index) const {
    std::vector<const XmlTag*> children;
    for (const auto& tag : tags_) {
        if (tag.parent == index) children.push_back(&tag);
    }
    return children;
}

std::vector<NameInExpression> namesInExpressions(std::string_view text) {
    std::vector<NameInExpression> names;
    std::size_t i = 0;
    while ((i = text.find('$', i)) != std::string_view::npos) {
        if (i + 1 >= text.size()) break;
        if (text[i + 1] == '{') {
            const std::size_t close = text.find('}', i + 2);
            const std::size_t end = close == std::string_view::npos ? text.size() : close;
            for (std::size_t k = i + 2; k < end;) {
                if (isIdentifierStart(text[k]) && (k == i + 2 || text[k - 1] != '.')) {
                    const std::size_t begin = k;
                    while (k < end && isIdentifierCharacter(text[k])) ++k;
                    // Strings in expressions are no names.
                    const auto quotes = std::count(text.begin() + static_cast<long>(i),
                                                   text.begin() + static_cast<long>(begin), '\'');
                    if (quotes % 2 == 0) {
                        names.push_back({NameInExpression::Kind::Property,
                                         std::string(text.substr(begin, k - begin)), begin, k});
                    }
                } else if (isIdentifierCharacter(text[k])) {
                    while (k < end && isIdentifierCharacter(text[k])) ++k;
                } else {
                    ++k;
                }
            }
            i = end;
        } else if (text.substr(i).starts_with("$(arg ")) {
            std::size_t k = i + 6;
            while (k < text.size() && text[k] == ' ') ++k;
            const std::size_t begin = k;
            while (k < text.size() && isIdentifierCharacter(text[k])) ++k;
            if (k > begin) {
                names.push_back({NameInExpression::Kind::Argument,
                                 std::string(text.substr(begin, k - begin)), begin, k});
            }
            i = k;
        } else {
            ++i;
        }
    }
    return names;
}

std::optional<NameInExpression> nameInExpressionAt(std::string_view text, std::size_t offset) {
    // Expressions do not span lines in practice; reading the line alone keeps this cheap.
    const std::size_t lineBegin = offset == 0 ? 0 : text.rfind('\n', offset - 1);
    const std::size_t from = lineBegin == std::string_view::npos ? 0 : lineBegin + 1;
    const std::size_t lineEnd = text.find('\n', offset);
    const std::size_t to = lineEnd == std::string_view::npos ? text.size() : lineEnd;
    for (auto name : namesInExpressions(text.substr(from, to - from))) {
        name.begin += from;
        name.end += from;
        if (name.begin <= offset && offset <= name.end) return name;
    }
    return std::nullopt;
}

std::optional<std::string_view> xacroLocalName(std::string_view name) {
    constexpr std::string_view prefix = "xacro:";
    if (!name.starts_with(prefix)) return std::nullopt;
    return name.substr(prefix.size());
}

}  // namespace corvane::tools::lsp
