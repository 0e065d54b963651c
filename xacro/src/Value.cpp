#include "Value.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace corvane::xacro {

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

const Value* Arguments::find(std::size_t i, std::string_view name) const {
    if (i < positional.size()) return &positional[i];
    for (const auto& [key, value] : keywords)
        if (key == name) return &value;
    return nullptr;
}

std::int64_t Range::size() const {
    // computed one size wider: range(-2**63, 2**63 - 1) has more items than 63 bits count
    __extension__ typedef __int128 Wide;
    const Wide span = step > 0 ? Wide{stop} - start : Wide{start} - stop;
    const Wide by = step > 0 ? Wide{step} : -Wide{step};
    if (span <= 0) return 0;
    const Wide count = (span + by - 1) / by;
    return count > std::numeric_limits<std::int64_t>::max()
               ? std::numeric_limits<std::int64_t>::max()
               : static_cast<std::int64_t>(count);
}

Value makeList(List items) {
    return Value{std::make_shared<List>(std::move(items))};
}
Value makeTuple(List items) {
    return Value{std::make_shared<Tuple>(Tuple{std::move(items)})};
}
Value makeInt(const BigInt& value) {
    if (value >= std::numeric_limits<std::int64_t>::min() &&
        value <= std::numeric_limits<std::int64_t>::max())
        return Value{static_cast<std::int64_t>(value)};
    return Value{std::make_shared<const BigInt>(value)};
}

std::string typeName(const Value& value) {
    static constexpr const char* names[] = {
        "NoneType", "bool", "int", "int",   "float", "complex",   "str", "list",
        "tuple",    "dict", "set", "range", "slice", "dict_keys", "",    ""};
    if (const auto* s = std::get_if<std::shared_ptr<Set>>(&value.data))
        return (*s)->frozen ? "frozenset" : "set";
    if (const auto* v = std::get_if<DictView>(&value.data))
        return v->kind == DictView::Kind::Keys     ? "dict_keys"
               : v->kind == DictView::Kind::Values ? "dict_values"
                                                   : "dict_items";
    if (const auto* i = std::get_if<std::shared_ptr<Iterator>>(&value.data))
        return (*i)->typeName();
    if (const auto* f = std::get_if<std::shared_ptr<const Callable>>(&value.data))
        return (*f)->typeName();
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

std::string utf8Of(std::uint32_t code) {
    std::string out;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
    return out;
}

std::string addressOf(const void* object) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%p", object);
    return buffer;
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

std::string complexPart(double x) {
    if (x == std::floor(x) && std::fabs(x) < 1e16) {
        std::string text = floatRepr(x);
        return text.substr(0, text.size() - 2);  // Python writes 1j, not 1.0j
    }
    return floatRepr(x);
}

std::string complexRepr(std::complex<double> z) {
    if (z.real() == 0 && !std::signbit(z.real())) return complexPart(z.imag()) + "j";
    const std::string imag = complexPart(z.imag());
    return "(" + complexPart(z.real()) + (imag[0] == '-' || imag == "nan" ? "" : "+") +
           (imag == "nan" ? "+nan" : imag) + "j)";
}

std::string dictText(const Dict& dict) {
    std::string text = "{";
    for (std::size_t i = 0; i < dict.items.size(); ++i) {
        if (i) text += ", ";
        text += reprOf(dict.items[i].first) + ": " + reprOf(dict.items[i].second);
    }
    return text + "}";
}

std::string viewText(const DictView& view) {
    List items;
    for (const auto& [k, v] : view.dict->items)
        items.push_back(view.kind == DictView::Kind::Keys     ? k
                        : view.kind == DictView::Kind::Values ? v
                                                              : makeTuple({k, v}));
    return typeName(Value{view}) + "(" + joined(items, "[", "]", false) + ")";
}

std::string setText(const Set& set) {
    const std::string name = set.frozen ? "frozenset" : "set";
    if (set.items.empty()) return name + "()";
    const std::string items = joined(set.items, "{", "}", false);
    return set.frozen ? "frozenset(" + items + ")" : items;
}

}  // namespace

// Python's repr of a str: single quotes unless the text holds one and no double quote,
// backslash escapes for the quote, the backslash and the characters that do not print.
std::string quotedText(std::string_view text) {
    const char quote =
        text.find('\'') != std::string::npos && text.find('"') == std::string::npos ? '"' : '\'';
    std::string out(1, quote);
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\' || c == quote) {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (u < 0x20 || u == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", u);
            out += hex;
        } else {
            out += c;
        }
    }
    return out + quote;
}

std::string reprOf(const Value& value) {
    if (const auto* text = std::get_if<std::string>(&value.data)) return quotedText(*text);
    return strOf(value);
}

std::string strOf(const Value& value) {
    struct Printer {
        std::string operator()(None) const { return "None"; }
        std::string operator()(bool b) const { return b ? "True" : "False"; }
        std::string operator()(std::int64_t i) const { return std::to_string(i); }
        std::string operator()(const std::shared_ptr<const BigInt>& i) const {
            // Python refuses to write an int of more than 4300 digits (its limit against
            // quadratic conversions); 14,000 bits are always fewer
            if (msb(abs(*i)) > 14'000) {
                std::string text = i->str();
                if (text.size() - (*i < 0 ? 1 : 0) > 4300)
                    throw EvalError(
                        "Exceeds the limit (4300 digits) for integer string conversion");
                return text;
            }
            return i->str();
        }
        std::string operator()(double d) const { return floatRepr(d); }
        std::string operator()(std::complex<double> z) const { return complexRepr(z); }
        std::string operator()(const std::string& s) const { return s; }
        std::string operator()(const std::shared_ptr<List>& l) const {
            return joined(*l, "[", "]", false);
        }
        std::string operator()(const std::shared_ptr<Tuple>& t) const {
            return joined(t->items, "(", ")", true);
        }
        std::string operator()(const std::shared_ptr<Dict>& d) const { return dictText(*d); }
        std::string operator()(const std::shared_ptr<Set>& s) const { return setText(*s); }
        std::string operator()(const Range& r) const {
            return "range(" + std::to_string(r.start) + ", " + std::to_string(r.stop) +
                   (r.step == 1 ? "" : ", " + std::to_string(r.step)) + ")";
        }
        std::string operator()(const std::shared_ptr<Slice>& s) const {
            return "slice(" + reprOf(s->start) + ", " + reprOf(s->stop) + ", " + reprOf(s->step) +
                   ")";
        }
        std::string operator()(const DictView& v) const { return viewText(v); }
        std::string operator()(const std::shared_ptr<Iterator>& i) const {
            return "<" + i->typeName() + " object at " + addressOf(i.get()) + ">";
        }
        std::string operator()(const std::shared_ptr<const Callable>& f) const {
            return f->shown();
        }
    };
    return std::visit(Printer{}, value.data);
}

bool truthOf(const Value& value) {
    struct Truth {
        bool operator()(None) const { return false; }
        bool operator()(bool b) const { return b; }
        bool operator()(std::int64_t i) const { return i != 0; }
        bool operator()(const std::shared_ptr<const BigInt>&) const { return true; }
        bool operator()(double d) const { return d != 0.0; }
        bool operator()(std::complex<double> z) const { return z != 0.0; }
        bool operator()(const std::string& s) const { return !s.empty(); }
        bool operator()(const std::shared_ptr<List>& l) const { return !l->empty(); }
        bool operator()(const std::shared_ptr<Tuple>& t) const { return !t->items.empty(); }
        bool operator()(const std::shared_ptr<Dict>& d) const { return !d->items.empty(); }
        bool operator()(const std::shared_ptr<Set>& s) const { return !s->items.empty(); }
        bool operator()(const Range& r) const { return r.size() != 0; }
        bool operator()(const std::shared_ptr<Slice>&) const { return true; }
        bool operator()(const DictView& v) const { return !v.dict->items.empty(); }
        bool operator()(const std::shared_ptr<Iterator>&) const { return true; }
        bool operator()(const std::shared_ptr<const Callable>&) const { return true; }
    };
    return std::visit(Truth{}, value.data);
}

bool isNumber(const Value& value) {
    return std::holds_alternative<bool>(value.data) ||
           std::holds_alternative<std::int64_t>(value.data) ||
           std::holds_alternative<std::shared_ptr<const BigInt>>(value.data) ||
           std::holds_alternative<double>(value.data);
}

double asDouble(const Value& value) {
    if (const auto* b = std::get_if<bool>(&value.data)) return *b ? 1.0 : 0.0;
    if (const auto* i = std::get_if<std::int64_t>(&value.data)) return static_cast<double>(*i);
    if (const auto* d = std::get_if<double>(&value.data)) return *d;
    if (const auto* big = std::get_if<std::shared_ptr<const BigInt>>(&value.data)) {
        const double d = doubleOf(**big);
        if (std::isinf(d)) throw EvalError("int too large to convert to float");
        return d;
    }
    throw EvalError("must be real number, not " + typeName(value));
}

bool isInt(const Value& value) {
    return std::holds_alternative<std::int64_t>(value.data) ||
           std::holds_alternative<bool>(value.data) ||
           std::holds_alternative<std::shared_ptr<const BigInt>>(value.data);
}

// Where Python wants an integer (a count, an index, a bound), any other value is its TypeError.
std::int64_t asInt(const Value& value) {
    if (const auto* b = std::get_if<bool>(&value.data)) return *b ? 1 : 0;
    if (const auto* i = std::get_if<std::int64_t>(&value.data)) return *i;
    if (std::holds_alternative<std::shared_ptr<const BigInt>>(value.data))
        throw EvalError("Python int too large to convert to C ssize_t");
    throw EvalError("'" + typeName(value) + "' object cannot be interpreted as an integer");
}

double doubleOf(const BigInt& n) {
    if (n == 0) return 0.0;
    const BigInt a = abs(n);
    const auto bits = static_cast<unsigned>(msb(a)) + 1;
    const double sign = n < 0 ? -1.0 : 1.0;
    if (bits <= 64) return sign * static_cast<double>(static_cast<std::uint64_t>(a));
    // the top 64 bits, with any bit below them folded into the last one: rounding 64 bits to
    // 53 then decides ties as rounding all of them would
    const unsigned shift = bits - 64;
    auto top = static_cast<std::uint64_t>(a >> shift);
    if ((a & ((BigInt(1) << shift) - 1)) != 0) top |= 1;
    if (shift > 2000) return sign * std::numeric_limits<double>::infinity();
    return sign * std::ldexp(static_cast<double>(top), static_cast<int>(shift));
}

BigInt bigOf(const Value& value) {
    if (const auto* big = std::get_if<std::shared_ptr<const BigInt>>(&value.data)) return **big;
    return BigInt(asInt(value));
}

namespace {

const List* itemsOf(const Value& value) {
    if (const auto* l = std::get_if<std::shared_ptr<List>>(&value.data)) return l->get();
    if (const auto* t = std::get_if<std::shared_ptr<Tuple>>(&value.data)) return &(*t)->items;
    return nullptr;
}

// An int against a float, exactly as Python compares them (a float beyond 2**53 is no
// rounded int).
int orderIntFloat(const BigInt& i, double d) {
    if (std::isinf(d)) return d > 0 ? -1 : 1;
    const double whole = std::floor(d);
    const BigInt floor(whole);
    if (i < floor) return -1;
    if (i > floor) return 1;
    return whole == d ? 0 : -1;
}

std::optional<int> orderNumbers(const Value& a, const Value& b) {
    const bool fa = std::holds_alternative<double>(a.data);
    const bool fb = std::holds_alternative<double>(b.data);
    if (fa && fb) {
        const double x = std::get<double>(a.data), y = std::get<double>(b.data);
        if (std::isnan(x) || std::isnan(y)) return std::nullopt;
        return x < y ? -1 : x > y ? 1 : 0;
    }
    if (fa || fb) {
        const double d = std::get<double>((fa ? a : b).data);
        if (std::isnan(d)) return std::nullopt;
        const int order = orderIntFloat(bigOf(fa ? b : a), d);
        return fa ? -order : order;
    }
    if (!std::holds_alternative<std::shared_ptr<const BigInt>>(a.data) &&
        !std::holds_alternative<std::shared_ptr<const BigInt>>(b.data)) {
        const std::int64_t x = asInt(a), y = asInt(b);
        return x < y ? -1 : x > y ? 1 : 0;
    }
    const BigInt x = bigOf(a), y = bigOf(b);
    return x < y ? -1 : x > y ? 1 : 0;
}

bool dictsEqual(const Dict& a, const Dict& b) {
    if (a.items.size() != b.items.size()) return false;
    for (const auto& item : a.items) {
        const auto found = std::find_if(b.items.begin(), b.items.end(), [&](const auto& other) {
            return equalValues(other.first, item.first);
        });
        if (found == b.items.end() || !equalValues(found->second, item.second)) return false;
    }
    return true;
}

bool setsEqual(const List& a, const List& b) {
    if (a.size() != b.size()) return false;
    for (const Value& v : a)
        if (std::none_of(b.begin(), b.end(), [&](const Value& w) { return equalValues(v, w); }))
            return false;
    return true;
}

std::complex<double> complexOf(const Value& value) {
    if (const auto* z = std::get_if<std::complex<double>>(&value.data)) return *z;
    return {asDouble(value), 0.0};
}

struct SameValue {
    const Value& other;
    bool operator()(None) const { return true; }
    bool operator()(const std::string& s) const { return s == std::get<std::string>(other.data); }
    bool operator()(const std::shared_ptr<Dict>& d) const {
        return dictsEqual(*d, *std::get<std::shared_ptr<Dict>>(other.data));
    }
    bool operator()(const Range& r) const {
        const Range& o = std::get<Range>(other.data);
        const std::int64_t n = r.size();
        if (n != o.size()) return false;
        return n == 0 || (r.start == o.start && (n == 1 || r.step == o.step));
    }
    bool operator()(const std::shared_ptr<Slice>& s) const {
        const Slice& o = *std::get<std::shared_ptr<Slice>>(other.data);
        return equalValues(s->start, o.start) && equalValues(s->stop, o.stop) &&
               equalValues(s->step, o.step);
    }
    bool operator()(const DictView& v) const {
        const DictView& o = std::get<DictView>(other.data);
        if (v.kind != o.kind) return false;
        if (v.kind == DictView::Kind::Values) return false;
        return v.dict->items.size() == o.dict->items.size() &&
               (v.kind == DictView::Kind::Keys ? setsEqual(strOfKeys(v), strOfKeys(o))
                                               : dictsEqual(*v.dict, *o.dict));
    }
    static List strOfKeys(const DictView& v) {
        List keys;
        for (const auto& item : v.dict->items) keys.push_back(item.first);
        return keys;
    }
    bool operator()(const std::shared_ptr<const Callable>& f) const {
        const auto& g = std::get<std::shared_ptr<const Callable>>(other.data);
        return f == g ||
               (f->shown() == g->shown() && f->shown().find(" at 0x") == std::string::npos);
    }
    bool operator()(const std::shared_ptr<Iterator>& i) const {
        return i == std::get<std::shared_ptr<Iterator>>(other.data);
    }
    template <typename T>
    bool operator()(const T&) const {
        return false;
    }
};

struct SameObject {
    const Value& other;
    bool operator()(None) const { return true; }
    bool operator()(bool x) const { return x == std::get<bool>(other.data); }
    bool operator()(std::int64_t x) const {
        return x == std::get<std::int64_t>(other.data) && x >= -5 && x <= 256;
    }
    bool operator()(const std::string& s) const {
        return s.empty() && std::get<std::string>(other.data).empty();
    }
    bool operator()(const std::shared_ptr<const Callable>& f) const {
        const auto& g = std::get<std::shared_ptr<const Callable>>(other.data);
        return f == g || (f->typeName() == "type" && f->shown() == g->shown());
    }
    bool operator()(const DictView&) const { return false; }
    bool operator()(const Range&) const { return false; }
    bool operator()(double) const { return false; }
    bool operator()(std::complex<double>) const { return false; }
    template <typename T>
    bool operator()(const T& p) const {
        return p == std::get<T>(other.data);
    }
};

}  // namespace

bool equalValues(const Value& a, const Value& b) {
    if (isNumber(a) && isNumber(b)) return orderNumbers(a, b) == 0;
    const bool za = std::holds_alternative<std::complex<double>>(a.data);
    const bool zb = std::holds_alternative<std::complex<double>>(b.data);
    if ((za || zb) && (za || isNumber(a)) && (zb || isNumber(b)))
        return complexOf(a) == complexOf(b);
    const List* left = itemsOf(a);
    const List* right = itemsOf(b);
    if (left && right) {
        if (a.data.index() != b.data.index() || left->size() != right->size()) return false;
        for (std::size_t i = 0; i < left->size(); ++i)
            if (!identical((*left)[i], (*right)[i]) && !equalValues((*left)[i], (*right)[i]))
                return false;
        return true;
    }
    const auto* sa = std::get_if<std::shared_ptr<Set>>(&a.data);
    const auto* sb = std::get_if<std::shared_ptr<Set>>(&b.data);
    if (sa && sb) return setsEqual((*sa)->items, (*sb)->items);
    if (a.data.index() != b.data.index()) return false;
    return std::visit(SameValue{b}, a.data);
}

// `is`: the same object. None, the bools and the small ints Python keeps once are the same
// wherever they are made.
bool identical(const Value& a, const Value& b) {
    if (a.data.index() != b.data.index()) return false;
    return std::visit(SameObject{b}, a.data);
}

std::optional<int> orderOf(const Value& a, const Value& b, const std::string& op) {
    if (isNumber(a) && isNumber(b)) return orderNumbers(a, b);
    const auto* sa = std::get_if<std::string>(&a.data);
    const auto* sb = std::get_if<std::string>(&b.data);
    if (sa && sb) {
        const int order = sa->compare(*sb);
        return order < 0 ? -1 : order > 0 ? 1 : 0;
    }
    const auto* xa = std::get_if<std::shared_ptr<Slice>>(&a.data);
    const auto* xb = std::get_if<std::shared_ptr<Slice>>(&b.data);
    if (xa && xb)  // slices are in the order of their (start, stop, step)
        return orderOf(makeTuple({(*xa)->start, (*xa)->stop, (*xa)->step}),
                       makeTuple({(*xb)->start, (*xb)->stop, (*xb)->step}), op);
    const List* la = itemsOf(a);
    const List* lb = itemsOf(b);
    if (la && lb && a.data.index() == b.data.index()) {
        for (std::size_t i = 0; i < std::min(la->size(), lb->size()); ++i) {
            if (identical((*la)[i], (*lb)[i]) || equalValues((*la)[i], (*lb)[i])) continue;
            return orderOf((*la)[i], (*lb)[i], op);
        }
        return la->size() < lb->size() ? -1 : la->size() > lb->size() ? 1 : 0;
    }
    throw EvalError("'" + op + "' not supported between instances of '" + typeName(a) + "' and '" +
                    typeName(b) + "'");
}

bool contains(Context& context, const Value& container, const Value& item) {
    if (const auto* s = std::get_if<std::string>(&container.data)) {
        const auto* part = std::get_if<std::string>(&item.data);
        if (!part)
            throw EvalError("'in <string>' requires string as left operand, not " + typeName(item));
        return s->find(*part) != std::string::npos;
    }
    if (const auto* r = std::get_if<Range>(&container.data)) {
        if (std::holds_alternative<std::int64_t>(item.data) ||
            std::holds_alternative<bool>(item.data)) {
            const std::int64_t i = asInt(item);
            const std::int64_t n = r->size();
            if (n == 0) return false;
            __extension__ typedef __int128 Wide;
            const Wide offset = static_cast<Wide>(i) - r->start;
            return offset % r->step == 0 && offset / r->step >= 0 && offset / r->step < n;
        }
    }
    if (const auto* d = std::get_if<std::shared_ptr<Dict>>(&container.data)) {
        requireHashable(item);
        for (const auto& [k, v] : (*d)->items)
            if (equalValues(k, item)) return true;
        return false;
    }
    if (std::holds_alternative<std::shared_ptr<Set>>(container.data)) requireHashable(item);
    bool found = false;
    forEachItem(context, container, [&](const Value& v) {
        found = identical(v, item) || equalValues(v, item);
        return !found;
    });
    return found;
}

namespace {

constexpr std::uint64_t hashModulus = (std::uint64_t{1} << 61) - 1;

std::int64_t finalHash(std::int64_t h) {
    return h == -1 ? -2 : h;
}

std::int64_t hashOfBig(const BigInt& i) {
    const BigInt r = abs(i) % hashModulus;
    const auto h = static_cast<std::int64_t>(r);
    return finalHash(i < 0 ? -h : h);
}

// Python's hash of a float: its value modulo 2**61 - 1, so that a float equal to an int hashes
// alike.
std::int64_t hashOfFloat(double x) {
    if (std::isinf(x)) return x > 0 ? 314159 : -314159;
    if (std::isnan(x)) return 0;
    int e = 0;
    double m = std::frexp(x, &e);
    int sign = 1;
    if (m < 0) {
        sign = -1;
        m = -m;
    }
    std::uint64_t h = 0;
    while (m != 0) {
        h = ((h << 28) & hashModulus) | h >> (61 - 28);
        m *= 268435456.0;
        e -= 28;
        const auto y = static_cast<std::uint64_t>(m);
        m -= static_cast<double>(y);
        h += y;
        if (h >= hashModulus) h -= hashModulus;
    }
    e = e >= 0 ? e % 61 : 61 - 1 - ((-1 - e) % 61);
    h = ((h << e) & hashModulus) | h >> (61 - e);
    return finalHash(static_cast<std::int64_t>(h) * sign);
}

std::int64_t hashOfText(std::string_view text) {
    std::uint64_t h = 1469598103934665603ull;  // FNV-1a: Python's own is salted per process
    for (const char c : text) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return finalHash(static_cast<std::int64_t>(h >> 1));
}

std::int64_t hashOfItems(const List& items) {
    constexpr std::uint64_t prime1 = 11400714785074694791ull;
    constexpr std::uint64_t prime2 = 14029467366897019727ull;
    constexpr std::uint64_t prime5 = 2870177450012600261ull;
    std::uint64_t acc = prime5;
    for (const Value& item : items) {
        acc += static_cast<std::uint64_t>(hashOf(item)) * prime2;
        acc = (acc << 31) | (acc >> 33);
        acc *= prime1;
    }
    acc += items.size() ^ (prime5 ^ 3527539ull);
    if (acc == static_cast<std::uint64_t>(-1)) return 1546275796;
    return static_cast<std::int64_t>(acc);
}

}  // namespace

void requireHashable(const Value& value) {
    hashOf(value);
}

std::int64_t hashOf(const Value& value) {
    if (const auto* b = std::get_if<bool>(&value.data)) return *b ? 1 : 0;
    if (const auto* i = std::get_if<std::int64_t>(&value.data)) return hashOfBig(BigInt(*i));
    if (const auto* big = std::get_if<std::shared_ptr<const BigInt>>(&value.data))
        return hashOfBig(**big);
    if (const auto* d = std::get_if<double>(&value.data)) return hashOfFloat(*d);
    if (const auto* s = std::get_if<std::string>(&value.data)) return hashOfText(*s);
    if (const auto* t = std::get_if<std::shared_ptr<Tuple>>(&value.data))
        return hashOfItems((*t)->items);
    if (const auto* s = std::get_if<std::shared_ptr<Set>>(&value.data); s && (*s)->frozen)
        return hashOfItems((*s)->items);
    if (std::holds_alternative<std::shared_ptr<List>>(value.data) ||
        std::holds_alternative<std::shared_ptr<Dict>>(value.data) ||
        std::holds_alternative<std::shared_ptr<Set>>(value.data) ||
        std::holds_alternative<DictView>(value.data) ||
        std::holds_alternative<std::shared_ptr<Slice>>(value.data))
        throw EvalError("unhashable type: '" + typeName(value) + "'");
    if (const auto* z = std::get_if<std::complex<double>>(&value.data))
        return finalHash(hashOfFloat(z->real()) + 1000003 * hashOfFloat(z->imag()));
    return hashOfText(strOf(value));
}

namespace {

// The items of a sequence, one at a time; the sequence is read as it is at each step, as
// Python's list iterator does.
class SequenceIterator : public Iterator {
  public:
    explicit SequenceIterator(Value sequence) : sequence_(std::move(sequence)) {}
    std::optional<Value> next(Context& context) override {
        std::optional<Value> item = at(next_);
        if (item) {
            ++next_;
            context.countItems();
        }
        return item;
    }
    std::string typeName() const override {
        return xacro::typeName(sequence_) == "str" ? "str_ascii_iterator"
                                                   : xacro::typeName(sequence_) + "_iterator";
    }
    std::optional<std::size_t> itemsLeft() const override {
        const std::optional<std::size_t> all = itemsIn(sequence_);
        if (!all) return std::nullopt;
        return *all > next_ ? *all - next_ : 0;
    }

  private:
    std::optional<Value> at(std::size_t i) const {
        if (const List* items = itemsOf(sequence_)) {
            if (i < items->size()) return (*items)[i];
            return std::nullopt;
        }
        if (const auto* s = std::get_if<std::string>(&sequence_.data)) {
            if (i < s->size()) return Value{std::string(1, (*s)[i])};
            return std::nullopt;
        }
        if (const auto* r = std::get_if<Range>(&sequence_.data)) {
            if (static_cast<std::int64_t>(i) < r->size())
                return Value{r->at(static_cast<std::int64_t>(i))};
            return std::nullopt;
        }
        if (const auto* s = std::get_if<std::shared_ptr<Set>>(&sequence_.data)) {
            if (i < (*s)->items.size()) return (*s)->items[i];
            return std::nullopt;
        }
        const auto* d = std::get_if<std::shared_ptr<Dict>>(&sequence_.data);
        const auto* v = std::get_if<DictView>(&sequence_.data);
        const Dict& dict = d ? **d : *v->dict;
        if (i >= dict.items.size()) return std::nullopt;
        const auto& [key, value] = dict.items[i];
        if (!v || v->kind == DictView::Kind::Keys) return key;
        if (v->kind == DictView::Kind::Values) return value;
        return makeTuple({key, value});
    }

    Value sequence_;
    std::size_t next_ = 0;
};

}  // namespace

std::shared_ptr<Iterator> iteratorOf(const Value& value) {
    if (const auto* i = std::get_if<std::shared_ptr<Iterator>>(&value.data)) return *i;
    if (itemsOf(value) || std::holds_alternative<std::string>(value.data) ||
        std::holds_alternative<Range>(value.data) ||
        std::holds_alternative<std::shared_ptr<Set>>(value.data) ||
        std::holds_alternative<std::shared_ptr<Dict>>(value.data) ||
        std::holds_alternative<DictView>(value.data))
        return std::make_shared<SequenceIterator>(value);
    throw EvalError("'" + typeName(value) + "' object is not iterable");
}

void forEachItem(Context& context, const Value& value,
                 const std::function<bool(const Value&)>& body) {
    const std::shared_ptr<Iterator> items = iteratorOf(value);
    while (std::optional<Value> item = items->next(context))
        if (!body(*item)) return;
}

std::optional<std::size_t> itemsIn(const Value& value) {
    if (const List* items = itemsOf(value)) return items->size();
    if (const auto* s = std::get_if<std::string>(&value.data)) return s->size();
    if (const auto* r = std::get_if<Range>(&value.data)) return static_cast<std::size_t>(r->size());
    if (const auto* s = std::get_if<std::shared_ptr<Set>>(&value.data)) return (*s)->items.size();
    if (const auto* d = std::get_if<std::shared_ptr<Dict>>(&value.data)) return (*d)->items.size();
    if (const auto* v = std::get_if<DictView>(&value.data)) return v->dict->items.size();
    if (const auto* i = std::get_if<std::shared_ptr<Iterator>>(&value.data))
        return (*i)->itemsLeft();
    return std::nullopt;
}

void expectAllItems(Context& context, const Value& value) {
    if (const std::optional<std::size_t> count = itemsIn(value)) context.expectItems(*count);
}

List itemsOfIterable(Context& context, const Value& value) {
    expectAllItems(context, value);
    List items;
    if (const List* sequence = itemsOf(value)) {
        context.countItems(sequence->size());
        return *sequence;
    }
    forEachItem(context, value, [&](const Value& item) {
        items.push_back(item);
        return true;
    });
    return items;
}

}  // namespace corvane::xacro
