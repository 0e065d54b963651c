#include "model/UrdfElements.hpp"

#include <tinyxml.h>

#include <algorithm>
#include <charconv>
#include <corvane/xacro/Recognition.hpp>
#include <cstddef>
#include <span>
#include <string>
#include <system_error>
#include <utility>

#include "NestingGuard.hpp"

namespace corvane::tools {

namespace {

using Plugins::Urdf::kMaxElementDepth;
using Plugins::Urdf::parserText;

// A text with at most this many "<" nests at most this deep, which the parser's recursion takes
// in well under a megabyte of stack.
constexpr std::size_t maxTagsForProblemSearch = 10000;

std::optional<std::string> attribute(const TiXmlElement& element, const char* name) {
    const char* value = element.Attribute(name);
    if (value == nullptr) return std::nullopt;
    return value;
}

bool named(const TiXmlElement& element, const char* name) {
    return element.ValueStr() == name;
}

// What urdfdom reads of each element of the core format: its child elements and attributes.
struct ReadElement {
    std::string_view name;
    std::span<const std::string_view> children;
    std::span<const std::string_view> attributes;
    // What urdfdom makes of it, in one line.
    std::string_view summary;
};

constexpr std::array<std::string_view, 3> robotChildren{"link", "joint", "material"};
constexpr std::array<std::string_view, 3> linkChildren{"inertial", "visual", "collision"};
constexpr std::array<std::string_view, 3> inertialChildren{"origin", "mass", "inertia"};
constexpr std::array<std::string_view, 3> visualChildren{"origin", "geometry", "material"};
constexpr std::array<std::string_view, 2> collisionChildren{"origin", "geometry"};
constexpr std::array<std::string_view, 4> geometryChildren{"sphere", "box", "cylinder", "mesh"};
constexpr std::array<std::string_view, 2> materialChildren{"color", "texture"};
constexpr std::array<std::string_view, 9> jointChildren{
    "origin",      "parent", "child", "axis", "limit", "dynamics", "safety_controller",
    "calibration", "mimic"};

constexpr std::array<std::string_view, 2> robotAttributes{"name", "version"};
constexpr std::array<std::string_view, 1> nameAttribute{"name"};
constexpr std::array<std::string_view, 2> jointAttributes{"name", "type"};
constexpr std::array<std::string_view, 2> originAttributes{"xyz", "rpy"};
constexpr std::array<std::string_view, 1> valueAttribute{"value"};
constexpr std::array<std::string_view, 6> inertiaAttributes{"ixx", "ixy", "ixz",
                                                            "iyy", "iyz", "izz"};
constexpr std::array<std::string_view, 1> radiusAttribute{"radius"};
constexpr std::array<std::string_view, 1> sizeAttribute{"size"};
constexpr std::array<std::string_view, 2> cylinderAttributes{"radius", "length"};
constexpr std::array<std::string_view, 2> meshAttributes{"filename", "scale"};
constexpr std::array<std::string_view, 1> rgbaAttribute{"rgba"};
constexpr std::array<std::string_view, 1> filenameAttribute{"filename"};
constexpr std::array<std::string_view, 1> linkAttribute{"link"};
constexpr std::array<std::string_view, 1> xyzAttribute{"xyz"};
constexpr std::array<std::string_view, 4> limitAttributes{"lower", "upper", "effort", "velocity"};
constexpr std::array<std::string_view, 2> dynamicsAttributes{"damping", "friction"};
constexpr std::array<std::string_view, 4> safetyAttributes{"soft_lower_limit", "soft_upper_limit",
                                                           "k_position", "k_velocity"};
constexpr std::array<std::string_view, 2> calibrationAttributes{"rising", "falling"};
constexpr std::array<std::string_view, 3> mimicAttributes{"joint", "multiplier", "offset"};

constexpr std::array<ReadElement, 25> readElements{{
    {"robot", robotChildren, robotAttributes,
     "the robot: its links, the joints between them and named materials"},
    {"link", linkChildren, nameAttribute,
     "a rigid body: its mass and inertia, the shapes it is drawn with and those it collides with"},
    {"inertial",
     inertialChildren,
     {},
     "the body's mass and inertia tensor, about the centre of mass at its origin (none: no mass)"},
    {"origin",
     {},
     originAttributes,
     "a pose: xyz in metres, rpy the roll, pitch and yaw in radians (fixed axes X, Y, Z)"},
    {"mass", {}, valueAttribute, "the body's mass in kilograms"},
    {"inertia",
     {},
     inertiaAttributes,
     "the inertia tensor about the centre of mass in kg m^2: ixx, iyy, izz and the products"},
    {"visual", visualChildren, nameAttribute,
     "a shape the body is drawn with, posed by its origin"},
    {"collision", collisionChildren, nameAttribute,
     "a shape the body collides with, posed by its origin"},
    {"geometry",
     geometryChildren,
     {},
     "one shape: a sphere, a box, a cylinder (along z) or a mesh"},
    {"sphere", {}, radiusAttribute, "a sphere of the radius given, in metres"},
    {"box",
     {},
     sizeAttribute,
     "a box of the three side lengths given in size, in metres, centred on its origin"},
    {"cylinder",
     {},
     cylinderAttributes,
     "a cylinder along z of the radius and length given, in metres, centred on its origin"},
    {"mesh",
     {},
     meshAttributes,
     "a mesh file (package://, file:// or a path) and its scale per axis"},
    {"material", materialChildren, nameAttribute,
     "a colour (rgba, each 0 to 1) or a texture; named at the robot, used by name in a visual"},
    {"color", {}, rgbaAttribute, "the colour as rgba, four numbers from 0 to 1"},
    {"texture", {}, filenameAttribute, "an image file the visual is drawn with"},
    {"joint", jointChildren, jointAttributes,
     "how the child link moves against the parent: type revolute, continuous, prismatic, fixed, "
     "floating or planar"},
    {"parent", {}, linkAttribute, "the link the joint is fixed to"},
    {"child", {}, linkAttribute, "the link the joint moves"},
    {"axis",
     {},
     xyzAttribute,
     "the axis of the joint in the joint's frame (1 0 0 when not written), normalised by urdfdom"},
    {"limit",
     {},
     limitAttributes,
     "the joint's range (lower, upper; radians or metres), its effort and velocity limits"},
    {"dynamics", {}, dynamicsAttributes, "the joint's damping and its static friction"},
    {"safety_controller",
     {},
     safetyAttributes,
     "the soft limits and gains of a safety controller; urdfdom keeps them, simulators rarely use "
     "them"},
    {"calibration",
     {},
     calibrationAttributes,
     "the positions of the reference edges (rising, falling)"},
    {"mimic",
     {},
     mimicAttributes,
     "the joint follows another: position = multiplier * that joint's + offset"},
}};

const ReadElement* readElement(std::string_view name) {
    const auto found = std::find_if(readElements.begin(), readElements.end(),
                                    [name](const ReadElement& e) { return e.name == name; });
    return found == readElements.end() ? nullptr : &*found;
}

// Elements robot descriptions carry for other programs, which urdfdom leaves alone on purpose.
bool isExtension(std::string_view child, std::string_view parent) {
    return child == "gazebo" || child == "transmission" || child == "ros2_control" ||
           child == "sensor" || (child == "material" && parent == "collision");
}

// The namespace prefix of a name ("drake" of "drake:proximity_properties"); empty without one.
std::string_view prefixOf(std::string_view name) {
    const auto colon = name.find(':');
    return colon == std::string_view::npos ? std::string_view{} : name.substr(0, colon);
}

// Whether `prefix` stands for the xacro namespace at `element`: bound to it by an xmlns
// declaration on the element or one around it, or, undeclared, named "xacro" as xacro files
// name it.
bool isXacroPrefix(const TiXmlElement& element, std::string_view prefix) {
    const std::string declaration = "xmlns:" + std::string(prefix);
    for (const TiXmlNode* node = &element; node != nullptr; node = node->Parent()) {
        const TiXmlElement* scope = node->ToElement();
        if (scope == nullptr) break;
        if (const char* uri = scope->Attribute(declaration.c_str())) {
            return xacro::isXacroNamespace(uri);
        }
    }
    return prefix == "xacro";
}

// Walks the core elements of a robot and notes what urdfdom passes over. It descends only into
// elements urdfdom reads, which nest at most five deep (robot, link, visual, geometry, mesh).
class MarkupWalk {
  public:
    explicit MarkupWalk(std::vector<UnreadMarkup>& markup) : markup_(markup) {}

    void robot(const TiXmlElement& robot) {
        const std::string name = attribute(robot, "name").value_or("");
        attributes(robot, {UrdfPlace::Element::Robot, name});
        for (const TiXmlElement* child = robot.FirstChildElement(); child != nullptr;
             child = child->NextSiblingElement()) {
            Owner owner{UrdfPlace::Element::Robot, name};
            if (named(*child, "link") || named(*child, "joint")) {
                owner = {
                    named(*child, "link") ? UrdfPlace::Element::Link : UrdfPlace::Element::Joint,
                    attribute(*child, "name").value_or("")};
            }
            this->child(*child, robot, owner);
        }
    }

  private:
    struct Owner {
        UrdfPlace::Element element;
        std::string name;
    };

    void element(const TiXmlElement& element, const Owner& owner) {
        attributes(element, owner);
        for (const TiXmlElement* child = element.FirstChildElement(); child != nullptr;
             child = child->NextSiblingElement()) {
            this->child(*child, element, owner);
        }
    }

    void child(const TiXmlElement& child, const TiXmlElement& parent, const Owner& owner) {
        const std::string_view name = child.ValueStr();
        if (isExtension(name, parent.ValueStr())) return;
        const std::string_view prefix = prefixOf(name);
        if (!prefix.empty()) {
            if (isXacroPrefix(child, prefix))
                note(UnreadMarkup::Kind::XacroElement, child, parent, owner);
            return;
        }
        const ReadElement* read = readElement(parent.ValueStr());
        const bool expected =
            read != nullptr && std::ranges::find(read->children, name) != read->children.end();
        if (expected) {
            element(child, owner);
        } else {
            note(UnreadMarkup::Kind::Element, child, parent, owner);
        }
    }

    void attributes(const TiXmlElement& element, const Owner& owner) {
        const ReadElement* read = readElement(element.ValueStr());
        for (const TiXmlAttribute* item = element.FirstAttribute(); item != nullptr;
             item = item->Next()) {
            const std::string_view name = item->Name();
            if (!prefixOf(name).empty() || name == "xmlns") continue;
            if (read != nullptr &&
                std::ranges::find(read->attributes, name) != read->attributes.end()) {
                continue;
            }
            UnreadMarkup markup{UnreadMarkup::Kind::Attribute,
                                std::string(name),
                                element.ValueStr(),
                                owner.element,
                                owner.name,
                                item->Row() > 0 ? item->Row() : element.Row(),
                                false};
            markup_.push_back(std::move(markup));
        }
    }

    void note(UnreadMarkup::Kind kind, const TiXmlElement& child, const TiXmlElement& parent,
              const Owner& owner) {
        UnreadMarkup markup{kind,          child.ValueStr(), parent.ValueStr(),
                            owner.element, owner.name,       child.Row(),
                            false};
        if (named(parent, "geometry")) {
            const TiXmlNode* around = parent.Parent();
            const TiXmlElement* enclosing = around != nullptr ? around->ToElement() : nullptr;
            markup.enclosingOrigin =
                enclosing != nullptr && enclosing->FirstChildElement("origin") != nullptr;
        }
        markup_.push_back(std::move(markup));
    }

    std::vector<UnreadMarkup>& markup_;
};

// The line the text ends on, for problems the parser reports at the end of the text.
int lastLine(std::string_view text) {
    const auto breaks = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    return text.empty() || text.back() == '\n' ? breaks : breaks + 1;
}

// The next element after `element` in document order, not descending below the nesting the import
// accepts (deeper elements are not visited; the import refuses such documents anyway) and not
// leaving the subtree of `root`; `depth` follows along (the root is at depth 1).
const TiXmlElement* nextElement(const TiXmlElement* element, const TiXmlElement& root,
                                std::size_t& depth) {
    if (depth < kMaxElementDepth) {
        if (const TiXmlElement* child = element->FirstChildElement()) {
            ++depth;
            return child;
        }
    }
    while (element != &root) {
        if (const TiXmlElement* sibling = element->NextSiblingElement()) return sibling;
        const TiXmlNode* parent = element->Parent();
        element = parent != nullptr ? parent->ToElement() : nullptr;
        if (element == nullptr) return nullptr;
        --depth;
    }
    return nullptr;
}

// A transmission or gazebo element among the robot's children; false for any other element.
bool collectUnreadChild(const TiXmlElement& child, UnreadElements& unread) {
    if (named(child, "transmission")) {
        unread.transmissions.push_back(attribute(child, "name"));
        return true;
    }
    if (named(child, "gazebo")) {
        unread.gazeboReferences.push_back(attribute(child, "reference"));
        return true;
    }
    return false;
}

// Sensor elements may stand anywhere, so the whole tree is walked, but only when the text holds
// "<sensor" at all: the walk costs as much as reading the links of a large robot.
void collectSensors(const TiXmlElement& robot, std::string_view text, UnreadElements& unread) {
    if (text.find("<sensor") == std::string_view::npos) return;
    std::size_t depth = 1;
    for (const TiXmlElement* element = &robot; element != nullptr;
         element = nextElement(element, robot, depth)) {
        if (named(*element, "sensor")) unread.sensors.push_back(attribute(*element, "name"));
    }
}

// A collision or visual element: its line, and what its geometry is.
UrdfElements::Part partOf(const TiXmlElement& element) {
    UrdfElements::Part part{element.Row(), 0, false};
    const TiXmlElement* geometry = element.FirstChildElement("geometry");
    // urdfdom takes the geometry's first child element for its shape.
    const TiXmlElement* shape = geometry != nullptr ? geometry->FirstChildElement() : nullptr;
    if (shape == nullptr) return part;
    part.mapped = named(*shape, "sphere") || named(*shape, "box") || named(*shape, "cylinder") ||
                  named(*shape, "mesh");
    if (named(*shape, "mesh")) part.meshLine = shape->Row();
    return part;
}

// The line of part `index` of `parts` (or of its mesh), or `fallback` when there is none.
int partLine(const std::vector<UrdfElements::Part>& parts, std::size_t index, bool mesh,
             int fallback) {
    if (index >= parts.size()) return fallback;
    const UrdfElements::Part& part = parts[index];
    if (mesh && part.meshLine > 0) return part.meshLine;
    return part.line > 0 ? part.line : fallback;
}

// Three numbers separated by white space, as urdfdom reads a vector; empty otherwise.
std::optional<std::array<double, 3>> threeNumbers(std::string_view text) {
    std::array<double, 3> values{};
    std::size_t count = 0;
    constexpr std::string_view space = " \t\n\r";
    while (true) {
        const auto begin = text.find_first_not_of(space);
        if (begin == std::string_view::npos) break;
        text.remove_prefix(begin);
        std::string_view token = text.substr(0, text.find_first_of(space));
        text.remove_prefix(token.size());
        if (count == values.size()) return std::nullopt;
        if (token.starts_with('+')) token.remove_prefix(1);
        double value = 0;
        const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
        if (error != std::errc() || end != token.data() + token.size()) return std::nullopt;
        values[count++] = value;
    }
    if (count != values.size()) return std::nullopt;
    return values;
}

// A number as urdfdom reads an attribute: leading blanks and a '+' are skipped and the longest
// number at the start is taken; nullopt when there is none.
std::optional<double> leadingNumber(std::string_view text) {
    const auto begin = text.find_first_not_of(" \t\n\r");
    if (begin == std::string_view::npos) return std::nullopt;
    text.remove_prefix(begin);
    if (text.starts_with('+')) text.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc()) return std::nullopt;
    return value;
}

double numberAttribute(const TiXmlElement* element, const char* name, double fallback) {
    const char* text = element != nullptr ? element->Attribute(name) : nullptr;
    if (text == nullptr) return fallback;
    return leadingNumber(text).value_or(fallback);
}

UrdfElements::Inertial inertialOf(const TiXmlElement& element) {
    const TiXmlElement* mass = element.FirstChildElement("mass");
    const TiXmlElement* inertia = element.FirstChildElement("inertia");
    return {numberAttribute(mass, "value", 0),  numberAttribute(inertia, "ixx", 0),
            numberAttribute(inertia, "ixy", 0), numberAttribute(inertia, "ixz", 0),
            numberAttribute(inertia, "iyy", 0), numberAttribute(inertia, "iyz", 0),
            numberAttribute(inertia, "izz", 0)};
}

std::optional<UrdfElements::Mimic> mimicOf(const TiXmlElement& joint) {
    const TiXmlElement* mimic = joint.FirstChildElement("mimic");
    if (mimic == nullptr) return std::nullopt;
    return UrdfElements::Mimic{mimic->Row(), attribute(*mimic, "joint").value_or(""),
                               numberAttribute(mimic, "multiplier", 1),
                               numberAttribute(mimic, "offset", 0)};
}

// The axis urdfdom gives a joint element: see UrdfElements::Joint.
std::optional<std::array<double, 3>> axisOf(const TiXmlElement& joint) {
    const char* type = joint.Attribute("type");
    if (type == nullptr || std::string_view(type) == "fixed" ||
        std::string_view(type) == "floating") {
        return std::nullopt;
    }
    const TiXmlElement* axis = joint.FirstChildElement("axis");
    if (axis == nullptr) return std::array<double, 3>{1, 0, 0};
    const char* xyz = axis->Attribute("xyz");
    if (xyz == nullptr) return std::array<double, 3>{0, 0, 0};
    return threeNumbers(xyz);
}

UrdfElements::Link linkOf(const TiXmlElement& element) {
    UrdfElements::Link link;
    link.line = element.Row();
    if (const TiXmlElement* inertial = element.FirstChildElement("inertial")) {
        link.inertialLine = inertial->Row();
        link.inertial = inertialOf(*inertial);
    }
    for (const TiXmlElement* part = element.FirstChildElement(); part != nullptr;
         part = part->NextSiblingElement()) {
        if (named(*part, "collision")) {
            link.collisions.push_back(partOf(*part));
        } else if (named(*part, "visual")) {
            link.visuals.push_back(partOf(*part));
        }
    }
    return link;
}

UrdfElements::Joint jointOf(const TiXmlElement& element) {
    UrdfElements::Joint joint;
    joint.line = element.Row();
    if (const TiXmlElement* axis = element.FirstChildElement("axis")) joint.axisLine = axis->Row();
    if (const TiXmlElement* limit = element.FirstChildElement("limit"))
        joint.limitLine = limit->Row();
    joint.type = attribute(element, "type").value_or("");
    if (const TiXmlElement* parentLink = element.FirstChildElement("parent")) {
        joint.parentLink = attribute(*parentLink, "link").value_or("");
    }
    if (const TiXmlElement* childLink = element.FirstChildElement("child")) {
        joint.childLink = attribute(*childLink, "link").value_or("");
    }
    joint.mimic = mimicOf(element);
    joint.axis = axisOf(element);
    return joint;
}

}  // namespace

std::span<const std::string_view> readChildElements(std::string_view element) {
    const ReadElement* read = readElement(element);
    return read != nullptr ? read->children : std::span<const std::string_view>{};
}

std::span<const std::string_view> readAttributes(std::string_view element) {
    const ReadElement* read = readElement(element);
    return read != nullptr ? read->attributes : std::span<const std::string_view>{};
}

std::string_view readElementSummary(std::string_view element) {
    const ReadElement* read = readElement(element);
    return read != nullptr ? read->summary : std::string_view{};
}

bool isCoreElement(std::string_view name) {
    return readElement(name) != nullptr;
}

std::vector<std::string_view> elementsReading(std::string_view child) {
    std::vector<std::string_view> parents;
    for (const ReadElement& element : readElements) {
        if (std::ranges::find(element.children, child) != element.children.end()) {
            parents.push_back(element.name);
        }
    }
    return parents;
}

const UrdfElements::Link* UrdfElements::link(const std::string& name) const {
    const auto found = links_.find(name);
    return found == links_.end() ? nullptr : &found->second;
}

const UrdfElements::Joint* UrdfElements::joint(const std::string& name) const {
    const auto found = joints_.find(name);
    return found == joints_.end() ? nullptr : &found->second;
}

std::vector<std::string> UrdfElements::rootLinks() const {
    std::unordered_map<std::string_view, bool> child;
    for (const auto& [name, joint] : joints_) child.emplace(joint.childLink, true);
    std::vector<std::string> roots;
    for (const std::string& name : linkOrder_) {
        if (!child.contains(name)) roots.push_back(name);
    }
    return roots;
}

int UrdfElements::lineOf(const UrdfPlace& place) const {
    using Element = UrdfPlace::Element;
    switch (place.element) {
        case Element::Robot:
            return robot_;
        case Element::Link:
        case Element::Inertial:
        case Element::Collision:
        case Element::Visual:
        case Element::Mesh: {
            const Link* found = link(place.owner);
            if (found == nullptr) return 0;
            if (place.element == Element::Link) return found->line;
            if (place.element == Element::Inertial) {
                return found->inertialLine > 0 ? found->inertialLine : found->line;
            }
            const bool visual = place.element == Element::Visual ||
                                (place.element == Element::Mesh && place.visual);
            return partLine(visual ? found->visuals : found->collisions, place.index,
                            place.element == Element::Mesh, found->line);
        }
        case Element::Joint:
        case Element::Axis:
        case Element::Limit:
        case Element::Mimic: {
            const Joint* found = joint(place.owner);
            if (found == nullptr) return 0;
            const int line = place.element == Element::Axis    ? found->axisLine
                             : place.element == Element::Limit ? found->limitLine
                             : place.element == Element::Mimic
                                 ? (found->mimic ? found->mimic->line : 0)
                                 : found->line;
            return line > 0 ? line : found->line;
        }
        case Element::Markup:
            return place.index < markup_.size() ? markup_[place.index].line : robot_;
    }
    return 0;
}

UrdfElements readUrdfElements(std::string_view source) {
    const std::string text = parserText(source);
    TiXmlDocument document;
    document.Parse(text.c_str());
    UrdfElements elements;
    const TiXmlElement* robot = document.FirstChildElement("robot");
    if (robot == nullptr) return elements;
    elements.robot_ = robot->Row();
    for (const TiXmlElement* element = robot->FirstChildElement(); element != nullptr;
         element = element->NextSiblingElement()) {
        if (collectUnreadChild(*element, elements.unread_)) continue;
        const char* name = element->Attribute("name");
        if (name == nullptr) continue;
        if (named(*element, "link")) {
            if (elements.links_.try_emplace(name, linkOf(*element)).second) {
                elements.linkOrder_.emplace_back(name);
            }
        } else if (named(*element, "joint")) {
            if (elements.joints_.try_emplace(name, jointOf(*element)).second) {
                elements.jointOrder_.emplace_back(name);
            }
        }
    }
    collectSensors(*robot, text, elements.unread_);
    MarkupWalk(elements.markup_).robot(*robot);
    return elements;
}

std::optional<XmlProblem> findXmlProblem(std::string_view source) {
    const std::string text = parserText(source);
    if (static_cast<std::size_t>(std::count(text.begin(), text.end(), '<')) >
        maxTagsForProblemSearch) {
        return std::nullopt;
    }
    TiXmlDocument document;
    document.Parse(text.c_str());
    if (!document.Error()) return std::nullopt;
    XmlProblem problem{document.ErrorRow(), document.ErrorDesc()};
    if (problem.line <= 0 && document.ErrorId() != TiXmlBase::TIXML_ERROR_DOCUMENT_EMPTY) {
        problem.line = lastLine(source.substr(0, source.find('\0')));
    }
    if (problem.line < 0) problem.line = 0;
    return problem;
}

}  // namespace corvane::tools
