// The pieces behind corvane-urdf's picture and summary, called directly: what the tool reads from
// an imported document, how it writes names into DOT, and how it shows untrusted text.
#include <gtest/gtest.h>
#include <urdf_model/model.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ParsedUrdf.hpp"
#include "TestSupport.hpp"
#include "graph/DotGraph.hpp"
#include "model/ModelOverview.hpp"
#include "support/VisibleText.hpp"

namespace {

using corvane::testing::corpusFiles;
using corvane::testing::importUrdf;
using corvane::testing::linesOf;
using corvane::testing::LogCapture;
using corvane::testing::readFile;
using namespace corvane::tools;

const std::string oneOfEverything =
    std::string(CORVANE_SOURCE_DIR) + "/tests/data/one_of_everything.urdf";

// Lines that declare the node `name` (edges name it too, but never at the start of a line).
std::size_t countNodeLines(const std::string& dot, const std::string& name) {
    const auto lines = linesOf(dot);
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const auto& line) {
            const auto start = line.find_first_not_of(' ');
            return start != std::string::npos &&
                   line.compare(start, name.size() + 4, "\"" + name + "\" [") == 0;
        }));
}

std::size_t countLinesContaining(const std::string& text, const std::string& part) {
    const auto lines = linesOf(text);
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(),
                      [&](const auto& line) { return line.find(part) != std::string::npos; }));
}

// ---------------------------------------------------------------------------------------------
// What the tool reads from a document, checked against urdfdom's reading of the same file

std::optional<InteractionKind> expectedKind(const urdf::Joint& joint) {
    switch (joint.type) {
        case urdf::Joint::REVOLUTE:
        case urdf::Joint::CONTINUOUS:
            return InteractionKind::Hinge;
        case urdf::Joint::PRISMATIC:
            return InteractionKind::Prismatic;
        case urdf::Joint::FIXED:
            return InteractionKind::Lock;
        default:
            return std::nullopt;
    }
}

// A link without inertial data gets a mass from a kinematic lock exactly when a fixed joint
// holds it (in a link tree, which every valid corpus file is).
bool heldByFixedJoint(const urdf::ModelInterface& robot, const std::string& link) {
    return std::any_of(robot.joints_.begin(), robot.joints_.end(), [&](const auto& entry) {
        const urdf::Joint& joint = *entry.second;
        return joint.type == urdf::Joint::FIXED &&
               (joint.parent_link_name == link || joint.child_link_name == link);
    });
}

void expectOverviewFollowsUrdfdom(const ModelOverview& overview,
                                  const urdf::ModelInterface& robot) {
    ASSERT_EQ(overview.bodies.size(), robot.links_.size());
    for (const auto& body : overview.bodies) {
        SCOPED_TRACE("body " + body.name);
        const auto link = robot.links_.find(body.name);
        ASSERT_NE(link, robot.links_.end());
        const bool inertial = bool(link->second->inertial);
        EXPECT_EQ(body.ownMass, inertial);
        EXPECT_EQ(body.withoutAnyMass(), !inertial && !heldByFixedJoint(robot, body.name));
    }
    std::map<std::string, const InteractionOverview*> interactions;
    for (const auto& interaction : overview.interactions) {
        interactions[interaction.name] = &interaction;
    }
    std::size_t mapped = 0;
    for (const auto& [name, joint] : robot.joints_) {
        SCOPED_TRACE("joint " + name);
        const auto kind = expectedKind(*joint);
        if (!kind) continue;
        ++mapped;
        const std::string modelName = robot.links_.contains(name) ? "joint_" + name : name;
        const auto found = interactions.find(modelName);
        ASSERT_NE(found, interactions.end());
        EXPECT_EQ(found->second->kind, *kind);
        EXPECT_EQ(found->second->parentBody, joint->parent_link_name);
        EXPECT_EQ(found->second->childBody, joint->child_link_name);
    }
    EXPECT_EQ(overview.interactions.size(), mapped);
}

TEST(VizOverview, OneOfEverythingReadsAsUrdfdomSeesIt) {
    const LogCapture quiet;
    const std::string text = readFile(oneOfEverything);
    const auto document = importUrdf(text);
    ASSERT_TRUE(document);
    const ModelOverview overview = readModelOverview(*document);
    EXPECT_EQ(overview.modelName, "everything");
    expectOverviewFollowsUrdfdom(overview, *corvane::Plugins::Urdf::ParsedUrdf(text));

    const GeometryCounts oneOfEach{{"box", 1}, {"cylinder", 1}, {"mesh", 1}, {"sphere", 1}};
    const auto base = std::find_if(overview.bodies.begin(), overview.bodies.end(),
                                   [](const auto& body) { return body.name == "base"; });
    ASSERT_NE(base, overview.bodies.end());
    EXPECT_EQ(base->contactCounts, oneOfEach);
    EXPECT_EQ(base->visualCounts, oneOfEach);
    EXPECT_EQ(overview.ranges, 3u);
    EXPECT_EQ(overview.actuators, 3u);
    ASSERT_EQ(overview.locks.size(), 1u);
    EXPECT_EQ(overview.locks[0].name, "arm_tool_kinematic_lock");
    EXPECT_EQ(overview.locks[0].bodies, (std::vector<std::string>{"arm", "tool"}));
}

TEST(VizOverview, EveryValidCorpusRobotReadsAsUrdfdomSeesIt) {
    CORVANE_SKIP_WITHOUT_CORPUS();
    const LogCapture quiet;
    for (const auto& file : corpusFiles("valid")) {
        SCOPED_TRACE(file.filename().string());
        const std::string text = readFile(file);
        const auto document = importUrdf(text);
        ASSERT_TRUE(document);
        const corvane::Plugins::Urdf::ParsedUrdf robot(text);
        ASSERT_TRUE(robot);
        expectOverviewFollowsUrdfdom(readModelOverview(*document), *robot);
    }
}

// ---------------------------------------------------------------------------------------------
// DOT source

TEST(VizDot, BodiesEdgesAndLockClustersOfOneOfEverything) {
    const LogCapture quiet;
    const auto document = importUrdf(readFile(oneOfEverything));
    ASSERT_TRUE(document);
    const std::string dot = toDot(readModelOverview(*document));
    const auto lines = linesOf(dot);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "digraph \"everything\" {");
    EXPECT_EQ(lines.back(), "}");

    // One node per body; the massless lock member marked, the body without mass highlighted.
    for (const std::string body : {"arm", "base", "floater", "sled", "slider", "wheel"}) {
        EXPECT_EQ(countLinesContaining(dot, "\"" + body + "\" [label=\"" + body + "\"];"), 1u)
            << body;
    }
    EXPECT_EQ(countLinesContaining(dot,
                                   "\"tool\" [label=\"tool\\nmassless\", style=\"rounded,"
                                   "filled,dashed\""),
              1u);
    EXPECT_EQ(countLinesContaining(dot, "\"dangling\" [label=\"dangling\\nno mass\", fillcolor="),
              1u);

    // One edge per interaction, parent to child, labelled with name and kind.
    EXPECT_EQ(countLinesContaining(dot, " -> "), 5u);
    for (const std::string edge :
         {"\"base\" -> \"arm\" [label=\"shoulder\\nhinge\"];",
          "\"arm\" -> \"wheel\" [label=\"axle\\nhinge\"];",
          "\"base\" -> \"slider\" [label=\"rail\\nprismatic\"];",
          "\"base\" -> \"dangling\" [label=\"hanger\\nhinge\"];",
          "\"arm\" -> \"tool\" [label=\"tool_mount\\nlock\", style=dashed];"}) {
        EXPECT_EQ(countLinesContaining(dot, edge), 1u) << edge;
    }

    // The lock's cluster holds its two bodies, and they are drawn nowhere else.
    const auto cluster = std::find(lines.begin(), lines.end(), "  subgraph \"cluster_lock_0\" {");
    ASSERT_NE(cluster, lines.end());
    const auto clusterEnd = std::find(cluster, lines.end(), "  }");
    ASSERT_NE(clusterEnd, lines.end());
    const std::vector<std::string> inCluster(cluster + 1, clusterEnd);
    ASSERT_FALSE(inCluster.empty());
    EXPECT_EQ(inCluster.front(), "    label=\"arm_tool_kinematic_lock\";");
    EXPECT_EQ(std::count_if(inCluster.begin(), inCluster.end(),
                            [](const auto& line) {
                                return line.starts_with("    \"arm\" [") ||
                                       line.starts_with("    \"tool\" [");
                            }),
              2);
    EXPECT_EQ(countNodeLines(dot, "arm"), 1u);
    EXPECT_EQ(countNodeLines(dot, "tool"), 1u);
}

enum class MassFrom { Own, Lock };

BodyOverview body(std::string name, MassFrom mass) {
    BodyOverview body;
    body.name = std::move(name);
    body.ownMass = mass == MassFrom::Own;
    body.assignedMass = mass == MassFrom::Lock;
    return body;
}

InteractionOverview hinge(std::string name, std::string parent, std::string child) {
    InteractionOverview hinge;
    hinge.name = std::move(name);
    hinge.kind = InteractionKind::Hinge;
    hinge.parentBody = std::move(parent);
    hinge.childBody = std::move(child);
    return hinge;
}

TEST(VizDot, BodyNamedByTwoLocksIsDrawnInTheFirstOnly) {
    ModelOverview overview;
    overview.modelName = "m";
    overview.bodies = {body("a", MassFrom::Own), body("b", MassFrom::Lock),
                       body("c", MassFrom::Lock)};
    overview.locks = {{"first", {"a", "b"}}, {"second", {"b", "c"}}};
    const auto lines = linesOf(toDot(overview));
    const auto second = std::find(lines.begin(), lines.end(), "  subgraph \"cluster_lock_1\" {");
    ASSERT_NE(second, lines.end());
    EXPECT_EQ(std::count_if(lines.begin(), second,
                            [](const auto& line) { return line.starts_with("    \"b\" ["); }),
              1);
    EXPECT_EQ(
        std::count_if(second, lines.end(),
                      [](const auto& line) { return line.find("\"b\" [") != std::string::npos; }),
        0);
    EXPECT_EQ(std::count_if(second, lines.end(),
                            [](const auto& line) { return line.starts_with("    \"c\" ["); }),
              1);
}

TEST(VizDot, HostileNamesStayInsideTheirQuotes) {
    ModelOverview overview;
    overview.modelName = "m\"x";
    const std::string hostile = "a\"b\\c\nd\x01\xc3\xa9";
    const std::string injection = "x\"]; evil [label=\"pwn";
    overview.bodies = {body(hostile, MassFrom::Own), body(injection, MassFrom::Own)};
    overview.interactions = {hinge("j\\", hostile, injection)};
    const std::string dot = toDot(overview);

    const std::string hostileId = "\"a\\\"b\\\\\\\\c\\\\nd\\\\x01\xc3\xa9\"";
    const std::string injectionId = "\"x\\\"]; evil [label=\\\"pwn\"";
    EXPECT_EQ(dot.find("digraph \"m\\\"x\" {\n"), 0u);
    EXPECT_EQ(countLinesContaining(dot, "  " + hostileId + " [label=" + hostileId + "];"), 1u)
        << dot;
    EXPECT_EQ(countLinesContaining(dot, "  " + injectionId + " [label=" + injectionId + "];"), 1u);
    EXPECT_EQ(countLinesContaining(
                  dot, "  " + hostileId + " -> " + injectionId + " [label=\"j\\\\\\\\\\nhinge\"];"),
              1u);
    EXPECT_EQ(linesOf(dot).size(), 9u) << "no name may add a line";
}

TEST(VizDot, DotStringEscapesQuotesAndBackslashesOnly) {
    EXPECT_EQ(dotString(""), "\"\"");
    EXPECT_EQ(dotString("plain name"), "\"plain name\"");
    EXPECT_EQ(dotString("\\N"), "\"\\\\N\"");
    EXPECT_EQ(dotString("say \"hi\""), "\"say \\\"hi\\\"\"");
    EXPECT_EQ(dotString("\xe6\x97\xa5\xe6\x9c\xac"), "\"\xe6\x97\xa5\xe6\x9c\xac\"");
}

// ---------------------------------------------------------------------------------------------
// Untrusted text made visible

TEST(VizVisibleText, ControlBytesAndBrokenUtf8BecomeEscapesAndTheRestStays) {
    EXPECT_EQ(visibleText("base_link"), "base_link");
    EXPECT_EQ(visibleText("a\\b"), "a\\\\b");
    EXPECT_EQ(visibleText("a\nb\rc\td"), "a\\nb\\rc\\td");
    EXPECT_EQ(visibleText(std::string("\x00\x1b[31m\x7f", 7)), "\\x00\\x1B[31m\\x7F");
    // Well-formed UTF-8 stays; C1 controls, overlong forms, surrogates, stray and cut-short bytes
    // do not.
    EXPECT_EQ(visibleText("caf\xc3\xa9 \xf0\x9f\xa4\x96"), "caf\xc3\xa9 \xf0\x9f\xa4\x96");
    EXPECT_EQ(visibleText("\xc2\x9b"), "\\xC2\\x9B");
    EXPECT_EQ(visibleText("\xc0\xaf"), "\\xC0\\xAF");
    EXPECT_EQ(visibleText("\xed\xa0\x80"), "\\xED\\xA0\\x80");
    EXPECT_EQ(visibleText("caf\xe9"), "caf\\xE9");
    EXPECT_EQ(visibleText("\xe2\x82"), "\\xE2\\x82");
}

}  // namespace
