// The tool's one reader of an imported document: the numbers it reads back (masses, tensors,
// centre-of-mass frames, geometry sizes and placements, mesh files, connector frames, ranges,
// actuators, initial values) are the ones urdfdom reads from the same file.
#include <gtest/gtest.h>
#include <urdf_model/model.h>
#include <urdf_parser/urdf_parser.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ParsedUrdf.hpp"
#include "TestSupport.hpp"
#include "model/ModelOverview.hpp"

namespace {

using corvane::testing::corpusFiles;
using corvane::testing::importUrdf;
using corvane::testing::LogCapture;
using corvane::testing::readFile;
using namespace corvane::tools;

const std::string oneOfEverything =
    std::string(CORVANE_SOURCE_DIR) + "/tests/data/one_of_everything.urdf";

// Real literals carry ten decimals: what they read back is within half a unit of the last one.
void expectClose(double actual, double expected, const char* what) {
    EXPECT_NEAR(actual, expected, 1e-9 * std::max(1.0, std::abs(expected))) << what;
}

void expectVector(const Vector3& actual, const urdf::Vector3& expected, const char* what) {
    expectClose(actual.x, expected.x, what);
    expectClose(actual.y, expected.y, what);
    expectClose(actual.z, expected.z, what);
}

void expectRotation(const Quaternion& actual, const urdf::Rotation& expected, const char* what) {
    expectClose(actual.x, expected.x, what);
    expectClose(actual.y, expected.y, what);
    expectClose(actual.z, expected.z, what);
    expectClose(actual.w, expected.w, what);
}

void expectMassProperties(const BodyOverview& body, const urdf::Link& link) {
    if (!link.inertial) {
        EXPECT_FALSE(body.mass);
        EXPECT_FALSE(body.inertia);
        return;
    }
    const urdf::Inertial& inertial = *link.inertial;
    ASSERT_TRUE(body.mass);
    expectClose(*body.mass, inertial.mass, "mass");
    ASSERT_TRUE(body.inertia);
    const InertiaTensor& tensor = *body.inertia;
    expectClose(tensor[0][0], inertial.ixx, "ixx");
    expectClose(tensor[1][1], inertial.iyy, "iyy");
    expectClose(tensor[2][2], inertial.izz, "izz");
    expectClose(tensor[0][1], inertial.ixy, "ixy");
    expectClose(tensor[1][0], inertial.ixy, "ixy");
    expectClose(tensor[0][2], inertial.ixz, "ixz");
    expectClose(tensor[2][0], inertial.ixz, "ixz");
    expectClose(tensor[1][2], inertial.iyz, "iyz");
    expectClose(tensor[2][1], inertial.iyz, "iyz");
    expectVector(body.centreOfMass.position, inertial.origin.position, "centre of mass");
    expectRotation(body.centreOfMass.rotation, inertial.origin.rotation, "centre of mass");
}

void expectGeometry(const GeometryOverview& geometry, const urdf::Geometry& expected,
                    const urdf::Pose& origin) {
    SCOPED_TRACE("geometry " + geometry.name);
    expectVector(geometry.localTransform.position, origin.position, "local_transform");
    switch (expected.type) {
        case urdf::Geometry::SPHERE:
            ASSERT_EQ(geometry.shape, GeometryShape::Sphere);
            ASSERT_TRUE(geometry.radius);
            expectClose(*geometry.radius, static_cast<const urdf::Sphere&>(expected).radius,
                        "radius");
            expectRotation(geometry.localTransform.rotation, origin.rotation, "local_transform");
            break;
        case urdf::Geometry::BOX:
            ASSERT_EQ(geometry.shape, GeometryShape::Box);
            ASSERT_TRUE(geometry.size);
            expectVector(*geometry.size, static_cast<const urdf::Box&>(expected).dim, "size");
            expectRotation(geometry.localTransform.rotation, origin.rotation, "local_transform");
            break;
        case urdf::Geometry::CYLINDER: {
            // Its rotation holds the quarter turn that lays the host's y axis along URDF's z.
            ASSERT_EQ(geometry.shape, GeometryShape::Cylinder);
            const auto& cylinder = static_cast<const urdf::Cylinder&>(expected);
            ASSERT_TRUE(geometry.radius);
            ASSERT_TRUE(geometry.height);
            expectClose(*geometry.radius, cylinder.radius, "radius");
            expectClose(*geometry.height, cylinder.length, "height");
            break;
        }
        case urdf::Geometry::MESH: {
            ASSERT_EQ(geometry.shape, GeometryShape::Mesh);
            const auto& mesh = static_cast<const urdf::Mesh&>(expected);
            ASSERT_TRUE(geometry.meshPath);
            EXPECT_EQ(*geometry.meshPath, mesh.filename);
            expectVector(geometry.scale, mesh.scale, "scale");
            break;
        }
    }
}

template <typename Element>
void expectGeometries(const std::vector<const GeometryOverview*>& geometries,
                      const std::vector<std::shared_ptr<Element>>& elements) {
    std::vector<const Element*> withGeometry;
    for (const auto& element : elements) {
        if (element && element->geometry) withGeometry.push_back(element.get());
    }
    ASSERT_EQ(geometries.size(), withGeometry.size());
    for (std::size_t i = 0; i < geometries.size(); ++i) {
        expectGeometry(*geometries[i], *withGeometry[i]->geometry, withGeometry[i]->origin);
    }
}

std::vector<const GeometryOverview*> geometriesOf(const BodyOverview& body, bool contact) {
    std::vector<const GeometryOverview*> found;
    for (const auto& geometry : body.geometries) {
        if (geometry.contact == contact) found.push_back(&geometry);
    }
    return found;
}

void expectJoint(const ModelOverview& overview, const InteractionOverview& interaction,
                 const urdf::Joint& joint) {
    SCOPED_TRACE("interaction " + interaction.name);
    const BodyOverview* parent = overview.body(interaction.parentBody);
    const BodyOverview* child = overview.body(interaction.childBody);
    ASSERT_TRUE(parent);
    ASSERT_TRUE(child);
    const ConnectorOverview* parentConnector = parent->connector(interaction.parentConnector);
    const ConnectorOverview* childConnector = child->connector(interaction.childConnector);
    ASSERT_TRUE(parentConnector) << interaction.parentConnector;
    ASSERT_TRUE(childConnector) << interaction.childConnector;
    EXPECT_EQ(interaction.parentConnector, interaction.name + "_mc");
    const auto& origin = joint.parent_to_joint_origin_transform;
    expectVector(parentConnector->position, origin.position, "parent connector position");
    EXPECT_EQ(childConnector->position.x, 0.0);
    const bool zeroAxis = joint.axis.x == 0 && joint.axis.y == 0 && joint.axis.z == 0;
    if (!zeroAxis) expectVector(childConnector->mainAxis, joint.axis, "child main axis");

    const bool moving = joint.type != urdf::Joint::FIXED;
    const bool limited = moving && joint.limits && joint.type != urdf::Joint::CONTINUOUS;
    EXPECT_EQ(interaction.range.has_value(), limited);
    if (limited && interaction.range) {
        expectClose(interaction.range->start, joint.limits->lower, "range start");
        expectClose(interaction.range->end, joint.limits->upper, "range end");
    }
    const bool actuated = moving && joint.limits;
    EXPECT_EQ(interaction.actuator.has_value(), actuated);
    if (actuated && interaction.actuator) {
        expectClose(interaction.actuator->maxEffort, joint.limits->effort, "max effort");
        expectClose(interaction.actuator->minEffort, -joint.limits->effort, "min effort");
    }
    EXPECT_EQ(interaction.initialValue.has_value(), actuated);
}

void expectReadsAsUrdfdom(const std::string& text) {
    const auto document = importUrdf(text);
    ASSERT_TRUE(document);
    const corvane::Plugins::Urdf::ParsedUrdf robot(text);
    ASSERT_TRUE(robot);
    const ModelOverview overview = readModelOverview(*document);
    ASSERT_EQ(overview.bodies.size(), robot->links_.size());
    for (const auto& body : overview.bodies) {
        SCOPED_TRACE("body " + body.name);
        ASSERT_EQ(overview.body(body.name), &body);
        const auto link = robot->links_.find(body.name);
        ASSERT_NE(link, robot->links_.end());
        expectMassProperties(body, *link->second);
        expectGeometries(geometriesOf(body, true), link->second->collision_array);
        expectGeometries(geometriesOf(body, false), link->second->visual_array);
    }
    for (const auto& interaction : overview.interactions) {
        const auto& joints = robot->joints_;
        auto joint = joints.find(interaction.name);
        if (joint == joints.end() && interaction.name.starts_with("joint_")) {
            joint = joints.find(interaction.name.substr(6));
        }
        ASSERT_NE(joint, joints.end()) << interaction.name;
        expectJoint(overview, interaction, *joint->second);
    }
}

TEST(ModelOverviewValues, OneOfEverythingReadsBackAsUrdfdomReadsIt) {
    const LogCapture quiet;
    expectReadsAsUrdfdom(
        readFile(std::string(CORVANE_SOURCE_DIR) + "/tests/data/one_of_everything.urdf"));
}

TEST(ModelOverviewValues, EveryValidCorpusRobotReadsBackAsUrdfdomReadsIt) {
    CORVANE_SKIP_WITHOUT_CORPUS();
    const LogCapture quiet;
    for (const auto& file : corpusFiles("valid")) {
        SCOPED_TRACE(file.filename().string());
        expectReadsAsUrdfdom(readFile(file));
    }
}

TEST(ModelOverviewValues, LockedMassAndInitialValuesAreRead) {
    const LogCapture quiet;
    // clang-format off
    const auto document = importUrdf(R"(<robot name="r">
  <link name="base"><inertial><mass value="2"/><inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial></link>
  <link name="tip"/>
  <link name="slider"><inertial><mass value="1"/><inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial></link>
  <joint name="fix" type="fixed"><parent link="base"/><child link="tip"/></joint>
  <joint name="rail" type="prismatic"><parent link="base"/><child link="slider"/>
    <axis xyz="0 0 1"/><limit lower="0.25" upper="0.5" effort="3" velocity="1"/></joint>
</robot>)");
    // clang-format on
    ASSERT_TRUE(document);
    const ModelOverview overview = readModelOverview(*document);
    const BodyOverview* tip = overview.body("tip");
    ASSERT_TRUE(tip);
    EXPECT_FALSE(tip->ownMass);
    ASSERT_TRUE(tip->assignedMassValue);
    EXPECT_GT(*tip->assignedMassValue, 0.0);
    EXPECT_LT(*tip->assignedMassValue, 1e-9);
    EXPECT_EQ(overview.body("nothing"), nullptr);

    const auto rail =
        std::find_if(overview.interactions.begin(), overview.interactions.end(),
                     [](const auto& interaction) { return interaction.name == "rail"; });
    ASSERT_NE(rail, overview.interactions.end());
    EXPECT_EQ(rail->kind, InteractionKind::Prismatic);
    ASSERT_TRUE(rail->range);
    EXPECT_EQ(rail->range->name, "rail_range");
    ASSERT_TRUE(rail->initialValue);
    // 0 lies outside the range: the initial value is its nearer bound.
    EXPECT_DOUBLE_EQ(*rail->initialValue, 0.25);
    ASSERT_TRUE(rail->actuator);
    EXPECT_EQ(rail->actuator->name, "rail_actuator");
}

// ---------------------------------------------------------------------------------------------
// The structure the overview reads from a document, checked against urdfdom's reading of the same
// file

std::optional<InteractionKind> expectedKind(const urdf::Joint& joint) {
    switch (joint.type) {
        case urdf::Joint::REVOLUTE:
        case urdf::Joint::CONTINUOUS:
            return InteractionKind::Hinge;
        case urdf::Joint::PRISMATIC:
            return InteractionKind::Prismatic;
        case urdf::Joint::FIXED:
            return InteractionKind::Lock;
        default:
            return std::nullopt;
    }
}

// A link without inertial data gets a mass from a kinematic lock exactly when a fixed joint
// holds it (in a link tree, which every valid corpus file is).
bool heldByFixedJoint(const urdf::ModelInterface& robot, const std::string& link) {
    return std::any_of(robot.joints_.begin(), robot.joints_.end(), [&](const auto& entry) {
        const urdf::Joint& joint = *entry.second;
        return joint.type == urdf::Joint::FIXED &&
               (joint.parent_link_name == link || joint.child_link_name == link);
    });
}

void expectOverviewFollowsUrdfdom(const ModelOverview& overview,
                                  const urdf::ModelInterface& robot) {
    ASSERT_EQ(overview.bodies.size(), robot.links_.size());
    for (const auto& body : overview.bodies) {
        SCOPED_TRACE("body " + body.name);
        const auto link = robot.links_.find(body.name);
        ASSERT_NE(link, robot.links_.end());
        const bool inertial = bool(link->second->inertial);
        EXPECT_EQ(body.ownMass, inertial);
        EXPECT_EQ(body.withoutAnyMass(), !inertial && !heldByFixedJoint(robot, body.name));
    }
    std::map<std::string, const InteractionOverview*> interactions;
    for (const auto& interaction : overview.interactions) {
        interactions[interaction.name] = &interaction;
    }
    std::size_t mapped = 0;
    for (const auto& [name, joint] : robot.joints_) {
        SCOPED_TRACE("joint " + name);
        const auto kind = expectedKind(*joint);
        if (!kind) continue;
        ++mapped;
        const std::string modelName = robot.links_.contains(name) ? "joint_" + name : name;
        const auto found = interactions.find(modelName);
        ASSERT_NE(found, interactions.end());
        EXPECT_EQ(found->second->kind, *kind);
        EXPECT_EQ(found->second->parentBody, joint->parent_link_name);
        EXPECT_EQ(found->second->childBody, joint->child_link_name);
    }
    EXPECT_EQ(overview.interactions.size(), mapped);
}

TEST(ModelOverviewStructure, OneOfEverythingReadsAsUrdfdomSeesIt) {
    const LogCapture quiet;
    const std::string text = readFile(oneOfEverything);
    const auto document = importUrdf(text);
    ASSERT_TRUE(document);
    const ModelOverview overview = readModelOverview(*document);
    EXPECT_EQ(overview.modelName, "everything");
    expectOverviewFollowsUrdfdom(overview, *corvane::Plugins::Urdf::ParsedUrdf(text));

    const GeometryCounts oneOfEach{{"box", 1}, {"cylinder", 1}, {"mesh", 1}, {"sphere", 1}};
    const auto base = std::find_if(overview.bodies.begin(), overview.bodies.end(),
                                   [](const auto& body) { return body.name == "base"; });
    ASSERT_NE(base, overview.bodies.end());
    EXPECT_EQ(base->contactCounts, oneOfEach);
    EXPECT_EQ(base->visualCounts, oneOfEach);
    EXPECT_EQ(overview.ranges, 3u);
    EXPECT_EQ(overview.actuators, 3u);
    ASSERT_EQ(overview.locks.size(), 1u);
    EXPECT_EQ(overview.locks[0].name, "arm_tool_kinematic_lock");
    EXPECT_EQ(overview.locks[0].bodies, (std::vector<std::string>{"arm", "tool"}));
}

TEST(ModelOverviewStructure, EveryValidCorpusRobotReadsAsUrdfdomSeesIt) {
    CORVANE_SKIP_WITHOUT_CORPUS();
    const LogCapture quiet;
    for (const auto& file : corpusFiles("valid")) {
        SCOPED_TRACE(file.filename().string());
        const std::string text = readFile(file);
        const auto document = importUrdf(text);
        ASSERT_TRUE(document);
        const corvane::Plugins::Urdf::ParsedUrdf robot(text);
        ASSERT_TRUE(robot);
        expectOverviewFollowsUrdfdom(readModelOverview(*document), *robot);
    }
}

}  // namespace
