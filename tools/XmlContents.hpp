// What the XML of a robot description says beyond urdfdom's model, read with TinyXML, the parser
// urdfdom itself uses: where a malformed text goes wrong, and the elements urdfdom does not keep.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Findings.hpp"

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

// The lines on which the elements that findings point at begin, as urdfdom reads them: the
// robot element, its link and joint elements (the first of a name, as urdfdom keeps it) and the
// elements within them that a finding can be about.
class ElementLines {
  public:
    // The 1-based line of the element `place` names; when the file lacks that element (a joint
    // without an axis, a link without an inertial), the line of the element it would belong to;
    // 0 when not even that is in the text (a finding then names the file alone).
    int lineOf(const UrdfPlace& place) const;

  private:
    friend ElementLines readElementLines(std::string_view source);

    struct LinkLines {
        int link = 0;
        int inertial = 0;
        std::vector<int> collisions, visuals;            // in the order of the file
        std::vector<int> collisionMeshes, visualMeshes;  // 0 where the geometry is no mesh
    };
    struct JointLines {
        int joint = 0;
        int axis = 0;
        int limit = 0;
    };
    int robot_ = 0;
    std::unordered_map<std::string, LinkLines> links_;
    std::unordered_map<std::string, JointLines> joints_;
};

// The element lines of `source`. Meant, like readUnreadElements, for texts the import accepted.
ElementLines readElementLines(std::string_view source);

}  // namespace corvane::tools
