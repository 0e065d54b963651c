// The robot page of `corvane-urdf -f html` in a real browser: headless Chromium with software
// WebGL opens pages the tool wrote, and the page's own report (written into the page under
// ?report=1 and read back from the dumped document) tells what it drew. The expectations are
// computed here from the scene the page embeds.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ScratchDir.hpp"
#include "TestSupport.hpp"
#include "model/MeshMeasure.hpp"
#include "support/ChildProcess.hpp"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using corvane::testing::readFile;
using corvane::testing::ScratchDir;
using corvane::testing::writeFile;

const fs::path tool = CORVANE_URDF_TOOL;
const fs::path sharedRobots = fs::path(CORVANE_SHARED_DIR) / "robots";
const fs::path robotFolder = sharedRobots / "example-robot-data" / "robots";
const fs::path validCorpus = fs::path(CORVANE_SHARED_DIR) / "corpus" / "valid";

bool chromiumInPath() {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        std::error_code ignored;
        const fs::path candidate = fs::path(folder.empty() ? "." : folder) / "chromium";
        if (fs::is_regular_file(candidate, ignored) && ::access(candidate.c_str(), X_OK) == 0) {
            return true;
        }
    }
    return false;
}

// ---- Poses in double precision ----

using Vector = std::array<double, 3>;
using Quaternion = std::array<double, 4>;  // x, y, z, w

struct Pose {
    Vector position{0, 0, 0};
    Quaternion rotation{0, 0, 0, 1};
};

Quaternion multiply(const Quaternion& a, const Quaternion& b) {
    return {a[3] * b[0] + a[0] * b[3] + a[1] * b[2] - a[2] * b[1],
            a[3] * b[1] - a[0] * b[2] + a[1] * b[3] + a[2] * b[0],
            a[3] * b[2] + a[0] * b[1] - a[1] * b[0] + a[2] * b[3],
            a[3] * b[3] - a[0] * b[0] - a[1] * b[1] - a[2] * b[2]};
}

Vector rotate(const Quaternion& q, const Vector& v) {
    const Quaternion turned =
        multiply(multiply(q, {v[0], v[1], v[2], 0}), {-q[0], -q[1], -q[2], q[3]});
    return {turned[0], turned[1], turned[2]};
}

Pose compose(const Pose& a, const Pose& b) {
    const Vector moved = rotate(a.rotation, b.position);
    return {{a.position[0] + moved[0], a.position[1] + moved[1], a.position[2] + moved[2]},
            multiply(a.rotation, b.rotation)};
}

Quaternion turnAbout(const Vector& axis, double angle) {
    const double length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    const double s = std::sin(angle / 2) / length;
    return {axis[0] * s, axis[1] * s, axis[2] * s, std::cos(angle / 2)};
}

Pose poseOf(const Json& value) {
    Pose pose;
    for (int i = 0; i < 3; ++i) pose.position[i] = value.at("position").at(i).get<double>();
    for (int i = 0; i < 4; ++i) pose.rotation[i] = value.at("rotation").at(i).get<double>();
    return pose;
}

double distance(const Vector& a, const Vector& b) {
    return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}

// The difference of two rotations, as the larger of |a - b| and |a + b|'s smaller one (a
// quaternion and its negative are the same rotation).
double rotationDifference(const Quaternion& a, const Quaternion& b) {
    double same = 0;
    double opposite = 0;
    for (int i = 0; i < 4; ++i) {
        same = std::max(same, std::abs(a[i] - b[i]));
        opposite = std::max(opposite, std::abs(a[i] + b[i]));
    }
    return std::min(same, opposite);
}

// ---- The scene a page embeds and the report it writes ----

std::string between(const std::string& text, const std::string& start, const std::string& end) {
    const auto from = text.find(start);
    if (from == std::string::npos) return {};
    const auto to = text.find(end, from + start.size());
    if (to == std::string::npos) return {};
    return text.substr(from + start.size(), to - from - start.size());
}

// The scene: the page's last script element.
Json sceneOfPage(const std::string& html) {
    const std::string start = "<script type=\"application/json\" id=\"corvane-scene\">";
    const auto from = html.rfind(start);
    if (from == std::string::npos) return Json();
    const std::string text = between(html.substr(from), start, "</script>");
    if (text.empty()) return Json();
    return Json::parse(text, nullptr, false);
}

// Text of an element as the browser serialises it, back to the characters.
std::string unescapeText(const std::string& text) {
    static const std::vector<std::pair<std::string, std::string>> entities{
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&nbsp;", "\xc2\xa0"}, {"&amp;", "&"}};
    std::string result;
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        if (text[i] == '&') {
            for (const auto& [entity, character] : entities) {
                if (text.compare(i, entity.size(), entity) == 0) {
                    result += character;
                    i += entity.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) result += text[i++];
    }
    return result;
}

// The document without the contents of its script elements (which hold the scene's names raw).
std::string withoutScripts(const std::string& dom) {
    std::string result;
    std::size_t at = 0;
    while (true) {
        const auto open = dom.find("<script", at);
        if (open == std::string::npos) break;
        const auto close = dom.find("</script>", open);
        if (close == std::string::npos) break;
        result += dom.substr(at, open - at);
        at = close + 9;
    }
    return result + dom.substr(at);
}

// The number of script elements of a dumped document (their contents are skipped whole).
std::size_t scriptElements(const std::string& dom) {
    std::size_t count = 0;
    for (auto open = dom.find("<script"); open != std::string::npos;) {
        const auto close = dom.find("</script>", open);
        if (close == std::string::npos) break;
        ++count;
        open = dom.find("<script", close);
    }
    return count;
}

struct PageRun {
    std::string dom;
    Json report;
    std::string browserErrors;
};

// Opens `page` with `query` in headless Chromium and reads the page's report.
PageRun openInBrowser(const fs::path& page, const std::string& query) {
    const ScratchDir profile("corvane-chromium");
    const std::vector<std::string> arguments{"chromium",
                                             "--headless",
                                             "--no-sandbox",
                                             "--enable-unsafe-swiftshader",
                                             "--use-angle=swiftshader",
                                             "--disable-background-networking",
                                             "--disable-component-update",
                                             "--disable-sync",
                                             "--no-first-run",
                                             "--window-size=1280,800",
                                             "--user-data-dir=" + profile.path().string(),
                                             "--virtual-time-budget=10000",
                                             "--dump-dom",
                                             "file://" + fs::absolute(page).string() + query};
    const auto run = corvane::tools::runProgram(arguments, "");
    PageRun result;
    result.dom = run.output;
    result.browserErrors = run.errors;
    const std::string text =
        unescapeText(between(withoutScripts(run.output), "<pre id=\"corvane-report\">", "</pre>"));
    if (!text.empty()) result.report = Json::parse(text, nullptr, false);
    return result;
}

// Writes the page of `urdf` with the tool; an empty path (and a test failure) when it cannot.
fs::path writePage(const fs::path& urdf, const ScratchDir& folder) {
    const fs::path page = folder / (urdf.stem().string() + ".html");
    const auto run =
        corvane::tools::runProgram({tool.string(), "-f", "html", "--package-path",
                                    sharedRobots.string(), "-o", page.string(), urdf.string()},
                                   "");
    if (!fs::is_regular_file(page)) {
        ADD_FAILURE() << "no page written for " << urdf << ", exit status " << run.exitStatus
                      << ":\n"
                      << run.errors;
        return {};
    }
    return page;
}

// The robot's size: the diagonal of the box around its bodies' origins, at least 1 (metre), for
// tolerances relative to the robot.
double robotSize(const Json& scene) {
    Vector low{0, 0, 0};
    Vector high{0, 0, 0};
    for (const auto& body : scene.at("bodies")) {
        const Pose pose = poseOf(body);
        for (int i = 0; i < 3; ++i) {
            low[i] = std::min(low[i], pose.position[i]);
            high[i] = std::max(high[i], pose.position[i]);
        }
    }
    return std::max(1.0, distance(low, high));
}

std::map<std::string, Pose> posesOfScene(const Json& scene) {
    std::map<std::string, Pose> poses;
    for (const auto& body : scene.at("bodies")) poses[body.at("name")] = poseOf(body);
    return poses;
}

// Expects the report's body poses to be `expected`, each within 1e-9 (positions relative to
// the robot's size).
void expectPoses(const Json& report, const std::map<std::string, Pose>& expected, double size) {
    ASSERT_TRUE(report.is_object()) << "no report";
    ASSERT_EQ(report.at("bodies").size(), expected.size());
    for (const auto& body : report.at("bodies")) {
        const std::string name = body.at("name");
        const auto wanted = expected.find(name);
        ASSERT_NE(wanted, expected.end()) << "the page reports an unknown body " << name;
        const Pose pose = poseOf(body);
        EXPECT_LE(distance(pose.position, wanted->second.position), 1e-9 * size) << name;
        EXPECT_LE(rotationDifference(pose.rotation, wanted->second.rotation), 1e-9) << name;
    }
}

const Json* interactionNamed(const Json& scene, const std::string& name) {
    for (const auto& interaction : scene.at("interactions")) {
        if (interaction.at("name") == name) return &interaction;
    }
    return nullptr;
}

// The bodies that hang on `body` through interactions, `body` included.
std::set<std::string> subtreeOf(const Json& scene, const std::string& body) {
    std::set<std::string> subtree{body};
    std::vector<std::string> open{body};
    while (!open.empty()) {
        const std::string parent = open.back();
        open.pop_back();
        for (const auto& interaction : scene.at("interactions")) {
            const std::string child = interaction.at("child");
            if (interaction.at("parent") == parent && subtree.insert(child).second) {
                open.push_back(child);
            }
        }
    }
    return subtree;
}

// The poses after setting `joint` from its initial value to `value`, given the poses before: the
// child's subtree turns about (hinge) or moves along (prismatic) the joint's axis in the world,
// the line through the parent's connector frame along its x axis; every other body stays.
void moveJoint(const Json& scene, const std::string& joint, double value,
               std::map<std::string, Pose>& poses) {
    const Json* interaction = interactionNamed(scene, joint);
    ASSERT_NE(interaction, nullptr) << joint;
    const Pose frame =
        compose(poses.at(interaction->at("parent")), poseOf(interaction->at("parentFrame")));
    const Vector axis = rotate(frame.rotation, {1, 0, 0});
    const double change = value - interaction->at("initial").get<double>();
    const bool hinge = interaction->at("kind") == "hinge";
    const Quaternion turn = turnAbout(axis, hinge ? change : 0);
    for (const auto& name : subtreeOf(scene, interaction->at("child"))) {
        Pose& pose = poses.at(name);
        if (hinge) {
            const Vector offset{pose.position[0] - frame.position[0],
                                pose.position[1] - frame.position[1],
                                pose.position[2] - frame.position[2]};
            const Vector turned = rotate(turn, offset);
            pose.position = {frame.position[0] + turned[0], frame.position[1] + turned[1],
                             frame.position[2] + turned[2]};
            pose.rotation = multiply(turn, pose.rotation);
        } else {
            for (int i = 0; i < 3; ++i) pose.position[i] += change * axis[i];
        }
    }
}

// Percent-encodes every byte but letters, digits and "-._~".
std::string percentEncoded(const std::string& text) {
    static const char* digits = "0123456789ABCDEF";
    std::string result;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            result += static_cast<char>(c);
        } else {
            result += '%';
            result += digits[c >> 4];
            result += digits[c & 15];
        }
    }
    return result;
}

// A number as text that reads back as the same double.
std::string numberText(double value) {
    std::ostringstream text;
    text << std::setprecision(17) << value;
    return text.str();
}

class ViewerBrowser : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!chromiumInPath()) GTEST_SKIP() << "chromium is not in PATH: browser tests skipped";
    }

    void skipWithoutRobots() {
        if (!fs::is_directory(robotFolder)) {
            GTEST_SKIP() << "no ../shared/robots beside this checkout: robot pages not tested";
        }
    }

    ScratchDir folder_{"corvane-viewer-test"};
};

// ---- The real robots: every mesh decoded, the poses the scene holds, nothing on the console ----

struct Robot {
    std::string name;
    std::string path;  // below ../shared/robots/example-robot-data/robots
};

const std::vector<Robot> robots{
    {"pr2", "pr2_description/urdf/pr2.urdf"},
    {"kinova", "kinova_description/robots/kinova.urdf"},
    {"solo", "solo_description/robots/solo.urdf"},
    {"double_pendulum", "double_pendulum_description/urdf/double_pendulum.urdf"},
    {"allegro_right_hand", "allegro_hand_description/urdf/allegro_right_hand.urdf"}};

void PrintTo(const Robot& robot, std::ostream* out) {
    *out << robot.name;
}

class RobotPage : public ViewerBrowser, public ::testing::WithParamInterface<Robot> {};

TEST_P(RobotPage, DecodesEveryMeshAndDrawsTheScenePoses) {
    skipWithoutRobots();
    const fs::path page = writePage(robotFolder / GetParam().path, folder_);
    ASSERT_FALSE(page.empty());
    const Json scene = sceneOfPage(readFile(page));
    ASSERT_TRUE(scene.is_object()) << "no scene in the page";
    const PageRun run = openInBrowser(page, "?report=1");
    ASSERT_TRUE(run.report.is_object()) << "no report; browser said:\n" << run.browserErrors;
    EXPECT_EQ(run.report.at("ready"), true);
    EXPECT_EQ(run.report.at("webgl"), true);
    EXPECT_EQ(run.report.at("errors"), Json::array());
    EXPECT_EQ(run.report.at("warnings"), Json::array());
    EXPECT_EQ(run.report.at("meshes").at("loaded"), scene.at("meshes").size());
    EXPECT_EQ(run.report.at("meshes").at("missing"), 0);
    EXPECT_EQ(run.report.at("drawn").at("placeholders"), 0);
    EXPECT_EQ(run.report.at("drawn").at("bodies"), scene.at("bodies").size());
    expectPoses(run.report, posesOfScene(scene), robotSize(scene));
}

INSTANTIATE_TEST_SUITE_P(SharedRobots, RobotPage, ::testing::ValuesIn(robots),
                         [](const ::testing::TestParamInfo<Robot>& info) {
                             return info.param.name;
                         });

TEST_F(ViewerBrowser, SharedRobotsHoldStlObjAndColladaMeshes) {
    skipWithoutRobots();
    std::set<std::string> formats;
    std::size_t meshes = 0;
    for (const auto& robot : robots) {
        const fs::path page = writePage(robotFolder / robot.path, folder_);
        ASSERT_FALSE(page.empty());
        const Json scene = sceneOfPage(readFile(page));
        ASSERT_TRUE(scene.is_object()) << robot.name;
        for (const auto& mesh : scene.at("meshes")) {
            formats.insert(mesh.at("format").get<std::string>());
            EXPECT_TRUE(mesh.at("data").is_string()) << robot.name << ": " << mesh.at("path");
            ++meshes;
        }
    }
    EXPECT_EQ(formats, (std::set<std::string>{"dae", "obj", "stl"}));
    EXPECT_GT(meshes, 40u);
}

// ---- Sliders: exactly the child's subtree turns or moves, by the value, about the axis ----

struct JointMove {
    std::string robot;
    std::vector<std::pair<std::string, double>> values;  // in parent-first order
};

void PrintTo(const JointMove& move, std::ostream* out) {
    *out << move.robot;
    for (const auto& [joint, value] : move.values) *out << " " << joint << "=" << value;
}

class SliderPage : public ViewerBrowser, public ::testing::WithParamInterface<JointMove> {};

TEST_P(SliderPage, MovesExactlyTheChildSubtree) {
    skipWithoutRobots();
    const auto& move = GetParam();
    const auto robot = std::find_if(robots.begin(), robots.end(),
                                    [&](const Robot& r) { return r.name == move.robot; });
    ASSERT_NE(robot, robots.end());
    const fs::path page = writePage(robotFolder / robot->path, folder_);
    ASSERT_FALSE(page.empty());
    const Json scene = sceneOfPage(readFile(page));
    ASSERT_TRUE(scene.is_object());

    std::map<std::string, Pose> expected = posesOfScene(scene);
    std::string query = "?report=1&joints=";
    std::set<std::string> moved;
    for (const auto& [joint, value] : move.values) {
        moveJoint(scene, joint, value, expected);
        const Json* interaction = interactionNamed(scene, joint);
        ASSERT_NE(interaction, nullptr);
        const auto subtree = subtreeOf(scene, interaction->at("child"));
        moved.insert(subtree.begin(), subtree.end());
        query += percentEncoded(joint) + ":" + numberText(value) + ",";
    }
    query.pop_back();
    // The moves are real: some body moved, and some stayed.
    ASSERT_GT(moved.size(), 0u);
    ASSERT_LT(moved.size(), scene.at("bodies").size());

    const PageRun run = openInBrowser(page, query);
    ASSERT_TRUE(run.report.is_object()) << "no report; browser said:\n" << run.browserErrors;
    EXPECT_EQ(run.report.at("errors"), Json::array());
    EXPECT_EQ(run.report.at("warnings"), Json::array());
    for (const auto& joint : run.report.at("joints")) {
        const auto set =
            std::find_if(move.values.begin(), move.values.end(),
                         [&](const auto& value) { return value.first == joint.at("name"); });
        const double wanted =
            set != move.values.end()
                ? set->second
                : interactionNamed(scene, joint.at("name"))->at("initial").get<double>();
        EXPECT_DOUBLE_EQ(joint.at("value").get<double>(), wanted) << joint.at("name");
    }
    expectPoses(run.report, expected, robotSize(scene));
}

INSTANTIATE_TEST_SUITE_P(SharedRobots, SliderPage,
                         ::testing::Values(JointMove{"pr2", {{"torso_lift_joint", 0.21}}},
                                           JointMove{"pr2", {{"r_shoulder_pan_joint", -0.6}}},
                                           JointMove{"pr2",
                                                     {{"torso_lift_joint", 0.1},
                                                      {"l_shoulder_lift_joint", 0.4},
                                                      {"l_elbow_flex_joint", -1.2}}},
                                           JointMove{"kinova", {{"j2s6s200_joint_2", 2.5}}},
                                           JointMove{"solo", {{"FL_HFE", 0.7}, {"FL_KFE", -1.1}}}),
                         [](const ::testing::TestParamInfo<JointMove>& info) {
                             std::string name = info.param.robot;
                             for (const auto& value : info.param.values) name += "_" + value.first;
                             return name;
                         });

TEST_F(ViewerBrowser, BadJointValuesInTheAddressAreWarningsAndMoveNothing) {
    skipWithoutRobots();
    const fs::path page = writePage(robotFolder / robots[0].path, folder_);
    ASSERT_FALSE(page.empty());
    const Json scene = sceneOfPage(readFile(page));
    ASSERT_TRUE(scene.is_object());
    const PageRun run = openInBrowser(page,
                                      "?report=1&joints=no_such_joint:1,torso_lift_joint:abc,"
                                      "head_pan_joint,base_footprint_joint:0.5");
    ASSERT_TRUE(run.report.is_object()) << "no report; browser said:\n" << run.browserErrors;
    EXPECT_EQ(run.report.at("errors"), Json::array());
    EXPECT_EQ(run.report.at("warnings").size(), 4u) << run.report.at("warnings").dump();
    expectPoses(run.report, posesOfScene(scene), robotSize(scene));
}

// The items of the page's note `id` (a details element with a list), back to their text; empty
// when the page shows no such note.
std::vector<std::string> noteItems(const PageRun& run, const std::string& id) {
    const std::string note = between(withoutScripts(run.dom), "id=\"" + id + "\"", "</details>");
    std::vector<std::string> items;
    for (auto open = note.find("<li>"); open != std::string::npos; open = note.find("<li>", open)) {
        const auto close = note.find("</li>", open);
        if (close == std::string::npos) break;
        items.push_back(unescapeText(note.substr(open + 4, close - open - 4)));
        open = close;
    }
    return items;
}

// The value the report gives a joint; nullopt when the report has no such joint.
std::optional<double> reportedValue(const Json& report, const std::string& joint) {
    for (const auto& value : report.at("joints")) {
        if (value.at("name") == joint) return value.at("value").get<double>();
    }
    return std::nullopt;
}

// ---- Bodies without any mass: listed on the page, as the graph marks them ----

TEST_F(ViewerBrowser, MovingBodiesWithoutAnyMassAreListedAndNoOthers) {
    // A real arm whose moving links carry no inertial data, beside links that do.
    const fs::path urdf =
        validCorpus / "robots__falcon_description__urdf__falcon_bravo7_gripper.urdf";
    if (!fs::is_regular_file(urdf)) {
        GTEST_SKIP() << "no ../shared/corpus beside this checkout: " << urdf << " not tested";
    }
    const fs::path page = writePage(urdf, folder_);
    ASSERT_FALSE(page.empty());
    const Json scene = sceneOfPage(readFile(page));
    ASSERT_TRUE(scene.is_object());
    std::set<std::string> withoutMass;
    std::set<std::string> withMass;
    for (const auto& body : scene.at("bodies")) {
        (body.at("withoutAnyMass") == true ? withoutMass : withMass).insert(body.at("name"));
    }
    std::set<std::string> movedWithoutMass;
    for (const auto& interaction : scene.at("interactions")) {
        if (interaction.at("kind") != "lock" && withoutMass.count(interaction.at("child"))) {
            movedWithoutMass.insert(interaction.at("child"));
        }
    }
    ASSERT_FALSE(movedWithoutMass.empty()) << "the robot no longer has a moving massless body";
    ASSERT_FALSE(withMass.empty()) << "the robot no longer has a body with mass";

    const PageRun run = openInBrowser(page, "?report=1");
    ASSERT_TRUE(run.report.is_object()) << "no report; browser said:\n" << run.browserErrors;
    EXPECT_EQ(run.report.at("errors"), Json::array());
    const auto listed = noteItems(run, "corvane-without-mass");
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), withoutMass);
    EXPECT_EQ(listed.size(), withoutMass.size()) << "a body is listed twice";
    const std::string title =
        "Bodies without any mass (red) (" + std::to_string(withoutMass.size()) + ")</summary>";
    EXPECT_NE(withoutScripts(run.dom).find(title), std::string::npos) << "no count " << title;
}

// ---- Joint values in the address: names with colons, empty values ----

// Joint names with a colon, as namespaced robots have them; "wrist" starts away from zero (its
// range starts at 0.2), so that a value wrongly read as 0 shows.
const std::string namespacedRobot = R"(<?xml version="1.0"?>
<robot name="namespaced">
  <link name="base">
    <inertial><mass value="1"/><inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial>
    <visual><geometry><box size="0.2 0.2 0.1"/></geometry></visual>
  </link>
  <link name="ns:upper">
    <inertial><mass value="1"/><inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial>
    <visual><geometry><box size="0.05 0.05 0.4"/></geometry></visual>
  </link>
  <link name="ns:hand">
    <inertial><mass value="1"/><inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial>
    <visual><geometry><sphere radius="0.05"/></geometry></visual>
  </link>
  <joint name="ns:elbow" type="revolute">
    <parent link="base"/><child link="ns:upper"/><origin xyz="0 0 0.1"/><axis xyz="0 1 0"/>
    <limit lower="-1" upper="1" effort="1" velocity="1"/>
  </joint>
  <joint name="wrist" type="prismatic">
    <parent link="ns:upper"/><child link="ns:hand"/><origin xyz="0 0 0.4"/><axis xyz="0 0 1"/>
    <limit lower="0.2" upper="0.6" effort="1" velocity="1"/>
  </joint>
</robot>
)";

class AddressJoints : public ViewerBrowser {
  protected:
    void SetUp() override {
        ViewerBrowser::SetUp();
        if (IsSkipped()) return;
        writeFile(folder_ / "namespaced.urdf", namespacedRobot);
        page_ = writePage(folder_ / "namespaced.urdf", folder_);
        ASSERT_FALSE(page_.empty());
        scene_ = sceneOfPage(readFile(page_));
        ASSERT_TRUE(scene_.is_object());
        ASSERT_NE(interactionNamed(scene_, "ns:elbow"), nullptr);
        ASSERT_NE(interactionNamed(scene_, "wrist"), nullptr);
    }

    double initialOf(const std::string& joint) const {
        return interactionNamed(scene_, joint)->at("initial").get<double>();
    }

    fs::path page_;
    Json scene_;
};

TEST_F(AddressJoints, ANameWithColonsIsSplitFromItsValueAtTheLastColon) {
    const PageRun run = openInBrowser(page_, "?report=1&joints=ns:elbow:0.5");
    ASSERT_TRUE(run.report.is_object()) << "no report; browser said:\n" << run.browserErrors;
    EXPECT_EQ(run.report.at("errors"), Json::array());
    EXPECT_EQ(run.report.at("warnings"), Json::array());
    EXPECT_EQ(reportedValue(run.report, "ns:elbow"), 0.5);
    EXPECT_EQ(reportedValue(run.report, "wrist"), initialOf("wrist"));
    std::map<std::string, Pose> expected = posesOfScene(scene_);
    moveJoint(scene_, "ns:elbow", 0.5, expected);
    expectPoses(run.report, expected, robotSize(scene_));
}

TEST_F(AddressJoints, AnEmptyOrBlankValueIsAWarningAndLeavesTheJointAtItsInitialValue) {
    ASSERT_NE(initialOf("wrist"), 0) << "an empty value read as 0 would not show";
    const PageRun run = openInBrowser(page_, "?report=1&joints=wrist:,wrist:%20");
    ASSERT_TRUE(run.report.is_object()) << "no report; browser said:\n" << run.browserErrors;
    EXPECT_EQ(run.report.at("errors"), Json::array());
    EXPECT_EQ(reportedValue(run.report, "wrist"), initialOf("wrist"));
    const Json& warnings = run.report.at("warnings");
    ASSERT_EQ(warnings.size(), 2u) << warnings.dump();
    for (const auto& warning : warnings) {
        EXPECT_NE(warning.get<std::string>().find("\"wrist\""), std::string::npos)
            << "the warning does not name the joint: " << warning;
    }
    expectPoses(run.report, posesOfScene(scene_), robotSize(scene_));
}

// ---- Meshes that cannot be drawn: placeholders, listed, and the page still works ----

const std::string twoLinkStart = R"(<?xml version="1.0"?>
<robot name="broken_meshes">
  <link name="base">
    <inertial><mass value="1"/><inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial>
    <visual><geometry><mesh filename="missing.stl"/></geometry></visual>
    <visual><geometry><mesh filename="garbage.stl"/></geometry></visual>
  </link>
  <link name="arm">
    <inertial><mass value="1"/><inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial>
    <visual><geometry><mesh filename="broken.dae"/></geometry></visual>
    <visual><geometry><box size="0.1 0.2 0.3"/></geometry></visual>
  </link>
  <joint name="elbow" type="revolute">
    <parent link="base"/><child link="arm"/><origin xyz="0 0 0.5"/><axis xyz="0 1 0"/>
    <limit lower="-1" upper="1" effort="1" velocity="1"/>
  </joint>
</robot>
)";

TEST_F(ViewerBrowser, MeshesThatCannotBeDecodedArePlaceholdersListedOnThePage) {
    writeFile(folder_ / "broken.urdf", twoLinkStart);
    writeFile(folder_ / "garbage.stl", "solid nothing\nthis is no facet\n");
    writeFile(folder_ / "broken.dae", "<?xml version=\"1.0\"?><COLLADA><unclosed>");
    const fs::path page = writePage(folder_ / "broken.urdf", folder_);
    ASSERT_FALSE(page.empty());
    const Json scene = sceneOfPage(readFile(page));
    ASSERT_TRUE(scene.is_object());
    const PageRun run = openInBrowser(page, "?report=1&joints=elbow:0.5");
    ASSERT_TRUE(run.report.is_object()) << "no report; browser said:\n" << run.browserErrors;
    EXPECT_EQ(run.report.at("errors"), Json::array());
    EXPECT_EQ(run.report.at("meshes").at("loaded"), 0);
    EXPECT_EQ(run.report.at("meshes").at("missing"), 3);
    EXPECT_EQ(run.report.at("drawn").at("placeholders"), 3);
    ASSERT_EQ(run.report.at("missingMeshes").size(), 3u);
    for (const auto& mesh : run.report.at("missingMeshes")) {
        EXPECT_FALSE(mesh.at("problem").get<std::string>().empty()) << mesh.dump();
    }
    // Listed on the page by path.
    const std::string shown = withoutScripts(run.dom);
    const std::string list = between(shown, "id=\"corvane-missing\"", "</details>");
    for (const std::string name : {"missing.stl", "garbage.stl", "broken.dae"}) {
        EXPECT_NE(list.find(name), std::string::npos) << name << " not listed";
    }
    // The slider still works on a robot drawn from placeholders.
    std::map<std::string, Pose> expected = posesOfScene(scene);
    moveJoint(scene, "elbow", 0.5, expected);
    expectPoses(run.report, expected, robotSize(scene));
}

// ---- STL files: the page draws the triangles the checks measure ----

// A binary STL whose header begins with `header`, one triangle of 20 by 1 units, announcing
// `announced` triangles and followed by `trailing` zero bytes.
std::string binaryStl(std::string header, char announced, std::size_t trailing) {
    header.resize(80, ' ');
    header += std::string(1, announced) + std::string(3, '\0');
    const float corners[12] = {0, 0, 1, 0, 0, 0, 20, 0, 0, 0, 1, 0};
    header.append(reinterpret_cast<const char*>(corners), sizeof corners);
    return header + std::string(2 + trailing, '\0');
}

// Every STL of ../shared/robots and the files whose kind their header or size could mislead a
// reader about, on one link: each drawn with the triangles the checks count, or, where the
// checks cannot decode it, listed as missing.
TEST_F(ViewerBrowser, EveryStlIsDrawnWithTheTrianglesTheChecksMeasure) {
    skipWithoutRobots();
    writeFile(folder_ / "solid-trailing.stl", binaryStl("solid part", 1, 10));
    writeFile(folder_ / "other-trailing.stl", binaryStl("part", 1, 10));
    writeFile(folder_ / "solid-truncated.stl", binaryStl("solid part", 2, 10));
    writeFile(folder_ / "short-text.stl",
              "\xEF\xBB\xBF solid\nfacet\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\nendfacet\n"
              "endsolid\n");
    std::vector<fs::path> files{folder_ / "solid-trailing.stl", folder_ / "other-trailing.stl",
                                folder_ / "solid-truncated.stl", folder_ / "short-text.stl"};
    for (const auto& entry : fs::recursive_directory_iterator(sharedRobots)) {
        if (corvane::tools::meshFormatOf(entry.path()) == corvane::tools::MeshFormat::Stl) {
            files.push_back(entry.path());
        }
    }
    std::string urdf = R"(<robot name="stl_files"><link name="all">)";
    for (const fs::path& file : files) {
        urdf +=
            R"(<visual><geometry><mesh filename=")" + file.string() + R"("/></geometry></visual>)";
    }
    writeFile(folder_ / "stl_files.urdf", urdf + "</link></robot>");
    const fs::path page = writePage(folder_ / "stl_files.urdf", folder_);
    ASSERT_FALSE(page.empty());
    const Json scene = sceneOfPage(readFile(page));
    const PageRun run = openInBrowser(page, "?report=1");
    ASSERT_TRUE(run.report.is_object()) << "no report; browser said:\n" << run.browserErrors;
    EXPECT_EQ(run.report.at("errors"), Json::array());
    const Json& triangles = run.report.at("meshes").at("triangles");
    ASSERT_EQ(triangles.size(), files.size());
    std::set<std::string> missing;
    for (const auto& mesh : run.report.at("missingMeshes")) missing.insert(mesh.at("path"));
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string path = scene.at("meshes").at(i).at("path");
        SCOPED_TRACE(path);
        const corvane::tools::MeshMeasure measure =
            corvane::tools::measureMesh(readFile(path), corvane::tools::MeshFormat::Stl);
        EXPECT_EQ(missing.contains(path), measure.problem.has_value());
        EXPECT_EQ(triangles.at(i), measure.triangles);
    }
    EXPECT_EQ(missing, std::set<std::string>{(folder_ / "solid-truncated.stl").string()});
}

// ---- Hostile names: shown as text, never run ----

// Injected markup, if it ever ran, would add a <corvane-pwned> element to the document.
const std::string injected =
    "<img src=x onerror=\"document.body.appendChild(document.createElement('corvane-pwned'))\">";

std::string hostileRobot() {
    const std::string closeScript =
        "</script><script>document.body.appendChild(document.createElement('corvane-pwned'))"
        "</script>";
    const std::string quotes = "q\"'`${document.title='pwned'}\\";
    const std::string notUtf8 = "bytes\xff\xfe\xc3(";
    auto link = [](const std::string& name) {
        return "  <link name=\"" + name +
               "\"><inertial><mass value=\"1\"/><inertia ixx=\"1\" ixy=\"0\" ixz=\"0\" iyy=\"1\" "
               "iyz=\"0\" izz=\"1\"/></inertial><visual><geometry><box size=\"0.1 0.1 "
               "0.1\"/></geometry></visual></link>\n";
    };
    auto joint = [](const std::string& name, const std::string& parent, const std::string& child) {
        return "  <joint name=\"" + name + "\" type=\"revolute\"><parent link=\"" + parent +
               "\"/><child link=\"" + child +
               "\"/><origin xyz=\"0 0 0.3\"/><axis xyz=\"1 0 0\"/><limit lower=\"-1\" "
               "upper=\"1\" effort=\"1\" velocity=\"1\"/></joint>\n";
    };
    auto escaped = [](const std::string& text) {
        std::string result;
        for (const char c : text) {
            if (c == '<')
                result += "&lt;";
            else if (c == '>')
                result += "&gt;";
            else if (c == '&')
                result += "&amp;";
            else if (c == '"')
                result += "&quot;";
            else
                result += c;
        }
        return result;
    };
    return "<?xml version=\"1.0\"?>\n<robot name=\"" + escaped(closeScript + injected) + "\">\n" +
           link(escaped(closeScript)) + link(escaped(injected)) + link(escaped(quotes)) +
           link(notUtf8) + joint(escaped(injected), escaped(closeScript), escaped(injected)) +
           joint(escaped(closeScript), escaped(injected), escaped(quotes)) +
           joint(escaped(quotes), escaped(quotes), notUtf8) + "</robot>\n";
}

TEST_F(ViewerBrowser, HostileNamesAreShownAsTextAndNeverRun) {
    writeFile(folder_ / "hostile.urdf", hostileRobot());
    const fs::path page = writePage(folder_ / "hostile.urdf", folder_);
    ASSERT_FALSE(page.empty());
    const Json scene = sceneOfPage(readFile(page));
    ASSERT_TRUE(scene.is_object()) << "the scene of the page does not parse";
    ASSERT_EQ(scene.at("bodies").size(), 4u);

    // The first interaction by name, set through the address as any user would.
    const std::string joint = scene.at("interactions").at(0).at("name");
    const PageRun run = openInBrowser(page, "?report=1&joints=" + percentEncoded(joint) + ":0.25");
    ASSERT_TRUE(run.report.is_object()) << "no report; browser said:\n" << run.browserErrors;
    EXPECT_EQ(run.report.at("errors"), Json::array());
    EXPECT_EQ(run.report.at("warnings"), Json::array());

    const std::string shown = withoutScripts(run.dom);
    EXPECT_EQ(shown.find("<corvane-pwned"), std::string::npos) << "injected markup ran";
    EXPECT_EQ(shown.find("<img"), std::string::npos) << "markup from a name reached the page";
    EXPECT_EQ(run.dom.find("<title>pwned"), std::string::npos);
    // The page's own three scripts, no more.
    EXPECT_EQ(scriptElements(run.dom), 3u) << "a name added a script element";
    // The names are on the page, as text.
    EXPECT_NE(shown.find("&lt;img src=x onerror="), std::string::npos);
    EXPECT_NE(shown.find("&lt;/script&gt;"), std::string::npos);

    std::set<std::string> reported;
    for (const auto& body : run.report.at("bodies")) reported.insert(body.at("name"));
    std::set<std::string> embedded;
    for (const auto& body : scene.at("bodies")) embedded.insert(body.at("name"));
    EXPECT_EQ(reported, embedded);
    bool set = false;
    for (const auto& value : run.report.at("joints")) {
        if (value.at("name") == joint) set = value.at("value") == 0.25;
    }
    EXPECT_TRUE(set) << "the hostile joint was not set through the address";
}

}  // namespace
