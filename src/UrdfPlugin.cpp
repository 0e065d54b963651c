#include "corvane/UrdfPlugin.hpp"

#include <spdlog/spdlog.h>
#include <urdf_model/model.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <corvane/Builders.hpp>
#include <corvane/Math.hpp>
#include <corvane/Text.hpp>
#include <map>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "AttrPath.hpp"
#include "FixedPoint.hpp"
#include "GeometryNamePool.hpp"
#include "LinkLookup.hpp"
#include "NestingGuard.hpp"
#include "ParsedUrdf.hpp"
#include "SharedTokenLists.hpp"

namespace corvane::Plugins::Urdf {

namespace {

constexpr std::int32_t kDefaultPrecision = 10;
// Fixed formatting without a precision writes six decimals; a negative precision means that.
constexpr std::int32_t kUnsetPrecision = 6;
// Room for the integer digits of the largest double, a sign and a point.
constexpr std::size_t kRealIntegerRoom = 330;
// Real literals up to this length are formatted on the stack.
constexpr std::size_t kRealStackRoom = 512;

// Mass and diagonal inertia given to a massless body held in a kinematic lock. Fixed texts: they
// must not change with the precision of the other literals.
constexpr std::string_view kNegligibleMass = "0.00000000000001";
constexpr std::string_view kNegligibleInertia = "0.000000000001";
constexpr std::array<std::string_view, 3> tensor_diag = {"e00", "e11", "e22"};

// `target = value`: placeholders in the start, "is" and end slots, no type and no members.
VarAssignmentPtr valueAssignment(TokenList target, Token value) {
    return VarAssignment::createAssignment(std::move(target), Constant::create(std::move(value)));
}

bool isHexControl(unsigned char c) {
    return c < 0x20;
}

// True when `value` is one complete quoted literal: an optional "@", a double quote, characters
// in which every quote and backslash is escaped and no control byte occurs, and a closing quote
// that ends the value.
bool isQuotedLiteral(std::string_view value) {
    std::size_t i = 0;
    if (i < value.size() && value[i] == '@') ++i;
    if (i >= value.size() || value[i] != '"') return false;
    ++i;
    while (i < value.size()) {
        const char c = value[i];
        if (c == '"') return i + 1 == value.size();
        if (isHexControl(static_cast<unsigned char>(c))) return false;
        if (c == '\\') {
            // Only an escaped quote or an escaped backslash keeps the value verbatim.
            if (i + 1 >= value.size()) return false;
            const char next = value[i + 1];
            if (next != '"' && next != '\\') return false;
            i += 2;
            continue;
        }
        ++i;
    }
    return false;
}

std::string quoteAndEscape(std::string_view value) {
    std::string quoted;
    quoted.reserve(value.size() + 2);
    quoted.push_back('"');
    for (const char c : value) {
        if (c == '"') {
            quoted += "\\\"";
        } else if (const std::string_view escaped = Text::shortEscape(c); !escaped.empty()) {
            quoted += escaped;
        } else if (isHexControl(static_cast<unsigned char>(c))) {
            const auto code = Text::unicodeEscape(static_cast<unsigned char>(c));
            quoted.append(code.data(), code.size());
        } else {
            quoted.push_back(c);
        }
    }
    quoted.push_back('"');
    return quoted;
}

bool isFixed(const urdf::JointSharedPtr& joint) {
    return joint && joint->type == urdf::Joint::FIXED;
}

bool hasMass(const urdf::Link& link) {
    return static_cast<bool>(link.inertial);
}

struct JointKind {
    std::string_view interactionType;   // empty: not supported
    std::string_view unsupportedName;   // name in the message for unsupported types
    std::string_view initialAttribute;  // empty for locks
    std::string_view rangeType;         // empty for locks
};

JointKind jointKindOf(int type) {
    switch (type) {
        case urdf::Joint::REVOLUTE:
        case urdf::Joint::CONTINUOUS:
            return {"Physics3D.Interactions.Hinge", "", "initial_angle",
                    "Physics3D.Interactions.RotationalRange"};
        case urdf::Joint::PRISMATIC:
            return {"Physics3D.Interactions.Prismatic", "", "initial_position",
                    "Physics3D.Interactions.LinearRange"};
        case urdf::Joint::FIXED:
            return {"Physics3D.Interactions.Lock", "", "", ""};
        case urdf::Joint::FLOATING:
            return {"", "FloatingJoint", "", ""};
        case urdf::Joint::PLANAR:
            return {"", "PlanarJoint", "", ""};
        default:
            return {"", "Unknown", "", ""};
    }
}

// Type names of the four geometry kinds, indexed by urdf::Geometry's type.
struct GeometryTypes {
    std::string_view defaultName;
    std::array<std::string_view, 4> typeNames;
};

constexpr GeometryTypes kContactGeometry{
    "contact_geometry",
    {"Physics3D.Geometries.Sphere", "Physics3D.Geometries.Box", "Physics3D.Geometries.Cylinder",
     "Physics3D.Geometries.ExternalTriMeshGeometry"}};
constexpr GeometryTypes kVisualGeometry{
    "visual_geometry",
    {"Visuals.Geometries.Sphere", "Visuals.Geometries.Box", "Visuals.Geometries.Cylinder",
     "Visuals.Geometries.ExternalTriMeshGeometry"}};

// A link held in a kinematic lock with the anchor whose lock holds it.
struct AnchoredLink {
    const urdf::Link* anchor;
    const urdf::Link* link;
};

}  // namespace

class UrdfPluginImpl {
  public:
    std::int32_t precision = kDefaultPrecision;
    // The per-import state. The links are urdfdom's, alive for the whole import.
    LinkBodies linkBodies;
    NameTable linkNames;
    // The links held in kinematic locks, in the order the walk reaches them, and the same links
    // with their anchors, for asking whether a link is held already.
    std::vector<AnchoredLink> anchoredLinks;
    std::unordered_set<const urdf::Link*> linksInLocks;
    // The walk's stack of links, each with the next child to look at.
    struct WalkFrame {
        const urdf::Link* link;
        std::size_t nextChild = 0;
        bool attachedBefore = false;
    };
    std::vector<WalkFrame> walkStack;
    // Filled while nodes are made, also by the operations that do not otherwise change the
    // import's state.
    mutable SharedTokenLists sharedLists;

    DocumentPtr parse(const std::string& source, const std::shared_ptr<Import>& import);

    Token realToken(double value) const;
    static Token stringToken(const std::string& value);
    VarAssignmentPtr realAssignment(const std::string& name, double value) const {
        return realAssignment(AttrPath::plain(name), value);
    }
    VarAssignmentPtr realAssignment(const AttrPath& target, double value) const {
        return valueAssignment(targetList(target), realToken(value));
    }
    VarAssignmentPtr stringAssignment(const std::string& name, const std::string& value) const {
        return valueAssignment(targetList(AttrPath::plain(name)), stringToken(value));
    }
    // The target's tokens: one shared list per fixed path, a list of its own for a path under a
    // name from the robot description.
    TokenList targetList(const AttrPath& target) const {
        if (target.isNamed()) return makeTokenList(target.tokens());
        std::array<char, AttrPath::kShortPath> buffer;
        std::string longPath;
        return sharedLists.of(target.joined(buffer, longPath));
    }

    // The targets of the x, y and z components of the vector at `name`.
    std::array<TokenList, 3> componentTargets(const AttrPath& name) const {
        return {targetList(name.with(".x")), targetList(name.with(".y")),
                targetList(name.with(".z"))};
    }
    void mapVector(const urdf::Vector3& vector, const std::array<TokenList, 3>& targets,
                   VarAssignment& parent) const;
    void mapVector(const urdf::Vector3& vector, const AttrPath& name, VarAssignment& parent) const {
        mapVector(vector, componentTargets(name), parent);
    }
    void mapRotation(const urdf::Rotation& rotation, const AttrPath& name,
                     VarAssignment& parent) const;
    void mapPose(const urdf::Pose& pose, const AttrPath& name, VarAssignment& parent) const;

    // The body of `link`, appended to the model's members.
    VarAssignment& mapLink(const urdf::Link& link, const ModelDeclarationPtr& model);
    // `joint`, one of the child joints of the link whose body is `parentBody`, to the link `child`.
    void mapJoint(const urdf::Joint& joint, const urdf::Link* child, VarAssignment& parentBody,
                  const ModelDeclarationPtr& model);
    void traverse(const urdf::Link* link, const urdf::Link* anchor);
    void setNegligibleMassAndInertia(const urdf::Link& link,
                                     const ModelDeclarationPtr& model) const;
    void mapKinematicLocks(const ModelDeclarationPtr& model);

  private:
    void clearImportState() {
        sharedLists.clear();
        // Released, not only emptied: a plugin object lives on between imports.
        anchoredLinks = {};
        linksInLocks = {};
        walkStack = {};
        linkBodies.clear();
        linkNames.clear();
    }

    void mapMassProperties(const urdf::Inertial& inertial, VarAssignment& body) const;
    template <typename Element>
    void mapGeometries(std::span<const std::shared_ptr<Element>> elements,
                       const GeometryTypes& types, VarAssignment& body,
                       GeometryNamePool& pool) const;
    VarAssignment::Members geometryMembers(const urdf::Geometry& geometry,
                                           const urdf::Pose& origin) const;
    void mapTransform(const urdf::Pose& origin, const urdf::Rotation& rotation,
                      VarAssignment::Members& members) const;
    // Range, actuator and initial value of a joint that has limits and a kind with a range.
    void mapLimits(const urdf::Joint& joint, const JointKind& kind, const std::string& jointName,
                   const VarAssignmentPtr& connectors, const ModelDeclarationPtr& model) const;
    void attach(const urdf::Link* link, const urdf::Link* anchor);
    bool isInLock(const urdf::Link* link) const { return linksInLocks.contains(link); }
};

// ---------------------------------------------------------------------------------------------
// Literals and assignments

Token UrdfPluginImpl::realToken(double value) const {
    const int digits = precision < 0 ? kUnsetPrecision : precision;
    // Integer digits of the largest double, a sign, a point and the decimals. Formatted on the
    // stack, so that the lexeme is allocated at its exact length (most fit in the string itself).
    const std::size_t room = static_cast<std::size_t>(digits) + kRealIntegerRoom;
    if (room <= kRealStackRoom) {
        std::array<char, kRealStackRoom> text;
        char* end = writeFixedPoint(text.data(), value, digits);
        if (!end) {
            end = std::to_chars(text.data(), text.data() + room, value, std::chars_format::fixed,
                                digits)
                      .ptr;
        }
        return Token{TokenKind::RealLiteral, std::string(text.data(), end), 0, 0};
    }
    std::string lexeme(room, '\0');
    const auto result = std::to_chars(lexeme.data(), lexeme.data() + lexeme.size(), value,
                                      std::chars_format::fixed, digits);
    lexeme.resize(static_cast<std::size_t>(result.ptr - lexeme.data()));
    lexeme.shrink_to_fit();
    return Token{TokenKind::RealLiteral, std::move(lexeme), 0, 0};
}

Token UrdfPluginImpl::stringToken(const std::string& value) {
    // A value that already is one well-formed quoted literal is the host's own syntax and is taken
    // as it stands; anything else is quoted, so that no file name can break out of its quotes.
    std::string lexeme = isQuotedLiteral(value) ? value : quoteAndEscape(value);
    return Token{TokenKind::StringLiteral, std::move(lexeme), 0, 0};
}

void UrdfPluginImpl::mapVector(const urdf::Vector3& vector, const std::array<TokenList, 3>& targets,
                               VarAssignment& parent) const {
    parent.appendToMembers(valueAssignment(targets[0], realToken(vector.x)));
    parent.appendToMembers(valueAssignment(targets[1], realToken(vector.y)));
    parent.appendToMembers(valueAssignment(targets[2], realToken(vector.z)));
}

void UrdfPluginImpl::mapRotation(const urdf::Rotation& rotation, const AttrPath& name,
                                 VarAssignment& parent) const {
    const std::array<std::pair<std::string_view, double>, 4> components = {
        {{".x", rotation.x}, {".y", rotation.y}, {".z", rotation.z}, {".w", rotation.w}}};
    for (const auto& [suffix, value] : components) {
        parent.appendToMembers(realAssignment(name.with(suffix), value));
    }
}

void UrdfPluginImpl::mapPose(const urdf::Pose& pose, const AttrPath& name,
                             VarAssignment& parent) const {
    mapVector(pose.position, name.with(".position"), parent);
    mapRotation(pose.rotation, name.with(".rotation"), parent);
}

// ---------------------------------------------------------------------------------------------
// Rigid bodies and geometry

namespace {

// The collisions or visuals of a link: its list, or when that is empty its single element.
template <typename Element>
std::span<const std::shared_ptr<Element>> elementsOf(
    const std::vector<std::shared_ptr<Element>>& array, const std::shared_ptr<Element>& single) {
    if (array.empty() && single) return {&single, 1};
    return array;
}

// How many members the body of `link` ends up with, so that its list is allocated once: the mass
// properties, the geometries, and for every joint at the link its connector, declared with
// position, main axis and normal in the parent link's body and with main axis and normal in the
// child's.
std::size_t expectedBodyMembers(const urdf::Link& link, std::size_t geometries) {
    constexpr std::size_t kMassMembers = 7 + 1 + 9;
    constexpr std::size_t kParentConnectorMembers = 1 + 3 * 3;
    constexpr std::size_t kChildConnectorMembers = 1 + 2 * 3;
    return (link.inertial ? kMassMembers : 0) + geometries +
           link.child_joints.size() * kParentConnectorMembers +
           (link.parent_joint ? kChildConnectorMembers : 0);
}

}  // namespace

VarAssignment& UrdfPluginImpl::mapLink(const urdf::Link& link, const ModelDeclarationPtr& model) {
    auto body = AttrDeclBuilder()
                    .withTargetSegments(std::vector<std::string>{link.name})
                    .withTypeSegments(sharedLists.of("Physics3D.Bodies.RigidBody"))
                    .build();
    VarAssignment& bodyRef = *body;
    linkBodies.insert(&link, &bodyRef);
    model->appendToMembers(std::move(body));

    const auto collisions = elementsOf(link.collision_array, link.collision);
    const auto visuals = elementsOf(link.visual_array, link.visual);
    bodyRef.reserveMembers(expectedBodyMembers(link, collisions.size() + visuals.size()));

    if (link.inertial) mapMassProperties(*link.inertial, bodyRef);

    GeometryNamePool pool;
    mapGeometries(collisions, kContactGeometry, bodyRef, pool);
    mapGeometries(visuals, kVisualGeometry, bodyRef, pool);
    return bodyRef;
}

void UrdfPluginImpl::mapMassProperties(const urdf::Inertial& inertial, VarAssignment& body) const {
    mapPose(inertial.origin, AttrPath::plain("kinematics.local_cm_transform"), body);
    body.appendToMembers(realAssignment("inertia.mass", inertial.mass));
    const std::array<std::pair<const char*, double>, 9> tensor = {{
        {"inertia.tensor.e00", inertial.ixx},
        {"inertia.tensor.e11", inertial.iyy},
        {"inertia.tensor.e22", inertial.izz},
        {"inertia.tensor.e01", inertial.ixy},
        {"inertia.tensor.e10", inertial.ixy},
        {"inertia.tensor.e02", inertial.ixz},
        {"inertia.tensor.e20", inertial.ixz},
        {"inertia.tensor.e12", inertial.iyz},
        {"inertia.tensor.e21", inertial.iyz},
    }};
    for (const auto& [path, value] : tensor) body.appendToMembers(realAssignment(path, value));
}

template <typename Element>
void UrdfPluginImpl::mapGeometries(std::span<const std::shared_ptr<Element>> elements,
                                   const GeometryTypes& types, VarAssignment& body,
                                   GeometryNamePool& pool) const {
    for (const auto& element : elements) {
        if (!element) continue;
        const std::string baseName =
            element->name.empty() ? std::string(types.defaultName) : element->name;
        const std::string name = pool.nameFor(baseName);
        if (!element->geometry) continue;
        const auto kind = static_cast<std::size_t>(element->geometry->type);
        // An unknown kind keeps its base name counted but makes no geometry.
        if (kind >= types.typeNames.size()) continue;
        pool.markUsed(name);
        body.appendToMembers(AttrDeclBuilder()
                                 .withTargetSegments(std::vector<std::string>{name})
                                 .withTypeSegments(sharedLists.of(types.typeNames[kind]))
                                 .withMembers(geometryMembers(*element->geometry, element->origin))
                                 .build());
    }
}

void UrdfPluginImpl::mapTransform(const urdf::Pose& origin, const urdf::Rotation& rotation,
                                  VarAssignment::Members& members) const {
    members.push_back(realAssignment("local_transform.position.x", origin.position.x));
    members.push_back(realAssignment("local_transform.position.y", origin.position.y));
    members.push_back(realAssignment("local_transform.position.z", origin.position.z));
    members.push_back(realAssignment("local_transform.rotation.x", rotation.x));
    members.push_back(realAssignment("local_transform.rotation.y", rotation.y));
    members.push_back(realAssignment("local_transform.rotation.z", rotation.z));
    members.push_back(realAssignment("local_transform.rotation.w", rotation.w));
}

VarAssignment::Members UrdfPluginImpl::geometryMembers(const urdf::Geometry& geometry,
                                                       const urdf::Pose& origin) const {
    VarAssignment::Members members;
    members.reserve(11);
    switch (geometry.type) {
        case urdf::Geometry::SPHERE: {
            const auto& sphere = static_cast<const urdf::Sphere&>(geometry);
            mapTransform(origin, origin.rotation, members);
            members.push_back(realAssignment("radius", sphere.radius));
            break;
        }
        case urdf::Geometry::BOX: {
            const auto& box = static_cast<const urdf::Box&>(geometry);
            mapTransform(origin, origin.rotation, members);
            members.push_back(realAssignment("size.x", box.dim.x));
            members.push_back(realAssignment("size.y", box.dim.y));
            members.push_back(realAssignment("size.z", box.dim.z));
            break;
        }
        case urdf::Geometry::CYLINDER: {
            const auto& cylinder = static_cast<const urdf::Cylinder&>(geometry);
            // A URDF cylinder runs along the z axis of its frame, a host cylinder along y: turn the
            // frame a quarter turn about its own x axis (0.7071 to four decimals, not normalised).
            const urdf::Rotation quarterTurnAboutX(0.7071, 0.0, 0.0, 0.7071);
            mapTransform(origin, origin.rotation * quarterTurnAboutX, members);
            members.push_back(realAssignment("radius", cylinder.radius));
            members.push_back(realAssignment("height", cylinder.length));
            break;
        }
        case urdf::Geometry::MESH: {
            const auto& mesh = static_cast<const urdf::Mesh&>(geometry);
            members.push_back(stringAssignment("path", mesh.filename));
            mapTransform(origin, origin.rotation, members);
            members.push_back(realAssignment("scale.x", mesh.scale.x));
            members.push_back(realAssignment("scale.y", mesh.scale.y));
            members.push_back(realAssignment("scale.z", mesh.scale.z));
            break;
        }
    }
    return members;
}

// ---------------------------------------------------------------------------------------------
// Joints

namespace {

VarAssignmentPtr mateConnector(TokenList name, TokenList type) {
    return VarAssignment::createDeclaration(std::move(name), std::move(type), {});
}

VarAssignmentPtr connectorsAssignment(TokenList target, const std::string& parent,
                                      const std::string& child, const std::string& connector) {
    std::vector<ExpressionPtr> references;
    references.reserve(2);
    references.push_back(NodeBuilder::reference({parent, connector}));
    references.push_back(NodeBuilder::reference({child, connector}));
    return VarAssignment::createAssignment(
        std::move(target),
        Array::create(std::move(references), Token::placeholder(), Token::placeholder()));
}

urdf::Vector3 effectiveAxis(const urdf::Vector3& axis) {
    if (axis.x == 0.0 && axis.y == 0.0 && axis.z == 0.0) return urdf::Vector3(1.0, 0.0, 0.0);
    return axis;
}

urdf::Vector3 orthogonalUnit(const urdf::Vector3& axis) {
    const auto normal = Math::Vec3::from_xyz(axis.x, axis.y, axis.z)->get_orthogonal_unit_vector();
    return urdf::Vector3(normal->x(), normal->y(), normal->z());
}

// 0 clamped into [lower, upper]; `upper` when the bounds are reversed.
double initialValue(double lower, double upper) {
    const double m = lower > 0.0 ? lower : 0.0;
    return upper < m ? upper : m;
}

}  // namespace

void UrdfPluginImpl::mapJoint(const urdf::Joint& joint, const urdf::Link* child,
                              VarAssignment& parentBody, const ModelDeclarationPtr& model) {
    const JointKind kind = jointKindOf(joint.type);
    if (kind.interactionType.empty()) {
        SPDLOG_ERROR("Skipping unsupported joint type {} for joint {}", kind.unsupportedName,
                     joint.name);
        return;
    }

    std::string jointName = joint.name;
    if (linkNames.contains(joint.name)) {
        SPDLOG_WARN("Joint name {} has same name as link -> renaming to joint_{}", joint.name,
                    joint.name);
        jointName = "joint_" + joint.name;
    }

    const std::string connector = jointName + "_mc";
    // Both bodies declare the connector under the same name: one token list serves both.
    const TokenList connectorTarget = makeTokenList({Token::identifier(connector)});
    const TokenList connectorType = sharedLists.of("Physics3D.Interactions.MateConnector");
    parentBody.appendToMembers(mateConnector(connectorTarget, connectorType));

    VarAssignment* const childBody = linkBodies.find(child);
    if (!childBody) {
        SPDLOG_ERROR("Child link: {} for joint: {} is not mapped", joint.child_link_name,
                     joint.name);
        return;
    }
    childBody->appendToMembers(mateConnector(connectorTarget, connectorType));

    const auto interaction = AttrDeclBuilder()
                                 .withTargetSegments(std::vector<std::string>{jointName})
                                 .withTypeSegments(sharedLists.of(kind.interactionType))
                                 .build();
    model->appendToMembers(interaction);
    const auto connectors = connectorsAssignment(
        sharedLists.of("connectors"), joint.parent_link_name, joint.child_link_name, connector);
    interaction->appendToMembers(connectors);

    // The axis and normal have the same targets in both bodies: their token lists are shared.
    const auto mainAxis = componentTargets(AttrPath::named(connector, "main_axis"));
    const auto normalAxis = componentTargets(AttrPath::named(connector, "normal"));
    const urdf::Pose& origin = joint.parent_to_joint_origin_transform;
    mapVector(origin.position, AttrPath::named(connector, "position"), parentBody);
    const urdf::Vector3 axis = effectiveAxis(joint.axis);
    mapVector(origin.rotation * axis, mainAxis, parentBody);
    const urdf::Vector3 normal = orthogonalUnit(axis);
    mapVector(origin.rotation * normal, normalAxis, parentBody);
    mapVector(axis, mainAxis, *childBody);
    mapVector(normal, normalAxis, *childBody);

    // Checked here rather than in mapLimits, so that the warning names mapJoint as its source.
    if (!joint.limits) return;
    if (kind.rangeType.empty()) {
        SPDLOG_WARN("Unsupported limits in joint {}", jointName);
        return;
    }
    mapLimits(joint, kind, jointName, connectors, model);
}

void UrdfPluginImpl::mapLimits(const urdf::Joint& joint, const JointKind& kind,
                               const std::string& jointName, const VarAssignmentPtr& connectors,
                               const ModelDeclarationPtr& model) const {
    const urdf::JointLimits& limits = *joint.limits;

    // URDF gives continuous joints no position limits, and urdfdom writes 0 for both bounds when
    // the limit element carries only effort and velocity: a range from 0 to 0 would freeze the
    // joint, so continuous joints get none.
    if (joint.type != urdf::Joint::CONTINUOUS) {
        model->appendToMembers(
            AttrDeclBuilder()
                .withTargetSegments(std::vector<std::string>{jointName + "_range"})
                .withTypeSegments(sharedLists.of(kind.rangeType))
                .withMembers({realAssignment("start", limits.lower),
                              realAssignment("end", limits.upper), connectors->clone()})
                .build());
    }
    model->appendToMembers(
        AttrDeclBuilder()
            .withTargetSegments(std::vector<std::string>{jointName + "_actuator"})
            .withTypeSegments(sharedLists.of("Physics.Interactions.Interaction1DOF"))
            .withMembers({realAssignment("min_effort", -limits.effort),
                          realAssignment("max_effort", limits.effort), connectors->clone()})
            .build());
    model->appendToMembers(realAssignment(AttrPath::named(jointName, kind.initialAttribute),
                                          initialValue(limits.lower, limits.upper)));
}

// ---------------------------------------------------------------------------------------------
// Massless links: anchor groups, negligible mass and kinematic locks

void UrdfPluginImpl::attach(const urdf::Link* link, const urdf::Link* anchor) {
    linksInLocks.insert(link);
    anchoredLinks.push_back({anchor, link});
}

// Depth-first walk from `link` over fixed joints through massless links, attaching every link it
// reaches to `anchor`. Written with an explicit stack so that long chains cannot exhaust the call
// stack; the order of attachment is the recursive pre-order: each qualifying child with its whole
// subtree in child-link order, then the parent, then the parent's other children, and so on up.
void UrdfPluginImpl::traverse(const urdf::Link* link, const urdf::Link* anchor) {
    // Kept across calls: the walk starts at every link, and most walks end where they start.
    std::vector<WalkFrame>& stack = walkStack;
    stack.clear();
    stack.push_back(WalkFrame{link});

    const auto noteSelfEntry = [&](const WalkFrame& frame) {
        if (!frame.attachedBefore && frame.link == anchor) linksInLocks.insert(anchor);
    };

    while (!stack.empty()) {
        WalkFrame& frame = stack.back();
        const auto& children = frame.link->child_links;
        bool descended = false;
        while (frame.nextChild < children.size()) {
            const urdf::Link* child = children[frame.nextChild++].get();
            // The joint and the mass first: they rule out most links without a look-up.
            if (!child || !isFixed(child->parent_joint) || hasMass(*child) || isInLock(child)) {
                continue;
            }
            attach(child, anchor);
            noteSelfEntry(frame);
            frame.attachedBefore = true;
            stack.push_back(WalkFrame{child});
            descended = true;
            break;
        }
        if (descended) continue;

        // Upward step: every child of the frame's link has been looked at, so the frame is done;
        // the walk goes on at the link's parent when a fixed joint holds it to a massless one.
        const WalkFrame done = stack.back();
        stack.pop_back();
        if (!isFixed(done.link->parent_joint)) continue;
        const urdf::LinkSharedPtr parent = done.link->getParent();
        if (!parent || hasMass(*parent) || isInLock(parent.get())) continue;
        attach(parent.get(), anchor);
        noteSelfEntry(done);
        stack.push_back(WalkFrame{parent.get()});
    }
}

void UrdfPluginImpl::setNegligibleMassAndInertia(const urdf::Link& link,
                                                 const ModelDeclarationPtr& model) const {
    const auto assign = [&](std::vector<Token> target, std::string_view value) {
        model->appendToMembers(
            valueAssignment(makeTokenList(std::move(target)),
                            Token{TokenKind::RealLiteral, std::string(value), 0, 0}));
    };
    assign({Token::identifier(link.name), Token::identifier("inertia"), Token::identifier("mass")},
           kNegligibleMass);
    for (const auto entry : tensor_diag) {
        assign({Token::identifier(link.name), Token::identifier("inertia"),
                Token::identifier("tensor"), Token::identifier(std::string(entry))},
               kNegligibleInertia);
    }
}

void UrdfPluginImpl::mapKinematicLocks(const ModelDeclarationPtr& model) {
    // One lock per anchor, in the byte order of the anchors' names: the same text on every import
    // of a file. Each anchor's links were attached in one walk, so they stand together already;
    // the sort keeps their order.
    std::stable_sort(anchoredLinks.begin(), anchoredLinks.end(),
                     [](const AnchoredLink& a, const AnchoredLink& b) {
                         return a.anchor != b.anchor && a.anchor->name < b.anchor->name;
                     });
    // At most a lock per member, and four negligible-mass assignments (the mass and the three
    // diagonal entries of the tensor) per member and per anchor.
    model->reserveMembers(model->members().size() + 9 * anchoredLinks.size());
    for (auto group = anchoredLinks.begin(); group != anchoredLinks.end();) {
        const urdf::Link* anchor = group->anchor;
        const auto groupEnd =
            std::find_if(group, anchoredLinks.end(),
                         [anchor](const AnchoredLink& entry) { return entry.anchor != anchor; });

        std::string lockName = anchor->name;
        std::vector<ExpressionPtr> bodies;
        bodies.push_back(Constant::create(Token::identifier(anchor->name)));
        if (!hasMass(*anchor)) setNegligibleMassAndInertia(*anchor, model);
        for (; group != groupEnd; ++group) {
            const urdf::Link& member = *group->link;
            lockName += "_";
            lockName += member.name;
            bodies.push_back(Constant::create(Token::identifier(member.name)));
            if (!hasMass(member)) setNegligibleMassAndInertia(member, model);
        }
        lockName += "_kinematic_lock";

        auto bodiesAssignment = VarAssignment::createAssignment(
            std::vector<Token>{Token::identifier("bodies")},
            Array::create(std::move(bodies), Token::placeholder(), Token::placeholder()));
        model->appendToMembers(VarAssignment::createDeclaration(
            std::vector<Token>{Token::identifier(std::move(lockName))},
            std::vector<Token>{Token::identifier("Physics"), Token::identifier("KinematicLock")},
            {std::move(bodiesAssignment)}));
    }
}

// ---------------------------------------------------------------------------------------------
// The import driver

DocumentPtr UrdfPluginImpl::parse(const std::string& source,
                                  const std::shared_ptr<Import>& import) {
    // The parser reads the caller's text itself when that is safe, a padded copy otherwise.
    const std::string padded = parserReadsInPlace(source) ? std::string() : parserInput(source);
    const std::string& xml = padded.empty() ? source : padded;
    if (!withinParserLimits(xml)) return nullptr;
    // The model dies with this import, its links cut loose from each other first.
    const ParsedUrdf robot(xml);
    if (!robot) return nullptr;

    // The per-import maps are emptied on every way out, exceptions included.
    struct ClearOnExit {
        UrdfPluginImpl& impl;
        ~ClearOnExit() { impl.clearImportState(); }
    } clearOnExit{*this};

    std::string modelName = robot->name_;
    if (import && !import->getTypeSegments().empty()) {
        modelName = import->getTypeSegments().back().lexeme;
    }
    const auto model = ModelDeclaration::create(
        Token::placeholder(), Token::identifier(std::move(modelName)), Token::placeholder(),
        {Token::identifier("Robotics"), Token::identifier("Robots"), Token::identifier("Robot")},
        {}, {}, {}, {});
    const auto document = Document::create("urdf", {model});

    // The robot's links in name order, as plain pointers: copying the shared pointers would touch
    // every link's reference count twice more, in memory spread over the whole model.
    std::vector<const urdf::Link*> links;
    links.reserve(robot->links_.size());
    linkNames.reset(robot->links_.size());
    for (const auto& [name, link] : robot->links_) {
        links.push_back(link.get());
        linkNames.insert(link->name);
    }
    linkBodies.reset(links.size());
    // A body per link, then an interaction, range, actuator and initial value per joint.
    model->reserveMembers(links.size() + 4 * robot->joints_.size());

    std::vector<VarAssignment*> bodies;
    bodies.reserve(links.size());
    for (const urdf::Link* link : links) bodies.push_back(&mapLink(*link, model));
    // urdfdom lists each joint of a link with the joint's child link at the same place.
    for (std::size_t i = 0; i < links.size(); ++i) {
        const urdf::Link& link = *links[i];
        for (std::size_t k = 0; k < link.child_joints.size(); ++k) {
            const urdf::Link* child =
                k < link.child_links.size() ? link.child_links[k].get() : nullptr;
            mapJoint(*link.child_joints[k], child, *bodies[i], model);
        }
    }
    for (const urdf::Link* link : links) {
        if (hasMass(*link)) traverse(link, link);
    }
    for (const urdf::Link* link : links) {
        if (!hasMass(*link)) traverse(link, link);
    }
    mapKinematicLocks(model);
    return document;
}

// ---------------------------------------------------------------------------------------------
// The plugin object

UrdfPlugin::UrdfPlugin() : impl_(std::make_unique<UrdfPluginImpl>()) {}

UrdfPlugin::~UrdfPlugin() = default;

std::shared_ptr<Document> UrdfPlugin::parse(const std::string& source,
                                            std::shared_ptr<Import> import,
                                            ErrorReporter& /*reporter*/) {
    return impl_->parse(source, import);
}

std::vector<std::string> UrdfPlugin::extensions() const {
    return {".urdf"};
}

void UrdfPlugin::setPrecision(std::int32_t precision) {
    impl_->precision = precision;
}

bool UrdfPlugin::keyShouldBeSource() const {
    return true;
}

}  // namespace corvane::Plugins::Urdf
