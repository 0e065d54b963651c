#include "Formatting.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>

namespace corvane::xacro {
namespace {

// Widths and precisions beyond this are refused: no robot needs them, and each would make a
// text of that size.
constexpr std::int64_t maxFieldSize = 10'000;

std::string digitsOf(BigInt value, int base, bool upper) {
    if (value == 0) return "0";
    const char* const digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    while (value > 0) {
        text += digits[static_cast<int>(value % base)];
        value /= base;
    }
    return {text.rbegin(), text.rend()};
}

// Separates the digits of WHOLE in groups of GROUP with SEPARATOR, from the right.
std::string grouped(const std::string& whole, char separator, std::size_t group) {
    if (separator == 0) return whole;
    std::string out;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % group == 0) out += separator;
        out += whole[i];
    }
    return out;
}

// A float in C's %e, %f or %g with PRECISION digits, as Python's own float formatting gives.
std::string cFloat(double x, char type, int precision, bool alternate) {
    if (std::isinf(x) || std::isnan(x)) {
        const std::string text = std::isnan(x) ? "nan" : "inf";
        std::string out = text;
        if (std::isupper(static_cast<unsigned char>(type)))
            for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return out;
    }
    const std::string pattern = std::string(alternate ? "%#.*" : "%.*") + type;
    const int size = std::snprintf(nullptr, 0, pattern.c_str(), precision, std::fabs(x));
    std::string text(static_cast<std::size_t>(size) + 1, '\0');
    std::snprintf(text.data(), text.size(), pattern.c_str(), precision, std::fabs(x));
    text.pop_back();
    return text;
}

struct Layout {
    char fill = ' ';
    bool fillGiven = false;
    char align = 0;
    char sign = '-';
    bool alternate = false;
    bool zero = false;
    std::int64_t width = 0;
    char grouping = 0;
    std::int64_t precision = -1;
    char type = 0;
};

[[noreturn]] void badLayout(const std::string& layout) {
    throw EvalError("Invalid format specifier '" + layout + "'");
}

std::int64_t number(const std::string& text, std::size_t& i) {
    std::int64_t n = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        n = n * 10 + (text[i++] - '0');
        if (n > maxFieldSize)
            throw EvalError("width or precision over " + std::to_string(maxFieldSize) +
                            " in format");
    }
    return n;
}

Layout parseLayout(const std::string& text) {
    Layout layout;
    std::size_t i = 0;
    const auto isAlign = [](char c) { return c == '<' || c == '>' || c == '=' || c == '^'; };
    if (text.size() >= 2 && isAlign(text[1])) {
        layout.fill = text[0];
        layout.fillGiven = true;
        layout.align = text[1];
        i = 2;
    } else if (!text.empty() && isAlign(text[0])) {
        layout.align = text[0];
        i = 1;
    }
    if (i < text.size() && (text[i] == '+' || text[i] == '-' || text[i] == ' '))
        layout.sign = text[i++];
    if (i < text.size() && text[i] == 'z') badLayout(text);
    if (i < text.size() && text[i] == '#') {
        layout.alternate = true;
        ++i;
    }
    if (i < text.size() && text[i] == '0') {
        layout.zero = true;
        ++i;
    }
    layout.width = number(text, i);
    if (i < text.size() && (text[i] == ',' || text[i] == '_')) layout.grouping = text[i++];
    if (i < text.size() && text[i] == '.') {
        ++i;
        if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i])))
            throw EvalError("Format specifier missing precision");
        layout.precision = number(text, i);
    }
    if (i < text.size()) layout.type = text[i++];
    if (i != text.size()) badLayout(text);
    return layout;
}

// SIGN and BODY padded to the width of LAYOUT, as its alignment says (DEFAULT when it says none).
std::string padded(const std::string& sign, const std::string& body, const Layout& layout,
                   char defaultAlign) {
    char align = layout.align ? layout.align : defaultAlign;
    char fill = layout.fill;
    // a zero before the width pads with zeros, between sign and digits unless aligned otherwise
    if (layout.zero && !layout.fillGiven) fill = '0';
    if (layout.zero && !layout.align) align = '=';
    const std::size_t size = sign.size() + body.size();
    const std::size_t width = static_cast<std::size_t>(layout.width);
    if (size >= width) return sign + body;
    const std::size_t pad = width - size;
    switch (align) {
        case '<':
            return sign + body + std::string(pad, fill);
        case '^':
            return std::string(pad / 2, fill) + sign + body + std::string(pad - pad / 2, fill);
        case '=':
            return sign + std::string(pad, fill) + body;
        default:
            return std::string(pad, fill) + sign + body;
    }
}

std::string signOf(bool negative, char sign) {
    if (negative) return "-";
    if (sign == '+') return "+";
    if (sign == ' ') return " ";
    return "";
}

std::string formatFloat(double x, Layout layout, const std::string& text) {
    char type = layout.type;
    if (type == 'n') type = 'g';
    std::string body;
    const bool negative = std::signbit(x) && !std::isnan(x);
    if (type == 0 && layout.precision < 0) {
        body = floatRepr(std::fabs(x));
    } else if (type == 0) {
        body = cFloat(x, 'g', static_cast<int>(std::max<std::int64_t>(layout.precision, 1)),
                      layout.alternate);
        if (std::isfinite(x) && body.find_first_of(".e") == std::string::npos) body += ".0";
    } else if (type == '%') {
        body = cFloat(x * 100, 'f', static_cast<int>(layout.precision < 0 ? 6 : layout.precision),
                      layout.alternate) +
               "%";
    } else if (std::string_view("eEfFgG").find(type) != std::string_view::npos) {
        body = cFloat(x, type, static_cast<int>(layout.precision < 0 ? 6 : layout.precision),
                      layout.alternate);
    } else {
        throw EvalError("Unknown format code '" + std::string(1, type) +
                        "' for object of type 'float'");
    }
    if (layout.grouping && std::isfinite(x)) {
        const auto end = body.find_first_not_of("0123456789");
        body = grouped(body.substr(0, end), layout.grouping, 3) +
               (end == std::string::npos ? "" : body.substr(end));
    }
    (void)text;
    return padded(signOf(negative, layout.sign), body, layout, '>');
}

std::string formatInt(const BigInt& value, const Layout& layout, const std::string& text) {
    char type = layout.type ? layout.type : 'd';
    if (std::string_view("eEfFgG%").find(type) != std::string_view::npos)
        return formatFloat(doubleOf(value), layout, text);
    if (layout.precision >= 0) throw EvalError("Precision not allowed in integer format specifier");
    if (type == 'c') {
        if (value < 0 || value > 0x10FFFF) throw EvalError("%c arg not in range(0x110000)");
        return padded("", utf8Of(static_cast<std::uint32_t>(value)), layout, '>');
    }
    if (type == 'n') type = 'd';
    const int base = type == 'd'                  ? 10
                     : type == 'x' || type == 'X' ? 16
                     : type == 'o'                ? 8
                     : type == 'b'                ? 2
                                                  : 0;
    if (base == 0)
        throw EvalError("Unknown format code '" + std::string(1, type) +
                        "' for object of type 'int'");
    std::string digits = digitsOf(abs(value), base, type == 'X');
    if (layout.grouping) {
        if (layout.grouping == ',' && base != 10)
            throw EvalError("Cannot specify ',' with '" + std::string(1, type) + "'.");
        digits = grouped(digits, layout.grouping, base == 10 ? 3 : 4);
    }
    std::string prefix = signOf(value < 0, layout.sign);
    if (layout.alternate && base != 10) prefix += std::string("0") + (type == 'X' ? 'X' : type);
    return padded(prefix, digits, layout, '>');
}

}  // namespace

std::string formatValue(const Value& value, const std::string& layoutText) {
    if (layoutText.empty()) return strOf(value);
    const Layout layout = parseLayout(layoutText);
    if (const auto* s = std::get_if<std::string>(&value.data)) {
        if (layout.type && layout.type != 's')
            throw EvalError("Unknown format code '" + std::string(1, layout.type) +
                            "' for object of type 'str'");
        if (layout.sign != '-') throw EvalError("Sign not allowed in string format specifier");
        if (layout.align == '=')
            throw EvalError("'=' alignment not allowed in string format specifier");
        if (layout.alternate)
            throw EvalError("Alternate form (#) not allowed in string format specifier");
        if (layout.grouping)
            throw EvalError(std::string("Cannot specify '") + layout.grouping + "' with 's'.");
        std::string body = *s;
        if (layout.precision >= 0 && body.size() > static_cast<std::size_t>(layout.precision))
            body.resize(static_cast<std::size_t>(layout.precision));
        Layout text = layout;
        if (text.zero && !text.align) text.align = '<';  // a text padded with zeros on the right
        return padded("", body, text, '<');
    }
    if (isInt(value)) return formatInt(bigOf(value), layout, layoutText);
    if (const auto* d = std::get_if<double>(&value.data))
        return formatFloat(*d, layout, layoutText);
    if (const auto* z = std::get_if<std::complex<double>>(&value.data);
        z &&
        (!layout.type || std::string_view("eEfFgG").find(layout.type) != std::string_view::npos)) {
        // both parts in the type given, the imaginary one with its sign; in parentheses
        // without a type, as str() writes it
        Layout part = layout;
        part.width = 0;
        part.align = 0;
        part.zero = false;
        if (layout.align == '=')
            throw EvalError("'=' alignment flag is not allowed in complex format specifier");
        if (!layout.type && layout.precision < 0) return padded("", strOf(value), layout, '>');
        if (!layout.type) part.type = 'g';
        const std::string real = formatFloat(z->real(), part, layoutText);
        part.sign = '+';
        const std::string both = real + formatFloat(z->imag(), part, layoutText) + "j";
        return padded("", layout.type ? both : "(" + both + ")", layout, '>');
    }
    throw EvalError("unsupported format string passed to " + typeName(value) + ".__format__");
}

namespace {

// One value for a %-conversion, as its type letter needs it.
std::string percentField(const Value& value, char type, const Layout& layout) {
    switch (type) {
        case 's': {
            std::string text = strOf(value);
            if (layout.precision >= 0 && text.size() > static_cast<std::size_t>(layout.precision))
                text.resize(static_cast<std::size_t>(layout.precision));
            return padded("", text, layout, '>');
        }
        case 'r':
        case 'a': {
            std::string text = reprOf(value);
            if (layout.precision >= 0 && text.size() > static_cast<std::size_t>(layout.precision))
                text.resize(static_cast<std::size_t>(layout.precision));
            return padded("", text, layout, '>');
        }
        case 'c': {
            if (const auto* s = std::get_if<std::string>(&value.data)) {
                if (s->size() != 1) throw EvalError("%c requires int or char");
                return padded("", *s, layout, '>');
            }
            if (!isInt(value)) throw EvalError("%c requires int or char");
            Layout c = layout;
            c.type = 'c';
            return formatInt(bigOf(value), c, "c");
        }
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X':
        case 'o': {
            BigInt whole;
            if (isInt(value)) {
                whole = bigOf(value);
            } else if (const auto* d = std::get_if<double>(&value.data);
                       d && (type == 'd' || type == 'i' || type == 'u')) {
                if (!std::isfinite(*d))
                    throw EvalError("cannot convert float " + floatRepr(*d) + " to integer");
                whole = BigInt(std::trunc(*d));
            } else {
                throw EvalError(std::string("%") + type +
                                " format: a real number is required, not " + typeName(value));
            }
            const int base = type == 'o' ? 8 : type == 'x' || type == 'X' ? 16 : 10;
            std::string digits = digitsOf(abs(whole), base, type == 'X');
            if (layout.precision > static_cast<std::int64_t>(digits.size()))
                digits.insert(0, static_cast<std::size_t>(layout.precision) - digits.size(), '0');
            std::string prefix = signOf(whole < 0, layout.sign);
            if (layout.alternate && base != 10)
                prefix += std::string("0") + (type == 'X' ? 'X' : type == 'x' ? 'x' : 'o');
            return padded(prefix, digits, layout, '>');
        }
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G': {
            if (!isNumber(value))
                throw EvalError(std::string("must be real number, not ") + typeName(value));
            const double x = asDouble(value);
            const std::string body =
                cFloat(x, type, static_cast<int>(layout.precision < 0 ? 6 : layout.precision),
                       layout.alternate);
            return padded(signOf(std::signbit(x) && !std::isnan(x), layout.sign), body, layout,
                          '>');
        }
        default:
            throw EvalError(std::string("unsupported format character '") + type + "'");
    }
}

}  // namespace

std::string percentFormat(Context& context, const std::string& format, const Value& values) {
    (void)context;
    List args;
    const Dict* mapping = std::holds_alternative<std::shared_ptr<Dict>>(values.data)
                              ? std::get<std::shared_ptr<Dict>>(values.data).get()
                              : nullptr;
    if (const auto* t = std::get_if<std::shared_ptr<Tuple>>(&values.data))
        args = (*t)->items;
    else
        args.push_back(values);
    std::size_t next = 0;
    const auto nextArg = [&]() -> const Value& {
        if (next >= args.size()) throw EvalError("not enough arguments for format string");
        return args[next++];
    };
    std::string out;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out += format[i];
            continue;
        }
        if (++i >= format.size()) throw EvalError("incomplete format");
        const Value* value = nullptr;
        if (format[i] == '(') {
            const auto close = format.find(')', i);
            if (close == std::string::npos) throw EvalError("incomplete format key");
            if (!mapping) throw EvalError("format requires a mapping");
            const std::string key = format.substr(i + 1, close - i - 1);
            for (const auto& [k, v] : mapping->items)
                if (const auto* s = std::get_if<std::string>(&k.data); s && *s == key) value = &v;
            if (!value) throw EvalError("KeyError: " + quotedText(key));
            i = close + 1;
        }
        Layout layout;
        layout.zero = false;
        for (; i < format.size() &&
               std::string_view("-+ #0").find(format[i]) != std::string_view::npos;
             ++i) {
            switch (format[i]) {
                case '-':
                    layout.align = '<';
                    break;
                case '+':
                    layout.sign = '+';
                    break;
                case ' ':
                    if (layout.sign != '+') layout.sign = ' ';
                    break;
                case '#':
                    layout.alternate = true;
                    break;
                default:
                    layout.zero = true;
                    break;
            }
        }
        const auto count = [&](std::int64_t& into) {
            if (i < format.size() && format[i] == '*') {
                ++i;
                const Value& n = nextArg();
                if (!isInt(n)) throw EvalError("* wants int");
                into = asInt(n);
                if (into < 0) {
                    layout.align = '<';
                    into = -into;
                }
                if (into > maxFieldSize) throw EvalError("width too big");
            } else {
                into = number(format, i);
            }
        };
        count(layout.width);
        if (i < format.size() && format[i] == '.') {
            ++i;
            count(layout.precision);
            if (layout.precision < 0) layout.precision = 0;
        }
        while (i < format.size() && (format[i] == 'l' || format[i] == 'h' || format[i] == 'L')) ++i;
        if (i >= format.size()) throw EvalError("incomplete format");
        const char type = format[i];
        if (type == '%') {
            out += '%';
            continue;
        }
        if (layout.align == '<') layout.zero = false;
        const bool numeric = std::string_view("diuxXoeEfFgG").find(type) != std::string_view::npos;
        if (!numeric) layout.zero = false;
        out += percentField(value ? *value : nextArg(), type, layout);
        if (out.size() > 10'000'000) throw EvalError("formatted text too long");
    }
    if (next < args.size() && !mapping)
        throw EvalError("not all arguments converted during string formatting");
    return out;
}

std::string formatText(const std::string& pattern, const Arguments& args) {
    std::string out;
    std::size_t next = 0;
    bool automatic = false, manual = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if ((c == '{' || c == '}') && i + 1 < pattern.size() && pattern[i + 1] == c) {
            out += c;
            ++i;
            continue;
        }
        if (c == '}') throw EvalError("Single '}' encountered in format string");
        if (c != '{') {
            out += c;
            continue;
        }
        const auto close = pattern.find('}', i);
        if (close == std::string::npos) throw EvalError("Single '{' encountered in format string");
        const std::string field = pattern.substr(i + 1, close - i - 1);
        if (field.find('{') != std::string::npos)
            throw EvalError("nested format fields are not supported");
        const auto colon = field.find(':');
        std::string key = field.substr(0, colon);
        const std::string layout = colon == std::string::npos ? "" : field.substr(colon + 1);
        char conversion = 0;
        if (const auto bang = key.find('!'); bang != std::string::npos) {
            if (bang + 2 != key.size()) throw EvalError("expected ':' after conversion specifier");
            conversion = key[bang + 1];
            key.resize(bang);
        }
        // the first part names the argument; attributes and indexes after it are not read
        const auto end = key.find_first_of(".[");
        if (end != std::string::npos)
            throw EvalError("format fields with '.' or '[' are not supported");
        const Value* value = nullptr;
        if (key.empty()) {
            if (manual)
                throw EvalError(
                    "cannot switch from manual field specification to automatic field numbering");
            automatic = true;
            if (next >= args.positional.size())
                throw EvalError("Replacement index " + std::to_string(next) +
                                " out of range for positional args tuple");
            value = &args.positional[next++];
        } else if (key.find_first_not_of("0123456789") == std::string::npos) {
            if (automatic)
                throw EvalError(
                    "cannot switch from automatic field numbering to manual field specification");
            manual = true;
            const std::size_t index = key.size() > 6 ? args.positional.size() : std::stoul(key);
            if (index >= args.positional.size())
                throw EvalError("Replacement index " + key +
                                " out of range for positional args tuple");
            value = &args.positional[index];
        } else {
            for (const auto& [name, v] : args.keywords)
                if (name == key) value = &v;
            if (!value) throw EvalError("KeyError: " + quotedText(key));
        }
        if (conversion == 's' || conversion == 'r' || conversion == 'a')
            out += formatValue(Value{conversion == 's' ? strOf(*value) : reprOf(*value)}, layout);
        else if (conversion)
            throw EvalError(std::string("Unknown conversion specifier ") + conversion);
        else
            out += formatValue(*value, layout);
        if (out.size() > 10'000'000) throw EvalError("formatted text too long");
        i = close;
    }
    return out;
}

}  // namespace corvane::xacro
