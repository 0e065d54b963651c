#include "ModelOverview.hpp"

#include <array>
#include <optional>
#include <string_view>
#include <unordered_set>
#include <utility>

namespace corvane::tools {

namespace {

using TypePath = std::array<std::string_view, 3>;

constexpr TypePath rigidBodyType{"Physics3D", "Bodies", "RigidBody"};
constexpr TypePath hingeType{"Physics3D", "Interactions", "Hinge"};
constexpr TypePath prismaticType{"Physics3D", "Interactions", "Prismatic"};
constexpr TypePath lockType{"Physics3D", "Interactions", "Lock"};
constexpr TypePath rotationalRangeType{"Physics3D", "Interactions", "RotationalRange"};
constexpr TypePath linearRangeType{"Physics3D", "Interactions", "LinearRange"};
constexpr TypePath actuatorType{"Physics", "Interactions", "Interaction1DOF"};

bool segmentsAre(const std::vector<Token>& segments,
                 std::initializer_list<std::string_view> names) {
    if (segments.size() != names.size()) return false;
    auto name = names.begin();
    for (const auto& segment : segments) {
        if (segment.lexeme != *name++) return false;
    }
    return true;
}

bool hasType(const VarAssignment& node, const TypePath& type) {
    return node.declaresType() && segmentsAre(node.type(), {type[0], type[1], type[2]});
}

bool isKinematicLock(const VarAssignment& node) {
    return node.declaresType() && segmentsAre(node.type(), {"Physics", "KinematicLock"});
}

// A declaration of one named thing, such as a body or an interaction: its single target segment.
std::optional<std::string> declaredName(const VarAssignment& node) {
    if (node.target().size() != 1) return std::nullopt;
    return node.target().front().lexeme;
}

std::string geometryKind(const std::string& typeName) {
    if (typeName == "Sphere") return "sphere";
    if (typeName == "Box") return "box";
    if (typeName == "Cylinder") return "cylinder";
    if (typeName == "ExternalTriMeshGeometry") return "mesh";
    return typeName;
}

// The geometry counts a member of a body adds to, by the bundle of its type; null for members
// that are no geometry.
GeometryCounts* geometryCountsFor(const VarAssignment& member, BodyOverview& body) {
    const auto& type = member.type();
    if (!member.declaresType() || type.size() != 3 || type[1].lexeme != "Geometries") {
        return nullptr;
    }
    if (type[0].lexeme == "Physics3D") return &body.contact;
    if (type[0].lexeme == "Visuals") return &body.visual;
    return nullptr;
}

BodyOverview readBody(const VarAssignment& node, std::string name) {
    BodyOverview body;
    body.name = std::move(name);
    for (const auto& member : node.members()) {
        if (!member) continue;
        if (!member->declaresType() && segmentsAre(member->target(), {"inertia", "mass"})) {
            body.ownMass = true;
        }
        if (GeometryCounts* counts = geometryCountsFor(*member, body)) {
            ++(*counts)[geometryKind(member->type().back().lexeme)];
        }
    }
    return body;
}

// The body a connector reference names: its first segment.
std::string referencedBody(const ExpressionPtr& element) {
    if (!element || element->expressionKind() != Expression::Kind::Reference) return {};
    const auto& segments = static_cast<const Reference&>(*element).segments();
    return segments.empty() ? std::string{} : segments.front();
}

const Array* arrayValue(const VarAssignment& node) {
    const ExpressionPtr& value = node.value();
    if (!value || value->expressionKind() != Expression::Kind::Array) return nullptr;
    return static_cast<const Array*>(value.get());
}

InteractionOverview readInteraction(const VarAssignment& node, std::string name,
                                    InteractionKind kind) {
    InteractionOverview interaction{std::move(name), kind, {}, {}};
    for (const auto& member : node.members()) {
        if (!member || !segmentsAre(member->target(), {"connectors"})) continue;
        const Array* connectors = arrayValue(*member);
        if (!connectors) continue;
        const auto& elements = connectors->elements();
        if (!elements.empty()) interaction.parentBody = referencedBody(elements[0]);
        if (elements.size() > 1) interaction.childBody = referencedBody(elements[1]);
        break;
    }
    return interaction;
}

LockOverview readLock(const VarAssignment& node, std::string name) {
    LockOverview lock{std::move(name), {}};
    for (const auto& member : node.members()) {
        if (!member || !segmentsAre(member->target(), {"bodies"})) continue;
        const Array* bodies = arrayValue(*member);
        if (!bodies) continue;
        for (const auto& element : bodies->elements()) {
            if (element && element->expressionKind() == Expression::Kind::Constant) {
                lock.bodies.push_back(static_cast<const Constant&>(*element).token().lexeme);
            }
        }
    }
    return lock;
}

std::optional<InteractionKind> interactionKindOf(const VarAssignment& node) {
    if (hasType(node, hingeType)) return InteractionKind::Hinge;
    if (hasType(node, prismaticType)) return InteractionKind::Prismatic;
    if (hasType(node, lockType)) return InteractionKind::Lock;
    return std::nullopt;
}

// An assignment N.inertia.mass = ... made from the model: the mass of body N.
std::optional<std::string> massAssignedFromOutside(const VarAssignment& node) {
    const auto& target = node.target();
    if (node.declaresType() || target.size() != 3 || target[1].lexeme != "inertia" ||
        target[2].lexeme != "mass") {
        return std::nullopt;
    }
    return target[0].lexeme;
}

class OverviewReader {
  public:
    void read(const VarAssignment& node) {
        if (const auto body = massAssignedFromOutside(node)) {
            massAssigned_.insert(*body);
            return;
        }
        const auto name = declaredName(node);
        if (!name) return;
        if (hasType(node, rigidBodyType)) {
            overview_.bodies.push_back(readBody(node, *name));
        } else if (const auto kind = interactionKindOf(node)) {
            overview_.interactions.push_back(readInteraction(node, *name, *kind));
        } else if (hasType(node, rotationalRangeType) || hasType(node, linearRangeType)) {
            ++overview_.ranges;
        } else if (hasType(node, actuatorType)) {
            ++overview_.actuators;
        } else if (isKinematicLock(node)) {
            overview_.locks.push_back(readLock(node, *name));
        }
    }

    ModelOverview finish(std::string modelName) && {
        overview_.modelName = std::move(modelName);
        for (auto& body : overview_.bodies) body.assignedMass = massAssigned_.contains(body.name);
        return std::move(overview_);
    }

  private:
    ModelOverview overview_;
    std::unordered_set<std::string> massAssigned_;
};

}  // namespace

ModelOverview readModelOverview(const Document& document) {
    for (const auto& node : document.nodes()) {
        if (!node || !node->isModelDeclaration()) continue;
        const auto model = node->toModelDeclaration();
        OverviewReader reader;
        for (const auto& member : model->members()) {
            if (member && member->isVarAssignment()) reader.read(*member->toVarAssignment());
        }
        return std::move(reader).finish(model->name().lexeme);
    }
    return {};
}

const char* kindName(InteractionKind kind) {
    switch (kind) {
        case InteractionKind::Hinge:
            return "hinge";
        case InteractionKind::Prismatic:
            return "prismatic";
        case InteractionKind::Lock:
            return "lock";
    }
    return "interaction";
}

}  // namespace corvane::tools
