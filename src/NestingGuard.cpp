#include "NestingGuard.hpp"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <optional>

#include "LinkTreeCheck.hpp"

namespace corvane::Plugins::Urdf {

namespace {

// The parser reads multi-byte UTF-8 characters whole once the document is known to be UTF-8 (a
// byte-order mark, or a first declaration naming UTF-8 or no encoding at all), byte by byte before
// that and in any other encoding. A character it takes whole can swallow a "<" or a quote.
enum class Encoding { Unknown, Utf8, Legacy };

// NUL bytes after the text. A UTF-8 lead byte at the very end makes the parser step up to three
// bytes past the text's terminating NUL and read there; it must find NUL bytes, not the heap.
constexpr std::size_t kParserPadding = 4;

bool isParserSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0 || c == '\n' || c == '\r';
}

// The parser takes every byte from 127 up for a letter.
bool isParserLetter(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 127 || std::isalpha(byte) != 0;
}

bool isParserLetterOrDigit(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 127 || std::isalnum(byte) != 0;
}

bool isNameStart(char c) {
    return isParserLetter(c) || c == '_';
}

bool isNameChar(char c) {
    return isParserLetterOrDigit(c) || c == '_' || c == '-' || c == '.' || c == ':';
}

bool isDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c) {
    return isDecimalDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int lowered(char c) {
    return std::tolower(static_cast<unsigned char>(c));
}

// Bytes in the UTF-8 sequence that `lead` starts, as the parser counts them: from the lead byte
// alone, whatever follows (not a check of the text; corvane/Text.hpp has that).
std::size_t parserSequenceLength(char lead) {
    const auto byte = static_cast<unsigned char>(lead);
    if (byte >= 0xC2 && byte <= 0xDF) return 2;
    if (byte >= 0xE0 && byte <= 0xEF) return 3;
    if (byte >= 0xF0 && byte <= 0xF4) return 4;
    return 1;
}

// The parser's character classes for every byte, worked out once per scan: the C library
// classifies through the current locale on every call, which would cost more than the whole scan.
class CharacterClasses {
  public:
    CharacterClasses() {
        for (std::size_t byte = 0; byte < bits_.size(); ++byte) {
            const char c = static_cast<char>(byte);
            bits_[byte] = static_cast<std::uint8_t>(
                (isParserSpace(c) ? kSpace : 0) | (isNameStart(c) ? kNameStart : 0) |
                (isNameChar(c) ? kNameChar : 0) | (c == '&' ? kReference : 0) |
                (parserSequenceLength(c) > 1 ? kUtf8Lead : 0));
        }
    }

    bool space(char c) const { return has(c, kSpace); }
    bool nameStart(char c) const { return has(c, kNameStart); }
    bool nameChar(char c) const { return has(c, kNameChar); }
    // True when `c` starts more than a plain byte of text: a character reference, or in UTF-8 a
    // multi-byte character.
    bool startsCharacter(char c, bool utf8) const {
        return has(c, utf8 ? kReference | kUtf8Lead : kReference);
    }

  private:
    static constexpr std::uint8_t kSpace = 1;
    static constexpr std::uint8_t kNameStart = 2;
    static constexpr std::uint8_t kNameChar = 4;
    static constexpr std::uint8_t kReference = 8;
    static constexpr std::uint8_t kUtf8Lead = 16;

    bool has(char c, std::uint8_t bit) const {
        return (bits_[static_cast<unsigned char>(c)] & bit) != 0;
    }

    std::array<std::uint8_t, 256> bits_{};
};

bool hasPrefixIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    return std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return lowered(a) == lowered(b); });
}

// What a first declaration's encoding attribute makes of the rest of the document. A value with a
// character reference in it is decoded by the parser; the scan then tries both readings.
std::optional<Encoding> encodingNamedBy(std::string_view value) {
    if (value.find('&') != std::string_view::npos) return std::nullopt;
    if (value.empty() || hasPrefixIgnoringCase(value, "utf-8") ||
        hasPrefixIgnoringCase(value, "utf8")) {
        return Encoding::Utf8;
    }
    return Encoding::Legacy;
}

enum class NodeKind { Declaration, Comment, CData, Unknown, Element };

// An attribute as the scan reads it: its name, its value's text, and whether that was quoted.
struct Attribute {
    std::string_view name;
    std::string_view value;
    bool quoted = true;
};

// What an element is to urdfdom's link tree, by its name and place.
enum class TreeRole { None, Robot, Link, Joint, JointParent, JointChild };

// The attribute urdfdom reads from an element of that role, if any.
std::string_view attributeReadFor(TreeRole role) {
    switch (role) {
        case TreeRole::Link:
        case TreeRole::Joint:
            return "name";
        case TreeRole::JointParent:
        case TreeRole::JointChild:
            return "link";
        default:
            return {};
    }
}

// A quoted attribute value whose bytes are what the parser stores: no character reference, and
// nothing but printable ASCII, where the parser's reading cannot depend on the encoding.
bool isPlainValue(std::string_view value) {
    return std::all_of(value.begin(), value.end(),
                       [](char c) { return c > ' ' && c < '\x7F' && c != '&'; });
}

// One pass over the text along the parser's path. Every step returns false where the parser gives
// up on the document, which ends the scan: nothing after that point is ever parsed.
class NestingScanner {
  public:
    // `declared` overrides what the first declaration says about the encoding.
    // `facts`, when given, receives the robot's link and joint names.
    NestingScanner(std::string_view text, std::optional<Encoding> declared,
                   LinkTreeFacts* facts = nullptr)
        : text_(text), declared_(declared), facts_(facts) {}

    DocumentShape scan();
    // True when the first declaration's encoding could not be read without decoding it.
    bool encodingUndecided() const { return encodingUndecided_; }

  private:
    bool atEnd() const { return at_ >= text_.size(); }
    char peek(std::size_t ahead = 0) const {
        return at_ + ahead < text_.size() ? text_[at_ + ahead] : '\0';
    }
    std::string_view rest() const {
        return at_ < text_.size() ? text_.substr(at_) : std::string_view();
    }
    bool startsWith(std::string_view tag) const { return rest().starts_with(tag); }
    bool startsWithIgnoringCase(std::string_view tag) const {
        return hasPrefixIgnoringCase(rest(), tag);
    }

    void skipWhiteSpace();
    bool skipName();
    bool skipCharacter();
    bool skipCharacterReference();
    bool skipTextThrough(std::string_view endTag);
    bool skipPast(std::string_view endTag);
    bool skipAttribute(Attribute* read);
    bool skipDeclaration(std::string_view* encodingValue);
    bool skipText();
    bool skipLeaf(NodeKind kind);
    NodeKind identify() const;

    enum class StartTag { Failed, Open, Closed };
    StartTag enterElement();
    TreeRole treeRoleOf(std::string_view name);
    void noteTreeElement(TreeRole role, StartTag tag, const std::optional<Attribute>& attribute);
    bool leaveElement();
    bool scanElement();
    void settleEncoding(std::string_view encodingValue);

    std::string_view text_;
    std::optional<Encoding> declared_;
    CharacterClasses classes_;
    std::size_t at_ = 0;
    std::size_t depth_ = 0;
    DocumentShape shape_;
    Encoding encoding_ = Encoding::Unknown;
    bool encodingUndecided_ = false;
    // Where the scan stands in the robot element, for `facts_`.
    LinkTreeFacts* facts_;
    bool robotSeen_ = false;
    bool robotOpen_ = false;
    bool jointOpen_ = false;
    bool jointParentSeen_ = false;
    bool jointChildSeen_ = false;
};

void NestingScanner::skipWhiteSpace() {
    while (!atEnd()) {
        const char c = text_[at_];
        // In UTF-8 the parser also skips byte-order marks and the two non-characters U+FFFE/FFFF.
        if (c == '\xEF' && encoding_ == Encoding::Utf8 &&
            (startsWith("\xEF\xBB\xBF") || startsWith("\xEF\xBF\xBE") ||
             startsWith("\xEF\xBF\xBF"))) {
            at_ += 3;
            continue;
        }
        if (!classes_.space(c)) return;
        ++at_;
    }
}

bool NestingScanner::skipName() {
    if (!classes_.nameStart(peek())) return false;
    ++at_;
    while (!atEnd() && classes_.nameChar(peek())) ++at_;
    return true;
}

// A numeric character reference runs to the first ";" after "&#" or "&#x"; the parser checks
// only the digits between the last "#" or "x" and that ";", so the reference can span any text,
// markup included. Named references and a bare "&" hold no markup and are stepped over bytewise.
bool NestingScanner::skipCharacterReference() {
    if (peek(1) != '#' || peek(2) == '\0') {
        ++at_;
        return true;
    }
    const bool hex = peek(2) == 'x';
    if (hex && peek(3) == '\0') return false;
    const std::size_t semicolon = text_.find(';', at_ + (hex ? 3 : 2));
    if (semicolon == std::string_view::npos) return false;
    const char marker = hex ? 'x' : '#';
    for (std::size_t k = semicolon - 1; text_[k] != marker; --k) {
        if (!(hex ? isHexDigit(text_[k]) : isDecimalDigit(text_[k]))) return false;
    }
    at_ = semicolon + 1;
    return true;
}

// One character of text or of an attribute value. May step past the end of the text, where the
// parser meets its padding and gives up.
bool NestingScanner::skipCharacter() {
    const std::size_t length =
        encoding_ == Encoding::Utf8 ? parserSequenceLength(peek()) : std::size_t{1};
    if (length == 1 && peek() == '&') return skipCharacterReference();
    at_ += length;
    return true;
}

// Text up to and past `endTag`, read character by character; the parser gives up when the text
// ends before, or right after, the end tag.
bool NestingScanner::skipTextThrough(std::string_view endTag) {
    const char stop = endTag.front();
    const bool utf8 = encoding_ == Encoding::Utf8;
    while (!atEnd()) {
        const char c = text_[at_];
        if (c == stop && (endTag.size() == 1 || startsWith(endTag))) break;
        // Plain bytes are single characters: step over them without the general case.
        if (!classes_.startsCharacter(c, utf8)) {
            ++at_;
        } else if (!skipCharacter()) {
            return false;
        }
    }
    if (atEnd()) return false;
    at_ += endTag.size();
    return !atEnd();
}

// Raw bytes up to and past `endTag` (comments, CDATA sections).
bool NestingScanner::skipPast(std::string_view endTag) {
    const std::size_t found = text_.find(endTag, at_);
    if (found == std::string_view::npos) return false;
    at_ = found + endTag.size();
    return true;
}

// name, "=", and a quoted or bare value; `read` receives the attribute when asked for.
bool NestingScanner::skipAttribute(Attribute* read) {
    skipWhiteSpace();
    const std::size_t nameStart = at_;
    if (!skipName() || atEnd()) return false;
    if (read) read->name = text_.substr(nameStart, at_ - nameStart);
    skipWhiteSpace();
    if (peek() != '=') return false;
    ++at_;
    skipWhiteSpace();
    if (atEnd()) return false;
    const char quote = peek();
    if (quote == '"' || quote == '\'') {
        ++at_;
        const std::size_t start = at_;
        if (!skipTextThrough(std::string_view(&quote, 1))) return false;
        if (read) *read = {read->name, text_.substr(start, at_ - 1 - start), true};
        return true;
    }
    const std::size_t start = at_;
    while (!atEnd() && !classes_.space(peek()) && peek() != '/' && peek() != '>') {
        if (peek() == '"' || peek() == '\'') return false;
        ++at_;
    }
    if (read) *read = {read->name, text_.substr(start, at_ - start), false};
    return true;
}

// "<?xml" up to its ">". The parser reads version, encoding and standalone as attributes, whose
// quoted values may hold a ">", and steps over anything else up to white space or ">".
bool NestingScanner::skipDeclaration(std::string_view* encodingValue) {
    at_ += 5;
    while (!atEnd()) {
        if (peek() == '>') {
            ++at_;
            return true;
        }
        skipWhiteSpace();
        if (atEnd()) return false;
        if (startsWithIgnoringCase("version") || startsWithIgnoringCase("standalone")) {
            if (!skipAttribute(nullptr)) return false;
        } else if (startsWithIgnoringCase("encoding")) {
            Attribute encoding;
            if (!skipAttribute(&encoding)) return false;
            if (encodingValue) *encodingValue = encoding.value;
        } else {
            while (!atEnd() && peek() != '>' && !classes_.space(peek())) ++at_;
        }
    }
    return false;
}

// Character data between markup, up to the next "<".
bool NestingScanner::skipText() {
    if (!skipTextThrough("<")) return false;
    --at_;
    return true;
}

bool NestingScanner::skipLeaf(NodeKind kind) {
    switch (kind) {
        case NodeKind::Comment:
            at_ += 4;
            return skipPast("-->");
        case NodeKind::CData:
            at_ += 9;
            return skipPast("]]>") && !atEnd();
        case NodeKind::Declaration:
            return skipDeclaration(nullptr);
        default:
            // Processing instructions, DOCTYPE and other "<!" declarations, stray "<": up to the
            // first ">", quotes or not.
            ++at_;
            return skipPast(">");
    }
}

NodeKind NestingScanner::identify() const {
    if (peek(1) == '?' && startsWithIgnoringCase("<?xml")) return NodeKind::Declaration;
    if (startsWith("<!--")) return NodeKind::Comment;
    if (startsWith("<![CDATA[")) return NodeKind::CData;
    if (startsWith("<!")) return NodeKind::Unknown;
    if (classes_.nameStart(peek(1))) return NodeKind::Element;
    return NodeKind::Unknown;
}

// A start tag from its "<". The parser enters the element before it reads the name, so the
// element counts one level deeper even when its name is unreadable or it is empty ("/>").
NestingScanner::StartTag NestingScanner::enterElement() {
    ++depth_;
    shape_.depth = std::max(shape_.depth, depth_);
    ++at_;
    skipWhiteSpace();
    const std::size_t nameStart = at_;
    if (!skipName()) return StartTag::Failed;
    const std::string_view name = text_.substr(nameStart, at_ - nameStart);
    if (name == "link") ++shape_.linkElements;
    const TreeRole role = facts_ ? treeRoleOf(name) : TreeRole::None;
    const std::string_view wanted = attributeReadFor(role);
    std::optional<Attribute> wantedAttribute;
    while (true) {
        skipWhiteSpace();
        if (atEnd()) return StartTag::Failed;
        if (peek() == '/') {
            if (peek(1) != '>') return StartTag::Failed;
            at_ += 2;
            --depth_;
            noteTreeElement(role, StartTag::Closed, wantedAttribute);
            return StartTag::Closed;
        }
        if (peek() == '>') {
            ++at_;
            noteTreeElement(role, StartTag::Open, wantedAttribute);
            return StartTag::Open;
        }
        Attribute attribute;
        if (!skipAttribute(wanted.empty() ? nullptr : &attribute) || atEnd()) {
            return StartTag::Failed;
        }
        // The parser refuses an attribute given twice, so the first is the one that counts.
        if (!wanted.empty() && attribute.name == wanted && !wantedAttribute) {
            wantedAttribute = attribute;
        }
    }
}

// The role of an element named `name` that has just been entered at depth_. The robot is the
// first top-level element named "robot"; its links and joints are its children of those names;
// a joint's parent and child links are in its first children named "parent" and "child".
TreeRole NestingScanner::treeRoleOf(std::string_view name) {
    if (depth_ == 1) {
        if (robotSeen_ || name != "robot") return TreeRole::None;
        robotSeen_ = true;
        return TreeRole::Robot;
    }
    if (!robotOpen_) return TreeRole::None;
    if (depth_ == 2) {
        jointOpen_ = name == "joint";
        if (jointOpen_) return TreeRole::Joint;
        return name == "link" ? TreeRole::Link : TreeRole::None;
    }
    if (depth_ != 3 || !jointOpen_) return TreeRole::None;
    if (name == "parent" && !jointParentSeen_) {
        jointParentSeen_ = true;
        return TreeRole::JointParent;
    }
    if (name == "child" && !jointChildSeen_) {
        jointChildSeen_ = true;
        return TreeRole::JointChild;
    }
    return TreeRole::None;
}

// Records an element whose start tag has been read in full.
void NestingScanner::noteTreeElement(TreeRole role, StartTag tag,
                                     const std::optional<Attribute>& attribute) {
    if (role == TreeRole::None) return;
    if (role == TreeRole::Robot) {
        robotOpen_ = tag == StartTag::Open;
        return;
    }
    // A missing attribute reads as an empty name.
    if (attribute && (!attribute->quoted || !isPlainValue(attribute->value))) facts_->plain = false;
    const std::string_view text = attribute ? attribute->value : std::string_view();
    switch (role) {
        case TreeRole::Link:
            facts_->links.push_back(text);
            break;
        case TreeRole::Joint:
            if (!attribute) facts_->unnamedJoint = true;
            facts_->joints.push_back({text, {}, {}});
            jointParentSeen_ = false;
            jointChildSeen_ = false;
            break;
        case TreeRole::JointParent:
            facts_->joints.back().parent = text;
            break;
        case TreeRole::JointChild:
            facts_->joints.back().child = text;
            break;
        default:
            break;
    }
}

// An end tag from its "</". The parser wants the open element's name there and gives up on any
// other; taking any name is therefore safe.
bool NestingScanner::leaveElement() {
    at_ += 2;
    if (!skipName()) return false;
    skipWhiteSpace();
    if (peek() != '>') return false;
    ++at_;
    --depth_;
    if (depth_ == 0) robotOpen_ = false;
    return true;
}

// An element with everything nested in it, without recursion.
bool NestingScanner::scanElement() {
    const std::size_t outer = depth_;
    if (enterElement() == StartTag::Failed) return false;
    while (depth_ > outer) {
        skipWhiteSpace();
        if (atEnd()) return false;
        bool ok = true;
        if (peek() != '<') {
            ok = skipText();
        } else if (startsWith("</")) {
            ok = leaveElement();
        } else if (const NodeKind kind = identify(); kind == NodeKind::Element) {
            ok = enterElement() != StartTag::Failed;
        } else {
            ok = skipLeaf(kind);
        }
        if (!ok) return false;
    }
    return true;
}

void NestingScanner::settleEncoding(std::string_view encodingValue) {
    const std::optional<Encoding> named = encodingNamedBy(encodingValue);
    if (!named) encodingUndecided_ = true;
    encoding_ = declared_.value_or(named.value_or(Encoding::Utf8));
}

DocumentShape NestingScanner::scan() {
    if (startsWith("\xEF\xBB\xBF")) encoding_ = Encoding::Utf8;
    skipWhiteSpace();
    while (!atEnd() && peek() == '<') {
        const NodeKind kind = identify();
        bool ok = true;
        if (kind == NodeKind::Element) {
            ok = scanElement();
        } else if (kind == NodeKind::Declaration && encoding_ == Encoding::Unknown) {
            std::string_view encodingValue;
            ok = skipDeclaration(&encodingValue);
            settleEncoding(encodingValue);
        } else {
            ok = skipLeaf(kind);
        }
        if (!ok) break;
        skipWhiteSpace();
    }
    return shape_;
}

}  // namespace

DocumentShape measureDocument(std::string_view xml, LinkTreeFacts* facts) {
    NestingScanner first(xml, std::nullopt, facts);
    const DocumentShape shape = first.scan();
    if (!first.encodingUndecided()) return shape;
    if (facts) facts->plain = false;
    // The first pass read the rest of the document as UTF-8; read it the other way too.
    const DocumentShape other = NestingScanner(xml, Encoding::Legacy).scan();
    return {std::max(shape.depth, other.depth), std::max(shape.linkElements, other.linkElements)};
}

std::size_t maxElementDepth(std::string_view xml) {
    return measureDocument(xml).depth;
}

bool withinParserLimits(const std::string& input) {
    LinkTreeFacts facts;
    const DocumentShape shape = measureDocument(std::string_view(input.c_str()), &facts);
    if (shape.depth > kMaxElementDepth) {
        SPDLOG_WARN(
            "Refusing URDF document: elements nest {} levels deep, more than the {} allowed",
            shape.depth, kMaxElementDepth);
        return false;
    }
    if (shape.linkElements <= kLinksCheckedBeforeUrdfdom) return true;
    // The usual case: plain names that make a tree urdfdom keeps. Anything else is settled on a
    // full parse, which also names the problem.
    if (facts.plain && isKeptTree(facts)) return true;
    if (const auto problem = linkTreeProblem(input.c_str())) {
        SPDLOG_WARN("Refusing URDF document with {} links: {}", shape.linkElements, *problem);
        return false;
    }
    return true;
}

std::string parserInput(std::string_view source) {
    const std::string_view text = source.substr(0, source.find('\0'));
    if (text.size() < source.size() &&
        source.find_first_not_of('\0', text.size()) != std::string_view::npos) {
        SPDLOG_WARN("URDF text holds a NUL byte at offset {}: the {} bytes after it are ignored",
                    text.size(), source.size() - text.size() - 1);
    }
    return parserText(source);
}

std::string parserText(std::string_view source) {
    const std::string_view text = source.substr(0, source.find('\0'));
    std::string input;
    input.reserve(text.size() + kParserPadding);
    input.append(text);
    input.append(kParserPadding, '\0');
    return input;
}

bool parserReadsInPlace(std::string_view source) {
    if (source.find('\0') != std::string_view::npos) return false;
    // A character that starts before the last kParserPadding bytes ends by the terminating NUL.
    const std::string_view tail =
        source.substr(source.size() - std::min(source.size(), kParserPadding));
    return std::none_of(tail.begin(), tail.end(),
                        [](char c) { return static_cast<unsigned char>(c) > 0x7F; });
}

}  // namespace corvane::Plugins::Urdf
