// The markup urdfdom reads past, planted in a real corpus robot: each planted element or
// attribute gives one finding at its line with the right rule (and the name it most likely
// stands for), and nothing else about the robot changes; the extensions robot descriptions carry
// for other programs give none, planted or in the corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <compare>
#include <filesystem>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "ScratchDir.hpp"
#include "TestSupport.hpp"
#include "ToolRun.hpp"

namespace {

namespace fs = std::filesystem;
using corvane::testing::corpusDir;
using corvane::testing::corpusFiles;
using corvane::testing::linesOf;
using corvane::testing::readFile;
using corvane::testing::runToolWithEnvironment;
using corvane::testing::ScratchDir;
using corvane::testing::ToolRun;
using corvane::testing::writeFile;

#define SKIP_WITHOUT_CORPUS()                                                       \
    if (!corpusDir()) {                                                             \
        GTEST_SKIP() << "no ../shared/corpus beside this checkout: corpus skipped"; \
    }

// A seven-axis arm with inertials, visuals, collisions, revolute axes, Drake extensions and a
// declared xacro namespace: every place the planted markup needs.
const char* const hostRobot = "drake__iiwa_description__urdf__iiwa14_primitive_collision.urdf";

struct PrintedFinding {
    int line = 0;
    std::string severity;
    std::string rule;
    std::string text;  // subject and message
    auto operator<=>(const PrintedFinding&) const = default;
};

std::multiset<PrintedFinding> findingsIn(const std::string& output) {
    static const std::regex pattern(R"(^[^:]*:(\d+): (error|warning|note): (.*) \[([a-z-]+)\]$)");
    std::multiset<PrintedFinding> findings;
    for (const auto& line : linesOf(output)) {
        std::smatch match;
        if (std::regex_match(line, match, pattern)) {
            findings.insert({std::stoi(match[1]), match[2], match[4], match[3]});
        }
    }
    return findings;
}

// The findings of `--check -v` on `text`, written as a file of the scratch folder and read as
// URDF (planted xacro elements are found, not expanded).
std::multiset<PrintedFinding> checked(const ScratchDir& dir, const std::string& text) {
    const fs::path path = dir / "robot.urdf";
    writeFile(path, text);
    const ToolRun run =
        runToolWithEnvironment({"--check", "-q", "-v", "--no-xacro", path.string()},
                               {{"ROS_PACKAGE_PATH", ""}, {"AMENT_PREFIX_PATH", ""}});
    EXPECT_TRUE(run.status == 0 || run.status == 3) << run.status << ": " << run.err;
    return findingsIn(run.out);
}

int lineAt(const std::string& text, std::size_t at) {
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + at, '\n'));
}

struct Planted {
    std::string text;
    int line = 0;
};

// `text` with `insertion` written right after the first `anchor` after `after`, on the anchor's
// own line, so that no other line moves.
Planted plant(const std::string& text, const std::string& anchor, const std::string& insertion,
              const std::string& after = {}) {
    const std::size_t from = after.empty() ? 0 : text.find(after);
    EXPECT_NE(from, std::string::npos) << after;
    const std::size_t at = text.find(anchor, from);
    EXPECT_NE(at, std::string::npos) << anchor;
    if (from == std::string::npos || at == std::string::npos) return {text, 0};
    Planted planted{text, lineAt(text, at)};
    planted.text.insert(at + anchor.size(), insertion);
    return planted;
}

// `text` with its first `from` after `after` replaced by `to`, on the same line.
Planted replaced(const std::string& text, const std::string& from, const std::string& to,
                 const std::string& after = {}) {
    const std::size_t start = after.empty() ? 0 : text.find(after);
    const std::size_t at = text.find(from, start == std::string::npos ? 0 : start);
    EXPECT_NE(at, std::string::npos) << from;
    if (at == std::string::npos) return {text, 0};
    Planted planted{text, lineAt(text, at)};
    planted.text.replace(at, from.size(), to);
    return planted;
}

struct Case {
    const char* what;
    Planted planted;
    const char* rule;
    const char* severity;
    std::string mentions;  // in the message: the did-you-mean, or what happens instead
};

class PlantedMarkup : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!corpusDir()) GTEST_SKIP() << "no ../shared/corpus beside this checkout: skipped";
        original_ = readFile(*corpusDir() / "valid" / hostRobot);
        before_ = checked(dir_, original_);
        ASSERT_FALSE(before_.empty());
    }

    // One finding more than the robot had, at the planted line, of the rule; nothing else.
    void expectOneNewFinding(const Case& c) {
        SCOPED_TRACE(c.what);
        ASSERT_GT(c.planted.line, 0);
        const std::multiset<PrintedFinding> after = checked(dir_, c.planted.text);
        std::vector<PrintedFinding> added;
        std::set_difference(after.begin(), after.end(), before_.begin(), before_.end(),
                            std::back_inserter(added));
        std::vector<PrintedFinding> lost;
        std::set_difference(before_.begin(), before_.end(), after.begin(), after.end(),
                            std::back_inserter(lost));
        EXPECT_TRUE(lost.empty()) << lost.front().rule << ": " << lost.front().text;
        std::string texts;
        for (const PrintedFinding& finding : added) texts += "; " + finding.text;
        ASSERT_EQ(added.size(), 1u) << texts;
        EXPECT_EQ(added[0].rule, c.rule) << added[0].text;
        EXPECT_EQ(added[0].severity, c.severity);
        EXPECT_EQ(added[0].line, c.planted.line);
        EXPECT_NE(added[0].text.find(c.mentions), std::string::npos) << added[0].text;
    }

    void expectNothingNew(const char* what, const Planted& planted) {
        SCOPED_TRACE(what);
        EXPECT_EQ(checked(dir_, planted.text), before_);
    }

    ScratchDir dir_;
    std::string original_;
    std::multiset<PrintedFinding> before_;
};

TEST_F(PlantedMarkup, MisplacedElementsAreWarningsSayingWhatHappensInstead) {
    const std::string& t = original_;
    expectOneNewFinding({"origin in a link",
                         plant(t, R"(<link name="iiwa_link_0">)", R"(<origin xyz="0 0 1"/>)"),
                         "element-misplaced", "warning", "stay at the link's origin"});
    expectOneNewFinding({"origin in a geometry",
                         plant(t, "<geometry>", R"(<origin xyz="0 0 1"/>)", "<collision"),
                         "element-misplaced", "warning", "the geometry stays"});
    expectOneNewFinding(
        {"inertial at the robot level",
         plant(
             t, R"(name="iiwa14">)",
             R"(<inertial><mass value="1"/><inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial>)"),
         "element-misplaced", "warning", "no link gets this mass"});
}

TEST_F(PlantedMarkup, MisspeltNamesAreWarningsWithTheNameMeant) {
    const std::string& t = original_;
    expectOneNewFinding({"orgin in a visual", plant(t, "<visual>", R"(<orgin xyz="0 0 1"/>)"),
                         "element-misspelt", "warning", "did you mean 'origin'?"});
    expectOneNewFinding({"inertail in a link",
                         plant(t, R"(<link name="iiwa_link_0">)", "<inertail/>"),
                         "element-misspelt", "warning", "did you mean 'inertial'?"});
    expectOneNewFinding({"an axis written xzy", replaced(t, R"(<axis xyz=)", R"(<axis xzy=)"),
                         "attribute-misspelt", "warning", "did you mean 'xyz'?"});
}

TEST_F(PlantedMarkup, AttributesUrdfdomReadsElsewhereAreIgnoredWarnings) {
    const std::string& t = original_;
    expectOneNewFinding({"rpy on an axis", replaced(t, "<axis ", R"(<axis rpy="0 1.57 0" )"),
                         "attribute-ignored", "warning", "'rpy' on <axis> is ignored"});
    expectOneNewFinding({"iyx beside ixy", replaced(t, "<inertia ", R"(<inertia iyx="0" )"),
                         "attribute-ignored", "warning", "reads its product as ixy"});
}

TEST_F(PlantedMarkup, OtherUnknownChildrenAreNotes) {
    expectOneNewFinding(
        {"an unknown child of a joint",
         replaced(original_, "<axis ", "<QQQ/><axis ", R"(<joint name="iiwa_joint_1")"),
         "element-unknown", "note", "<QQQ> in <joint>"});
}

TEST_F(PlantedMarkup, XacroElementsAreErrorsSayingTheFileWasNotExpanded) {
    expectOneNewFinding(
        {"an include left in",
         plant(original_, R"(name="iiwa14">)", R"(<xacro:include filename="arm.xacro"/>)"),
         "xacro-unexpanded", "error", "the file was not expanded"});
    expectOneNewFinding(
        {"a macro call left in a link",
         plant(original_, R"(<link name="iiwa_link_1">)", R"(<xacro:QQQ_inertial mass="1"/>)"),
         "xacro-unexpanded", "error", "--xacro"});
}

TEST_F(PlantedMarkup, KnownExtensionsGiveNothing) {
    const std::string& t = original_;
    const std::string link = R"(<link name="iiwa_link_0">)";
    expectNothingNew("gazebo",
                     plant(t, link, R"(<gazebo reference="x"><QQQ orgin="1"/></gazebo>)"));
    expectNothingNew("transmission", plant(t, R"(name="iiwa14">)",
                                           R"(<transmission name="t"><QQQ/></transmission>)"));
    expectNothingNew("ros2_control", plant(t, R"(name="iiwa14">)",
                                           R"(<ros2_control name="c"><QQQ/></ros2_control>)"));
    expectNothingNew("sensor", plant(t, link, R"(<sensor name="s"><orgin/></sensor>)"));
    expectNothingNew("another namespace",
                     plant(t, "<collision>", R"(<drake:QQQ_properties value="1"/>)"));
    expectNothingNew("a namespaced attribute", replaced(t, "<axis ", R"(<axis drake:QQQ="1" )"));
    expectNothingNew(
        "material in a collision",
        plant(t, "<collision>", R"(<material name="m"><color rgba="1 0 0 1"/></material>)"));
}

// [first, last] lines of every element named by `opening` ("<gazebo", "<drake:") in `text`.
std::vector<std::pair<int, int>> elementLines(const std::string& text, const std::string& opening) {
    std::vector<std::pair<int, int>> ranges;
    for (std::size_t at = text.find(opening); at != std::string::npos;
         at = text.find(opening, at + 1)) {
        const std::size_t nameEnd = text.find_first_of(" \t\r\n/>", at + 1);
        if (nameEnd == std::string::npos) break;
        const std::string name = text.substr(at + 1, nameEnd - at - 1);
        if (opening.back() != ':' && name != opening.substr(1)) continue;
        const std::size_t tagEnd = text.find('>', nameEnd);
        if (tagEnd == std::string::npos) break;
        std::size_t end = tagEnd;
        if (text[tagEnd - 1] != '/') {
            const std::size_t closing = text.find("</" + name, tagEnd);
            end = closing == std::string::npos ? text.size() - 1 : closing;
        }
        ranges.emplace_back(lineAt(text, at), lineAt(text, end));
    }
    return ranges;
}

TEST(CorpusMarkup, ExtensionElementsGetNoFinding) {
    SKIP_WITHOUT_CORPUS();
    const ScratchDir dir;
    std::size_t robotsWithExtensions = 0;
    for (const fs::path& file : corpusFiles("valid")) {
        const std::string text = readFile(file);
        std::vector<std::pair<int, int>> ranges;
        for (const char* opening :
             {"<gazebo", "<transmission", "<ros2_control", "<sensor", "<drake:"}) {
            const auto found = elementLines(text, opening);
            ranges.insert(ranges.end(), found.begin(), found.end());
        }
        if (ranges.empty()) continue;
        ++robotsWithExtensions;
        const ToolRun run =
            runToolWithEnvironment({"--check", "-q", "-v", file.string()},
                                   {{"ROS_PACKAGE_PATH", ""}, {"AMENT_PREFIX_PATH", ""}});
        for (const PrintedFinding& finding : findingsIn(run.out)) {
            if (!finding.rule.starts_with("element-") && !finding.rule.starts_with("attribute-")) {
                continue;
            }
            for (const auto& [first, last] : ranges) {
                EXPECT_FALSE(finding.line >= first && finding.line <= last)
                    << file.filename() << ":" << finding.line << ": " << finding.text;
            }
        }
    }
    EXPECT_GT(robotsWithExtensions, 50u);
}

}  // namespace
