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

struct Value {
    std::variant<None, bool, std::int64_t, double, std::string, std::shared_ptr<List>,
                 std::shared_ptr<Tuple>, std::shared_ptr<Dict>>
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

}  // namespace corvane::xacro
