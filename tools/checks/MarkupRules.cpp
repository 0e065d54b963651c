// The markup urdfdom reads past, judged on the URDF text: the imported document keeps no trace of
// what the parser skipped, so the elements and attributes UrdfElements noted are sorted here into
// what the user most likely meant.
#include <fmt/format.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "checks/RuleFamilies.hpp"
#include "support/Spelling.hpp"
#include "support/VisibleText.hpp"

namespace corvane::tools {

namespace {

using Element = UrdfPlace::Element;
using Kind = UnreadMarkup::Kind;

std::string tag(std::string_view name) {
    return "<" + std::string(name) + ">";
}

// "<inertial>, <visual> or <collision>".
std::string tagList(const std::vector<std::string_view>& names) {
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) list += i + 1 == names.size() ? " or " : ", ";
        list += tag(names[i]);
    }
    return list;
}

std::string markupSubject(const UnreadMarkup& markup) {
    const char* kind = markup.owner == Element::Link    ? "link"
                       : markup.owner == Element::Joint ? "joint"
                                                        : "robot";
    return std::string(kind) + " " + singleQuoted(markup.ownerName);
}

// What the robot is left with when urdfdom finds no element `child` in `parent`, for the
// elements whose absence the import accepts.
std::string withoutElement(std::string_view child, std::string_view parent) {
    if (child == "origin") {
        if (parent == "inertial") return "the centre of mass stays at the link's origin";
        if (parent == "joint") return "the joint stands at the parent link's origin";
        return "the geometry stays at the link's origin";
    }
    if (child == "inertial") return "the link gets no mass from it";
    if (child == "axis") return "the joint's axis is (1, 0, 0)";
    if (child == "limit") return "the joint gets no limits from it";
    if (child == "material") return "the visual keeps no colour";
    if (child == "mimic") return "the joint moves on its own";
    return "urdfdom reads the " + tag(parent) + " without it";
}

// What happens to a known element standing where urdfdom does not read it.
std::string misplacedOutcome(const UnreadMarkup& markup) {
    if (markup.name == "origin" && markup.parent == "link") {
        return "the link's geometries and inertia stay at the link's origin";
    }
    if (markup.name == "origin" && markup.parent == "geometry") {
        return markup.enclosingOrigin
                   ? "the geometry stays where the origin beside the <geometry> puts it"
                   : "the geometry stays at the link's origin";
    }
    if (markup.name == "inertial") return "no link gets this mass";
    if (markup.name == "geometry") return "no geometry is made of it";
    return "what it says is lost";
}

void addMisplaced(const UnreadMarkup& markup, std::size_t index, Findings& findings) {
    findings.add(rule("element-misplaced"), markupSubject(markup),
                 fmt::format("{} in {} is ignored: {}; urdfdom reads it in {}", tag(markup.name),
                             tag(markup.parent), misplacedOutcome(markup),
                             tagList(elementsReading(markup.name))),
                 {Element::Markup, "", index, false});
}

void addElement(const UnreadMarkup& markup, std::size_t index, Findings& findings) {
    const UrdfPlace place{Element::Markup, "", index, false};
    if (isCoreElement(markup.name)) {
        addMisplaced(markup, index, findings);
        return;
    }
    if (const auto meant = closestName(markup.name, readChildElements(markup.parent))) {
        findings.add(rule("element-misspelt"), markupSubject(markup),
                     fmt::format("{} in {} is ignored ({}); did you mean '{}'?", tag(markup.name),
                                 tag(markup.parent), withoutElement(*meant, markup.parent), *meant),
                     place);
        return;
    }
    findings.add(rule("element-unknown"), markupSubject(markup),
                 fmt::format("{} in {} is not read by urdfdom: ignored", tag(markup.name),
                             tag(markup.parent)),
                 place);
}

// Attributes that say something urdfdom reads elsewhere: where it reads it.
struct IgnoredAttribute {
    std::string_view element;
    std::string_view attribute;
    std::string_view instead;
};

constexpr std::array ignoredAttributes{
    IgnoredAttribute{"axis", "rpy",
                     "an axis is a direction, written in xyz in the joint's frame; the joint's "
                     "<origin> turns that frame"},
    IgnoredAttribute{"inertia", "iyx",
                     "the tensor is symmetric and urdfdom reads its product as ixy"},
    IgnoredAttribute{"inertia", "izx",
                     "the tensor is symmetric and urdfdom reads its product as ixz"},
    IgnoredAttribute{"inertia", "izy",
                     "the tensor is symmetric and urdfdom reads its product as iyz"},
    IgnoredAttribute{"limit", "soft_lower_limit", "urdfdom reads it on <safety_controller>"},
    IgnoredAttribute{"limit", "soft_upper_limit", "urdfdom reads it on <safety_controller>"},
    IgnoredAttribute{"limit", "k_position", "urdfdom reads it on <safety_controller>"},
    IgnoredAttribute{"limit", "k_velocity", "urdfdom reads it on <safety_controller>"},
};

const IgnoredAttribute* ignoredAttribute(const UnreadMarkup& markup) {
    for (const IgnoredAttribute& ignored : ignoredAttributes) {
        if (ignored.element == markup.parent && ignored.attribute == markup.name) return &ignored;
    }
    return nullptr;
}

// What a value keeps when the attribute `meant` is missing from `element`.
std::string withoutAttribute(std::string_view meant, std::string_view element) {
    if (element == "axis" && meant == "xyz") {
        return "without an xyz the axis is (0, 0, 0), which the import replaces by (1, 0, 0)";
    }
    return "'" + std::string(meant) + "' keeps its default";
}

void addAttribute(const UnreadMarkup& markup, std::size_t index, Findings& findings) {
    const UrdfPlace place{Element::Markup, "", index, false};
    const std::string name = singleQuoted(markup.name);
    if (const IgnoredAttribute* ignored = ignoredAttribute(markup)) {
        findings.add(
            rule("attribute-ignored"), markupSubject(markup),
            fmt::format("{} on {} is ignored: {}", name, tag(markup.parent), ignored->instead),
            place);
        return;
    }
    if (const auto meant = closestName(markup.name, readAttributes(markup.parent))) {
        findings.add(
            rule("attribute-misspelt"), markupSubject(markup),
            fmt::format("{} on {} is ignored ({}); did you mean '{}'?", name, tag(markup.parent),
                        withoutAttribute(*meant, markup.parent), *meant),
            place);
        return;
    }
    findings.add(rule("attribute-unknown"), markupSubject(markup),
                 fmt::format("{} on {} is not read by urdfdom: ignored", name, tag(markup.parent)),
                 place);
}

void addXacroElement(const UnreadMarkup& markup, std::size_t index, Findings& findings) {
    findings.add(rule("xacro-unexpanded"), markupSubject(markup),
                 fmt::format("{} is a xacro element: the file was not expanded, and urdfdom reads "
                             "past it; declare the xacro namespace on the root element, or give "
                             "--xacro, to expand it",
                             tag(markup.name)),
                 {Element::Markup, "", index, false});
}

}  // namespace

void checkMarkup(const CheckContext& context, Findings& findings) {
    const std::vector<UnreadMarkup>& markup = context.urdf().markup();
    for (std::size_t i = 0; i < markup.size(); ++i) {
        switch (markup[i].kind) {
            case Kind::XacroElement:
                addXacroElement(markup[i], i, findings);
                break;
            case Kind::Element:
                addElement(markup[i], i, findings);
                break;
            case Kind::Attribute:
                addAttribute(markup[i], i, findings);
                break;
        }
    }
}

bool axisXyzMisspelt(const CheckContext& context, const std::string& joint) {
    for (const UnreadMarkup& markup : context.urdf().markup()) {
        if (markup.kind == Kind::Attribute && markup.owner == Element::Joint &&
            markup.ownerName == joint && markup.parent == "axis" && !ignoredAttribute(markup) &&
            closestName(markup.name, readAttributes("axis")) == "xyz") {
            return true;
        }
    }
    return false;
}

}  // namespace corvane::tools
