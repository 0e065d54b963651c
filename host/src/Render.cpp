#include "corvane/Render.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace corvane::Render {

namespace {

// Keys keep the order in which they are written, so the output reads in the documented order.
using Json = nlohmann::ordered_json;

// ---------------------------------------------------------------------------------------------
// JSON

Json lexemesOf(const std::vector<Token>& tokens) {
    Json lexemes = Json::array();
    for (const auto& token : tokens) lexemes.push_back(token.lexeme);
    return lexemes;
}

Json expressionToJson(const ExpressionPtr& expression);

Json constantToJson(const Constant& constant) {
    return Json{
        {"node", "Constant"},
        {"token", Json{{"kind", constant.token().kind}, {"lexeme", constant.token().lexeme}}}};
}

Json arrayToJson(const Array& array) {
    Json elements = Json::array();
    for (const auto& element : array.elements()) elements.push_back(expressionToJson(element));
    return Json{{"node", "Array"}, {"elements", std::move(elements)}};
}

Json referenceToJson(const Reference& reference) {
    return Json{{"node", "Reference"}, {"segments", reference.segments()}};
}

Json expressionToJson(const ExpressionPtr& expression) {
    if (!expression) return nullptr;
    switch (expression->expressionKind()) {
        case Expression::Kind::Constant:
            return constantToJson(static_cast<const Constant&>(*expression));
        case Expression::Kind::Array:
            return arrayToJson(static_cast<const Array&>(*expression));
        case Expression::Kind::Reference:
            return referenceToJson(static_cast<const Reference&>(*expression));
    }
    return nullptr;
}

Json nodeToJson(const NodePtr& node);

Json varAssignmentToJson(const VarAssignment& assignment) {
    Json members = Json::array();
    for (const auto& member : assignment.members()) members.push_back(nodeToJson(member));
    return Json{{"node", "VarAssignment"},         {"target", lexemesOf(assignment.target())},
                {"is", assignment.declaresType()}, {"type", lexemesOf(assignment.type())},
                {"members", std::move(members)},   {"value", expressionToJson(assignment.value())}};
}

Json modelDeclarationToJson(const ModelDeclaration& model) {
    Json members = Json::array();
    for (const auto& member : model.members()) members.push_back(nodeToJson(member));
    return Json{{"node", "ModelDeclaration"},
                {"name", model.name().lexeme},
                {"type", lexemesOf(model.type())},
                {"members", std::move(members)}};
}

// Nodes the host does not print (none that an import makes) are written as null, so the
// positions of the others stay intact.
Json nodeToJson(const NodePtr& node) {
    if (!node) return nullptr;
    if (node->isModelDeclaration()) {
        return modelDeclarationToJson(*node->toModelDeclaration());
    }
    if (node->isVarAssignment()) {
        return varAssignmentToJson(*node->toVarAssignment());
    }
    if (const auto expression = std::dynamic_pointer_cast<Expression>(node)) {
        return expressionToJson(expression);
    }
    return nullptr;
}

// nlohmann-json refuses text that is not UTF-8 (JSON cannot carry such bytes). Its message
// starts with a bracketed error code that means nothing to a reader; keep only the cause.
std::string invalidTextMessage(const nlohmann::json::type_error& error) {
    std::string_view cause = error.what();
    if (const auto close = cause.find("] "); close != std::string_view::npos) {
        cause.remove_prefix(close + 2);
    }
    return "cannot write JSON: a name or literal is not UTF-8 text (" + std::string(cause) + ")";
}

// The document through nlohmann-json: builds the whole JSON value, then prints it. Used only
// for documents that cannot be written as JSON, so that the refusal names the offending byte
// exactly as the library does.
std::string toJsonThroughLibrary(const Document& document, int indent) {
    Json nodes = Json::array();
    for (const auto& node : document.nodes()) nodes.push_back(nodeToJson(node));
    const Json json{{"document", document.name()}, {"nodes", std::move(nodes)}};
    try {
        return json.dump(indent < 0 ? -1 : indent);
    } catch (const nlohmann::json::type_error& error) {
        throw std::invalid_argument(invalidTextMessage(error));
    }
}

// The length of the well-formed UTF-8 sequence that starts `text`, or 0 when it is not one
// (overlong forms, surrogates and code points past U+10FFFF are not well formed).
std::size_t utf8SequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const auto continues = [&](std::size_t i, unsigned char low, unsigned char high) {
        return i < text.size() && byte(i) >= low && byte(i) <= high;
    };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return continues(1, 0x80, 0xBF) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
        return continues(1, low, high) && continues(2, 0x80, 0xBF) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
        return continues(1, low, high) && continues(2, 0x80, 0xBF) && continues(3, 0x80, 0xBF) ? 4
                                                                                               : 0;
    }
    return 0;
}

// Where the JSON text goes: counted first, so that the output is allocated once at its full
// size (a large document renders to hundreds of megabytes), then written.
class JsonLength {
  public:
    void put(char) { ++length_; }
    void put(std::string_view text) { length_ += text.size(); }
    void spaces(std::size_t count) { length_ += count; }
    std::size_t length() const { return length_; }

  private:
    std::size_t length_ = 0;
};

// Asks the kernel to back the whole 2 MiB pages inside a large, not yet touched buffer with huge
// pages. Touching fresh memory page by page is what writing a large text costs most on many
// machines (one fault per 4 KiB); with huge pages it is one fault per 2 MiB. Only advice: where
// the kernel has no transparent huge pages it changes nothing.
void adviseHugePages([[maybe_unused]] char* data, [[maybe_unused]] std::size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = (begin + size) & ~(kHugePage - 1);
    if (end > first) {
        ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
    }
#endif
}

class JsonText {
  public:
    // The text is sized once and written in place.
    explicit JsonText(std::size_t length) {
        text_.reserve(length);
        adviseHugePages(text_.data(), length);
        text_.resize(length, ' ');
        next_ = text_.data();
    }
    void put(char c) { *next_++ = c; }
    void put(std::string_view text) {
        // Most pieces are a few bytes long: copied in line rather than through a call.
        if (text.size() <= kShortPiece) {
            for (const char c : text) *next_++ = c;
            return;
        }
        std::memcpy(next_, text.data(), text.size());
        next_ += text.size();
    }
    void spaces(std::size_t count) { next_ += count; }  // the text starts out as spaces
    std::string take() { return std::move(text_); }

  private:
    static constexpr std::size_t kShortPiece = 16;

    std::string text_;
    char* next_ = nullptr;
};

// A key of the JSON objects with its quotes and the separator that follows it, `"key": `; one
// line output leaves out the final space.
struct JsonKey {
    std::string_view spaced;
};

constexpr JsonKey kDocumentKey{"\"document\": "};
constexpr JsonKey kNodesKey{"\"nodes\": "};
constexpr JsonKey kNodeKey{"\"node\": "};
constexpr JsonKey kNameKey{"\"name\": "};
constexpr JsonKey kTypeKey{"\"type\": "};
constexpr JsonKey kMembersKey{"\"members\": "};
constexpr JsonKey kTargetKey{"\"target\": "};
constexpr JsonKey kIsKey{"\"is\": "};
constexpr JsonKey kValueKey{"\"value\": "};
constexpr JsonKey kTokenKey{"\"token\": "};
constexpr JsonKey kKindKey{"\"kind\": "};
constexpr JsonKey kLexemeKey{"\"lexeme\": "};
constexpr JsonKey kElementsKey{"\"elements\": "};
constexpr JsonKey kSegmentsKey{"\"segments\": "};

// Writes a document as JSON straight from the tree, laid out exactly as nlohmann-json's dump()
// lays out the same value: objects with their keys in the documented order, `indent` spaces per
// level (one line when negative), the same string escapes. Building the library's value first
// costs many times more than writing the text.
template <typename Out>
class JsonWriter {
  public:
    JsonWriter(Out& out, int indent)
        : out_(out),
          pretty_(indent >= 0),
          step_(indent >= 0 ? static_cast<std::size_t>(indent) : 0) {}

    // False when a name or lexeme is not UTF-8 text, which JSON cannot carry.
    bool writeDocument(const Document& document) {
        openObject();
        key(kDocumentKey, true);
        string(document.name());
        key(kNodesKey, false);
        array(document.nodes(), [this](const NodePtr& node) { writeNode(node); });
        closeObject();
        return utf8_;
    }

  private:
    void newline() {
        if (!pretty_) return;
        out_.put('\n');
        out_.spaces(depth_ * step_);
    }

    void openObject() {
        out_.put('{');
        ++depth_;
    }

    // Every object written here has keys; `first` tells whether a comma goes before this one.
    void key(JsonKey name, bool first) {
        if (!first) out_.put(',');
        newline();
        out_.put(pretty_ ? name.spaced : name.spaced.substr(0, name.spaced.size() - 1));
    }

    void closeObject() {
        --depth_;
        newline();
        out_.put('}');
    }

    template <typename Items, typename WriteItem>
    void array(const Items& items, WriteItem writeItem) {
        if (items.empty()) {
            out_.put("[]");
            return;
        }
        out_.put('[');
        ++depth_;
        bool first = true;
        for (const auto& item : items) {
            if (!first) out_.put(',');
            first = false;
            newline();
            writeItem(item);
        }
        --depth_;
        newline();
        out_.put(']');
    }

    void lexemes(const std::vector<Token>& tokens) {
        array(tokens, [this](const Token& token) { string(token.lexeme); });
    }

    // Text that goes into JSON as it is: printable ASCII without quotes or backslashes, which is
    // what almost every name and number is.
    static bool isVerbatim(std::string_view text) {
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte >= 0x80 || c == '"' || c == '\\') return false;
        }
        return true;
    }

    void string(std::string_view text) {
        out_.put('"');
        if (isVerbatim(text)) {
            out_.put(text);
            out_.put('"');
            return;
        }
        for (std::size_t at = 0; at < text.size();) {
            const char c = text[at];
            const auto byte = static_cast<unsigned char>(c);
            if (byte >= 0x80) {
                const std::size_t length = utf8SequenceLength(text.substr(at));
                if (length == 0) {
                    utf8_ = false;
                    return;
                }
                out_.put(text.substr(at, length));
                at += length;
            } else if (byte < 0x20 || c == '"' || c == '\\') {
                escape(c);
                ++at;
            } else {
                out_.put(c);
                ++at;
            }
        }
        out_.put('"');
    }

    void escape(char c) {
        static constexpr char kHex[] = "0123456789abcdef";
        switch (c) {
            case '"':
                out_.put("\\\"");
                return;
            case '\\':
                out_.put("\\\\");
                return;
            case '\b':
                out_.put("\\b");
                return;
            case '\f':
                out_.put("\\f");
                return;
            case '\n':
                out_.put("\\n");
                return;
            case '\r':
                out_.put("\\r");
                return;
            case '\t':
                out_.put("\\t");
                return;
            default: {
                const auto byte = static_cast<unsigned char>(c);
                const char code[] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0x0f]};
                out_.put(std::string_view(code, sizeof code));
            }
        }
    }

    void integer(std::int32_t value) {
        std::array<char, 16> digits;
        const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
        for (const char* digit = digits.data(); digit != end; ++digit) out_.put(*digit);
    }

    void boolean(bool value) {
        out_.put(value ? std::string_view("true") : std::string_view("false"));
    }

    void null() { out_.put("null"); }

    // Nodes the host does not print (none that an import makes) are written as null, so the
    // positions of the others stay intact.
    void writeNode(const NodePtr& node) {
        if (!node) return null();
        if (node->isModelDeclaration()) return writeModel(*node->toModelDeclaration());
        if (node->isVarAssignment()) return writeAssignment(*node->toVarAssignment());
        if (const auto* expression = dynamic_cast<const Expression*>(node.get())) {
            return writeExpression(*expression);
        }
        null();
    }

    void writeModel(const ModelDeclaration& model) {
        openObject();
        key(kNodeKey, true);
        string("ModelDeclaration");
        key(kNameKey, false);
        string(model.name().lexeme);
        key(kTypeKey, false);
        lexemes(model.type());
        key(kMembersKey, false);
        array(model.members(), [this](const NodePtr& member) { writeNode(member); });
        closeObject();
    }

    void writeAssignment(const VarAssignment& assignment) {
        openObject();
        key(kNodeKey, true);
        string("VarAssignment");
        key(kTargetKey, false);
        lexemes(assignment.target());
        key(kIsKey, false);
        boolean(assignment.declaresType());
        key(kTypeKey, false);
        lexemes(assignment.type());
        key(kMembersKey, false);
        array(assignment.members(), [this](const VarAssignmentPtr& member) {
            if (member) return writeAssignment(*member);
            null();
        });
        key(kValueKey, false);
        writeValue(assignment.value());
        closeObject();
    }

    void writeValue(const ExpressionPtr& expression) {
        if (!expression) return null();
        writeExpression(*expression);
    }

    void writeExpression(const Expression& expression) {
        switch (expression.expressionKind()) {
            case Expression::Kind::Constant:
                return writeConstant(static_cast<const Constant&>(expression));
            case Expression::Kind::Array:
                return writeArray(static_cast<const Array&>(expression));
            case Expression::Kind::Reference:
                return writeReference(static_cast<const Reference&>(expression));
        }
        null();
    }

    void writeConstant(const Constant& constant) {
        openObject();
        key(kNodeKey, true);
        string("Constant");
        key(kTokenKey, false);
        openObject();
        key(kKindKey, true);
        integer(constant.token().kind);
        key(kLexemeKey, false);
        string(constant.token().lexeme);
        closeObject();
        closeObject();
    }

    void writeArray(const Array& array) {
        openObject();
        key(kNodeKey, true);
        string("Array");
        key(kElementsKey, false);
        this->array(array.elements(),
                    [this](const ExpressionPtr& element) { writeValue(element); });
        closeObject();
    }

    void writeReference(const Reference& reference) {
        openObject();
        key(kNodeKey, true);
        string("Reference");
        key(kSegmentsKey, false);
        array(reference.segments(), [this](const std::string& segment) { string(segment); });
        closeObject();
    }

    Out& out_;
    const bool pretty_;
    const std::size_t step_;
    std::size_t depth_ = 0;
    bool utf8_ = true;
};

// ---------------------------------------------------------------------------------------------
// Host text

constexpr std::string_view indentUnit = "    ";

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

void appendEscapedNameChar(std::string& out, char c) {
    static constexpr char hexDigits[] = "0123456789abcdef";
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
        case '\'':
            out += "\\'";
            return;
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
    if (byte < 0x20 || byte == 0x7f) {
        out += "\\u00";
        out += hexDigits[byte >> 4];
        out += hexDigits[byte & 0x0f];
        return;
    }
    out += c;
}

void appendName(std::string& out, std::string_view name) {
    if (isPlainIdentifier(name)) {
        out += name;
        return;
    }
    out += '\'';
    for (const char c : name) appendEscapedNameChar(out, c);
    out += '\'';
}

void appendPath(std::string& out, const std::vector<Token>& segments) {
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (i > 0) out += '.';
        appendName(out, segments[i].lexeme);
    }
}

void appendPath(std::string& out, const std::vector<std::string>& segments) {
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (i > 0) out += '.';
        appendName(out, segments[i]);
    }
}

void appendIndent(std::string& out, std::size_t depth) {
    for (std::size_t i = 0; i < depth; ++i) out += indentUnit;
}

// Writes the text of a document into one growing string, so the cost stays linear in the size
// of the output however many members a model has.
class HostTextWriter {
  public:
    std::string take() { return std::move(out_); }

    void writeNode(const NodePtr& node, std::size_t depth) {
        if (!node) return;
        if (node->isModelDeclaration()) {
            writeModel(*node->toModelDeclaration(), depth);
        } else if (node->isVarAssignment()) {
            writeAssignment(*node->toVarAssignment(), depth);
        } else if (const auto expression = std::dynamic_pointer_cast<Expression>(node)) {
            appendIndent(out_, depth);
            writeExpression(expression);
            out_ += ";\n";
        }
    }

  private:
    // Grows the text ahead of need, doubling, into buffers advised to use huge pages: a large
    // document's text is hundreds of megabytes, and the string's own growth would touch every
    // new buffer page by page. A line longer than the margin simply grows the string itself.
    void makeRoomAhead() {
        constexpr std::size_t kMargin = std::size_t{64} << 10;
        if (out_.capacity() - out_.size() >= kMargin) return;
        const std::size_t capacity = std::max(out_.capacity() * 2, out_.size() + kMargin);
        std::string larger;
        larger.reserve(capacity);
        adviseHugePages(larger.data(), capacity);
        larger.append(out_);
        out_.swap(larger);
    }

    // model NAME is A.B.C
    //     members
    // end NAME;
    void writeModel(const ModelDeclaration& model, std::size_t depth) {
        appendIndent(out_, depth);
        out_ += "model ";
        appendName(out_, model.name().lexeme);
        if (!model.type().empty()) {
            out_ += " is ";
            appendPath(out_, model.type());
        }
        out_ += '\n';
        for (const auto& member : model.members()) writeNode(member, depth + 1);
        appendIndent(out_, depth);
        out_ += "end ";
        appendName(out_, model.name().lexeme);
        out_ += ";\n";
    }

    // target is A.B { members } = value;  -- every part but the target is optional. A
    // declaration with members and no value ends with its closing brace.
    void writeAssignment(const VarAssignment& assignment, std::size_t depth) {
        makeRoomAhead();
        appendIndent(out_, depth);
        appendPath(out_, assignment.target());
        if (!assignment.type().empty()) {
            out_ += " is ";
            appendPath(out_, assignment.type());
        }
        if (!assignment.members().empty()) {
            out_ += " {\n";
            for (const auto& member : assignment.members()) writeNode(member, depth + 1);
            appendIndent(out_, depth);
            out_ += '}';
            if (!assignment.value()) {
                out_ += '\n';
                return;
            }
        }
        if (assignment.value()) {
            out_ += " = ";
            writeExpression(assignment.value());
        }
        out_ += ";\n";
    }

    void writeExpression(const ExpressionPtr& expression) {
        // An expression slot left empty (an array element, say) stays visible rather than
        // silently shifting the elements after it.
        if (!expression) {
            out_ += "nothing";
            return;
        }
        switch (expression->expressionKind()) {
            case Expression::Kind::Constant:
                writeConstant(static_cast<const Constant&>(*expression));
                return;
            case Expression::Kind::Array:
                writeArray(static_cast<const Array&>(*expression));
                return;
            case Expression::Kind::Reference:
                appendPath(out_, static_cast<const Reference&>(*expression).segments());
                return;
        }
    }

    // Identifiers are names and are quoted like any other; literals print as they stand.
    void writeConstant(const Constant& constant) {
        if (constant.token().kind == TokenKind::Identifier) {
            appendName(out_, constant.token().lexeme);
        } else {
            out_ += constant.token().lexeme;
        }
    }

    void writeArray(const Array& array) {
        out_ += '[';
        for (std::size_t i = 0; i < array.elements().size(); ++i) {
            if (i > 0) out_ += ", ";
            writeExpression(array.elements()[i]);
        }
        out_ += ']';
    }

    std::string out_;
};

}  // namespace

std::string toJson(const Document& document, int indent) {
    JsonLength length;
    if (!JsonWriter(length, indent).writeDocument(document)) {
        return toJsonThroughLibrary(document, indent);
    }
    JsonText text(length.length());
    JsonWriter(text, indent).writeDocument(document);
    return text.take();
}

std::string toHostText(const Document& document) {
    HostTextWriter writer;
    for (const auto& node : document.nodes()) writer.writeNode(node, 0);
    return writer.take();
}

bool isPlainIdentifier(std::string_view name) {
    if (name.empty() || isAsciiDigit(name.front())) return false;
    for (const char c : name) {
        if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != '_') return false;
    }
    return true;
}

std::string quoteName(std::string_view name) {
    std::string quoted;
    quoted.reserve(name.size() + 2);
    appendName(quoted, name);
    return quoted;
}

}  // namespace corvane::Render
