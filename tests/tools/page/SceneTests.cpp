// The 3D page's scene: every body's world pose against forward kinematics computed here from
// urdfdom's model of the same file, the meshes it embeds, and names that are hostile in HTML.
#include <gtest/gtest.h>
#include <urdf_model/model.h>
#include <urdf_parser/urdf_parser.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "ParsedUrdf.hpp"
#include "ScratchDir.hpp"
#include "TestSupport.hpp"
#include "model/MeshLocator.hpp"
#include "model/ModelOverview.hpp"
#include "page/HtmlPage.hpp"
#include "page/Scene.hpp"
#include "page/SceneJson.hpp"
#include "page/SceneMeshes.hpp"
#include "support/Base64.hpp"
#include "support/VisibleText.hpp"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
namespace tools = corvane::tools;

const fs::path sharedDir = CORVANE_SHARED_DIR;
const fs::path robotsDir = sharedDir / "robots";

std::vector<fs::path> robotFiles() {
    std::vector<fs::path> files;
    std::error_code error;
    if (!fs::is_directory(robotsDir, error)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(robotsDir, error)) {
        if (entry.path().extension() == ".urdf") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

tools::MeshLocator robotsLocator(const fs::path& urdf) {
    return tools::MeshLocator(
        tools::PackageSearch::fromOptionsAndVariables({robotsDir.string()}, nullptr, nullptr),
        urdf.parent_path());
}

// A value of a scene JSON with its path in it ("scene.bodies[0].name"). A key or an index that is
// not there, or a value that is not of the type asked for, fails the test with the path and the
// key, where the JSON library would throw or, for a missing key of a constant object, have
// undefined behaviour. The test goes on with null or a default value, so that one misspelt key
// gives one failure that names it.
class SceneValue {
  public:
    explicit SceneValue(const json& root) : SceneValue(root, "scene") {}
    explicit SceneValue(json&& root) = delete;  // would read a temporary once it is gone

    SceneValue operator[](std::string_view key) const {
        const std::string name(key);
        if (!value_->is_object()) {
            fail(path_ + " is " + value_->type_name() + ", no object with a key \"" + name + "\"");
            return {missing(), path_ + "." + name};
        }
        const auto found = value_->find(name);
        if (found == value_->end()) {
            fail(path_ + " has no key \"" + name + "\"");
            return {missing(), path_ + "." + name};
        }
        return {*found, path_ + "." + name};
    }

    SceneValue operator[](std::size_t index) const {
        const std::string path = path_ + "[" + std::to_string(index) + "]";
        if (!value_->is_array() || index >= value_->size()) {
            fail(path_ + " (" + value_->type_name() + " of size " + std::to_string(value_->size()) +
                 ") has no element " + std::to_string(index));
            return {missing(), path};
        }
        return {(*value_)[index], path};
    }

    // The elements of an array, each with its path; none (and a failure) for another value.
    std::vector<SceneValue> elements() const {
        std::vector<SceneValue> result;
        if (!value_->is_array()) {
            fail(path_ + " is " + value_->type_name() + ", no array");
            return result;
        }
        for (std::size_t i = 0; i < value_->size(); ++i) {
            result.push_back({(*value_)[i], path_ + "[" + std::to_string(i) + "]"});
        }
        return result;
    }

    // The value as a T; T{} (and a failure) when it is none.
    template <typename T>
    T get() const {
        try {
            return value_->get<T>();
        } catch (const json::exception& error) {
            fail(path_ + ": " + error.what());
            return T{};
        }
    }

    const json& operator*() const { return *value_; }
    const json* operator->() const { return value_; }

  private:
    SceneValue(const json& value, std::string path) : value_(&value), path_(std::move(path)) {}

    // What a value that is not there reads as.
    static const json& missing() {
        static const json null;
        return null;
    }

    // Fails the test, unless this value is one not there: that failed already, where its key or
    // index was looked for.
    void fail(const std::string& message) const {
        if (value_ != &missing()) ADD_FAILURE() << message;
    }

    const json* value_;
    std::string path_;
};

// The scene JSON the tool writes for `urdf`, parsed back.
json sceneOf(const std::string& urdf, const fs::path& file, int precision) {
    const corvane::DocumentPtr document = corvane::testing::importUrdf(urdf, precision);
    if (!document) return nullptr;
    const tools::ModelOverview overview = tools::readModelOverview(*document);
    const tools::SceneMeshes meshes = tools::collectMeshes(overview, robotsLocator(file));
    return json::parse(tools::sceneJson(overview, tools::buildScene(overview), meshes));
}

// ---------------------------------------------------------------------------------------------
// Forward kinematics from urdfdom's model, with urdfdom's own pose arithmetic.

urdf::Pose compose(const urdf::Pose& a, const urdf::Pose& b) {
    urdf::Pose result;
    result.rotation = a.rotation * b.rotation;
    const urdf::Vector3 moved = a.rotation * b.position;
    result.position =
        urdf::Vector3(a.position.x + moved.x, a.position.y + moved.y, a.position.z + moved.z);
    return result;
}

// What a joint's value does in the joint's frame: a turn about its axis or a move along it.
urdf::Pose jointMotion(const urdf::Joint& joint, double value) {
    urdf::Vector3 axis = joint.axis;
    const double norm = std::sqrt(axis.x * axis.x + axis.y * axis.y + axis.z * axis.z);
    axis = norm > 0 ? urdf::Vector3(axis.x / norm, axis.y / norm, axis.z / norm)
                    : urdf::Vector3(1, 0, 0);
    urdf::Pose motion;
    if (joint.type == urdf::Joint::REVOLUTE || joint.type == urdf::Joint::CONTINUOUS) {
        const double s = std::sin(value / 2);
        motion.rotation.setFromQuaternion(axis.x * s, axis.y * s, axis.z * s, std::cos(value / 2));
    } else if (joint.type == urdf::Joint::PRISMATIC) {
        motion.position = urdf::Vector3(axis.x * value, axis.y * value, axis.z * value);
    }
    return motion;
}

bool placesChild(const urdf::Joint& joint) {
    return joint.type == urdf::Joint::REVOLUTE || joint.type == urdf::Joint::CONTINUOUS ||
           joint.type == urdf::Joint::PRISMATIC || joint.type == urdf::Joint::FIXED;
}

// World poses of the links, the joints at `values` (by joint name, 0 when absent). Links below
// a joint the import skips (floating, planar) start again at the origin, as their bodies do.
std::map<std::string, urdf::Pose> forwardKinematics(const urdf::ModelInterface& model,
                                                    const std::map<std::string, double>& values) {
    std::map<std::string, urdf::Pose> poses;
    std::deque<std::string> queue;
    for (const auto& [name, link] : model.links_) {
        const auto parentJoint = link->parent_joint;
        if (!parentJoint || !placesChild(*parentJoint)) {
            poses[name] = urdf::Pose();
            queue.push_back(name);
        }
    }
    while (!queue.empty()) {
        const std::string name = queue.front();
        queue.pop_front();
        for (const auto& joint : model.getLink(name)->child_joints) {
            if (!placesChild(*joint)) continue;
            const auto value = values.find(joint->name);
            const urdf::Pose motion =
                jointMotion(*joint, value == values.end() ? 0 : value->second);
            poses[joint->child_link_name] =
                compose(compose(poses[name], joint->parent_to_joint_origin_transform), motion);
            queue.push_back(joint->child_link_name);
        }
    }
    return poses;
}

double robotSize(const std::map<std::string, urdf::Pose>& poses) {
    double low[3] = {INFINITY, INFINITY, INFINITY};
    double high[3] = {-INFINITY, -INFINITY, -INFINITY};
    for (const auto& [name, pose] : poses) {
        const double p[3] = {pose.position.x, pose.position.y, pose.position.z};
        for (int i = 0; i < 3; ++i) {
            low[i] = std::min(low[i], p[i]);
            high[i] = std::max(high[i], p[i]);
        }
    }
    double sum = 0;
    for (int i = 0; i < 3; ++i) sum += (high[i] - low[i]) * (high[i] - low[i]);
    return std::sqrt(sum);
}

struct Deviation {
    double position = 0;  // relative to the robot's size
    double rotation = 0;  // largest difference of rotated unit vectors
    std::string worst;
};

// Compares every body of `scene` with the link of the same name; fails for a link without body.
Deviation compareWithUrdf(const SceneValue& scene, const urdf::ModelInterface& model) {
    std::map<std::string, double> initial;
    for (const SceneValue& interaction : scene["interactions"].elements()) {
        initial[interaction["name"].get<std::string>()] = interaction["initial"].get<double>();
    }
    const auto expected = forwardKinematics(model, initial);
    const double size = std::max(robotSize(expected), 1e-3);
    std::map<std::string, SceneValue> bodies;
    for (const SceneValue& body : scene["bodies"].elements()) {
        bodies.emplace(body["name"].get<std::string>(), body);
    }
    Deviation deviation;
    for (const auto& [name, pose] : expected) {
        const auto found = bodies.find(name);
        if (found == bodies.end()) {
            ADD_FAILURE() << "link " << name << " has no body in the scene";
            continue;
        }
        const SceneValue& body = found->second;
        const auto p = body["position"].get<std::array<double, 3>>();
        const auto q = body["rotation"].get<std::array<double, 4>>();
        const double dp =
            std::hypot(p[0] - pose.position.x, p[1] - pose.position.y, p[2] - pose.position.z) /
            size;
        urdf::Rotation rotation;
        rotation.setFromQuaternion(q[0], q[1], q[2], q[3]);
        double dr = 0;
        for (const urdf::Vector3& unit :
             {urdf::Vector3(1, 0, 0), urdf::Vector3(0, 1, 0), urdf::Vector3(0, 0, 1)}) {
            const urdf::Vector3 a = rotation * unit;
            const urdf::Vector3 b = pose.rotation * unit;
            dr = std::max(dr, std::hypot(a.x - b.x, a.y - b.y, a.z - b.z));
        }
        if (std::max(dp, dr) > std::max(deviation.position, deviation.rotation))
            deviation.worst = name;
        deviation.position = std::max(deviation.position, dp);
        deviation.rotation = std::max(deviation.rotation, dr);
    }
    return deviation;
}

void expectSceneMatchesUrdf(const fs::path& file, int precision) {
    const std::string urdf = corvane::testing::readFile(file);
    const corvane::Plugins::Urdf::ParsedUrdf model(urdf);
    ASSERT_TRUE(model) << file;
    const corvane::testing::LogCapture quiet;
    const json parsed = sceneOf(urdf, file, precision);
    ASSERT_TRUE(parsed.is_object()) << file << " was refused";
    const SceneValue scene(parsed);
    EXPECT_TRUE(scene["unplaced"]->empty()) << file;
    const Deviation deviation = compareWithUrdf(scene, *model);
    if (std::getenv("CORVANE_SCENE_DEVIATIONS")) {
        std::printf("%.3g %.3g %s\n", deviation.position, deviation.rotation,
                    file.filename().c_str());
    }
    EXPECT_LE(deviation.position, 1e-9) << file << ": body " << deviation.worst;
    EXPECT_LE(deviation.rotation, 1e-9) << file << ": body " << deviation.worst;
}

TEST(ScenePoses, EveryValidCorpusFileMatchesForwardKinematics) {
    CORVANE_SKIP_WITHOUT_CORPUS();
    const auto files = corvane::testing::corpusFiles("valid");
    ASSERT_FALSE(files.empty());
    for (const auto& file : files) expectSceneMatchesUrdf(file, 10);
}

TEST(ScenePoses, EveryRobotMatchesForwardKinematics) {
    const auto files = robotFiles();
    if (files.empty()) GTEST_SKIP() << "no ../shared/robots beside this checkout: skipped";
    for (const auto& file : files) expectSceneMatchesUrdf(file, 10);
}

TEST(ScenePoses, InitialValuesTurnAndMoveTheChildren) {
    // clang-format off
    const std::string urdf = R"(<robot name="offsets">
      <link name="base"/><link name="upper"/><link name="slider"/>
      <joint name="turned" type="revolute"><parent link="base"/><child link="upper"/>
        <origin xyz="0.1 0.2 0.3" rpy="0.4 -0.2 1.1"/><axis xyz="1 2 -0.5"/>
        <limit lower="0.7" upper="1.5" effort="1" velocity="1"/></joint>
      <joint name="moved" type="prismatic"><parent link="upper"/><child link="slider"/>
        <origin xyz="0 0 0.5" rpy="0 1.2 0"/><axis xyz="0 1 1"/>
        <limit lower="-0.9" upper="-0.25" effort="1" velocity="1"/></joint>
    </robot>)";
    // clang-format on
    const corvane::testing::ScratchDir scratch;
    const fs::path file = scratch / "offsets.urdf";
    corvane::testing::writeFile(file, urdf);
    const json parsed = sceneOf(urdf, file, 10);
    ASSERT_TRUE(parsed.is_object());
    const SceneValue scene(parsed);
    ASSERT_EQ(scene["interactions"]->size(), 2u);
    EXPECT_EQ(*scene["interactions"][0]["initial"], 0.7);
    EXPECT_EQ(*scene["interactions"][1]["initial"], -0.25);
    EXPECT_EQ(*scene["order"], json::parse("[0, 1]"));
    const Deviation deviation = compareWithUrdf(scene, *corvane::Plugins::Urdf::ParsedUrdf(urdf));
    EXPECT_LE(deviation.position, 1e-9);
    EXPECT_LE(deviation.rotation, 1e-9);
    // The page moves joints with the frames and axis alone: the axis is the unit URDF axis
    // turned into the parent's frame.
    const auto axis = scene["interactions"][0]["axis"].get<std::array<double, 3>>();
    urdf::Rotation origin;
    origin.setFromRPY(0.4, -0.2, 1.1);
    const urdf::Vector3 expected =
        origin * urdf::Vector3(1 / std::sqrt(5.25), 2 / std::sqrt(5.25), -0.5 / std::sqrt(5.25));
    EXPECT_NEAR(axis[0], expected.x, 1e-9);
    EXPECT_NEAR(axis[1], expected.y, 1e-9);
    EXPECT_NEAR(axis[2], expected.z, 1e-9);
}

tools::ModelOverview chainOverview(std::size_t links) {
    tools::ModelOverview overview;
    overview.modelName = "chain";
    for (std::size_t i = 0; i < links; ++i) {
        tools::BodyOverview body;
        body.name = "link" + std::to_string(i);
        body.connectors.push_back({"up", {0, 0, 0}, {0, 0, 1}, {1, 0, 0}});
        body.connectors.push_back({"down", {0, 0, 0.01}, {0, 0, 1}, {1, 0, 0}});
        overview.bodies.push_back(body);
        overview.bodyIndex.emplace(body.name, i);
    }
    for (std::size_t i = 1; i < links; ++i) {
        tools::InteractionOverview joint;
        joint.name = "j" + std::to_string(i);
        joint.kind = tools::InteractionKind::Prismatic;
        joint.parentBody = "link" + std::to_string(i - 1);
        joint.parentConnector = "down";
        joint.childBody = "link" + std::to_string(i);
        joint.childConnector = "up";
        joint.initialValue = 0.001;
        overview.interactions.push_back(joint);
    }
    return overview;
}

TEST(SceneWalk, TenThousandLinksDeepArePlacedInOrder) {
    const tools::Scene scene = tools::buildScene(chainOverview(10000));
    ASSERT_EQ(scene.order.size(), 9999u);
    EXPECT_TRUE(std::is_sorted(scene.order.begin(), scene.order.end()));
    EXPECT_TRUE(scene.unplaced.empty());
    EXPECT_NEAR(scene.bodyPoses.back().translation.z, 9999 * 0.011, 1e-9);
}

TEST(SceneWalk, BodiesInACycleOrBelowAMissingBodyStayAtTheOriginAndAreListed) {
    tools::ModelOverview overview = chainOverview(4);
    // link0 -> link1 -> link2 -> link3, then link3 -> link1 closes a loop (ignored), and a
    // cycle link2 <-> link3 cut off from any root by making link0 a child of link3.
    tools::InteractionOverview back = overview.interactions[0];
    back.name = "back";
    back.parentBody = "link3";
    back.childBody = "link0";
    overview.interactions.push_back(back);
    tools::InteractionOverview lost = overview.interactions[0];
    lost.name = "lost";
    lost.parentBody = "nowhere";
    overview.interactions.push_back(lost);
    const tools::Scene scene = tools::buildScene(overview);
    EXPECT_TRUE(scene.order.empty());
    EXPECT_EQ(scene.unplaced, (std::vector<std::size_t>{0, 1, 2, 3}));
    const json parsed = json::parse(
        tools::sceneJson(overview, scene, tools::collectMeshes(overview, robotsLocator("."))));
    const SceneValue written(parsed);
    EXPECT_EQ(*written["unplaced"], json::parse(R"(["link0", "link1", "link2", "link3"])"));
    EXPECT_EQ(*written["bodies"][2]["position"], json::parse("[0.0, 0.0, 0.0]"));
}

TEST(SceneJson, SlidersFollowRangesAndAFullTurnWithout) {
    // clang-format off
    const std::string urdf = R"(<robot name="sliders">
      <link name="a"/><link name="b"/><link name="c"/>
      <joint name="limited" type="revolute"><parent link="a"/><child link="b"/>
        <limit lower="-0.5" upper="2" effort="1" velocity="1"/></joint>
      <joint name="free" type="continuous"><parent link="b"/><child link="c"/></joint>
    </robot>)";
    // clang-format on
    const json parsed = sceneOf(urdf, "sliders.urdf", 10);
    ASSERT_TRUE(parsed.is_object());
    const SceneValue scene(parsed);
    ASSERT_EQ(scene["interactions"]->size(), 2u);
    EXPECT_EQ(*scene["interactions"][0]["range"], json::parse("[-0.5, 2.0]"));
    EXPECT_EQ(*scene["interactions"][0]["slider"], json::parse("[-0.5, 2.0]"));
    EXPECT_TRUE(scene["interactions"][1]["range"]->is_null());
    EXPECT_DOUBLE_EQ(scene["interactions"][1]["slider"][0].get<double>(), -M_PI);
    EXPECT_DOUBLE_EQ(scene["interactions"][1]["slider"][1].get<double>(), M_PI);
    EXPECT_EQ(*scene["interactions"][1]["kind"], "hinge");
}

TEST(SceneJson, InertiaBoxHasTheMomentsOfTheBodyAlongItsPrincipalAxes) {
    // A 1 x 2 x 3 box of 12 kg: Ixx = 13, Iyy = 10, Izz = 5, here about a turned inertial frame.
    // clang-format off
    const std::string urdf = R"(<robot name="brick"><link name="brick"><inertial>
      <origin xyz="0.1 0.2 0.3" rpy="0.3 0.2 0.1"/><mass value="12"/>
      <inertia ixx="13" iyy="10" izz="5" ixy="0" ixz="0" iyz="0"/></inertial></link></robot>)";
    // clang-format on
    const json parsed = sceneOf(urdf, "brick.urdf", 10);
    ASSERT_TRUE(parsed.is_object());
    const SceneValue scene(parsed);
    const SceneValue box = scene["bodies"][0]["inertiaBox"];
    ASSERT_TRUE(box->is_object());
    const auto size = box["size"].get<std::array<double, 3>>();
    EXPECT_NEAR(size[0], 1, 1e-9);
    EXPECT_NEAR(size[1], 2, 1e-9);
    EXPECT_NEAR(size[2], 3, 1e-9);
    EXPECT_EQ(*box["position"], *scene["bodies"][0]["centreOfMass"]["position"]);
    const auto q = box["rotation"].get<std::array<double, 4>>();
    const auto c = scene["bodies"][0]["centreOfMass"]["rotation"].get<std::array<double, 4>>();
    EXPECT_NEAR(std::abs(q[0] * c[0] + q[1] * c[1] + q[2] * c[2] + q[3] * c[3]), 1, 1e-9);
}

// ---------------------------------------------------------------------------------------------
// Meshes

TEST(SceneMeshes, EveryFileOfThePr2IsEmbeddedOnce) {
    const fs::path pr2 = robotsDir / "example-robot-data/robots/pr2_description/urdf/pr2.urdf";
    if (!fs::exists(pr2)) GTEST_SKIP() << "no ../shared/robots beside this checkout: skipped";
    const std::string urdf = corvane::testing::readFile(pr2);
    const corvane::Plugins::Urdf::ParsedUrdf model(urdf);
    ASSERT_TRUE(model);
    std::set<std::string> named;
    std::size_t meshGeometries = 0;
    for (const auto& [name, link] : model->links_) {
        for (const auto& visual : link->visual_array) {
            if (auto mesh = std::dynamic_pointer_cast<urdf::Mesh>(visual->geometry)) {
                named.insert(mesh->filename);
                ++meshGeometries;
            }
        }
        for (const auto& collision : link->collision_array) {
            if (auto mesh = std::dynamic_pointer_cast<urdf::Mesh>(collision->geometry)) {
                named.insert(mesh->filename);
                ++meshGeometries;
            }
        }
    }
    const corvane::testing::LogCapture quiet;
    const corvane::DocumentPtr document = corvane::testing::importUrdf(urdf);
    ASSERT_TRUE(document);
    const json parsed = sceneOf(urdf, pr2, 10);
    ASSERT_TRUE(parsed.is_object());
    const SceneValue scene(parsed);
    ASSERT_EQ(scene["meshes"]->size(), named.size());
    std::size_t used = 0;
    std::set<std::size_t> indexes;
    for (const SceneValue& body : scene["bodies"].elements()) {
        for (const SceneValue& geometry : body["geometries"].elements()) {
            if (*geometry["shape"] != "mesh") continue;
            ++used;
            ASSERT_TRUE(geometry["mesh"]->is_number()) << *geometry["path"];
            const std::size_t index = geometry["mesh"].get<std::size_t>();
            ASSERT_LT(index, scene["meshes"]->size());
            EXPECT_EQ(*scene["meshes"][index]["path"], *geometry["path"]);
            indexes.insert(index);
        }
    }
    EXPECT_EQ(used, meshGeometries);
    EXPECT_EQ(indexes.size(), named.size());
    for (const SceneValue& mesh : scene["meshes"].elements()) {
        EXPECT_TRUE(mesh["problem"]->is_null()) << *mesh["path"] << ": " << *mesh["problem"];
        EXPECT_EQ(*mesh["format"], "stl");
        ASSERT_TRUE(mesh["data"]->is_string()) << *mesh["path"];
        const std::string path = mesh["path"].get<std::string>();
        const fs::path file = robotsDir / path.substr(std::string("package://").size());
        EXPECT_EQ(mesh["data"].get<std::string>(),
                  tools::base64Encode(corvane::testing::readFile(file)))
            << path;
    }
}

TEST(SceneMeshes, AFileNamedTwiceIsEmbeddedOnceAndAMissingOneIsListedWithAWarningPerBody) {
    const corvane::testing::ScratchDir scratch;
    fs::create_directories(scratch / "meshes");
    corvane::testing::writeFile(scratch / "meshes/part.stl", "solid part\nendsolid part\n");
    // clang-format off
    const std::string urdf = R"(<robot name="parts">
      <link name="one">
        <visual><geometry><mesh filename="meshes/part.stl"/></geometry></visual>
        <collision><geometry><mesh filename="./meshes/part.stl"/></geometry></collision>
        <visual><geometry><mesh filename="package://nowhere/missing.stl"/></geometry></visual>
        <collision><geometry><mesh filename="package://nowhere/missing.stl"/></geometry></collision>
      </link>
      <link name="two">
        <visual><geometry><mesh filename="package://nowhere/missing.stl" scale="2 2 2"/></geometry></visual>
        <visual><geometry><mesh filename="meshes/part.stl"/></geometry></visual>
      </link>
      <joint name="j" type="fixed"><parent link="one"/><child link="two"/></joint>
    </robot>)";
    // clang-format on
    const corvane::DocumentPtr document = corvane::testing::importUrdf(urdf);
    ASSERT_TRUE(document);
    const tools::ModelOverview overview = tools::readModelOverview(*document);
    const tools::MeshLocator locator(tools::PackageSearch{}, scratch.path());
    const tools::SceneMeshes meshes = tools::collectMeshes(overview, locator);
    ASSERT_EQ(meshes.meshes.size(), 2u);
    // Contact geometries come first in a body: the collision's URI is the one written first.
    EXPECT_EQ(meshes.meshes[0].path, "./meshes/part.stl");
    // A text STL is padded to the 84 bytes of a binary header, where three.js reads a count.
    EXPECT_EQ(meshes.meshes[0].bytes, "solid part\nendsolid part\n" + std::string(59, '\n'));
    EXPECT_EQ(meshes.meshes[1].path, "package://nowhere/missing.stl");
    EXPECT_FALSE(meshes.meshes[1].bytes);
    ASSERT_TRUE(meshes.meshes[1].problem);
    EXPECT_TRUE(meshes.meshes[1].problem->starts_with("package 'nowhere' not found"))
        << *meshes.meshes[1].problem;
    ASSERT_EQ(meshes.warnings.size(), 2u);
    EXPECT_EQ(meshes.warnings[0],
              "mesh 'package://nowhere/missing.stl' of body 'one': " + *meshes.meshes[1].problem);
    EXPECT_EQ(meshes.warnings[1],
              "mesh 'package://nowhere/missing.stl' of body 'two': " + *meshes.meshes[1].problem);
    const json parsed =
        json::parse(tools::sceneJson(overview, tools::buildScene(overview), meshes));
    const SceneValue scene(parsed);
    EXPECT_EQ(*scene["meshes"][1]["data"], nullptr);
    EXPECT_EQ(*scene["meshes"][1]["problem"], *meshes.meshes[1].problem);
    std::vector<json> used;
    for (const SceneValue& body : scene["bodies"].elements()) {
        for (const SceneValue& geometry : body["geometries"].elements()) {
            used.push_back(*geometry["mesh"]);
        }
    }
    EXPECT_EQ(json(used), json::parse("[0, 1, 0, 1, 1, 0]"));
    EXPECT_EQ(*scene["bodies"][1]["geometries"][0]["scale"], json::parse("[2.0, 2.0, 2.0]"));
}

// three.js takes an STL for binary only when its size is exactly what its header announces, and
// for text whenever "solid" begins it: the page gets bytes it cannot take for the other kind.
TEST(SceneMeshes, AnStlIsHandedOverAsThreeJsReadsItsKind) {
    const corvane::testing::ScratchDir scratch;
    std::string binary = "solid part";
    binary.resize(80, ' ');
    binary += std::string("\x01\0\0\0", 4) + std::string(50, '\0');
    std::string truncated = binary;
    truncated[80] = 2;
    const std::string text =
        "solid part\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\n"
        "vertex 1 0 0\nvertex 0 1 0\nendloop\nendfacet\nendsolid part\n";
    corvane::testing::writeFile(scratch / "binary.stl", binary + std::string(9, '\0'));
    corvane::testing::writeFile(scratch / "truncated.stl", truncated);
    corvane::testing::writeFile(scratch / "text.stl", "\xEF\xBB\xBF\n " + text);
    const auto document = corvane::testing::importUrdf(R"(<robot name="stl"><link name="a">
        <visual><geometry><mesh filename="binary.stl"/></geometry></visual>
        <visual><geometry><mesh filename="truncated.stl"/></geometry></visual>
        <visual><geometry><mesh filename="text.stl"/></geometry></visual></link></robot>)");
    ASSERT_TRUE(document);
    const tools::ModelOverview overview = tools::readModelOverview(*document);
    const tools::MeshLocator locator(tools::PackageSearch{}, scratch.path());
    const tools::SceneMeshes meshes = tools::collectMeshes(overview, locator);
    ASSERT_EQ(meshes.meshes.size(), 3u);
    EXPECT_EQ(meshes.meshes[0].bytes, binary);
    EXPECT_FALSE(meshes.meshes[0].problem);
    EXPECT_FALSE(meshes.meshes[1].bytes);
    EXPECT_EQ(meshes.meshes[1].problem,
              "cannot be decoded: the binary STL header announces 2 triangles, the file holds 1");
    EXPECT_EQ(meshes.meshes[2].bytes, text);
    EXPECT_EQ(meshes.warnings, std::vector<std::string>{"mesh 'truncated.stl' of body 'a': " +
                                                        *meshes.meshes[1].problem});
}

TEST(SceneMeshes, Base64MatchesTheStandardVectors) {
    EXPECT_EQ(tools::base64Encode(""), "");
    EXPECT_EQ(tools::base64Encode("f"), "Zg==");
    EXPECT_EQ(tools::base64Encode("fo"), "Zm8=");
    EXPECT_EQ(tools::base64Encode("foo"), "Zm9v");
    EXPECT_EQ(tools::base64Encode("foob"), "Zm9vYg==");
    EXPECT_EQ(tools::base64Encode("fooba"), "Zm9vYmE=");
    EXPECT_EQ(tools::base64Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(tools::base64Encode(std::string("\xff\x00\xfe", 3)), "/wD+");
}

// ---------------------------------------------------------------------------------------------
// Hostile names

// clang-format off
const std::string hostileLink = "a</script><img src=x onerror=alert(1)>";
const std::string hostileOther = "b\"q'\xff\xfe\xe2\x80\xa8\xe2\x80\xa9&amp";
const std::string hostileUrdf =
    "<robot name=\"r&lt;/SCRIPT&gt;\">"
    "<link name=\"a&lt;/script&gt;&lt;img src=x onerror=alert(1)&gt;\">"
    "<visual><geometry><mesh filename=\"&lt;/script&gt;.stl\"/></geometry></visual></link>"
    "<link name=\"b&quot;q'\xff\xfe\xe2\x80\xa8\xe2\x80\xa9&amp;amp\"/>"
    "<joint name=\"j&lt;!--\" type=\"continuous\"><parent link=\"a&lt;/script&gt;&lt;img src=x onerror=alert(1)&gt;\"/>"
    "<child link=\"b&quot;q'\xff\xfe\xe2\x80\xa8\xe2\x80\xa9&amp;amp\"/></joint></robot>";
// clang-format on

std::size_t scriptEnds(const std::string& page) {
    std::size_t count = 0;
    std::string lower = page;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (std::size_t at = lower.find("</script"); at != std::string::npos;
         at = lower.find("</script", at + 1)) {
        ++count;
    }
    return count;
}

TEST(SceneHostileNames, CannotCloseTheScriptElementAndStayValidUtf8) {
    const corvane::testing::LogCapture quiet;
    const corvane::DocumentPtr document = corvane::testing::importUrdf(hostileUrdf);
    ASSERT_TRUE(document);
    const tools::ModelOverview overview = tools::readModelOverview(*document);
    const tools::MeshLocator locator(tools::PackageSearch{}, "/nonexistent");
    const std::string text = tools::sceneJson(overview, tools::buildScene(overview),
                                              tools::collectMeshes(overview, locator));
    for (const char forbidden : {'<', '>', '&'}) {
        EXPECT_EQ(text.find(forbidden), std::string::npos) << forbidden << " in " << text;
    }
    EXPECT_EQ(text.find("\xe2\x80\xa8"), std::string::npos);
    EXPECT_EQ(text.find("\xe2\x80\xa9"), std::string::npos);
    const json parsed = json::parse(text);  // throws on bytes that are no UTF-8
    const SceneValue scene(parsed);
    EXPECT_EQ(*scene["model"], "r</SCRIPT>");
    ASSERT_EQ(scene["bodies"]->size(), 2u);
    EXPECT_EQ(*scene["bodies"][0]["name"], hostileLink);
    EXPECT_EQ(*scene["bodies"][1]["name"], tools::visibleText(hostileOther));
    EXPECT_EQ(*scene["bodies"][1]["name"], "b\"q'\\xFF\\xFE\xe2\x80\xa8\xe2\x80\xa9&amp");
    EXPECT_EQ(*scene["interactions"][0]["child"], *scene["bodies"][1]["name"]);
    EXPECT_EQ(*scene["interactions"][0]["name"], "j<!--");
    EXPECT_EQ(*scene["meshes"][0]["path"], "</script>.stl");

    // The page holds exactly the script ends of its template, whatever the names are.
    const fs::path three = tools::threeJsFolder();
    if (!fs::exists(three / "three.min.js")) GTEST_SKIP() << "libjs-three not installed: skipped";
    const std::string plain = tools::htmlPage("{}", three);
    const std::string hostile = tools::htmlPage(text, three);
    EXPECT_EQ(scriptEnds(hostile), scriptEnds(plain));
    EXPECT_EQ(hostile.find("<img"), std::string::npos);
    EXPECT_EQ(hostile.find("j<!--"), std::string::npos);
}

TEST(SceneHostileNames, ScriptEndsInInlinedLibrariesAreNeutralised) {
    EXPECT_EQ(tools::neutraliseScriptEnd("a='</SCRIPT>'; b=\"</script\"; c='</scr'; d='</'"),
              "a='<\\/SCRIPT>'; b=\"<\\/script\"; c='</scr'; d='</'");
    EXPECT_EQ(tools::neutraliseScriptEnd("</script</script"), "<\\/script<\\/script");
}

TEST(SceneHostileNames, PlaceholdersInNamesAreNotFilledIn) {
    const fs::path three = tools::threeJsFolder();
    if (!fs::exists(three / "three.min.js")) GTEST_SKIP() << "libjs-three not installed: skipped";
    const std::string page =
        tools::htmlPage("{\"model\": \"/*CORVANE_VIEWER*/ /*CORVANE_THREE*/\"}", three);
    EXPECT_NE(page.find("\"/*CORVANE_VIEWER*/ /*CORVANE_THREE*/\""), std::string::npos);
    EXPECT_EQ(page.find("/*CORVANE_SCENE*/"), std::string::npos);
}

}  // namespace
