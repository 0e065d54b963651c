// name-clash: the members of the imported document by their names. The host knows a model's
// members by name alone. urdfdom keeps the names of links, and those of joints, unique, but the
// import renames a joint named like a link to "joint_" + its name and derives names of its own
// (NAME_range, NAME_actuator, a kinematic lock's from its links'), and these can meet a name the
// robot already gives another member.
#include <fmt/format.h>

#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "checks/RuleFamilies.hpp"
#include "support/VisibleText.hpp"

namespace corvane::tools {

namespace {

using Element = UrdfPlace::Element;
using Kind = DeclarationOverview::Kind;

const char* kindName(Kind kind) {
    switch (kind) {
        case Kind::Body:
            return "body";
        case Kind::Interaction:
            return "interaction";
        case Kind::Range:
            return "range";
        case Kind::Actuator:
            return "actuator";
        case Kind::KinematicLock:
            return "kinematic lock";
        case Kind::Other:
            break;
    }
    return "member";
}

// What the import appends to a joint's model name to name the member.
std::string_view derivedSuffix(Kind kind) {
    if (kind == Kind::Range) return "_range";
    if (kind == Kind::Actuator) return "_actuator";
    return "";
}

// The URDF element a member was made from, and how a message names it: "the interaction of
// joint 'b' (line 4; renamed, as link 'b' has the joint's name)".
struct Origin {
    UrdfPlace place;
    std::string text;
};

class Origins {
  public:
    explicit Origins(const CheckContext& context) : context_(context) {}

    Origin of(const DeclarationOverview& member) {
        switch (member.kind) {
            case Kind::Body:
                return located({Element::Link, member.name, 0, false},
                               "the body of link " + hostNameQuoted(member.name));
            case Kind::KinematicLock:
                return located({Element::Link, member.body, 0, false},
                               "the kinematic lock of link " + hostNameQuoted(member.body));
            case Kind::Interaction:
            case Kind::Range:
            case Kind::Actuator:
                if (const std::string* joint = jointOfChild(member.body)) {
                    return jointOrigin(member, *joint);
                }
                break;
            case Kind::Other:
                break;
        }
        return {{Element::Robot, "", 0, false},
                std::string("the ") + kindName(member.kind) + " " + hostNameQuoted(member.name)};
    }

  private:
    Origin located(const UrdfPlace& place, std::string text, std::string note = {}) const {
        std::string details = context_.placeText(place).value_or("");
        if (!details.empty() && !note.empty()) details += "; ";
        details += note;
        if (!details.empty()) text += " (" + details + ")";
        return {place, std::move(text)};
    }

    // A member made for a joint is named after the joint, unless the import renamed it.
    Origin jointOrigin(const DeclarationOverview& member, const std::string& joint) const {
        const std::string_view suffix = derivedSuffix(member.kind);
        const std::string_view name = member.name;
        const bool renamed =
            !name.ends_with(suffix) || name.substr(0, name.size() - suffix.size()) != joint;
        return located(
            {Element::Joint, joint, 0, false},
            std::string("the ") + kindName(member.kind) + " of joint " + hostNameQuoted(joint),
            renamed ? "renamed, as link " + hostNameQuoted(joint) + " has the joint's name" : "");
    }

    // The joint whose child `link` is: a link is the child of one joint at most.
    const std::string* jointOfChild(const std::string& link) {
        if (jointsByChild_.empty()) {
            for (const std::string& name : context_.urdf().jointOrder()) {
                if (const UrdfElements::Joint* joint = context_.urdf().joint(name)) {
                    jointsByChild_.try_emplace(joint->childLink, name);
                }
            }
        }
        const auto found = jointsByChild_.find(link);
        return found == jointsByChild_.end() ? nullptr : &found->second;
    }

    const CheckContext& context_;
    std::unordered_map<std::string, std::string> jointsByChild_;
};

// "A and B", "A, B and C".
std::string listed(const std::vector<Origin>& origins) {
    std::string text;
    for (std::size_t i = 0; i < origins.size(); ++i) {
        if (i > 0) text += i + 1 == origins.size() ? " and " : ", ";
        text += origins[i].text;
    }
    return text;
}

}  // namespace

void checkNameClashes(const CheckContext& context, Findings& findings) {
    const std::vector<DeclarationOverview>& declarations = context.model().declarations;
    std::unordered_map<std::string_view, std::vector<std::size_t>> byName;
    std::vector<std::string_view> names;  // in the order they are first declared
    for (std::size_t i = 0; i < declarations.size(); ++i) {
        auto& members = byName[declarations[i].name];
        if (members.empty()) names.emplace_back(declarations[i].name);
        members.push_back(i);
    }
    Origins origins(context);
    // A renamed joint's range and actuator meet those of the other joint too: one finding for
    // the pair of elements, about the first name they share.
    std::set<std::set<std::pair<Element, std::string>>> reported;
    for (const std::string_view name : names) {
        const std::vector<std::size_t>& members = byName[name];
        if (members.size() < 2) continue;
        std::vector<Origin> clashing;
        std::set<std::pair<Element, std::string>> elements;
        for (const std::size_t member : members) {
            clashing.push_back(origins.of(declarations[member]));
            elements.emplace(clashing.back().place.element, clashing.back().place.owner);
        }
        if (!reported.insert(std::move(elements)).second) continue;
        const DeclarationOverview& last = declarations[members.back()];
        findings.add(rule("name-clash"),
                     std::string(kindName(last.kind)) + " " + hostNameQuoted(last.name),
                     fmt::format("{} members of the document are named {}: {}; the host cannot "
                                 "tell them apart: rename one of them",
                                 members.size(), hostNameQuoted(last.name), listed(clashing)),
                     clashing.back().place);
    }
}

}  // namespace corvane::tools
