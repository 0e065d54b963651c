#include "corvane/Render.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "corvane/Text.hpp"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace corvane::Render {

namespace {

// ---------------------------------------------------------------------------------------------
// JSON

// Bytes that go into a JSON string as they are: printable ASCII other than the quote and the
// backslash, which is what almost every name and number consists of.
constexpr std::array<bool, 256> kVerbatimBytes = [] {
    std::array<bool, 256> verbatim{};
    for (std::size_t byte = 0x20; byte < 0x80; ++byte) verbatim[byte] = true;
    verbatim['"'] = false;
    verbatim['\\'] = false;
    return verbatim;
}();

// Eight bytes at once: true when none of them needs escaping. Once no byte has its high bit set,
// each test below is exact: a byte below 0x20, a quote, a backslash.
bool isVerbatimWord(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101;
    constexpr std::uint64_t kHighBits = 0x8080808080808080;
    const auto hasByteBelow = [](std::uint64_t x, std::uint64_t bound) {
        return (x - kOnes * bound) & ~x & kHighBits;
    };
    return ((word & kHighBits) | hasByteBelow(word, 0x20) | hasByteBelow(word ^ (kOnes * '"'), 1) |
            hasByteBelow(word ^ (kOnes * '\\'), 1)) == 0;
}

std::uint64_t wordAt(const char* bytes) {
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

bool isVerbatim(std::string_view text) {
    if (text.size() < 8) {
        for (const char c : text) {
            if (!kVerbatimBytes[static_cast<unsigned char>(c)]) return false;
        }
        return true;
    }
    // Whole words, then the last eight bytes, which may overlap the words before.
    for (std::size_t at = 0; at + 8 <= text.size(); at += 8) {
        if (!isVerbatimWord(wordAt(text.data() + at))) return false;
    }
    return isVerbatimWord(wordAt(text.data() + text.size() - 8));
}

// Where the JSON text goes: counted first, so that the output is allocated once at its full
// size (a large document renders to hundreds of megabytes), then written. Both sides take the
// same calls; fixed pieces (keys, node kinds, punctuation) come as string literals, so that
// their length is known where they are written.
class JsonLength {
  public:
    void put(char) { ++length_; }
    void put(std::string_view text) { length_ += text.size(); }
    template <std::size_t N>
    void piece(const char (&)[N]) {
        length_ += N - 1;
    }
    void quoted(std::string_view verbatim) { length_ += verbatim.size() + 2; }
    template <bool Pretty>
    void lineBreak(bool comma, std::size_t indent) {
        length_ += (comma ? 1 : 0) + (Pretty ? 1 + indent : 0);
    }
    template <bool Pretty, std::size_t N>
    void keyLine(bool comma, std::size_t indent, const char (&)[N]) {
        lineBreak<Pretty>(comma, indent);
        length_ += N - 1 + (Pretty ? 1 : 0);
    }
    template <bool Pretty>
    void closeLine(std::size_t indent, char) {
        lineBreak<Pretty>(false, indent);
        ++length_;
    }
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
    void put(std::string_view text) { next_ = copy(next_, text); }
    template <std::size_t N>
    void piece(const char (&text)[N]) {
        std::memcpy(next_, text, N - 1);  // a fixed size: a few moves, no call
        next_ += N - 1;
    }
    void quoted(std::string_view verbatim) {
        char* next = next_;
        *next++ = '"';
        next = copy(next, verbatim);
        *next++ = '"';
        next_ = next;
    }

    // The compound pieces below work on a local copy of the position and store it once: every
    // byte written through a char pointer might change the position held in this object, so
    // each single put has to read it back first, one put waiting for the one before.

    // [","] then, laid out, a new line indented by `indent`.
    template <bool Pretty>
    void lineBreak(bool comma, std::size_t indent) {
        next_ = lineBreakAt<Pretty>(next_, comma, indent);
    }
    // A line break, then `"key":` and, laid out, a space.
    template <bool Pretty, std::size_t N>
    void keyLine(bool comma, std::size_t indent, const char (&key)[N]) {
        char* next = lineBreakAt<Pretty>(next_, comma, indent);
        std::memcpy(next, key, N - 1);  // a fixed size: a few moves, no call
        next_ = next + N - 1 + (Pretty ? 1 : 0);
    }
    // Laid out, a new line indented by `indent`; then the closing bracket.
    template <bool Pretty>
    void closeLine(std::size_t indent, char close) {
        char* next = lineBreakAt<Pretty>(next_, false, indent);
        *next = close;
        next_ = next + 1;
    }

    std::string take() { return std::move(text_); }

  private:
    static constexpr std::size_t kShortPiece = 16;

    template <bool Pretty>
    static char* lineBreakAt(char* next, bool comma, std::size_t indent) {
        if (comma) *next++ = ',';
        if constexpr (Pretty) {
            *next = '\n';
            next += 1 + indent;  // the text starts out as spaces
        }
        return next;
    }

    // Most pieces are a few bytes long: copied in line rather than through a call, as two
    // overlapping words where they are long enough.
    static char* copy(char* next, std::string_view text) {
        const char* from = text.data();
        const std::size_t size = text.size();
        if (size > kShortPiece) {
            std::memcpy(next, from, size);
        } else if (size >= 8) {
            copyWord<std::uint64_t>(next, from);
            copyWord<std::uint64_t>(next + size - 8, from + size - 8);
        } else if (size >= 4) {
            copyWord<std::uint32_t>(next, from);
            copyWord<std::uint32_t>(next + size - 4, from + size - 4);
        } else {
            for (std::size_t i = 0; i < size; ++i) next[i] = from[i];
        }
        return next + size;
    }

    template <typename Word>
    static void copyWord(char* to, const char* from) {
        Word word;
        std::memcpy(&word, from, sizeof word);
        std::memcpy(to, &word, sizeof word);
    }

    std::string text_;
    char* next_ = nullptr;
};

// The keys of the JSON objects with their quotes and colon; laid out with an indent, a space
// follows the colon.
constexpr char kDocumentKey[] = "\"document\":";
constexpr char kNodesKey[] = "\"nodes\":";
constexpr char kNodeKey[] = "\"node\":";
constexpr char kNameKey[] = "\"name\":";
constexpr char kTypeKey[] = "\"type\":";
constexpr char kMembersKey[] = "\"members\":";
constexpr char kTargetKey[] = "\"target\":";
constexpr char kIsKey[] = "\"is\":";
constexpr char kValueKey[] = "\"value\":";
constexpr char kTokenKey[] = "\"token\":";
constexpr char kKindKey[] = "\"kind\":";
constexpr char kLexemeKey[] = "\"lexeme\":";
constexpr char kElementsKey[] = "\"elements\":";
constexpr char kSegmentsKey[] = "\"segments\":";

// Arrays whose items need no memory brought in ahead.
struct NoPrefetch {
    template <typename Items>
    void operator()(const Items&, std::size_t) const {}
};

// What a text in JSON stands for in the host's own text: a name, which host text quotes where it
// is not a plain identifier, or a literal, which it prints as it stands.
enum class TextRole { Name, Literal };

// The first text of a document that is not UTF-8, which JSON cannot carry.
struct NotUtf8 {
    std::string_view text;
    TextRole role;
    std::size_t index;  // of the byte where the text stops being UTF-8
};

// "cannot write JSON: the name 'caf\xE9' is not UTF-8 text (byte 0xE9 at index 3)", the text
// written as host text prints it.
std::string notUtf8Message(const NotUtf8& refusal) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto byte = static_cast<unsigned char>(refusal.text[refusal.index]);
    const std::string what = refusal.role == TextRole::Name
                                 ? "the name " + quoteName(refusal.text)
                                 : "the literal " + std::string(refusal.text);
    return "cannot write JSON: " + what + " is not UTF-8 text (byte 0x" + kHex[byte >> 4] +
           kHex[byte & 0x0f] + " at index " + std::to_string(refusal.index) + ")";
}

// Writes a document as JSON straight from the tree, laid out exactly as nlohmann-json's dump()
// lays out the same value: objects with their keys in the documented order, `indent` spaces per
// level (`Pretty`; one line otherwise), the same string escapes. Building the library's value
// first costs many times more than writing the text.
template <typename Out, bool Pretty>
class JsonWriter {
  public:
    JsonWriter(Out& out, std::size_t step) : out_(out), step_(step) {}

    // The first name or lexeme that is not UTF-8 text, which JSON cannot carry; none when the
    // whole document is written.
    std::optional<NotUtf8> writeDocument(const Document& document) {
        openObject();
        key(kDocumentKey, true);
        string(document.name());
        key(kNodesKey, false);
        array(document.nodes(), [this](const NodePtr& node) { writeNode(node); });
        closeObject();
        return refusal_;
    }

  private:
    std::size_t indent() const { return depth_ * step_; }

    void openObject() {
        out_.put('{');
        ++depth_;
    }

    // Every object written here has keys; `first` tells whether a comma goes before this one.
    template <std::size_t N>
    void key(const char (&name)[N], bool first) {
        out_.template keyLine<Pretty>(!first, indent(), name);
    }

    void closeObject() {
        --depth_;
        out_.template closeLine<Pretty>(indent(), '}');
    }

    // `prefetch(items, i)` is called before item i is written.
    template <typename Items, typename WriteItem, typename Prefetch = NoPrefetch>
    void array(const Items& items, WriteItem writeItem, Prefetch prefetch = {}) {
        if (items.empty()) {
            out_.piece("[]");
            return;
        }
        out_.put('[');
        ++depth_;
        for (std::size_t i = 0; i < items.size(); ++i) {
            out_.template lineBreak<Pretty>(i > 0, indent());
            prefetch(items, i);
            writeItem(items[i]);
        }
        --depth_;
        out_.template closeLine<Pretty>(indent(), ']');
    }

    // Members lie wherever the allocator put them, which for a large document is seldom next to
    // their siblings. Asking for the memory of the members two and one ahead (first the node,
    // then, once it has arrived, its parts) while this one is written hides most of the wait.
    // All the cache lines an object of `size` bytes at `object` may touch.
    static void prefetchObject(const void* object, std::size_t size) {
        const auto* bytes = static_cast<const char*>(object);
        __builtin_prefetch(bytes);
        __builtin_prefetch(bytes + size - 1);
        if (size > 64) __builtin_prefetch(bytes + 64);
    }

    static void prefetchParts(const VarAssignment& assignment) {
        __builtin_prefetch(assignment.target().data());
        if (const auto& value = assignment.value()) prefetchObject(value.get(), sizeof(Constant));
    }

    static void prefetchMembers(const VarAssignment::Members& members, std::size_t i) {
        if (i + 2 < members.size() && members[i + 2]) {
            prefetchObject(members[i + 2].get(), sizeof(VarAssignment));
        }
        if (i + 1 < members.size() && members[i + 1]) prefetchParts(*members[i + 1]);
    }

    static void prefetchNodes(const std::vector<NodePtr>& nodes, std::size_t i) {
        if (i + 2 < nodes.size()) __builtin_prefetch(nodes[i + 2].get());
        if (i + 1 < nodes.size() && nodes[i + 1] && nodes[i + 1]->isVarAssignment()) {
            prefetchParts(static_cast<const VarAssignment&>(*nodes[i + 1]));
        }
    }

    void lexemes(const std::vector<Token>& tokens) {
        array(tokens, [this](const Token& token) { string(token.lexeme); });
    }

    void string(std::string_view text, TextRole role = TextRole::Name) {
        if (isVerbatim(text)) return out_.quoted(text);
        out_.put('"');
        for (std::size_t at = 0; at < text.size();) {
            const char c = text[at];
            const auto byte = static_cast<unsigned char>(c);
            if (byte >= 0x80) {
                const std::size_t length = Text::utf8SequenceLength(text.substr(at));
                if (length == 0) {
                    if (!refusal_) refusal_ = NotUtf8{text, role, at};
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
        if (c == '"') return out_.put("\\\"");
        if (const std::string_view escaped = Text::shortEscape(c); !escaped.empty()) {
            return out_.put(escaped);
        }
        if (c == '\b') return out_.put("\\b");
        if (c == '\f') return out_.put("\\f");
        const auto code = Text::unicodeEscape(static_cast<unsigned char>(c));
        out_.put(std::string_view(code.data(), code.size()));
    }

    void integer(std::int32_t value) {
        std::array<char, 16> digits;
        const char* const end =
            std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
        // Byte by byte: token kinds have two digits, and GCC 12 takes the bounded copy of a
        // longer piece for one that may read past the digits.
        for (const char* digit = digits.data(); digit != end; ++digit) out_.put(*digit);
    }

    void boolean(bool value) {
        if (value) return out_.piece("true");
        out_.piece("false");
    }

    void null() { out_.piece("null"); }

    // Nodes the host does not print (none that an import makes) are written as null, so the
    // positions of the others stay intact.
    void writeNode(const NodePtr& node) {
        if (!node) return null();
        if (node->isModelDeclaration()) {
            return writeModel(static_cast<const ModelDeclaration&>(*node));
        }
        if (node->isVarAssignment())
            return writeAssignment(static_cast<const VarAssignment&>(*node));
        if (const auto* expression = dynamic_cast<const Expression*>(node.get())) {
            return writeExpression(*expression);
        }
        null();
    }

    void writeModel(const ModelDeclaration& model) {
        openObject();
        key(kNodeKey, true);
        out_.piece("\"ModelDeclaration\"");
        key(kNameKey, false);
        string(model.name().lexeme);
        key(kTypeKey, false);
        lexemes(model.type());
        key(kMembersKey, false);
        array(
            model.members(), [this](const NodePtr& member) { writeNode(member); }, prefetchNodes);
        closeObject();
    }

    void writeAssignment(const VarAssignment& assignment) {
        openObject();
        key(kNodeKey, true);
        out_.piece("\"VarAssignment\"");
        key(kTargetKey, false);
        lexemes(assignment.target());
        key(kIsKey, false);
        boolean(assignment.declaresType());
        key(kTypeKey, false);
        lexemes(assignment.type());
        key(kMembersKey, false);
        array(
            assignment.members(),
            [this](const VarAssignmentPtr& member) {
                if (member) return writeAssignment(*member);
                null();
            },
            prefetchMembers);
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
        out_.piece("\"Constant\"");
        key(kTokenKey, false);
        openObject();
        key(kKindKey, true);
        integer(constant.token().kind);
        key(kLexemeKey, false);
        const Token& token = constant.token();
        string(token.lexeme,
               token.kind == TokenKind::Identifier ? TextRole::Name : TextRole::Literal);
        closeObject();
        closeObject();
    }

    void writeArray(const Array& array) {
        openObject();
        key(kNodeKey, true);
        out_.piece("\"Array\"");
        key(kElementsKey, false);
        this->array(array.elements(),
                    [this](const ExpressionPtr& element) { writeValue(element); });
        closeObject();
    }

    void writeReference(const Reference& reference) {
        openObject();
        key(kNodeKey, true);
        out_.piece("\"Reference\"");
        key(kSegmentsKey, false);
        array(reference.segments(), [this](const std::string& segment) { string(segment); });
        closeObject();
    }

    Out& out_;
    const std::size_t step_;
    std::size_t depth_ = 0;
    std::optional<NotUtf8> refusal_;
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
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\'') {
        out += "\\'";
    } else if (const std::string_view escaped = Text::shortEscape(c); !escaped.empty()) {
        out += escaped;
    } else if (byte < 0x20 || byte == 0x7f) {
        const auto code = Text::unicodeEscape(byte);
        out.append(code.data(), code.size());
    } else {
        out += c;
    }
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

template <bool Pretty>
std::string writeJson(const Document& document, std::size_t step) {
    JsonLength length;
    if (const auto refusal = JsonWriter<JsonLength, Pretty>(length, step).writeDocument(document)) {
        throw std::invalid_argument(notUtf8Message(*refusal));
    }
    JsonText text(length.length());
    JsonWriter<JsonText, Pretty>(text, step).writeDocument(document);
    return text.take();
}

}  // namespace

std::string toJson(const Document& document, int indent) {
    if (indent < 0) return writeJson<false>(document, 0);
    return writeJson<true>(document, static_cast<std::size_t>(indent));
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
