// What an imported document says about the robot, gathered in one pass over the model's members:
// its bodies with their mass properties, geometries and mate connectors, its interactions with the
// bodies and connectors they join, their ranges, actuators and initial values, and its kinematic
// locks. Every view of the tool (the picture, the summary, the checks, the 3D page) is drawn from
// this alone, so it shows what the import made, whatever the link graph of the URDF looked like.
//
// Numbers are read back from the real literals of the document (the lexemes the plugin wrote),
// so they carry the document's precision; a member the document does not hold stays unset.
#pragma once

#include <array>
#include <corvane/Syntax.hpp>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace corvane::tools {

struct Vector3 {
    double x = 0;
    double y = 0;
    double z = 0;
};

// A rotation quaternion, as the document holds it (not normalised again).
struct Quaternion {
    double x = 0;
    double y = 0;
    double z = 0;
    double w = 1;
};

struct Pose {
    Vector3 position;
    Quaternion rotation;
};

// The inertia tensor's entries eRC (row R, column C) as the body's "inertia.tensor" members give
// them; entries the document does not hold are 0.
using InertiaTensor = std::array<std::array<double, 3>, 3>;

enum class GeometryShape { Sphere, Box, Cylinder, Mesh, Other };

struct GeometryOverview {
    std::string name;  // the member's name, e.g. "contact_geometry_1"
    GeometryShape shape = GeometryShape::Other;
    std::string typeName;  // the type's last segment, e.g. "ExternalTriMeshGeometry"
    bool contact = false;  // a contact geometry (Physics3D); otherwise a visual one (Visuals)
    // "local_transform": where the geometry sits in the body's frame; identity when absent.
    Pose localTransform;
    bool hasLocalTransform = false;
    std::optional<double> radius;  // sphere, cylinder
    std::optional<double> height;  // cylinder, along its local y
    std::optional<Vector3> size;   // box
    // Mesh: the file name exactly as written in the URDF (the string literal without its quotes)
    // and its scale (1, 1, 1 when absent).
    std::optional<std::string> meshPath;
    Vector3 scale{1, 1, 1};
};

struct ConnectorOverview {
    std::string name;  // e.g. "j1_mc"
    Vector3 position;  // (0, 0, 0) when the document gives none
    Vector3 mainAxis;
    Vector3 normal;
};

// Geometries of one body by kind ("sphere", "box", "cylinder", "mesh", or the type's last
// segment for any other kind).
using GeometryCounts = std::map<std::string, std::size_t>;

struct BodyOverview {
    std::string name;
    // The body has an "inertia.mass" member of its own (the link had inertial data).
    bool ownMass = false;
    // The model assigns the body a mass from outside, as it does for the massless members of a
    // kinematic lock.
    bool assignedMass = false;
    // How many contact and visual geometries of each kind the body has.
    GeometryCounts contactCounts;
    GeometryCounts visualCounts;

    // The values behind ownMass and assignedMass.
    std::optional<double> mass;
    std::optional<double> assignedMassValue;
    // "kinematics.local_cm_transform": the centre-of-mass frame in the body's frame.
    Pose centreOfMass;
    // Set when the body has any "inertia.tensor" member of its own.
    std::optional<InertiaTensor> inertia;
    // Contact and visual geometries, in the order of the body's members.
    std::vector<GeometryOverview> geometries;
    std::vector<ConnectorOverview> connectors;

    // Left without any mass: a simulator refuses such a body.
    bool withoutAnyMass() const { return !ownMass && !assignedMass; }
    // The connector named `name`, or null.
    const ConnectorOverview* connector(const std::string& name) const;
};

enum class InteractionKind { Hinge, Prismatic, Lock };

struct RangeOverview {
    std::string name;  // e.g. "j1_range"
    double start = 0;
    double end = 0;
};

struct ActuatorOverview {
    std::string name;  // e.g. "j1_actuator"
    double minEffort = 0;
    double maxEffort = 0;
};

struct InteractionOverview {
    std::string name;
    InteractionKind kind = InteractionKind::Hinge;
    // The bodies of the first and the second connector; empty when the interaction has no such
    // connector reference.
    std::string parentBody;
    std::string childBody;
    // The connectors' names within those bodies (the reference's second segment).
    std::string parentConnector;
    std::string childConnector;
    // The range and actuator whose connectors are this interaction's, and the assignment
    // NAME.initial_angle or NAME.initial_position.
    std::optional<RangeOverview> range;
    std::optional<ActuatorOverview> actuator;
    std::optional<double> initialValue;
};

struct LockOverview {
    std::string name;
    std::vector<std::string> bodies;
};

// A member the model declares, whatever it is. The host knows a model's members by name alone.
struct DeclarationOverview {
    enum class Kind { Body, Interaction, Range, Actuator, KinematicLock, Other };
    std::string name;
    Kind kind = Kind::Other;
    // The body it belongs to: a body's own name; the body of the second connector of an
    // interaction, a range or an actuator (the joint's child link); the first body of a kinematic
    // lock; empty for other members.
    std::string body;
};

// A number of the document that is no finite real (an infinity or a NaN), and where it stands.
struct NonFiniteNumber {
    // The model member it is in: a body, interaction, range or actuator; for an assignment made
    // from the model (NAME.initial_angle = ...), the first segment of its target.
    std::string declaration;
    // Where within that member: the dotted target of the assignment and of the declarations it
    // is nested in, e.g. "j1_mc.main_axis.x", "contact_geometry.radius", "initial_angle".
    std::string path;
    std::string lexeme;  // as the document writes it, e.g. "inf" or "-nan"
};

struct ModelOverview {
    std::string modelName;
    std::vector<BodyOverview> bodies;  // in the order of the model
    std::vector<InteractionOverview> interactions;
    std::size_t ranges = 0;
    std::size_t actuators = 0;
    std::vector<LockOverview> locks;
    // Every non-finite number of the model, in the order of the document.
    std::vector<NonFiniteNumber> nonFinite;
    // Every member declaration of the model, in the order of the document.
    std::vector<DeclarationOverview> declarations;

    // The body named `name`, or null.
    const BodyOverview* body(const std::string& name) const;

    // Positions in `bodies` by name, made by readModelOverview so that look-ups stay cheap on
    // large robots; an overview put together by hand without it is searched in order.
    std::unordered_map<std::string, std::size_t> bodyIndex;
};

// The overview of the first model declaration of `document` (an empty one when it has none).
ModelOverview readModelOverview(const Document& document);

// "hinge", "prismatic" or "lock".
const char* kindName(InteractionKind kind);

// "sphere", "box", "cylinder", "mesh" or "geometry".
const char* shapeName(GeometryShape shape);

}  // namespace corvane::tools
