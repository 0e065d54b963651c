// What the XML of a robot description says beyond urdfdom's model, read with TinyXML, the parser
// urdfdom itself uses: where a malformed text goes wrong, and the elements urdfdom does not keep.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::tools {

struct XmlProblem {
    // 1-based line where the parser stopped; 0 when it gives none (an empty text).
    int line = 0;
    std::string description;
};

// Why the parser refuses `source`; nullopt when it reads it as XML, or when the text has too many
// tags to be parsed safely here (the parser recurses once per nesting level, and a refused text
// has not been checked for its nesting).
std::optional<XmlProblem> findXmlProblem(std::string_view source);

// Elements of a robot description that urdfdom does not read, by the names that identify them.
struct UnreadElements {
    // "transmission" elements of the robot: their "name" attributes, where they have one.
    std::vector<std::optional<std::string>> transmissions;
    // "gazebo" elements of the robot: their "reference" attributes; none for those about the
    // robot as a whole.
    std::vector<std::optional<std::string>> gazeboReferences;
    // "sensor" elements anywhere in the robot: their "name" attributes, where they have one.
    std::vector<std::optional<std::string>> sensors;
};

// The elements of `source` urdfdom leaves out. Meant for texts the import accepted, whose nesting
// the import has bounded; elements nested deeper than that bound are not looked at anyway.
UnreadElements readUnreadElements(std::string_view source);

}  // namespace corvane::tools
