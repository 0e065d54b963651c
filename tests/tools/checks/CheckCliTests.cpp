// corvane-urdf --check as a user runs it: findings printed with the line of the URDF element
// they are about, exit statuses, where findings and documents go, the real robots of
// ../shared/robots with their meshes found (or not) the ways ROS users expect, bad mesh files,
// and every corpus file checked twice with the same result.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ScratchDir.hpp"
#include "TestSupport.hpp"
#include "ToolRun.hpp"
#include "UrdfText.hpp"
#include "checks/CheckReport.hpp"
#include "model/UrdfElements.hpp"

namespace {

namespace fs = std::filesystem;
using corvane::testing::corpusFiles;
using corvane::testing::joint;
using corvane::testing::linesOf;
using corvane::testing::linkWith;
using corvane::testing::linkWithMass;
using corvane::testing::readFile;
using corvane::testing::robot;
using corvane::testing::runTool;
using corvane::testing::runToolWithEnvironment;
using corvane::testing::ScratchDir;
using corvane::testing::ToolRun;
using corvane::testing::writeFile;
using namespace corvane::tools;
using Element = UrdfPlace::Element;

const fs::path robotsDir = fs::path(CORVANE_SHARED_DIR) / "robots";

#define SKIP_WITHOUT_ROBOTS()                                                       \
    if (!fs::is_directory(robotsDir)) {                                             \
        GTEST_SKIP() << "no ../shared/robots beside this checkout: robots skipped"; \
    }

// The 1-based line of `text` on which `needle` first occurs; 0 when it does not.
int lineContaining(const std::string& text, const std::string& needle) {
    const auto at = text.find(needle);
    if (at == std::string::npos) return 0;
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + at, '\n'));
}

// A finding as printed, taken apart.
struct PrintedFinding {
    std::string file;
    int line = 0;  // 0: none printed
    std::string severity;
    std::string rest;  // subject and message
    std::string rule;
};

std::vector<PrintedFinding> findingsIn(const std::string& output) {
    static const std::regex pattern(
        R"(^(.*?)(?::(\d+))?: (error|warning|note): (.*) \[([a-z-]+)\]$)");
    std::vector<PrintedFinding> findings;
    for (const auto& line : linesOf(output)) {
        std::smatch match;
        if (!std::regex_match(line, match, pattern)) continue;
        findings.push_back(
            {match[1], match[2].matched ? std::stoi(match[2]) : 0, match[3], match[4], match[5]});
    }
    return findings;
}

std::vector<std::string> rulesIn(const std::string& output) {
    std::vector<std::string> rules;
    for (const auto& finding : findingsIn(output)) rules.push_back(finding.rule);
    return rules;
}

std::size_t countOf(const std::vector<std::string>& rules, const std::string& rule) {
    return static_cast<std::size_t>(std::count(rules.begin(), rules.end(), rule));
}

// A robot laid out one element per line, as people write them, with a fault at each of the
// elements a finding can point at.
const std::string faultyRobot = R"(<?xml version="1.0"?>
<robot name="lines">
  <link name="base">
    <inertial>
      <mass value="1"/>
      <inertia ixx="0.001" ixy="0" ixz="0" iyy="0.001" iyz="0" izz="0.001"/>
    </inertial>
  </link>
  <link name="forearm">
    <inertial>
      <mass value="1"/>
      <inertia ixx="0.1" ixy="0" ixz="0" iyy="0.2" iyz="0" izz="0.5"/>
    </inertial>
    <visual>
      <geometry><box size="0.1 0.1 0.1"/></geometry>
    </visual>
    <collision name="bad_sphere">
      <geometry><sphere radius="0"/></geometry>
    </collision>
    <collision>
      <geometry>
        <mesh filename="missing.stl" scale="1 0 1"/>
      </geometry>
    </collision>
  </link>
  <joint name="elbow" type="revolute">
    <parent link="base"/>
    <child link="forearm"/>
    <axis xyz="0 0 0"/>
    <limit lower="1" upper="-1" effort="-1" velocity="1"/>
  </joint>
</robot>
)";

std::string shoulderRobot(const std::string& effort) {
    return robot(linkWithMass("base") + linkWithMass("arm") +
                 joint("shoulder", "revolute", "base", "arm",
                       R"(<axis xyz="0 0 1"/><limit lower="-1" upper="1" effort=")" + effort +
                           R"(" velocity="1"/>)"));
}

// A robot the checks find nothing wrong with, and one with a single warning: the actuator cannot
// drive the joint.
const std::string soundRobot = shoulderRobot("5");
const std::string warnedRobot = shoulderRobot("0");

struct Files {
    ScratchDir dir;
    fs::path write(const std::string& name, const std::string& content) const {
        const fs::path path = dir / name;
        writeFile(path, content);
        return path;
    }
};

TEST(CheckFindings, EachPointsAtTheLineOfItsElement) {
    const Files files;
    const fs::path urdf = files.write("faulty.urdf", faultyRobot);
    const ToolRun run = runTool({"--check", "-q", urdf.string()});
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_EQ(run.err, "");

    const auto line = [](const std::string& needle) { return lineContaining(faultyRobot, needle); };
    const std::multiset<std::pair<std::string, int>> expected{
        {"inertia-triangle", line("<link name=\"forearm\">") + 1},  // its inertial element
        {"geometry-size", line("<collision name=\"bad_sphere\"")},
        {"mesh-scale-zero", line("<mesh filename")},
        {"mesh-not-found", line("<mesh filename")},
        {"axis-zero", line("<axis")},
        {"range-inverted", line("<limit")},
        {"effort-negative", line("<limit")},
    };
    std::multiset<std::pair<std::string, int>> printed;
    for (const auto& finding : findingsIn(run.out)) {
        EXPECT_EQ(finding.file, urdf.string());
        printed.emplace(finding.rule, finding.line);
    }
    EXPECT_EQ(printed, expected) << run.out;

    // Values, remedies and the places tried reach the line as the checks word them.
    EXPECT_NE(run.out.find("(ixx+iyy < izz: 0.1 + 0.2 < 0.5)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("tried: " + (files.dir / "missing.stl").string()), std::string::npos)
        << run.out;
    EXPECT_EQ(linesOf(run.out).back(), urdf.string() + ": checked: 6 errors, 1 warning");
}

TEST(CheckFindings, ElementMissingFromTheFileFallsBackToItsOwnerOrToTheFileAlone) {
    const std::string text =
        "<robot name=\"r\">\n<link name=\"a\"/>\n<joint name=\"j\" "
        "type=\"fixed\">\n<parent link=\"a\"/></joint>\n</robot>\n";
    const UrdfElements lines = readUrdfElements(text);
    EXPECT_EQ(lines.lineOf({Element::Robot, "", 0, false}), 1);
    EXPECT_EQ(lines.lineOf({Element::Inertial, "a", 0, false}), 2);  // no inertial: the link
    EXPECT_EQ(lines.lineOf({Element::Mesh, "a", 3, true}), 2);       // no visual: the link
    EXPECT_EQ(lines.lineOf({Element::Axis, "j", 0, false}), 3);      // no axis: the joint
    EXPECT_EQ(lines.lineOf({Element::Limit, "j", 0, false}), 3);
    EXPECT_EQ(lines.lineOf({Element::Link, "unknown", 0, false}), 0);
    EXPECT_EQ(lines.lineOf({Element::Joint, "unknown", 0, false}), 0);

    const Finding finding{Severity::Warning, "body 'a'", "what is wrong", "mass-zero", {}, {}};
    EXPECT_EQ(findingLine(finding, "r.urdf", 0),
              "r.urdf: warning: body 'a': what is wrong [mass-zero]");
    EXPECT_EQ(findingLine(finding, "r.urdf", 7),
              "r.urdf:7: warning: body 'a': what is wrong [mass-zero]");
}

TEST(CheckFindings, LinesOfTheFirstElementOfANameAndOfElementsInFileOrder) {
    const std::string text = R"(<robot name="r">
<link name="a">
<visual><geometry><box size="1 1 1"/></geometry></visual>
<collision><geometry><box size="1 1 1"/></geometry></collision>
<visual>
<geometry>
<mesh filename="m.stl"/>
</geometry>
</visual>
</link>
<link name="a">
</link>
</robot>
)";
    const UrdfElements lines = readUrdfElements(text);
    EXPECT_EQ(lines.lineOf({Element::Link, "a", 0, false}), 2);
    EXPECT_EQ(lines.lineOf({Element::Visual, "a", 0, true}), 3);
    EXPECT_EQ(lines.lineOf({Element::Visual, "a", 1, true}), 5);
    EXPECT_EQ(lines.lineOf({Element::Collision, "a", 0, false}), 4);
    EXPECT_EQ(lines.lineOf({Element::Mesh, "a", 1, true}), 7);
    EXPECT_EQ(lines.lineOf({Element::Mesh, "a", 0, true}), 3);  // a box: the visual itself
    EXPECT_EQ(lines.lineOf({Element::Mesh, "a", 0, false}), 4);
}

TEST(CheckFindings, AxesAndShapesAreReadAsUrdfdomReadsThem) {
    const std::string text = R"(<robot name="r">
<link name="a"><collision><geometry><box size="1 1 1"/></geometry></collision>
<collision><geometry/></collision><visual><geometry><mesh filename="m.stl"/></geometry></visual></link>
<joint name="none" type="revolute"><child link="b"/></joint>
<joint name="empty" type="revolute"><axis/></joint>
<joint name="spaced" type="prismatic"><axis xyz=" +0  0	-2.5e-1 "/></joint>
<joint name="short" type="revolute"><axis xyz="0 1"/></joint>
<joint name="fixed" type="fixed"><axis xyz="0 0 1"/></joint>
</robot>
)";
    const UrdfElements elements = readUrdfElements(text);
    using Axis = std::optional<std::array<double, 3>>;
    const auto axisOf = [&](const std::string& name) {
        const UrdfElements::Joint* joint = elements.joint(name);
        return joint ? joint->axis : Axis{std::array<double, 3>{-9, -9, -9}};
    };
    EXPECT_EQ(axisOf("none"), (Axis{{1, 0, 0}}));   // no axis element: urdfdom's default
    EXPECT_EQ(axisOf("empty"), (Axis{{0, 0, 0}}));  // an axis without xyz stays zero
    EXPECT_EQ(axisOf("spaced"), (Axis{{0, 0, -0.25}}));
    EXPECT_EQ(axisOf("short"), Axis{});
    EXPECT_EQ(axisOf("fixed"), Axis{});  // urdfdom reads no axis of a fixed joint
    ASSERT_NE(elements.joint("none"), nullptr);
    EXPECT_EQ(elements.joint("none")->childLink, "b");

    const UrdfElements::Link* link = elements.link("a");
    ASSERT_NE(link, nullptr);
    ASSERT_EQ(link->collisions.size(), 2U);
    EXPECT_TRUE(link->collisions[0].mapped);
    EXPECT_FALSE(link->collisions[1].mapped);  // no shape: the import makes no geometry of it
    ASSERT_EQ(link->visuals.size(), 1U);
    EXPECT_TRUE(link->visuals[0].mapped);
    EXPECT_EQ(link->visuals[0].meshLine, 3);
}

TEST(CheckFindings, HostileNamesAreShownEscapedOnOneLine) {
    const Files files;
    const std::string name = "arm\x1b[2J\xff";
    const fs::path urdf = files.write(
        "hostile.urdf",
        robot(linkWithMass("base") + linkWithMass(name, "-1") + joint("j", "fixed", "base", name)));
    const ToolRun run = runTool({"--check", "-q", urdf.string()});
    EXPECT_EQ(run.status, 3) << run.out << run.err;
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find('\xff'), std::string::npos) << run.out;
    // Host text's own escape for the control character, the tool's for the stray byte.
    EXPECT_NE(run.out.find("body 'arm\\u001b[2J\\xFF'"), std::string::npos) << run.out;
    EXPECT_EQ(rulesIn(run.out), std::vector<std::string>{"mass-negative"}) << run.out;
}

TEST(CheckExitStatus, ErrorsGiveThreeWarningsOnlyWhenAskedAndUsageErrorsTwo) {
    const Files files;
    const fs::path sound = files.write("sound.urdf", soundRobot);
    const fs::path warned = files.write("warned.urdf", warnedRobot);
    const fs::path faulty = files.write("faulty.urdf", faultyRobot);
    const fs::path refused = files.write("refused.urdf", "<robot name=\"r\"><link name=\"a\">");

    const ToolRun clean = runTool({"--check", sound.string()});
    EXPECT_EQ(clean.status, 0) << clean.err;
    EXPECT_EQ(clean.out, sound.string() + ": checked: no errors or warnings\n");

    const ToolRun warning = runTool({"--check", warned.string()});
    EXPECT_EQ(warning.status, 0) << warning.out;
    EXPECT_EQ(rulesIn(warning.out), std::vector<std::string>{"effort-zero"});
    EXPECT_EQ(runTool({"--check", "--check-warnings-as-errors", warned.string()}).status, 3);
    EXPECT_EQ(runTool({"--check", "--check-warnings-as-errors", sound.string()}).status, 0);
    EXPECT_EQ(runTool({"--check-warnings-as-errors", sound.string()}).status, 2);

    EXPECT_EQ(runTool({"--check", faulty.string()}).status, 3);
    const ToolRun notImported = runTool({"--check", refused.string()});
    EXPECT_EQ(notImported.status, 1);
    EXPECT_EQ(notImported.out, "");

    // Several files: every one is checked, the highest status wins, a refused file is named.
    const ToolRun several = runTool({"--check", sound.string(), refused.string(), faulty.string()});
    EXPECT_EQ(several.status, 3) << several.err;
    EXPECT_NE(several.out.find(sound.string() + ": checked: no errors"), std::string::npos);
    EXPECT_NE(several.out.find(faulty.string() + ": checked: 6 errors"), std::string::npos);
    EXPECT_NE(several.err.find("1 of 3 FILEs failed: " + refused.string()), std::string::npos)
        << several.err;
    EXPECT_EQ(runTool({"--check", sound.string(), refused.string()}).status, 1);
    EXPECT_EQ(runTool({"--check", sound.string(), warned.string()}).status, 0);
    EXPECT_EQ(runTool({"--check", "-f", "json", sound.string(), warned.string()}).status, 2);
}

TEST(CheckOutput, AloneNoDocumentWithFormatOrOutputTheDocumentToo) {
    const Files files;
    const fs::path warned = files.write("warned.urdf", warnedRobot);

    // The document on standard output: the findings go to standard error.
    const ToolRun json = runTool({"--check", "-f", "json", warned.string()});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_TRUE(nlohmann::json::accept(json.out)) << json.out;
    EXPECT_EQ(rulesIn(json.err), std::vector<std::string>{"effort-zero"});

    // The document in a file: the findings on standard output.
    const fs::path text = files.dir / "robot.txt";
    const ToolRun toFile = runTool({"--check", "-o", text.string(), warned.string()});
    EXPECT_EQ(toFile.status, 0) << toFile.err;
    EXPECT_EQ(rulesIn(toFile.out), std::vector<std::string>{"effort-zero"});
    EXPECT_NE(readFile(text).find("shoulder"), std::string::npos);

    // With --summary: both, the summary on standard error, and still no document.
    const ToolRun summary = runTool({"--check", "--summary", warned.string()});
    EXPECT_EQ(summary.status, 0);
    EXPECT_EQ(linesOf(summary.out).size(), 2U) << summary.out;
    EXPECT_EQ(rulesIn(summary.out), std::vector<std::string>{"effort-zero"});
    EXPECT_NE(summary.err.find("interaction"), std::string::npos) << summary.err;
}

TEST(CheckOutput, QuietHidesTheImportsLogNeverAFindingAndVerboseShowsNotes) {
    const Files files;
    // Limits on a fixed joint: the import warns. 0 lies outside the wrist's range: a note.
    const fs::path urdf = files.write(
        "noted.urdf", robot(linkWithMass("base") + linkWithMass("arm") + linkWithMass("hand") +
                            joint("spin", "fixed", "base", "arm",
                                  R"(<limit lower="-1" upper="1" effort="1" velocity="1"/>)") +
                            joint("wrist", "revolute", "arm", "hand",
                                  R"(<limit lower="0.5" upper="1" effort="0" velocity="1"/>)")));
    const ToolRun loud = runTool({"--check", urdf.string()});
    EXPECT_NE(loud.err.find("warning: Unsupported limits in joint spin"), std::string::npos)
        << loud.err;
    const ToolRun quiet = runTool({"--check", "-q", urdf.string()});
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.out, loud.out);
    EXPECT_EQ(rulesIn(quiet.out), std::vector<std::string>{"effort-zero"}) << quiet.out;
    EXPECT_EQ(linesOf(quiet.out).size(), 2U) << quiet.out;

    const ToolRun verbose = runTool({"--check", "-q", "-v", urdf.string()});
    const auto findings = findingsIn(verbose.out);
    ASSERT_EQ(findings.size(), 2U) << verbose.out;
    const auto note = std::find_if(findings.begin(), findings.end(),
                                   [](const PrintedFinding& f) { return f.severity == "note"; });
    ASSERT_NE(note, findings.end()) << verbose.out;
    EXPECT_EQ(note->rule, "initial-clamped");
    EXPECT_EQ(note->line, 1);  // a one-line file
    EXPECT_NE(verbose.out.find("checked: 0 errors, 1 warning, 1 note"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// The real robots, a ROS package with its meshes.

std::vector<fs::path> robotFiles() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(robotsDir)) {
        if (entry.path().extension() == ".urdf") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(CheckRealRobots, EveryMeshFoundThroughPackagePathAndRosPackagePath) {
    SKIP_WITHOUT_ROBOTS();
    const auto files = robotFiles();
    ASSERT_GE(files.size(), 5U);
    for (const auto& urdf : files) {
        SCOPED_TRACE(urdf.string());
        const ToolRun option =
            runTool({"--check", "-q", "--package-path", robotsDir.string(), urdf.string()});
        EXPECT_TRUE(option.status == 0 || option.status == 3) << option.err;
        const auto rules = rulesIn(option.out);
        EXPECT_EQ(countOf(rules, "mesh-not-found") + countOf(rules, "mesh-unreadable"), 0U)
            << option.out;
        const ToolRun environment = runToolWithEnvironment(
            {"--check", "-q", urdf.string()},
            {{"ROS_PACKAGE_PATH", robotsDir.string()}, {"AMENT_PREFIX_PATH", ""}});
        EXPECT_EQ(environment.out, option.out);
        EXPECT_EQ(environment.status, option.status);
    }
}

TEST(CheckRealRobots, WithoutASearchPathEveryMeshIsNotFoundAtItsLine) {
    SKIP_WITHOUT_ROBOTS();
    const ScratchDir empty;
    std::size_t meshesSeen = 0;
    for (const auto& urdf : robotFiles()) {
        SCOPED_TRACE(urdf.string());
        const auto lines = linesOf(readFile(urdf));
        const ToolRun run =
            runToolWithEnvironment({"--check", "-q", urdf.string()},
                                   {{"ROS_PACKAGE_PATH", ""}, {"AMENT_PREFIX_PATH", ""}});
        std::size_t notFound = 0;
        for (const auto& finding : findingsIn(run.out)) {
            if (finding.rule != "mesh-not-found") continue;
            ++notFound;
            ASSERT_GT(finding.line, 0);
            ASSERT_LE(static_cast<std::size_t>(finding.line), lines.size());
            EXPECT_NE(lines[finding.line - 1].find("<mesh"), std::string::npos)
                << "line " << finding.line << ": " << lines[finding.line - 1];
            EXPECT_NE(finding.rest.find("no search path is given"), std::string::npos);
        }
        // One finding per mesh element (these files write one per line).
        std::size_t meshLines = 0;
        for (const auto& line : lines) meshLines += line.find("<mesh") != std::string::npos;
        EXPECT_EQ(notFound, meshLines);
        meshesSeen += notFound;
        if (notFound > 0) {
            EXPECT_EQ(run.status, 3);
        }

        // A search path that does not hold the package: every place tried is named.
        const ToolRun elsewhere = runToolWithEnvironment(
            {"--check", "-q", urdf.string()},
            {{"ROS_PACKAGE_PATH", empty.path().string()}, {"AMENT_PREFIX_PATH", ""}});
        for (const auto& finding : findingsIn(elsewhere.out)) {
            if (finding.rule != "mesh-not-found") continue;
            EXPECT_NE(finding.rest.find("tried: " + empty.path().string()), std::string::npos)
                << finding.rest;
        }
        EXPECT_EQ(countOf(rulesIn(elsewhere.out), "mesh-not-found"), notFound);
    }
    EXPECT_GT(meshesSeen, 100U) << "the robots have meshes";
}

// ---------------------------------------------------------------------------------------------
// Mesh files that are not meshes.

TEST(CheckBadMeshes, FoldersDevicesPipesDanglingLinksEmptyFilesAndEmptyPackageNames) {
    const Files files;
    fs::create_directory(files.dir / "folder.stl");
    ASSERT_EQ(::mkfifo((files.dir / "pipe.stl").c_str(), 0600), 0);
    fs::create_symlink(files.dir / "nowhere.stl", files.dir / "dangling.stl");
    files.write("empty.stl", "");
    const std::vector<std::pair<std::string, std::string>> cases{
        {"folder.stl", "is a folder"},      {"/dev/null", "not a regular file"},
        {"pipe.stl", "not a regular file"}, {"dangling.stl", "nowhere.stl"},
        {"empty.stl", "is empty"},          {"package:///meshes/a.stl", "package name is empty"},
    };
    std::string links = linkWithMass("base");
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string name = "l" + std::to_string(i);
        links += linkWith(name, corvane::testing::unitInertial() +
                                    "<visual><geometry><mesh filename=\"" + cases[i].first +
                                    "\"/></geometry></visual>");
        links += joint("j" + std::to_string(i), "fixed", "base", name);
    }
    const fs::path urdf = files.write("bad.urdf", robot(links));
    const ToolRun run = runTool({"--check", "-q", urdf.string()});
    EXPECT_EQ(run.status, 3) << run.err;
    const auto findings = findingsIn(run.out);
    ASSERT_EQ(findings.size(), cases.size()) << run.out;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].first);
        EXPECT_TRUE(findings[i].rule == "mesh-not-found" || findings[i].rule == "mesh-unreadable");
        EXPECT_NE(findings[i].rest.find(cases[i].second), std::string::npos) << findings[i].rest;
        EXPECT_EQ(findings[i].line, 1);
    }
}

TEST(CheckBadMeshes, UnreadableFileGivesTheCause) {
    if (::geteuid() == 0) GTEST_SKIP() << "running as root: every file can be read";
    const Files files;
    const fs::path mesh = files.write("locked.stl", "solid x\nendsolid x\n");
    fs::permissions(mesh, fs::perms::none);
    const fs::path urdf = files.write(
        "locked.urdf",
        robot(linkWith("a",
                       "<visual><geometry><mesh filename=\"locked.stl\"/></geometry></visual>")));
    const ToolRun run = runTool({"--check", "-q", urdf.string()});
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(rulesIn(run.out), std::vector<std::string>{"mesh-unreadable"});
    EXPECT_NE(run.out.find("Permission denied"), std::string::npos) << run.out;
}

// ---------------------------------------------------------------------------------------------
// The whole corpus.

TEST(CheckCorpus, EveryFileChecksTwiceAlikeWithoutACrash) {
    CORVANE_SKIP_WITHOUT_CORPUS();
    // Read as URDF, as urdfdom judged them: a few valid files keep stray xacro calls (valkyrie's)
    // that would fail to expand.
    std::vector<std::string> arguments{"--check", "-q", "--no-xacro"};
    std::size_t valid = 0;
    for (const std::string folder : {"valid", "refused"}) {
        for (const auto& file : corpusFiles(folder)) {
            arguments.push_back(file.string());
            valid += folder == "valid";
        }
    }
    const ToolRun first = runTool(arguments);
    const ToolRun second = runTool(arguments);
    EXPECT_TRUE(first.status == 1 || first.status == 3) << first.status << first.err;
    EXPECT_EQ(first.status, second.status);
    EXPECT_EQ(first.out, second.out);
    EXPECT_EQ(first.err, second.err);
    std::size_t checked = 0;
    const std::regex finding(R"(: (error|warning): .* \[[a-z-]+\]$)");
    for (const auto& line : linesOf(first.out)) {
        const bool tally = line.find(": checked: ") != std::string::npos;
        checked += tally;
        EXPECT_TRUE(tally || std::regex_search(line, finding)) << line;
    }
    EXPECT_EQ(checked, valid) << "every valid robot imports and is checked";
}

}  // namespace
