// urdfdom links its tree (every joint's child link into its parent link, which owns it) before it
// checks that the tree has exactly one root, and when it then refuses the description it releases
// those links one nested call per link: a refused chain of some 17,000 links overflows a 1 MB
// thread stack, some 140,000 links the 8 MB main stack. For large descriptions the same checks are
// made here first, so that urdfdom is never handed a tree it would refuse: on the link and joint
// names that the nesting scan reads on its way through the text, and, where those cannot settle
// it, on a full parse of the XML.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TiXmlDocument;

namespace corvane::Plugins::Urdf {

// Descriptions with more link elements than this are checked before urdfdom sees them; smaller
// trees are released within a few dozen kilobytes of stack.
inline constexpr std::size_t kLinksCheckedBeforeUrdfdom = 1000;

// A joint element of the robot: its name and the link attributes of its first parent and first
// child elements (empty where missing).
struct JointLinks {
    std::string_view name;
    std::string_view parent;
    std::string_view child;
};

// The link and joint elements of the robot element (the document's first top-level element named
// "robot"), in document order. The views point into the text or the parsed document they were
// read from.
struct LinkTreeFacts {
    std::vector<std::string_view> links;  // name attribute of each link element ("" if none)
    std::vector<JointLinks> joints;
    bool unnamedJoint = false;  // a joint without a name: urdfdom refuses it before linking
    // Read from the text: false when a name may mean something else to the parser than its bytes
    // there (a value with a character reference, white space, control or non-ASCII bytes, or
    // without quotes), or when the scan could not settle the document's encoding.
    bool plain = true;
};

// The facts as the parser's document holds them.
LinkTreeFacts linkTreeFactsOf(const TiXmlDocument& document);

// True when urdfdom would link this tree and keep it: some links, all named differently, joints
// named differently, each joining two defined links, and exactly one link that is no joint's child.
// False says nothing: the facts may be incomplete or urdfdom may refuse early; ask linkTreeProblem.
bool isKeptTree(const LinkTreeFacts& facts);

// Why urdfdom would refuse the tree of `xml` after linking it: a joint without a parent or child
// link, a joint naming an undefined link, two roots or none, as urdfdom checks them, in its order.
// Empty when urdfdom would link the tree and keep it, and also when urdfdom refuses the
// description before linking anything (bad XML, no robot element, a name used twice): that
// refusal is urdfdom's own and costs nothing. `xml` must have passed the nesting guard.
std::optional<std::string> linkTreeProblem(const char* xml);

}  // namespace corvane::Plugins::Urdf
