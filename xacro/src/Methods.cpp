#include "Methods.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "Formatting.hpp"
#include "Operators.hpp"

namespace corvane::xacro {
namespace {

using Method = Value (*)(Context&, const Value& self, const Arguments& args);

// A method with its object: '_'.join, items.count.
class BoundMethod : public Callable {
  public:
    BoundMethod(Value self, std::string name, Method method)
        : self_(std::move(self)), name_(std::move(name)), method_(method) {}
    Value call(Context& context, Arguments args) const override {
        return method_(context, self_, args);
    }
    std::string typeName() const override { return "builtin_function_or_method"; }
    std::string shown() const override {
        return "<built-in method " + name_ + " of " + xacro::typeName(self_) + " object at " +
               addressOf(this) + ">";
    }

  private:
    Value self_;
    std::string name_;
    Method method_;
};

constexpr std::string_view whitespace = " \t\n\r\f\v";

const std::string& text(const std::string& name, const Value& value) {
    const auto* s = std::get_if<std::string>(&value.data);
    if (!s) throw EvalError(name + "() argument must be str, not " + typeName(value));
    return *s;
}
const Value& required(const std::string& name, const Arguments& args, std::size_t i,
                      std::string_view keyword = "") {
    const Value* value = args.find(i, keyword);
    if (!value) throw EvalError(name + "() is missing argument " + std::to_string(i + 1));
    return *value;
}
const std::string& self(const Value& value) {
    return std::get<std::string>(value.data);
}
bool isNone(const Value* v) {
    return !v || std::holds_alternative<None>(v->data);
}
std::int64_t intOrNone(const Value* v, std::int64_t fallback) {
    if (isNone(v)) return fallback;
    return asInt(*v);
}

// The bounds start and end of find, count, startswith, ... clamped as a slice's.
std::pair<std::size_t, std::size_t> bounds(const std::string& s, const Arguments& args,
                                           std::size_t first) {
    const auto size = static_cast<std::int64_t>(s.size());
    const auto clamp = [size](std::int64_t i, std::int64_t most) {
        if (i < 0) i += size;
        return static_cast<std::size_t>(std::clamp<std::int64_t>(i, 0, most));
    };
    // a start beyond the end finds nothing, not even an empty text
    const std::size_t start = clamp(intOrNone(args.find(first, "\x01"), 0), size + 1);
    const std::size_t end = clamp(intOrNone(args.find(first + 1, "\x01"), size), size);
    return {start, end};
}

Value strFind(const std::string& name, const Value& me, const Arguments& args, bool reverse,
              bool raise) {
    expectCount(name, args, 1, 3);
    const std::string& s = self(me);
    const std::string& part = text(name, args.positional[0]);
    const auto [start, end] = bounds(s, args, 1);
    std::size_t at = std::string::npos;
    if (start <= end && part.size() <= end - start) {
        const std::string_view window(s.data() + start, end - start);
        at = reverse ? window.rfind(part) : window.find(part);
    }
    if (at == std::string::npos) {
        if (raise) throw EvalError("substring not found");
        return Value{std::int64_t{-1}};
    }
    return Value{static_cast<std::int64_t>(at + start)};
}
Value strFindM(Context&, const Value& me, const Arguments& a) {
    return strFind("find", me, a, false, false);
}
Value strRfindM(Context&, const Value& me, const Arguments& a) {
    return strFind("rfind", me, a, true, false);
}
Value strIndexM(Context&, const Value& me, const Arguments& a) {
    return strFind("index", me, a, false, true);
}
Value strRindexM(Context&, const Value& me, const Arguments& a) {
    return strFind("rindex", me, a, true, true);
}

Value strCount(Context&, const Value& me, const Arguments& args) {
    expectCount("count", args, 1, 3);
    const std::string& s = self(me);
    const std::string& part = text("count", args.positional[0]);
    const auto [start, end] = bounds(s, args, 1);
    if (start > end) return Value{std::int64_t{0}};
    const std::string_view window(s.data() + start, end - start);
    if (part.empty()) return Value{static_cast<std::int64_t>(window.size() + 1)};
    std::int64_t count = 0;
    for (auto at = window.find(part); at != std::string::npos;
         at = window.find(part, at + part.size()))
        ++count;
    return Value{count};
}

Value affix(const Value& me, const Arguments& args, bool starts) {
    const std::string name = starts ? "startswith" : "endswith";
    expectCount(name, args, 1, 3);
    const std::string& s = self(me);
    const auto [start, end] = bounds(s, args, 1);
    List options;
    if (const auto* t = std::get_if<std::shared_ptr<Tuple>>(&args.positional[0].data))
        options = (*t)->items;
    else
        options.push_back(args.positional[0]);
    for (const Value& option : options) {
        const std::string& part = text(name, option);
        if (start > end) continue;
        const std::string_view window(s.data() + start, end - start);
        if (starts ? window.starts_with(part) : window.ends_with(part)) return Value{true};
    }
    return Value{false};
}
Value strStartswith(Context&, const Value& me, const Arguments& a) {
    return affix(me, a, true);
}
Value strEndswith(Context&, const Value& me, const Arguments& a) {
    return affix(me, a, false);
}

std::string mapped(std::string s, int (*fn)(int)) {
    for (char& c : s) c = static_cast<char>(fn(static_cast<unsigned char>(c)));
    return s;
}
Value strUpper(Context&, const Value& me, const Arguments& a) {
    expectCount("upper", a, 0, 0);
    return Value{mapped(self(me), ::toupper)};
}
Value strLower(Context&, const Value& me, const Arguments& a) {
    expectCount("lower", a, 0, 0);
    return Value{mapped(self(me), ::tolower)};
}
Value strSwapcase(Context&, const Value& me, const Arguments& a) {
    expectCount("swapcase", a, 0, 0);
    std::string s = self(me);
    for (char& c : s) {
        const auto u = static_cast<unsigned char>(c);
        c = static_cast<char>(std::isupper(u) ? std::tolower(u) : std::toupper(u));
    }
    return Value{s};
}
Value strCapitalize(Context&, const Value& me, const Arguments& a) {
    expectCount("capitalize", a, 0, 0);
    std::string s = mapped(self(me), ::tolower);
    if (!s.empty()) s[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
    return Value{s};
}
Value strTitle(Context&, const Value& me, const Arguments& a) {
    expectCount("title", a, 0, 0);
    std::string s = self(me);
    bool previousCased = false;
    for (char& c : s) {
        const auto u = static_cast<unsigned char>(c);
        c = static_cast<char>(previousCased ? std::tolower(u) : std::toupper(u));
        previousCased = std::isalpha(u) != 0;
    }
    return Value{s};
}

Value predicate(const Value& me, const Arguments& args, int (*test)(int)) {
    expectCount("is", args, 0, 0);
    const std::string& s = self(me);
    return Value{!s.empty() && std::all_of(s.begin(), s.end(), [&](char c) {
        return test(static_cast<unsigned char>(c)) != 0;
    })};
}
Value strIsdigit(Context&, const Value& me, const Arguments& a) {
    return predicate(me, a, ::isdigit);
}
Value strIsalpha(Context&, const Value& me, const Arguments& a) {
    return predicate(me, a, ::isalpha);
}
Value strIsalnum(Context&, const Value& me, const Arguments& a) {
    return predicate(me, a, ::isalnum);
}
Value strIsspace(Context&, const Value& me, const Arguments& a) {
    return predicate(me, a, ::isspace);
}
Value strIsascii(Context&, const Value& me, const Arguments& a) {
    expectCount("isascii", a, 0, 0);
    const std::string& s = self(me);
    return Value{std::all_of(s.begin(), s.end(),
                             [](char c) { return static_cast<unsigned char>(c) < 0x80; })};
}
Value cased(const Value& me, const Arguments& args, bool upper) {
    expectCount(upper ? "isupper" : "islower", args, 0, 0);
    bool any = false;
    for (const char c : self(me)) {
        const auto u = static_cast<unsigned char>(c);
        if (upper ? std::islower(u) : std::isupper(u)) return Value{false};
        any = any || std::isalpha(u);
    }
    return Value{any};
}
Value strIsupper(Context&, const Value& me, const Arguments& a) {
    return cased(me, a, true);
}
Value strIslower(Context&, const Value& me, const Arguments& a) {
    return cased(me, a, false);
}
Value strIsidentifier(Context&, const Value& me, const Arguments& a) {
    expectCount("isidentifier", a, 0, 0);
    const std::string& s = self(me);
    if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return Value{false};
    return Value{std::all_of(s.begin(), s.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    })};
}

Value strReplace(Context&, const Value& me, const Arguments& args) {
    expectCount("replace", args, 2, 3);
    const std::string& s = self(me);
    const std::string& from = text("replace", args.positional[0]);
    const std::string& to = text("replace", args.positional[1]);
    std::int64_t count = intOrNone(args.find(2, "count"), -1);
    std::string out;
    if (from.empty()) {
        // an empty pattern matches between every character
        for (std::size_t i = 0; i <= s.size(); ++i) {
            if (count-- != 0) out += to;
            if (i < s.size()) out += s[i];
            if (out.size() > maxTextSize)
                throw EvalError("text longer than " + std::to_string(maxTextSize) + " characters");
        }
        return Value{out};
    }
    std::size_t at = 0;
    for (auto found = s.find(from); found != std::string::npos && count-- != 0;
         found = s.find(from, at)) {
        out += s.substr(at, found - at) + to;
        at = found + from.size();
        if (out.size() > maxTextSize)
            throw EvalError("text longer than " + std::to_string(maxTextSize) + " characters");
    }
    return Value{out + s.substr(at)};
}

// split and rsplit: at SEP, or at runs of whitespace without one, at most MAXSPLIT times.
Value splitText(Context& context, const Value& me, const Arguments& args, bool fromRight) {
    const std::string name = fromRight ? "rsplit" : "split";
    expectCount(name, args, 0, 2);
    const std::string& s = self(me);
    const Value* sepValue = args.find(0, "sep");
    std::int64_t most = intOrNone(args.find(1, "maxsplit"), -1);
    List parts;
    if (isNone(sepValue)) {
        std::string_view rest(s);
        while (true) {
            if (fromRight) {
                const auto end = rest.find_last_not_of(whitespace);
                if (end == std::string_view::npos) break;
                rest = rest.substr(0, end + 1);
                if (most-- == 0) {
                    parts.push_back(Value{std::string(rest)});  // the rest, its leading space kept
                    break;
                }
                const auto start = rest.find_last_of(whitespace);
                const std::size_t from = start == std::string_view::npos ? 0 : start + 1;
                parts.push_back(Value{std::string(rest.substr(from))});
                if (start == std::string_view::npos) break;
                rest = rest.substr(0, start);
            } else {
                const auto start = rest.find_first_not_of(whitespace);
                if (start == std::string_view::npos) break;
                rest = rest.substr(start);
                if (most-- == 0) {
                    parts.push_back(Value{std::string(rest)});  // the rest, its trailing space kept
                    break;
                }
                const auto end = rest.find_first_of(whitespace);
                parts.push_back(Value{std::string(rest.substr(0, end))});
                if (end == std::string_view::npos) break;
                rest = rest.substr(end);
            }
            context.countItems();
        }
        if (fromRight) std::reverse(parts.begin(), parts.end());
        return makeList(std::move(parts));
    }
    const std::string& sep = text(name, *sepValue);
    if (sep.empty()) throw EvalError("empty separator");
    if (fromRight) {
        std::size_t end = s.size();
        while (most-- != 0) {
            if (end < sep.size()) break;
            const auto found = s.rfind(sep, end - sep.size());
            if (found == std::string::npos) break;
            parts.push_back(Value{s.substr(found + sep.size(), end - found - sep.size())});
            end = found;
            context.countItems();
        }
        parts.push_back(Value{s.substr(0, end)});
        std::reverse(parts.begin(), parts.end());
        return makeList(std::move(parts));
    }
    std::size_t at = 0;
    for (auto found = s.find(sep); found != std::string::npos && most-- != 0;
         found = s.find(sep, at)) {
        parts.push_back(Value{s.substr(at, found - at)});
        at = found + sep.size();
        context.countItems();
    }
    parts.push_back(Value{s.substr(at)});
    return makeList(std::move(parts));
}
Value strSplit(Context& c, const Value& me, const Arguments& a) {
    return splitText(c, me, a, false);
}
Value strRsplit(Context& c, const Value& me, const Arguments& a) {
    return splitText(c, me, a, true);
}

Value strSplitlines(Context&, const Value& me, const Arguments& args) {
    expectCount("splitlines", args, 0, 1);
    const bool keep = args.find(0, "keepends") && truthOf(*args.find(0, "keepends"));
    const std::string& s = self(me);
    List lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (std::string_view("\n\r\v\f\x1c\x1d\x1e").find(s[i]) == std::string_view::npos) continue;
        std::size_t end = i;
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
        lines.push_back(Value{s.substr(start, (keep ? i + 1 : end) - start)});
        start = i + 1;
    }
    if (start < s.size()) lines.push_back(Value{s.substr(start)});
    return makeList(std::move(lines));
}

Value stripped(const Value& me, const Arguments& args, bool left, bool right) {
    expectCount("strip", args, 0, 1);
    const std::string& s = self(me);
    const Value* charsValue = args.find(0, "chars");
    const std::string chars =
        isNone(charsValue) ? std::string(whitespace) : text("strip", *charsValue);
    std::size_t start = 0, end = s.size();
    if (left)
        while (start < end && chars.find(s[start]) != std::string::npos) ++start;
    if (right)
        while (end > start && chars.find(s[end - 1]) != std::string::npos) --end;
    return Value{s.substr(start, end - start)};
}
Value strStrip(Context&, const Value& me, const Arguments& a) {
    return stripped(me, a, true, true);
}
Value strLstrip(Context&, const Value& me, const Arguments& a) {
    return stripped(me, a, true, false);
}
Value strRstrip(Context&, const Value& me, const Arguments& a) {
    return stripped(me, a, false, true);
}

Value strJoin(Context& context, const Value& me, const Arguments& args) {
    expectCount("join", args, 1, 1);
    std::string out;
    std::size_t i = 0;
    expectAllItems(context, args.positional[0]);
    forEachItem(context, args.positional[0], [&](const Value& item) {
        const auto* s = std::get_if<std::string>(&item.data);
        if (!s)
            throw EvalError("sequence item " + std::to_string(i) + ": expected str instance, " +
                            typeName(item) + " found");
        if (i++) out += self(me);
        out += *s;
        if (out.size() > maxTextSize)
            throw EvalError("text longer than " + std::to_string(maxTextSize) + " characters");
        return true;
    });
    return Value{out};
}

Value strFormat(Context&, const Value& me, const Arguments& args) {
    return Value{formatText(self(me), args)};
}

// center, ljust, rjust, zfill: the text padded to a width
std::size_t widthArg(const std::string& name, const Arguments& args) {
    const std::int64_t width = asInt(required(name, args, 0));
    if (width > static_cast<std::int64_t>(maxTextSize))
        throw EvalError("text longer than " + std::to_string(maxTextSize) + " characters");
    return width < 0 ? 0 : static_cast<std::size_t>(width);
}
char fillArg(const std::string& name, const Arguments& args) {
    const Value* fill = args.find(1, "fillchar");
    if (!fill) return ' ';
    const std::string& f = text(name, *fill);
    if (f.size() != 1) throw EvalError("The fill character must be exactly one character long");
    return f[0];
}
Value justified(const Value& me, const Arguments& args, const std::string& name) {
    expectCount(name, args, 1, 2);
    const std::string& s = self(me);
    const std::size_t width = widthArg(name, args);
    const char fill = fillArg(name, args);
    if (s.size() >= width) return me;
    const std::size_t pad = width - s.size();
    if (name == "ljust") return Value{s + std::string(pad, fill)};
    if (name == "rjust") return Value{std::string(pad, fill) + s};
    // center puts the odd one on the left when the width is odd, as Python does
    const std::size_t left = pad / 2 + (pad & width & 1);
    return Value{std::string(left, fill) + s + std::string(pad - left, fill)};
}
Value strLjust(Context&, const Value& me, const Arguments& a) {
    return justified(me, a, "ljust");
}
Value strRjust(Context&, const Value& me, const Arguments& a) {
    return justified(me, a, "rjust");
}
Value strCenter(Context&, const Value& me, const Arguments& a) {
    return justified(me, a, "center");
}
Value strZfill(Context&, const Value& me, const Arguments& args) {
    expectCount("zfill", args, 1, 1);
    const std::string& s = self(me);
    const std::size_t width = widthArg("zfill", args);
    if (s.size() >= width) return me;
    const bool sign = !s.empty() && (s[0] == '-' || s[0] == '+');
    return Value{(sign ? s.substr(0, 1) : "") + std::string(width - s.size(), '0') +
                 s.substr(sign ? 1 : 0)};
}

Value partitioned(const Value& me, const Arguments& args, bool fromRight) {
    expectCount("partition", args, 1, 1);
    const std::string& s = self(me);
    const std::string& sep = text("partition", args.positional[0]);
    if (sep.empty()) throw EvalError("empty separator");
    const auto at = fromRight ? s.rfind(sep) : s.find(sep);
    if (at == std::string::npos)
        return fromRight ? makeTuple({Value{std::string()}, Value{std::string()}, me})
                         : makeTuple({me, Value{std::string()}, Value{std::string()}});
    return makeTuple({Value{s.substr(0, at)}, Value{sep}, Value{s.substr(at + sep.size())}});
}
Value strPartition(Context&, const Value& me, const Arguments& a) {
    return partitioned(me, a, false);
}
Value strRpartition(Context&, const Value& me, const Arguments& a) {
    return partitioned(me, a, true);
}

Value strRemoveprefix(Context&, const Value& me, const Arguments& args) {
    expectCount("removeprefix", args, 1, 1);
    const std::string& p = text("removeprefix", args.positional[0]);
    return self(me).starts_with(p) ? Value{self(me).substr(p.size())} : me;
}
Value strRemovesuffix(Context&, const Value& me, const Arguments& args) {
    expectCount("removesuffix", args, 1, 1);
    const std::string& p = text("removesuffix", args.positional[0]);
    const std::string& s = self(me);
    return s.ends_with(p) ? Value{s.substr(0, s.size() - p.size())} : me;
}
Value strExpandtabs(Context&, const Value& me, const Arguments& args) {
    expectCount("expandtabs", args, 0, 1);
    const std::int64_t size = intOrNone(args.find(0, "tabsize"), 8);
    std::string out;
    std::size_t column = 0;
    for (const char c : self(me)) {
        if (c == '\t') {
            if (size > 0) {
                const std::size_t pad =
                    static_cast<std::size_t>(size) - column % static_cast<std::size_t>(size);
                out.append(pad, ' ');
                column += pad;
            }
        } else {
            out += c;
            column = c == '\n' || c == '\r' ? 0 : column + 1;
        }
        if (out.size() > maxTextSize) throw EvalError("text too long");
    }
    return Value{out};
}

// --- lists, tuples, dicts, sets --------------------------------------------------------------

List& listOf(const Value& me) {
    return *std::get<std::shared_ptr<List>>(me.data);
}
const List& sequenceOf(const Value& me) {
    if (const auto* t = std::get_if<std::shared_ptr<Tuple>>(&me.data)) return (*t)->items;
    return listOf(me);
}
bool same(const Value& a, const Value& b) {
    return identical(a, b) || equalValues(a, b);
}

Value seqCount(Context&, const Value& me, const Arguments& args) {
    expectCount("count", args, 1, 1);
    const List& items = sequenceOf(me);
    return Value{static_cast<std::int64_t>(std::count_if(
        items.begin(), items.end(), [&](const Value& v) { return same(v, args.positional[0]); }))};
}
Value seqIndex(Context&, const Value& me, const Arguments& args) {
    expectCount("index", args, 1, 3);
    const List& items = sequenceOf(me);
    const auto size = static_cast<std::int64_t>(items.size());
    const auto clamp = [size](std::int64_t i) {
        return std::clamp<std::int64_t>(i < 0 ? i + size : i, 0, size);
    };
    const std::int64_t start = clamp(intOrNone(args.find(1, "\x01"), 0));
    const std::int64_t end = clamp(intOrNone(args.find(2, "\x01"), size));
    for (std::int64_t i = start; i < end; ++i)
        if (same(items[static_cast<std::size_t>(i)], args.positional[0])) return Value{i};
    throw EvalError(typeName(me) == "list" ? reprOf(args.positional[0]) + " is not in list"
                                           : "tuple.index(x): x not in tuple");
}
Value listAppend(Context& context, const Value& me, const Arguments& args) {
    expectCount("append", args, 1, 1);
    context.countItems();
    listOf(me).push_back(args.positional[0]);
    return Value{};
}
Value listExtend(Context& context, const Value& me, const Arguments& args) {
    expectCount("extend", args, 1, 1);
    const List items = itemsOfIterable(context, args.positional[0]);
    listOf(me).insert(listOf(me).end(), items.begin(), items.end());
    if (listOf(me).size() > maxTextSize)
        throw EvalError("list longer than " + std::to_string(maxTextSize) + " items");
    return Value{};
}
Value listInsert(Context& context, const Value& me, const Arguments& args) {
    expectCount("insert", args, 2, 2);
    List& items = listOf(me);
    const auto size = static_cast<std::int64_t>(items.size());
    std::int64_t i = asInt(args.positional[0]);
    if (i < 0) i += size;
    i = std::clamp<std::int64_t>(i, 0, size);
    context.countItems();
    items.insert(items.begin() + i, args.positional[1]);
    return Value{};
}
Value listPop(Context&, const Value& me, const Arguments& args) {
    expectCount("pop", args, 0, 1);
    List& items = listOf(me);
    if (items.empty()) throw EvalError("pop from empty list");
    const auto size = static_cast<std::int64_t>(items.size());
    std::int64_t i = args.positional.empty() ? -1 : asInt(args.positional[0]);
    if (i < 0) i += size;
    if (i < 0 || i >= size) throw EvalError("pop index out of range");
    Value item = items[static_cast<std::size_t>(i)];
    items.erase(items.begin() + i);
    return item;
}
Value listRemove(Context&, const Value& me, const Arguments& args) {
    expectCount("remove", args, 1, 1);
    List& items = listOf(me);
    const auto found = std::find_if(items.begin(), items.end(),
                                    [&](const Value& v) { return same(v, args.positional[0]); });
    if (found == items.end()) throw EvalError("list.remove(x): x not in list");
    items.erase(found);
    return Value{};
}
Value listReverse(Context&, const Value& me, const Arguments& args) {
    expectCount("reverse", args, 0, 0);
    std::reverse(listOf(me).begin(), listOf(me).end());
    return Value{};
}
Value listClear(Context&, const Value& me, const Arguments& args) {
    expectCount("clear", args, 0, 0);
    listOf(me).clear();
    return Value{};
}
Value listCopy(Context&, const Value& me, const Arguments& args) {
    expectCount("copy", args, 0, 0);
    return makeList(listOf(me));
}
Value listSort(Context& context, const Value& me, const Arguments& args) {
    if (!args.positional.empty()) throw EvalError("sort() takes no positional arguments");
    List items = listOf(me);
    sortItems(context, items, args.find(static_cast<std::size_t>(-1), "key"),
              args.find(static_cast<std::size_t>(-1), "reverse"));
    listOf(me) = std::move(items);
    return Value{};
}

Dict& dictOf(const Value& me) {
    return *std::get<std::shared_ptr<Dict>>(me.data);
}
std::vector<std::pair<Value, Value>>::iterator findKey(Dict& dict, const Value& key) {
    requireHashable(key);
    return std::find_if(dict.items.begin(), dict.items.end(),
                        [&](const auto& item) { return same(item.first, key); });
}
Value dictView(const Value& me, DictView::Kind kind) {
    return Value{DictView{kind, std::get<std::shared_ptr<Dict>>(me.data)}};
}
Value dictKeys(Context&, const Value& me, const Arguments& a) {
    expectCount("keys", a, 0, 0);
    return dictView(me, DictView::Kind::Keys);
}
Value dictValues(Context&, const Value& me, const Arguments& a) {
    expectCount("values", a, 0, 0);
    return dictView(me, DictView::Kind::Values);
}
Value dictItems(Context&, const Value& me, const Arguments& a) {
    expectCount("items", a, 0, 0);
    return dictView(me, DictView::Kind::Items);
}
Value dictGet(Context&, const Value& me, const Arguments& args) {
    if (!args.keywords.empty()) throw EvalError("get() takes no keyword arguments");
    expectCount("get", args, 1, 2);
    Dict& dict = dictOf(me);
    const auto found = findKey(dict, args.positional[0]);
    if (found != dict.items.end()) return found->second;
    return args.positional.size() > 1 ? args.positional[1] : Value{};
}
Value dictCopy(Context&, const Value& me, const Arguments& a) {
    expectCount("copy", a, 0, 0);
    auto copy = std::make_shared<Dict>(dictOf(me));
    return Value{copy};
}
Value dictPop(Context&, const Value& me, const Arguments& args) {
    expectCount("pop", args, 1, 2);
    Dict& dict = dictOf(me);
    const auto found = findKey(dict, args.positional[0]);
    if (found == dict.items.end()) {
        if (args.positional.size() > 1) return args.positional[1];
        throw EvalError("KeyError: " + reprOf(args.positional[0]));
    }
    Value value = found->second;
    dict.items.erase(found);
    return value;
}
Value dictSetdefault(Context&, const Value& me, const Arguments& args) {
    expectCount("setdefault", args, 1, 2);
    Dict& dict = dictOf(me);
    const auto found = findKey(dict, args.positional[0]);
    if (found != dict.items.end()) return found->second;
    const Value value = args.positional.size() > 1 ? args.positional[1] : Value{};
    dict.items.emplace_back(args.positional[0], value);
    return value;
}
Value dictUpdate(Context& context, const Value& me, const Arguments& args) {
    expectCount("update", args, 0, 100);
    Dict& dict = dictOf(me);
    const auto set = [&](const Value& k, const Value& v) {
        const auto found = findKey(dict, k);
        if (found != dict.items.end())
            found->second = v;
        else
            dict.items.emplace_back(k, v);
    };
    if (!args.positional.empty()) {
        if (const auto* d = std::get_if<std::shared_ptr<Dict>>(&args.positional[0].data)) {
            const auto items = (*d)->items;
            for (const auto& [k, v] : items) set(k, v);
        } else {
            forEachItem(context, args.positional[0], [&](const Value& pair) {
                const List kv = itemsOfIterable(context, pair);
                if (kv.size() != 2)
                    throw EvalError("dictionary update sequence element has length " +
                                    std::to_string(kv.size()) + "; 2 is required");
                set(kv[0], kv[1]);
                return true;
            });
        }
    }
    for (const auto& [k, v] : args.keywords) set(Value{k}, v);
    return Value{};
}
Value dictClear(Context&, const Value& me, const Arguments& a) {
    expectCount("clear", a, 0, 0);
    dictOf(me).items.clear();
    return Value{};
}

Set& setOf(const Value& me) {
    return *std::get<std::shared_ptr<Set>>(me.data);
}
Value setCopy(Context&, const Value& me, const Arguments& a) {
    expectCount("copy", a, 0, 0);
    return Value{std::make_shared<Set>(setOf(me))};
}
Value setAdd(Context&, const Value& me, const Arguments& args) {
    expectCount("add", args, 1, 1);
    requireHashable(args.positional[0]);
    List& items = setOf(me).items;
    if (std::none_of(items.begin(), items.end(),
                     [&](const Value& v) { return same(v, args.positional[0]); }))
        items.push_back(args.positional[0]);
    return Value{};
}
Value setCombined(Context& context, const Value& me, const Arguments& args, BinaryOp op) {
    Value result = me;
    for (const Value& other : args.positional) {
        auto set = std::make_shared<Set>();
        for (const Value& v : itemsOfIterable(context, other))
            if (std::none_of(set->items.begin(), set->items.end(),
                             [&](const Value& w) { return same(v, w); }))
                set->items.push_back(v);
        result = binary(context, op, result, Value{set});
    }
    if (args.positional.empty()) result = Value{std::make_shared<Set>(setOf(me))};
    return result;
}
Value setUnion(Context& c, const Value& me, const Arguments& a) {
    return setCombined(c, me, a, BinaryOp::Or);
}
Value setIntersection(Context& c, const Value& me, const Arguments& a) {
    return setCombined(c, me, a, BinaryOp::And);
}
Value setDifference(Context& c, const Value& me, const Arguments& a) {
    return setCombined(c, me, a, BinaryOp::Sub);
}
Value setSymmetric(Context& c, const Value& me, const Arguments& a) {
    return setCombined(c, me, a, BinaryOp::Xor);
}
Value setRelation(Context& context, const Value& me, const Arguments& args, CompareOp op) {
    expectCount("issubset", args, 1, 1);
    auto set = std::make_shared<Set>();
    set->items = itemsOfIterable(context, args.positional[0]);
    return Value{compare(context, op, me, Value{set})};
}
Value setIssubset(Context& c, const Value& me, const Arguments& a) {
    return setRelation(c, me, a, CompareOp::Le);
}
Value setIssuperset(Context& c, const Value& me, const Arguments& a) {
    return setRelation(c, me, a, CompareOp::Ge);
}
Value setIsdisjoint(Context& context, const Value& me, const Arguments& args) {
    expectCount("isdisjoint", args, 1, 1);
    bool disjoint = true;
    forEachItem(context, args.positional[0], [&](const Value& v) {
        const List& items = setOf(me).items;
        disjoint =
            std::none_of(items.begin(), items.end(), [&](const Value& w) { return same(v, w); });
        return disjoint;
    });
    return Value{disjoint};
}

Value intBitLength(Context&, const Value& me, const Arguments& a) {
    expectCount("bit_length", a, 0, 0);
    const BigInt n = abs(bigOf(me));
    return Value{n == 0 ? std::int64_t{0} : static_cast<std::int64_t>(msb(n) + 1)};
}
Value intConjugate(Context&, const Value& me, const Arguments& a) {
    expectCount("conjugate", a, 0, 0);
    if (const auto* z = std::get_if<std::complex<double>>(&me.data)) return Value{std::conj(*z)};
    if (std::holds_alternative<bool>(me.data)) return Value{asInt(me)};
    return me;
}
Value floatIsInteger(Context&, const Value& me, const Arguments& a) {
    expectCount("is_integer", a, 0, 0);
    const double d = std::get<double>(me.data);
    return Value{std::isfinite(d) && d == std::floor(d)};
}

struct Entry {
    std::string_view type;  // the type names the method is for, space-separated
    std::string_view name;
    Method method;
};

constexpr Entry methods[] = {
    {"str", "capitalize", strCapitalize},
    {"str", "center", strCenter},
    {"str", "count", strCount},
    {"str", "endswith", strEndswith},
    {"str", "expandtabs", strExpandtabs},
    {"str", "find", strFindM},
    {"str", "format", strFormat},
    {"str", "index", strIndexM},
    {"str", "isalnum", strIsalnum},
    {"str", "isalpha", strIsalpha},
    {"str", "isascii", strIsascii},
    {"str", "isdecimal", strIsdigit},
    {"str", "isdigit", strIsdigit},
    {"str", "isidentifier", strIsidentifier},
    {"str", "islower", strIslower},
    {"str", "isnumeric", strIsdigit},
    {"str", "isspace", strIsspace},
    {"str", "isupper", strIsupper},
    {"str", "join", strJoin},
    {"str", "ljust", strLjust},
    {"str", "lower", strLower},
    {"str", "casefold", strLower},
    {"str", "lstrip", strLstrip},
    {"str", "partition", strPartition},
    {"str", "removeprefix", strRemoveprefix},
    {"str", "removesuffix", strRemovesuffix},
    {"str", "replace", strReplace},
    {"str", "rfind", strRfindM},
    {"str", "rindex", strRindexM},
    {"str", "rjust", strRjust},
    {"str", "rpartition", strRpartition},
    {"str", "rsplit", strRsplit},
    {"str", "rstrip", strRstrip},
    {"str", "split", strSplit},
    {"str", "splitlines", strSplitlines},
    {"str", "startswith", strStartswith},
    {"str", "strip", strStrip},
    {"str", "swapcase", strSwapcase},
    {"str", "title", strTitle},
    {"str", "upper", strUpper},
    {"str", "zfill", strZfill},
    {"list tuple", "count", seqCount},
    {"list tuple", "index", seqIndex},
    {"list", "append", listAppend},
    {"list", "extend", listExtend},
    {"list", "insert", listInsert},
    {"list", "pop", listPop},
    {"list", "remove", listRemove},
    {"list", "reverse", listReverse},
    {"list", "clear", listClear},
    {"list", "copy", listCopy},
    {"list", "sort", listSort},
    {"dict", "keys", dictKeys},
    {"dict", "values", dictValues},
    {"dict", "items", dictItems},
    {"dict", "get", dictGet},
    {"dict", "copy", dictCopy},
    {"dict", "pop", dictPop},
    {"dict", "setdefault", dictSetdefault},
    {"dict", "update", dictUpdate},
    {"dict", "clear", dictClear},
    {"set frozenset", "copy", setCopy},
    {"set", "add", setAdd},
    {"set frozenset", "union", setUnion},
    {"set frozenset", "intersection", setIntersection},
    {"set frozenset", "difference", setDifference},
    {"set frozenset", "symmetric_difference", setSymmetric},
    {"set frozenset", "issubset", setIssubset},
    {"set frozenset", "issuperset", setIssuperset},
    {"set frozenset", "isdisjoint", setIsdisjoint},
    {"int bool", "bit_length", intBitLength},
    {"int bool float complex", "conjugate", intConjugate},
    {"float", "is_integer", floatIsInteger},
};

bool typeListed(std::string_view types, const std::string& type) {
    std::size_t at = 0;
    while (at <= types.size()) {
        const auto end = std::min(types.find(' ', at), types.size());
        if (types.substr(at, end - at) == type) return true;
        at = end + 1;
    }
    return false;
}

}  // namespace

Value memberOf(const Value& object, const std::string& name) {
    const std::string type = typeName(object);
    for (const Entry& entry : methods)
        if (entry.name == name && typeListed(entry.type, type))
            return Value{std::make_shared<const BoundMethod>(object, name, entry.method)};
    if (name == "real" || name == "imag") {
        if (const auto* z = std::get_if<std::complex<double>>(&object.data))
            return Value{name == "real" ? z->real() : z->imag()};
        if (isInt(object)) return name == "real" ? makeInt(bigOf(object)) : Value{std::int64_t{0}};
        if (const auto* d = std::get_if<double>(&object.data))
            return Value{name == "real" ? *d : 0.0};
    }
    if (const auto* r = std::get_if<Range>(&object.data)) {
        if (name == "start") return Value{r->start};
        if (name == "stop") return Value{r->stop};
        if (name == "step") return Value{r->step};
    }
    if (const auto* s = std::get_if<std::shared_ptr<Slice>>(&object.data)) {
        if (name == "start") return (*s)->start;
        if (name == "stop") return (*s)->stop;
        if (name == "step") return (*s)->step;
    }
    throw EvalError("'" + type + "' object has no attribute '" + name + "'");
}

void sortItems(Context& context, List& items, const Value* key, const Value* reverse) {
    const bool keyed = key && !std::holds_alternative<None>(key->data);
    std::vector<std::pair<Value, std::size_t>> keys;
    keys.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        keys.emplace_back(keyed ? context.call(*key, Arguments{{items[i]}, {}}) : items[i], i);
    const bool backwards = reverse && truthOf(*reverse);
    // reversed order keeps equal items in their order, as Python's stable sort does
    std::stable_sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
        return backwards ? compare(context, CompareOp::Lt, b.first, a.first)
                         : compare(context, CompareOp::Lt, a.first, b.first);
    });
    List sorted;
    sorted.reserve(items.size());
    for (const auto& [k, i] : keys) sorted.push_back(items[i]);
    items = std::move(sorted);
}

}  // namespace corvane::xacro
