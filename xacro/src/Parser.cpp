// Python 3's expression grammar: tokens, then a recursive descent in the grammar's order of
// precedence, into the syntax tree of Syntax.hpp.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "Syntax.hpp"

namespace corvane::xacro {
namespace {

// Nesting deeper than this (parentheses, unary signs, ...) is refused rather than overflowing
// the stack, while parsing and again while evaluating.
constexpr int maxNesting = 200;

struct Token {
    enum class Kind { Number, String, Name, Op, End } kind = Kind::End;
    std::string text;  // a string's value once its escapes are read
    Value number;
};

bool isNameStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}
bool isNameChar(char c) {
    return isNameStart(c) || std::isdigit(static_cast<unsigned char>(c));
}

bool isKeyword(std::string_view word) {
    static constexpr std::string_view keywords[] = {
        "False", "None",     "True",  "and",    "as",   "assert", "async",  "await",    "break",
        "class", "continue", "def",   "del",    "elif", "else",   "except", "finally",  "for",
        "from",  "global",   "if",    "import", "in",   "is",     "lambda", "nonlocal", "not",
        "or",    "pass",     "raise", "return", "try",  "while",  "with",   "yield"};
    return std::find(std::begin(keywords), std::end(keywords), word) != std::end(keywords);
}

class Tokeniser {
  public:
    explicit Tokeniser(const std::string& text) : text_(text) {}

    std::vector<Token> tokens() {
        std::vector<Token> tokens;
        while (i_ < text_.size()) {
            const char c = text_[i_];
            if (std::isspace(static_cast<unsigned char>(c))) {
                ++i_;
            } else if (c == '\\' && i_ + 1 < text_.size() && text_[i_ + 1] == '\n') {
                i_ += 2;  // a line continued
            } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                       (c == '.' && i_ + 1 < text_.size() &&
                        std::isdigit(static_cast<unsigned char>(text_[i_ + 1])))) {
                tokens.push_back(number());
            } else if (isNameStart(c)) {
                std::size_t j = i_;
                while (j < text_.size() && isNameChar(text_[j])) ++j;
                std::string word = text_.substr(i_, j - i_);
                if (j < text_.size() && (text_[j] == '\'' || text_[j] == '"') && isPrefix(word)) {
                    i_ = j;
                    tokens.push_back(string(word));
                } else {
                    tokens.push_back({Token::Kind::Name, std::move(word), {}});
                    i_ = j;
                }
            } else if (c == '\'' || c == '"') {
                tokens.push_back(string(""));
            } else {
                tokens.push_back(op());
            }
        }
        tokens.push_back({Token::Kind::End, "", {}});
        return tokens;
    }

  private:
    [[noreturn]] void fail(const std::string& why = "invalid syntax") const {
        throw EvalError(why + " in expression '" + text_ + "'");
    }

    static bool isPrefix(std::string word) {
        for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        static constexpr std::string_view prefixes[] = {"r", "u", "f", "b", "br", "rb", "fr", "rf"};
        return std::find(std::begin(prefixes), std::end(prefixes), word) != std::end(prefixes);
    }

    Token op() {
        static constexpr std::string_view ops[] = {"**", "//", "==", "!=", "<=", ">=", "<<", ">>",
                                                   ":=", "->", "<",  ">",  "+",  "-",  "*",  "/",
                                                   "%",  "@",  "&",  "|",  "^",  "~",  "=",  "(",
                                                   ")",  "[",  "]",  "{",  "}",  ",",  ":",  "."};
        if (text_.compare(i_, 3, "...") == 0) fail();
        for (const std::string_view op : ops)
            if (text_.compare(i_, op.size(), op) == 0) {
                i_ += op.size();
                return {Token::Kind::Op, std::string(op), {}};
            }
        fail();
    }

    // An int (decimal, 0x, 0o, 0b, with underscores between digits), a float or an imaginary
    // number.
    Token number() {
        const std::size_t start = i_;
        std::string digits;
        const auto take = [&](auto isDigit) {
            bool last = false;  // the last character was a digit
            while (i_ < text_.size()) {
                const char c = text_[i_];
                if (isDigit(c)) {
                    digits += c;
                    last = true;
                } else if (c == '_' && last && i_ + 1 < text_.size() && isDigit(text_[i_ + 1])) {
                    last = false;
                } else {
                    break;
                }
                ++i_;
            }
        };
        const auto decimal = [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) != 0;
        };
        if (text_[i_] == '0' && i_ + 1 < text_.size() &&
            std::string_view("xXoObB").find(text_[i_ + 1]) != std::string_view::npos) {
            const char base =
                static_cast<char>(std::tolower(static_cast<unsigned char>(text_[i_ + 1])));
            i_ += 2;
            if (i_ < text_.size() && text_[i_] == '_') ++i_;
            const int radix = base == 'x' ? 16 : base == 'o' ? 8 : 2;
            take([radix](char c) {
                const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                              : std::isalpha(static_cast<unsigned char>(c))
                                  ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                                  : 99;
                return d < radix;
            });
            if (digits.empty() || (i_ < text_.size() && isNameChar(text_[i_]))) fail();
            BigInt value = 0;
            for (const char c : digits)
                value =
                    value * radix + (std::isdigit(static_cast<unsigned char>(c))
                                         ? c - '0'
                                         : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
            return {Token::Kind::Number, text_.substr(start, i_ - start), makeInt(value)};
        }
        take(decimal);
        bool isFloat = false;
        if (i_ < text_.size() && text_[i_] == '.') {
            isFloat = true;
            digits += '.';
            ++i_;
            take(decimal);
        }
        if (i_ < text_.size() && (text_[i_] == 'e' || text_[i_] == 'E')) {
            std::size_t j = i_ + 1;
            if (j < text_.size() && (text_[j] == '+' || text_[j] == '-')) ++j;
            if (j < text_.size() && decimal(text_[j])) {
                isFloat = true;
                digits += 'e';
                if (text_[i_ + 1] == '-') digits += '-';
                i_ = j;
                take(decimal);
            }
        }
        const bool imaginary = i_ < text_.size() && (text_[i_] == 'j' || text_[i_] == 'J');
        if (imaginary) ++i_;
        if (i_ < text_.size() && isNameChar(text_[i_])) fail();
        const std::string written = text_.substr(start, i_ - start);
        if (imaginary || isFloat) {
            const double value = std::strtod(digits.c_str(), nullptr);
            if (imaginary)
                return {Token::Kind::Number, written, Value{std::complex<double>(0, value)}};
            return {Token::Kind::Number, written, Value{value}};
        }
        // a leading zero is only written for zero itself
        if (digits.size() > 1 && digits[0] == '0' &&
            digits.find_first_not_of('0') != std::string::npos)
            fail("leading zeros in decimal integer literals are not permitted");
        if (digits.size() > 4300) fail("integer literal too long");
        return {Token::Kind::Number, written, makeInt(BigInt(digits))};
    }

    // The escape after a backslash at i_ (which is past the backslash), appended to OUT.
    void escape(std::string& out) {
        const char c = text_[i_++];
        static constexpr std::string_view from = "\n\\'\"abfnrtv";
        static constexpr std::string_view to("\0\\'\"\a\b\f\n\r\t\v", 11);
        if (const auto at = from.find(c); at != std::string_view::npos) {
            if (at > 0) out += to[at];
            return;
        }
        if (c >= '0' && c <= '7') {
            std::uint32_t code = static_cast<std::uint32_t>(c - '0');
            for (int n = 1; n < 3 && i_ < text_.size() && text_[i_] >= '0' && text_[i_] <= '7'; ++n)
                code = code * 8 + static_cast<std::uint32_t>(text_[i_++] - '0');
            out += utf8Of(code);
            return;
        }
        const int hexDigits = c == 'x' ? 2 : c == 'u' ? 4 : c == 'U' ? 8 : 0;
        if (hexDigits == 0) {
            if (c == 'N') fail("named unicode escapes are not supported");
            out += '\\';
            out += c;
            return;
        }
        std::uint32_t code = 0;
        for (int n = 0; n < hexDigits; ++n) {
            if (i_ >= text_.size() || !std::isxdigit(static_cast<unsigned char>(text_[i_])))
                fail("truncated \\" + std::string(1, c) + " escape");
            const char h = static_cast<char>(std::tolower(static_cast<unsigned char>(text_[i_++])));
            code = code * 16 +
                   static_cast<std::uint32_t>(
                       std::isdigit(static_cast<unsigned char>(h)) ? h - '0' : h - 'a' + 10);
        }
        if (code > 0x10FFFF) fail("illegal Unicode character");
        out += utf8Of(code);
    }

    Token string(std::string prefix) {
        for (char& c : prefix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (prefix.find('b') != std::string::npos) fail("bytes are not supported");
        const bool raw = prefix.find('r') != std::string::npos;
        const bool formatted = prefix.find('f') != std::string::npos;
        const char quote = text_[i_];
        const bool triple = text_.compare(i_, 3, std::string(3, quote)) == 0;
        i_ += triple ? 3 : 1;
        std::string value;
        for (;;) {
            if (i_ >= text_.size()) fail("unterminated string literal");
            const char c = text_[i_];
            if (triple ? text_.compare(i_, 3, std::string(3, quote)) == 0 : c == quote) {
                i_ += triple ? 3 : 1;
                break;
            }
            if (c == '\n' && !triple) fail("unterminated string literal");
            if (c == '\\' && i_ + 1 < text_.size()) {
                ++i_;
                if (raw) {
                    value += '\\';
                    value += text_[i_++];
                } else {
                    escape(value);
                }
                continue;
            }
            if (formatted && (c == '{' || c == '}')) fail("f-string fields are not supported");
            value += c;
            ++i_;
        }
        return {Token::Kind::String, value, {}};
    }

    const std::string& text_;
    std::size_t i_ = 0;
};

class Parser {
  public:
    explicit Parser(const std::string& text) : text_(text), tokens_(Tokeniser(text).tokens()) {}

    NodePtr parse() {
        NodePtr node = expressionList(true);
        if (peek().kind != Token::Kind::End) fail();
        return node;
    }

  private:
    struct Deeper {
        Deeper(int& depth, const Parser& parser) : depth_(depth) {
            if (++depth_ > maxNesting) {
                --depth_;
                throw EvalError("expression nested too deeply in expression '" + parser.text_ +
                                "'");
            }
        }
        ~Deeper() { --depth_; }
        Deeper(const Deeper&) = delete;
        Deeper& operator=(const Deeper&) = delete;
        int& depth_;
    };

    const Token& peek(std::size_t ahead = 0) const {
        return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)];
    }
    bool isOp(std::string_view op, std::size_t ahead = 0) const {
        const Token& token = peek(ahead);
        return token.kind == Token::Kind::Op && token.text == op;
    }
    bool isWord(std::string_view word, std::size_t ahead = 0) const {
        const Token& token = peek(ahead);
        return token.kind == Token::Kind::Name && token.text == word;
    }
    bool acceptOp(std::string_view op) {
        if (!isOp(op)) return false;
        ++pos_;
        return true;
    }
    bool acceptWord(std::string_view word) {
        if (!isWord(word)) return false;
        ++pos_;
        return true;
    }
    void expectOp(std::string_view op) {
        if (!acceptOp(op)) fail();
    }
    [[noreturn]] void fail() const {
        throw EvalError("invalid syntax in expression '" + text_ + "'");
    }

    static NodePtr make(Node::Kind kind, std::vector<NodePtr> children = {}) {
        auto node = std::make_unique<Node>();
        node->kind = kind;
        node->children = std::move(children);
        return node;
    }
    static std::vector<NodePtr> pair(NodePtr a, NodePtr b) {
        std::vector<NodePtr> nodes;
        nodes.push_back(std::move(a));
        nodes.push_back(std::move(b));
        return nodes;
    }
    static std::vector<NodePtr> one(NodePtr a) {
        std::vector<NodePtr> nodes;
        nodes.push_back(std::move(a));
        return nodes;
    }

    // Whether the next token can start an expression (after a trailing comma, it cannot).
    bool startsExpression() const {
        const Token& token = peek();
        if (token.kind == Token::Kind::End) return false;
        if (token.kind == Token::Kind::Op)
            return token.text == "(" || token.text == "[" || token.text == "{" ||
                   token.text == "-" || token.text == "+" || token.text == "~" || token.text == "*";
        if (token.kind == Token::Kind::Name)
            return !isKeyword(token.text) || token.text == "not" || token.text == "lambda" ||
                   token.text == "None" || token.text == "True" || token.text == "False";
        return true;
    }

    // a, b, *c: one expression, or a tuple when there is a comma (STARRED allows *c).
    NodePtr expressionList(bool starred) {
        NodePtr first = starredOrNamed(starred);
        if (!isOp(",")) {
            if (first->kind == Node::Kind::Starred) fail();
            return first;
        }
        std::vector<NodePtr> items = one(std::move(first));
        while (acceptOp(",") && startsExpression()) items.push_back(starredOrNamed(starred));
        return make(Node::Kind::TupleDisplay, std::move(items));
    }

    NodePtr starredOrNamed(bool starred) {
        if (starred && acceptOp("*")) {
            const Deeper guard(depth_, *this);
            return make(Node::Kind::Starred, one(bitwiseOr()));
        }
        return namedExpression();
    }

    NodePtr namedExpression() {
        if (peek().kind == Token::Kind::Name && !isKeyword(peek().text) && isOp(":=", 1)) {
            auto node = std::make_unique<Node>();
            node->kind = Node::Kind::Named;
            node->text = peek().text;
            pos_ += 2;
            node->children = one(expression());
            return node;
        }
        return expression();
    }

    NodePtr expression() {
        const Deeper guard(depth_, *this);
        if (isWord("lambda")) return lambda();
        NodePtr body = disjunction();
        if (!acceptWord("if")) return body;
        NodePtr condition = disjunction();
        if (!acceptWord("else")) fail();
        std::vector<NodePtr> parts = pair(std::move(body), std::move(condition));
        parts.push_back(expression());
        return make(Node::Kind::IfElse, std::move(parts));
    }

    NodePtr lambda() {
        ++pos_;
        auto node = std::make_unique<Node>();
        node->kind = Node::Kind::Lambda;
        std::vector<NodePtr> defaults;
        bool star = false;
        while (!isOp(":")) {
            std::string prefix = acceptOp("**") ? "**" : acceptOp("*") ? "*" : "";
            if (prefix == "*" && (isOp(",") || isOp(":"))) fail();  // keyword-only marker
            if (peek().kind != Token::Kind::Name || isKeyword(peek().text)) fail();
            const std::string name = prefix + tokens_[pos_++].text;
            if (std::find(node->labels.begin(), node->labels.end(), name) != node->labels.end())
                fail();
            if (!prefix.empty()) {
                if (star && prefix == "*") fail();
                star = true;
            } else if (star) {
                fail();
            }
            node->labels.push_back(name);
            if (acceptOp("=")) {
                if (!prefix.empty()) fail();
                defaults.push_back(expression());
            } else if (!defaults.empty() && prefix.empty()) {
                fail();  // a parameter without a default after one with
            }
            if (!acceptOp(",")) break;
        }
        expectOp(":");
        node->children = one(expression());
        for (auto& fallback : defaults) node->children.push_back(std::move(fallback));
        return node;
    }

    NodePtr joined(Node::Kind kind, std::string_view word, NodePtr (Parser::*part)()) {
        NodePtr first = (this->*part)();
        if (!isWord(word)) return first;
        std::vector<NodePtr> parts = one(std::move(first));
        while (acceptWord(word)) parts.push_back((this->*part)());
        return make(kind, std::move(parts));
    }
    NodePtr disjunction() { return joined(Node::Kind::Or, "or", &Parser::conjunction); }
    NodePtr conjunction() { return joined(Node::Kind::And, "and", &Parser::inversion); }

    NodePtr inversion() {
        if (acceptWord("not")) {
            const Deeper guard(depth_, *this);
            return make(Node::Kind::Not, one(inversion()));
        }
        return comparison();
    }

    std::optional<CompareOp> compareOp() {
        static constexpr std::pair<std::string_view, CompareOp> ops[] = {
            {"==", CompareOp::Eq}, {"!=", CompareOp::Ne}, {"<", CompareOp::Lt},
            {"<=", CompareOp::Le}, {">", CompareOp::Gt},  {">=", CompareOp::Ge}};
        for (const auto& [text, op] : ops)
            if (acceptOp(text)) return op;
        if (acceptWord("in")) return CompareOp::In;
        if (isWord("not") && isWord("in", 1)) {
            pos_ += 2;
            return CompareOp::NotIn;
        }
        if (acceptWord("is")) return acceptWord("not") ? CompareOp::IsNot : CompareOp::Is;
        return std::nullopt;
    }

    NodePtr comparison() {
        NodePtr first = bitwiseOr();
        std::optional<CompareOp> op = compareOp();
        if (!op) return first;
        auto node = std::make_unique<Node>();
        node->kind = Node::Kind::Compare;
        node->children.push_back(std::move(first));
        do {
            node->compares.push_back(*op);
            node->children.push_back(bitwiseOr());
        } while ((op = compareOp()));
        return node;
    }

    using Level = NodePtr (Parser::*)();
    NodePtr binaryLevel(std::initializer_list<std::pair<std::string_view, BinaryOp>> ops,
                        Level next) {
        NodePtr left = (this->*next)();
        for (;;) {
            const auto found = std::find_if(ops.begin(), ops.end(),
                                            [&](const auto& op) { return isOp(op.first); });
            if (found == ops.end()) return left;
            ++pos_;
            auto node = std::make_unique<Node>();
            node->kind = Node::Kind::Binary;
            node->op = found->second;
            node->children = pair(std::move(left), (this->*next)());
            left = std::move(node);
        }
    }
    NodePtr bitwiseOr() { return binaryLevel({{"|", BinaryOp::Or}}, &Parser::bitwiseXor); }
    NodePtr bitwiseXor() { return binaryLevel({{"^", BinaryOp::Xor}}, &Parser::bitwiseAnd); }
    NodePtr bitwiseAnd() { return binaryLevel({{"&", BinaryOp::And}}, &Parser::shift); }
    NodePtr shift() {
        return binaryLevel({{"<<", BinaryOp::LShift}, {">>", BinaryOp::RShift}}, &Parser::sum);
    }
    NodePtr sum() {
        return binaryLevel({{"+", BinaryOp::Add}, {"-", BinaryOp::Sub}}, &Parser::term);
    }
    NodePtr term() {
        return binaryLevel({{"*", BinaryOp::Mul},
                            {"/", BinaryOp::Div},
                            {"//", BinaryOp::FloorDiv},
                            {"%", BinaryOp::Mod},
                            {"@", BinaryOp::MatMul}},
                           &Parser::factor);
    }

    NodePtr factor() {
        if (isOp("-") || isOp("+") || isOp("~")) {
            const Deeper guard(depth_, *this);
            auto node = std::make_unique<Node>();
            node->kind = Node::Kind::Unary;
            node->text = tokens_[pos_++].text;
            node->children = one(factor());
            return node;
        }
        return power();
    }

    NodePtr power() {
        NodePtr base = primary();
        if (!acceptOp("**")) return base;
        const Deeper guard(depth_, *this);
        auto node = std::make_unique<Node>();
        node->kind = Node::Kind::Binary;
        node->op = BinaryOp::Pow;
        node->children = pair(std::move(base), factor());
        return node;
    }

    NodePtr primary() {
        NodePtr node = atom();
        for (;;) {
            if (acceptOp(".")) {
                if (peek().kind != Token::Kind::Name || isKeyword(peek().text)) fail();
                auto attribute = std::make_unique<Node>();
                attribute->kind = Node::Kind::Attribute;
                attribute->text = tokens_[pos_++].text;
                attribute->children = one(std::move(node));
                node = std::move(attribute);
            } else if (acceptOp("(")) {
                const Deeper guard(depth_, *this);
                node = call(std::move(node));
            } else if (acceptOp("[")) {
                const Deeper guard(depth_, *this);
                node = make(Node::Kind::Subscript, pair(std::move(node), slices()));
                expectOp("]");
            } else {
                return node;
            }
        }
    }

    NodePtr slices() {
        NodePtr first = sliceItem();
        if (!isOp(",")) return first;
        std::vector<NodePtr> items = one(std::move(first));
        while (acceptOp(",") && !isOp("]")) items.push_back(sliceItem());
        return make(Node::Kind::TupleDisplay, std::move(items));
    }

    NodePtr sliceItem() {
        NodePtr start;
        if (!isOp(":")) {
            start = starredOrNamed(true);
            if (!isOp(":")) return start;
        }
        std::vector<NodePtr> parts = one(std::move(start));
        for (int i = 0; i < 2; ++i) {
            if (!acceptOp(":")) {
                parts.emplace_back();
                continue;
            }
            parts.push_back(isOp(":") || isOp("]") || isOp(",") ? NodePtr() : expression());
        }
        return make(Node::Kind::Slice, std::move(parts));
    }

    NodePtr call(NodePtr callee) {
        auto node = std::make_unique<Node>();
        node->kind = Node::Kind::Call;
        node->children.push_back(std::move(callee));
        node->labels.emplace_back();
        bool keywords = false;
        while (!acceptOp(")")) {
            if (acceptOp("**")) {
                node->labels.emplace_back("**");
                node->children.push_back(expression());
                keywords = true;
            } else if (acceptOp("*")) {
                node->labels.emplace_back("*");
                node->children.push_back(expression());
            } else if (peek().kind == Token::Kind::Name && isOp("=", 1)) {
                if (isKeyword(peek().text)) fail();
                node->labels.push_back(tokens_[pos_].text);
                pos_ += 2;
                node->children.push_back(expression());
                keywords = true;
            } else {
                if (keywords) fail();  // a positional argument after a keyword one
                NodePtr argument = namedExpression();
                if (isWord("for")) {
                    // f(x for x in items): the only argument, a generator without its own parens
                    if (node->children.size() != 1) fail();
                    argument = comprehension(Node::Kind::Generator, std::move(argument));
                    if (!isOp(")")) fail();
                }
                node->labels.emplace_back();
                node->children.push_back(std::move(argument));
            }
            if (!acceptOp(",")) {
                expectOp(")");
                break;
            }
        }
        return node;
    }

    // The target of a for clause: a name, or names in a tuple or a list.
    NodePtr target() {
        NodePtr first = targetItem();
        if (!isOp(",")) return first;
        std::vector<NodePtr> items = one(std::move(first));
        while (acceptOp(",") && !isWord("in")) items.push_back(targetItem());
        return make(Node::Kind::TupleDisplay, std::move(items));
    }
    NodePtr targetItem() {
        const Deeper guard(depth_, *this);
        if (acceptOp("*")) return make(Node::Kind::Starred, one(targetItem()));
        for (const auto& [open, close, kind] : {std::tuple{"(", ")", Node::Kind::TupleDisplay},
                                                std::tuple{"[", "]", Node::Kind::ListDisplay}}) {
            if (!acceptOp(open)) continue;
            std::vector<NodePtr> items;
            bool comma = false;
            while (!acceptOp(close)) {
                items.push_back(targetItem());
                if (!acceptOp(",")) {
                    expectOp(close);
                    break;
                }
                comma = true;
            }
            if (kind == Node::Kind::TupleDisplay && items.size() == 1 && !comma)
                return std::move(items[0]);
            return make(kind, std::move(items));
        }
        if (peek().kind != Token::Kind::Name || isKeyword(peek().text)) fail();
        auto name = std::make_unique<Node>();
        name->kind = Node::Kind::Name;
        name->text = tokens_[pos_++].text;
        return name;
    }

    NodePtr comprehension(Node::Kind kind, NodePtr element, NodePtr value = {}) {
        auto node = std::make_unique<Node>();
        node->kind = kind;
        node->children.push_back(std::move(element));
        if (value) node->children.push_back(std::move(value));
        while (acceptWord("for")) {
            Clause clause;
            clause.target = target();
            if (!acceptWord("in")) fail();
            clause.expr = disjunction();
            node->clauses.push_back(std::move(clause));
            while (acceptWord("if")) node->clauses.push_back(Clause{{}, disjunction()});
        }
        return node;
    }

    NodePtr constant(Value value) {
        auto node = std::make_unique<Node>();
        node->kind = Node::Kind::Constant;
        node->constant = std::move(value);
        return node;
    }

    NodePtr atom() {
        const Token& token = peek();
        switch (token.kind) {
            case Token::Kind::Number:
                ++pos_;
                return constant(token.number);
            case Token::Kind::String: {
                std::string text;
                while (peek().kind == Token::Kind::String) text += tokens_[pos_++].text;
                return constant(Value{text});
            }
            case Token::Kind::Name: {
                ++pos_;
                if (token.text == "True") return constant(Value{true});
                if (token.text == "False") return constant(Value{false});
                if (token.text == "None") return constant(Value{});
                if (isKeyword(token.text)) fail();
                auto name = std::make_unique<Node>();
                name->kind = Node::Kind::Name;
                name->text = token.text;
                return name;
            }
            case Token::Kind::End:
                fail();
            case Token::Kind::Op:
                break;
        }
        const Deeper guard(depth_, *this);
        if (acceptOp("(")) return parenthesised();
        if (acceptOp("[")) return display("]", Node::Kind::ListDisplay, Node::Kind::ListComp);
        if (acceptOp("{")) return braces();
        fail();
    }

    NodePtr parenthesised() {
        if (acceptOp(")")) return make(Node::Kind::TupleDisplay);
        NodePtr first = starredOrNamed(true);
        if (isWord("for")) {
            NodePtr generator = comprehension(Node::Kind::Generator, std::move(first));
            expectOp(")");
            return generator;
        }
        if (acceptOp(")")) {
            if (first->kind == Node::Kind::Starred) fail();
            return first;
        }
        expectOp(",");
        std::vector<NodePtr> items = one(std::move(first));
        while (!acceptOp(")")) {
            items.push_back(starredOrNamed(true));
            if (!acceptOp(",")) {
                expectOp(")");
                break;
            }
        }
        return make(Node::Kind::TupleDisplay, std::move(items));
    }

    NodePtr display(std::string_view close, Node::Kind kind, Node::Kind comprehensionKind,
                    NodePtr first = {}) {
        std::vector<NodePtr> items;
        if (!first) {
            if (acceptOp(close)) return make(kind);
            first = starredOrNamed(true);
        }
        if (isWord("for")) {
            if (first->kind == Node::Kind::Starred) fail();
            NodePtr node = comprehension(comprehensionKind, std::move(first));
            expectOp(close);
            return node;
        }
        items.push_back(std::move(first));
        while (acceptOp(",") && !isOp(close)) items.push_back(starredOrNamed(true));
        expectOp(close);
        return make(kind, std::move(items));
    }

    // {} a dict, {a: b, **c} a dict, {a, *b} a set, and their comprehensions.
    NodePtr braces() {
        if (acceptOp("}")) return make(Node::Kind::DictDisplay);
        std::vector<NodePtr> items;
        if (!acceptOp("**")) {
            NodePtr first = starredOrNamed(true);
            if (!acceptOp(":"))
                return display("}", Node::Kind::SetDisplay, Node::Kind::SetComp, std::move(first));
            NodePtr value = expression();
            if (isWord("for")) {
                NodePtr node =
                    comprehension(Node::Kind::DictComp, std::move(first), std::move(value));
                expectOp("}");
                return node;
            }
            items.push_back(std::move(first));
            items.push_back(std::move(value));
        } else {
            items.push_back(make(Node::Kind::DoubleStarred, one(bitwiseOr())));
        }
        while (acceptOp(",") && !isOp("}")) {
            if (acceptOp("**")) {
                items.push_back(make(Node::Kind::DoubleStarred, one(bitwiseOr())));
                continue;
            }
            items.push_back(expression());
            expectOp(":");
            items.push_back(expression());
        }
        expectOp("}");
        return make(Node::Kind::DictDisplay, std::move(items));
    }

    const std::string& text_;
    std::vector<Token> tokens_;
    std::size_t pos_ = 0;
    int depth_ = 0;
};

}  // namespace

NodePtr parseExpression(const std::string& expression) {
    return Parser(expression).parse();
}

}  // namespace corvane::xacro
