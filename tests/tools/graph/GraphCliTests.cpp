// corvane-urdf's pictures (-f dot, svg, png), run as a user runs them: exit status, standard
// output, standard error and the files written.
#include <gtest/gtest.h>
#include <urdf_model/model.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "ParsedUrdf.hpp"
#include "ScratchDir.hpp"
#include "TestSupport.hpp"
#include "ToolRun.hpp"
#include "support/ChildProcess.hpp"

namespace {

namespace fs = std::filesystem;
using corvane::testing::corpusFiles;
using corvane::testing::linesOf;
using corvane::testing::readFile;
using corvane::testing::runTool;
using corvane::testing::runToolWithPath;
using corvane::testing::ScratchDir;
using corvane::testing::ToolRun;
using corvane::testing::writeFile;

const fs::path armExample = fs::path(CORVANE_SOURCE_DIR) / "examples" / "arm_robot.urdf";
const fs::path oneOfEverything =
    fs::path(CORVANE_SOURCE_DIR) / "tests" / "data" / "one_of_everything.urdf";

bool graphvizInstalled() {
    return corvane::testing::programRuns({"dot", "-V"});
}

#define SKIP_WITHOUT_GRAPHVIZ()                                                          \
    do {                                                                                 \
        if (!graphvizInstalled()) GTEST_SKIP() << "Graphviz dot not installed: skipped"; \
    } while (0)

bool isSvg(const std::string& content) {
    return (content.starts_with("<?xml") || content.starts_with("<svg")) &&
           content.find("</svg>") != std::string::npos;
}

bool isPng(const std::string& content) {
    return content.starts_with("\x89PNG\r\n\x1a\n");
}

// The largest of `files`, which must not be empty.
fs::path largestOf(const std::vector<fs::path>& files) {
    return *std::max_element(files.begin(), files.end(), [](const auto& a, const auto& b) {
        return fs::file_size(a) < fs::file_size(b);
    });
}

// ---------------------------------------------------------------------------------------------
// Pictures

TEST(GraphRender, ArmAndLargestCorpusRobotDrawAsSvgAndPng) {
    SKIP_WITHOUT_GRAPHVIZ();
    std::vector<fs::path> robots{armExample};
    if (const auto corpus = corpusFiles("valid"); !corpus.empty()) {
        robots.push_back(largestOf(corpus));
    }
    for (const auto& robot : robots) {
        SCOPED_TRACE(robot.filename().string());
        const ToolRun svg = runTool({"-q", "-f", "svg", robot.string()});
        EXPECT_EQ(svg.status, 0) << svg.err;
        EXPECT_TRUE(isSvg(svg.out));

        const ScratchDir scratch;
        const fs::path png = scratch / "robot.png";
        const ToolRun toFile = runTool({"-q", "-f", "png", "-o", png.string(), robot.string()});
        EXPECT_EQ(toFile.status, 0) << toFile.err;
        const std::string written = readFile(png);
        EXPECT_TRUE(isPng(written));
        // Binary output is written exactly: to a file as Graphviz drew it from the DOT source.
        const ToolRun dot = runTool({"-q", "-f", "dot", robot.string()});
        const auto drawn = corvane::tools::runProgram({"dot", "-Tpng"}, dot.out);
        ASSERT_TRUE(drawn.succeeded());
        EXPECT_TRUE(written == drawn.output) << "the PNG differs from what dot draws";
    }
}

TEST(GraphRender, HostileNamesShowAsTextInTheirOwnNodes) {
    SKIP_WITHOUT_GRAPHVIZ();
    const ScratchDir scratch;
    const fs::path file = scratch / "hostile.urdf";
    // clang-format off
    writeFile(file, R"(<robot name="evil&quot;robot">
      <link name="a&quot;b\c&#10;d&#1;é"/>
      <link name="x&quot;]; evil [label=&quot;pwn"/>
      <joint name="j\" type="continuous"><parent link="a&quot;b\c&#10;d&#1;é"/><child link="x&quot;]; evil [label=&quot;pwn"/></joint>
    </robot>)");
    // clang-format on
    const ToolRun run = runTool({"-q", "-f", "svg", file.string()});
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_TRUE(isSvg(run.out));
    std::size_t nodes = 0;
    for (std::size_t at = run.out.find("class=\"node\""); at != std::string::npos;
         at = run.out.find("class=\"node\"", at + 1)) {
        ++nodes;
    }
    EXPECT_EQ(nodes, 2u);
    EXPECT_NE(run.out.find(">a&quot;b\\\\c\\nd\\x01\xc3\xa9</text>"), std::string::npos);
    EXPECT_NE(run.out.find(">x&quot;]; evil [label=&quot;pwn</text>"), std::string::npos);
    EXPECT_NE(run.out.find(">j\\\\</text>"), std::string::npos);
}

TEST(GraphRender, MissingOrFailingDotIsOneLineAndStatusTwo) {
    const ScratchDir scratch;
    const fs::path emptyPath = scratch / "empty";
    fs::create_directory(emptyPath);
    const fs::path out = scratch / "arm.svg";
    const ToolRun missing =
        runToolWithPath({"-f", "svg", "-o", out.string(), armExample.string()}, emptyPath.string());
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "error: " + armExample.string() +
                               ": cannot draw svg: Graphviz dot not found in PATH (install the "
                               "graphviz package)\n");
    EXPECT_FALSE(fs::exists(out));

    const fs::path failingPath = scratch / "failing";
    fs::create_directory(failingPath);
    writeFile(failingPath / "dot", "#!/bin/sh\necho 'Error: <stdin>: syntax error' >&2\nexit 3\n");
    fs::permissions(failingPath / "dot", fs::perms::owner_all);
    const ToolRun failing =
        runToolWithPath({"-f", "png", armExample.string()}, failingPath.string());
    EXPECT_EQ(failing.status, 2);
    EXPECT_EQ(failing.out, "");
    EXPECT_EQ(failing.err, "error: " + armExample.string() +
                               ": cannot draw png: Graphviz dot failed with exit status 3: Error: "
                               "<stdin>: syntax error\n");
}

// urdfdom accepts link graphs with cycles and links with two parents; the picture and the
// summary work from the document and end.
TEST(GraphNonTree, CyclesAndLinksWithTwoParentsTerminate) {
    const ScratchDir scratch;
    const std::string mass =
        R"(<inertial><mass value="1"/><inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial>)";
    // clang-format off
    writeFile(scratch / "cycle.urdf", R"(<robot name="cycle">
      <link name="r">)" + mass + R"(</link><link name="a">)" + mass + R"(</link><link name="b">)" + mass + R"(</link>
      <joint name="ra" type="continuous"><parent link="r"/><child link="a"/></joint>
      <joint name="ab" type="continuous"><parent link="a"/><child link="b"/></joint>
      <joint name="ba" type="fixed"><parent link="b"/><child link="a"/></joint>
    </robot>)");
    writeFile(scratch / "two_parents.urdf", R"(<robot name="two_parents">
      <link name="r">)" + mass + R"(</link><link name="p">)" + mass + R"(</link><link name="q">)" + mass + R"(</link><link name="c"/>
      <joint name="rp" type="fixed"><parent link="r"/><child link="p"/></joint>
      <joint name="rq" type="fixed"><parent link="r"/><child link="q"/></joint>
      <joint name="pc" type="fixed"><parent link="p"/><child link="c"/></joint>
      <joint name="qc" type="continuous"><parent link="q"/><child link="c"/></joint>
    </robot>)");
    // clang-format on
    const auto cycle = runTool({"-q", "--summary", "-f", "dot", (scratch / "cycle.urdf").string()});
    ASSERT_EQ(cycle.status, 0) << cycle.err;
    EXPECT_NE(cycle.out.find("  \"a\" -> \"b\" [label=\"ab\\nhinge\"];\n"), std::string::npos);
    EXPECT_NE(cycle.out.find("  \"b\" -> \"a\" [label=\"ba\\nlock\", style=dashed];\n"),
              std::string::npos);
    EXPECT_NE(cycle.err.find("  interactions: 3 (hinge 2, prismatic 0, lock 1)\n"),
              std::string::npos);

    const auto twoParents =
        runTool({"-q", "--summary", "-f", "dot", (scratch / "two_parents.urdf").string()});
    ASSERT_EQ(twoParents.status, 0) << twoParents.err;
    EXPECT_NE(twoParents.out.find("  \"p\" -> \"c\" [label=\"pc\\nlock\", style=dashed];\n"),
              std::string::npos);
    EXPECT_NE(twoParents.out.find("  \"q\" -> \"c\" [label=\"qc\\nhinge\"];\n"), std::string::npos);
    EXPECT_NE(twoParents.err.find("  interactions: 4 (hinge 1, prismatic 0, lock 3)\n"),
              std::string::npos);
}

}  // namespace
