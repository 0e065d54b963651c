// A cheap pre-scan of URDF text that bounds how deeply elements nest. The XML parser under urdfdom
// recurses once per nesting level, so a small file of deeply nested elements would overflow the
// stack of the host process; such a document is refused before it reaches the parser.
#pragma once

#include <cstddef>
#include <string_view>

namespace corvane::Plugins::Urdf {

// Real robot descriptions nest fewer than 20 levels.
inline constexpr std::size_t kMaxElementDepth = 256;

// The deepest element nesting in `xml`, counted the way the XML parser will see it: comments,
// CDATA sections, processing instructions, declarations (DOCTYPE) and quoted attribute values hold
// no elements. Where the text is malformed the count errs towards deeper, never shallower. Linear
// in the size of the text; allocates nothing.
std::size_t maxElementDepth(std::string_view xml);

// True when the document may be handed to the parser; otherwise logs a warning naming the depth.
bool nestingWithinLimit(std::string_view xml);

}  // namespace corvane::Plugins::Urdf
