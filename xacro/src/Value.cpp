#include "Value.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace corvane::xacro {

Value makeList(List items) {
    return Value{std::make_shared<List>(std::move(items))};
}
Value makeTuple(List items) {
    return Value{std::make_shared<Tuple>(Tuple{std::move(items)})};
}

std::string typeName(const Value& value) {
    static constexpr const char* names[] = {"NoneType", "bool", "int",
                                            "float",    "str",  "list",
                                            "tuple",    "dict", "builtin_function_or_method"};
    return names[value.data.index()];
}

// Python prints the shortest text that reads back as the same float, in positional form for
// exponents from -5 to 15 and as d.ddde+XX otherwise; a whole number keeps ".0".
std::string floatRepr(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    const std::string sci(buffer, result.ptr);
    const auto e = sci.find('e');
    std::string mantissa = sci.substr(0, e);
    const int exponent = std::stoi(sci.substr(e + 1));
    const bool negative = mantissa[0] == '-';
    if (negative) mantissa.erase(0, 1);
    std::string digits;
    for (const char c : mantissa)
        if (c != '.') digits += c;
    std::string text;
    if (exponent < -4 || exponent >= 16) {
        text = digits.substr(0, 1);
        if (digits.size() > 1) {
            text += '.';
            text.append(digits, 1);
        }
        char exp[16];
        std::snprintf(exp, sizeof exp, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        text += exp;
    } else if (exponent < 0) {
        text = "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    } else {
        const auto whole = static_cast<std::size_t>(exponent + 1);
        if (digits.size() <= whole)
            text = digits + std::string(whole - digits.size(), '0') + ".0";
        else
            text = digits.substr(0, whole) + "." + digits.substr(whole);
    }
    return negative ? "-" + text : text;
}

namespace {
std::string joined(const List& items, const char* open, const char* close, bool tuple) {
    std::string text = open;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) text += ", ";
        text += reprOf(items[i]);
    }
    if (tuple && items.size() == 1) text += ",";
    return text + close;
}

std::string quoted(const std::string& text) {
    const char quote =
        text.find('\'') != std::string::npos && text.find('"') == std::string::npos ? '"' : '\'';
    std::string out(1, quote);
    for (const char c : text) {
        if (c == '\\' || c == quote) out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + quote;
}
}  // namespace

std::string reprOf(const Value& value) {
    if (const auto* text = std::get_if<std::string>(&value.data)) return quoted(*text);
    return strOf(value);
}

std::string strOf(const Value& value) {
    struct Printer {
        std::string operator()(None) const { return "None"; }
        std::string operator()(bool b) const { return b ? "True" : "False"; }
        std::string operator()(std::int64_t i) const { return std::to_string(i); }
        std::string operator()(double d) const { return floatRepr(d); }
        std::string operator()(const std::string& s) const { return s; }
        std::string operator()(const std::shared_ptr<List>& l) const {
            return joined(*l, "[", "]", false);
        }
        std::string operator()(const std::shared_ptr<Tuple>& t) const {
            return joined(t->items, "(", ")", true);
        }
        std::string operator()(const std::shared_ptr<Dict>& d) const {
            std::string text = "{";
            for (std::size_t i = 0; i < d->items.size(); ++i) {
                if (i) text += ", ";
                text += reprOf(d->items[i].first) + ": " + reprOf(d->items[i].second);
            }
            return text + "}";
        }
        std::string operator()(const Function& f) const {
            return "<built-in function " + f.name + ">";
        }
    };
    return std::visit(Printer{}, value.data);
}

bool truthOf(const Value& value) {
    struct Truth {
        bool operator()(None) const { return false; }
        bool operator()(bool b) const { return b; }
        bool operator()(std::int64_t i) const { return i != 0; }
        bool operator()(double d) const { return d != 0.0; }
        bool operator()(const std::string& s) const { return !s.empty(); }
        bool operator()(const std::shared_ptr<List>& l) const { return !l->empty(); }
        bool operator()(const std::shared_ptr<Tuple>& t) const { return !t->items.empty(); }
        bool operator()(const std::shared_ptr<Dict>& d) const { return !d->items.empty(); }
        bool operator()(const Function&) const { return true; }
    };
    return std::visit(Truth{}, value.data);
}

bool isNumber(const Value& value) {
    return std::holds_alternative<bool>(value.data) ||
           std::holds_alternative<std::int64_t>(value.data) ||
           std::holds_alternative<double>(value.data);
}

double asDouble(const Value& value) {
    if (const auto* b = std::get_if<bool>(&value.data)) return *b ? 1.0 : 0.0;
    if (const auto* i = std::get_if<std::int64_t>(&value.data)) return static_cast<double>(*i);
    if (const auto* d = std::get_if<double>(&value.data)) return *d;
    throw EvalError("a number is needed, not " + typeName(value));
}

bool isInt(const Value& value) {
    return std::holds_alternative<std::int64_t>(value.data) ||
           std::holds_alternative<bool>(value.data);
}

// Where Python wants an integer (a count, an index, a bound), any other value is its TypeError.
std::int64_t asInt(const Value& value) {
    if (const auto* b = std::get_if<bool>(&value.data)) return *b ? 1 : 0;
    if (const auto* i = std::get_if<std::int64_t>(&value.data)) return *i;
    throw EvalError("'" + typeName(value) + "' object cannot be interpreted as an integer");
}

namespace {
const List* itemsOf(const Value& value) {
    if (const auto* l = std::get_if<std::shared_ptr<List>>(&value.data)) return l->get();
    if (const auto* t = std::get_if<std::shared_ptr<Tuple>>(&value.data)) return &(*t)->items;
    return nullptr;
}
}  // namespace

bool equalValues(const Value& a, const Value& b) {
    if (isNumber(a) && isNumber(b)) return asDouble(a) == asDouble(b);
    if (a.data.index() != b.data.index()) return false;
    if (const auto* s = std::get_if<std::string>(&a.data))
        return *s == std::get<std::string>(b.data);
    if (std::holds_alternative<None>(a.data)) return true;
    const List* left = itemsOf(a);
    const List* right = itemsOf(b);
    if (left && right) {
        if (left->size() != right->size()) return false;
        for (std::size_t i = 0; i < left->size(); ++i)
            if (!equalValues((*left)[i], (*right)[i])) return false;
        return true;
    }
    return false;
}

int orderOf(const Value& a, const Value& b, const std::string& op) {
    if (isNumber(a) && isNumber(b)) {
        const double x = asDouble(a), y = asDouble(b);
        return x < y ? -1 : x > y ? 1 : 0;
    }
    const auto* sa = std::get_if<std::string>(&a.data);
    const auto* sb = std::get_if<std::string>(&b.data);
    if (sa && sb) return sa->compare(*sb);
    const List* la = itemsOf(a);
    const List* lb = itemsOf(b);
    if (la && lb && a.data.index() == b.data.index()) {
        for (std::size_t i = 0; i < std::min(la->size(), lb->size()); ++i)
            if (const int order = orderOf((*la)[i], (*lb)[i], op)) return order;
        return la->size() < lb->size() ? -1 : la->size() > lb->size() ? 1 : 0;
    }
    throw EvalError("'" + op + "' not supported between instances of '" + typeName(a) + "' and '" +
                    typeName(b) + "'");
}

bool contains(const Value& container, const Value& item) {
    if (const auto* s = std::get_if<std::string>(&container.data)) {
        const auto* part = std::get_if<std::string>(&item.data);
        if (!part)
            throw EvalError("'in <string>' requires string as left operand, not " + typeName(item));
        return s->find(*part) != std::string::npos;
    }
    if (const List* items = itemsOf(container)) {
        for (const Value& v : *items)
            if (equalValues(v, item)) return true;
        return false;
    }
    if (const auto* d = std::get_if<std::shared_ptr<Dict>>(&container.data)) {
        for (const auto& [k, v] : (*d)->items)
            if (equalValues(k, item)) return true;
        return false;
    }
    throw EvalError("argument of type '" + typeName(container) + "' is not iterable");
}

List itemsOfIterable(const Value& value) {
    if (const List* items = itemsOf(value)) return *items;
    if (const auto* s = std::get_if<std::string>(&value.data)) {
        List chars;
        for (const char c : *s) chars.push_back(Value{std::string(1, c)});
        return chars;
    }
    if (const auto* d = std::get_if<std::shared_ptr<Dict>>(&value.data)) {
        List keys;
        for (const auto& [k, v] : (*d)->items) keys.push_back(k);
        return keys;
    }
    throw EvalError("'" + typeName(value) + "' object is not iterable");
}

}  // namespace corvane::xacro
