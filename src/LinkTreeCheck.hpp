// urdfdom links its tree (every joint's child link into its parent link, which owns it) before it
// checks that the tree has exactly one root, and when it then refuses the description it releases
// those links one nested call per link: a refused chain of some 17,000 links overflows a 1 MB
// thread stack, some 140,000 links the 8 MB main stack. For large descriptions the same checks are
// made here first, on the parsed XML, so that urdfdom is never handed a tree it would refuse.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace corvane::Plugins::Urdf {

// Descriptions with more link elements than this are checked before urdfdom sees them; smaller
// trees are released within a few dozen kilobytes of stack.
inline constexpr std::size_t kLinksCheckedBeforeUrdfdom = 1000;

// Why urdfdom would refuse the tree of `xml` after linking it: a joint without a parent or child
// link, a joint naming an undefined link, two roots or none, as urdfdom checks them, in its order.
// Empty when urdfdom would link the tree and keep it, and also when urdfdom refuses the
// description before linking anything (bad XML, no robot element, a name used twice): that
// refusal is urdfdom's own and costs nothing. `xml` must have passed the nesting guard.
std::optional<std::string> linkTreeProblem(const char* xml);

}  // namespace corvane::Plugins::Urdf
