// One analysis of a robot: what it read, what it found, and how a failed run is told, compared
// with what the command line prints for the same files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "ScratchDir.hpp"
#include "TestSupport.hpp"
#include "ToolRun.hpp"
#include "session/Analysis.hpp"
#include "session/SceneFindings.hpp"

namespace {

namespace fs = std::filesystem;
using corvane::testing::linesOf;
using corvane::testing::readFile;
using corvane::testing::runTool;
using corvane::testing::ScratchDir;
using corvane::testing::writeFile;
using namespace corvane::tools;

const fs::path sharedDir = fs::path(CORVANE_SHARED_DIR);
const fs::path xacroDir = sharedDir / "xacro";
const fs::path robotsDir = sharedDir / "robots";
const std::string realsense = "IntelRealSense+realsense-ros";

#define SKIP_WITHOUT_SHARED(folder)                                                      \
    do {                                                                                 \
        if (!fs::is_directory(folder))                                                   \
            GTEST_SKIP() << "no " << (folder) << " beside this checkout: tests skipped"; \
    } while (0)

fs::path realsenseFile(const fs::path& packages, const std::string& name) {
    return packages / realsense / "realsense2_description" / "urdf" / name;
}

bool lists(const std::vector<fs::path>& files, const fs::path& file) {
    return std::find(files.begin(), files.end(), analysisFileKey(file)) != files.end();
}

// What the command line prints for --check -v, without the tally line.
std::vector<std::string> checkLinesOfTool(const std::vector<std::string>& arguments) {
    std::vector<std::string> command = arguments;
    command.insert(command.end(), {"--check", "-v"});
    const auto run = runTool(command);
    std::vector<std::string> lines = linesOf(run.out);
    if (!lines.empty()) lines.pop_back();
    return lines;
}

// ---------------------------------------------------------------------------------------------
// The files read

TEST(Analysis, AXacroRobotListsItsTopFileAndEveryIncludeOnceAndFindsAsCheckDoes) {
    SKIP_WITHOUT_SHARED(xacroDir / "packages");
    const fs::path packages = xacroDir / "packages" / realsense;
    AnalysisRequest request;
    request.topFile = realsenseFile(xacroDir / "packages", "test_d435_camera.urdf.xacro");
    request.packagePaths = {packages.string()};
    request.showNotes = true;
    const RobotAnalysis analysis = analyseRobot(request);
    ASSERT_TRUE(analysis.succeeded()) << analysis.failure->text();
    EXPECT_TRUE(analysis.expanded);
    ASSERT_TRUE(analysis.robot && analysis.scene);
    EXPECT_EQ(analysis.files.front(), analysisFileKey(request.topFile));
    EXPECT_TRUE(lists(analysis.files, realsenseFile(xacroDir / "packages", "_d435.urdf.xacro")));
    std::vector<fs::path> sorted = analysis.files;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << "a file twice";
    for (const auto& file : analysis.files) EXPECT_TRUE(file.is_absolute()) << file;
    EXPECT_EQ(analysis.checks.lines,
              checkLinesOfTool({request.topFile.string(), "--package-path", packages.string()}));
}

TEST(Analysis, AYamlFileAndTheMeshesFoundAreAmongTheFilesRead) {
    SKIP_WITHOUT_SHARED(xacroDir / "features");
    AnalysisRequest yaml;
    yaml.topFile = xacroDir / "features" / "load_yaml_angles.xacro";
    const RobotAnalysis withYaml = analyseRobot(yaml);
    ASSERT_TRUE(withYaml.succeeded()) << withYaml.failure->text();
    EXPECT_TRUE(lists(withYaml.files, xacroDir / "features" / "load_yaml_angles" / "joints.yaml"));

    SKIP_WITHOUT_SHARED(robotsDir);
    const fs::path pendulum =
        robotsDir / "example-robot-data" / "robots" / "double_pendulum_description";
    AnalysisRequest meshes;
    meshes.topFile = pendulum / "urdf" / "double_pendulum.urdf";
    meshes.packagePaths = {robotsDir.string()};
    const RobotAnalysis withMeshes = analyseRobot(meshes);
    ASSERT_TRUE(withMeshes.succeeded()) << withMeshes.failure->text();
    EXPECT_FALSE(withMeshes.expanded);
    EXPECT_TRUE(lists(withMeshes.files, pendulum / "meshes" / "base_link.stl"));
    EXPECT_TRUE(lists(withMeshes.files, pendulum / "meshes" / "link1.stl"));
    // base_link.stl is named twice (visual and collision), listed once.
    EXPECT_EQ(std::count(withMeshes.files.begin(), withMeshes.files.end(),
                         analysisFileKey(pendulum / "meshes" / "base_link.stl")),
              1);
}

// ---------------------------------------------------------------------------------------------
// Texts that stand in for files

// clang-format off
const std::string twoLinks = R"(<robot name="pair">
  <link name="a"><inertial><mass value="1"/><inertia ixx="1" iyy="1" izz="1" ixy="0" ixz="0" iyz="0"/></inertial></link>
  <link name="b"><inertial><mass value="1"/><inertia ixx="1" iyy="1" izz="5" ixy="0" ixz="0" iyz="0"/></inertial></link>
  <joint name="j" type="fixed"><parent link="a"/><child link="b"/></joint>
</robot>
)";
// clang-format on

TEST(Analysis, AnEditorsTextStandsInForTheTopFileAndForAnInclude) {
    ScratchDir scratch;
    AnalysisRequest unsaved;
    unsaved.topFile = scratch / "never_saved.urdf";
    unsaved.fileTexts[scratch / "never_saved.urdf"] = twoLinks;
    const RobotAnalysis fromText = analyseRobot(unsaved);
    ASSERT_TRUE(fromText.succeeded()) << fromText.failure->text();
    ASSERT_EQ(fromText.robot->overview().bodies.size(), 2u);
    ASSERT_EQ(fromText.checks.findings.size(), 1u);
    EXPECT_EQ(fromText.checks.findings[0].rule, "inertia-triangle");

    SKIP_WITHOUT_SHARED(xacroDir / "packages");
    fs::copy(xacroDir / "packages" / realsense, scratch / realsense, fs::copy_options::recursive);
    AnalysisRequest request;
    request.topFile = realsenseFile(scratch.path(), "test_d435_camera.urdf.xacro");
    request.packagePaths = {(scratch / realsense).string()};
    const fs::path include = realsenseFile(scratch.path(), "_d435.urdf.xacro");
    // A relative key names the same file as the expander's canonical one.
    request.fileTexts[fs::relative(include)] = "<robot>\n\n  <link name=\"QQQ\">\n</robot>\n";
    const RobotAnalysis broken = analyseRobot(request);
    ASSERT_FALSE(broken.succeeded());
    EXPECT_EQ(broken.failure->status, ExitStatus::Refused);
    // Told at the line of the file that does not parse, the include as a note.
    EXPECT_EQ(broken.failure->message,
              "malformed XML: element 'link' is not closed by its end tag");
    EXPECT_EQ(broken.failure->file, displayedSourceFile(include.string()));
    EXPECT_EQ(broken.failure->line, 3);
    ASSERT_FALSE(broken.failure->chain.empty());
    EXPECT_NE(broken.failure->chain[0].text.find("included here"), std::string::npos);
    EXPECT_TRUE(lists(broken.files, include)) << "the file to mend is watched";
    EXPECT_FALSE(broken.robot);
    EXPECT_EQ(readFile(include).find("QQQ"), std::string::npos) << "the disk is not written";
}

TEST(Analysis, AUrdfFileWrittenInXacroIsExpandedUnlessTheRequestSaysNot) {
    AnalysisRequest request;
    request.topFile =
        fs::path(CORVANE_SOURCE_DIR) / "tests" / "data" / "turtlebot3" / "turtlebot3_burger.urdf";
    const RobotAnalysis expanded = analyseRobot(request);
    ASSERT_TRUE(expanded.succeeded()) << expanded.failure->text();
    EXPECT_TRUE(expanded.expanded);
    request.xacro = false;
    const RobotAnalysis asIs = analyseRobot(request);
    EXPECT_FALSE(asIs.expanded);
}

// ---------------------------------------------------------------------------------------------
// Failed runs: the failure says what the command line says

struct FailureCase {
    const char* name;
    std::string file;  // written to the scratch folder unless empty
    std::string text;
    ExitStatus status;
    std::string message;  // part of the failure's message
    int line;
};

class AnalysisFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(AnalysisFailures, AreToldAsTheCommandLineTellsThem) {
    const FailureCase& failure = GetParam();
    ScratchDir scratch;
    const fs::path top = scratch / failure.file;
    if (!failure.text.empty()) writeFile(top, failure.text);
    AnalysisRequest request;
    request.topFile = top;
    const RobotAnalysis analysis = analyseRobot(request);
    ASSERT_FALSE(analysis.succeeded());
    EXPECT_EQ(analysis.failure->status, failure.status);
    EXPECT_NE(analysis.failure->message.find(failure.message), std::string::npos)
        << analysis.failure->message;
    EXPECT_EQ(analysis.failure->line, failure.line);
    EXPECT_EQ(fs::path(analysis.failure->file).filename(), top.filename());

    // The tool's error line and notes, after what urdfdom said.
    const auto run = runTool({top.string()});
    EXPECT_EQ(run.status, static_cast<int>(failure.status));
    std::string printed = "error: " + analysis.failure->text() + "\n";
    for (const auto& note : analysis.failure->noteLines()) printed += note + "\n";
    EXPECT_TRUE(run.err.ends_with(printed)) << run.err;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, AnalysisFailures, ::testing::Values(
    FailureCase{"MissingTopFile", "absent.urdf", "", ExitStatus::UsageOrIo,
                "cannot open: No such file or directory", 0},
    FailureCase{"MalformedXml", "broken.urdf", "<robot name=\"r\">\n<link name=\"a\">\n</robot>\n",
                ExitStatus::Refused, "not a valid URDF robot description: malformed XML", 3},
    FailureCase{"RefusedByUrdfdom", "nolinks.urdf", "<robot name=\"r\"/>\n", ExitStatus::Refused,
                "not a valid URDF robot description", 0},
    FailureCase{"XacroError", "bad.xacro",
                "<robot xmlns:xacro=\"http://www.ros.org/wiki/xacro\" name=\"r\">\n"
                "  <xacro:macro name=\"m\"><link name=\"${QQQ}\"/></xacro:macro>\n"
                "  <xacro:m/>\n</robot>\n",
                ExitStatus::Refused, "QQQ", 2}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// ---------------------------------------------------------------------------------------------
// Findings on the robot

TEST(Analysis, FindingsNameTheirBodyAndTheSceneCarriesThem) {
    ScratchDir scratch;
    writeFile(scratch / "pair.urdf", twoLinks);
    AnalysisRequest request;
    request.topFile = scratch / "pair.urdf";
    const RobotAnalysis analysis = analyseRobot(request);
    ASSERT_TRUE(analysis.succeeded());
    const auto shown = sceneFindings(analysis.checks.findings, analysis.robot->overview());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].severity, "error");
    EXPECT_EQ(shown[0].body, "b");
    EXPECT_EQ(shown[0].line, 3);
    EXPECT_FALSE(shown[0].interaction);
    const std::string json = analysisSceneJson(analysis, true);
    EXPECT_NE(json.find("\"findings\":[{\"severity\":\"error\",\"rule\":\"inertia-triangle\""),
              std::string::npos)
        << json;
}

}  // namespace
