// A complete, exact text dump of a syntax tree: every node, token (kind, lexeme, line, column)
// and expression, in order. Used to check that a change of the import leaves its output untouched
// byte for byte, including the parts no renderer prints.
#pragma once

#include <corvane/Syntax.hpp>
#include <string>

namespace corvane::bench {

std::string dumpTree(const Document& document);

}  // namespace corvane::bench
