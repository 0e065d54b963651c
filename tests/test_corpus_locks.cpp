// Kinematic locks of real robot descriptions. What each file's locks must hold is worked out here
// from urdfdom's own parse of the file: components of massless links joined by fixed joints, and
// the links with mass that each component touches.
#include <gtest/gtest.h>
#include <urdf_model/model.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ParsedUrdf.hpp"
#include "TestSupport.hpp"

using namespace corvane;
using namespace corvane::testing;

namespace {

using Names = std::set<std::string>;

// Union-find over link names.
class Components {
  public:
    std::string find(const std::string& name) {
        std::string root = name;
        while (parent_.count(root) != 0 && parent_.at(root) != root) root = parent_.at(root);
        std::string current = name;
        while (current != root) {
            std::string next = parent_.count(current) != 0 ? parent_.at(current) : root;
            parent_[current] = root;
            current = next;
        }
        return root;
    }
    void join(const std::string& a, const std::string& b) { parent_[find(a)] = find(b); }

  private:
    std::map<std::string, std::string> parent_;
};

// What the locks of one robot must hold, from urdfdom's model alone.
struct ExpectedLocks {
    Names massless;
    // Massless links with at least one fixed joint: exactly these are locked.
    Names locked;
    // Anchor name -> all bodies of its lock, the anchor included.
    std::map<std::string, Names> groups;
};

ExpectedLocks expectedLocks(const urdf::ModelInterface& robot) {
    ExpectedLocks expected;
    for (const auto& [name, link] : robot.links_) {
        if (!link->inertial) expected.massless.insert(name);
    }
    const auto isMassless = [&](const std::string& name) {
        return expected.massless.count(name) != 0;
    };

    Components components;
    std::vector<std::pair<std::string, std::string>> masslessToMass;
    for (const auto& [name, joint] : robot.joints_) {
        if (joint->type != urdf::Joint::FIXED) continue;
        const std::string& parent = joint->parent_link_name;
        const std::string& child = joint->child_link_name;
        if (isMassless(parent)) expected.locked.insert(parent);
        if (isMassless(child)) expected.locked.insert(child);
        if (isMassless(parent) && isMassless(child)) components.join(parent, child);
        if (isMassless(parent) && !isMassless(child)) masslessToMass.emplace_back(parent, child);
        if (!isMassless(parent) && isMassless(child)) masslessToMass.emplace_back(child, parent);
    }

    // Per component: its members, and the first by name of the links with mass it touches.
    std::map<std::string, Names> members;
    for (const auto& name : expected.locked) members[components.find(name)].insert(name);
    std::map<std::string, std::string> firstMassNeighbour;
    for (const auto& [masslessLink, massLink] : masslessToMass) {
        auto& first = firstMassNeighbour[components.find(masslessLink)];
        if (first.empty() || massLink < first) first = massLink;
    }
    for (const auto& [root, names] : members) {
        const auto touched = firstMassNeighbour.find(root);
        const std::string anchor =
            touched != firstMassNeighbour.end() ? touched->second : *names.begin();
        auto& group = expected.groups[anchor];
        group.insert(names.begin(), names.end());
        group.insert(anchor);
    }
    return expected;
}

// What the import made of the same robot.
struct Lock {
    std::string name;
    std::vector<std::string> bodies;
    std::size_t position = 0;  // index among the model's members
};

struct ImportedLocks {
    Names bodies;
    std::vector<Lock> locks;
    // Link name -> its negligible-mass assignments, "path=value", in member order.
    std::map<std::string, std::vector<std::string>> negligible;
    // Member index -> the link a negligible-mass assignment there is for.
    std::map<std::size_t, std::string> negligibleAt;
    std::size_t memberCount = 0;
};

bool isNegligibleMassTarget(const std::vector<std::string>& segments) {
    return segments.size() >= 3 && segments[1] == "inertia";
}

std::vector<std::string> arrayIdentifiers(const VarAssignment& lock) {
    std::vector<std::string> names;
    const auto bodies = findMember(lock, {"bodies"});
    if (!bodies || !bodies->value() || bodies->value()->expressionKind() != Expression::Kind::Array)
        return names;
    for (const auto& element : std::static_pointer_cast<Array>(bodies->value())->elements()) {
        const auto constant = std::dynamic_pointer_cast<Constant>(element);
        names.push_back(constant && constant->token().kind == TokenKind::Identifier
                            ? constant->token().lexeme
                            : "<not an identifier>");
    }
    return names;
}

ImportedLocks importedLocks(const ModelDeclaration& model) {
    ImportedLocks imported;
    const auto& members = model.members();
    imported.memberCount = members.size();
    for (std::size_t i = 0; i < members.size(); ++i) {
        const auto node = members[i] ? members[i]->toVarAssignment() : nullptr;
        if (!node) continue;
        const std::string type = typePath(*node);
        const auto segments = segmentsOf(*node);
        if (segments.empty()) {
            ADD_FAILURE() << "model member " << i << " has no target";
            continue;
        }
        if (type == "Physics3D.Bodies.RigidBody") {
            imported.bodies.insert(segments.front());
        } else if (type == "Physics.KinematicLock") {
            imported.locks.push_back(Lock{segments.size() == 1 ? segments.front() : "<dotted>",
                                          arrayIdentifiers(*node), i});
        } else if (type.empty() && isNegligibleMassTarget(segments)) {
            std::string path;
            for (std::size_t s = 1; s < segments.size(); ++s) path += "." + segments[s];
            imported.negligible[segments.front()].push_back(path + "=" +
                                                            constantLexeme(*node).value_or("?"));
            imported.negligibleAt.emplace(i, segments.front());
        }
    }
    return imported;
}

const std::vector<std::string> kNegligibleAssignments = {
    ".inertia.mass=0.00000000000001", ".inertia.tensor.e00=0.000000000001",
    ".inertia.tensor.e11=0.000000000001", ".inertia.tensor.e22=0.000000000001"};

struct CorpusRobot {
    std::string file;
    ExpectedLocks expected;
    ImportedLocks imported;
};

// Every valid corpus file, parsed by urdfdom and imported by the plugin.
std::vector<CorpusRobot> corpusRobots() {
    std::vector<CorpusRobot> robots;
    for (const auto& path : corpusFiles("valid")) {
        const std::string text = readFile(path);
        const corvane::Plugins::Urdf::ParsedUrdf robot(text);
        EXPECT_TRUE(robot) << path;
        const auto model = modelOf(importUrdf(text));
        EXPECT_TRUE(model) << path;
        if (!robot || !model) continue;
        robots.push_back({path.filename().string(), expectedLocks(*robot), importedLocks(*model)});
    }
    return robots;
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names) text += name + "_";
    return text;
}

}  // namespace

TEST(CorpusLocks, EachFixedMasslessLinkIsLockedOnceWithTheExpectedAnchorAndGroup) {
    CORVANE_SKIP_WITHOUT_CORPUS();
    const auto robots = corpusRobots();
    ASSERT_FALSE(robots.empty());
    std::size_t lockCount = 0;
    for (const auto& robot : robots) {
        SCOPED_TRACE(robot.file);
        const auto& locks = robot.imported.locks;
        lockCount += locks.size();

        // One lock per expected anchor, in ascending byte order of the anchors' names.
        std::vector<std::string> anchors;
        for (const auto& lock : locks) anchors.push_back(lock.bodies.empty() ? "" : lock.bodies[0]);
        std::vector<std::string> expectedAnchors;
        for (const auto& [anchor, group] : robot.expected.groups) expectedAnchors.push_back(anchor);
        EXPECT_EQ(anchors, expectedAnchors);

        std::map<std::string, int> timesLocked;
        for (const auto& lock : locks) {
            EXPECT_EQ(lock.name, joined(lock.bodies) + "kinematic_lock");
            const Names members(lock.bodies.begin(), lock.bodies.end());
            EXPECT_EQ(members.size(), lock.bodies.size()) << lock.name << " repeats a body";
            ASSERT_FALSE(lock.bodies.empty()) << lock.name;
            const auto group = robot.expected.groups.find(lock.bodies.front());
            if (group != robot.expected.groups.end()) {
                EXPECT_EQ(members, group->second) << lock.name;
            }
            for (const auto& body : lock.bodies) {
                EXPECT_EQ(robot.imported.bodies.count(body), 1u) << body << " has no body";
                if (robot.expected.massless.count(body) != 0) ++timesLocked[body];
            }
        }
        for (const auto& link : robot.expected.massless) {
            const int expectedTimes = robot.expected.locked.count(link) != 0 ? 1 : 0;
            EXPECT_EQ(timesLocked[link], expectedTimes) << link;
        }
    }
    // The corpus is full of sensor frames and flanges: the check must have had locks to look at.
    EXPECT_GT(lockCount, 0u);
}

TEST(CorpusLocks, MasslessMembersGetNegligibleMassJustBeforeTheirLock) {
    CORVANE_SKIP_WITHOUT_CORPUS();
    for (const auto& robot : corpusRobots()) {
        SCOPED_TRACE(robot.file);
        for (const auto& [link, paths] : robot.imported.negligible) {
            EXPECT_EQ(robot.expected.locked.count(link), 1u)
                << link << " gets a negligible mass without being locked";
            EXPECT_EQ(paths, kNegligibleAssignments) << link;
        }
        for (const auto& link : robot.expected.locked) {
            EXPECT_EQ(robot.imported.negligible.count(link), 1u)
                << link << " has no negligible mass";
        }

        // Each lock is preceded by the assignments of its massless bodies, four each, in the
        // lock's order, and by nothing else since the previous lock; the groups end the model.
        std::size_t groupMembers = 0;
        for (const auto& lock : robot.imported.locks) {
            std::vector<std::string> expected;
            for (const auto& body : lock.bodies) {
                if (robot.expected.massless.count(body) != 0)
                    expected.insert(expected.end(), 4, body);
            }
            ASSERT_GE(lock.position, expected.size()) << lock.name;
            std::vector<std::string> actual;
            for (std::size_t i = lock.position - expected.size(); i < lock.position; ++i) {
                const auto at = robot.imported.negligibleAt.find(i);
                actual.push_back(at != robot.imported.negligibleAt.end() ? at->second : "<other>");
            }
            EXPECT_EQ(actual, expected) << lock.name;
            groupMembers += expected.size() + 1;
        }
        EXPECT_EQ(groupMembers, robot.imported.negligibleAt.size() + robot.imported.locks.size());
        std::set<std::size_t> lockPositions;
        for (const auto& lock : robot.imported.locks) lockPositions.insert(lock.position);
        ASSERT_LE(groupMembers, robot.imported.memberCount);
        for (std::size_t i = robot.imported.memberCount - groupMembers;
             i < robot.imported.memberCount; ++i) {
            EXPECT_TRUE(robot.imported.negligibleAt.count(i) != 0 || lockPositions.count(i) != 0)
                << "member " << i << " lies among the groups at the end of the model";
        }
    }
}
