// A forgiving reading of the XML of a document as it is being typed: its start tags with their
// names, attributes and offsets, and the element each one stands in. It never refuses a text; a
// tag left open ends where the text does. The editor's features (hover, definitions, the
// outline, completion) read it; the analysis reads files with the real parsers.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::tools::lsp {

struct XmlAttribute {
    std::string name;
    std::string value;  // as written, entities left alone
    std::size_t nameBegin = 0, nameEnd = 0;
    std::size_t valueBegin = 0, valueEnd = 0;  // inside the quotes
};

struct XmlTag {
    std::string name;
    std::size_t begin = 0;  // at '<'
    std::size_t end = 0;    // after '>', or where the tag stopped
    std::size_t nameBegin = 0, nameEnd = 0;
    std::vector<XmlAttribute> attributes;
    bool selfClosing = false;
    // Where the element's content ends: its end tag, or the end of the text.
    std::size_t contentEnd = 0;
    // The tag of the element it stands in, or -1 at the top.
    int parent = -1;

    const XmlAttribute* attribute(std::string_view name) const;
};

class XmlScan {
  public:
    explicit XmlScan(std::string_view text);

    // Every start tag, in the order of the text.
    const std::vector<XmlTag>& tags() const { return tags_; }
    // The start tag that `offset` is in (between its '<' and its '>'), or null.
    const XmlTag* tagAt(std::size_t offset) const;
    // The element whose content holds `offset` (not inside a tag), or null at the top.
    const XmlTag* elementAround(std::size_t offset) const;
    // The root element, or null for a text without one.
    const XmlTag* root() const { return tags_.empty() ? nullptr : &tags_.front(); }
    // The children of the tag at `index` (-1: the top), in order.
    std::vector<const XmlTag*> children(int index) const;

  private:
    std::vector<XmlTag> tags_;
};

// A name written in an expression: ${NAME ...} or $(arg NAME), with its offsets in the text.
struct NameInExpression {
    enum class Kind { Property, Argument };
    Kind kind = Kind::Property;
    std::string name;
    std::size_t begin = 0, end = 0;
};

// The name under `offset` when it stands inside ${...} (a property) or is the NAME of
// $(arg NAME).
std::optional<NameInExpression> nameInExpressionAt(std::string_view text, std::size_t offset);

// Every ${NAME ...} name and $(arg NAME) of `text`, in order (names inside ${} that are the
// start of an identifier, not after a '.': `a.b` is a, not b).
std::vector<NameInExpression> namesInExpressions(std::string_view text);

// The prefix of an element name in the xacro namespace ("xacro:" of "xacro:macro"), stripped:
// "macro"; nothing for a name of no namespace or of another one.
std::optional<std::string_view> xacroLocalName(std::string_view name);

}  // namespace corvane::tools::lsp
