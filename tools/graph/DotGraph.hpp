// The imported model as a Graphviz graph: a node per body, an edge per interaction from the
// parent body to the child body, and a cluster per kinematic lock around its bodies.
#pragma once

#include <string>
#include <string_view>

#include "model/ModelOverview.hpp"

namespace corvane::tools {

// DOT source of the model. Massless bodies (no mass of their own) are drawn dashed and marked
// "massless"; bodies left without any mass are drawn red and marked "no mass". A body named by
// several kinematic locks is drawn in the first. Names are shown as visibleText shows them.
std::string toDot(const ModelOverview& overview);

// A DOT double-quoted string, usable as an identifier or a label, that reads `text` exactly:
// quotes and backslashes are escaped, so that no label escape such as "\n" or "\N" remains.
// `text` must hold no line breaks (visibleText output has none).
std::string dotString(std::string_view text);

}  // namespace corvane::tools
