#include "Operators.hpp"

#include <cmath>
#include <limits>

#include "Formatting.hpp"

namespace corvane::xacro {
namespace {

__extension__ typedef __int128 Wide;

// A context for arithmetic() that makes no items: + and * of numbers call nothing.
class NoContext : public Context {
  public:
    Value call(const Value&, Arguments) override { throw EvalError("no call here"); }
    void countItems(std::size_t) override {}
};

bool isBig(const Value& v) {
    return std::holds_alternative<std::shared_ptr<const BigInt>>(v.data);
}
bool isFloat(const Value& v) {
    return std::holds_alternative<double>(v.data);
}
bool isComplex(const Value& v) {
    return std::holds_alternative<std::complex<double>>(v.data);
}
bool isNumeric(const Value& v) {
    return isNumber(v) || isComplex(v);
}

Value wideInt(Wide value) {
    if (value >= std::numeric_limits<std::int64_t>::min() &&
        value <= std::numeric_limits<std::int64_t>::max())
        return Value{static_cast<std::int64_t>(value)};
    BigInt big = static_cast<std::int64_t>(value >> 64);
    big <<= 64;
    big += static_cast<std::uint64_t>(value);
    return makeInt(big);
}

Value checkedBig(const BigInt& value) {
    if (msb(abs(value) + 1) > maxIntBits)
        throw EvalError("integer result too large (more than " + std::to_string(maxIntBits) +
                        " bits)");
    return makeInt(value);
}

[[noreturn]] void unsupported(BinaryOp op, const Value& a, const Value& b) {
    throw EvalError("unsupported operand type(s) for " + operatorText(op) + ": '" + typeName(a) +
                    "' and '" + typeName(b) + "'");
}

std::complex<double> complexOf(const Value& v) {
    if (const auto* z = std::get_if<std::complex<double>>(&v.data)) return *z;
    return {asDouble(v), 0.0};
}

// Python's floor division and modulo of ints: the quotient rounded down, the remainder with
// the divisor's sign.
std::pair<BigInt, BigInt> floorDivMod(const BigInt& x, const BigInt& y) {
    BigInt q = x / y;
    BigInt r = x - q * y;
    if (r != 0 && ((r < 0) != (y < 0))) {
        q -= 1;
        r += y;
    }
    return {q, r};
}

Value intDivision(BinaryOp op, const Value& a, const Value& b) {
    if (!isBig(a) && !isBig(b)) {
        const Wide x = asInt(a), y = asInt(b);
        if (y == 0) throw EvalError("integer division or modulo by zero");
        Wide q = x / y;
        Wide r = x - q * y;
        if (r != 0 && ((r < 0) != (y < 0))) {
            --q;
            r += y;
        }
        return wideInt(op == BinaryOp::FloorDiv ? q : r);
    }
    const BigInt y = bigOf(b);
    if (y == 0) throw EvalError("integer division or modulo by zero");
    const auto [q, r] = floorDivMod(bigOf(a), y);
    return makeInt(op == BinaryOp::FloorDiv ? q : r);
}

// int / int, correctly rounded as Python divides.
double trueDivision(const Value& a, const Value& b) {
    const BigInt x = bigOf(a), y = bigOf(b);
    if (y == 0) throw EvalError("division by zero");
    constexpr std::int64_t exact = std::int64_t{1} << 53;
    if (abs(x) <= exact && abs(y) <= exact)
        return static_cast<double>(static_cast<std::int64_t>(x)) /
               static_cast<double>(static_cast<std::int64_t>(y));
    // Scaled so that the quotient has 64 significant bits before its one rounding to a double.
    const auto bits = [](const BigInt& v) { return v == 0 ? 0 : static_cast<long>(msb(abs(v))); };
    const long shift = 64 - (bits(x) - bits(y));
    const BigInt scaled = shift > 0 ? (x << shift) / y : x / (y << -shift);
    const long double q = scaled.convert_to<long double>();
    const double result = static_cast<double>(std::ldexp(q, static_cast<int>(-shift)));
    if (result == 0) return std::copysign(0.0, (x < 0) != (y < 0) ? -1.0 : 1.0);
    if (std::isinf(result)) throw EvalError("integer division result too large for a float");
    return result;
}

// Python's float floor division and modulo (float_divmod).
std::pair<double, double> floatDivMod(double x, double y) {
    if (y == 0) throw EvalError("float floor division by zero");
    double mod = std::fmod(x, y);
    double div = (x - mod) / y;
    if (mod != 0) {
        if ((y < 0) != (mod < 0)) {
            mod += y;
            div -= 1.0;
        }
    } else {
        mod = std::copysign(0.0, y);
    }
    double floordiv = 0;
    if (div != 0) {
        floordiv = std::floor(div);
        if (div - floordiv > 0.5) floordiv += 1.0;
    } else {
        floordiv = std::copysign(0.0, x / y);
    }
    return {floordiv, mod};
}

Value intPower(const Value& a, const Value& b) {
    const BigInt base = bigOf(a);
    const BigInt exponent = bigOf(b);
    if (base == 0) return Value{std::int64_t{exponent == 0 ? 1 : 0}};
    if (base == 1) return Value{std::int64_t{1}};
    if (base == -1) return Value{std::int64_t{(exponent & 1) == 0 ? 1 : -1}};
    // the result's size is known before it is made
    const double bits = static_cast<double>(msb(abs(base)) + 1) * exponent.convert_to<double>();
    if (bits > static_cast<double>(maxIntBits + 64))
        throw EvalError("integer result too large (more than " + std::to_string(maxIntBits) +
                        " bits)");
    return checkedBig(pow(base, static_cast<unsigned>(exponent)));
}

Value power(const Value& a, const Value& b) {
    if (isComplex(a) || isComplex(b)) {
        const std::complex<double> x = complexOf(a), y = complexOf(b);
        if (x == 0.0 && (y.real() < 0 || y.imag() != 0))
            throw EvalError("0.0 to a negative or complex power");
        return Value{std::pow(x, y)};
    }
    if (isInt(a) && isInt(b) && bigOf(b) >= 0) return intPower(a, b);
    const double x = asDouble(a), y = asDouble(b);
    if (x == 0 && y < 0) throw EvalError("0.0 cannot be raised to a negative power");
    if (x < 0 && y != std::floor(y) && std::isfinite(y))
        return Value{std::pow(std::complex<double>(x, 0), std::complex<double>(y, 0))};
    const double result = std::pow(x, y);
    if (std::isinf(result) && std::isfinite(x) && std::isfinite(y))
        throw EvalError("float result too large (Numerical result out of range)");
    return Value{result};
}

Value shifted(BinaryOp op, const Value& a, const Value& b) {
    const BigInt count = bigOf(b);
    if (count < 0) throw EvalError("negative shift count");
    const BigInt x = bigOf(a);
    if (op == BinaryOp::RShift) {
        if (count > static_cast<long>(maxIntBits)) return Value{std::int64_t{x < 0 ? -1 : 0}};
        // >> rounds down, as floor division by a power of two
        return makeInt(floorDivMod(x, BigInt(1) << static_cast<unsigned>(count)).first);
    }
    if (x == 0) return Value{std::int64_t{0}};
    if (count > static_cast<long>(maxIntBits))
        throw EvalError("integer result too large (more than " + std::to_string(maxIntBits) +
                        " bits)");
    return checkedBig(x << static_cast<unsigned>(count));
}

// Bitwise and, or, xor of ints as two's complement of unbounded width.
Value bitwise(BinaryOp op, const Value& a, const Value& b) {
    if (std::holds_alternative<bool>(a.data) && std::holds_alternative<bool>(b.data)) {
        const bool x = std::get<bool>(a.data), y = std::get<bool>(b.data);
        return Value{op == BinaryOp::And ? (x && y) : op == BinaryOp::Or ? (x || y) : (x != y)};
    }
    if (!isBig(a) && !isBig(b)) {
        const std::int64_t x = asInt(a), y = asInt(b);
        return Value{op == BinaryOp::And ? (x & y) : op == BinaryOp::Or ? (x | y) : (x ^ y)};
    }
    // ~x is -x - 1: the operations on negative ints reduce to those on non-negative ones
    const BigInt x = bigOf(a), y = bigOf(b);
    const bool nx = x < 0, ny = y < 0;
    const BigInt px = nx ? -x - 1 : x, py = ny ? -y - 1 : y;
    BigInt result;
    bool negative = false;
    switch (op) {
        case BinaryOp::And:
            negative = nx && ny;
            result = nx ? (ny ? (px | py) : (py & ~px)) : (ny ? (px & ~py) : (px & py));
            break;
        case BinaryOp::Or:
            negative = nx || ny;
            result = nx ? (ny ? (px & py) : (px & ~py)) : (ny ? (py & ~px) : (px | py));
            break;
        default:
            negative = nx != ny;
            result = px ^ py;
            break;
    }
    return makeInt(negative ? -result - 1 : result);
}

const List* itemsOf(const Value& v) {
    if (const auto* l = std::get_if<std::shared_ptr<List>>(&v.data)) return l->get();
    if (const auto* t = std::get_if<std::shared_ptr<Tuple>>(&v.data)) return &(*t)->items;
    return nullptr;
}

Value sameKind(const Value& like, List items) {
    if (std::holds_alternative<std::shared_ptr<Tuple>>(like.data))
        return makeTuple(std::move(items));
    return makeList(std::move(items));
}

Value repeated(Context& context, const Value& sequence, const Value& times) {
    const BigInt count = bigOf(times);
    if (const auto* s = std::get_if<std::string>(&sequence.data)) {
        // the result's length is known before it is made: an empty text repeated is empty at
        // once, however large the count
        if (s->empty() || count <= 0) return Value{std::string()};
        if (count > maxTextSize / s->size())
            throw EvalError("text longer than " + std::to_string(maxTextSize) + " characters");
        std::string text;
        const auto n = static_cast<std::size_t>(count);
        text.reserve(s->size() * n);
        for (std::size_t i = 0; i < n; ++i) text += *s;
        return Value{text};
    }
    const List& items = *itemsOf(sequence);
    if (items.empty() || count <= 0) return sameKind(sequence, {});
    if (count > maxTextSize / items.size())
        throw EvalError("list longer than " + std::to_string(maxTextSize) + " items");
    const auto n = static_cast<std::size_t>(count);
    context.countItems(items.size() * n);
    List out;
    out.reserve(items.size() * n);
    for (std::size_t i = 0; i < n; ++i) out.insert(out.end(), items.begin(), items.end());
    return sameKind(sequence, std::move(out));
}

Value joinedSequences(const Value& a, const Value& b) {
    const List& x = *itemsOf(a);
    const List& y = *itemsOf(b);
    if (x.size() + y.size() > maxTextSize)
        throw EvalError("list longer than " + std::to_string(maxTextSize) + " items");
    List items = x;
    items.insert(items.end(), y.begin(), y.end());
    return sameKind(a, std::move(items));
}

bool inList(const List& items, const Value& v) {
    for (const Value& item : items)
        if (identical(item, v) || equalValues(item, v)) return true;
    return false;
}

Value setOperation(BinaryOp op, const Set& a, const Set& b) {
    auto result = std::make_shared<Set>();
    result->frozen = a.frozen;
    switch (op) {
        case BinaryOp::Or:
            result->items = a.items;
            for (const Value& v : b.items)
                if (!inList(result->items, v)) result->items.push_back(v);
            break;
        case BinaryOp::And:
            for (const Value& v : a.items)
                if (inList(b.items, v)) result->items.push_back(v);
            break;
        case BinaryOp::Sub:
            for (const Value& v : a.items)
                if (!inList(b.items, v)) result->items.push_back(v);
            break;
        default:
            for (const Value& v : a.items)
                if (!inList(b.items, v)) result->items.push_back(v);
            for (const Value& v : b.items)
                if (!inList(a.items, v)) result->items.push_back(v);
            break;
    }
    return Value{result};
}

Value numberOperation(BinaryOp op, const Value& a, const Value& b) {
    if (op == BinaryOp::Pow) return power(a, b);
    if (isComplex(a) || isComplex(b)) {
        const std::complex<double> x = complexOf(a), y = complexOf(b);
        switch (op) {
            case BinaryOp::Add:
                return Value{x + y};
            case BinaryOp::Sub:
                return Value{x - y};
            case BinaryOp::Mul:
                return Value{x * y};
            case BinaryOp::Div:
                if (y == 0.0) throw EvalError("complex division by zero");
                return Value{x / y};
            default:
                unsupported(op, a, b);
        }
    }
    if (isInt(a) && isInt(b)) {
        switch (op) {
            case BinaryOp::Add:
            case BinaryOp::Sub:
            case BinaryOp::Mul:
                if (!isBig(a) && !isBig(b)) {
                    const Wide x = asInt(a), y = asInt(b);
                    return wideInt(op == BinaryOp::Add   ? x + y
                                   : op == BinaryOp::Sub ? x - y
                                                         : x * y);
                } else {
                    const BigInt x = bigOf(a), y = bigOf(b);
                    return checkedBig(op == BinaryOp::Add   ? BigInt(x + y)
                                      : op == BinaryOp::Sub ? BigInt(x - y)
                                                            : BigInt(x * y));
                }
            case BinaryOp::Div:
                return Value{trueDivision(a, b)};
            case BinaryOp::FloorDiv:
            case BinaryOp::Mod:
                return intDivision(op, a, b);
            case BinaryOp::LShift:
            case BinaryOp::RShift:
                return shifted(op, a, b);
            case BinaryOp::And:
            case BinaryOp::Or:
            case BinaryOp::Xor:
                return bitwise(op, a, b);
            default:
                unsupported(op, a, b);
        }
    }
    const double x = asDouble(a), y = asDouble(b);
    switch (op) {
        case BinaryOp::Add:
            return Value{x + y};
        case BinaryOp::Sub:
            return Value{x - y};
        case BinaryOp::Mul:
            return Value{x * y};
        case BinaryOp::Div:
            if (y == 0) throw EvalError("float division by zero");
            return Value{x / y};
        case BinaryOp::FloorDiv:
            return Value{floatDivMod(x, y).first};
        case BinaryOp::Mod:
            if (y == 0) throw EvalError("float modulo");
            return Value{floatDivMod(x, y).second};
        default:
            unsupported(op, a, b);
    }
}

}  // namespace

std::string operatorText(BinaryOp op) {
    static constexpr const char* texts[] = {"+",           "-",  "*",  "@", "/", "//", "%",
                                            "** or pow()", "<<", ">>", "&", "|", "^"};
    return texts[static_cast<int>(op)];
}

Value binary(Context& context, BinaryOp op, const Value& a, const Value& b) {
    if (isNumeric(a) && isNumeric(b)) return numberOperation(op, a, b);
    const auto* sa = std::get_if<std::string>(&a.data);
    const auto* sb = std::get_if<std::string>(&b.data);
    switch (op) {
        case BinaryOp::Add:
            if (sa && sb) {
                if (sa->size() + sb->size() > maxTextSize)
                    throw EvalError("text longer than " + std::to_string(maxTextSize) +
                                    " characters");
                return Value{*sa + *sb};
            }
            if (itemsOf(a) && itemsOf(b) && a.data.index() == b.data.index())
                return joinedSequences(a, b);
            break;
        case BinaryOp::Mul:
            if ((sa || itemsOf(a)) && isInt(b)) return repeated(context, a, b);
            if ((sb || itemsOf(b)) && isInt(a)) return repeated(context, b, a);
            if (sa || itemsOf(a) || sb || itemsOf(b))
                throw EvalError("can't multiply sequence by non-int of type '" +
                                typeName(sa || itemsOf(a) ? b : a) + "'");
            break;
        case BinaryOp::Mod:
            if (sa) return Value{percentFormat(context, *sa, b)};
            break;
        case BinaryOp::Or:
        case BinaryOp::And:
        case BinaryOp::Xor:
        case BinaryOp::Sub: {
            const auto* xa = std::get_if<std::shared_ptr<Set>>(&a.data);
            const auto* xb = std::get_if<std::shared_ptr<Set>>(&b.data);
            if (xa && xb) return setOperation(op, **xa, **xb);
            const auto* da = std::get_if<std::shared_ptr<Dict>>(&a.data);
            const auto* db = std::get_if<std::shared_ptr<Dict>>(&b.data);
            if (op == BinaryOp::Or && da && db) {
                auto merged = std::make_shared<Dict>(**da);
                for (const auto& item : (*db)->items) {
                    auto found = std::find_if(
                        merged->items.begin(), merged->items.end(),
                        [&](const auto& old) { return equalValues(old.first, item.first); });
                    if (found != merged->items.end())
                        found->second = item.second;
                    else
                        merged->items.push_back(item);
                }
                return Value{merged};
            }
            break;
        }
        default:
            break;
    }
    unsupported(op, a, b);
}

Value unary(const std::string& op, const Value& value) {
    if (op == "~") {
        if (!isInt(value))
            throw EvalError("bad operand type for unary ~: '" + typeName(value) + "'");
        if (!isBig(value) && asInt(value) != std::numeric_limits<std::int64_t>::min())
            return Value{~asInt(value)};
        return makeInt(-bigOf(value) - 1);
    }
    if (const auto* z = std::get_if<std::complex<double>>(&value.data))
        return Value{op == "-" ? -*z : *z};
    if (!isNumber(value))
        throw EvalError("bad operand type for unary " + op + ": '" + typeName(value) + "'");
    if (isFloat(value))
        return Value{op == "-" ? -std::get<double>(value.data) : std::get<double>(value.data)};
    if (op == "+") return isBig(value) ? value : Value{asInt(value)};
    if (!isBig(value)) return wideInt(-Wide{asInt(value)});
    return makeInt(-bigOf(value));
}

bool compare(Context& context, CompareOp op, const Value& a, const Value& b) {
    switch (op) {
        case CompareOp::Eq:
            return equalValues(a, b);
        case CompareOp::Ne:
            return !equalValues(a, b);
        case CompareOp::In:
            return contains(context, b, a);
        case CompareOp::NotIn:
            return !contains(context, b, a);
        case CompareOp::Is:
            return identical(a, b);
        case CompareOp::IsNot:
            return !identical(a, b);
        default:
            break;
    }
    static constexpr const char* texts[] = {"==", "!=", "<", "<=", ">", ">="};
    const std::string text = texts[static_cast<int>(op)];
    const auto* sa = std::get_if<std::shared_ptr<Set>>(&a.data);
    const auto* sb = std::get_if<std::shared_ptr<Set>>(&b.data);
    if (sa && sb) {
        const auto subset = [](const Set& x, const Set& y) {
            for (const Value& v : x.items)
                if (!inList(y.items, v)) return false;
            return true;
        };
        const std::size_t na = (*sa)->items.size(), nb = (*sb)->items.size();
        switch (op) {
            case CompareOp::Lt:
                return na < nb && subset(**sa, **sb);
            case CompareOp::Le:
                return subset(**sa, **sb);
            case CompareOp::Gt:
                return na > nb && subset(**sb, **sa);
            default:
                return subset(**sb, **sa);
        }
    }
    const std::optional<int> order = orderOf(a, b, text);
    if (!order) return false;  // NaN is in no order with anything
    switch (op) {
        case CompareOp::Lt:
            return *order < 0;
        case CompareOp::Le:
            return *order <= 0;
        case CompareOp::Gt:
            return *order > 0;
        default:
            return *order >= 0;
    }
}

Value arithmetic(const std::string& op, const Value& a, const Value& b) {
    static constexpr std::pair<const char*, BinaryOp> ops[] = {
        {"+", BinaryOp::Add}, {"-", BinaryOp::Sub},       {"*", BinaryOp::Mul},
        {"/", BinaryOp::Div}, {"//", BinaryOp::FloorDiv}, {"%", BinaryOp::Mod},
        {"**", BinaryOp::Pow}};
    NoContext context;
    for (const auto& [text, binaryOp] : ops)
        if (op == text) return binary(context, binaryOp, a, b);
    throw EvalError("unknown operator " + op);
}

}  // namespace corvane::xacro
