// Every real robot description of the shared corpus, imported and compared with what follows from
// urdfdom's own reading of the same file: bodies, mass members, geometries, connectors,
// interactions, ranges, actuators, initial values and the messages logged on the way.
//
// The expected model is written out in the test as lines of one flat listing, and the imported
// tree is listed the same way by a generic walk; the first differing line names the problem.
#include <gtest/gtest.h>
#include <urdf_model/model.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ParsedUrdf.hpp"
#include "TestSupport.hpp"

using namespace corvane;
using namespace corvane::testing;

namespace {

using Lines = std::vector<std::string>;

// The value of a normal: a unit vector of the host's choosing, checked numerically instead.
const std::string kAnyNormal = "<normal>";

// ---------------------------------------------------------------------------------------------
// Listing the imported tree

std::string joinSegments(const std::vector<Token>& tokens, const std::string& separator) {
    std::string joined;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (i > 0) joined += separator;
        joined += tokens[i].lexeme;
        if (tokens[i].kind != TokenKind::Identifier)
            joined += "?kind" + std::to_string(tokens[i].kind);
    }
    return joined;
}

std::string expressionText(const ExpressionPtr& expression) {
    if (!expression) return "<null>";
    switch (expression->expressionKind()) {
        case Expression::Kind::Constant: {
            const Token& token = std::static_pointer_cast<Constant>(expression)->token();
            if (token.kind == TokenKind::RealLiteral) return token.lexeme;
            return std::to_string(token.kind) + ":" + token.lexeme;
        }
        case Expression::Kind::Array: {
            std::string text = "[";
            const auto& elements = std::static_pointer_cast<Array>(expression)->elements();
            for (std::size_t i = 0; i < elements.size(); ++i) {
                if (i > 0) text += ", ";
                text += expressionText(elements[i]);
            }
            return text + "]";
        }
        case Expression::Kind::Reference: {
            std::string text = "&";
            const auto& segments = std::static_pointer_cast<Reference>(expression)->segments();
            for (std::size_t i = 0; i < segments.size(); ++i)
                text += (i > 0 ? "|" : "") + segments[i];
            return text;
        }
    }
    return "<unknown expression>";
}

// "target|segments is Type.Path = value", target segments joined with "|" so that a name with
// dots stays visibly one segment.
std::string nodeText(const VarAssignment& node) {
    std::string text = joinSegments(node.target(), "|");
    if (node.declaresType()) {
        text += " is " + joinSegments(node.type(), ".");
    } else if (node.isToken().kind != TokenKind::Placeholder || !node.type().empty()) {
        text += " <malformed type slot>";
    }
    if (node.value()) text += " = " + expressionText(node.value());
    return text;
}

void listNode(const VarAssignment& node, const std::string& indent, Lines& lines) {
    lines.push_back(indent + nodeText(node));
    for (const auto& member : node.members()) listNode(*member, indent + "  ", lines);
}

// ---------------------------------------------------------------------------------------------
// The expected listing, from urdfdom's model

std::string real(double value) {
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 10);
    return std::string(buffer, result.ptr);
}

std::string assigned(const std::string& path, const std::string& value) {
    return path + " = " + value;
}

void addVector(Lines& lines, const std::string& indent, const std::string& path,
               const urdf::Vector3& vector) {
    lines.push_back(indent + assigned(path + "|x", real(vector.x)));
    lines.push_back(indent + assigned(path + "|y", real(vector.y)));
    lines.push_back(indent + assigned(path + "|z", real(vector.z)));
}

void addRotation(Lines& lines, const std::string& indent, const std::string& path,
                 const urdf::Rotation& rotation) {
    lines.push_back(indent + assigned(path + "|x", real(rotation.x)));
    lines.push_back(indent + assigned(path + "|y", real(rotation.y)));
    lines.push_back(indent + assigned(path + "|z", real(rotation.z)));
    lines.push_back(indent + assigned(path + "|w", real(rotation.w)));
}

void addMassMembers(Lines& lines, const urdf::Inertial& inertial) {
    const std::string indent = "  ";
    addVector(lines, indent, "kinematics|local_cm_transform|position", inertial.origin.position);
    addRotation(lines, indent, "kinematics|local_cm_transform|rotation", inertial.origin.rotation);
    lines.push_back(indent + assigned("inertia|mass", real(inertial.mass)));
    const std::vector<std::pair<std::string, double>> tensor = {
        {"e00", inertial.ixx}, {"e11", inertial.iyy}, {"e22", inertial.izz},
        {"e01", inertial.ixy}, {"e10", inertial.ixy}, {"e02", inertial.ixz},
        {"e20", inertial.ixz}, {"e12", inertial.iyz}, {"e21", inertial.iyz}};
    for (const auto& [entry, value] : tensor) {
        lines.push_back(indent + assigned("inertia|tensor|" + entry, real(value)));
    }
}

// The origin rotation times a quarter turn about x, written term by term as the Hamilton product
// q (x) r with r = (0.7071, 0, 0, 0.7071).
urdf::Rotation cylinderRotation(const urdf::Rotation& q) {
    const double rx = 0.7071;
    const double ry = 0.0;
    const double rz = 0.0;
    const double rw = 0.7071;
    return urdf::Rotation(
        q.w * rx + q.x * rw + q.y * rz - q.z * ry, q.w * ry - q.x * rz + q.y * rw + q.z * rx,
        q.w * rz + q.x * ry - q.y * rx + q.z * rw, q.w * rw - q.x * rx - q.y * ry - q.z * rz);
}

// The string literal of a mesh file name: quoted, with quotes, backslashes and control bytes
// escaped, unless it already is one complete literal.
std::string stringLiteral(const std::string& value) {
    const bool plain = std::none_of(value.begin(), value.end(), [](char c) {
        return c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20;
    });
    if (plain) return "\"" + value + "\"";
    ADD_FAILURE() << "the corpus has a mesh name that needs escaping; extend the test: " << value;
    return value;
}

// Geometry names of one link: base names counted across collisions and visuals, and generated
// names moved on past any name this body already holds.
class GeometryNames {
  public:
    std::string next(const std::string& baseName) {
        std::size_t n =
            static_cast<std::size_t>(std::count(baseNames_.begin(), baseNames_.end(), baseName));
        baseNames_.push_back(baseName);
        std::string name = n == 0 ? baseName : baseName + "_" + std::to_string(n);
        while (given_.count(name) != 0) name = baseName + "_" + std::to_string(++n);
        given_.insert(name);
        return name;
    }

  private:
    std::vector<std::string> baseNames_;
    std::set<std::string> given_;
};

struct GeometryTypeNames {
    std::string defaultName;
    std::string prefix;
};

template <typename Element>
void addGeometries(Lines& lines, const std::vector<std::shared_ptr<Element>>& array,
                   const std::shared_ptr<Element>& single, const GeometryTypeNames& types,
                   GeometryNames& names) {
    std::vector<std::shared_ptr<Element>> elements = array;
    if (elements.empty() && single) elements.push_back(single);
    for (const auto& element : elements) {
        const std::string name =
            names.next(element->name.empty() ? types.defaultName : element->name);
        const std::string indent = "    ";
        const urdf::Pose& origin = element->origin;
        auto transform = [&](const urdf::Rotation& rotation) {
            addVector(lines, indent, "local_transform|position", origin.position);
            addRotation(lines, indent, "local_transform|rotation", rotation);
        };
        const urdf::Geometry& geometry = *element->geometry;
        switch (geometry.type) {
            case urdf::Geometry::SPHERE:
                lines.push_back("  " + name + " is " + types.prefix + "Sphere");
                transform(origin.rotation);
                lines.push_back(
                    indent +
                    assigned("radius", real(static_cast<const urdf::Sphere&>(geometry).radius)));
                break;
            case urdf::Geometry::BOX:
                lines.push_back("  " + name + " is " + types.prefix + "Box");
                transform(origin.rotation);
                addVector(lines, indent, "size", static_cast<const urdf::Box&>(geometry).dim);
                break;
            case urdf::Geometry::CYLINDER: {
                const auto& cylinder = static_cast<const urdf::Cylinder&>(geometry);
                lines.push_back("  " + name + " is " + types.prefix + "Cylinder");
                transform(cylinderRotation(origin.rotation));
                lines.push_back(indent + assigned("radius", real(cylinder.radius)));
                lines.push_back(indent + assigned("height", real(cylinder.length)));
                break;
            }
            case urdf::Geometry::MESH: {
                const auto& mesh = static_cast<const urdf::Mesh&>(geometry);
                lines.push_back("  " + name + " is " + types.prefix + "ExternalTriMeshGeometry");
                lines.push_back(indent + assigned("path", "16:" + stringLiteral(mesh.filename)));
                transform(origin.rotation);
                addVector(lines, indent, "scale", mesh.scale);
                break;
            }
        }
    }
}

struct ExpectedLog {
    spdlog::level::level_enum level;
    std::string message;
};

struct ExpectedModel {
    Lines lines;  // bodies and joint nodes; kinematic-lock members may follow
    std::vector<ExpectedLog> logs;
};

std::string connectorsText(const urdf::Joint& joint, const std::string& connector) {
    return "[&" + joint.parent_link_name + "|" + connector + ", &" + joint.child_link_name + "|" +
           connector + "]";
}

std::string interactionTypeOf(int type) {
    switch (type) {
        case urdf::Joint::REVOLUTE:
        case urdf::Joint::CONTINUOUS:
            return "Physics3D.Interactions.Hinge";
        case urdf::Joint::PRISMATIC:
            return "Physics3D.Interactions.Prismatic";
        case urdf::Joint::FIXED:
            return "Physics3D.Interactions.Lock";
        default:
            return "";
    }
}

std::string unsupportedTypeName(int type) {
    switch (type) {
        case urdf::Joint::FLOATING:
            return "FloatingJoint";
        case urdf::Joint::PLANAR:
            return "PlanarJoint";
        default:
            return "Unknown";
    }
}

void addJoint(const urdf::ModelInterface& robot, const urdf::Joint& joint,
              std::map<std::string, Lines>& bodies, ExpectedModel& expected) {
    const std::string interaction = interactionTypeOf(joint.type);
    if (interaction.empty()) {
        expected.logs.push_back({spdlog::level::err, "Skipping unsupported joint type " +
                                                         unsupportedTypeName(joint.type) +
                                                         " for joint " + joint.name});
        return;
    }
    std::string name = joint.name;
    if (robot.links_.count(joint.name) != 0) {
        name = "joint_" + joint.name;
        expected.logs.push_back(
            {spdlog::level::warn,
             "Joint name " + joint.name + " has same name as link -> renaming to " + name});
    }
    const std::string connector = name + "_mc";
    const std::string declaration = "  " + connector + " is Physics3D.Interactions.MateConnector";

    urdf::Vector3 axis = joint.axis;
    if (axis.x == 0.0 && axis.y == 0.0 && axis.z == 0.0) axis = urdf::Vector3(1.0, 0.0, 0.0);
    const urdf::Pose& origin = joint.parent_to_joint_origin_transform;

    Lines& parent = bodies[joint.parent_link_name];
    parent.push_back(declaration);
    addVector(parent, "  ", connector + "|position", origin.position);
    addVector(parent, "  ", connector + "|main_axis", origin.rotation * axis);
    for (const char* component : {"x", "y", "z"}) {
        parent.push_back("  " + assigned(connector + "|normal|" + component, kAnyNormal));
    }
    Lines& child = bodies[joint.child_link_name];
    child.push_back(declaration);
    addVector(child, "  ", connector + "|main_axis", axis);
    for (const char* component : {"x", "y", "z"}) {
        child.push_back("  " + assigned(connector + "|normal|" + component, kAnyNormal));
    }

    const std::string connectors = "  connectors = " + connectorsText(joint, connector);
    Lines& model = expected.lines;
    model.push_back(name + " is " + interaction);
    model.push_back(connectors);
    if (!joint.limits) return;
    const urdf::JointLimits& limits = *joint.limits;
    if (joint.type == urdf::Joint::FIXED) {
        expected.logs.push_back({spdlog::level::warn, "Unsupported limits in joint " + name});
        return;
    }
    if (joint.type != urdf::Joint::CONTINUOUS) {
        model.push_back(name + "_range is Physics3D.Interactions." +
                        (joint.type == urdf::Joint::PRISMATIC ? "LinearRange" : "RotationalRange"));
        model.push_back("  " + assigned("start", real(limits.lower)));
        model.push_back("  " + assigned("end", real(limits.upper)));
        model.push_back(connectors);
    }
    model.push_back(name + "_actuator is Physics.Interactions.Interaction1DOF");
    model.push_back("  " + assigned("min_effort", real(-limits.effort)));
    model.push_back("  " + assigned("max_effort", real(limits.effort)));
    model.push_back(connectors);
    const double initial =
        limits.lower <= limits.upper ? std::clamp(0.0, limits.lower, limits.upper) : limits.upper;
    const std::string attribute =
        joint.type == urdf::Joint::PRISMATIC ? "initial_position" : "initial_angle";
    model.push_back(assigned(name + "|" + attribute, real(initial)));
}

ExpectedModel expectedModelOf(const urdf::ModelInterface& robot) {
    ExpectedModel expected;
    std::map<std::string, Lines> bodies;  // ordered by name, as std::string compares bytes
    for (const auto& [name, link] : robot.links_) {
        Lines& body = bodies[name];
        body.push_back(name + " is Physics3D.Bodies.RigidBody");
        if (link->inertial) addMassMembers(body, *link->inertial);
        GeometryNames names;
        addGeometries(body, link->collision_array, link->collision,
                      {"contact_geometry", "Physics3D.Geometries."}, names);
        addGeometries(body, link->visual_array, link->visual,
                      {"visual_geometry", "Visuals.Geometries."}, names);
    }
    for (const auto& [name, link] : robot.links_) {
        for (const auto& joint : link->child_joints) addJoint(robot, *joint, bodies, expected);
    }
    Lines all;
    for (auto& [name, lines] : bodies) all.insert(all.end(), lines.begin(), lines.end());
    all.insert(all.end(), expected.lines.begin(), expected.lines.end());
    expected.lines = std::move(all);
    return expected;
}

bool lineMatches(const std::string& actual, const std::string& expected) {
    if (actual == expected) return true;
    const std::string marker = " = " + kAnyNormal;
    if (expected.size() < marker.size() ||
        expected.compare(expected.size() - marker.size(), marker.size(), marker) != 0) {
        return false;
    }
    const std::string prefix = expected.substr(0, expected.size() - kAnyNormal.size());
    return actual.size() > prefix.size() && actual.compare(0, prefix.size(), prefix) == 0;
}

// The first line where the listings part, with a little context; empty when they agree.
std::string firstDifference(const Lines& actual, const Lines& expected) {
    const std::size_t common = std::min(actual.size(), expected.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (!lineMatches(actual[i], expected[i])) {
            std::ostringstream text;
            text << "line " << i << ": expected \"" << expected[i] << "\", got \"" << actual[i]
                 << "\"";
            if (i > 0) text << " (after \"" << actual[i - 1] << "\")";
            return text.str();
        }
    }
    if (actual.size() < expected.size())
        return "missing from line " + std::to_string(common) + ": \"" + expected[common] + "\"";
    return "";
}

// ---------------------------------------------------------------------------------------------
// Normals

struct Vec {
    double x = 0;
    double y = 0;
    double z = 0;
};

Vec vectorOf(const VarAssignment& body, const std::string& connector, const std::string& what) {
    Vec result;
    double* components[] = {&result.x, &result.y, &result.z};
    const char* names[] = {"x", "y", "z"};
    for (int i = 0; i < 3; ++i) {
        const auto member = findMember(body, {connector, what, names[i]});
        *components[i] = member ? std::stod(constantLexeme(*member).value_or("nan")) : std::nan("");
    }
    return result;
}

// Problems with the normals of one joint: unit length, orthogonal to the effective axis, and the
// child's normal turned by the joint origin on the parent side.
std::string normalProblems(const ModelDeclaration& model, const urdf::ModelInterface& robot,
                           const urdf::Joint& joint) {
    if (interactionTypeOf(joint.type).empty()) return "";
    const std::string name = robot.links_.count(joint.name) ? "joint_" + joint.name : joint.name;
    const std::string connector = name + "_mc";
    const auto parent = findMember(model, {joint.parent_link_name});
    const auto child = findMember(model, {joint.child_link_name});
    if (!parent || !child) return "no body for joint " + joint.name;

    urdf::Vector3 axis = joint.axis;
    if (axis.x == 0.0 && axis.y == 0.0 && axis.z == 0.0) axis = urdf::Vector3(1.0, 0.0, 0.0);
    const double axisLength = std::sqrt(axis.x * axis.x + axis.y * axis.y + axis.z * axis.z);
    const Vec normal = vectorOf(*child, connector, "normal");
    const double length =
        std::sqrt(normal.x * normal.x + normal.y * normal.y + normal.z * normal.z);
    const double cosine = (normal.x * axis.x + normal.y * axis.y + normal.z * axis.z) / axisLength;
    const urdf::Vector3 turned = joint.parent_to_joint_origin_transform.rotation *
                                 urdf::Vector3(normal.x, normal.y, normal.z);
    const Vec parentNormal = vectorOf(*parent, connector, "normal");
    const double apart =
        std::max({std::abs(turned.x - parentNormal.x), std::abs(turned.y - parentNormal.y),
                  std::abs(turned.z - parentNormal.z)});
    std::ostringstream problems;
    if (!(std::abs(length - 1.0) < 1e-9)) problems << "normal of length " << length << "; ";
    if (!(std::abs(cosine) < 1e-9)) problems << "normal not orthogonal (" << cosine << "); ";
    if (!(apart < 1e-9)) problems << "parent normal is not the child's turned (" << apart << "); ";
    const std::string text = problems.str();
    return text.empty() ? "" : "joint " + joint.name + ": " + text;
}

}  // namespace

TEST(Corpus, EveryValidRobotImportsAsUrdfdomReadsIt) {
    CORVANE_SKIP_WITHOUT_CORPUS();
    const auto files = corpusFiles("valid");
    ASSERT_FALSE(files.empty());
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        const std::string text = readFile(file);
        const corvane::Plugins::Urdf::ParsedUrdf robot(text);
        ASSERT_TRUE(robot) << "urdfdom refuses a file of the valid corpus";
        const ExpectedModel expected = expectedModelOf(*robot);

        const LogCapture log;
        const DocumentPtr document = importUrdf(text);
        ASSERT_TRUE(document);
        EXPECT_EQ(document->name(), "urdf");
        const auto model = modelOf(document);
        ASSERT_TRUE(model);
        EXPECT_EQ(model->name(), Token::identifier(robot->name_));

        Lines actual;
        for (const auto& node : model->members()) {
            const auto assignment = node->toVarAssignment();
            ASSERT_TRUE(assignment) << "model member that is no assignment";
            listNode(*assignment, "", actual);
        }
        EXPECT_EQ(firstDifference(actual, expected.lines), "");

        // Whatever follows the joints belongs to the kinematic locks.
        for (std::size_t i = expected.lines.size(); i < actual.size(); ++i) {
            const std::string& line = actual[i];
            const bool negligible =
                line.find("|inertia|") != std::string::npos &&
                (line.ends_with("= 0.00000000000001") || line.ends_with("= 0.000000000001"));
            const bool lock =
                line.ends_with(" is Physics.KinematicLock") || line.starts_with("  bodies = [");
            EXPECT_TRUE(negligible || lock) << "after the joints: " << line;
        }

        std::string normals;
        for (const auto& [name, link] : robot->links_) {
            for (const auto& joint : link->child_joints) {
                normals += normalProblems(*model, *robot, *joint);
            }
        }
        EXPECT_EQ(normals, "");

        const auto entries = log.entries();
        std::vector<std::string> logged;
        for (const auto& entry : entries) {
            logged.push_back(std::string(spdlog::level::to_string_view(entry.level).data()) + " " +
                             entry.function + ": " + entry.message);
        }
        std::vector<std::string> expectedLogs;
        for (const auto& entry : expected.logs) {
            expectedLogs.push_back(std::string(spdlog::level::to_string_view(entry.level).data()) +
                                   " mapJoint: " + entry.message);
        }
        EXPECT_EQ(logged, expectedLogs);
    }
}

TEST(Corpus, EveryRefusedDescriptionGivesNoDocument) {
    CORVANE_SKIP_WITHOUT_CORPUS();
    const auto files = corpusFiles("refused");
    ASSERT_FALSE(files.empty());
    for (const auto& file : files) {
        const std::string text = readFile(file);
        ASSERT_FALSE(corvane::Plugins::Urdf::ParsedUrdf(text))
            << file.filename() << " is not refused by urdfdom";
        EXPECT_FALSE(importUrdf(text)) << file.filename();
    }
}
