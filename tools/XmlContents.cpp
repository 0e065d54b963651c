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

}  // namespace

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
