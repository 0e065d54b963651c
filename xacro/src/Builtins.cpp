#include "Builtins.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <numeric>

#include "Formatting.hpp"
#include "Methods.hpp"
#include "Operators.hpp"

namespace corvane::xacro {
namespace {

using Function = Value (*)(Context&, Arguments&);

class Builtin : public Callable {
  public:
    Builtin(std::string name, Function function, bool isType)
        : name_(std::move(name)), function_(function), isType_(isType) {}
    Value call(Context& context, Arguments args) const override {
        if (!function_) throw EvalError("cannot create '" + name_ + "' instances");
        return function_(context, args);
    }
    std::string typeName() const override {
        return isType_ ? "type" : "builtin_function_or_method";
    }
    std::string shown() const override {
        return isType_ ? "<class '" + name_ + "'>" : "<built-in function " + name_ + ">";
    }
    const std::string& name() const { return name_; }

  private:
    std::string name_;
    Function function_;
    bool isType_;
};

// python, math, xacro: their members are read with a dot.
class Namespace : public Callable {
  public:
    explicit Namespace(std::string name) : name_(std::move(name)) {}
    Value call(Context&, Arguments) const override {
        throw EvalError("'module' object is not callable");
    }
    std::string typeName() const override { return "module"; }
    std::string shown() const override { return "<module '" + name_ + "' (built-in)>"; }
    const std::string& name() const { return name_; }

  private:
    std::string name_;
};

// xacro.NAME: the expander answers the call.
class ExpanderFunction : public Callable {
  public:
    explicit ExpanderFunction(std::string name) : name_(std::move(name)) {}
    Value call(Context& context, Arguments args) const override {
        if (auto result = context.callExpander(name_, args)) return *result;
        throw EvalError("name '" + name_ + "' is not defined");
    }
    std::string typeName() const override { return "function"; }
    std::string shown() const override { return "<function " + name_ + ">"; }

  private:
    std::string name_;
};

void positionalOnly(const std::string& name, const Arguments& args) {
    if (!args.keywords.empty()) throw EvalError(name + "() takes no keyword arguments");
}
// Only the keywords in ALLOWED may be given.
void keywordsAmong(const std::string& name, const Arguments& args,
                   std::initializer_list<std::string_view> allowed) {
    for (const auto& [key, value] : args.keywords)
        if (std::find(allowed.begin(), allowed.end(), key) == allowed.end())
            throw EvalError("'" + key + "' is an invalid keyword argument for " + name + "()");
}
const Value& required(const std::string& name, const Arguments& args, std::size_t i,
                      std::string_view keyword = "") {
    const Value* value = args.find(i, keyword);
    if (!value) throw EvalError(name + "() is missing argument " + std::to_string(i + 1));
    return *value;
}
double realOf(const std::string& name, const Value& value) {
    if (!isNumber(value))
        throw EvalError(name + "() needs a number, not '" + typeName(value) + "'");
    return asDouble(value);
}
double realArg(const std::string& name, const Arguments& args, std::size_t i) {
    return realOf(name, required(name, args, i));
}
std::string trimmedCopy(std::string_view s) {
    const auto start = s.find_first_not_of(" \t\r\n\f\v");
    if (start == std::string_view::npos) return "";
    return std::string(s.substr(start, s.find_last_not_of(" \t\r\n\f\v") - start + 1));
}

// A float made an int, as int() and math.floor do.
Value wholeOf(double x) {
    if (std::isnan(x)) throw EvalError("cannot convert float NaN to integer");
    if (std::isinf(x)) throw EvalError("cannot convert float infinity to integer");
    if (std::fabs(x) < 9.2e18) return Value{static_cast<std::int64_t>(x)};
    return makeInt(BigInt(x));
}

// --- iterators -----------------------------------------------------------------------------

// Items left in the shortest of SOURCES (map and zip stop there), when all are known.
std::optional<std::size_t> fewestLeft(const std::vector<std::shared_ptr<Iterator>>& sources) {
    std::optional<std::size_t> fewest;
    for (const auto& source : sources) {
        const std::optional<std::size_t> left = source->itemsLeft();
        if (!left) return std::nullopt;
        fewest = fewest ? std::min(*fewest, *left) : *left;
    }
    return fewest;
}

class MapIterator : public Iterator {
  public:
    MapIterator(Value function, std::vector<std::shared_ptr<Iterator>> sources)
        : function_(std::move(function)), sources_(std::move(sources)) {}
    std::optional<Value> next(Context& context) override {
        Arguments args;
        for (const auto& source : sources_) {
            std::optional<Value> item = source->next(context);
            if (!item) return std::nullopt;
            args.positional.push_back(std::move(*item));
        }
        return context.call(function_, std::move(args));
    }
    std::string typeName() const override { return "map"; }
    std::optional<std::size_t> itemsLeft() const override { return fewestLeft(sources_); }

  private:
    Value function_;
    std::vector<std::shared_ptr<Iterator>> sources_;
};

class FilterIterator : public Iterator {
  public:
    FilterIterator(Value function, std::shared_ptr<Iterator> source)
        : function_(std::move(function)), source_(std::move(source)) {}
    std::optional<Value> next(Context& context) override {
        while (std::optional<Value> item = source_->next(context)) {
            const bool keep = std::holds_alternative<None>(function_.data)
                                  ? truthOf(*item)
                                  : truthOf(context.call(function_, Arguments{{*item}, {}}));
            if (keep) return item;
        }
        return std::nullopt;
    }
    std::string typeName() const override { return "filter"; }

  private:
    Value function_;
    std::shared_ptr<Iterator> source_;
};

class ZipIterator : public Iterator {
  public:
    explicit ZipIterator(std::vector<std::shared_ptr<Iterator>> sources)
        : sources_(std::move(sources)) {}
    std::optional<Value> next(Context& context) override {
        if (sources_.empty()) return std::nullopt;
        List row;
        for (const auto& source : sources_) {
            std::optional<Value> item = source->next(context);
            if (!item) return std::nullopt;
            row.push_back(std::move(*item));
        }
        return makeTuple(std::move(row));
    }
    std::string typeName() const override { return "zip"; }
    std::optional<std::size_t> itemsLeft() const override { return fewestLeft(sources_); }

  private:
    std::vector<std::shared_ptr<Iterator>> sources_;
};

class EnumerateIterator : public Iterator {
  public:
    EnumerateIterator(std::shared_ptr<Iterator> source, Value start)
        : source_(std::move(source)), count_(std::move(start)) {}
    std::optional<Value> next(Context& context) override {
        std::optional<Value> item = source_->next(context);
        if (!item) return std::nullopt;
        Value index = count_;
        count_ = arithmetic("+", count_, Value{std::int64_t{1}});
        return makeTuple({std::move(index), std::move(*item)});
    }
    std::string typeName() const override { return "enumerate"; }
    std::optional<std::size_t> itemsLeft() const override { return source_->itemsLeft(); }

  private:
    std::shared_ptr<Iterator> source_;
    Value count_;
};

class ReversedIterator : public Iterator {
  public:
    ReversedIterator(List items, std::string type)
        : items_(std::move(items)), type_(std::move(type)) {}
    std::optional<Value> next(Context& context) override {
        if (items_.empty()) return std::nullopt;
        context.countItems();
        Value item = std::move(items_.back());
        items_.pop_back();
        return item;
    }
    std::string typeName() const override { return type_; }
    std::optional<std::size_t> itemsLeft() const override { return items_.size(); }

  private:
    List items_;
    std::string type_;
};

class ReversedRange : public Iterator {
  public:
    explicit ReversedRange(Range range) : range_(range), left_(range.size()) {}
    std::optional<Value> next(Context& context) override {
        if (left_ == 0) return std::nullopt;
        context.countItems();
        return Value{range_.at(--left_)};
    }
    std::string typeName() const override { return "range_iterator"; }
    std::optional<std::size_t> itemsLeft() const override {
        return static_cast<std::size_t>(left_);
    }

  private:
    Range range_;
    std::int64_t left_;
};

std::vector<std::shared_ptr<Iterator>> iteratorsOf(const List& values) {
    std::vector<std::shared_ptr<Iterator>> iterators;
    for (const Value& v : values) iterators.push_back(iteratorOf(v));
    return iterators;
}

// --- conversions -----------------------------------------------------------------------------

Value floatOfText(const std::string& s) {
    std::string t = trimmedCopy(s);
    // 1_000.5 reads as Python reads it: an underscore only between two digits
    for (std::size_t i = 0; i < t.size(); ++i)
        if (t[i] == '_' &&
            (i == 0 || i + 1 == t.size() || !std::isdigit(static_cast<unsigned char>(t[i - 1])) ||
             !std::isdigit(static_cast<unsigned char>(t[i + 1]))))
            throw EvalError("could not convert string to float: " + quotedText(s));
    t.erase(std::remove(t.begin(), t.end(), '_'), t.end());
    std::string lower = t;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool negative = lower.starts_with("-");
    const std::string bare =
        lower.starts_with("-") || lower.starts_with("+") ? lower.substr(1) : lower;
    if (bare == "inf" || bare == "infinity")
        return Value{negative ? -std::numeric_limits<double>::infinity()
                              : std::numeric_limits<double>::infinity()};
    if (bare == "nan") return Value{std::numeric_limits<double>::quiet_NaN()};
    if (t.starts_with("+")) t.erase(0, 1);
    double d = 0;
    const auto result = std::from_chars(t.data(), t.data() + t.size(), d);
    if (t.empty() || bare.find_first_not_of("0123456789.e+-") != std::string::npos ||
        result.ptr != t.data() + t.size() ||
        (result.ec != std::errc() && result.ec != std::errc::result_out_of_range))
        throw EvalError("could not convert string to float: " + quotedText(s));
    // beyond the float range Python reads an infinity (or 0 for a tiny value)
    if (result.ec == std::errc::result_out_of_range) d = std::strtod(t.c_str(), nullptr);
    return Value{d};
}

Value floatOf(Context&, Arguments& args) {
    positionalOnly("float", args);
    expectCount("float", args, 0, 1);
    if (args.positional.empty()) return Value{0.0};
    const Value& value = args.positional[0];
    if (const auto* s = std::get_if<std::string>(&value.data)) return floatOfText(*s);
    if (!isNumber(value))
        throw EvalError("float() argument must be a string or a real number, not '" +
                        typeName(value) + "'");
    return Value{asDouble(value)};
}

// int() of a text in BASE: 2 to 36, or 0 for the base its prefix names (0x, 0o, 0b; else 10),
// a prefix also allowed when it matches the base given, as Python reads them.
Value intOfText(const std::string& text, std::int64_t base) {
    if (base != 0 && (base < 2 || base > 36))
        throw EvalError("int() base must be >= 2 and <= 36, or 0");
    const auto invalid = [&]() {
        return EvalError("invalid literal for int() with base " + std::to_string(base) + ": " +
                         quotedText(text));
    };
    std::string t = trimmedCopy(text);
    bool negative = false;
    if (t.starts_with("+") || t.starts_with("-")) {
        negative = t[0] == '-';
        t.erase(0, 1);
    }
    const auto hasPrefix = [&t](char letter) {
        return t.size() > 1 && t[0] == '0' &&
               std::tolower(static_cast<unsigned char>(t[1])) == letter;
    };
    bool prefixed = false;
    for (const auto& [letter, named] : {std::pair{'x', 16}, std::pair{'o', 8}, std::pair{'b', 2}}) {
        if ((base == 0 || base == named) && hasPrefix(letter)) {
            t.erase(0, 2);
            if (base == 0) base = named;
            prefixed = true;
            break;
        }
    }
    if (base == 0) {
        if (t.size() > 1 && t[0] == '0' && t.find_first_not_of("0_") != std::string::npos)
            throw invalid();
        base = 10;
    }
    if (prefixed && t.starts_with("_")) t.erase(0, 1);
    if (t.empty() || t.size() > 5000) throw invalid();
    BigInt value = 0;
    bool lastDigit = false;
    for (const char c : t) {
        if (c == '_' && lastDigit) {
            lastDigit = false;
            continue;
        }
        const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                      : std::isalpha(static_cast<unsigned char>(c))
                          ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                          : 99;
        if (d >= base) throw invalid();
        value = value * base + d;
        lastDigit = true;
    }
    if (!lastDigit) throw invalid();
    return makeInt(negative ? BigInt(-value) : value);
}

Value intOf(Context&, Arguments& args) {
    keywordsAmong("int", args, {"base"});
    expectCount("int", args, 0, 2);
    if (args.positional.empty()) {
        if (!args.keywords.empty()) throw EvalError("int() missing string argument");
        return Value{std::int64_t{0}};
    }
    const Value& value = args.positional[0];
    const auto* s = std::get_if<std::string>(&value.data);
    if (const Value* base = args.find(1, "base")) {
        if (!s) throw EvalError("int() can't convert non-string with explicit base");
        return intOfText(*s, asInt(*base));
    }
    if (s) return intOfText(*s, 10);
    if (isInt(value))
        return isInt(value) && std::holds_alternative<bool>(value.data) ? Value{asInt(value)}
                                                                        : value;
    if (const auto* d = std::get_if<double>(&value.data)) return wholeOf(std::trunc(*d));
    throw EvalError("int() argument must be a string, a bytes-like object or a real number, not '" +
                    typeName(value) + "'");
}

Value strOfCall(Context&, Arguments& args) {
    keywordsAmong("str", args, {"object"});
    expectCount("str", args, 0, 1);
    const Value* value = args.find(0, "object");
    return Value{value ? strOf(*value) : std::string()};
}

Value boolOf(Context&, Arguments& args) {
    positionalOnly("bool", args);
    expectCount("bool", args, 0, 1);
    return Value{!args.positional.empty() && truthOf(args.positional[0])};
}

Value complexOf(Context&, Arguments& args) {
    keywordsAmong("complex", args, {"real", "imag"});
    expectCount("complex", args, 0, 2);
    const Value* real = args.find(0, "real");
    const Value* imag = args.find(1, "imag");
    const auto part = [](const Value* v) -> std::complex<double> {
        if (!v) return {0, 0};
        if (const auto* z = std::get_if<std::complex<double>>(&v->data)) return *z;
        if (std::holds_alternative<std::string>(v->data))
            throw EvalError("complex() from a string is not supported");
        return {realOf("complex", *v), 0};
    };
    const std::complex<double> r = part(real), i = part(imag);
    return Value{std::complex<double>(r.real() - i.imag(), r.imag() + i.real())};
}

Value listOf(Context& context, Arguments& args) {
    positionalOnly("list", args);
    expectCount("list", args, 0, 1);
    return makeList(args.positional.empty() ? List{}
                                            : itemsOfIterable(context, args.positional[0]));
}

Value tupleOf(Context& context, Arguments& args) {
    positionalOnly("tuple", args);
    expectCount("tuple", args, 0, 1);
    if (!args.positional.empty())
        if (const auto* t = std::get_if<std::shared_ptr<Tuple>>(&args.positional[0].data))
            return Value{*t};
    return makeTuple(args.positional.empty() ? List{}
                                             : itemsOfIterable(context, args.positional[0]));
}

Value setFrom(Context& context, const Arguments& args, bool frozen) {
    const std::string name = frozen ? "frozenset" : "set";
    positionalOnly(name, args);
    expectCount(name, args, 0, 1);
    auto set = std::make_shared<Set>();
    set->frozen = frozen;
    if (!args.positional.empty()) expectAllItems(context, args.positional[0]);
    if (!args.positional.empty())
        forEachItem(context, args.positional[0], [&](const Value& v) {
            requireHashable(v);
            if (std::none_of(set->items.begin(), set->items.end(),
                             [&](const Value& w) { return equalValues(v, w); }))
                set->items.push_back(v);
            return true;
        });
    return Value{set};
}
Value setOf(Context& context, Arguments& args) {
    return setFrom(context, args, false);
}
Value frozensetOf(Context& context, Arguments& args) {
    return setFrom(context, args, true);
}

void setItem(Dict& dict, Value key, Value value) {
    requireHashable(key);
    for (auto& [k, v] : dict.items)
        if (equalValues(k, key)) {
            v = std::move(value);
            return;
        }
    dict.items.emplace_back(std::move(key), std::move(value));
}

Value dictOf(Context& context, Arguments& args) {
    if (args.positional.size() > 1)
        throw EvalError("dict expected at most 1 argument, got " +
                        std::to_string(args.positional.size()));
    auto dict = std::make_shared<Dict>();
    if (!args.positional.empty()) {
        const Value& from = args.positional[0];
        if (const auto* d = std::get_if<std::shared_ptr<Dict>>(&from.data)) {
            dict->items = (*d)->items;
        } else {
            forEachItem(context, from, [&](const Value& pair) {
                const List kv = itemsOfIterable(context, pair);
                if (kv.size() != 2)
                    throw EvalError("dictionary update sequence element has length " +
                                    std::to_string(kv.size()) + "; 2 is required");
                setItem(*dict, kv[0], kv[1]);
                return true;
            });
        }
    }
    for (const auto& [key, value] : args.keywords) setItem(*dict, Value{key}, value);
    return Value{dict};
}

std::int64_t lengthOf(const Value& value) {
    if (const auto* s = std::get_if<std::string>(&value.data))
        return static_cast<std::int64_t>(s->size());
    if (const auto* l = std::get_if<std::shared_ptr<List>>(&value.data))
        return static_cast<std::int64_t>((*l)->size());
    if (const auto* t = std::get_if<std::shared_ptr<Tuple>>(&value.data))
        return static_cast<std::int64_t>((*t)->items.size());
    if (const auto* d = std::get_if<std::shared_ptr<Dict>>(&value.data))
        return static_cast<std::int64_t>((*d)->items.size());
    if (const auto* s = std::get_if<std::shared_ptr<Set>>(&value.data))
        return static_cast<std::int64_t>((*s)->items.size());
    if (const auto* v = std::get_if<DictView>(&value.data))
        return static_cast<std::int64_t>(v->dict->items.size());
    if (const auto* r = std::get_if<Range>(&value.data)) return r->size();
    throw EvalError("object of type '" + typeName(value) + "' has no len()");
}

Value lenOf(Context&, Arguments& args) {
    positionalOnly("len", args);
    expectCount("len", args, 1, 1);
    return Value{lengthOf(args.positional[0])};
}

Value reprCall(Context&, Arguments& args) {
    positionalOnly("repr", args);
    expectCount("repr", args, 1, 1);
    return Value{reprOf(args.positional[0])};
}

Value hashCall(Context&, Arguments& args) {
    positionalOnly("hash", args);
    expectCount("hash", args, 1, 1);
    return Value{hashOf(args.positional[0])};
}

Value ordOf(Context&, Arguments& args) {
    positionalOnly("ord", args);
    expectCount("ord", args, 1, 1);
    const auto* s = std::get_if<std::string>(&args.positional[0].data);
    if (!s)
        throw EvalError("ord() expected string of length 1, but " + typeName(args.positional[0]) +
                        " found");
    // one character, which may take several bytes of UTF-8
    const auto u = [&](std::size_t i) { return static_cast<unsigned char>((*s)[i]); };
    const std::size_t size = s->empty()    ? 0
                             : u(0) < 0x80 ? 1
                             : u(0) < 0xE0 ? 2
                             : u(0) < 0xF0 ? 3
                                           : 4;
    if (s->size() != size || size == 0)
        throw EvalError("ord() expected a character, but string of length " +
                        std::to_string(s->size()) + " found");
    std::uint32_t code = size == 1 ? u(0) : u(0) & (0x7F >> size);
    for (std::size_t i = 1; i < size; ++i) code = (code << 6) | (u(i) & 0x3F);
    return Value{static_cast<std::int64_t>(code)};
}

Value absOf(Context&, Arguments& args) {
    positionalOnly("abs", args);
    expectCount("abs", args, 1, 1);
    const Value& x = args.positional[0];
    if (const auto* z = std::get_if<std::complex<double>>(&x.data)) return Value{std::abs(*z)};
    if (isInt(x)) return makeInt(abs(bigOf(x)));
    if (const auto* d = std::get_if<double>(&x.data)) return Value{std::fabs(*d)};
    throw EvalError("bad operand type for abs(): '" + typeName(x) + "'");
}

Value allOrAny(Context& context, Arguments& args, bool wantAll) {
    const std::string name = wantAll ? "all" : "any";
    positionalOnly(name, args);
    expectCount(name, args, 1, 1);
    bool result = wantAll;
    forEachItem(context, args.positional[0], [&](const Value& v) {
        if (truthOf(v) == wantAll) return true;
        result = !wantAll;
        return false;
    });
    return Value{result};
}
Value allOf(Context& context, Arguments& args) {
    return allOrAny(context, args, true);
}
Value anyOf(Context& context, Arguments& args) {
    return allOrAny(context, args, false);
}

Value divmodOf(Context& context, Arguments& args) {
    positionalOnly("divmod", args);
    expectCount("divmod", args, 2, 2);
    const Value& a = args.positional[0];
    const Value& b = args.positional[1];
    if (!isNumber(a) || !isNumber(b))
        throw EvalError("unsupported operand type(s) for divmod(): '" + typeName(a) + "' and '" +
                        typeName(b) + "'");
    return makeTuple(
        {binary(context, BinaryOp::FloorDiv, a, b), binary(context, BinaryOp::Mod, a, b)});
}

Value roundOf(Context&, Arguments& args) {
    keywordsAmong("round", args, {"number", "ndigits"});
    expectCount("round", args, 1, 2);
    const Value& x = required("round", args, 0, "number");
    const Value* digits = args.find(1, "ndigits");
    if (!isNumber(x)) throw EvalError("type " + typeName(x) + " doesn't define __round__ method");
    const bool noDigits = !digits || std::holds_alternative<None>(digits->data);
    if (!noDigits && !isInt(*digits))
        throw EvalError("'" + typeName(*digits) + "' object cannot be interpreted as an integer");
    if (isInt(x)) {
        const BigInt n = bigOf(x);
        if (noDigits || asInt(*digits) >= 0) return makeInt(n);
        const std::int64_t places = -asInt(*digits);
        if (places > 4300) return Value{std::int64_t{0}};
        const BigInt scale = pow(BigInt(10), static_cast<unsigned>(places));
        // halves to even, as Python rounds
        BigInt q = n / scale, r = n % scale;
        if (r < 0) {
            r += scale;
            q -= 1;
        }
        if (2 * r > scale || (2 * r == scale && (q & 1) != 0)) q += 1;
        return makeInt(q * scale);
    }
    const double d = asDouble(x);
    if (noDigits) return wholeOf(std::nearbyint(d));
    const std::int64_t n = asInt(*digits);
    if (!std::isfinite(d) || n > 323) return Value{d};
    if (n < -308) return Value{std::copysign(0.0, d)};
    // rounds the decimal text, as Python rounds the exact value of the float
    char buffer[512];
    if (n >= 0) {
        std::snprintf(buffer, sizeof buffer, "%.*f", static_cast<int>(n), d);
        return Value{std::strtod(buffer, nullptr)};
    }
    // to -N decimal places: the correctly rounded text of the digits that are kept
    std::snprintf(buffer, sizeof buffer, "%.0e", d);
    const int exponent = std::atoi(std::strchr(buffer, 'e') + 1);
    std::snprintf(buffer, sizeof buffer, "%.*e", 16, d);
    const int exact = std::atoi(std::strchr(buffer, 'e') + 1);  // %.0e may have rounded up
    const auto kept = static_cast<int>(std::min(exponent, exact) + 1 + n);
    if (kept > 0) {
        std::snprintf(buffer, sizeof buffer, "%.*e", kept - 1, d);
        return Value{std::strtod(buffer, nullptr)};
    }
    const double scale = std::pow(10.0, static_cast<double>(-n));
    if (kept == 0 && std::fabs(d) > 0.5 * scale) return Value{std::copysign(scale, d)};
    return Value{std::copysign(0.0, d)};
}

Value extreme(Context& context, Arguments& args, bool minimum) {
    const std::string name = minimum ? "min" : "max";
    keywordsAmong(name, args, {"key", "default"});
    const Value* key = args.find(static_cast<std::size_t>(-1), "key");
    const Value* fallback = args.find(static_cast<std::size_t>(-1), "default");
    if (args.positional.empty()) throw EvalError(name + " expected at least 1 argument, got 0");
    if (fallback && args.positional.size() > 1)
        throw EvalError("Cannot specify a default for " + name +
                        "() with multiple positional arguments");
    const List items = args.positional.size() == 1 ? itemsOfIterable(context, args.positional[0])
                                                   : args.positional;
    if (items.empty()) {
        if (fallback) return *fallback;
        throw EvalError(name + "() arg is an empty sequence");
    }
    const bool keyed = key && !std::holds_alternative<None>(key->data);
    const auto keyOf = [&](const Value& v) {
        return keyed ? context.call(*key, Arguments{{v}, {}}) : v;
    };
    Value best = items[0];
    Value bestKey = keyOf(best);
    for (std::size_t i = 1; i < items.size(); ++i) {
        Value k = keyOf(items[i]);
        if (compare(context, minimum ? CompareOp::Lt : CompareOp::Gt, k, bestKey)) {
            best = items[i];
            bestKey = std::move(k);
        }
    }
    return best;
}
Value minOf(Context& context, Arguments& args) {
    return extreme(context, args, true);
}
Value maxOf(Context& context, Arguments& args) {
    return extreme(context, args, false);
}

Value rangeOf(Context&, Arguments& args) {
    positionalOnly("range", args);
    expectCount("range", args, 1, 3);
    std::vector<std::int64_t> bounds;
    for (const Value& v : args.positional) {
        if (!isInt(v))
            throw EvalError("'" + typeName(v) + "' object cannot be interpreted as an integer");
        bounds.push_back(asInt(v));
    }
    Range range;
    range.start = bounds.size() > 1 ? bounds[0] : 0;
    range.stop = bounds.size() > 1 ? bounds[1] : bounds[0];
    range.step = bounds.size() > 2 ? bounds[2] : 1;
    if (range.step == 0) throw EvalError("range() arg 3 must not be zero");
    return Value{range};
}

Value sortedOf(Context& context, Arguments& args) {
    keywordsAmong("sorted", args, {"key", "reverse"});
    if (args.positional.size() != 1)
        throw EvalError("sorted expected 1 argument, got " +
                        std::to_string(args.positional.size()));
    List items = itemsOfIterable(context, args.positional[0]);
    sortItems(context, items, args.find(static_cast<std::size_t>(-1), "key"),
              args.find(static_cast<std::size_t>(-1), "reverse"));
    return makeList(std::move(items));
}

Value sumOf(Context& context, Arguments& args) {
    keywordsAmong("sum", args, {"start"});
    expectCount("sum", args, 1, 2);
    if (args.positional.empty())
        throw EvalError("sum() takes at least 1 positional argument (0 given)");
    const Value* start = args.find(1, "start");
    Value total = start ? *start : Value{std::int64_t{0}};
    if (std::holds_alternative<std::string>(total.data))
        throw EvalError("sum() can't sum strings [use ''.join(seq) instead]");
    expectAllItems(context, args.positional[0]);
    forEachItem(context, args.positional[0], [&](const Value& v) {
        total = binary(context, BinaryOp::Add, total, v);
        return true;
    });
    return total;
}

Value mapOf(Context&, Arguments& args) {
    positionalOnly("map", args);
    if (args.positional.size() < 2) throw EvalError("map() must have at least two arguments.");
    return Value{std::make_shared<MapIterator>(
        args.positional[0], iteratorsOf(List(args.positional.begin() + 1, args.positional.end())))};
}

Value filterOf(Context&, Arguments& args) {
    positionalOnly("filter", args);
    expectCount("filter", args, 2, 2);
    return Value{
        std::make_shared<FilterIterator>(args.positional[0], iteratorOf(args.positional[1]))};
}

Value zipOf(Context&, Arguments& args) {
    keywordsAmong("zip", args, {});
    return Value{std::make_shared<ZipIterator>(iteratorsOf(args.positional))};
}

Value enumerateOf(Context&, Arguments& args) {
    keywordsAmong("enumerate", args, {"iterable", "start"});
    expectCount("enumerate", args, 1, 2);
    const Value& items = required("enumerate", args, 0, "iterable");
    const Value* start = args.find(1, "start");
    if (start && !isInt(*start))
        throw EvalError("'" + typeName(*start) + "' object cannot be interpreted as an integer");
    return Value{std::make_shared<EnumerateIterator>(iteratorOf(items),
                                                     start ? *start : Value{std::int64_t{0}})};
}

Value reversedOf(Context& context, Arguments& args) {
    positionalOnly("reversed", args);
    expectCount("reversed", args, 1, 1);
    const Value& items = args.positional[0];
    if (const auto* r = std::get_if<Range>(&items.data))
        return Value{std::make_shared<ReversedRange>(*r)};
    const std::string type = typeName(items);
    if (type == "list" || type == "tuple" || type == "str" || type == "dict" ||
        type == "dict_keys" || type == "dict_values" || type == "dict_items")
        return Value{std::make_shared<ReversedIterator>(itemsOfIterable(context, items),
                                                        type == "list" ? "list_reverseiterator"
                                                        : type == "tuple" || type == "str"
                                                            ? "reversed"
                                                            : "dict_reversekeyiterator")};
    throw EvalError("'" + type + "' object is not reversible");
}

Value sliceOf(Context&, Arguments& args) {
    positionalOnly("slice", args);
    expectCount("slice", args, 1, 3);
    auto slice = std::make_shared<Slice>();
    if (args.positional.size() == 1) {
        slice->stop = args.positional[0];
    } else {
        slice->start = args.positional[0];
        slice->stop = args.positional[1];
        if (args.positional.size() == 3) slice->step = args.positional[2];
    }
    return Value{slice};
}

Value typeObject(const std::string& name);

Value typeOf(Context&, Arguments& args) {
    positionalOnly("type", args);
    if (args.positional.size() != 1) throw EvalError("type() takes 1 argument");
    return typeObject(typeName(args.positional[0]));
}

// The type names T stands for: a type or a tuple of them.
bool isSubclass(const std::string& type, const Value& classes) {
    if (const auto* t = std::get_if<std::shared_ptr<Tuple>>(&classes.data)) {
        for (const Value& c : (*t)->items)
            if (isSubclass(type, c)) return true;
        return false;
    }
    const auto* f = std::get_if<std::shared_ptr<const Callable>>(&classes.data);
    const auto* builtin = f ? dynamic_cast<const Builtin*>(f->get()) : nullptr;
    if (!builtin || (*f)->typeName() != "type")
        throw EvalError("isinstance() arg 2 must be a type, a tuple of types, or a union");
    return builtin->name() == type || builtin->name() == "object" ||
           (type == "bool" && builtin->name() == "int");
}

Value isinstanceOf(Context&, Arguments& args) {
    positionalOnly("isinstance", args);
    expectCount("isinstance", args, 2, 2);
    return Value{isSubclass(typeName(args.positional[0]), args.positional[1])};
}

Value issubclassOf(Context&, Arguments& args) {
    positionalOnly("issubclass", args);
    expectCount("issubclass", args, 2, 2);
    const auto* f = std::get_if<std::shared_ptr<const Callable>>(&args.positional[0].data);
    const auto* builtin = f ? dynamic_cast<const Builtin*>(f->get()) : nullptr;
    if (!builtin || (*f)->typeName() != "type")
        throw EvalError("issubclass() arg 1 must be a class");
    return Value{isSubclass(builtin->name(), args.positional[1])};
}

// --- math ------------------------------------------------------------------------------------

double checkedMath(double result, double x) {
    if (std::isnan(result) && !std::isnan(x)) throw EvalError("math domain error");
    if (std::isinf(result) && std::isfinite(x)) throw EvalError("math range error");
    return result;
}

template <double (*F)(double)>
Value mathUnary(Context&, Arguments& args) {
    positionalOnly("math", args);
    expectCount("math function", args, 1, 1);
    const double x = realArg("math", args, 0);
    return Value{checkedMath(F(x), x)};
}

// one multiplication by a constant, as Python's math module converts
double degreesOf(double x) {
    return x * (180.0 / std::numbers::pi);
}
double radiansOf(double x) {
    return x * (std::numbers::pi / 180.0);
}
double sqrtOf(double x) {
    if (x < 0) return std::nan("");
    return std::sqrt(x);
}
double log2Of(double x) {
    if (x <= 0) return std::nan("");
    return std::log2(x);
}
double log10Of(double x) {
    if (x <= 0) return std::nan("");
    return std::log10(x);
}
double log1pOf(double x) {
    if (x <= -1) return std::nan("");
    return std::log1p(x);
}
double gammaOf(double x) {
    if (x <= 0 && x == std::floor(x)) return std::nan("");
    return std::tgamma(x);
}
double lgammaOf(double x) {
    if (x <= 0 && x == std::floor(x))
        return std::numeric_limits<double>::infinity() * 0.0 + std::nan("");
    return std::lgamma(x);
}
double exp2Of(double x) {
    return std::exp2(x);
}
double fabsOf(double x) {
    return std::fabs(x);
}

// log(x[, base]) exact for ints beyond the float range, as Python computes it.
double logOfValue(const Value& v) {
    if (isInt(v)) {
        const BigInt n = bigOf(v);
        if (n <= 0) throw EvalError("math domain error");
        const double d = doubleOf(n);
        if (std::isfinite(d)) return std::log(d);
        // beyond the float range: n = x * 2**e with x in [0.5, 1), as Python takes it apart
        const auto e = static_cast<long>(msb(n)) + 1;
        const double x = std::ldexp(doubleOf(n >> (e - 64)), -64);
        return std::log(x) + std::log(2.0) * static_cast<double>(e);
    }
    const double x = realOf("log", v);
    if (x <= 0 || std::isnan(x)) {
        if (std::isnan(x)) return x;
        throw EvalError("math domain error");
    }
    return std::log(x);
}

Value mathLog(Context&, Arguments& args) {
    positionalOnly("log", args);
    expectCount("log", args, 1, 2);
    const double x = logOfValue(args.positional[0]);
    if (args.positional.size() == 1) return Value{x};
    const double base = logOfValue(args.positional[1]);
    if (base == 0) throw EvalError("float division by zero");
    return Value{x / base};
}

template <double (*F)(double, double)>
Value mathBinary(Context&, Arguments& args) {
    positionalOnly("math", args);
    expectCount("math function", args, 2, 2);
    const double x = realArg("math", args, 0), y = realArg("math", args, 1);
    const double result = F(x, y);
    if (std::isnan(result) && !std::isnan(x) && !std::isnan(y))
        throw EvalError("math domain error");
    if (std::isinf(result) && std::isfinite(x) && std::isfinite(y))
        throw EvalError("math range error");
    return Value{result};
}

double powOf(double x, double y) {
    if (x == 0 && y < 0) return std::nan("");
    if (x < 0 && y != std::floor(y) && std::isfinite(y)) return std::nan("");
    return std::pow(x, y);
}
double fmodOf(double x, double y) {
    if (y == 0 || std::isinf(x)) return std::nan("");
    return std::fmod(x, y);
}
double remainderOf(double x, double y) {
    if (y == 0 || std::isinf(x)) return std::nan("");
    return std::remainder(x, y);
}
double atan2Of(double y, double x) {
    return std::atan2(y, x);
}
double copysignOf(double x, double y) {
    return std::copysign(x, y);
}
double nextafterOf(double x, double y) {
    return std::nextafter(x, y);
}

Value mathRound(Context&, Arguments& args, double (*f)(double)) {
    positionalOnly("math", args);
    expectCount("math function", args, 1, 1);
    const Value& x = args.positional[0];
    if (isInt(x)) return makeInt(bigOf(x));
    return wholeOf(f(realOf("math", x)));
}
Value mathFloor(Context& c, Arguments& args) {
    return mathRound(c, args, [](double x) { return std::floor(x); });
}
Value mathCeil(Context& c, Arguments& args) {
    return mathRound(c, args, [](double x) { return std::ceil(x); });
}
Value mathTrunc(Context& c, Arguments& args) {
    return mathRound(c, args, [](double x) { return std::trunc(x); });
}

Value mathPredicate(Arguments& args, bool (*f)(double)) {
    positionalOnly("math", args);
    expectCount("math function", args, 1, 1);
    return Value{f(realArg("math", args, 0))};
}
Value mathIsnan(Context&, Arguments& args) {
    return mathPredicate(args, [](double x) { return std::isnan(x); });
}
Value mathIsinf(Context&, Arguments& args) {
    return mathPredicate(args, [](double x) { return std::isinf(x); });
}
Value mathIsfinite(Context&, Arguments& args) {
    return mathPredicate(args, [](double x) { return std::isfinite(x); });
}

Value mathIsclose(Context&, Arguments& args) {
    keywordsAmong("isclose", args, {"rel_tol", "abs_tol"});
    if (args.positional.size() != 2)
        throw EvalError("isclose() takes exactly 2 positional arguments");
    const double a = realArg("isclose", args, 0), b = realArg("isclose", args, 1);
    const Value* rel = args.find(static_cast<std::size_t>(-1), "rel_tol");
    const Value* absolute = args.find(static_cast<std::size_t>(-1), "abs_tol");
    const double relTol = rel ? realOf("isclose", *rel) : 1e-9;
    const double absTol = absolute ? realOf("isclose", *absolute) : 0.0;
    if (relTol < 0 || absTol < 0) throw EvalError("tolerances must be non-negative");
    if (a == b) return Value{true};
    if (std::isinf(a) || std::isinf(b)) return Value{false};
    const double diff = std::fabs(b - a);
    return Value{diff <= std::fabs(relTol * b) || diff <= std::fabs(relTol * a) || diff <= absTol};
}

BigInt intArg(const std::string& name, const Value& v) {
    if (!isInt(v))
        throw EvalError("'" + typeName(v) + "' object cannot be interpreted as an integer");
    (void)name;
    return bigOf(v);
}

Value mathGcdOrLcm(Arguments& args, bool lcm) {
    positionalOnly("gcd", args);
    BigInt result = lcm ? 1 : 0;
    for (const Value& v : args.positional) {
        const BigInt n = abs(intArg("gcd", v));
        if (lcm) {
            if (n == 0 || result == 0) {
                result = 0;
                continue;
            }
            result = result / boost::multiprecision::gcd(result, n) * n;
            if (msb(result) > maxIntBits) throw EvalError("integer result too large");
        } else {
            result = boost::multiprecision::gcd(result, n);
        }
    }
    return makeInt(result);
}
Value mathGcd(Context&, Arguments& args) {
    return mathGcdOrLcm(args, false);
}
Value mathLcm(Context&, Arguments& args) {
    return mathGcdOrLcm(args, true);
}

Value mathFactorial(Context& context, Arguments& args) {
    positionalOnly("factorial", args);
    expectCount("factorial", args, 1, 1);
    const BigInt n = intArg("factorial", args.positional[0]);
    if (n < 0) throw EvalError("factorial() not defined for negative values");
    if (n > 5000) throw EvalError("factorial() of more than 5000 is refused (integer too large)");
    context.countItems(static_cast<std::size_t>(n));
    BigInt result = 1;
    for (int i = 2; i <= static_cast<int>(n); ++i) result *= i;
    return makeInt(result);
}

// comb(n, k) and perm(n, k)
Value combinations(Context& context, Arguments& args, bool ordered) {
    const std::string name = ordered ? "perm" : "comb";
    positionalOnly(name, args);
    expectCount(name, args, ordered ? 1 : 2, 2);
    const BigInt n = intArg(name, args.positional[0]);
    const BigInt k = args.positional.size() > 1 ? intArg(name, args.positional[1]) : n;
    if (n < 0 || k < 0) throw EvalError(name + "() not defined for negative values");
    if (k > n) return Value{std::int64_t{0}};
    const BigInt steps = ordered ? k : std::min(k, BigInt(n - k));
    if (steps > 5000)
        throw EvalError(name + "() of more than 5000 steps is refused (integer too large)");
    context.countItems(static_cast<std::size_t>(steps));
    BigInt result = 1;
    for (BigInt i = 0; i < steps; ++i) {
        result *= n - i;
        if (!ordered) result /= i + 1;
        if (msb(result) > maxIntBits) throw EvalError("integer result too large");
    }
    return makeInt(result);
}
Value mathComb(Context& c, Arguments& args) {
    return combinations(c, args, false);
}
Value mathPerm(Context& c, Arguments& args) {
    return combinations(c, args, true);
}

Value mathIsqrt(Context&, Arguments& args) {
    positionalOnly("isqrt", args);
    expectCount("isqrt", args, 1, 1);
    const BigInt n = intArg("isqrt", args.positional[0]);
    if (n < 0) throw EvalError("isqrt() argument must be nonnegative");
    return makeInt(boost::multiprecision::sqrt(n));
}

Value mathFsum(Context& context, Arguments& args) {
    positionalOnly("fsum", args);
    expectCount("fsum", args, 1, 1);
    // Neumaier's compensated sum: exact for the sums robot files make; infinities and NaN
    // are summed apart, as Python's fsum does
    expectAllItems(context, args.positional[0]);
    double sum = 0, compensation = 0, special = 0;
    bool nan = false;
    forEachItem(context, args.positional[0], [&](const Value& v) {
        const double x = realOf("fsum", v);
        if (!std::isfinite(x)) {
            nan = nan || std::isnan(x);
            special += std::isnan(x) ? 0.0 : x;
            return true;
        }
        const double t = sum + x;
        compensation += std::fabs(sum) >= std::fabs(x) ? (sum - t) + x : (x - t) + sum;
        sum = t;
        return true;
    });
    if (nan) return Value{std::nan("")};
    if (special != 0 || std::isnan(special)) {
        if (std::isnan(special)) throw EvalError("-inf + inf in fsum");
        return Value{special};
    }
    const double total = sum + compensation;
    if (std::isinf(total)) throw EvalError("intermediate overflow in fsum");
    return Value{total};
}

Value mathProd(Context& context, Arguments& args) {
    keywordsAmong("prod", args, {"start"});
    expectCount("prod", args, 1, 2);
    const Value* start = args.find(static_cast<std::size_t>(-1), "start");
    Value product = start ? *start : Value{std::int64_t{1}};
    expectAllItems(context, args.positional[0]);
    forEachItem(context, args.positional[0], [&](const Value& v) {
        product = binary(context, BinaryOp::Mul, product, v);
        return true;
    });
    return product;
}

Value mathHypot(Context&, Arguments& args) {
    positionalOnly("hypot", args);
    double sum = 0;
    bool infinite = false, nan = false;
    for (const Value& v : args.positional) {
        const double x = realOf("hypot", v);
        infinite = infinite || std::isinf(x);
        nan = nan || std::isnan(x);
        sum = std::hypot(sum, x);
    }
    if (infinite) return Value{std::numeric_limits<double>::infinity()};
    if (nan) return Value{std::nan("")};
    return Value{sum};
}

Value mathDist(Context& context, Arguments& args) {
    positionalOnly("dist", args);
    expectCount("dist", args, 2, 2);
    const List p = itemsOfIterable(context, args.positional[0]);
    const List q = itemsOfIterable(context, args.positional[1]);
    if (p.size() != q.size())
        throw EvalError("both points must have the same number of dimensions");
    double sum = 0;
    for (std::size_t i = 0; i < p.size(); ++i)
        sum = std::hypot(sum, realOf("dist", p[i]) - realOf("dist", q[i]));
    return Value{sum};
}

Value mathPow(Context& c, Arguments& args) {
    return mathBinary<powOf>(c, args);
}

Value mathFrexp(Context&, Arguments& args) {
    positionalOnly("frexp", args);
    expectCount("frexp", args, 1, 1);
    int e = 0;
    const double m = std::frexp(realArg("frexp", args, 0), &e);
    return makeTuple({Value{m}, Value{std::int64_t{e}}});
}

Value mathLdexp(Context&, Arguments& args) {
    positionalOnly("ldexp", args);
    expectCount("ldexp", args, 2, 2);
    const double x = realArg("ldexp", args, 0);
    const BigInt e = intArg("ldexp", args.positional[1]);
    const int exponent = e > 100000 ? 100000 : e < -100000 ? -100000 : static_cast<int>(e);
    return Value{checkedMath(std::ldexp(x, exponent), x)};
}

Value mathModf(Context&, Arguments& args) {
    positionalOnly("modf", args);
    expectCount("modf", args, 1, 1);
    double whole = 0;
    const double part = std::modf(realArg("modf", args, 0), &whole);
    return makeTuple({Value{part}, Value{whole}});
}

Value mathUlp(Context&, Arguments& args) {
    positionalOnly("ulp", args);
    expectCount("ulp", args, 1, 1);
    const double x = std::fabs(realArg("ulp", args, 0));
    if (std::isnan(x) || std::isinf(x)) return Value{x};
    if (x == std::numeric_limits<double>::max()) return Value{x - std::nextafter(x, 0.0)};
    return Value{std::nextafter(x, std::numeric_limits<double>::infinity()) - x};
}

struct Entry {
    std::string_view name;
    Function function;
    bool isType = false;
};

// The math module's functions.
constexpr Entry mathFunctions[] = {
    {"acos", mathUnary<static_cast<double (*)(double)>(std::acos)>},
    {"acosh", mathUnary<static_cast<double (*)(double)>(std::acosh)>},
    {"asin", mathUnary<static_cast<double (*)(double)>(std::asin)>},
    {"asinh", mathUnary<static_cast<double (*)(double)>(std::asinh)>},
    {"atan", mathUnary<static_cast<double (*)(double)>(std::atan)>},
    {"atan2", mathBinary<atan2Of>},
    {"atanh", mathUnary<static_cast<double (*)(double)>(std::atanh)>},
    {"cbrt", mathUnary<static_cast<double (*)(double)>(std::cbrt)>},
    {"ceil", mathCeil},
    {"comb", mathComb},
    {"copysign", mathBinary<copysignOf>},
    {"cos", mathUnary<static_cast<double (*)(double)>(std::cos)>},
    {"cosh", mathUnary<static_cast<double (*)(double)>(std::cosh)>},
    {"degrees", mathUnary<degreesOf>},
    {"dist", mathDist},
    {"erf", mathUnary<static_cast<double (*)(double)>(std::erf)>},
    {"erfc", mathUnary<static_cast<double (*)(double)>(std::erfc)>},
    {"exp", mathUnary<static_cast<double (*)(double)>(std::exp)>},
    {"exp2", mathUnary<exp2Of>},
    {"expm1", mathUnary<static_cast<double (*)(double)>(std::expm1)>},
    {"fabs", mathUnary<fabsOf>},
    {"factorial", mathFactorial},
    {"floor", mathFloor},
    {"fmod", mathBinary<fmodOf>},
    {"frexp", mathFrexp},
    {"fsum", mathFsum},
    {"gamma", mathUnary<gammaOf>},
    {"gcd", mathGcd},
    {"hypot", mathHypot},
    {"isclose", mathIsclose},
    {"isfinite", mathIsfinite},
    {"isinf", mathIsinf},
    {"isnan", mathIsnan},
    {"isqrt", mathIsqrt},
    {"lcm", mathLcm},
    {"ldexp", mathLdexp},
    {"lgamma", mathUnary<lgammaOf>},
    {"log", mathLog},
    {"log10", mathUnary<log10Of>},
    {"log1p", mathUnary<log1pOf>},
    {"log2", mathUnary<log2Of>},
    {"modf", mathModf},
    {"nextafter", mathBinary<nextafterOf>},
    {"perm", mathPerm},
    {"pow", mathPow},
    {"prod", mathProd},
    {"radians", mathUnary<radiansOf>},
    {"remainder", mathBinary<remainderOf>},
    {"sin", mathUnary<static_cast<double (*)(double)>(std::sin)>},
    {"sinh", mathUnary<static_cast<double (*)(double)>(std::sinh)>},
    {"sqrt", mathUnary<sqrtOf>},
    {"tan", mathUnary<static_cast<double (*)(double)>(std::tan)>},
    {"tanh", mathUnary<static_cast<double (*)(double)>(std::tanh)>},
    {"trunc", mathTrunc},
    {"ulp", mathUlp},
};

// The builtins under "python.": functions and types.
constexpr Entry pythonFunctions[] = {
    {"abs", absOf},
    {"all", allOf},
    {"any", anyOf},
    {"complex", complexOf, true},
    {"dict", dictOf, true},
    {"divmod", divmodOf},
    {"enumerate", enumerateOf, true},
    {"filter", filterOf, true},
    {"float", floatOf, true},
    {"frozenset", frozensetOf, true},
    {"hash", hashCall},
    {"int", intOf, true},
    {"isinstance", isinstanceOf},
    {"issubclass", issubclassOf},
    {"len", lenOf},
    {"list", listOf, true},
    {"map", mapOf, true},
    {"max", maxOf},
    {"min", minOf},
    {"ord", ordOf},
    {"range", rangeOf, true},
    {"repr", reprCall},
    {"reversed", reversedOf, true},
    {"round", roundOf},
    {"set", setOf, true},
    {"slice", sliceOf, true},
    {"sorted", sortedOf},
    {"str", strOfCall, true},
    {"sum", sumOf},
    {"tuple", tupleOf, true},
    {"type", typeOf, true},
    {"zip", zipOf, true},
};

// The builtins a file may use without "python.".
constexpr std::string_view topLevelBuiltins[] = {"list", "dict", "map", "len",   "str",    "float",
                                                 "int",  "min",  "max", "round", "sorted", "range"};

std::optional<Value> entryValue(const Entry* begin, const Entry* end, const std::string& name) {
    const auto found = std::find_if(begin, end, [&](const Entry& e) { return e.name == name; });
    if (found == end) return std::nullopt;
    return Value{std::make_shared<const Builtin>(name, found->function, found->isType)};
}

std::optional<Value> mathConstant(const std::string& name) {
    if (name == "pi") return Value{std::numbers::pi};
    if (name == "e") return Value{std::numbers::e};
    if (name == "tau") return Value{2 * std::numbers::pi};
    if (name == "inf") return Value{std::numeric_limits<double>::infinity()};
    if (name == "nan") return Value{std::numeric_limits<double>::quiet_NaN()};
    return std::nullopt;
}

std::optional<Value> mathMember(const std::string& name) {
    if (auto constant = mathConstant(name)) return constant;
    return entryValue(std::begin(mathFunctions), std::end(mathFunctions), name);
}

std::optional<Value> pythonMember(const std::string& name) {
    if (name == "True") return Value{true};
    if (name == "False") return Value{false};
    return entryValue(std::begin(pythonFunctions), std::end(pythonFunctions), name);
}

Value typeObject(const std::string& name) {
    if (name == "bool") return Value{std::make_shared<const Builtin>(name, boolOf, true)};
    if (auto type = pythonMember(name); type && typeName(*type) == "type") return *type;
    return Value{std::make_shared<const Builtin>(name, nullptr, true)};
}

}  // namespace

std::optional<Value> globalName(const std::string& name) {
    if (name == "True") return Value{true};
    if (name == "False") return Value{false};
    if (name == "python" || name == "math" || name == "xacro")
        return Value{std::make_shared<const Namespace>(name)};
    if (std::find(std::begin(topLevelBuiltins), std::end(topLevelBuiltins), name) !=
        std::end(topLevelBuiltins))
        return pythonMember(name);
    // load_yaml is still read without "xacro.", as the reference reads it
    if (name == "load_yaml")
        return Value{std::make_shared<const ExpanderFunction>("xacro.load_yaml")};
    return mathMember(name);
}

bool isDeprecatedGlobal(const std::string& name) {
    return name == "sorted" || name == "range";
}

Value attributeOf(const Value& object, const std::string& name) {
    if (name.starts_with("__")) throw EvalError("access to '" + name + "' is not allowed");
    if (const auto* f = std::get_if<std::shared_ptr<const Callable>>(&object.data)) {
        if (const auto* space = dynamic_cast<const Namespace*>(f->get())) {
            std::optional<Value> member;
            if (space->name() == "python")
                member = pythonMember(name);
            else if (space->name() == "math")
                member = mathMember(name);
            else
                member = Value{std::make_shared<const ExpanderFunction>("xacro." + name)};
            if (!member)
                throw EvalError(
                    "module '" +
                    std::string(space->name() == "python" ? "builtins" : space->name()) +
                    "' has no attribute '" + name + "'");
            return *member;
        }
    }
    if (const auto* d = std::get_if<std::shared_ptr<Dict>>(&object.data); d && (*d)->dotified) {
        for (const auto& [k, v] : (*d)->items)
            if (const auto* s = std::get_if<std::string>(&k.data); s && *s == name) return v;
    }
    return memberOf(object, name);
}

}  // namespace corvane::xacro
