// The live page in headless Chromium, kept open while the robot's files change: a copy of a
// shared xacro robot is served from a scratch folder and edited as an editor saves, and the
// page is asked through its API what it shows.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "ChromiumPipe.hpp"
#include "ScratchDir.hpp"
#include "ServedTool.hpp"
#include "TestSupport.hpp"
#include "ToolRun.hpp"

namespace {

namespace fs = std::filesystem;
using corvane::testing::ChromiumPipe;
using corvane::testing::programRuns;
using corvane::testing::readFile;
using corvane::testing::runTool;
using corvane::testing::saveAsEditorsDo;
using corvane::testing::ScratchDir;
using corvane::testing::ServedTool;
using corvane::testing::writeFile;

const fs::path xacroDir = fs::path(CORVANE_SHARED_DIR) / "xacro";
const std::string realsense = "IntelRealSense+realsense-ros";

#define SKIP_WITHOUT_CHROMIUM_OR_XACRO()                                                     \
    do {                                                                                     \
        if (!programRuns({"chromium", "--version"})) GTEST_SKIP() << "no chromium: skipped"; \
        if (!fs::is_directory(xacroDir / "packages"))                                        \
            GTEST_SKIP() << "no ../shared/xacro beside this checkout: skipped";              \
    } while (0)

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// 1-based line of the first line of `text` holding `part`.
int lineOf(const std::string& text, const std::string& part) {
    const auto at = text.find(part);
    return at == std::string::npos
               ? 0
               : 1 + static_cast<int>(
                         std::count(text.begin(), text.begin() + static_cast<long>(at), '\n'));
}

double bodyZ(ChromiumPipe& browser, const std::string& body) {
    return browser.evaluate("corvaneViewer.bodyPose('" + body + "').position[2]").get<double>();
}

bool waitForRevision(ChromiumPipe& browser, int revision) {
    return browser.waitFor(
        "corvaneViewer.live().revision >= " + std::to_string(revision) +
        " && corvaneViewer.live().swaps.length >= " + std::to_string(revision - 1));
}

class LivePage : public ::testing::Test {
  protected:
    void SetUp() override {
        SKIP_WITHOUT_CHROMIUM_OR_XACRO();
        fs::copy(xacroDir / "packages" / realsense, scratch / realsense,
                 fs::copy_options::recursive);
        urdf = scratch / realsense / "realsense2_description" / "urdf";
        top = urdf / "test_d435_camera.urdf.xacro";
        macros = urdf / "_d435.urdf.xacro";
        tool = std::make_unique<ServedTool>(std::vector<std::string>{
            top.string(), "--package-path", (scratch / realsense).string()});
        ASSERT_FALSE(tool->url().empty()) << tool->errors();
        ASSERT_TRUE(browser.started());
        browser.open(tool->url());
        ASSERT_TRUE(
            browser.waitFor("!!window.corvaneViewer && !!corvaneViewer.live && "
                            "corvaneViewer.ready.then(function() { return true; })"))
            << tool->errors();
    }
    void TearDown() override {
        if (tool) {
            EXPECT_EQ(tool->end(SIGTERM), 0) << tool->errors();
        }
    }

    ScratchDir scratch;
    fs::path urdf, top, macros;
    std::unique_ptr<ServedTool> tool;
    ChromiumPipe browser;
};

TEST_F(LivePage, FollowsAnIncludedFileThroughAFailureAndItsMend) {
    const double before = bodyZ(browser, "camera_link");
    browser.evaluate(
        "corvaneViewer.setJoint === undefined || corvaneViewer.showLayer('frames', true)");
    const auto camera = browser.evaluate("JSON.stringify(corvaneViewer.camera())");

    const std::string original = readFile(macros);
    // The camera body stands 0.5 m higher on its bottom screw.
    saveAsEditorsDo(macros, replaced(original, "${d435_cam_depth_pz}\" rpy=\"0 0 0\"/>",
                                     "${d435_cam_depth_pz + 0.5}\" rpy=\"0 0 0\"/>"));
    ASSERT_TRUE(waitForRevision(browser, 2)) << tool->errors();
    EXPECT_NEAR(bodyZ(browser, "camera_link"), before + 0.5, 1e-9);
    EXPECT_EQ(browser.evaluate("JSON.stringify(corvaneViewer.camera())"), camera) << "camera kept";
    EXPECT_EQ(browser.evaluate("corvaneViewer.shown().frames"), true) << "toggle kept";

    // Malformed XML: the banner names the file and the line; the last good robot stays.
    const std::string broken = replaced(original, "<link name=\"${name}_bottom_screw_frame\"/>",
                                        "<link name=\"${name}_bottom_screw_frame\">");
    saveAsEditorsDo(macros, broken);
    ASSERT_TRUE(browser.waitFor("corvaneViewer.live().banner !== null")) << tool->errors();
    const std::string banner = browser.evaluate("corvaneViewer.live().banner").get<std::string>();
    EXPECT_NE(banner.find(macros.filename().string()), std::string::npos) << banner;
    EXPECT_NE(banner.find("test_d435_camera.urdf.xacro"), std::string::npos) << banner;
    EXPECT_NE(banner.find(macros.filename().string() + ":"), std::string::npos) << banner;
    EXPECT_NEAR(bodyZ(browser, "camera_link"), before + 0.5, 1e-9);

    // Mended: the banner goes.
    saveAsEditorsDo(macros, original);
    ASSERT_TRUE(browser.waitFor("corvaneViewer.live().banner === null")) << tool->errors();
    EXPECT_NEAR(bodyZ(browser, "camera_link"), before, 1e-9);
    EXPECT_EQ(browser.evaluate("corvaneViewer.errors().length"), 0);
}

TEST_F(LivePage, FollowsANewIncludeAndShowsAFindingPlantedInItsMacro) {
    // clang-format off
    const std::string extra = R"(<?xml version="1.0"?>
<robot xmlns:xacro="http://ros.org/wiki/xacro">
  <xacro:macro name="extra_body" params="parent">
    <joint name="extra_joint" type="fixed">
      <parent link="${parent}"/><child link="extra_link"/><origin xyz="0 0 1"/>
    </joint>
    <link name="extra_link">
      <inertial><mass value="1"/><inertia ixx="1" iyy="1" izz="1" ixy="0" ixz="0" iyz="0"/></inertial>
    </link>
  </xacro:macro>
</robot>
)";
    // clang-format on
    writeFile(urdf / "extra.xacro", extra);
    const std::string original = readFile(top);
    saveAsEditorsDo(
        top, replaced(original, "<link name=\"base_link\" />",
                      "<link name=\"base_link\" />\n  <xacro:include filename=\"extra.xacro\"/>\n"
                      "  <xacro:extra_body parent=\"base_link\"/>"));
    ASSERT_TRUE(waitForRevision(browser, 2)) << tool->errors();
    EXPECT_NEAR(bodyZ(browser, "extra_link"), 1, 1e-9);

    // The new include is watched from the run that read it.
    const std::string planted = replaced(extra, "izz=\"1\"", "izz=\"5\"");
    saveAsEditorsDo(urdf / "extra.xacro", replaced(planted, "xyz=\"0 0 1\"", "xyz=\"0 0 2\""));
    ASSERT_TRUE(waitForRevision(browser, 3)) << tool->errors();
    EXPECT_NEAR(bodyZ(browser, "extra_link"), 2, 1e-9);
    const auto findings = browser.evaluate(
        "corvaneViewer.findings().filter(function(f) { return f.rule === 'inertia-triangle'; })");
    ASSERT_EQ(findings.size(), 1u) << findings.dump();
    EXPECT_EQ(findings[0].at("body"), "extra_link");
    EXPECT_EQ(fs::path(findings[0].at("file").get<std::string>()).filename(), "extra.xacro");
    EXPECT_EQ(findings[0].at("line"), lineOf(planted, "<inertia "));
    EXPECT_EQ(browser.evaluate("corvaneViewer.tints().extra_link"), "error");
    const std::string panel =
        browser.evaluate("document.getElementById('corvane-findings').textContent")
            .get<std::string>();
    EXPECT_NE(panel.find("inertia-triangle"), std::string::npos) << panel;
    EXPECT_NE(panel.find("extra.xacro:" + std::to_string(lineOf(planted, "<inertia "))),
              std::string::npos)
        << panel;

    // A click on the finding selects its body; the toggles take the tints and show the names.
    browser.evaluate(
        "corvaneViewer.showFinding(corvaneViewer.findings().findIndex(function(f) { return f.rule "
        "=== 'inertia-triangle'; }))");
    EXPECT_EQ(browser.evaluate("corvaneViewer.selected()"), "extra_link");
    browser.evaluate("corvaneViewer.showLayer('findings', false)");
    EXPECT_EQ(browser.evaluate("Object.keys(corvaneViewer.tints()).length"), 0);
    browser.evaluate("corvaneViewer.showLayer('names', true)");
    EXPECT_EQ(browser.evaluate("corvaneViewer.errors().length"), 0);
}

TEST(StaticPage, WithCheckListsTheFindingsAndTintsTheirBody) {
    if (!programRuns({"chromium", "--version"})) GTEST_SKIP() << "no chromium: skipped";
    ScratchDir scratch;
    // clang-format off
    writeFile(scratch / "pair.urdf", R"(<robot name="pair">
  <link name="a"><inertial><mass value="1"/><inertia ixx="1" iyy="1" izz="1" ixy="0" ixz="0" iyz="0"/></inertial></link>
  <link name="b"><inertial><mass value="1"/><inertia ixx="1" iyy="1" izz="5" ixy="0" ixz="0" iyz="0"/></inertial></link>
  <joint name="j" type="fixed"><parent link="a"/><child link="b"/></joint>
</robot>
)");
    // clang-format on
    const auto run = runTool({(scratch / "pair.urdf").string(), "-f", "html", "--check", "-o",
                              (scratch / "pair.html").string()});
    ASSERT_EQ(run.status, 3) << run.err;
    ChromiumPipe browser;
    ASSERT_TRUE(browser.started());
    browser.open("file://" + (scratch / "pair.html").string());
    ASSERT_TRUE(browser.waitFor(
        "!!window.corvaneViewer && corvaneViewer.ready.then(function() { return true; })"));
    EXPECT_EQ(browser.evaluate("corvaneViewer.tints().b"), "error");
    const std::string panel =
        browser.evaluate("document.getElementById('corvane-findings').textContent")
            .get<std::string>();
    EXPECT_NE(panel.find("error inertia-triangle: body 'b'"), std::string::npos) << panel;
    EXPECT_NE(panel.find("pair.urdf:3"), std::string::npos) << panel;
    EXPECT_EQ(browser.evaluate("corvaneViewer.live().revision"), nullptr);
}

}  // namespace
