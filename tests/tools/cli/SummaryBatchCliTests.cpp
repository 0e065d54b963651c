// corvane-urdf's summary, batch conversion and refusals, run as a user runs them: exit status,
// standard output, standard error and the files left behind.
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

// ---------------------------------------------------------------------------------------------
// Summary

// clang-format off
const std::string everythingSummary =
    oneOfEverything.string() + ": summary of model everything\n"
    "  bodies: 8 (6 with mass, 2 massless)\n"
    "  contact geometries: 4 (sphere 1, box 1, cylinder 1, mesh 1)\n"
    "  visual geometries: 5 (sphere 1, box 1, cylinder 2, mesh 1)\n"
    "  interactions: 5 (hinge 3, prismatic 1, lock 1)\n"
    "  ranges: 3\n"
    "  actuators: 3\n"
    "  kinematic locks: 1\n"
    "  joints skipped: 2\n"
    "    Skipping unsupported joint type FloatingJoint for joint free_flight\n"
    "    Skipping unsupported joint type PlanarJoint for joint table\n"
    "  bodies without any mass: 1 (dangling): no inertial data and in no kinematic lock; a "
    "simulator will refuse them\n"
    "  not carried over:\n"
    "    materials and colours: 2 (blue, red)\n"
    "    visuals with a material: 2 (arm, base)\n"
    "    joint dynamics: 1 (shoulder)\n"
    "    mimic joints: 1 (rail)\n"
    "    safety controllers: 1 (shoulder)\n"
    "    calibration: 1 (shoulder)\n"
    "    velocity limits: 3 (hanger, rail, shoulder)\n"
    "    transmissions: 1 (shoulder_transmission)\n"
    "    gazebo extension elements: 3 (base, (robot), arm)\n"
    "    sensors: 2 (arm_camera, base_imu)\n";
// clang-format on

TEST(CliSummary, OneOfEverythingIsCountedExactlyAfterTheImportLog) {
    const ToolRun quiet = runTool({"-q", "--summary", "-f", "json", oneOfEverything.string()});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_NE(quiet.out.find("\"document\": \"urdf\""), std::string::npos)
        << "the document still goes out";
    EXPECT_EQ(quiet.err, everythingSummary);

    const ToolRun loud = runTool({"--summary", "-o", "/dev/null", oneOfEverything.string()});
    EXPECT_EQ(loud.status, 0);
    const std::string logPrefix = oneOfEverything.string() + ": error: ";
    EXPECT_EQ(loud.err,
              logPrefix + "Skipping unsupported joint type FloatingJoint for joint free_flight\n" +
                  logPrefix + "Skipping unsupported joint type PlanarJoint for joint table\n" +
                  everythingSummary);
}

TEST(CliSummary, NamesBeyondTheFirstThreeAreElided) {
    const ScratchDir scratch;
    const fs::path file = scratch / "chain.urdf";
    // clang-format off
    writeFile(file, R"(<robot name="chain">
      <link name="a"/><link name="b"/><link name="c"/><link name="d"/><link name="e"/>
      <joint name="ab" type="revolute"><parent link="a"/><child link="b"/><limit effort="1" velocity="1"/></joint>
      <joint name="bc" type="revolute"><parent link="b"/><child link="c"/><limit effort="1" velocity="1"/></joint>
      <joint name="cd" type="revolute"><parent link="c"/><child link="d"/><limit effort="1" velocity="1"/></joint>
      <joint name="de" type="revolute"><parent link="d"/><child link="e"/><limit effort="1" velocity="1"/></joint>
    </robot>)");
    // clang-format on
    const ToolRun run = runTool({"-q", "--summary", "-o", "/dev/null", file.string()});
    EXPECT_EQ(run.status, 0);
    const auto lines = linesOf(run.err);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "  bodies without any mass: 5 (a, b, c, ...): no inertial data and in no "
                        "kinematic lock; a simulator will refuse them"),
              lines.end())
        << run.err;
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "    velocity limits: 4 (ab, bc, cd, ...)");
}

TEST(CliSummary, RefusedDescriptionGetsNoSummary) {
    const ScratchDir scratch;
    const fs::path bad = scratch / "bad.urdf";
    writeFile(bad, "<robot name='x'>\n  <link name='a'/>\n</robt>\n");
    const ToolRun run = runTool({"-q", "--summary", bad.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "error: " + bad.string() +
                           ":3: not a valid URDF robot description: malformed XML: Error reading "
                           "end tag.\n");
}

// Summaries of every valid corpus robot, in one run: each names the file, counts its links as
// bodies and its floating, planar and unknown joints as skipped.
TEST(CliSummaryCorpus, SummaryOfEveryValidRobotRunsCleanAndCountsWhatUrdfdomReads) {
    CORVANE_SKIP_WITHOUT_CORPUS();
    const auto files = corpusFiles("valid");
    // read as urdfdom read them: a few keep xacro elements, which would be expanded
    std::vector<std::string> arguments{"-q", "--summary", "--no-xacro"};
    for (const auto& file : files) arguments.push_back(file.string());
    const ToolRun run = runTool(arguments);
    ASSERT_EQ(run.status, 0) << run.err.substr(0, 2000);
    EXPECT_EQ(run.out, "");

    std::map<std::string, std::vector<std::string>> summaries;
    std::vector<std::string>* current = nullptr;
    for (const auto& line : linesOf(run.err)) {
        if (const auto header = line.find(": summary of model "); header != std::string::npos) {
            current = &summaries[line.substr(0, header)];
        } else {
            ASSERT_TRUE(current != nullptr && line.starts_with("  ")) << line;
            current->push_back(line);
        }
    }
    ASSERT_EQ(summaries.size(), files.size());
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        const corvane::Plugins::Urdf::ParsedUrdf robot(readFile(file));
        ASSERT_TRUE(robot);
        std::size_t withMass = 0;
        for (const auto& [name, link] : robot->links_) withMass += link->inertial ? 1 : 0;
        std::size_t skipped = 0;
        for (const auto& [name, joint] : robot->joints_) {
            skipped += joint->type == urdf::Joint::FLOATING || joint->type == urdf::Joint::PLANAR ||
                               joint->type == urdf::Joint::UNKNOWN
                           ? 1
                           : 0;
        }
        const auto& lines = summaries[file.string()];
        ASSERT_GE(lines.size(), 9u);
        EXPECT_EQ(lines[0], "  bodies: " + std::to_string(robot->links_.size()) + " (" +
                                std::to_string(withMass) + " with mass, " +
                                std::to_string(robot->links_.size() - withMass) + " massless)");
        EXPECT_EQ(lines[7], "  joints skipped: " + std::to_string(skipped));
    }
}

// ---------------------------------------------------------------------------------------------
// Batch conversion

TEST(CliBatch, RefusedFileInTheMiddleDoesNotStopTheOthers) {
    const ScratchDir inputs;
    const fs::path bad = inputs / "bad.urdf";
    writeFile(bad, "<robot><link name='a'/></robot>");  // no robot name: refused by urdfdom
    const ScratchDir out;
    const ToolRun run = runTool({"-q", "-f", "json", "-o", out.path().string(), armExample.string(),
                                 bad.string(), oneOfEverything.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "error: " + bad.string() + ": not a valid URDF robot description\n" +
                           "error: 1 of 3 FILEs failed: " + bad.string() + "\n");
    EXPECT_EQ(out.entries(),
              (std::vector<std::string>{"arm_robot.json", "one_of_everything.json"}));
    EXPECT_EQ(readFile(out / "arm_robot.json"),
              runTool({"-q", "-f", "json", armExample.string()}).out);
    EXPECT_EQ(readFile(out / "one_of_everything.json"),
              runTool({"-q", "-f", "json", oneOfEverything.string()}).out);
}

TEST(CliBatch, UnreadableInputOutranksARefusalInTheExitStatus) {
    const ScratchDir inputs;
    const fs::path bad = inputs / "bad.urdf";
    writeFile(bad, "<robot><link name='a'/></robot>");
    const fs::path missing = inputs / "missing.urdf";
    const ScratchDir out;
    const ToolRun run = runTool(
        {"-q", "-o", out.path().string(), missing.string(), bad.string(), armExample.string()});
    EXPECT_EQ(run.status, 2);
    const auto lines = linesOf(run.err);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(),
              "error: 2 of 3 FILEs failed: " + missing.string() + ", " + bad.string());
    EXPECT_EQ(out.entries(), std::vector<std::string>{"arm_robot.txt"});
}

TEST(CliBatch, EachOutputIsNamedAfterItsInputWithTheFormatsExtension) {
    const ScratchDir inputs;
    fs::copy_file(armExample, inputs / "arm.v2.urdf");
    std::vector<std::pair<std::string, std::string>> formats{
        {"text", ".txt"}, {"json", ".json"}, {"dot", ".dot"}};
    if (graphvizInstalled()) {
        formats.emplace_back("svg", ".svg");
        formats.emplace_back("png", ".png");
    }
    for (const auto& [format, extension] : formats) {
        SCOPED_TRACE(format);
        const ScratchDir out;
        const ToolRun run = runTool({"-q", "-f", format, "-o", out.path().string(),
                                     armExample.string(), (inputs / "arm.v2.urdf").string()});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(out.entries(),
                  (std::vector<std::string>{"arm.v2" + extension, "arm_robot" + extension}));
    }
}

TEST(CliBatch, ClashingOrSelfReplacingOutputsAreRefusedBeforeAnythingIsWritten) {
    const ScratchDir inputs;
    fs::create_directory(inputs / "other");
    fs::copy_file(armExample, inputs / "other" / "arm_robot.urdf");
    const ScratchDir out;
    const ToolRun clash = runTool({"-o", out.path().string(), armExample.string(),
                                   (inputs / "other" / "arm_robot.urdf").string()});
    EXPECT_EQ(clash.status, 2);
    EXPECT_EQ(clash.err, "error: " + armExample.string() + " and " +
                             (inputs / "other" / "arm_robot.urdf").string() +
                             " would both be written to " + (out / "arm_robot.txt").string() +
                             "; convert them separately\n");
    EXPECT_TRUE(out.entries().empty());

    // An input that has the name its own output would get.
    fs::copy_file(armExample, inputs / "robot.txt");
    const ToolRun replacing = runTool(
        {"-o", inputs.path().string(), armExample.string(), (inputs / "robot.txt").string()});
    EXPECT_EQ(replacing.status, 2);
    EXPECT_EQ(replacing.err, "error: " + (inputs / "robot.txt").string() +
                                 " would replace the input " + (inputs / "robot.txt").string() +
                                 "\n");
    EXPECT_EQ(readFile(inputs / "robot.txt"), readFile(armExample));
    EXPECT_FALSE(fs::exists(inputs / "arm_robot.txt"));
}

TEST(CliBatch, SeveralInputsNeedAFolderUnlessOnlySummariesAreWanted) {
    const ScratchDir scratch;
    const std::string arm = armExample.string();
    const std::string everything = oneOfEverything.string();
    const std::vector<std::vector<std::string>> mistakes{
        {arm, everything},
        {"--summary", "-f", "json", arm, everything},
        {"-o", "-", arm, everything},
        {"-o", scratch.path().string(), "-", arm},
        {"-o", (scratch / "no-such-folder").string(), arm, everything},
        {"-o", arm, arm, everything},
    };
    for (const auto& arguments : mistakes) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        const ToolRun run = runTool(arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(linesOf(run.err).size(), 1u) << run.err;
        EXPECT_TRUE(run.err.starts_with("error: ")) << run.err;
    }
    EXPECT_TRUE(scratch.entries().empty());

    const ToolRun summaries = runTool({"-q", "--summary", arm, everything});
    EXPECT_EQ(summaries.status, 0) << summaries.err;
    EXPECT_EQ(summaries.out, "");
    EXPECT_TRUE(summaries.err.starts_with(arm + ": summary of model arm_robot\n"));
    EXPECT_TRUE(summaries.err.ends_with(everythingSummary));
}

// ---------------------------------------------------------------------------------------------
// Refusals

TEST(CliRefusal, DeeplyNestedTextIsRefusedWithoutCrashing) {
    const ScratchDir scratch;
    const fs::path deep = scratch / "deep.urdf";
    std::string text = "<robot name='deep'>";
    for (int i = 0; i < 200000; ++i) text += "<a>";
    writeFile(deep, text);
    const ToolRun run = runTool({"-q", "--summary", "-f", "dot", deep.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "error: " + deep.string() + ": not a valid URDF robot description\n");
}

}  // namespace
