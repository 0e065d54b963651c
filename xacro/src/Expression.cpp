#include "Expression.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <numbers>

namespace corvane::xacro {
namespace {

// Integer arithmetic is done one size wider, so an overflow of 64 bits is seen and refused.
__extension__ typedef __int128 Wide;

// Nesting deeper than this (parentheses, unary signs) is refused rather than overflowing the stack.
constexpr int maxNesting = 200;
// Texts and lists made by + and * stop at this size, so a doubling property cannot exhaust
// memory.
constexpr std::size_t maxTextSize = 10'000'000;

struct Token {
    enum class Kind { Number, String, Name, Op, End } kind = Kind::End;
    std::string text;
};

bool isNameStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

std::vector<Token> tokenise(const std::string& text) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                   (c == '.' && i + 1 < text.size() &&
                    std::isdigit(static_cast<unsigned char>(text[i + 1])))) {
            std::size_t j = i;
            while (j < text.size() &&
                   (std::isalnum(static_cast<unsigned char>(text[j])) || text[j] == '.' ||
                    ((text[j] == '+' || text[j] == '-') &&
                     (text[j - 1] == 'e' || text[j - 1] == 'E'))))
                ++j;
            tokens.push_back({Token::Kind::Number, text.substr(i, j - i)});
            i = j;
        } else if (isNameStart(c)) {
            std::size_t j = i;
            while (j < text.size() && isNameChar(text[j])) ++j;
            tokens.push_back({Token::Kind::Name, text.substr(i, j - i)});
            i = j;
        } else if (c == '\'' || c == '"') {
            std::string value;
            std::size_t j = i + 1;
            while (j < text.size() && text[j] != c) {
                if (text[j] == '\\' && j + 1 < text.size()) {
                    ++j;
                    value += text[j] == 'n' ? '\n' : text[j] == 't' ? '\t' : text[j];
                } else {
                    value += text[j];
                }
                ++j;
            }
            if (j >= text.size())
                throw EvalError("unterminated string in expression '" + text + "'");
            tokens.push_back({Token::Kind::String, value});
            i = j + 1;
        } else {
            static const char* const ops[] = {"**", "//", "==", "!=", "<=", ">=", "+", "-",
                                              "*",  "/",  "%",  "<",  ">",  "=",  "(", ")",
                                              "[",  "]",  "{",  "}",  ",",  ":",  "."};
            bool found = false;
            for (const char* op : ops) {
                const std::string_view view(op);
                if (text.compare(i, view.size(), view) == 0) {
                    tokens.push_back({Token::Kind::Op, std::string(view)});
                    i += view.size();
                    found = true;
                    break;
                }
            }
            if (!found) throw EvalError("invalid syntax in expression '" + text + "'");
        }
    }
    tokens.push_back({Token::Kind::End, ""});
    return tokens;
}

}  // namespace

Value parseNumber(const std::string& text) {
    if (text.find_first_of(".eE") == std::string::npos) {
        std::int64_t value = 0;
        const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
        if (result.ec == std::errc::result_out_of_range)
            throw EvalError("integer too large: " + text);
        if (result.ec != std::errc() || result.ptr != text.data() + text.size())
            throw EvalError("invalid number '" + text + "'");
        return Value{value};
    }
    double value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size())
        throw EvalError("invalid number '" + text + "'");
    return Value{value};
}

namespace {

Value checkedInt(Wide value) {
    if (value > std::numeric_limits<std::int64_t>::max() ||
        value < std::numeric_limits<std::int64_t>::min())
        throw EvalError("integer result too large");
    return Value{static_cast<std::int64_t>(value)};
}

// A power too large for 64 bits is taken as a float, which prints by value as Python's big
// integer would; a power beyond the float range (10**10**10) is refused.
Value floatPower(const Value& a, const Value& b) {
    const double result = std::pow(asDouble(a), asDouble(b));
    if (std::isinf(result)) throw EvalError("number too large in power");
    return Value{result};
}

Value power(const Value& a, const Value& b) {
    if (!isInt(a) || !isInt(b) || asInt(b) < 0) return floatPower(a, b);
    const std::int64_t base = asInt(a);
    const std::int64_t exponent = asInt(b);
    if (base == 0) return Value{std::int64_t{exponent == 0 ? 1 : 0}};
    if (base == 1) return Value{std::int64_t{1}};
    if (base == -1) return Value{std::int64_t{exponent % 2 == 0 ? 1 : -1}};
    // Any other base leaves 64 bits within 63 steps, so the loop is short whatever the exponent.
    Wide result = 1;
    for (std::int64_t i = 0; i < exponent; ++i) {
        result *= base;
        if (result > std::numeric_limits<std::int64_t>::max() ||
            result < std::numeric_limits<std::int64_t>::min())
            return floatPower(a, b);
    }
    return checkedInt(result);
}

}  // namespace

Value arithmetic(const std::string& op, const Value& a, const Value& b) {
    const auto* sa = std::get_if<std::string>(&a.data);
    const auto* sb = std::get_if<std::string>(&b.data);
    if (op == "+" && sa && sb) {
        if (sa->size() + sb->size() > maxTextSize)
            throw EvalError("text longer than " + std::to_string(maxTextSize) + " characters");
        return Value{*sa + *sb};
    }
    if (op == "+") {
        const auto* la = std::get_if<std::shared_ptr<List>>(&a.data);
        const auto* lb = std::get_if<std::shared_ptr<List>>(&b.data);
        if (la && lb) {
            if ((*la)->size() + (*lb)->size() > maxTextSize)
                throw EvalError("list longer than " + std::to_string(maxTextSize) + " items");
            List items = **la;
            items.insert(items.end(), (*lb)->begin(), (*lb)->end());
            return makeList(std::move(items));
        }
    }
    if (op == "*" && (sa || sb) && isInt(sa ? b : a)) {
        // The result's length is known before it is made: an empty text repeated is empty at
        // once (however large the count), and a result longer than maxTextSize is refused.
        const std::string& part = sa ? *sa : *sb;
        const std::int64_t count = asInt(sa ? b : a);
        if (part.empty() || count <= 0) return Value{std::string()};
        if (static_cast<std::uint64_t>(count) > maxTextSize / part.size())
            throw EvalError("text longer than " + std::to_string(maxTextSize) + " characters");
        std::string text;
        text.reserve(part.size() * static_cast<std::size_t>(count));
        for (std::int64_t i = 0; i < count; ++i) text += part;
        return Value{text};
    }
    if (!isNumber(a) || !isNumber(b))
        throw EvalError("unsupported operand types for " + op + ": '" + typeName(a) + "' and '" +
                        typeName(b) + "'");
    if (op == "**") return power(a, b);
    if (isInt(a) && isInt(b)) {
        const Wide x = asInt(a);
        const Wide y = asInt(b);
        if (op == "+") return checkedInt(x + y);
        if (op == "-") return checkedInt(x - y);
        if (op == "*") return checkedInt(x * y);
        if (op == "/") {
            if (y == 0) throw EvalError("division by zero");
            return Value{static_cast<double>(asInt(a)) / static_cast<double>(asInt(b))};
        }
        if (y == 0) throw EvalError("integer division or modulo by zero");
        Wide q = x / y;
        if ((x % y != 0) && ((x < 0) != (y < 0))) --q;
        if (op == "//") return checkedInt(q);
        return checkedInt(x - q * y);
    }
    const double x = asDouble(a);
    const double y = asDouble(b);
    if (op == "+") return Value{x + y};
    if (op == "-") return Value{x - y};
    if (op == "*") return Value{x * y};
    if (y == 0) throw EvalError("float division by zero");
    if (op == "/") return Value{x / y};
    const double q = std::floor(x / y);
    if (op == "//") return Value{q};
    return Value{x - q * y};
}

namespace {

class Parser {
  public:
    Parser(const std::string& text, const NameLookup& lookup, const FunctionCall& call)
        : text_(text), tokens_(tokenise(text)), lookup_(lookup), call_(call) {}

    Value parse() {
        Value value = ternary(true);
        if (peek().kind != Token::Kind::End) fail();
        return value;
    }

  private:
    const Token& peek() const { return tokens_[pos_]; }
    bool isOp(const char* op) const {
        return (peek().kind == Token::Kind::Op || peek().kind == Token::Kind::Name) &&
               peek().text == op;
    }
    bool accept(const char* op) {
        if (!isOp(op)) return false;
        ++pos_;
        return true;
    }
    void expect(const char* op) {
        if (!accept(op)) fail();
    }
    [[noreturn]] void fail() const {
        throw EvalError("invalid syntax in expression '" + text_ + "'");
    }

    struct Deeper {
        explicit Deeper(int& depth) : depth_(depth) {
            if (++depth_ > maxNesting) throw EvalError("expression nested too deeply");
        }
        ~Deeper() { --depth_; }
        Deeper(const Deeper&) = delete;
        Deeper& operator=(const Deeper&) = delete;
        int& depth_;
    };

    Value ternary(bool live) {
        const Deeper guard(depth_);
        Value value = orTest(live);
        if (accept("if")) {
            const bool condition = live && truthOf(orTest(live));
            expect("else");
            Value other = ternary(live && !condition);
            return live && condition ? value : other;
        }
        return value;
    }
    Value orTest(bool live) {
        Value value = andTest(live);
        while (accept("or")) {
            const bool done = live && truthOf(value);
            Value right = andTest(live && !done);
            if (live && !done) value = right;
        }
        return value;
    }
    Value andTest(bool live) {
        Value value = notTest(live);
        while (accept("and")) {
            const bool done = live && !truthOf(value);
            Value right = notTest(live && !done);
            if (live && !done) value = right;
        }
        return value;
    }
    Value notTest(bool live) {
        if (accept("not")) {
            const Deeper guard(depth_);
            const Value value = notTest(live);
            return live ? Value{!truthOf(value)} : Value{};
        }
        return comparison(live);
    }
    Value comparison(bool live) {
        Value left = sum(live);
        for (;;) {
            std::string op;
            if (accept("in"))
                op = "in";
            else if (isOp("not") && tokens_[pos_ + 1].text == "in") {
                pos_ += 2;
                op = "not in";
            } else if (peek().kind == Token::Kind::Op &&
                       (peek().text == "==" || peek().text == "!=" || peek().text == "<" ||
                        peek().text == ">" || peek().text == "<=" || peek().text == ">=")) {
                op = peek().text;
                ++pos_;
            } else {
                return left;
            }
            const Value right = sum(live);
            if (!live) continue;
            left = Value{compare(op, left, right)};
        }
    }
    static bool compare(const std::string& op, const Value& a, const Value& b) {
        if (op == "in") return contains(b, a);
        if (op == "not in") return !contains(b, a);
        if (op == "==") return equalValues(a, b);
        if (op == "!=") return !equalValues(a, b);
        const int order = orderOf(a, b, op);
        if (op == "<") return order < 0;
        if (op == ">") return order > 0;
        if (op == "<=") return order <= 0;
        return order >= 0;
    }
    Value sum(bool live) {
        Value value = term(live);
        while (peek().kind == Token::Kind::Op && (peek().text == "+" || peek().text == "-")) {
            const std::string op = tokens_[pos_++].text;
            const Value right = term(live);
            if (live) value = arithmetic(op, value, right);
        }
        return value;
    }
    Value term(bool live) {
        Value value = unary(live);
        while (peek().kind == Token::Kind::Op && (peek().text == "*" || peek().text == "/" ||
                                                  peek().text == "//" || peek().text == "%")) {
            const std::string op = tokens_[pos_++].text;
            const Value right = unary(live);
            if (live) value = arithmetic(op, value, right);
        }
        return value;
    }
    Value unary(bool live) {
        if (peek().kind == Token::Kind::Op && (peek().text == "-" || peek().text == "+")) {
            const Deeper guard(depth_);
            const bool minus = tokens_[pos_++].text == "-";
            const Value value = unary(live);
            if (!live) return value;
            if (!isNumber(value))
                throw EvalError("bad operand type for unary -: '" + typeName(value) + "'");
            if (!minus) return value;
            if (isInt(value)) return checkedInt(-static_cast<Wide>(asInt(value)));
            return Value{-asDouble(value)};
        }
        return powerExpr(live);
    }
    Value powerExpr(bool live) {
        Value base = postfix(live);
        if (accept("**")) {
            const Deeper guard(depth_);
            const Value exponent = unary(live);
            if (live) return arithmetic("**", base, exponent);
        }
        return base;
    }
    Value postfix(bool live) {
        std::string dotted;
        std::optional<std::string> method;
        Value value = atom(live, dotted);
        for (;;) {
            if (accept("(")) {
                const Arguments args = callArguments(live);
                if (live && method)
                    value = callMethod(value, *method, args);
                else if (live)
                    value = call(dotted, value, args);
                method.reset();
                dotted.clear();
            } else if (accept("[")) {
                std::optional<Value> from;
                if (!isOp(":")) from = ternary(live);
                if (accept(":")) {
                    std::optional<Value> to;
                    if (!isOp("]")) to = ternary(live);
                    expect("]");
                    if (live) value = slice(value, from, to);
                    dotted.clear();
                    continue;
                }
                expect("]");
                if (live) value = subscript(value, *from);
                dotted.clear();
            } else if (accept(".")) {
                if (peek().kind != Token::Kind::Name) fail();
                const std::string member = tokens_[pos_++].text;
                if (member.starts_with("__"))
                    throw EvalError("access to '" + member + "' is not allowed");
                if (live && dotted.empty() && isOp("(")) {
                    method = member;
                    continue;
                }
                if (!dotted.empty()) {
                    dotted += "." + member;
                    if (live && !isFunctionName(dotted)) {
                        if (auto found = lookup_(dotted)) {
                            value = *found;
                            dotted.clear();
                            continue;
                        }
                    }
                    if (auto constant = mathConstant(dotted)) {
                        value = *constant;
                        dotted.clear();
                        resolved_ = true;
                    }
                } else if (live) {
                    value = member_(value, member);
                }
            } else {
                if (live && !dotted.empty() && !resolved_)
                    throw EvalError("name '" + dotted + "' is not defined");
                return value;
            }
        }
    }
    static std::optional<Value> mathConstant(const std::string& name) {
        if (name == "pi" || name == "math.pi") return Value{std::numbers::pi};
        if (name == "e" || name == "math.e") return Value{std::numbers::e};
        if (name == "tau" || name == "math.tau") return Value{2 * std::numbers::pi};
        if (name == "inf" || name == "math.inf")
            return Value{std::numeric_limits<double>::infinity()};
        if (name == "nan" || name == "math.nan")
            return Value{std::numeric_limits<double>::quiet_NaN()};
        return std::nullopt;
    }
    static bool isFunctionName(const std::string& name) {
        return name.starts_with("math.") || name.starts_with("python.") ||
               name.starts_with("xacro.");
    }
    Value member_(const Value& value, const std::string& member) {
        if (const auto* d = std::get_if<std::shared_ptr<Dict>>(&value.data)) {
            for (const auto& [k, v] : (*d)->items)
                if (strOf(k) == member) return v;
        }
        throw EvalError("'" + typeName(value) + "' object has no attribute '" + member + "'");
    }
    // The arguments of a call: expressions, then name=expression.
    Arguments callArguments(bool live) {
        Arguments args;
        while (!accept(")")) {
            if (peek().kind == Token::Kind::Name && tokens_[pos_ + 1].text == "=") {
                const std::string keyword = tokens_[pos_].text;
                pos_ += 2;
                args.keywords.emplace_back(keyword, ternary(live));
            } else {
                if (!args.keywords.empty()) fail();
                args.positional.push_back(ternary(live));
            }
            if (!accept(",")) {
                expect(")");
                break;
            }
        }
        return args;
    }
    List arguments(bool live, const char* close) {
        List args;
        while (!accept(close)) {
            args.push_back(ternary(live));
            if (!accept(",")) {
                expect(close);
                break;
            }
        }
        (void)live;
        return args;
    }
    static Value slice(const Value& value, const std::optional<Value>& from,
                       const std::optional<Value>& to) {
        const auto* s = std::get_if<std::string>(&value.data);
        const List* items = nullptr;
        if (const auto* l = std::get_if<std::shared_ptr<List>>(&value.data)) items = l->get();
        if (const auto* t = std::get_if<std::shared_ptr<Tuple>>(&value.data)) items = &(*t)->items;
        if (!s && !items) throw EvalError("'" + typeName(value) + "' object is not subscriptable");
        const auto size = static_cast<std::int64_t>(s ? s->size() : items->size());
        const auto bound = [size](const std::optional<Value>& v, std::int64_t fallback) {
            if (!v) return fallback;
            if (!isInt(*v)) throw EvalError("slice indices must be integers");
            std::int64_t i = asInt(*v);
            if (i < 0) i += size;
            return std::clamp<std::int64_t>(i, 0, size);
        };
        const std::int64_t begin = bound(from, 0);
        const std::int64_t end = std::max(begin, bound(to, size));
        if (s)
            return Value{
                s->substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin))};
        List part(items->begin() + begin, items->begin() + end);
        if (std::holds_alternative<std::shared_ptr<Tuple>>(value.data))
            return makeTuple(std::move(part));
        return makeList(std::move(part));
    }
    static Value subscript(const Value& value, const Value& index) {
        const List* items = nullptr;
        if (const auto* l = std::get_if<std::shared_ptr<List>>(&value.data)) items = l->get();
        if (const auto* t = std::get_if<std::shared_ptr<Tuple>>(&value.data)) items = &(*t)->items;
        if (const auto* d = std::get_if<std::shared_ptr<Dict>>(&value.data)) {
            for (const auto& [k, v] : (*d)->items)
                if (equalValues(k, index)) return v;
            throw EvalError("key " + reprOf(index) + " not found");
        }
        const auto* s = std::get_if<std::string>(&value.data);
        if (!items && !s) throw EvalError("'" + typeName(value) + "' object is not subscriptable");
        if (!isInt(index)) throw EvalError("indices must be integers");
        const auto size = static_cast<std::int64_t>(items ? items->size() : s->size());
        std::int64_t i = asInt(index);
        if (i < 0) i += size;
        if (i < 0 || i >= size) throw EvalError("index out of range");
        if (items) return (*items)[static_cast<std::size_t>(i)];
        return Value{std::string(1, (*s)[static_cast<std::size_t>(i)])};
    }
    // Calls the function NAME, or the function value CALLEE when there is no name.
    Value call(const std::string& name, const Value& callee, const Arguments& args) {
        if (name.empty()) {
            const auto* function = std::get_if<Function>(&callee.data);
            if (!function) throw EvalError("'" + typeName(callee) + "' object is not callable");
            return call(function->name, callee, args);
        }
        if (call_)
            if (auto result = call_(name, args)) return *result;
        const Apply apply = [this](const Value& function, const List& items) {
            return call("", function, Arguments{items, {}});
        };
        if (auto result = callBuiltin(name, args, apply)) return *result;
        throw EvalError("name '" + name + "' is not defined");
    }
    Value atom(bool live, std::string& dotted) {
        resolved_ = true;
        const Token token = peek();
        ++pos_;
        switch (token.kind) {
            case Token::Kind::Number:
                return parseNumber(token.text);
            case Token::Kind::String: {
                std::string text = token.text;
                while (peek().kind == Token::Kind::String) text += tokens_[pos_++].text;
                return Value{text};
            }
            case Token::Kind::Name:
                return name(live, token.text, dotted);
            case Token::Kind::End:
                fail();
            case Token::Kind::Op:
                break;
        }
        const Deeper guard(depth_);
        if (token.text == "(") {
            if (accept(")")) return makeTuple({});
            Value first = ternary(live);
            if (accept(")")) return first;
            expect(",");
            List items{first};
            List rest = arguments(live, ")");
            items.insert(items.end(), rest.begin(), rest.end());
            return makeTuple(std::move(items));
        }
        if (token.text == "[") return makeList(arguments(live, "]"));
        if (token.text == "{") {
            auto dict = std::make_shared<Dict>();
            while (!accept("}")) {
                Value key = ternary(live);
                expect(":");
                Value value = ternary(live);
                dict->items.emplace_back(std::move(key), std::move(value));
                if (!accept(",")) {
                    expect("}");
                    break;
                }
            }
            return Value{dict};
        }
        fail();
    }
    Value name(bool live, const std::string& text, std::string& dotted) {
        if (text.starts_with("__")) throw EvalError("access to '" + text + "' is not allowed");
        if (text == "True") return Value{true};
        if (text == "False") return Value{false};
        if (text == "None") return Value{};
        static const char* const keywords[] = {"if",  "else", "and",    "or",
                                               "not", "in",   "lambda", "import"};
        for (const char* keyword : keywords)
            if (text == keyword) fail();
        dotted = text;
        if (!live) return Value{};
        if (auto found = lookup_(text)) {
            // a property's value: what follows a dot is one of its members
            dotted.clear();
            return *found;
        }
        if (auto constant = mathConstant(text)) {
            dotted.clear();
            return *constant;
        }
        if (isBuiltinFunction(text) && peek().text != "(") {
            dotted.clear();
            return Value{Function{text}};
        }
        if (text == "math" || text == "python" || text == "xacro") {
            resolved_ = true;
            return Value{};
        }
        if (peek().text == "(") return Value{};
        if (peek().text == ".") {
            resolved_ = false;
            // a dotted name such as ns.property; resolved by the member loop
            const std::size_t start = pos_;
            std::string full = text;
            while (tokens_[pos_].text == "." && tokens_[pos_ + 1].kind == Token::Kind::Name) {
                full += "." + tokens_[pos_ + 1].text;
                pos_ += 2;
                if (auto found = lookup_(full)) {
                    dotted.clear();
                    resolved_ = true;
                    return *found;
                }
            }
            pos_ = start;
            throw EvalError("name '" + text + "' is not defined");
        }
        throw EvalError("name '" + text + "' is not defined");
    }

    const std::string& text_;
    std::vector<Token> tokens_;
    const NameLookup& lookup_;
    const FunctionCall& call_;
    std::size_t pos_ = 0;
    int depth_ = 0;
    bool resolved_ = true;
};

}  // namespace

Value evaluate(const std::string& expression, const NameLookup& lookup, const FunctionCall& call) {
    return Parser(expression, lookup, call).parse();
}

}  // namespace corvane::xacro
