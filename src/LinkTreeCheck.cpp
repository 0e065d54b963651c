#include "LinkTreeCheck.hpp"

#include <fmt/format.h>
#include <tinyxml.h>

#include <map>
#include <set>
#include <utility>

namespace corvane::Plugins::Urdf {

namespace {

struct JointEnds {
    std::string parent;
    std::string child;
};

std::string attributeOf(const TiXmlElement* element, const char* name) {
    const char* value = element ? element->Attribute(name) : nullptr;
    return value ? value : "";
}

// The link names of the robot element, as urdfdom reads them (a link without a name is kept under
// the empty name); empty when a name is used twice, which urdfdom refuses before linking.
std::optional<std::set<std::string>> linkNamesOf(const TiXmlElement& robot) {
    std::set<std::string> names;
    for (const TiXmlElement* link = robot.FirstChildElement("link"); link;
         link = link->NextSiblingElement("link")) {
        if (!names.insert(attributeOf(link, "name")).second) return std::nullopt;
    }
    return names;
}

// The joints of the robot element by name, with the links they join; empty when a joint has no
// name or shares one, which urdfdom refuses before linking.
std::optional<std::map<std::string, JointEnds>> jointsOf(const TiXmlElement& robot) {
    std::map<std::string, JointEnds> joints;
    for (const TiXmlElement* joint = robot.FirstChildElement("joint"); joint;
         joint = joint->NextSiblingElement("joint")) {
        const char* name = joint->Attribute("name");
        if (!name) return std::nullopt;
        JointEnds ends{attributeOf(joint->FirstChildElement("parent"), "link"),
                       attributeOf(joint->FirstChildElement("child"), "link")};
        if (!joints.emplace(name, std::move(ends)).second) return std::nullopt;
    }
    return joints;
}

// urdfdom's tree building: every joint, in name order, must join two defined links.
std::optional<std::string> jointProblem(const std::set<std::string>& links,
                                        const std::map<std::string, JointEnds>& joints) {
    for (const auto& [name, ends] : joints) {
        if (ends.parent.empty() || ends.child.empty()) {
            return fmt::format("joint {} lacks a parent or a child link", name);
        }
        if (links.count(ends.child) == 0) {
            return fmt::format("joint {} names the child link {}, which is not defined", name,
                               ends.child);
        }
        if (links.count(ends.parent) == 0) {
            return fmt::format("joint {} names the parent link {}, which is not defined", name,
                               ends.parent);
        }
    }
    return std::nullopt;
}

// urdfdom's root search: exactly one link may be the child of no joint.
std::optional<std::string> rootProblem(const std::set<std::string>& links,
                                       const std::map<std::string, JointEnds>& joints) {
    std::set<std::string> children;
    for (const auto& [name, ends] : joints) children.insert(ends.child);
    const std::string* root = nullptr;
    for (const auto& link : links) {
        if (children.count(link) != 0) continue;
        if (root) return fmt::format("links {} and {} are both roots", *root, link);
        root = &link;
    }
    if (!root) return std::string("no link is the root: the joints form a cycle");
    return std::nullopt;
}

}  // namespace

std::optional<std::string> linkTreeProblem(const char* xml) {
    TiXmlDocument document;
    document.Parse(xml);
    if (document.Error()) return std::nullopt;
    const TiXmlElement* robot = document.FirstChildElement("robot");
    if (!robot) return std::nullopt;
    const auto links = linkNamesOf(*robot);
    const auto joints = jointsOf(*robot);
    if (!links || links->empty() || !joints) return std::nullopt;
    if (auto problem = jointProblem(*links, *joints)) return problem;
    return rootProblem(*links, *joints);
}

}  // namespace corvane::Plugins::Urdf
