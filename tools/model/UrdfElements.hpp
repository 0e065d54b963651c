// What the XML of a robot description says beyond urdfdom's model, read with TinyXML, the parser
// urdfdom itself uses: where a malformed text goes wrong, the elements urdfdom does not keep, and
// what the checks need of the text (lines of elements, axes as written).
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvane::tools {

// An element of a robot description that a message is about, by what identifies it in the
// file: the link or joint named `owner`, and for geometries the position of the collision or visual
// element within the link (0 for the first), counted in the order of the file.
struct UrdfPlace {
    enum class Element {
        Robot,
        Link,
        Inertial,
        Collision,
        Visual,
        Mesh,
        Joint,
        Axis,
        Limit,
        Mimic,
        Markup
    };
    Element element = Element::Robot;
    std::string owner;      // link or joint name as written in the URDF; empty for Robot, Markup
    std::size_t index = 0;  // Collision, Visual, Mesh (of that collision or visual); Markup: which
    bool visual = false;    // Mesh: of a visual element (otherwise of a collision element)
};

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

// An element or an attribute of the robot that urdfdom passes over where it stands: not one it
// reads there, nor one of the extensions robot descriptions carry for other programs (gazebo,
// transmission, ros2_control and sensor elements, elements and attributes of another XML
// namespace, a material in a collision). Elements inside one are not looked at.
struct UnreadMarkup {
    enum class Kind {
        Element,
        Attribute,
        // An element of the xacro namespace: the text is a xacro file that was not expanded.
        XacroElement,
    };
    Kind kind = Kind::Element;
    std::string name;    // as written, with its prefix
    std::string parent;  // the element it stands in, or that carries the attribute
    // The link or joint it is part of (Robot: a child of the robot element or of a robot-level
    // material); `ownerName` is that link's, joint's or robot's name.
    UrdfPlace::Element owner = UrdfPlace::Element::Robot;
    std::string ownerName;
    int line = 0;
    // An element within a <geometry>: whether the <visual> or <collision> around that geometry
    // has an <origin> of its own.
    bool enclosingOrigin = false;
};

// The child elements and attributes urdfdom reads of an element of the core format named
// `element` (robot, link, joint and what they hold); empty for other names.
std::span<const std::string_view> readChildElements(std::string_view element);
std::span<const std::string_view> readAttributes(std::string_view element);
// What urdfdom makes of such an element, in one line (for an editor's hover); empty for others.
std::string_view readElementSummary(std::string_view element);
// Whether urdfdom reads an element of this name anywhere in a robot description.
bool isCoreElement(std::string_view name);
// The elements in which urdfdom reads a child element named `child`, in the order of the format.
std::vector<std::string_view> elementsReading(std::string_view child);

// What the checks and the summary read of a robot description's own text, where the imported
// document cannot show it, read as urdfdom reads it: the elements urdfdom leaves out, and the robot
// element, its link and joint elements (the first of a name, as urdfdom keeps it) and the elements
// within them that a finding can be about, each with the line it begins on (1-based).
class UrdfElements {
  public:
    // A collision or visual element of a link.
    struct Part {
        int line = 0;
        int meshLine = 0;  // 0 where its geometry is no mesh
        // Its geometry is a sphere, box, cylinder or mesh: the import made a geometry of it.
        bool mapped = false;
    };
    // The numbers of an inertial element as urdfdom parses them (before the document rounds
    // them); an attribute that is missing or no number reads as 0.
    struct Inertial {
        double mass = 0;
        double ixx = 0, ixy = 0, ixz = 0, iyy = 0, iyz = 0, izz = 0;
    };
    struct Link {
        int line = 0;
        int inertialLine = 0;
        std::optional<Inertial> inertial;
        std::vector<Part> collisions, visuals;  // in the order of the file
    };
    // A mimic element of a joint: the joint it follows, as written (empty without a "joint"
    // attribute), and how: multiplier * leader + offset (1 and 0 when not written).
    struct Mimic {
        int line = 0;
        std::string leader;
        double multiplier = 1;
        double offset = 0;
    };
    struct Joint {
        int line = 0;
        int axisLine = 0;
        int limitLine = 0;
        std::string type;
        std::string parentLink;
        std::string childLink;
        std::optional<Mimic> mimic;
        // The axis as urdfdom takes it for a joint that has one (not fixed, not floating): the
        // axis element's xyz, (0, 0, 0) for an axis element without one, (1, 0, 0) without an
        // axis element; empty for other joints and for an xyz that is no three numbers.
        std::optional<std::array<double, 3>> axis;
    };

    const Link* link(const std::string& name) const;
    // The elements of the robot that urdfdom does not read.
    const UnreadElements& unread() const { return unread_; }
    const Joint* joint(const std::string& name) const;
    // The joint names in the order of the file (the first of a name).
    const std::vector<std::string>& jointOrder() const { return jointOrder_; }
    // The links that are no joint's child, in the order of the file: the robot's root (urdfdom
    // accepts a robot with exactly one).
    std::vector<std::string> rootLinks() const;
    // What urdfdom passes over, in the order of the text (attributes before the element's
    // children).
    const std::vector<UnreadMarkup>& markup() const { return markup_; }

    // The line of the element `place` names; when the file lacks that element (a joint without
    // an axis, a link without an inertial), the line of the element it would belong to; 0 when
    // not even that is in the text (a finding then names the file alone).
    int lineOf(const UrdfPlace& place) const;

  private:
    friend UrdfElements readUrdfElements(std::string_view source);

    int robot_ = 0;
    UnreadElements unread_;
    std::unordered_map<std::string, Link> links_;
    std::unordered_map<std::string, Joint> joints_;
    std::vector<std::string> linkOrder_;
    std::vector<std::string> jointOrder_;
    std::vector<UnreadMarkup> markup_;
};

// The elements of `source`, from one reading of the text. Meant for texts the import accepted,
// whose nesting the import has bounded; elements nested deeper than that bound are not looked at.
UrdfElements readUrdfElements(std::string_view source);

}  // namespace corvane::tools
