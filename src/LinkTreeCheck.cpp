#include "LinkTreeCheck.hpp"

#include <fmt/format.h>
#include <tinyxml.h>

#include <map>
#include <set>

#include "LinkLookup.hpp"

namespace corvane::Plugins::Urdf {

namespace {

std::string_view attributeOf(const TiXmlElement* element, const char* name) {
    const char* value = element ? element->Attribute(name) : nullptr;
    return value ? value : "";
}

using LinkSet = std::set<std::string_view>;
using JointsByName = std::map<std::string_view, const JointLinks*>;

// urdfdom's tree building: every joint, in name order, must join two defined links.
std::optional<std::string> jointProblem(const LinkSet& links, const JointsByName& joints) {
    for (const auto& [name, joint] : joints) {
        if (joint->parent.empty() || joint->child.empty()) {
            return fmt::format("joint {} lacks a parent or a child link", name);
        }
        if (links.count(joint->child) == 0) {
            return fmt::format("joint {} names the child link {}, which is not defined", name,
                               joint->child);
        }
        if (links.count(joint->parent) == 0) {
            return fmt::format("joint {} names the parent link {}, which is not defined", name,
                               joint->parent);
        }
    }
    return std::nullopt;
}

// urdfdom's root search: exactly one link may be the child of no joint.
std::optional<std::string> rootProblem(const LinkSet& links, const JointsByName& joints) {
    LinkSet children;
    for (const auto& [name, joint] : joints) children.insert(joint->child);
    const std::string_view* root = nullptr;
    for (const auto& link : links) {
        if (children.count(link) != 0) continue;
        if (root) return fmt::format("links {} and {} are both roots", *root, link);
        root = &link;
    }
    if (!root) return std::string("no link is the root: the joints form a cycle");
    return std::nullopt;
}

// The problem urdfdom finds after linking the tree, in its order; empty when it keeps the tree or
// refuses before linking (no links, a link or joint name used twice, a joint without a name).
std::optional<std::string> treeProblem(const LinkTreeFacts& facts) {
    if (facts.unnamedJoint) return std::nullopt;
    const LinkSet links(facts.links.begin(), facts.links.end());
    if (links.empty() || links.size() != facts.links.size()) return std::nullopt;
    JointsByName joints;
    for (const JointLinks& joint : facts.joints) {
        if (!joints.emplace(joint.name, &joint).second) return std::nullopt;
    }
    if (auto problem = jointProblem(links, joints)) return problem;
    return rootProblem(links, joints);
}

}  // namespace

LinkTreeFacts linkTreeFactsOf(const TiXmlDocument& document) {
    LinkTreeFacts facts;
    const TiXmlElement* robot = document.FirstChildElement("robot");
    if (!robot) return facts;
    for (const TiXmlElement* link = robot->FirstChildElement("link"); link;
         link = link->NextSiblingElement("link")) {
        facts.links.push_back(attributeOf(link, "name"));
    }
    for (const TiXmlElement* joint = robot->FirstChildElement("joint"); joint;
         joint = joint->NextSiblingElement("joint")) {
        if (!joint->Attribute("name")) facts.unnamedJoint = true;
        facts.joints.push_back({attributeOf(joint, "name"),
                                attributeOf(joint->FirstChildElement("parent"), "link"),
                                attributeOf(joint->FirstChildElement("child"), "link")});
    }
    return facts;
}

bool isKeptTree(const LinkTreeFacts& facts) {
    if (facts.unnamedJoint || facts.links.empty()) return false;
    // Each link name, marked once some joint has it as its child.
    NameTable links;
    links.reset(facts.links.size());
    for (const std::string_view link : facts.links) {
        if (!links.insert(link)) return false;
    }
    NameTable joints;
    joints.reset(facts.joints.size());
    std::size_t children = 0;
    for (const JointLinks& joint : facts.joints) {
        if (!joints.insert(joint.name)) return false;
        // urdfdom refuses a joint without a parent or child link even where a link has no name.
        if (joint.parent.empty() || joint.child.empty()) return false;
        bool* const isChild = links.markOf(joint.child);
        if (!isChild || !links.contains(joint.parent)) return false;
        if (!*isChild) ++children;
        *isChild = true;
    }
    return facts.links.size() - children == 1;
}

std::optional<std::string> linkTreeProblem(const char* xml) {
    TiXmlDocument document;
    document.Parse(xml);
    if (document.Error()) return std::nullopt;
    return treeProblem(linkTreeFactsOf(document));
}

}  // namespace corvane::Plugins::Urdf
