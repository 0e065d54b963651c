// The values of xacro expressions: the Python 3 subset robot description files use.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace corvane::xacro {

struct Value;
using List = std::vector<Value>;
struct Dict {
    std::vector<std::pair<Value, Value>> items;
};
struct None {};
struct Tuple {
    List items;
};
// A builtin function named without a call, as in map(float, items).
struct Function {
    std::string name;
};

struct Value {
    std::variant<None, bool, std::int64_t, double, std::string, std::shared_ptr<List>,
                 std::shared_ptr<Tuple>, std::shared_ptr<Dict>, Function>
        data;
};

// An error inside an expression; the expander adds file and line.
class EvalError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

Value makeList(List items);
Value makeTuple(List items);
std::string typeName(const Value& value);
// str(value) and repr(value) as Python 3 writes them.
std::string strOf(const Value& value);
std::string reprOf(const Value& value);
std::string floatRepr(double value);
bool truthOf(const Value& value);
bool equalValues(const Value& a, const Value& b);
bool isNumber(const Value& value);
double asDouble(const Value& value);
// An int or a bool, and its value as an int.
bool isInt(const Value& value);
std::int64_t asInt(const Value& value);
// Below zero, zero or above zero as A is before, with or after B; OP names the comparison in
// the error for values that have no order.
int orderOf(const Value& a, const Value& b, const std::string& op);
bool contains(const Value& container, const Value& item);
// The items a for loop over VALUE would see: a string's characters, a dict's keys.
List itemsOfIterable(const Value& value);

}  // namespace corvane::xacro
