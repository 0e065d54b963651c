// The functions and methods an expression may call: Python's math module and builtins (some
// under "python."), and the methods of strings, dicts and lists that robot files use.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Value.hpp"

namespace corvane::xacro {

// The arguments of one call: positional, then name=value.
struct Arguments {
    List positional;
    std::vector<std::pair<std::string, Value>> keywords;

    // Argument I, or the keyword NAME; nothing when neither is given.
    const Value* find(std::size_t i, std::string_view name) const;
};

// Calls a function value on ARGS (map's first argument).
using Apply = std::function<Value(const Value& function, const List& args)>;

// The builtin NAME called with ARGS; nothing when NAME is no builtin.
std::optional<Value> callBuiltin(const std::string& name, const Arguments& args,
                                 const Apply& apply);

// Whether NAME, written without a call, stands for a builtin function (map(float, ...)).
bool isBuiltinFunction(const std::string& name);

// SELF.NAME(ARGS) for a string, dict or list.
Value callMethod(const Value& self, const std::string& name, const Arguments& args);

}  // namespace corvane::xacro
