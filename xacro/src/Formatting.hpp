// Python's two ways of formatting values into text: 'text' % values, and str.format / format()
// with the format mini-language.
#pragma once

#include <string>

#include "Value.hpp"

namespace corvane::xacro {

// FORMAT % VALUES: VALUES is one value, a tuple of them, or a dict for %(name)s.
std::string percentFormat(Context& context, const std::string& format, const Value& values);
// format(VALUE, LAYOUT).
std::string formatValue(const Value& value, const std::string& layout);
// PATTERN.format(*ARGS, **keywords).
std::string formatText(const std::string& pattern, const Arguments& args);

}  // namespace corvane::xacro
