// Evaluates xacro expressions (the text inside ${...}): each text is parsed into a syntax tree
// once, and the tree evaluated against the names in scope.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>

#include "Operators.hpp"
#include "Syntax.hpp"
#include "Value.hpp"

namespace corvane::xacro {

// Looks up a property by name; nothing when it is not defined.
using NameLookup = std::function<std::optional<Value>(const std::string& name)>;

// Calls a function the expander provides (xacro.load_yaml, ...); nothing when NAME is none of them.
using FunctionCall =
    std::function<std::optional<Value>(const std::string& name, const Arguments& args)>;

// Keeps the syntax tree of each expression text it has evaluated, so that a text used in many
// places (a macro's body, called a hundred times) is parsed once.
class Evaluator {
  public:
    Value evaluate(const std::string& expression, const NameLookup& lookup,
                   const FunctionCall& call = {});

  private:
    std::unordered_map<std::string, std::shared_ptr<const Node>> trees_;
    // The deprecated names already warned about: each is reported once per expansion.
    std::set<std::string> warned_;
};

// Evaluates one expression without keeping its tree.
Value evaluate(const std::string& expression, const NameLookup& lookup,
               const FunctionCall& call = {});

}  // namespace corvane::xacro
