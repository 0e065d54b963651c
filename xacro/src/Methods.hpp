// The methods and attributes of values: those of str, list, tuple, dict and set, a number's
// real and imag, a range's start, stop and step.
#pragma once

#include <string>

#include "Value.hpp"

namespace corvane::xacro {

// OBJECT.NAME: a method bound to OBJECT, or an attribute's value; refuses a name the type has
// not.
Value memberOf(const Value& object, const std::string& name);

// Sorts ITEMS in place as list.sort does: stable, by KEY when given, reversed when REVERSE is
// true.
void sortItems(Context& context, List& items, const Value* key, const Value* reverse);

}  // namespace corvane::xacro
