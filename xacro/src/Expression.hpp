// Evaluates one xacro expression (the text inside ${...}).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "Builtins.hpp"
#include "Value.hpp"

namespace corvane::xacro {

// Looks up a property by name; nothing when it is not defined.
using NameLookup = std::function<std::optional<Value>(const std::string& name)>;

// Calls a function the expander provides (xacro.load_yaml, ...); nothing when NAME is none of them.
using FunctionCall =
    std::function<std::optional<Value>(const std::string& name, const Arguments& args)>;

Value evaluate(const std::string& expression, const NameLookup& lookup,
               const FunctionCall& call = {});

// A op B for the arithmetic operators (+ - * / // % **), as Python computes them.
Value arithmetic(const std::string& op, const Value& a, const Value& b);
// The value of a number literal; an int beyond 64 bits is refused.
Value parseNumber(const std::string& text);

}  // namespace corvane::xacro
