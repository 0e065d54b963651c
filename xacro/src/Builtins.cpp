#include "Builtins.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <numbers>

#include "Expression.hpp"

namespace corvane::xacro {

const Value* Arguments::find(std::size_t i, std::string_view name) const {
    if (i < positional.size()) return &positional[i];
    for (const auto& [key, value] : keywords)
        if (key == name) return &value;
    return nullptr;
}

namespace {

// range() and the string methods make at most this many items, so a hostile call cannot
// exhaust memory.
constexpr std::int64_t maxItems = 1'000'000;

void expectCount(const std::string& name, const Arguments& args, std::size_t least,
                 std::size_t most) {
    const std::size_t given = args.positional.size() + args.keywords.size();
    if (given < least || given > most)
        throw EvalError(name + "() takes " +
                        (least == most
                             ? std::to_string(least)
                             : "from " + std::to_string(least) + " to " + std::to_string(most)) +
                        " arguments (" + std::to_string(given) + " given)");
}

const Value& required(const std::string& name, const Arguments& args, std::size_t i,
                      std::string_view keyword = "") {
    const Value* value = args.find(i, keyword);
    if (!value) throw EvalError(name + "() is missing argument " + std::to_string(i + 1));
    return *value;
}

double number(const std::string& name, const Arguments& args, std::size_t i) {
    const Value& value = required(name, args, i);
    if (!isNumber(value))
        throw EvalError(name + "() needs a number, not '" + typeName(value) + "'");
    return asDouble(value);
}

const std::string& text(const std::string& name, const Value& value) {
    const auto* s = std::get_if<std::string>(&value.data);
    if (!s) throw EvalError(name + "() needs a str, not '" + typeName(value) + "'");
    return *s;
}

// A float made an int, as int() and math.floor do; beyond 64 bits is refused.
Value wholeOf(double x, const std::string& name) {
    if (std::isnan(x) || std::isinf(x))
        throw EvalError("cannot convert float " + floatRepr(x) + " to integer in " + name + "()");
    if (std::fabs(x) >= 9.2e18) throw EvalError("number too large in " + name + "()");
    return Value{static_cast<std::int64_t>(x)};
}

std::string trimmedCopy(std::string_view s) {
    const auto start = s.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) return "";
    return std::string(s.substr(start, s.find_last_not_of(" \t\r\n") - start + 1));
}

std::optional<Value> callMath(const std::string& name, const Arguments& args) {
    using Fn = double (*)(double);
    static const std::pair<const char*, Fn> unary[] = {
        {"sin", std::sin},   {"cos", std::cos},     {"tan", std::tan},   {"asin", std::asin},
        {"acos", std::acos}, {"atan", std::atan},   {"sqrt", std::sqrt}, {"exp", std::exp},
        {"fabs", std::fabs}, {"log10", std::log10}, {"sinh", std::sinh}, {"cosh", std::cosh},
        {"tanh", std::tanh}, {"log2", std::log2}};
    for (const auto& [fnName, fn] : unary)
        if (name == fnName) {
            expectCount(name, args, 1, 1);
            const double x = number(name, args, 0);
            if ((name == "sqrt" && x < 0) ||
                ((name == "asin" || name == "acos") && std::fabs(x) > 1))
                throw EvalError("math domain error in " + name + "(" + floatRepr(x) + ")");
            return Value{fn(x)};
        }
    if (name == "log") {
        expectCount(name, args, 1, 2);
        const double x = number(name, args, 0);
        if (x <= 0) throw EvalError("math domain error in log(" + floatRepr(x) + ")");
        return Value{args.positional.size() == 2 ? std::log(x) / std::log(number(name, args, 1))
                                                 : std::log(x)};
    }
    if (name == "radians" || name == "degrees") {
        expectCount(name, args, 1, 1);
        const double x = number(name, args, 0);
        return Value{name == "radians" ? x * std::numbers::pi / 180.0
                                       : x * 180.0 / std::numbers::pi};
    }
    using Fn2 = double (*)(double, double);
    static const std::pair<const char*, Fn2> binary[] = {{"atan2", std::atan2},
                                                         {"pow", std::pow},
                                                         {"hypot", std::hypot},
                                                         {"fmod", std::fmod},
                                                         {"copysign", std::copysign}};
    for (const auto& [fnName, fn] : binary)
        if (name == fnName) {
            expectCount(name, args, 2, 2);
            const double result = fn(number(name, args, 0), number(name, args, 1));
            if (std::isinf(result)) throw EvalError("number too large in " + name + "()");
            return Value{result};
        }
    if (name == "floor" || name == "ceil" || name == "trunc") {
        expectCount(name, args, 1, 1);
        const double x = number(name, args, 0);
        return wholeOf(name == "floor" ? std::floor(x) : name == "ceil" ? std::ceil(x) : x, name);
    }
    if (name == "isnan" || name == "isinf") {
        expectCount(name, args, 1, 1);
        const double x = number(name, args, 0);
        return Value{name == "isnan" ? std::isnan(x) : std::isinf(x)};
    }
    return std::nullopt;
}

Value floatOf(const Value& value) {
    if (const auto* s = std::get_if<std::string>(&value.data)) {
        std::string t = trimmedCopy(*s);
        std::string lower = t;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const bool negative = lower.starts_with("-");
        const std::string unsignedText =
            lower.starts_with("-") || lower.starts_with("+") ? lower.substr(1) : lower;
        if (unsignedText == "inf" || unsignedText == "infinity")
            return Value{negative ? -std::numeric_limits<double>::infinity()
                                  : std::numeric_limits<double>::infinity()};
        if (unsignedText == "nan") return Value{std::numeric_limits<double>::quiet_NaN()};
        if (t.starts_with("+")) t.erase(0, 1);
        double d = 0;
        const auto result = std::from_chars(t.data(), t.data() + t.size(), d);
        if (t.empty() || result.ptr != t.data() + t.size() ||
            (result.ec != std::errc() && result.ec != std::errc::result_out_of_range))
            throw EvalError("could not convert string to float: '" + *s + "'");
        // Beyond the float range Python reads an infinity (or 0 for a tiny value).
        if (result.ec == std::errc::result_out_of_range) d = std::strtod(t.c_str(), nullptr);
        return Value{d};
    }
    if (!isNumber(value))
        throw EvalError("float() argument must be a string or a number, not '" + typeName(value) +
                        "'");
    return Value{asDouble(value)};
}

// int() of a text in BASE: 2 to 36, or 0 for the base its prefix names (0x, 0o, 0b; else 10),
// a prefix also allowed when it matches the base given, as Python reads them.
Value intOfText(const std::string& text, std::int64_t base) {
    if (base != 0 && (base < 2 || base > 36))
        throw EvalError("int() base must be >= 2 and <= 36, or 0");
    std::string t = trimmedCopy(text);
    std::string sign;
    if (t.starts_with("+") || t.starts_with("-")) {
        if (t[0] == '-') sign = "-";
        t.erase(0, 1);
    }
    const auto hasPrefix = [&t](char letter) {
        return t.size() > 1 && t[0] == '0' &&
               std::tolower(static_cast<unsigned char>(t[1])) == letter;
    };
    for (const auto& [letter, named] : {std::pair{'x', 16}, std::pair{'o', 8}, std::pair{'b', 2}}) {
        if ((base == 0 || base == named) && hasPrefix(letter)) {
            t.erase(0, 2);
            base = named;
            break;
        }
    }
    if (base == 0) base = 10;
    t = sign + t;
    std::int64_t result = 0;
    const auto parsed =
        std::from_chars(t.data(), t.data() + t.size(), result, static_cast<int>(base));
    if (parsed.ec == std::errc::result_out_of_range)
        throw EvalError("integer too large: '" + text + "'");
    if (t.size() == sign.size() || parsed.ec != std::errc() || parsed.ptr != t.data() + t.size())
        throw EvalError("invalid literal for int() with base " + std::to_string(base) + ": '" +
                        text + "'");
    return Value{result};
}

// int(VALUE) or int(VALUE, BASE); a base is only for a text.
Value intOf(const Value& value, const Value* base) {
    const auto* s = std::get_if<std::string>(&value.data);
    if (base) {
        if (!s) throw EvalError("int() can't convert non-string with explicit base");
        return intOfText(*s, asInt(*base));
    }
    if (s) return intOfText(*s, 10);
    if (isInt(value)) return Value{asInt(value)};
    if (const auto* d = std::get_if<double>(&value.data)) return wholeOf(std::trunc(*d), "int");
    throw EvalError("int() argument must be a string or a number, not '" + typeName(value) + "'");
}

Value roundOf(const Arguments& args) {
    expectCount("round", args, 1, 2);
    const Value& x = required("round", args, 0);
    const Value* digits = args.find(1, "ndigits");
    if (!isNumber(x)) throw EvalError("type " + typeName(x) + " doesn't define __round__");
    if (digits && !std::holds_alternative<None>(digits->data)) {
        if (!isInt(*digits)) throw EvalError("round() digits must be an integer");
        if (isInt(x) && asInt(*digits) >= 0) return Value{asInt(x)};
        const double scale = std::pow(10.0, static_cast<double>(asInt(*digits)));
        const double result = std::nearbyint(asDouble(x) * scale) / scale;
        if (isInt(x)) return wholeOf(result, "round");
        return Value{std::isfinite(result) ? result : asDouble(x)};
    }
    if (isInt(x)) return Value{asInt(x)};
    // nearbyint rounds halves to even, as Python does
    return wholeOf(std::nearbyint(asDouble(x)), "round");
}

Value extreme(const std::string& name, const Arguments& args) {
    const List items =
        args.positional.size() == 1 ? itemsOfIterable(args.positional[0]) : args.positional;
    if (items.empty()) throw EvalError(name + "() arg is an empty sequence");
    Value best = items[0];
    for (const Value& v : items) {
        const int order = orderOf(v, best, name == "min" ? "<" : ">");
        if (name == "min" ? order < 0 : order > 0) best = v;
    }
    return best;
}

Value rangeOf(const Arguments& args) {
    expectCount("range", args, 1, 3);
    std::vector<std::int64_t> bounds;
    for (const Value& v : args.positional) {
        if (!isInt(v))
            throw EvalError("'" + typeName(v) + "' object cannot be interpreted as an integer");
        bounds.push_back(asInt(v));
    }
    const std::int64_t start = bounds.size() > 1 ? bounds[0] : 0;
    const std::int64_t stop = bounds.size() > 1 ? bounds[1] : bounds[0];
    const std::int64_t step = bounds.size() > 2 ? bounds[2] : 1;
    if (step == 0) throw EvalError("range() arg 3 must not be zero");
    List items;
    for (std::int64_t i = start; step > 0 ? i < stop : i > stop; i += step) {
        if (static_cast<std::int64_t>(items.size()) >= maxItems)
            throw EvalError("range() makes more than " + std::to_string(maxItems) + " items");
        items.push_back(Value{i});
    }
    return makeList(std::move(items));
}

Value sortedOf(const Arguments& args) {
    List items = itemsOfIterable(required("sorted", args, 0));
    std::stable_sort(items.begin(), items.end(),
                     [](const Value& a, const Value& b) { return orderOf(a, b, "<") < 0; });
    if (const Value* reverse = args.find(1, "reverse"); reverse && truthOf(*reverse))
        std::reverse(items.begin(), items.end());
    return makeList(std::move(items));
}

Value zipOf(const List& iterables) {
    std::vector<List> lists;
    std::size_t length = std::numeric_limits<std::size_t>::max();
    for (const Value& v : iterables) {
        lists.push_back(itemsOfIterable(v));
        length = std::min(length, lists.back().size());
    }
    List items;
    for (std::size_t i = 0; !lists.empty() && i < length; ++i) {
        List row;
        for (const List& list : lists) row.push_back(list[i]);
        items.push_back(makeTuple(std::move(row)));
    }
    return makeList(std::move(items));
}

Value dictOf(const Arguments& args) {
    auto dict = std::make_shared<Dict>();
    const auto set = [&](Value key, Value value) {
        for (auto& [k, v] : dict->items)
            if (equalValues(k, key)) {
                v = std::move(value);
                return;
            }
        dict->items.emplace_back(std::move(key), std::move(value));
    };
    if (!args.positional.empty()) {
        const Value& from = args.positional[0];
        if (const auto* d = std::get_if<std::shared_ptr<Dict>>(&from.data)) {
            dict->items = (*d)->items;
        } else {
            for (const Value& pair : itemsOfIterable(from)) {
                const List kv = itemsOfIterable(pair);
                if (kv.size() != 2)
                    throw EvalError("dict() needs pairs, not an item of length " +
                                    std::to_string(kv.size()));
                set(kv[0], kv[1]);
            }
        }
    }
    for (const auto& [key, value] : args.keywords) set(Value{key}, value);
    return Value{dict};
}

Value lengthOf(const Value& value) {
    if (const auto* s = std::get_if<std::string>(&value.data))
        return Value{static_cast<std::int64_t>(s->size())};
    if (std::holds_alternative<std::shared_ptr<List>>(value.data) ||
        std::holds_alternative<std::shared_ptr<Tuple>>(value.data) ||
        std::holds_alternative<std::shared_ptr<Dict>>(value.data))
        return Value{static_cast<std::int64_t>(itemsOfIterable(value).size())};
    throw EvalError("object of type '" + typeName(value) + "' has no len()");
}

Value mapOf(const Arguments& args, const Apply& apply) {
    if (args.positional.size() < 2) throw EvalError("map() must have at least two arguments");
    const Value rows = zipOf(List(args.positional.begin() + 1, args.positional.end()));
    List items;
    for (const Value& row : *std::get<std::shared_ptr<List>>(rows.data))
        items.push_back(apply(args.positional[0], itemsOfIterable(row)));
    return makeList(std::move(items));
}

// The builtins a file may call without the "python." prefix.
bool isBareBuiltin(const std::string& name) {
    static const char* const names[] = {"list", "dict", "map", "len",   "str", "float",
                                        "int",  "min",  "max", "round", "abs", "bool"};
    return std::find_if(std::begin(names), std::end(names),
                        [&](const char* n) { return name == n; }) != std::end(names);
}

std::optional<Value> callPython(const std::string& name, const Arguments& args,
                                const Apply& apply) {
    // These take their arguments by position only: a keyword given to one is refused before
    // any argument is read, so the rest may count positions alone.
    static constexpr std::string_view positionalOnly[] = {
        "len", "str", "bool", "float", "list", "tuple", "reversed",
        "set", "map", "abs",  "all",   "any",  "range", "zip"};
    if (!args.keywords.empty() && std::find(std::begin(positionalOnly), std::end(positionalOnly),
                                            name) != std::end(positionalOnly))
        throw EvalError(name + "() takes no keyword arguments");
    const auto one = [&]() -> const Value& {
        expectCount(name, args, 1, 1);
        return args.positional[0];
    };
    const auto iterable = [&]() {
        expectCount(name, args, 0, 1);
        return args.positional.empty() ? List{} : itemsOfIterable(args.positional[0]);
    };
    if (name == "len") return lengthOf(one());
    if (name == "str") return args.positional.empty() ? Value{std::string()} : Value{strOf(one())};
    if (name == "bool") return Value{!args.positional.empty() && truthOf(one())};
    if (name == "float") return args.positional.empty() ? Value{0.0} : floatOf(one());
    if (name == "int") {
        expectCount(name, args, 0, 2);
        if (args.positional.empty() && args.keywords.empty()) return Value{std::int64_t{0}};
        const Value* base = args.find(1, "base");
        return intOf(required(name, args, 0), base);
    }
    if (name == "list") return makeList(iterable());
    if (name == "tuple") return makeTuple(iterable());
    if (name == "reversed") {
        List items = itemsOfIterable(one());
        std::reverse(items.begin(), items.end());
        return makeList(std::move(items));
    }
    if (name == "set") {
        List unique;
        for (const Value& v : iterable())
            if (!contains(makeList(unique), v)) unique.push_back(v);
        return makeList(std::move(unique));
    }
    if (name == "dict") return dictOf(args);
    if (name == "map") return mapOf(args, apply);
    if (name == "min" || name == "max") return extreme(name, args);
    if (name == "round") return roundOf(args);
    if (name == "abs") {
        const Value& x = one();
        if (isInt(x)) {
            if (asInt(x) == std::numeric_limits<std::int64_t>::min())
                throw EvalError("integer result too large");
            return Value{asInt(x) < 0 ? -asInt(x) : asInt(x)};
        }
        if (!isNumber(x)) throw EvalError("bad operand type for abs(): '" + typeName(x) + "'");
        return Value{std::fabs(asDouble(x))};
    }
    if (name == "all" || name == "any") {
        const List items = itemsOfIterable(one());
        const bool wantAll = name == "all";
        for (const Value& v : items)
            if (truthOf(v) != wantAll) return Value{!wantAll};
        return Value{wantAll};
    }
    if (name == "sorted") return sortedOf(args);
    if (name == "range") return rangeOf(args);
    if (name == "sum") {
        expectCount(name, args, 1, 2);
        const Value* start = args.find(1, "start");
        Value total = start ? *start : Value{std::int64_t{0}};
        for (const Value& v : itemsOfIterable(required(name, args, 0)))
            total = arithmetic("+", total, v);
        return total;
    }
    if (name == "zip") return zipOf(args.positional);
    if (name == "enumerate") {
        expectCount(name, args, 1, 2);
        const Value* start = args.find(1, "start");
        std::int64_t i = start ? asInt(*start) : 0;
        List items;
        for (const Value& v : itemsOfIterable(required(name, args, 0)))
            items.push_back(makeTuple({Value{i++}, v}));
        return makeList(std::move(items));
    }
    return std::nullopt;
}

}  // namespace

std::optional<Value> callBuiltin(const std::string& name, const Arguments& args,
                                 const Apply& apply) {
    if (name.starts_with("math.")) return callMath(name.substr(5), args);
    if (name.starts_with("python.")) {
        const std::string bare = name.substr(7);
        if (auto result = callPython(bare, args, apply)) return result;
        return callMath(bare, args);
    }
    if (auto result = callMath(name, args)) return result;
    if (isBareBuiltin(name)) return callPython(name, args, apply);
    return std::nullopt;
}

bool isBuiltinFunction(const std::string& name) {
    static const char* const mathNames[] = {"sin",     "cos",  "tan",   "sqrt", "radians",
                                            "degrees", "fabs", "floor", "ceil"};
    const std::string bare = name.starts_with("math.")     ? name.substr(5)
                             : name.starts_with("python.") ? name.substr(7)
                                                           : name;
    return isBareBuiltin(bare) ||
           std::find_if(std::begin(mathNames), std::end(mathNames),
                        [&](const char* n) { return bare == n; }) != std::end(mathNames);
}

namespace {

// A field's format as the files write it, [sign][#][0][width][.precision]type, width and
// precision of up to three and two digits: nothing else may reach snprintf, which would read
// arguments that were never passed for any other conversion in the text.
bool isPlainNumberFormat(const std::string& format) {
    std::size_t i = 0;
    const auto digits = [&](std::size_t most) {
        const std::size_t start = i;
        while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i])) &&
               i - start < most)
            ++i;
        return i - start;
    };
    if (i < format.size() && (format[i] == '+' || format[i] == '-' || format[i] == ' ')) ++i;
    if (i < format.size() && format[i] == '#') ++i;
    digits(3);
    if (i < format.size() && format[i] == '.' && (++i, digits(2) == 0)) return false;
    return i + 1 == format.size() && std::string_view("efg%d").find(format[i]) != std::string::npos;
}

std::string formatField(const Value& value, const std::string& format) {
    if (format.empty()) return strOf(value);
    if (format.size() <= 3 && format.find_first_not_of("0123456789") == std::string::npos) {
        const std::string shown = strOf(value);
        const auto width = static_cast<std::size_t>(std::stoul(format));
        return shown.size() >= width ? shown : shown + std::string(width - shown.size(), ' ');
    }
    if (!isPlainNumberFormat(format))
        throw EvalError("unsupported format specifier '" + format + "'");
    const char type = format.back();
    std::string conversion = "%" + format;
    char buffer[2048];  // the widest: 999 columns, or a float of 309 digits and 99 decimals
    if (type == 'd') {
        conversion.pop_back();
        conversion += "lld";
        std::snprintf(buffer, sizeof buffer, conversion.c_str(),
                      static_cast<long long>(asInt(value)));
        return buffer;
    }
    if (type == '%') conversion.back() = 'f';
    const double x = asDouble(value) * (type == '%' ? 100.0 : 1.0);
    std::snprintf(buffer, sizeof buffer, conversion.c_str(), x);
    return std::string(buffer) + (type == '%' ? "%" : "");
}

// str.format with {}, {0}, {name}, an optional :format, and {{ }} for braces.
Value formatted(const std::string& pattern, const Arguments& args) {
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if ((c == '{' || c == '}') && i + 1 < pattern.size() && pattern[i + 1] == c) {
            out += c;
            ++i;
            continue;
        }
        if (c != '{') {
            out += c;
            continue;
        }
        const auto close = pattern.find('}', i);
        if (close == std::string::npos) throw EvalError("single '{' encountered in format string");
        const std::string field = pattern.substr(i + 1, close - i - 1);
        const auto colon = field.find(':');
        const std::string key = field.substr(0, colon);
        const std::string format = colon == std::string::npos ? "" : field.substr(colon + 1);
        const Value* value = nullptr;
        if (key.empty()) {
            value = next < args.positional.size() ? &args.positional[next] : nullptr;
            ++next;
        } else if (std::isdigit(static_cast<unsigned char>(key[0]))) {
            const auto index = static_cast<std::size_t>(std::stoul(key.substr(0, 6)));
            value = index < args.positional.size() ? &args.positional[index] : nullptr;
        } else {
            value = args.find(args.positional.size(), key);
        }
        if (!value) throw EvalError("format(): no argument for field '{" + field + "}'");
        out += formatField(*value, format);
        i = close;
    }
    return Value{out};
}

Value splitOf(const std::string& s, const Arguments& args) {
    const Value* sepValue = args.find(0, "sep");
    const Value* maxValue = args.find(1, "maxsplit");
    std::int64_t most = maxValue ? asInt(*maxValue) : -1;
    List parts;
    if (!sepValue || std::holds_alternative<None>(sepValue->data)) {
        std::size_t i = s.find_first_not_of(" \t\r\n\f\v");
        while (i != std::string::npos) {
            if (most-- == 0) {
                parts.push_back(Value{s.substr(i)});  // the rest, its trailing space kept
                break;
            }
            const auto end = s.find_first_of(" \t\r\n\f\v", i);
            parts.push_back(Value{s.substr(i, end - i)});
            i = end == std::string::npos ? end : s.find_first_not_of(" \t\r\n\f\v", end);
        }
        return makeList(std::move(parts));
    }
    const std::string& sep = text("split", *sepValue);
    if (sep.empty()) throw EvalError("split(): empty separator");
    std::size_t at = 0;
    for (auto found = s.find(sep); found != std::string::npos && most-- != 0;
         found = s.find(sep, at)) {
        parts.push_back(Value{s.substr(at, found - at)});
        at = found + sep.size();
    }
    parts.push_back(Value{s.substr(at)});
    return makeList(std::move(parts));
}

Value strippedOf(const std::string& s, const std::string& name, const Arguments& args) {
    const Value* charsValue = args.find(0, "chars");
    const std::string chars = charsValue && !std::holds_alternative<None>(charsValue->data)
                                  ? text(name, *charsValue)
                                  : std::string(" \t\r\n\f\v");
    std::size_t start = 0;
    std::size_t end = s.size();
    if (name != "rstrip")
        while (start < end && chars.find(s[start]) != std::string::npos) ++start;
    if (name != "lstrip")
        while (end > start && chars.find(s[end - 1]) != std::string::npos) --end;
    return Value{s.substr(start, end - start)};
}

bool affixMatches(const std::string& s, const std::string& name, const Value& affix) {
    if (std::holds_alternative<std::shared_ptr<Tuple>>(affix.data)) {
        for (const Value& one : itemsOfIterable(affix))
            if (affixMatches(s, name, one)) return true;
        return false;
    }
    const std::string& t = text(name, affix);
    return name == "startswith" ? s.starts_with(t) : s.ends_with(t);
}

std::string mapped(std::string s, int (*fn)(int)) {
    for (char& c : s) c = static_cast<char>(fn(static_cast<unsigned char>(c)));
    return s;
}

Value stringMethod(const std::string& s, const std::string& name, const Arguments& args) {
    const auto argText = [&](std::size_t i) -> const std::string& {
        return text(name, required(name, args, i));
    };
    if (name == "upper") return Value{mapped(s, ::toupper)};
    if (name == "lower") return Value{mapped(s, ::tolower)};
    if (name == "capitalize" || name == "title") {
        std::string out = mapped(s, ::tolower);
        bool start = true;
        for (char& c : out) {
            if (start && std::isalpha(static_cast<unsigned char>(c)))
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            start = name == "title" ? !std::isalpha(static_cast<unsigned char>(c)) : false;
        }
        return Value{out};
    }
    if (name == "startswith" || name == "endswith")
        return Value{affixMatches(s, name, required(name, args, 0))};
    if (name == "replace") {
        const std::string& from = argText(0);
        const std::string& to = argText(1);
        const Value* countValue = args.find(2, "count");
        std::int64_t count = countValue ? asInt(*countValue) : -1;
        if (from.empty()) return Value{s};
        std::string out;
        std::size_t at = 0;
        for (auto found = s.find(from); found != std::string::npos && count-- != 0;
             found = s.find(from, at)) {
            out += s.substr(at, found - at) + to;
            at = found + from.size();
        }
        return Value{out + s.substr(at)};
    }
    if (name == "split") return splitOf(s, args);
    if (name == "strip" || name == "lstrip" || name == "rstrip") return strippedOf(s, name, args);
    if (name == "join") {
        std::string out;
        const List items = itemsOfIterable(required(name, args, 0));
        for (std::size_t i = 0; i < items.size(); ++i) {
            const auto* item = std::get_if<std::string>(&items[i].data);
            if (!item)
                throw EvalError("sequence item " + std::to_string(i) + ": expected str instance, " +
                                typeName(items[i]) + " found");
            if (i) out += s;
            out += *item;
        }
        return Value{out};
    }
    if (name == "format") return formatted(s, args);
    if (name == "find" || name == "rfind" || name == "index") {
        const auto at = name == "rfind" ? s.rfind(argText(0)) : s.find(argText(0));
        if (at == std::string::npos && name == "index") throw EvalError("substring not found");
        return Value{at == std::string::npos ? std::int64_t{-1} : static_cast<std::int64_t>(at)};
    }
    if (name == "count") {
        const std::string& part = argText(0);
        if (part.empty()) return Value{static_cast<std::int64_t>(s.size() + 1)};
        std::int64_t count = 0;
        for (auto at = s.find(part); at != std::string::npos; at = s.find(part, at + part.size()))
            ++count;
        return Value{count};
    }
    if (name == "isdigit" || name == "isalpha" || name == "isalnum" || name == "isspace") {
        int (*test)(int) = name == "isdigit"   ? ::isdigit
                           : name == "isalpha" ? ::isalpha
                           : name == "isalnum" ? ::isalnum
                                               : ::isspace;
        return Value{!s.empty() && std::all_of(s.begin(), s.end(), [&](char c) {
            return test(static_cast<unsigned char>(c)) != 0;
        })};
    }
    if (name == "zfill") {
        const auto width = static_cast<std::size_t>(
            std::clamp<std::int64_t>(asInt(required(name, args, 0)), 0, maxItems));
        if (s.size() >= width) return Value{s};
        const bool sign = !s.empty() && (s[0] == '-' || s[0] == '+');
        return Value{(sign ? s.substr(0, 1) : "") + std::string(width - s.size(), '0') +
                     s.substr(sign ? 1 : 0)};
    }
    throw EvalError("'str' object has no attribute '" + name + "'");
}

Value dictMethod(const Dict& dict, const std::string& name, const Arguments& args) {
    if (name == "keys" || name == "values" || name == "items") {
        List items;
        for (const auto& [k, v] : dict.items)
            items.push_back(name == "keys" ? k : name == "values" ? v : makeTuple({k, v}));
        return makeList(std::move(items));
    }
    if (name == "get") {
        const Value& key = required(name, args, 0);
        for (const auto& [k, v] : dict.items)
            if (equalValues(k, key)) return v;
        const Value* fallback = args.find(1, "default");
        return fallback ? *fallback : Value{};
    }
    if (name == "copy") return Value{std::make_shared<Dict>(dict)};
    throw EvalError("'dict' object has no attribute '" + name + "'");
}

Value sequenceMethod(const Value& self, const std::string& name, const Arguments& args) {
    const List items = itemsOfIterable(self);
    if (name == "index" || name == "count") {
        const Value& item = required(name, args, 0);
        std::int64_t count = 0;
        for (std::size_t i = 0; i < items.size(); ++i)
            if (equalValues(items[i], item)) {
                if (name == "index") return Value{static_cast<std::int64_t>(i)};
                ++count;
            }
        if (name == "index") throw EvalError(reprOf(item) + " is not in " + typeName(self));
        return Value{count};
    }
    throw EvalError("'" + typeName(self) + "' object has no attribute '" + name + "'");
}

}  // namespace

Value callMethod(const Value& self, const std::string& name, const Arguments& args) {
    if (const auto* s = std::get_if<std::string>(&self.data)) return stringMethod(*s, name, args);
    if (const auto* d = std::get_if<std::shared_ptr<Dict>>(&self.data))
        return dictMethod(**d, name, args);
    if (std::holds_alternative<std::shared_ptr<List>>(self.data) ||
        std::holds_alternative<std::shared_ptr<Tuple>>(self.data))
        return sequenceMethod(self, name, args);
    throw EvalError("'" + typeName(self) + "' object has no attribute '" + name + "'");
}

}  // namespace corvane::xacro
