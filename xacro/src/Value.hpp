// The values of xacro expressions: those of Python 3 that an expression can make.
#pragma once

#include <boost/multiprecision/cpp_int.hpp>
#include <complex>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace corvane::xacro {

// Without expression templates: every operation gives a plain number.
using BigInt = boost::multiprecision::number<boost::multiprecision::cpp_int_backend<>,
                                             boost::multiprecision::et_off>;

struct Value;
using List = std::vector<Value>;
struct None {};
struct Tuple;
struct Dict;
struct Set;
struct Slice;
class Iterator;
class Callable;
class Context;

// range(start, stop, step): its items are made as they are used.
struct Range {
    std::int64_t start = 0;
    std::int64_t stop = 0;
    std::int64_t step = 1;
    std::int64_t size() const;
    std::int64_t at(std::int64_t i) const { return start + i * step; }
};

// d.keys(), d.values(), d.items(): they see the dict as it is when they are used.
struct DictView {
    enum class Kind { Keys, Values, Items } kind = Kind::Keys;
    std::shared_ptr<Dict> dict;
};

struct Value {
    // An int is kept in 64 bits while it fits, in a BigInt beyond.
    std::variant<None, bool, std::int64_t, std::shared_ptr<const BigInt>, double,
                 std::complex<double>, std::string, std::shared_ptr<List>, std::shared_ptr<Tuple>,
                 std::shared_ptr<Dict>, std::shared_ptr<Set>, Range, std::shared_ptr<Slice>,
                 DictView, std::shared_ptr<Iterator>, std::shared_ptr<const Callable>>
        data;
};

struct Tuple {
    List items;
};
// A dict keeps its keys in the order they were first set. A dotified dict (a YAML map) also
// gives its string keys as attributes: limits.arm.lower.
struct Dict {
    std::vector<std::pair<Value, Value>> items;
    bool dotified = false;
};
// A set keeps its items in the order they were first added (Python's order is by hash).
struct Set {
    List items;
    bool frozen = false;
};
struct Slice {
    Value start, stop, step;
};

// An error inside an expression; the expander adds file and line.
class EvalError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The arguments of one call: positional, then name=value.
struct Arguments {
    List positional;
    std::vector<std::pair<std::string, Value>> keywords;

    // Argument I, or the keyword NAME; nothing when neither is given.
    const Value* find(std::size_t i, std::string_view name) const;
};

// Refuses a call of NAME given fewer than LEAST or more than MOST arguments, as Python words it.
void expectCount(const std::string& name, const Arguments& args, std::size_t least,
                 std::size_t most);

// What a builtin needs of the evaluation it runs in: calling a function value (map's first
// argument, a sort key) and the item limit that keeps a range over 10**9 items from hanging.
class Context {
  public:
    virtual ~Context() = default;
    virtual Value call(const Value& function, Arguments args) = 0;
    // Counts one item made by an iterator, a comprehension or a repetition; refuses past the
    // limit.
    virtual void countItems(std::size_t count = 1) = 0;
    // Refuses at once what would make COUNT more items than the limit allows, before any is
    // made: list(range(10**9)) ends here, not after the first million.
    virtual void expectItems(std::size_t count) { (void)count; }
    // NAME(ARGS) for a function the expander provides (xacro.arg, xacro.load_yaml, ...);
    // nothing when it has no function NAME.
    virtual std::optional<Value> callExpander(const std::string& name, const Arguments& args) {
        (void)name;
        (void)args;
        return std::nullopt;
    }
};

// A lazy sequence: map, filter, zip, enumerate, reversed, a generator expression.
class Iterator {
  public:
    virtual ~Iterator() = default;
    // The next item, or nothing when the iterator is used up.
    virtual std::optional<Value> next(Context& context) = 0;
    virtual std::string typeName() const = 0;
    // How many items it will still make, when that is known before making them.
    virtual std::optional<std::size_t> itemsLeft() const { return std::nullopt; }
};

// A value that can be called: a builtin, a lambda, a method bound to its object.
class Callable {
  public:
    virtual ~Callable() = default;
    virtual Value call(Context& context, Arguments args) const = 0;
    virtual std::string typeName() const = 0;
    // str() of the function, as Python writes it.
    virtual std::string shown() const = 0;
};

Value makeList(List items);
Value makeTuple(List items);
Value makeInt(const BigInt& value);
std::string typeName(const Value& value);
// str(value) and repr(value) as Python 3 writes them.
std::string strOf(const Value& value);
std::string reprOf(const Value& value);
std::string floatRepr(double value);
std::string quotedText(std::string_view text);
// The UTF-8 bytes of the character CODE.
std::string utf8Of(std::uint32_t code);
std::string addressOf(const void* object);
bool truthOf(const Value& value);
bool equalValues(const Value& a, const Value& b);
bool identical(const Value& a, const Value& b);
// bool, int or float (complex is a number too, but without an order).
bool isNumber(const Value& value);
double asDouble(const Value& value);
// An int or a bool, and its value as an int.
bool isInt(const Value& value);
std::int64_t asInt(const Value& value);
BigInt bigOf(const Value& value);
// The double nearest to N (ties to even), as Python's float(n); an infinity beyond the range.
double doubleOf(const BigInt& n);
// Below zero, zero or above zero as A is before, with or after B; OP names the comparison in
// the error for values that have no order. NaN is neither: nothing.
std::optional<int> orderOf(const Value& a, const Value& b, const std::string& op);
bool contains(Context& context, const Value& container, const Value& item);
// hash(value) as Python computes it for numbers and tuples of them; refuses what is unhashable.
std::int64_t hashOf(const Value& value);
void requireHashable(const Value& value);

// Calls BODY on each item a for loop over VALUE would see (a string's characters, a dict's
// keys, an iterator's items as it makes them) until BODY returns false.
void forEachItem(Context& context, const Value& value,
                 const std::function<bool(const Value&)>& body);
// How many items a for loop over VALUE would see, when that is known before the loop.
std::optional<std::size_t> itemsIn(const Value& value);
// Refuses at once a loop over all of VALUE that would pass the item limit.
void expectAllItems(Context& context, const Value& value);
// The items of VALUE in a list; iterators are used up.
List itemsOfIterable(Context& context, const Value& value);
// An iterator over VALUE's items (an iterator is its own).
std::shared_ptr<Iterator> iteratorOf(const Value& value);

}  // namespace corvane::xacro
