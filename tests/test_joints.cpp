// Joints as interactions between mate connectors, with their ranges, actuators and initial
// values, and the messages logged for joints that cannot be mapped as they stand.
#include <gtest/gtest.h>
#include <urdf_model/pose.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.hpp"
#include "UrdfText.hpp"

using namespace corvane;
using namespace corvane::testing;

namespace {

using PathValues = std::vector<std::pair<std::string, std::string>>;
using Level = spdlog::level::level_enum;

struct ExpectedLog {
    Level level;
    std::string message;
};

// Every test runs with a capturing logger. A test that expects messages states them all; any
// message a test does not expect fails it.
class JointMapping : public ::testing::Test {
  protected:
    void TearDown() override {
        if (logsChecked_) return;
        for (const auto& entry : log_.entries()) {
            ADD_FAILURE() << "unexpected log message: " << entry.message;
        }
    }

    void expectLogs(const std::vector<ExpectedLog>& expected) {
        logsChecked_ = true;
        const auto entries = log_.entries();
        ASSERT_EQ(entries.size(), expected.size()) << describe(entries);
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(entries[i].level, expected[i].level) << entries[i].message;
            EXPECT_EQ(entries[i].message, expected[i].message);
            EXPECT_EQ(entries[i].function, "mapJoint") << entries[i].message;
        }
    }

    ModelDeclarationPtr import(const std::string& urdf) {
        auto model = modelOf(importUrdf(urdf));
        EXPECT_TRUE(model);
        return model;
    }

  private:
    static std::string describe(const std::vector<LogCapture::Entry>& entries) {
        std::ostringstream text;
        for (const auto& entry : entries) text << "\n  logged: " << entry.message;
        return text.str();
    }

    LogCapture log_;
    bool logsChecked_ = false;
};

PathValues membersOf(const VarAssignment& node) {
    PathValues result;
    for (const auto& member : node.members()) {
        result.emplace_back(targetPath(*member), constantLexeme(*member).value_or("-"));
    }
    return result;
}

std::vector<std::string> memberPaths(const ModelDeclaration& model) {
    std::vector<std::string> paths;
    for (const auto& node : assignments(model)) paths.push_back(targetPath(*node));
    return paths;
}

// The members joints added to a body: everything from its first connector declaration on.
PathValues connectorMembersOf(const VarAssignment& body) {
    const PathValues all = membersOf(body);
    std::size_t first = 0;
    while (first < all.size() &&
           typePath(*body.members()[first]) != "Physics3D.Interactions.MateConnector") {
        ++first;
    }
    return PathValues(all.begin() + static_cast<std::ptrdiff_t>(first), all.end());
}

// The model member at `path`, never null: without the model or the member the test fails here
// (see requireMember).
VarAssignmentPtr memberOf(const ModelDeclarationPtr& model, const std::vector<std::string>& path) {
    if (!model) throw std::out_of_range("no model to hold " + path.front());
    return requireMember(*model, path);
}

struct Vec {
    double x;
    double y;
    double z;
};

double parseLexeme(const VarAssignment& body, const std::vector<std::string>& path) {
    const auto member = findMember(body, path);
    EXPECT_TRUE(member) << "missing " << path.front() << "." << path[1] << "." << path.back();
    if (!member) return std::nan("");
    return std::strtod(constantLexeme(*member).value_or("nan").c_str(), nullptr);
}

Vec vectorAt(const VarAssignment& body, const std::string& connector,
             const std::string& attribute) {
    return {parseLexeme(body, {connector, attribute, "x"}),
            parseLexeme(body, {connector, attribute, "y"}),
            parseLexeme(body, {connector, attribute, "z"})};
}

double dot(const Vec& a, const Vec& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
double norm(const Vec& a) {
    return std::sqrt(dot(a, a));
}

Vec rotated(const urdf::Rotation& rotation, const Vec& v) {
    const urdf::Vector3 result = rotation * urdf::Vector3(v.x, v.y, v.z);
    return {result.x, result.y, result.z};
}

urdf::Rotation fromRpy(double roll, double pitch, double yaw) {
    urdf::Rotation rotation;
    rotation.setFromRPY(roll, pitch, yaw);
    return rotation;
}

void expectNear(const Vec& actual, const Vec& expected, double tolerance, const std::string& what) {
    EXPECT_NEAR(actual.x, expected.x, tolerance) << what;
    EXPECT_NEAR(actual.y, expected.y, tolerance) << what;
    EXPECT_NEAR(actual.z, expected.z, tolerance) << what;
}

std::vector<std::string> referenceSegments(const ExpressionPtr& expression) {
    if (!expression || expression->expressionKind() != Expression::Kind::Reference) return {};
    return std::static_pointer_cast<Reference>(expression)->segments();
}

std::shared_ptr<Array> connectorsArray(const VarAssignment& declaration) {
    const auto connectors = findMember(declaration, {"connectors"});
    if (!connectors || !connectors->value() ||
        connectors->value()->expressionKind() != Expression::Kind::Array) {
        return nullptr;
    }
    return std::static_pointer_cast<Array>(connectors->value());
}

// A robot whose links all have inertial data (so no kinematic lock is added), and `joints`.
std::string robotWith(const std::vector<std::string>& links, const std::string& joints) {
    std::string body;
    for (const auto& name : links) body += linkWithMass(name);
    return robot(body + joints);
}

std::string limit(const std::string& lower, const std::string& upper, const std::string& effort) {
    return "<limit lower=\"" + lower + "\" upper=\"" + upper + "\" effort=\"" + effort +
           "\" velocity=\"2\"/>";
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Connectors and interactions

TEST_F(JointMapping, DeclaresOneMateConnectorInEachBody) {
    const auto model =
        import(robotWith({"base", "arm"}, joint("j1", "revolute", "base", "arm",
                                                R"(<origin xyz="0 0 0.5"/><axis xyz="0 0 1"/>)" +
                                                    limit("-1", "1", "10"))));
    for (const std::string link : {"base", "arm"}) {
        const auto body = memberOf(model, {link});
        ASSERT_TRUE(body);
        const auto connector = findMember(*body, {"j1_mc"});
        ASSERT_TRUE(connector) << link;
        EXPECT_EQ(connector->startToken(), Token::placeholder());
        EXPECT_EQ(connector->target(), std::vector<Token>{Token::identifier("j1_mc")});
        EXPECT_EQ(connector->isToken(), (Token{21, "is", 0, 0}));
        EXPECT_EQ(connector->type(), (std::vector<Token>{Token::identifier("Physics3D"),
                                                         Token::identifier("Interactions"),
                                                         Token::identifier("MateConnector")}));
        EXPECT_EQ(connector->endToken(), Token::placeholder());
        EXPECT_TRUE(connector->annotations().empty());
        EXPECT_TRUE(connector->members().empty());
        EXPECT_FALSE(connector->value());
    }
}

TEST_F(JointMapping, PlacesTheParentConnectorAndLeavesTheChildUnrotated) {
    const auto model =
        import(robotWith({"base", "arm"}, joint("j1", "revolute", "base", "arm",
                                                R"(<origin xyz="0 0 0.5"/><axis xyz="0 0 1"/>)" +
                                                    limit("-1", "1", "10"))));
    const auto base = memberOf(model, {"base"});
    const auto arm = memberOf(model, {"arm"});
    ASSERT_TRUE(base && arm);

    const auto baseMembers = connectorMembersOf(*base);
    ASSERT_EQ(baseMembers.size(), 10u);
    const PathValues parentFrame = {{"j1_mc", "-"},
                                    {"j1_mc.position.x", "0.0000000000"},
                                    {"j1_mc.position.y", "0.0000000000"},
                                    {"j1_mc.position.z", "0.5000000000"},
                                    {"j1_mc.main_axis.x", "0.0000000000"},
                                    {"j1_mc.main_axis.y", "0.0000000000"},
                                    {"j1_mc.main_axis.z", "1.0000000000"}};
    EXPECT_EQ(PathValues(baseMembers.begin(), baseMembers.begin() + 7), parentFrame);
    EXPECT_EQ(baseMembers[7].first, "j1_mc.normal.x");
    EXPECT_EQ(baseMembers[8].first, "j1_mc.normal.y");
    EXPECT_EQ(baseMembers[9].first, "j1_mc.normal.z");

    const auto armMembers = connectorMembersOf(*arm);
    ASSERT_EQ(armMembers.size(), 7u);
    const PathValues childFrame = {{"j1_mc", "-"},
                                   {"j1_mc.main_axis.x", "0.0000000000"},
                                   {"j1_mc.main_axis.y", "0.0000000000"},
                                   {"j1_mc.main_axis.z", "1.0000000000"}};
    EXPECT_EQ(PathValues(armMembers.begin(), armMembers.begin() + 4), childFrame);
    EXPECT_EQ(armMembers[4].first, "j1_mc.normal.x");
    EXPECT_EQ(armMembers[5].first, "j1_mc.normal.y");
    EXPECT_EQ(armMembers[6].first, "j1_mc.normal.z");
    // Without a rotation in the origin, both sides carry the very same normal.
    const Vec normal = vectorAt(*arm, "j1_mc", "normal");
    expectNear(vectorAt(*base, "j1_mc", "normal"), normal, 0, "parent normal");
    EXPECT_NEAR(norm(normal), 1.0, 1e-9);
    EXPECT_NEAR(normal.z, 0.0, 1e-9);
}

TEST_F(JointMapping, InteractionRefersToBothConnectors) {
    const auto model = import(robotWith(
        {"base", "arm"}, joint("j1", "continuous", "base", "arm", R"(<axis xyz="0 1 0"/>)")));
    const auto hinge = memberOf(model, {"j1"});
    ASSERT_TRUE(hinge);
    EXPECT_EQ(hinge->isToken(), Token::keywordIs());
    EXPECT_EQ(typePath(*hinge), "Physics3D.Interactions.Hinge");
    EXPECT_FALSE(hinge->value());
    ASSERT_EQ(hinge->members().size(), 1u);

    const auto& connectors = hinge->members().front();
    EXPECT_EQ(connectors->target(), std::vector<Token>{Token::identifier("connectors")});
    EXPECT_EQ(connectors->isToken(), Token::placeholder());
    EXPECT_TRUE(connectors->type().empty());
    EXPECT_TRUE(connectors->members().empty());
    const auto array = connectorsArray(*hinge);
    ASSERT_TRUE(array);
    EXPECT_EQ(array->openToken(), Token::placeholder());
    EXPECT_EQ(array->closeToken(), Token::placeholder());
    ASSERT_EQ(array->elements().size(), 2u);
    EXPECT_EQ(referenceSegments(array->elements()[0]), (std::vector<std::string>{"base", "j1_mc"}));
    EXPECT_EQ(referenceSegments(array->elements()[1]), (std::vector<std::string>{"arm", "j1_mc"}));
    // A continuous joint without limits: the interaction alone.
    EXPECT_EQ(memberPaths(*model), (std::vector<std::string>{"arm", "base", "j1"}));
}

TEST_F(JointMapping, EachJointTypeGetsItsInteractionType) {
    // clang-format off
    const auto model = import(robotWith({"a", "b", "c", "d", "e"},
        joint("hinge", "revolute", "a", "b", limit("0", "1", "1")) +
        joint("wheel", "continuous", "a", "c") +
        joint("slide", "prismatic", "a", "d", limit("0", "1", "1")) +
        joint("weld", "fixed", "a", "e")));
    // clang-format on
    ASSERT_TRUE(model);
    EXPECT_EQ(typePath(*memberOf(model, {"hinge"})), "Physics3D.Interactions.Hinge");
    EXPECT_EQ(typePath(*memberOf(model, {"wheel"})), "Physics3D.Interactions.Hinge");
    EXPECT_EQ(typePath(*memberOf(model, {"slide"})), "Physics3D.Interactions.Prismatic");
    EXPECT_EQ(typePath(*memberOf(model, {"weld"})), "Physics3D.Interactions.Lock");
    EXPECT_TRUE(findMember(*model, {"hinge", "initial_angle"}));
    EXPECT_TRUE(findMember(*model, {"slide", "initial_position"}));
}

TEST_F(JointMapping, TwoJointsBetweenTheSameLinksKeepTheirOwnConnectors) {
    const auto model = import(robotWith(
        {"base", "arm"}, joint("first", "fixed", "base", "arm") +
                             joint("second", "fixed", "base", "arm", R"(<origin xyz="1 0 0"/>)")));
    ASSERT_TRUE(model);
    EXPECT_EQ(memberPaths(*model), (std::vector<std::string>{"arm", "base", "first", "second"}));
    for (const std::string name : {"first", "second"}) {
        const auto array = connectorsArray(*memberOf(model, {name}));
        ASSERT_TRUE(array);
        EXPECT_EQ(referenceSegments(array->elements().at(0)),
                  (std::vector<std::string>{"base", name + "_mc"}));
        EXPECT_EQ(referenceSegments(array->elements().at(1)),
                  (std::vector<std::string>{"arm", name + "_mc"}));
    }
    const auto base = memberOf(model, {"base"});
    EXPECT_EQ(parseLexeme(*base, {"first_mc", "position", "x"}), 0.0);
    EXPECT_EQ(parseLexeme(*base, {"second_mc", "position", "x"}), 1.0);
    EXPECT_EQ(connectorMembersOf(*base).size(), 20u);
    EXPECT_EQ(connectorMembersOf(*memberOf(model, {"arm"})).size(), 14u);
}

// urdfdom keeps a link that two joints name as their child: each joint puts its connector into
// that link's body, and the parents' bodies keep their own.
TEST_F(JointMapping, ALinkWithTwoParentJointsGetsAConnectorFromEach) {
    const auto model = import(robotWith(
        {"a", "b", "c"}, joint("ab", "fixed", "a", "b") +
                             joint("ac", "continuous", "a", "c", R"(<axis xyz="0 1 0"/>)") +
                             joint("bc", "continuous", "b", "c", R"(<axis xyz="0 0 1"/>)")));
    ASSERT_TRUE(model);
    const auto c = memberOf(model, {"c"});
    ASSERT_TRUE(c);
    EXPECT_EQ(parseLexeme(*c, {"ac_mc", "main_axis", "y"}), 1.0);
    EXPECT_EQ(parseLexeme(*c, {"bc_mc", "main_axis", "z"}), 1.0);
    EXPECT_EQ(connectorMembersOf(*c).size(), 14u);
    EXPECT_TRUE(findMember(*memberOf(model, {"a"}), {"ac_mc", "position", "x"}));
    EXPECT_TRUE(findMember(*memberOf(model, {"b"}), {"bc_mc", "position", "x"}));
    EXPECT_FALSE(findMember(*memberOf(model, {"a"}), {"bc_mc"}));
}

// ---------------------------------------------------------------------------------------------
// Axes and normals

TEST_F(JointMapping, FixedJointAndZeroAxisUseTheXAxis) {
    // clang-format off
    const auto model = import(robotWith({"a", "b", "c"},
        joint("weld", "fixed", "a", "b", R"(<origin rpy="0 0 1.5707963267948966"/>)") +
        joint("zero", "revolute", "a", "c", R"(<axis xyz="0 0 0"/>)" + limit("0", "1", "1"))));
    // clang-format on
    ASSERT_TRUE(model);
    const auto a = memberOf(model, {"a"});
    const auto b = memberOf(model, {"b"});
    const auto c = memberOf(model, {"c"});
    expectNear(vectorAt(*b, "weld_mc", "main_axis"), {1, 0, 0}, 0, "child of the weld");
    expectNear(vectorAt(*a, "weld_mc", "main_axis"), {0, 1, 0}, 1e-10, "parent of the weld");
    expectNear(vectorAt(*c, "zero_mc", "main_axis"), {1, 0, 0}, 0, "child of the zero axis");
    expectNear(vectorAt(*a, "zero_mc", "main_axis"), {1, 0, 0}, 0, "parent of the zero axis");
    for (const auto& [body, connector] : {std::pair{b, "weld_mc"}, std::pair{c, "zero_mc"}}) {
        const Vec normal = vectorAt(*body, connector, "normal");
        EXPECT_NEAR(norm(normal), 1.0, 1e-9) << connector;
        EXPECT_NEAR(normal.x, 0.0, 1e-10) << connector;
    }
}

TEST_F(JointMapping, OriginRotatesTheParentAxisOnly) {
    const auto model = import(robotWith(
        {"base", "arm"},
        joint("j", "revolute", "base", "arm",
              R"(<origin rpy="0 0 1.5707963"/><axis xyz="1 0 0"/>)" + limit("0", "1", "1"))));
    ASSERT_TRUE(model);
    const auto base = memberOf(model, {"base"});
    const auto arm = memberOf(model, {"arm"});
    EXPECT_EQ(connectorMembersOf(*base).at(4),
              (std::pair<std::string, std::string>{"j_mc.main_axis.x", "0.0000000268"}));
    EXPECT_EQ(connectorMembersOf(*base).at(5),
              (std::pair<std::string, std::string>{"j_mc.main_axis.y", "1.0000000000"}));
    EXPECT_EQ(connectorMembersOf(*base).at(6),
              (std::pair<std::string, std::string>{"j_mc.main_axis.z", "0.0000000000"}));
    expectNear(vectorAt(*arm, "j_mc", "main_axis"), {1, 0, 0}, 0, "child axis");
    const Vec childNormal = vectorAt(*arm, "j_mc", "normal");
    expectNear(vectorAt(*base, "j_mc", "normal"), rotated(fromRpy(0, 0, 1.5707963), childNormal),
               1e-9, "parent normal");
}

TEST_F(JointMapping, AxisKeepsItsLength) {
    const auto model = import(
        robotWith({"base", "arm"}, joint("j", "continuous", "base", "arm",
                                         R"(<origin rpy="0.3 -0.2 0.1"/><axis xyz="0 0 2"/>)")));
    ASSERT_TRUE(model);
    const auto base = memberOf(model, {"base"});
    const auto arm = memberOf(model, {"arm"});
    expectNear(vectorAt(*arm, "j_mc", "main_axis"), {0, 0, 2}, 0, "child axis");
    const Vec parentAxis = vectorAt(*base, "j_mc", "main_axis");
    EXPECT_NEAR(norm(parentAxis), 2.0, 1e-9);
    expectNear(parentAxis, rotated(fromRpy(0.3, -0.2, 0.1), {0, 0, 2}), 1e-9, "parent axis");
    const Vec childNormal = vectorAt(*arm, "j_mc", "normal");
    EXPECT_NEAR(norm(childNormal), 1.0, 1e-9);
    EXPECT_NEAR(childNormal.z, 0.0, 1e-9);
}

TEST_F(JointMapping, NormalIsAUnitVectorOrthogonalToAnyAxis) {
    // Axes of every direction and of extreme lengths: the normal is computed from the axis as
    // given, so very short and very long axes must not lose it to underflow or overflow.
    const std::vector<Vec> axes = {{0, 0, 1},        {0, 1, 0},         {1, 1, 1},
                                   {-0.3, 0.5, 0.8}, {0, -1, 1e-3},     {1e-200, 1e-200, 0},
                                   {0, 3e-170, 0},   {1e200, 1e200, 0}, {-1e300, 0, 1e300}};
    std::string joints;
    std::vector<std::string> links = {"base"};
    for (std::size_t i = 0; i < axes.size(); ++i) {
        std::ostringstream axis;
        axis.precision(17);
        axis << axes[i].x << ' ' << axes[i].y << ' ' << axes[i].z;
        const std::string link = "l" + std::to_string(i);
        links.push_back(link);
        joints += joint("j" + std::to_string(i), "continuous", "base", link,
                        R"(<origin rpy="0.4 0.5 0.6"/><axis xyz=")" + axis.str() + R"("/>)");
    }
    const auto model = import(robotWith(links, joints));
    ASSERT_TRUE(model);
    const auto base = memberOf(model, {"base"});
    for (std::size_t i = 0; i < axes.size(); ++i) {
        const std::string connector = "j" + std::to_string(i) + "_mc";
        const auto child = memberOf(model, {"l" + std::to_string(i)});
        ASSERT_TRUE(child);
        const Vec normal = vectorAt(*child, connector, "normal");
        const Vec& axis = axes[i];
        const double scale = std::max({std::abs(axis.x), std::abs(axis.y), std::abs(axis.z)});
        const Vec direction = {axis.x / scale, axis.y / scale, axis.z / scale};
        EXPECT_NEAR(norm(normal), 1.0, 1e-9) << connector;
        EXPECT_NEAR(dot(normal, direction) / norm(direction), 0.0, 1e-9) << connector;
        expectNear(vectorAt(*base, connector, "normal"), rotated(fromRpy(0.4, 0.5, 0.6), normal),
                   1e-9, connector + " parent side");
    }
}

// ---------------------------------------------------------------------------------------------
// Ranges, actuators and initial values

TEST_F(JointMapping, RevoluteLimitsGiveRangeActuatorAndInitialAngle) {
    // clang-format off
    const auto model = import(robotWith({"base", "arm"}, joint("j", "revolute", "base", "arm",
        R"(<limit lower="-1.57" upper="1.57" effort="10" velocity="123.456"/>)")));
    // clang-format on
    ASSERT_TRUE(model);
    EXPECT_EQ(memberPaths(*model), (std::vector<std::string>{"arm", "base", "j", "j_range",
                                                             "j_actuator", "j.initial_angle"}));
    const auto range = memberOf(model, {"j_range"});
    EXPECT_EQ(range->isToken(), Token::keywordIs());
    EXPECT_EQ(typePath(*range), "Physics3D.Interactions.RotationalRange");
    EXPECT_EQ(
        membersOf(*range),
        (PathValues{{"start", "-1.5700000000"}, {"end", "1.5700000000"}, {"connectors", "-"}}));
    const auto actuator = memberOf(model, {"j_actuator"});
    EXPECT_EQ(typePath(*actuator), "Physics.Interactions.Interaction1DOF");
    EXPECT_EQ(membersOf(*actuator), (PathValues{{"min_effort", "-10.0000000000"},
                                                {"max_effort", "10.0000000000"},
                                                {"connectors", "-"}}));
    const auto initial = memberOf(model, {"j", "initial_angle"});
    EXPECT_EQ(constantLexeme(*initial), "0.0000000000");
    EXPECT_FALSE(initial->declaresType());

    for (const auto& node : assignments(*model)) {
        for (const auto& [path, value] : membersOf(*node)) {
            EXPECT_EQ(value.find("123.456"), std::string::npos) << "velocity shows in " << path;
        }
    }
}

TEST_F(JointMapping, RangeAndActuatorHoldTheirOwnCopiesOfTheConnectors) {
    const auto model = import(
        robotWith({"base", "arm"}, joint("j", "revolute", "base", "arm", limit("-1", "1", "1"))));
    ASSERT_TRUE(model);
    const auto interaction = memberOf(model, {"j"});
    const auto range = memberOf(model, {"j_range"});
    const auto actuator = memberOf(model, {"j_actuator"});
    ASSERT_TRUE(interaction && range && actuator);
    const std::vector<VarAssignmentPtr> owners = {interaction, range, actuator};

    std::vector<VarAssignmentPtr> assignmentsSeen;
    std::vector<std::shared_ptr<Array>> arraysSeen;
    std::vector<ExpressionPtr> referencesSeen;
    for (const auto& owner : owners) {
        const auto connectors = findMember(*owner, {"connectors"});
        const auto array = connectorsArray(*owner);
        ASSERT_TRUE(connectors && array) << targetPath(*owner);
        ASSERT_EQ(array->elements().size(), 2u);
        EXPECT_EQ(referenceSegments(array->elements()[0]),
                  (std::vector<std::string>{"base", "j_mc"}));
        EXPECT_EQ(referenceSegments(array->elements()[1]),
                  (std::vector<std::string>{"arm", "j_mc"}));
        for (const auto& seen : assignmentsSeen) EXPECT_NE(seen, connectors);
        for (const auto& seen : arraysSeen) EXPECT_NE(seen, array);
        for (const auto& element : array->elements()) {
            for (const auto& seen : referencesSeen) EXPECT_NE(seen, element);
        }
        assignmentsSeen.push_back(connectors);
        arraysSeen.push_back(array);
        referencesSeen.insert(referencesSeen.end(), array->elements().begin(),
                              array->elements().end());
    }
}

TEST_F(JointMapping, PrismaticLimitsGiveALinearRangeAndInitialPosition) {
    const auto model = import(robotWith(
        {"base", "slider"}, joint("s", "prismatic", "base", "slider", limit("0.1", "0.5", "20"))));
    ASSERT_TRUE(model);
    const auto range = memberOf(model, {"s_range"});
    EXPECT_EQ(typePath(*range), "Physics3D.Interactions.LinearRange");
    EXPECT_EQ(membersOf(*range).at(0),
              (std::pair<std::string, std::string>{"start", "0.1000000000"}));
    EXPECT_EQ(membersOf(*range).at(1),
              (std::pair<std::string, std::string>{"end", "0.5000000000"}));
    EXPECT_EQ(typePath(*memberOf(model, {"s_actuator"})), "Physics.Interactions.Interaction1DOF");
    EXPECT_EQ(constantLexeme(*memberOf(model, {"s", "initial_position"})), "0.1000000000");
}

TEST_F(JointMapping, InitialValueIsZeroClampedIntoTheBounds) {
    // clang-format off
    const auto model = import(robotWith({"base", "a", "b", "c", "d"},
        joint("negative", "revolute", "base", "a", limit("-0.5", "-0.2", "1")) +
        joint("reversed", "revolute", "base", "b", limit("2", "1", "1")) +
        joint("positive", "prismatic", "base", "c", limit("0.3", "0.7", "1")) +
        joint("around", "revolute", "base", "d", limit("-3", "4", "1"))));
    // clang-format on
    ASSERT_TRUE(model);
    EXPECT_EQ(constantLexeme(*memberOf(model, {"negative", "initial_angle"})), "-0.2000000000");
    EXPECT_EQ(constantLexeme(*memberOf(model, {"reversed", "initial_angle"})), "1.0000000000");
    EXPECT_EQ(constantLexeme(*memberOf(model, {"positive", "initial_position"})), "0.3000000000");
    EXPECT_EQ(constantLexeme(*memberOf(model, {"around", "initial_angle"})), "0.0000000000");
    // Reversed bounds are written as they stand.
    EXPECT_EQ(membersOf(*memberOf(model, {"reversed_range"})).at(0).second, "2.0000000000");
    EXPECT_EQ(membersOf(*memberOf(model, {"reversed_range"})).at(1).second, "1.0000000000");
}

TEST_F(JointMapping, EffortIsNegatedForTheMinimumEvenWhenZeroOrNegative) {
    // clang-format off
    const auto model = import(robotWith({"base", "a", "b"},
        joint("idle", "revolute", "base", "a", limit("-1", "1", "0")) +
        joint("odd", "revolute", "base", "b", limit("-1", "1", "-5"))));
    // clang-format on
    ASSERT_TRUE(model);
    EXPECT_EQ(
        membersOf(*memberOf(model, {"idle_actuator"})),
        (PathValues{
            {"min_effort", "-0.0000000000"}, {"max_effort", "0.0000000000"}, {"connectors", "-"}}));
    EXPECT_EQ(
        membersOf(*memberOf(model, {"odd_actuator"})),
        (PathValues{
            {"min_effort", "5.0000000000"}, {"max_effort", "-5.0000000000"}, {"connectors", "-"}}));
}

TEST_F(JointMapping, ContinuousJointGetsNoRange) {
    // urdfdom reads the missing bounds of a wheel's limit element as 0 and 0.
    const auto model =
        import(robotWith({"base", "wheel"}, joint("spin", "continuous", "base", "wheel",
                                                  R"(<limit effort="7" velocity="30"/>)")));
    ASSERT_TRUE(model);
    EXPECT_EQ(
        memberPaths(*model),
        (std::vector<std::string>{"base", "wheel", "spin", "spin_actuator", "spin.initial_angle"}));
    EXPECT_EQ(membersOf(*memberOf(model, {"spin_actuator"})).at(1).second, "7.0000000000");
    EXPECT_EQ(constantLexeme(*memberOf(model, {"spin", "initial_angle"})), "0.0000000000");
}

TEST_F(JointMapping, FixedJointWithLimitsIsOnlyALock) {
    const auto model = import(
        robotWith({"base", "tool"}, joint("weld", "fixed", "base", "tool", limit("-1", "1", "3"))));
    ASSERT_TRUE(model);
    EXPECT_EQ(memberPaths(*model), (std::vector<std::string>{"base", "tool", "weld"}));
    expectLogs({{Level::warn, "Unsupported limits in joint weld"}});
}

// ---------------------------------------------------------------------------------------------
// Names

TEST_F(JointMapping, JointNamedLikeALinkIsRenamed) {
    // A link named joint_wheel does not stop the renaming.
    const auto model = import(robotWith(
        {"hub", "wheel", "joint_wheel"},
        joint("wheel", "continuous", "hub", "wheel", R"(<limit effort="1" velocity="1"/>)") +
            joint("cap", "continuous", "wheel", "joint_wheel")));
    ASSERT_TRUE(model);
    EXPECT_EQ(memberPaths(*model), (std::vector<std::string>{"hub", "joint_wheel", "wheel",
                                                             "joint_wheel", "joint_wheel_actuator",
                                                             "joint_wheel.initial_angle", "cap"}));
    const auto interaction = assignments(*model).at(3);
    EXPECT_EQ(typePath(*interaction), "Physics3D.Interactions.Hinge");
    EXPECT_EQ(referenceSegments(connectorsArray(*interaction)->elements().at(1)),
              (std::vector<std::string>{"wheel", "joint_wheel_mc"}));
    EXPECT_TRUE(findMember(*memberOf(model, {"hub"}), {"joint_wheel_mc", "position", "x"}));
    EXPECT_TRUE(findMember(*memberOf(model, {"wheel"}), {"joint_wheel_mc"}));
    expectLogs(
        {{Level::warn, "Joint name wheel has same name as link -> renaming to joint_wheel"}});
}

TEST_F(JointMapping, RenameWarningQuotesTheUrdfNameAndLimitsWarningTheNewName) {
    const auto model = import(
        robotWith({"base", "tool"}, joint("tool", "fixed", "base", "tool", limit("0", "0", "1"))));
    ASSERT_TRUE(model);
    EXPECT_EQ(memberPaths(*model), (std::vector<std::string>{"base", "tool", "joint_tool"}));
    expectLogs({{Level::warn, "Joint name tool has same name as link -> renaming to joint_tool"},
                {Level::warn, "Unsupported limits in joint joint_tool"}});
}

TEST_F(JointMapping, DottedJointNameStaysOneSegment) {
    const auto model =
        import(robotWith({"body", "fl.hip"}, joint("fl.hx", "revolute", "body", "fl.hip",
                                                   R"(<origin xyz="0.29785 0.055 0"/>)" +
                                                       limit("-0.78", "0.78", "1000"))));
    ASSERT_TRUE(model);
    EXPECT_EQ(memberPaths(*model),
              (std::vector<std::string>{"body", "fl.hip", "fl.hx", "fl.hx_range", "fl.hx_actuator",
                                        "fl.hx.initial_angle"}));
    EXPECT_TRUE(findMember(*model, {"fl.hx"}));
    EXPECT_TRUE(findMember(*model, {"fl.hx_range"}));
    EXPECT_TRUE(findMember(*model, {"fl.hx_actuator"}));
    EXPECT_TRUE(findMember(*model, {"fl.hx", "initial_angle"}));

    const auto body = memberOf(model, {"body"});
    EXPECT_TRUE(findMember(*body, {"fl.hx_mc"}));
    const auto x = findMember(*body, {"fl.hx_mc", "position", "x"});
    ASSERT_TRUE(x);
    EXPECT_EQ(constantLexeme(*x), "0.2978500000");
    EXPECT_TRUE(findMember(*memberOf(model, {"fl.hip"}), {"fl.hx_mc", "main_axis", "z"}));
    const auto array = connectorsArray(*memberOf(model, {"fl.hx"}));
    ASSERT_TRUE(array);
    EXPECT_EQ(referenceSegments(array->elements().at(1)),
              (std::vector<std::string>{"fl.hip", "fl.hx_mc"}));
}

// ---------------------------------------------------------------------------------------------
// Joints that are not mapped

TEST_F(JointMapping, UnsupportedJointTypesAddNothing) {
    // Named like their child links, to show that the type is checked before the name.
    const auto model =
        import(robotWith({"base", "drone", "puck"},
                         joint("drone", "floating", "base", "drone") +
                             joint("puck", "planar", "base", "puck", limit("-1", "1", "1"))));
    ASSERT_TRUE(model);
    EXPECT_EQ(memberPaths(*model), (std::vector<std::string>{"base", "drone", "puck"}));
    for (const auto& body : assignments(*model)) {
        EXPECT_EQ(body->members().size(), 17u) << "mass members only on " << targetPath(*body);
    }
    expectLogs({{Level::err, "Skipping unsupported joint type FloatingJoint for joint drone"},
                {Level::err, "Skipping unsupported joint type PlanarJoint for joint puck"}});
}
