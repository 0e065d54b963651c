// Evaluates one xacro expression (the text inside ${...}).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "Value.hpp"

namespace corvane::xacro {

// Looks up a property by name; nothing when it is not defined.
using NameLookup = std::function<std::optional<Value>(const std::string& name)>;

// Calls a function the expander provides (xacro.load_yaml, ...); nothing when NAME is none of them.
using FunctionCall = std::function<std::optional<Value>(const std::string& name, const List& args)>;

Value evaluate(const std::string& expression, const NameLookup& lookup,
               const FunctionCall& call = {});

}  // namespace corvane::xacro
