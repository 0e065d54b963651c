// The DOT source of an imported document, called directly: bodies, edges and lock clusters, and
// names that stay inside their quotes.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "TestSupport.hpp"
#include "graph/DotGraph.hpp"
#include "model/ModelOverview.hpp"

namespace {

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
// DOT source

TEST(DotGraph, BodiesEdgesAndLockClustersOfOneOfEverything) {
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

TEST(DotGraph, BodyNamedByTwoLocksIsDrawnInTheFirstOnly) {
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

TEST(DotGraph, HostileNamesStayInsideTheirQuotes) {
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

TEST(DotGraph, DotStringEscapesQuotesAndBackslashesOnly) {
    EXPECT_EQ(dotString(""), "\"\"");
    EXPECT_EQ(dotString("plain name"), "\"plain name\"");
    EXPECT_EQ(dotString("\\N"), "\"\\\\N\"");
    EXPECT_EQ(dotString("say \"hi\""), "\"say \\\"hi\\\"\"");
    EXPECT_EQ(dotString("\xe6\x97\xa5\xe6\x9c\xac"), "\"\xe6\x97\xa5\xe6\x9c\xac\"");
}

}  // namespace
