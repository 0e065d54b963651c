// Links as rigid bodies: the body declaration, its mass members, and its contact and visual
// geometries with their names, kinds, members and the cylinder axis correction.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "TestSupport.hpp"
#include "UrdfText.hpp"

using namespace corvane;
using namespace corvane::testing;

namespace {

using PathValues = std::vector<std::pair<std::string, std::string>>;

// Each member of `node` as (dotted target path, constant lexeme or "-").
PathValues membersOf(const VarAssignment& node) {
    PathValues result;
    for (const auto& member : node.members()) {
        result.emplace_back(targetPath(*member), constantLexeme(*member).value_or("-"));
    }
    return result;
}

std::vector<std::string> memberPathsOf(const VarAssignment& node) {
    std::vector<std::string> result;
    for (const auto& member : node.members()) result.push_back(targetPath(*member));
    return result;
}

VarAssignmentPtr importedBody(const std::string& urdf, const std::string& link) {
    const auto model = modelOf(importUrdf(urdf));
    if (!model) return nullptr;
    auto body = findMember(*model, {link});
    EXPECT_TRUE(body) << "no body " << link;
    return body;
}

// Only the geometry declarations of a body (members that declare a type), as (name, type).
std::vector<std::pair<std::string, std::string>> geometriesOf(const VarAssignment& body) {
    std::vector<std::pair<std::string, std::string>> result;
    for (const auto& member : body.members()) {
        if (member->declaresType()) result.emplace_back(targetPath(*member), typePath(*member));
    }
    return result;
}

std::string collision(const std::string& name, const std::string& geometry,
                      const std::string& origin = "") {
    return "<collision name=\"" + name + "\">" + origin + "<geometry>" + geometry +
           "</geometry></collision>";
}

std::string visual(const std::string& name, const std::string& geometry,
                   const std::string& origin = "") {
    return "<visual name=\"" + name + "\">" + origin + "<geometry>" + geometry +
           "</geometry></visual>";
}

const std::string kSphere = "<sphere radius=\"0.5\"/>";

const PathValues kIdentityTransform = {
    {"local_transform.position.x", "0.0000000000"}, {"local_transform.position.y", "0.0000000000"},
    {"local_transform.position.z", "0.0000000000"}, {"local_transform.rotation.x", "0.0000000000"},
    {"local_transform.rotation.y", "0.0000000000"}, {"local_transform.rotation.z", "0.0000000000"},
    {"local_transform.rotation.w", "1.0000000000"}};

PathValues withTransform(const PathValues& transform, const PathValues& shape) {
    PathValues all = transform;
    all.insert(all.end(), shape.begin(), shape.end());
    return all;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Bodies and mass properties

TEST(RigidBody, IsATypedDeclarationNamedAfterItsLink) {
    const auto body = importedBody(robot(link("base_link")), "base_link");
    ASSERT_TRUE(body);
    EXPECT_EQ(body->startToken(), Token::placeholder());
    EXPECT_EQ(body->target(), std::vector<Token>{Token::identifier("base_link")});
    EXPECT_EQ(body->isToken(), Token::keywordIs());
    EXPECT_EQ(body->type(),
              (std::vector<Token>{Token::identifier("Physics3D"), Token::identifier("Bodies"),
                                  Token::identifier("RigidBody")}));
    EXPECT_EQ(body->endToken(), Token::placeholder());
    EXPECT_FALSE(body->value());
    EXPECT_TRUE(body->members().empty()) << "no inertial data and no geometry";
}

TEST(RigidBody, CarriesCentreOfMassFrameMassAndTensorInOrder) {
    // Distinct tensor entries, so that a swapped row or column shows.
    // clang-format off
    const std::string urdf = robot(linkWith("base", R"(
      <inertial>
        <origin xyz="0.1 -0.2 0.3" rpy="0 0 1.5707963267948966"/>
        <mass value="2.5"/>
        <inertia ixx="1" ixy="0.5" ixz="-3" iyy="4" iyz="5e-3" izz="6"/>
      </inertial>)"));
    // clang-format on
    const auto body = importedBody(urdf, "base");
    ASSERT_TRUE(body);
    const PathValues expected = {
        {"kinematics.local_cm_transform.position.x", "0.1000000000"},
        {"kinematics.local_cm_transform.position.y", "-0.2000000000"},
        {"kinematics.local_cm_transform.position.z", "0.3000000000"},
        {"kinematics.local_cm_transform.rotation.x", "0.0000000000"},
        {"kinematics.local_cm_transform.rotation.y", "0.0000000000"},
        {"kinematics.local_cm_transform.rotation.z", "0.7071067812"},
        {"kinematics.local_cm_transform.rotation.w", "0.7071067812"},
        {"inertia.mass", "2.5000000000"},
        {"inertia.tensor.e00", "1.0000000000"},
        {"inertia.tensor.e11", "4.0000000000"},
        {"inertia.tensor.e22", "6.0000000000"},
        {"inertia.tensor.e01", "0.5000000000"},
        {"inertia.tensor.e10", "0.5000000000"},
        {"inertia.tensor.e02", "-3.0000000000"},
        {"inertia.tensor.e20", "-3.0000000000"},
        {"inertia.tensor.e12", "0.0050000000"},
        {"inertia.tensor.e21", "0.0050000000"},
    };
    EXPECT_EQ(membersOf(*body), expected);
    for (const auto& member : body->members()) {
        EXPECT_FALSE(member->declaresType()) << targetPath(*member);
        EXPECT_TRUE(member->members().empty()) << targetPath(*member);
    }
}

TEST(RigidBody, InertialWithoutOriginGivesTheIdentityFrame) {
    const auto body = importedBody(robot(linkWith("l", unitInertial())), "l");
    ASSERT_TRUE(body);
    const auto members = membersOf(*body);
    ASSERT_EQ(members.size(), 17u);
    EXPECT_EQ(PathValues(members.begin(), members.begin() + 7),
              (PathValues{{"kinematics.local_cm_transform.position.x", "0.0000000000"},
                          {"kinematics.local_cm_transform.position.y", "0.0000000000"},
                          {"kinematics.local_cm_transform.position.z", "0.0000000000"},
                          {"kinematics.local_cm_transform.rotation.x", "0.0000000000"},
                          {"kinematics.local_cm_transform.rotation.y", "0.0000000000"},
                          {"kinematics.local_cm_transform.rotation.z", "0.0000000000"},
                          {"kinematics.local_cm_transform.rotation.w", "1.0000000000"}}));
}

TEST(RigidBody, WithoutInertialDataHoldsOnlyItsGeometries) {
    const auto body =
        importedBody(robot(linkWith("l", collision("", kSphere) + visual("", kSphere))), "l");
    ASSERT_TRUE(body);
    EXPECT_EQ(memberPathsOf(*body),
              (std::vector<std::string>{"contact_geometry", "visual_geometry"}));
}

TEST(RigidBody, MassMembersComeBeforeContactThenVisualGeometries) {
    // Visual written first in the file: contact geometries still come first.
    const auto body = importedBody(
        robot(linkWith("l", visual("v", kSphere) + collision("c", kSphere) + unitInertial())), "l");
    ASSERT_TRUE(body);
    const auto paths = memberPathsOf(*body);
    ASSERT_EQ(paths.size(), 19u);
    EXPECT_EQ(paths[7], "inertia.mass");
    EXPECT_EQ(paths[17], "c");
    EXPECT_EQ(paths[18], "v");
}

TEST(RigidBody, DottedLinkNameIsOneSegmentWhereverTheBodyIsAddressed) {
    // clang-format off
    const std::string urdf = R"(
<robot name="spot">
  <link name="body"><inertial><mass value="1"/><inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial></link>
  <link name="fl.hip"><collision><geometry><sphere radius="0.1"/></geometry></collision></link>
  <joint name="mount" type="fixed"><parent link="body"/><child link="fl.hip"/></joint>
</robot>)";
    // clang-format on
    const auto model = modelOf(importUrdf(urdf));
    ASSERT_TRUE(model);
    const auto hip = findMember(*model, {"fl.hip"});
    ASSERT_TRUE(hip) << "the body of fl.hip must be one target segment";
    EXPECT_FALSE(findMember(*model, {"fl", "hip"}));
    const auto hipGeometries = geometriesOf(*hip);
    ASSERT_FALSE(hipGeometries.empty());
    EXPECT_EQ(hipGeometries.front(), (std::pair<std::string, std::string>{
                                         "contact_geometry", "Physics3D.Geometries.Sphere"}));

    const auto lock = findMember(*model, {"mount"});
    ASSERT_TRUE(lock);
    const auto connectors = findMember(*lock, {"connectors"});
    ASSERT_TRUE(connectors && connectors->value());
    ASSERT_EQ(connectors->value()->expressionKind(), Expression::Kind::Array);
    const auto& references = std::static_pointer_cast<Array>(connectors->value())->elements();
    ASSERT_EQ(references.size(), 2u);
    ASSERT_TRUE(references[1]);
    ASSERT_EQ(references[1]->expressionKind(), Expression::Kind::Reference);
    EXPECT_EQ(std::static_pointer_cast<Reference>(references[1])->segments(),
              (std::vector<std::string>{"fl.hip", "mount_mc"}));

    // The massless hip rides on body: its negligible mass addresses the body whole.
    const auto mass = findMember(*model, {"fl.hip", "inertia", "mass"});
    ASSERT_TRUE(mass);
    EXPECT_EQ(constantLexeme(*mass), "0.00000000000001");
}

// ---------------------------------------------------------------------------------------------
// Geometry names

TEST(GeometryName, UnnamedElementsAreNumberedPerDefaultName) {
    const auto body =
        importedBody(robot(linkWith("l", collision("", kSphere) + collision("", kSphere) +
                                             collision("", kSphere) + visual("", kSphere) +
                                             visual("", kSphere))),
                     "l");
    ASSERT_TRUE(body);
    EXPECT_EQ(
        memberPathsOf(*body),
        (std::vector<std::string>{"contact_geometry", "contact_geometry_1", "contact_geometry_2",
                                  "visual_geometry", "visual_geometry_1"}));
}

TEST(GeometryName, CollisionAndVisualOfOneLinkShareTheCount) {
    const auto body =
        importedBody(robot(linkWith("l", collision("shell", kSphere) + visual("shell", kSphere) +
                                             visual("shell", kSphere))),
                     "l");
    ASSERT_TRUE(body);
    EXPECT_EQ(geometriesOf(*body), (std::vector<std::pair<std::string, std::string>>{
                                       {"shell", "Physics3D.Geometries.Sphere"},
                                       {"shell_1", "Visuals.Geometries.Sphere"},
                                       {"shell_2", "Visuals.Geometries.Sphere"}}));
}

TEST(GeometryName, EachLinkCountsOnItsOwn) {
    // clang-format off
    const std::string urdf = robot(
        linkWith("a", collision("shell", kSphere) + visual("", kSphere)) +
        linkWith("b", collision("shell", kSphere) + visual("", kSphere)) +
        R"(<joint name="j" type="continuous"><parent link="a"/><child link="b"/></joint>)");
    // clang-format on
    const auto model = modelOf(importUrdf(urdf));
    ASSERT_TRUE(model);
    for (const std::string link : {"a", "b"}) {
        const auto body = findMember(*model, {link});
        ASSERT_TRUE(body);
        EXPECT_EQ(geometriesOf(*body).size(), 3u) << "two geometries and one connector";
        ASSERT_GE(body->members().size(), 2u) << link;
        EXPECT_EQ(targetPath(*body->members()[0]), "shell") << link;
        EXPECT_EQ(targetPath(*body->members()[1]), "visual_geometry") << link;
    }
}

TEST(GeometryName, GivenNamesThatClashWithGeneratedOnesStayUnique) {
    const auto body =
        importedBody(robot(linkWith("l", collision("a", kSphere) + collision("a", kSphere) +
                                             collision("a_1", kSphere))),
                     "l");
    ASSERT_TRUE(body);
    EXPECT_EQ(memberPathsOf(*body), (std::vector<std::string>{"a", "a_1", "a_1_1"}));
}

TEST(GeometryName, GeneratedNamesSkipNamesGivenEarlierAcrossPasses) {
    // The collision takes a_1; the second visual a would be a_1 by count and moves on to a_2, and
    // the next a goes on from there.
    const auto body =
        importedBody(robot(linkWith("l", collision("a_1", kSphere) + visual("a", kSphere) +
                                             visual("a", kSphere) + visual("a", kSphere))),
                     "l");
    ASSERT_TRUE(body);
    EXPECT_EQ(memberPathsOf(*body), (std::vector<std::string>{"a_1", "a", "a_2", "a_3"}));
}

TEST(GeometryName, DottedNameIsOneSegment) {
    const auto body = importedBody(
        robot(linkWith("l", collision("lid.top", kSphere) + visual("lid.top", kSphere))), "l");
    ASSERT_TRUE(body);
    ASSERT_EQ(body->members().size(), 2u);
    EXPECT_EQ(body->members()[0]->target(), std::vector<Token>{Token::identifier("lid.top")});
    EXPECT_EQ(body->members()[1]->target(), std::vector<Token>{Token::identifier("lid.top_1")});
}

// ---------------------------------------------------------------------------------------------
// Geometry kinds and members

TEST(GeometryKind, SphereHasTransformThenRadius) {
    const auto body = importedBody(robot(linkWith("l", collision("", kSphere))), "l");
    ASSERT_TRUE(body);
    const auto& sphere = body->members().at(0);
    EXPECT_EQ(sphere->isToken(), Token::keywordIs());
    EXPECT_FALSE(sphere->value());
    EXPECT_EQ(typePath(*sphere), "Physics3D.Geometries.Sphere");
    EXPECT_EQ(membersOf(*sphere), withTransform(kIdentityTransform, {{"radius", "0.5000000000"}}));
}

TEST(GeometryKind, BoxHasFullEdgeLengths) {
    const auto body = importedBody(robot(linkWith("l", collision("", R"(<box size="1 2 3"/>)") +
                                                           visual("", R"(<box size="1 2 3"/>)"))),
                                   "l");
    ASSERT_TRUE(body);
    const PathValues expected = withTransform(
        kIdentityTransform,
        {{"size.x", "1.0000000000"}, {"size.y", "2.0000000000"}, {"size.z", "3.0000000000"}});
    EXPECT_EQ(typePath(*body->members().at(0)), "Physics3D.Geometries.Box");
    EXPECT_EQ(typePath(*body->members().at(1)), "Visuals.Geometries.Box");
    EXPECT_EQ(membersOf(*body->members().at(0)), expected);
    EXPECT_EQ(membersOf(*body->members().at(1)), expected);
}

TEST(GeometryKind, CylinderIsTurnedAQuarterAboutXWithTheFourDecimalConstant) {
    const auto body = importedBody(
        robot(linkWith("l", collision("", R"(<cylinder radius="0.05" length="0.4"/>)") +
                                visual("", R"(<cylinder radius="0.05" length="0.4"/>)"))),
        "l");
    ASSERT_TRUE(body);
    const PathValues expected = {{"local_transform.position.x", "0.0000000000"},
                                 {"local_transform.position.y", "0.0000000000"},
                                 {"local_transform.position.z", "0.0000000000"},
                                 {"local_transform.rotation.x", "0.7071000000"},
                                 {"local_transform.rotation.y", "0.0000000000"},
                                 {"local_transform.rotation.z", "0.0000000000"},
                                 {"local_transform.rotation.w", "0.7071000000"},
                                 {"radius", "0.0500000000"},
                                 {"height", "0.4000000000"}};
    EXPECT_EQ(typePath(*body->members().at(0)), "Physics3D.Geometries.Cylinder");
    EXPECT_EQ(typePath(*body->members().at(1)), "Visuals.Geometries.Cylinder");
    EXPECT_EQ(membersOf(*body->members().at(0)), expected);
    EXPECT_EQ(membersOf(*body->members().at(1)), expected);
}

TEST(GeometryKind, CylinderCorrectionComposesWithTheOriginRotationUnnormalised) {
    // A quarter turn about z, q = (0, 0, s, s) with s = sin(pi/4): q (x) (0.7071, 0, 0, 0.7071)
    // is (0.7071 s, 0.7071 s, 0.7071 s, 0.7071 s), each 0.49999... and not normalised.
    const auto body = importedBody(
        robot(linkWith("l", collision("", R"(<cylinder radius="1" length="2"/>)",
                                      R"(<origin xyz="1 2 3" rpy="0 0 1.5707963267948966"/>)"))),
        "l");
    ASSERT_TRUE(body);
    const PathValues expected = {{"local_transform.position.x", "1.0000000000"},
                                 {"local_transform.position.y", "2.0000000000"},
                                 {"local_transform.position.z", "3.0000000000"},
                                 {"local_transform.rotation.x", "0.4999952050"},
                                 {"local_transform.rotation.y", "0.4999952050"},
                                 {"local_transform.rotation.z", "0.4999952050"},
                                 {"local_transform.rotation.w", "0.4999952050"},
                                 {"radius", "1.0000000000"},
                                 {"height", "2.0000000000"}};
    EXPECT_EQ(membersOf(*body->members().at(0)), expected);
}

TEST(GeometryKind, MeshHasPathFirstAndScaleLastDefaultingToOne) {
    const auto body = importedBody(
        robot(linkWith("l", collision("", R"(<mesh filename="package://r/meshes/l.stl"/>)") +
                                visual("", R"(<mesh filename="l.dae" scale="0.001 0.002 0.003"/>)",
                                       R"(<origin xyz="0 0 0" rpy="0 0 0"/>)"))),
        "l");
    ASSERT_TRUE(body);
    ASSERT_EQ(body->members().size(), 2u);
    const auto& contact = body->members()[0];
    const auto& seen = body->members()[1];
    EXPECT_EQ(typePath(*contact), "Physics3D.Geometries.ExternalTriMeshGeometry");
    EXPECT_EQ(typePath(*seen), "Visuals.Geometries.ExternalTriMeshGeometry");

    PathValues expectedContact = {{"path", R"("package://r/meshes/l.stl")"}};
    expectedContact.insert(expectedContact.end(), kIdentityTransform.begin(),
                           kIdentityTransform.end());
    expectedContact.insert(
        expectedContact.end(),
        {{"scale.x", "1.0000000000"}, {"scale.y", "1.0000000000"}, {"scale.z", "1.0000000000"}});
    EXPECT_EQ(membersOf(*contact), expectedContact);

    const auto seenMembers = membersOf(*seen);
    ASSERT_EQ(seenMembers.size(), 11u);
    EXPECT_EQ(seenMembers.front(), (std::pair<std::string, std::string>{"path", R"("l.dae")"}));
    EXPECT_EQ(PathValues(seenMembers.end() - 3, seenMembers.end()),
              (PathValues{{"scale.x", "0.0010000000"},
                          {"scale.y", "0.0020000000"},
                          {"scale.z", "0.0030000000"}}));
    const auto path = findMember(*contact, {"path"});
    ASSERT_TRUE(path);
    const auto pathToken = constantToken(*path);
    ASSERT_TRUE(pathToken);
    EXPECT_EQ(pathToken->kind, TokenKind::StringLiteral);
}

TEST(GeometryKind, OriginReachesSpheresBoxesAndMeshesUnchanged) {
    // rpy 0 0 pi/2: the rotation members are the quaternion itself, no quarter turn added.
    const std::string origin = R"(<origin xyz="0.5 -1 2" rpy="0 0 1.5707963267948966"/>)";
    const auto body = importedBody(
        robot(linkWith("l", "<collision><geometry>" + kSphere + "</geometry>" + origin +
                                "</collision><visual>" + origin +
                                R"(<geometry><box size="1 1 1"/></geometry></visual>)")),
        "l");
    ASSERT_TRUE(body);
    const PathValues transform = {{"local_transform.position.x", "0.5000000000"},
                                  {"local_transform.position.y", "-1.0000000000"},
                                  {"local_transform.position.z", "2.0000000000"},
                                  {"local_transform.rotation.x", "0.0000000000"},
                                  {"local_transform.rotation.y", "0.0000000000"},
                                  {"local_transform.rotation.z", "0.7071067812"},
                                  {"local_transform.rotation.w", "0.7071067812"}};
    for (const auto& geometry : body->members()) {
        const auto members = membersOf(*geometry);
        ASSERT_GE(members.size(), 7u);
        EXPECT_EQ(PathValues(members.begin(), members.begin() + 7), transform)
            << targetPath(*geometry);
    }
}

TEST(GeometryKind, MaterialsAndColoursAddNothing) {
    const auto plain = importedBody(robot(linkWith("l", visual("v", kSphere))), "l");
    const auto coloured =
        importedBody(robot(R"(<material name="red"><color rgba="1 0 0 1"/></material>)" +
                           linkWith("l", R"(<visual name="v"><geometry>)" + kSphere +
                                             R"(</geometry><material name="red"/></visual>)")),
                     "l");
    ASSERT_TRUE(plain && coloured);
    EXPECT_EQ(membersOf(*coloured->members().at(0)), membersOf(*plain->members().at(0)));
}
