#include "model/ModelOverview.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>
#include <system_error>
#include <unordered_map>
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

GeometryShape shapeOf(const std::string& typeName) {
    if (typeName == "Sphere") return GeometryShape::Sphere;
    if (typeName == "Box") return GeometryShape::Box;
    if (typeName == "Cylinder") return GeometryShape::Cylinder;
    if (typeName == "ExternalTriMeshGeometry") return GeometryShape::Mesh;
    return GeometryShape::Other;
}

std::string geometryKind(const GeometryOverview& geometry) {
    if (geometry.shape == GeometryShape::Other) return geometry.typeName;
    return shapeName(geometry.shape);
}

// The bundle of a geometry declaration: contact ("Physics3D") or visual ("Visuals"); nullopt
// for members that are no geometry.
std::optional<bool> geometryIsContact(const VarAssignment& member) {
    const auto& type = member.type();
    if (!member.declaresType() || member.target().size() != 1 || type.size() != 3 ||
        type[1].lexeme != "Geometries") {
        return std::nullopt;
    }
    if (type[0].lexeme == "Physics3D") return true;
    if (type[0].lexeme == "Visuals") return false;
    return std::nullopt;
}

bool isConnectorDeclaration(const VarAssignment& member) {
    return member.declaresType() && member.target().size() == 1 &&
           segmentsAre(member.type(), {"Physics3D", "Interactions", "MateConnector"});
}

// The number a real literal holds: its lexeme read back ("inf" and "nan" included).
std::optional<double> realValue(const VarAssignment& node) {
    const ExpressionPtr& value = node.value();
    if (!value || value->expressionKind() != Expression::Kind::Constant) return std::nullopt;
    const Token& token = static_cast<const Constant&>(*value).token();
    if (token.kind != TokenKind::RealLiteral) return std::nullopt;
    double number = 0;
    const char* first = token.lexeme.data();
    const char* last = first + token.lexeme.size();
    const auto [end, error] = std::from_chars(first, last, number);
    if (error != std::errc{} || end != last) return std::nullopt;
    return number;
}

// The text a string literal holds: its lexeme without the enclosing quotes.
std::optional<std::string> stringValue(const VarAssignment& node) {
    const ExpressionPtr& value = node.value();
    if (!value || value->expressionKind() != Expression::Kind::Constant) return std::nullopt;
    const Token& token = static_cast<const Constant&>(*value).token();
    if (token.kind != TokenKind::StringLiteral || token.lexeme.size() < 2) return std::nullopt;
    return token.lexeme.substr(1, token.lexeme.size() - 2);
}

// The lexemes of `target` from segment `first` on, joined by ".".
std::string dottedTail(const std::vector<Token>& target, std::size_t first) {
    std::string path;
    for (std::size_t i = first; i < target.size(); ++i) {
        if (i > first) path += '.';
        path += target[i].lexeme;
    }
    return path;
}

// Sets the component of `vector` that `axis` names ("x", "y" or "z").
bool setComponent(Vector3& vector, std::string_view axis, double value) {
    if (axis == "x")
        vector.x = value;
    else if (axis == "y")
        vector.y = value;
    else if (axis == "z")
        vector.z = value;
    else
        return false;
    return true;
}

bool setComponent(Quaternion& rotation, std::string_view axis, double value) {
    if (axis == "x")
        rotation.x = value;
    else if (axis == "y")
        rotation.y = value;
    else if (axis == "z")
        rotation.z = value;
    else if (axis == "w")
        rotation.w = value;
    else
        return false;
    return true;
}

// Sets the pose member that `path` ("position.x", "rotation.w", ...) names.
bool setPoseMember(Pose& pose, std::string_view path, double value) {
    if (path.starts_with("position.")) return setComponent(pose.position, path.substr(9), value);
    if (path.starts_with("rotation.")) return setComponent(pose.rotation, path.substr(9), value);
    return false;
}

GeometryOverview readGeometry(const VarAssignment& node, bool contact) {
    GeometryOverview geometry;
    geometry.name = node.target().front().lexeme;
    geometry.typeName = node.type().back().lexeme;
    geometry.shape = shapeOf(geometry.typeName);
    geometry.contact = contact;
    for (const auto& member : node.members()) {
        if (!member || member->declaresType()) continue;
        const std::string path = dottedTail(member->target(), 0);
        if (path == "path") {
            geometry.meshPath = stringValue(*member);
            continue;
        }
        const auto value = realValue(*member);
        if (!value) continue;
        if (path == "radius") {
            geometry.radius = *value;
        } else if (path == "height") {
            geometry.height = *value;
        } else if (path.starts_with("size.")) {
            if (!geometry.size) geometry.size = Vector3{};
            setComponent(*geometry.size, std::string_view(path).substr(5), *value);
        } else if (path.starts_with("scale.")) {
            setComponent(geometry.scale, std::string_view(path).substr(6), *value);
        } else if (path.starts_with("local_transform.")) {
            geometry.hasLocalTransform |=
                setPoseMember(geometry.localTransform, std::string_view(path).substr(16), *value);
        }
    }
    return geometry;
}

// Entry "eRC" of the tensor: row R, column C.
bool setTensorEntry(InertiaTensor& tensor, std::string_view entry, double value) {
    if (entry.size() != 3 || entry[0] != 'e' || entry[1] < '0' || entry[1] > '2' ||
        entry[2] < '0' || entry[2] > '2') {
        return false;
    }
    tensor[static_cast<std::size_t>(entry[1] - '0')][static_cast<std::size_t>(entry[2] - '0')] =
        value;
    return true;
}

class BodyReader {
  public:
    explicit BodyReader(std::string name) { body_.name = std::move(name); }

    void read(const VarAssignment& member) {
        if (const auto contact = geometryIsContact(member)) {
            body_.geometries.push_back(readGeometry(member, *contact));
            auto& counts = *contact ? body_.contactCounts : body_.visualCounts;
            ++counts[geometryKind(body_.geometries.back())];
        } else if (isConnectorDeclaration(member)) {
            body_.connectors.push_back({member.target().front().lexeme, {}, {}, {}});
        } else if (!member.declaresType()) {
            readValue(member);
        }
    }

    BodyOverview finish() && { return std::move(body_); }

  private:
    void readValue(const VarAssignment& member) {
        const auto& target = member.target();
        if (target.empty()) return;
        const std::string path = dottedTail(target, 0);
        if (path == "inertia.mass") body_.ownMass = true;
        const auto value = realValue(member);
        if (!value) return;
        if (path == "inertia.mass") {
            body_.mass = *value;
        } else if (path.starts_with("inertia.tensor.")) {
            InertiaTensor tensor = body_.inertia.value_or(InertiaTensor{});
            if (setTensorEntry(tensor, std::string_view(path).substr(15), *value)) {
                body_.inertia = tensor;
            }
        } else if (path.starts_with("kinematics.local_cm_transform.")) {
            setPoseMember(body_.centreOfMass, std::string_view(path).substr(30), *value);
        } else if (target.size() == 3) {
            readConnectorValue(target, *value);
        }
    }

    // CONNECTOR.position.x and the like, after the connector's declaration.
    void readConnectorValue(const std::vector<Token>& target, double value) {
        ConnectorOverview* connector = nullptr;
        for (auto& candidate : body_.connectors) {
            if (candidate.name == target[0].lexeme) connector = &candidate;
        }
        if (!connector) return;
        const std::string& vector = target[1].lexeme;
        const std::string& axis = target[2].lexeme;
        if (vector == "position") setComponent(connector->position, axis, value);
        if (vector == "main_axis") setComponent(connector->mainAxis, axis, value);
        if (vector == "normal") setComponent(connector->normal, axis, value);
    }

    BodyOverview body_;
};

BodyOverview readBody(const VarAssignment& node, std::string name) {
    BodyReader reader(std::move(name));
    for (const auto& member : node.members()) {
        if (member) reader.read(*member);
    }
    return std::move(reader).finish();
}

// A connector reference BODY.CONNECTOR: its two segments (empty when it is no reference).
std::pair<std::string, std::string> referencedConnector(const ExpressionPtr& element) {
    if (!element || element->expressionKind() != Expression::Kind::Reference) return {};
    const auto& segments = static_cast<const Reference&>(*element).segments();
    if (segments.empty()) return {};
    return {segments.front(), segments.size() > 1 ? segments[1] : std::string{}};
}

const Array* arrayValue(const VarAssignment& node) {
    const ExpressionPtr& value = node.value();
    if (!value || value->expressionKind() != Expression::Kind::Array) return nullptr;
    return static_cast<const Array*>(value.get());
}

// The "connectors" member of an interaction, range or actuator: the two references.
struct ConnectorPair {
    std::pair<std::string, std::string> first;
    std::pair<std::string, std::string> second;

    // One key for the pair, to match a range or an actuator with its interaction.
    std::string key() const {
        return first.first + '\0' + first.second + '\0' + second.first + '\0' + second.second;
    }
};

ConnectorPair connectorsOf(const VarAssignment& node) {
    ConnectorPair pair;
    for (const auto& member : node.members()) {
        if (!member || !segmentsAre(member->target(), {"connectors"})) continue;
        const Array* connectors = arrayValue(*member);
        if (!connectors) continue;
        const auto& elements = connectors->elements();
        if (!elements.empty()) pair.first = referencedConnector(elements[0]);
        if (elements.size() > 1) pair.second = referencedConnector(elements[1]);
        break;
    }
    return pair;
}

// The value of the member `name` of `node` (start, end, min_effort, ...), 0 when absent.
double memberValue(const VarAssignment& node, std::string_view name) {
    for (const auto& member : node.members()) {
        if (member && !member->declaresType() && segmentsAre(member->target(), {name})) {
            return realValue(*member).value_or(0.0);
        }
    }
    return 0.0;
}

InteractionOverview readInteraction(const VarAssignment& node, std::string name,
                                    InteractionKind kind) {
    const ConnectorPair connectors = connectorsOf(node);
    InteractionOverview interaction{std::move(name), kind, {}, {}, {}, {}, {}, {}, {}};
    interaction.parentBody = connectors.first.first;
    interaction.parentConnector = connectors.first.second;
    interaction.childBody = connectors.second.first;
    interaction.childConnector = connectors.second.second;
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
bool isMassAssignedFromOutside(const VarAssignment& node) {
    const auto& target = node.target();
    return !node.declaresType() && target.size() == 3 && target[1].lexeme == "inertia" &&
           target[2].lexeme == "mass";
}

// An assignment N.initial_angle or N.initial_position = ...: the initial value of interaction N.
bool isInitialValue(const VarAssignment& node) {
    const auto& target = node.target();
    return !node.declaresType() && target.size() == 2 &&
           (target[1].lexeme == "initial_angle" || target[1].lexeme == "initial_position");
}

// Finds the numbers of one model member, at any depth, that are infinities or NaNs: the host
// receives them as they stand and no simulator can use them.
class NonFiniteCollector {
  public:
    explicit NonFiniteCollector(std::vector<NonFiniteNumber>& found) : found_(found) {}

    void collect(const VarAssignment& node) {
        chain_.push_back(&node);
        if (const ExpressionPtr& value = node.value()) collectValue(*value);
        for (const auto& member : node.members()) {
            if (member) collect(*member);
        }
        chain_.pop_back();
    }

  private:
    void collectValue(const Expression& value) {
        if (value.expressionKind() == Expression::Kind::Constant) {
            const Token& token = static_cast<const Constant&>(value).token();
            if (isNonFiniteReal(token)) record(token.lexeme);
        } else if (value.expressionKind() == Expression::Kind::Array) {
            for (const auto& element : static_cast<const Array&>(value).elements()) {
                if (element) collectValue(*element);
            }
        }
    }

    static bool isNonFiniteReal(const Token& token) {
        // Every spelling of an infinity or a NaN holds an "n"; most literals are ruled out here.
        if (token.kind != TokenKind::RealLiteral ||
            token.lexeme.find_first_of("nN") == std::string::npos) {
            return false;
        }
        double number = 0;
        const char* first = token.lexeme.data();
        const char* last = first + token.lexeme.size();
        const auto [end, error] = std::from_chars(first, last, number);
        return error == std::errc{} && end == last && !std::isfinite(number);
    }

    // The first segment of the outermost target names the member; the rest is the path.
    void record(const std::string& lexeme) {
        NonFiniteNumber number{{}, {}, lexeme};
        bool named = false;
        for (const VarAssignment* node : chain_) {
            for (const Token& segment : node->target()) {
                if (!named) {
                    number.declaration = segment.lexeme;
                    named = true;
                    continue;
                }
                if (!number.path.empty()) number.path += '.';
                number.path += segment.lexeme;
            }
        }
        found_.push_back(std::move(number));
    }

    std::vector<NonFiniteNumber>& found_;
    std::vector<const VarAssignment*> chain_;
};

class OverviewReader {
  public:
    void read(const VarAssignment& node) {
        NonFiniteCollector(overview_.nonFinite).collect(node);
        if (isMassAssignedFromOutside(node)) {
            massAssigned_[node.target().front().lexeme] = realValue(node);
            return;
        }
        if (isInitialValue(node)) {
            if (const auto value = realValue(node))
                initialValues_[node.target().front().lexeme] = *value;
            return;
        }
        const auto name = declaredName(node);
        if (!name) return;
        if (hasType(node, rigidBodyType)) {
            overview_.bodies.push_back(readBody(node, *name));
            declare(*name, Declared::Body, *name);
        } else if (const auto kind = interactionKindOf(node)) {
            overview_.interactions.push_back(readInteraction(node, *name, *kind));
            declare(*name, Declared::Interaction, overview_.interactions.back().childBody);
        } else if (hasType(node, rotationalRangeType) || hasType(node, linearRangeType)) {
            ++overview_.ranges;
            const ConnectorPair connectors = connectorsOf(node);
            ranges_.try_emplace(connectors.key(), RangeOverview{*name, memberValue(node, "start"),
                                                                memberValue(node, "end")});
            declare(*name, Declared::Range, connectors.second.first);
        } else if (hasType(node, actuatorType)) {
            ++overview_.actuators;
            const ConnectorPair connectors = connectorsOf(node);
            actuators_.try_emplace(connectors.key(),
                                   ActuatorOverview{*name, memberValue(node, "min_effort"),
                                                    memberValue(node, "max_effort")});
            declare(*name, Declared::Actuator, connectors.second.first);
        } else if (isKinematicLock(node)) {
            overview_.locks.push_back(readLock(node, *name));
            const auto& bodies = overview_.locks.back().bodies;
            declare(*name, Declared::KinematicLock, bodies.empty() ? "" : bodies.front());
        } else if (node.declaresType()) {
            declare(*name, Declared::Other, "");
        }
    }

    ModelOverview finish(std::string modelName) && {
        overview_.modelName = std::move(modelName);
        for (std::size_t i = 0; i < overview_.bodies.size(); ++i) {
            overview_.bodyIndex.try_emplace(overview_.bodies[i].name, i);
        }
        for (auto& body : overview_.bodies) {
            const auto assigned = massAssigned_.find(body.name);
            body.assignedMass = assigned != massAssigned_.end();
            if (body.assignedMass) body.assignedMassValue = assigned->second;
        }
        for (auto& interaction : overview_.interactions) attachParts(interaction);
        return std::move(overview_);
    }

  private:
    using Declared = DeclarationOverview::Kind;

    void declare(const std::string& name, Declared kind, std::string body) {
        overview_.declarations.push_back({name, kind, std::move(body)});
    }

    void attachParts(InteractionOverview& interaction) const {
        const std::string key = ConnectorPair{{interaction.parentBody, interaction.parentConnector},
                                              {interaction.childBody, interaction.childConnector}}
                                    .key();
        if (const auto range = ranges_.find(key); range != ranges_.end()) {
            interaction.range = range->second;
        }
        if (const auto actuator = actuators_.find(key); actuator != actuators_.end()) {
            interaction.actuator = actuator->second;
        }
        if (const auto value = initialValues_.find(interaction.name);
            value != initialValues_.end()) {
            interaction.initialValue = value->second;
        }
    }

    ModelOverview overview_;
    std::unordered_map<std::string, std::optional<double>> massAssigned_;
    std::unordered_map<std::string, double> initialValues_;
    std::unordered_map<std::string, RangeOverview> ranges_;
    std::unordered_map<std::string, ActuatorOverview> actuators_;
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

const char* shapeName(GeometryShape shape) {
    switch (shape) {
        case GeometryShape::Sphere:
            return "sphere";
        case GeometryShape::Box:
            return "box";
        case GeometryShape::Cylinder:
            return "cylinder";
        case GeometryShape::Mesh:
            return "mesh";
        case GeometryShape::Other:
            break;
    }
    return "geometry";
}

namespace {

template <typename Item>
const Item* findNamed(const std::vector<Item>& items, const std::string& name) {
    for (const auto& item : items) {
        if (item.name == name) return &item;
    }
    return nullptr;
}

}  // namespace

const ConnectorOverview* BodyOverview::connector(const std::string& name) const {
    return findNamed(connectors, name);
}

const BodyOverview* ModelOverview::body(const std::string& name) const {
    if (bodyIndex.empty()) return findNamed(bodies, name);
    const auto found = bodyIndex.find(name);
    return found == bodyIndex.end() ? nullptr : &bodies[found->second];
}

}  // namespace corvane::tools
