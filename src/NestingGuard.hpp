// Protection of urdfdom and the XML parser under it against hostile text. The parser recurses once
// per element nesting level, so a small file of deeply nested elements would overflow the stack of
// the host process: such a document is refused before it reaches the parser. Large descriptions
// are also checked for the tree problems that make urdfdom release a long chain of links
// recursively (LinkTreeCheck.hpp). The parser reads a few bytes past the end of a text that ends
// inside a multi-byte character; it is therefore handed a padded copy of the text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane::Plugins::Urdf {

struct LinkTreeFacts;

// Real robot descriptions nest fewer than 20 levels.
inline constexpr std::size_t kMaxElementDepth = 256;

struct DocumentShape {
    std::size_t depth = 0;         // deepest element nesting
    std::size_t linkElements = 0;  // elements named "link", wherever they are
};

// The elements the XML parser reads in `xml`: how deep they nest and how many are links. The scan
// reads the text the way the parser does (comments, CDATA sections, processing instructions,
// declarations, the DOCTYPE, attribute values, character references and multi-byte characters
// hold no elements) and stops where the parser would give up, so that no element the parser
// enters is hidden from the count. Linear in the size of the text; allocates nothing unless
// `facts` is given, which then receives the robot's link and joint names on the way (views into
// `xml`). Uses the character classes of the current C locale, as the parser does.
DocumentShape measureDocument(std::string_view xml, LinkTreeFacts* facts = nullptr);

// The deepest element nesting the XML parser reaches in `xml`.
std::size_t maxElementDepth(std::string_view xml);

// True when `input` (from parserInput) may be handed to urdfdom; otherwise logs a warning naming
// the depth found, or the problem of a large link tree.
bool withinParserLimits(const std::string& input);

// The text as the parser reads it: up to its first NUL byte (the parser takes a C string), followed
// by NUL padding, so that a multi-byte character cut short by the end of the text is still read
// inside the buffer. Logs a warning when anything but NUL bytes follows the first NUL.
std::string parserInput(std::string_view source);

// The same text as parserInput, without the warning: for a second reading of a text whose import
// has warned already.
std::string parserText(std::string_view source);

// True when the parser may read `source` itself instead of parserInput's copy: it holds no NUL
// byte and none of its last bytes is above 0x7F, so no character the parser takes whole reaches
// past its terminating NUL. Real files end in ASCII, and a large file is then not copied.
bool parserReadsInPlace(std::string_view source);

}  // namespace corvane::Plugins::Urdf
