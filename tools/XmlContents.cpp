#include "XmlContents.hpp"

#include <tinyxml.h>

#include <algorithm>
#include <cstddef>

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

void collectFrom(const TiXmlElement& robot, UnreadElements& unread) {
    for (const TiXmlElement* child = robot.FirstChildElement(); child != nullptr;
         child = child->NextSiblingElement()) {
        if (named(*child, "transmission")) {
            unread.transmissions.push_back(attribute(*child, "name"));
        } else if (named(*child, "gazebo")) {
            unread.gazeboReferences.push_back(attribute(*child, "reference"));
        }
    }
    std::size_t depth = 1;
    for (const TiXmlElement* element = &robot; element != nullptr;
         element = nextElement(element, robot, depth)) {
        if (named(*element, "sensor")) unread.sensors.push_back(attribute(*element, "name"));
    }
}

// The first child element of `parent` called `name`, or null.
const TiXmlElement* child(const TiXmlElement& parent, const char* name) {
    return parent.FirstChildElement(name);
}

// The line of the mesh element inside the geometry of a collision or visual element; 0 when its
// geometry is no mesh.
int meshLine(const TiXmlElement& collisionOrVisual) {
    const TiXmlElement* geometry = child(collisionOrVisual, "geometry");
    const TiXmlElement* mesh = geometry != nullptr ? child(*geometry, "mesh") : nullptr;
    return mesh != nullptr ? mesh->Row() : 0;
}

// The line of element `index` of `lines`, or `fallback` when there is none.
int lineAt(const std::vector<int>& lines, std::size_t index, int fallback) {
    return index < lines.size() && lines[index] > 0 ? lines[index] : fallback;
}

}  // namespace

int ElementLines::lineOf(const UrdfPlace& place) const {
    using Element = UrdfPlace::Element;
    switch (place.element) {
        case Element::Robot:
            return robot_;
        case Element::Link:
        case Element::Inertial:
        case Element::Collision:
        case Element::Visual:
        case Element::Mesh: {
            const auto found = links_.find(place.owner);
            if (found == links_.end()) return 0;
            const LinkLines& link = found->second;
            const bool visual = place.element == Element::Visual ||
                                (place.element == Element::Mesh && place.visual);
            const int element =
                lineAt(visual ? link.visuals : link.collisions, place.index, link.link);
            if (place.element == Element::Inertial)
                return link.inertial > 0 ? link.inertial : link.link;
            if (place.element == Element::Link) return link.link;
            if (place.element != Element::Mesh) return element;
            return lineAt(visual ? link.visualMeshes : link.collisionMeshes, place.index, element);
        }
        case Element::Joint:
        case Element::Axis:
        case Element::Limit: {
            const auto found = joints_.find(place.owner);
            if (found == joints_.end()) return 0;
            const JointLines& joint = found->second;
            const int element = place.element == Element::Axis    ? joint.axis
                                : place.element == Element::Limit ? joint.limit
                                                                  : joint.joint;
            return element > 0 ? element : joint.joint;
        }
    }
    return 0;
}

ElementLines readElementLines(std::string_view source) {
    const std::string text = parserText(source);
    TiXmlDocument document;
    document.Parse(text.c_str());
    ElementLines lines;
    const TiXmlElement* robot = document.FirstChildElement("robot");
    if (robot == nullptr) return lines;
    lines.robot_ = robot->Row();
    for (const TiXmlElement* element = robot->FirstChildElement(); element != nullptr;
         element = element->NextSiblingElement()) {
        const char* name = element->Attribute("name");
        if (name == nullptr) continue;
        if (named(*element, "link")) {
            const auto [entry, added] = lines.links_.try_emplace(name);
            if (!added) continue;
            ElementLines::LinkLines& link = entry->second;
            link.link = element->Row();
            if (const TiXmlElement* inertial = child(*element, "inertial")) {
                link.inertial = inertial->Row();
            }
            for (const TiXmlElement* part = element->FirstChildElement(); part != nullptr;
                 part = part->NextSiblingElement()) {
                if (named(*part, "collision")) {
                    link.collisions.push_back(part->Row());
                    link.collisionMeshes.push_back(meshLine(*part));
                } else if (named(*part, "visual")) {
                    link.visuals.push_back(part->Row());
                    link.visualMeshes.push_back(meshLine(*part));
                }
            }
        } else if (named(*element, "joint")) {
            const auto [entry, added] = lines.joints_.try_emplace(name);
            if (!added) continue;
            ElementLines::JointLines& joint = entry->second;
            joint.joint = element->Row();
            if (const TiXmlElement* axis = child(*element, "axis")) joint.axis = axis->Row();
            if (const TiXmlElement* limit = child(*element, "limit")) joint.limit = limit->Row();
        }
    }
    return lines;
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

UnreadElements readUnreadElements(std::string_view source) {
    const std::string text = parserText(source);
    TiXmlDocument document;
    document.Parse(text.c_str());
    UnreadElements unread;
    if (const TiXmlElement* robot = document.FirstChildElement("robot")) {
        collectFrom(*robot, unread);
    }
    return unread;
}

}  // namespace corvane::tools
