// What a robot description holds that the import does not carry over into the model.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/UrdfElements.hpp"

namespace corvane::tools {

// One kind of content left behind: one name per item, identifying it (a link, joint, material or
// element name, as fits the kind): in name order for what urdfdom reads, in the order of the
// description for the elements it does not read. An item without a name stands for `unnamed`.
struct LeftBehind {
    std::string what;
    std::vector<std::optional<std::string>> names;
    std::string unnamed = "(unnamed)";
};

struct DescriptionFacts {
    // Joints urdfdom read, of every type.
    std::size_t joints = 0;
    // Only the kinds of which the description holds something, in a fixed order.
    std::vector<LeftBehind> leftBehind;
};

// Reads `source` again with urdfdom (its diagnostics silenced: the import has shown them); the
// elements urdfdom does not read come from `elements`, the same text's elements. Meant for
// descriptions the import accepted: those are bounded in nesting and size. Works over urdfdom's
// maps, never along its link tree, so link graphs that are no tree do no harm.
DescriptionFacts readDescriptionFacts(std::string_view source, const UrdfElements& elements);

}  // namespace corvane::tools
