// Renders a document the way the host prints it: as JSON (exact, for tools and tests) and as
// host source text (for people).
#pragma once

#include <string>
#include <string_view>

#include "corvane/Syntax.hpp"

namespace corvane::Render {

// {"document": "urdf", "nodes": [...]}; `indent` < 0 gives one line.
std::string toJson(const Document& document, int indent = 2);

// Readable host source, one member per line, nested members indented.
std::string toHostText(const Document& document);

// Letters, digits and underscores, not starting with a digit.
bool isPlainIdentifier(std::string_view name);

// The name as it stands when it is a plain identifier; otherwise in single quotes with "\'" and
// "\\" escaped, so that no name can change the structure of the printed text.
std::string quoteName(std::string_view name);

}  // namespace corvane::Render
