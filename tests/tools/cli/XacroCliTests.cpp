// corvane-urdf on xacro input: which files are expanded, the arguments, -f urdf, the findings at
// the xacro line with the call chain, and failed expansions.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ScratchDir.hpp"
#include "TestSupport.hpp"
#include "ToolRun.hpp"

namespace {

namespace fs = std::filesystem;
using corvane::testing::linesOf;
using corvane::testing::readFile;
using corvane::testing::runTool;
using corvane::testing::ScratchDir;
using corvane::testing::ToolRun;
using corvane::testing::writeFile;

const fs::path xacroDir = fs::path(CORVANE_SHARED_DIR) / "xacro";
const fs::path armExample = fs::path(CORVANE_SOURCE_DIR) / "examples" / "arm_robot.urdf";
const std::string realsense = "IntelRealSense+realsense-ros";

#define SKIP_WITHOUT_XACRO_CASES()                                                          \
    do {                                                                                    \
        if (!fs::is_directory(xacroDir / "packages"))                                       \
            GTEST_SKIP() << "no ../shared/xacro beside this checkout: xacro tests skipped"; \
    } while (0)

fs::path realsenseFile(const fs::path& root, const std::string& name) {
    return root / realsense / "realsense2_description" / "urdf" / name;
}

// The realsense packages copied to `scratch`, so that a test may plant a fault in them.
fs::path copyOfRealsense(const ScratchDir& scratch) {
    fs::copy(xacroDir / "packages" / realsense, scratch / realsense, fs::copy_options::recursive);
    return scratch.path();
}

void replaceIn(const fs::path& file, const std::string& from, const std::string& to) {
    std::string text = readFile(file);
    const auto at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from << " not in " << file;
    text.replace(at, from.size(), to);
    writeFile(file, text);
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// ---------------------------------------------------------------------------------------------
// Expanded robots import as their reference expansions do

TEST(XacroCli, ARobotOfManyIncludedMacrosImportsAsItsReferenceExpansion) {
    SKIP_WITHOUT_XACRO_CASES();
    const fs::path packages = xacroDir / "packages" / "PR2+pr2_common";
    const ToolRun expanded = runTool({(packages / "pr2_description/robots/pr2.urdf.xacro").string(),
                                      "--package-path", packages.string()});
    const ToolRun reference = runTool({(xacroDir / "expected/pr2_description-pr2.urdf").string()});
    ASSERT_EQ(expanded.status, 0) << expanded.err;
    ASSERT_EQ(reference.status, 0) << reference.err;
    EXPECT_EQ(expanded.out, reference.out);
    EXPECT_GT(linesOf(expanded.out).size(), 1000u);
}

TEST(XacroCli, FormatUrdfWritesTheExpansionAndAPlainUrdfAsRead) {
    SKIP_WITHOUT_XACRO_CASES();
    const ToolRun plain = runTool({armExample.string(), "-f", "urdf"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out, readFile(armExample));

    const fs::path packages = xacroDir / "packages" / realsense;
    const ToolRun expanded =
        runTool({realsenseFile(xacroDir / "packages", "test_d435_camera.urdf.xacro").string(), "-f",
                 "urdf", "--package-path", packages.string()});
    ASSERT_EQ(expanded.status, 0) << expanded.err;
    EXPECT_FALSE(contains(expanded.out, "<xacro:")) << expanded.out;
    EXPECT_FALSE(contains(expanded.out, "xmlns:xacro")) << expanded.out;
    EXPECT_TRUE(contains(expanded.out, "<link name=\"camera_link\"")) << expanded.out;
    // The expansion is a URDF the tool imports as it is.
    ScratchDir scratch;
    writeFile(scratch / "d435.urdf", expanded.out);
    const ToolRun imported = runTool({(scratch / "d435.urdf").string(), "--summary"});
    EXPECT_EQ(imported.status, 0) << imported.err;
}

TEST(XacroCli, AUrdfFileThatOnlyDeclaresTheXacroNamespaceIsReadAsIs) {
    // A .urdf file made by xacro keeps the declaration, and no xacro element: it stays as written.
    ScratchDir scratch;
    std::string text = readFile(armExample);
    const auto robot = text.find("<robot ");
    ASSERT_NE(robot, std::string::npos);
    text.insert(robot + 7, "xmlns:xacro=\"http://ros.org/wiki/xacro\" ");
    writeFile(scratch / "arm.urdf", text);
    const ToolRun run = runTool({(scratch / "arm.urdf").string(), "-f", "urdf"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, text);
    const ToolRun asXacro = runTool({(scratch / "arm.urdf").string(), "--xacro", "-f", "urdf"});
    ASSERT_EQ(asXacro.status, 0) << asXacro.err;
    EXPECT_FALSE(contains(asXacro.out, "xmlns:xacro")) << asXacro.out;
}

// ---------------------------------------------------------------------------------------------
// Arguments and standard input

constexpr const char* argumentRobot = R"xml(<?xml version="1.0"?>
<robot name="bar" xmlns:xacro="http://www.ros.org/wiki/xacro">
  <xacro:arg name="length" default="1"/>
  <xacro:arg name="mesh" default="none.stl"/>
  <link name="bar">
    <visual><geometry><box size="$(arg length) 0.1 0.1"/></geometry></visual>
    <collision><geometry><mesh filename="$(arg mesh)"/></geometry></collision>
  </link>
</robot>
)xml";

TEST(XacroCli, NameValueWordsAreTheArgumentsAndMayHoldSubstitutions) {
    SKIP_WITHOUT_XACRO_CASES();
    ScratchDir scratch;
    writeFile(scratch / "bar.urdf.xacro", argumentRobot);
    const std::string file = (scratch / "bar.urdf.xacro").string();
    const ToolRun defaults = runTool({file, "-f", "urdf"});
    ASSERT_EQ(defaults.status, 0) << defaults.err;
    EXPECT_TRUE(contains(defaults.out, "size=\"1 0.1 0.1\"")) << defaults.out;

    const fs::path packages = xacroDir / "packages" / realsense;
    const ToolRun given =
        runTool({file, "length:=2.5", "mesh:=$(find realsense2_description)/meshes/d435.dae", "-f",
                 "urdf", "--package-path", packages.string()});
    ASSERT_EQ(given.status, 0) << given.err;
    EXPECT_TRUE(contains(given.out, "size=\"2.5 0.1 0.1\"")) << given.out;
    const std::string found = fs::absolute(packages / "realsense2_description").string();
    EXPECT_TRUE(contains(given.out, "filename=\"" + found + "/meshes/d435.dae\"")) << given.out;
}

TEST(XacroCli, StandardInputIsExpandedWhenWrittenInXacroOrWithXacro) {
    const ToolRun expanded = runTool({"-", "length:=3", "-f", "urdf"}, argumentRobot);
    ASSERT_EQ(expanded.status, 0) << expanded.err;
    EXPECT_TRUE(contains(expanded.out, "size=\"3 0.1 0.1\"")) << expanded.out;
    // With --no-xacro standard input is URDF, written as read.
    const ToolRun plain = runTool({"-", "--no-xacro", "-f", "urdf"}, argumentRobot);
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out, argumentRobot);
    // --xacro expands what holds no xacro element (its declaration goes)
    const ToolRun forced = runTool({"-", "--xacro", "-f", "urdf"}, readFile(armExample));
    ASSERT_EQ(forced.status, 0) << forced.err;
    EXPECT_NE(forced.out, readFile(armExample));
}

// The turtlebot3 robots name their files .urdf and write them in xacro.
TEST(XacroCli, TheTurtlebot3UrdfFilesAreExpandedByTheirContent) {
    const fs::path folder = fs::path(CORVANE_SOURCE_DIR) / "tests" / "data" / "turtlebot3";
    for (const char* name :
         {"turtlebot3_burger.urdf", "turtlebot3_waffle.urdf", "turtlebot3_waffle_pi.urdf"}) {
        SCOPED_TRACE(name);
        const std::string file = (folder / name).string();
        const ToolRun urdf = runTool({file, "-f", "urdf"});
        ASSERT_EQ(urdf.status, 0) << urdf.err;
        EXPECT_EQ(urdf.err, "");
        EXPECT_TRUE(contains(urdf.out, "<link name=\"base_link\">")) << urdf.out;
        EXPECT_TRUE(contains(urdf.out, "<child link=\"wheel_left_link\"/>")) << urdf.out;
        EXPECT_FALSE(contains(urdf.out, "${") || contains(urdf.out, "xacro:")) << urdf.out;
        const ToolRun named = runTool({file, "namespace:=tb3_", "-f", "text"});
        ASSERT_EQ(named.status, 0) << named.err;
        EXPECT_TRUE(contains(named.out, "tb3_base_link")) << named.out;
        // the findings point at the xacro lines, and none says the file was not expanded
        const ToolRun check = runTool({file, "--check"});
        EXPECT_FALSE(contains(check.out, "xacro-unexpanded")) << check.out;
        EXPECT_TRUE(contains(check.out, file + ":")) << check.out;
        // read as it is on request, byte for byte, and then found unexpanded
        const ToolRun asIs = runTool({file, "--no-xacro", "-f", "urdf"});
        ASSERT_EQ(asIs.status, 0) << asIs.err;
        EXPECT_EQ(asIs.out, readFile(folder / name));
        EXPECT_TRUE(contains(runTool({file, "--no-xacro", "--check"}).out, "[xacro-unexpanded]"));
    }
    // the namespace as wiki.ros.org names it is the same
    ScratchDir scratch;
    std::string text = readFile(folder / "turtlebot3_burger.urdf");
    const auto uri = text.find("http://ros.org/wiki/xacro");
    ASSERT_NE(uri, std::string::npos);
    text.replace(uri, 25, "http://wiki.ros.org/xacro");
    writeFile(scratch / "burger.urdf", text);
    EXPECT_TRUE(contains(runTool({(scratch / "burger.urdf").string(), "-f", "urdf"}).out,
                         "<link name=\"base_link\">"));
    EXPECT_TRUE(contains(runTool({(scratch / "burger.urdf").string(), "--no-xacro", "--check"}).out,
                         "[xacro-unexpanded]"));
    const std::string burger = (folder / "turtlebot3_burger.urdf").string();
    const ToolRun both = runTool({burger, "--xacro", "--no-xacro"});
    EXPECT_EQ(both.status, 2) << both.err;
    EXPECT_TRUE(contains(both.err, "--xacro and --no-xacro exclude each other")) << both.err;
    const ToolRun arguments = runTool({burger, "--no-xacro", "namespace:=a_"});
    EXPECT_EQ(arguments.status, 2) << arguments.err;
    EXPECT_TRUE(contains(arguments.err, "--no-xacro expands no FILE")) << arguments.err;
}

TEST(XacroCli, AUrdfFileThatFailsToExpandSaysWhyItWasExpanded) {
    // a URDF generated long ago that kept a call of a macro it does not define
    ScratchDir scratch;
    writeFile(scratch / "stray.urdf", R"xml(<robot name="r" xmlns:xacro="http://ros.org/wiki/xacro">
  <link name="base"/>
  <xacro:sensors_QQQ parent="base"/>
</robot>
)xml");
    const std::string file = (scratch / "stray.urdf").string();
    const ToolRun run = runTool({file});
    EXPECT_EQ(run.status, 1);
    const auto lines = linesOf(run.err);
    ASSERT_EQ(lines.size(), 2u) << run.err;
    EXPECT_EQ(lines[0], "error: " + file + ":3: unknown macro name: xacro:sensors_QQQ");
    EXPECT_EQ(lines[1], file +
                            ": note: expanded as xacro since its root element declares the xacro "
                            "namespace and it holds xacro elements; --no-xacro reads it as it is");
    EXPECT_EQ(runTool({file, "--no-xacro"}).status, 0);
}

TEST(XacroCli, TheFilesMessagesGoToStandardErrorAtTheirLineUnlessQuiet) {
    const std::string robot = R"xml(<robot name="m" xmlns:xacro="http://www.ros.org/wiki/xacro">
  <link name="a"/>
  <xacro:property name="said" value="${xacro.message('building', 'm')}" lazy_eval="false"/>
  <xacro:property name="warned" value="${xacro.warning('mass left out')}" lazy_eval="false"/>
</robot>
)xml";
    const ToolRun told = runTool({"-", "--xacro", "-f", "urdf"}, robot);
    ASSERT_EQ(told.status, 0) << told.err;
    const std::vector<std::string> lines = linesOf(told.err);
    ASSERT_EQ(lines.size(), 2u) << told.err;
    EXPECT_TRUE(contains(lines[0], ":3: building m")) << lines[0];
    EXPECT_TRUE(contains(lines[1], ":4: warning: mass left out")) << lines[1];
    EXPECT_FALSE(contains(told.out, "building")) << told.out;
    EXPECT_TRUE(contains(told.out, "<link name=\"a\"")) << told.out;

    const ToolRun quiet = runTool({"-", "--xacro", "-f", "urdf", "-q"}, robot);
    ASSERT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.out, told.out);
}

TEST(XacroCli, ArgumentsWithoutXacroInputAndArgumentsAloneAreUsageErrors) {
    const ToolRun withUrdf = runTool({armExample.string(), "length:=2"});
    EXPECT_EQ(withUrdf.status, 2);
    EXPECT_TRUE(contains(withUrdf.err, "no FILE is expanded")) << withUrdf.err;
    const ToolRun alone = runTool({"length:=2"});
    EXPECT_EQ(alone.status, 2);
    EXPECT_TRUE(contains(alone.err, "no FILE given")) << alone.err;
    EXPECT_EQ(withUrdf.out + alone.out, "");
}

TEST(XacroCli, SeveralXacroFilesGoIntoAFolderNamedWithoutBothExtensions) {
    ScratchDir scratch;
    fs::create_directory(scratch / "out");
    writeFile(scratch / "bar.urdf.xacro", argumentRobot);
    writeFile(scratch / "other.xacro", argumentRobot);
    const ToolRun run =
        runTool({(scratch / "bar.urdf.xacro").string(), (scratch / "other.xacro").string(), "-f",
                 "urdf", "-o", (scratch / "out").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::is_regular_file(scratch / "out" / "bar.urdf"));
    EXPECT_TRUE(fs::is_regular_file(scratch / "out" / "other.urdf"));
}

// ---------------------------------------------------------------------------------------------
// Findings and failures at the xacro line

TEST(XacroCli, AFaultInAnIncludedMacroIsFoundAtItsLineWithTheCallChain) {
    SKIP_WITHOUT_XACRO_CASES();
    ScratchDir scratch;
    const fs::path root = copyOfRealsense(scratch);
    const fs::path macros = realsenseFile(root, "_d435.urdf.xacro");
    // The camera's inertia breaks the triangle inequality: ixx > iyy + izz.
    replaceIn(macros, "izz=\"0.003879257\"", "izz=\"0.0001\"");
    const fs::path top = realsenseFile(root, "test_d435_camera.urdf.xacro");
    const ToolRun run = runTool({top.string(), "--check", "--package-path", root.string()});
    EXPECT_EQ(run.status, 3) << run.err;
    const auto lines = linesOf(run.out);
    std::size_t at = 0;
    while (at < lines.size() && !contains(lines[at], "[inertia-triangle]")) ++at;
    ASSERT_LT(at + 1, lines.size()) << run.out;
    const std::string macroFile = macros.lexically_normal().string();
    // The inertia's <inertial> element, inside the macro.
    EXPECT_EQ(lines[at].rfind(macroFile + ":95: error: body 'camera_link'", 0), 0u) << lines[at];
    EXPECT_EQ(lines[at + 1],
              top.lexically_normal().string() + ":9: note: in macro 'sensor_d435' called here");
}

TEST(XacroCli, AFindingOfAnElementOfAnIncludedFileNamesTheInclude) {
    ScratchDir scratch;
    writeFile(scratch / "links.xacro", R"xml(<robot xmlns:xacro="http://www.ros.org/wiki/xacro">
  <link name="heavy">
    <inertial>
      <mass value="-1"/>
      <inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/>
    </inertial>
  </link>
</robot>
)xml");
    writeFile(scratch / "robot.urdf.xacro",
              R"xml(<robot name="r" xmlns:xacro="http://www.ros.org/wiki/xacro">
  <link name="base"/>
  <xacro:include filename="links.xacro"/>
  <joint name="j" type="fixed"><parent link="base"/><child link="heavy"/></joint>
</robot>
)xml");
    const fs::path top = scratch / "robot.urdf.xacro";
    const ToolRun run = runTool({top.string(), "--check"});
    EXPECT_EQ(run.status, 3) << run.err;
    const auto lines = linesOf(run.out);
    ASSERT_GE(lines.size(), 3u) << run.out;
    EXPECT_EQ(lines[0].rfind((scratch / "links.xacro").string() + ":", 0), 0u) << run.out;
    EXPECT_TRUE(contains(lines[0], "body 'heavy'")) << run.out;
    EXPECT_EQ(lines[1], top.string() + ":3: note: in file '" + (scratch / "links.xacro").string() +
                            "' included here");
}

TEST(XacroCli, AFindingNamingASecondElementGivesItsXacroLine) {
    ScratchDir scratch;
    writeFile(scratch / "joints.xacro", R"xml(<robot xmlns:xacro="http://www.ros.org/wiki/xacro">

  <joint name="joint_b" type="fixed"><parent link="base"/><child link="c"/></joint>
</robot>
)xml");
    writeFile(scratch / "robot.urdf.xacro",
              R"xml(<robot name="r" xmlns:xacro="http://www.ros.org/wiki/xacro">
  <link name="base"/><link name="b"/><link name="c"/>
  <joint name="b" type="fixed"><parent link="base"/><child link="b"/></joint>
  <xacro:include filename="joints.xacro"/>
</robot>
)xml");
    const fs::path top = scratch / "robot.urdf.xacro";
    const ToolRun run = runTool({top.string(), "--check", "-q"});
    EXPECT_EQ(run.status, 3) << run.err;
    const auto lines = linesOf(run.out);
    ASSERT_GE(lines.size(), 2u) << run.out;
    EXPECT_EQ(lines[0].rfind((scratch / "joints.xacro").string() + ":3: error: interaction ", 0),
              0u)
        << run.out;
    EXPECT_TRUE(contains(lines[0], "the interaction of joint 'b' (" + top.string() + ":3; renamed"))
        << run.out;
}

TEST(XacroCli, AFailedExpansionExitsOneWritesNothingAndSaysWhereAndWhy) {
    ScratchDir scratch;
    writeFile(scratch / "macros.xacro", R"xml(<robot xmlns:xacro="http://www.ros.org/wiki/xacro">
  <xacro:macro name="leg" params="side">
    <link name="${side}_leg_${length}"/>
  </xacro:macro>
</robot>
)xml");
    writeFile(scratch / "robot.xacro",
              R"xml(<robot name="r" xmlns:xacro="http://www.ros.org/wiki/xacro">
  <xacro:include filename="macros.xacro"/>
  <link name="base"/>
  <xacro:leg side="left"/>
</robot>
)xml");
    const fs::path out = scratch / "robot.txt";
    const ToolRun run = runTool({(scratch / "robot.xacro").string(), "-o", out.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(fs::exists(out));
    const auto lines = linesOf(run.err);
    ASSERT_EQ(lines.size(), 2u) << run.err;
    EXPECT_EQ(lines[0].rfind("error: " + (scratch / "macros.xacro").string() + ":3: ", 0), 0u)
        << run.err;
    EXPECT_TRUE(contains(lines[0], "length")) << run.err;
    EXPECT_EQ(lines[1],
              (scratch / "robot.xacro").string() + ":4: note: in macro 'leg' called here");

    const ToolRun unreadable = runTool({(scratch / "missing.xacro").string()});
    EXPECT_EQ(unreadable.status, 2) << unreadable.err;
}

TEST(XacroCli, TheViewOfAXacroRobotFindsItsPackages) {
    SKIP_WITHOUT_XACRO_CASES();
    const fs::path packages = xacroDir / "packages" / realsense;
    const ToolRun run =
        runTool({realsenseFile(xacroDir / "packages", "test_d435_camera.urdf.xacro").string(), "-f",
                 "html", "--package-path", packages.string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "camera_link")) << run.out.substr(0, 200);
}

}  // namespace
