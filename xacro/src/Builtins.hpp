// The names an expression may use besides properties, exactly those the reference exposes: a
// few builtins and every public name of the math module at the top level, Python's builtins
// under "python.", the math module under "math.", the expander's functions under "xacro.";
// and the methods and attributes of values.
#pragma once

#include <optional>
#include <string>

#include "Value.hpp"

namespace corvane::xacro {

// The value of NAME at the top level when no property has it; nothing when it is not defined.
std::optional<Value> globalName(const std::string& name);
// Whether NAME is one the reference still allows at the top level but wants written under
// "python." (sorted, range).
bool isDeprecatedGlobal(const std::string& name);

// OBJECT.NAME: a namespace's member, a method bound to its value, a number's real part, a
// dotified dict's key. Refuses what Python would not find.
Value attributeOf(const Value& object, const std::string& name);

}  // namespace corvane::xacro
