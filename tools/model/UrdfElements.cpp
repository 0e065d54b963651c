#include "model/UrdfElements.hpp"

#include <tinyxml.h>

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <system_error>

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
