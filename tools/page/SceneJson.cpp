#include "page/SceneJson.hpp"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <numbers>
#include <utility>

#include "model/Geometry.hpp"
#include "support/Base64.hpp"
#include "support/VisibleText.hpp"

namespace corvane::tools {

namespace {

using json = nlohmann::ordered_json;

// Below this a robot's size gives no sensible span for a prismatic joint without a range.
constexpr double smallestPrismaticSpan = 0.1;

json vectorJson(const Vector3& v) {
    return json::array({v.x, v.y, v.z});
}

json quaternionJson(const Quaternion& q) {
    return json::array({q.x, q.y, q.z, q.w});
}

json poseJson(const RigidTransform& transform) {
    return {{"position", vectorJson(transform.translation)},
            {"rotation", quaternionJson(quaternionOf(transform.rotation))}};
}

json poseJson(const Pose& pose) {
    return {{"position", vectorJson(pose.position)}, {"rotation", quaternionJson(pose.rotation)}};
}

json optionalNumber(const std::optional<double>& value) {
    return value ? json(*value) : json(nullptr);
}

json inertiaJson(const std::optional<InertiaTensor>& inertia) {
    if (!inertia) return nullptr;
    json rows = json::array();
    for (const auto& row : *inertia) rows.push_back(json::array({row[0], row[1], row[2]}));
    return rows;
}

json inertiaBoxJson(const BodyOverview& body) {
    const auto box = equivalentInertiaBox(body);
    if (!box) return nullptr;
    json result = poseJson(box->pose);
    result["size"] = vectorJson(box->size);
    return result;
}

const char* pageShapeName(GeometryShape shape) {
    return shape == GeometryShape::Other ? "other" : shapeName(shape);
}

json geometryJson(const GeometryOverview& geometry, const std::optional<std::size_t>& mesh) {
    json result = poseJson(geometry.localTransform);
    result["name"] = visibleText(geometry.name);
    result["type"] = visibleText(geometry.typeName);
    result["contact"] = geometry.contact;
    result["shape"] = pageShapeName(geometry.shape);
    if (geometry.radius) result["radius"] = *geometry.radius;
    if (geometry.height) result["height"] = *geometry.height;
    if (geometry.size) result["size"] = vectorJson(*geometry.size);
    if (geometry.shape == GeometryShape::Mesh) {
        if (geometry.meshPath) result["path"] = visibleText(*geometry.meshPath);
        result["scale"] = vectorJson(geometry.scale);
        result["mesh"] = mesh ? json(*mesh) : json(nullptr);
    }
    return result;
}

json connectorJson(const ConnectorOverview& connector) {
    return {{"name", visibleText(connector.name)},
            {"position", vectorJson(connector.position)},
            {"mainAxis", vectorJson(connector.mainAxis)},
            {"normal", vectorJson(connector.normal)}};
}

json bodyJson(const BodyOverview& body, const RigidTransform& pose,
              const std::vector<std::optional<std::size_t>>& meshes) {
    json result = poseJson(pose);
    result["name"] = visibleText(body.name);
    result["mass"] = optionalNumber(body.mass);
    result["assignedMass"] = optionalNumber(body.assignedMassValue);
    result["withoutAnyMass"] = body.withoutAnyMass();
    result["centreOfMass"] = poseJson(body.centreOfMass);
    result["inertia"] = inertiaJson(body.inertia);
    result["inertiaBox"] = inertiaBoxJson(body);
    json geometries = json::array();
    for (std::size_t i = 0; i < body.geometries.size(); ++i) {
        geometries.push_back(geometryJson(body.geometries[i], meshes[i]));
    }
    result["geometries"] = std::move(geometries);
    json connectors = json::array();
    for (const auto& connector : body.connectors) connectors.push_back(connectorJson(connector));
    result["connectors"] = std::move(connectors);
    return result;
}

// The span of an interaction's slider: its range, else a full turn for a hinge and the robot's
// size either way for a prismatic joint; always holding the initial value.
std::pair<double, double> sliderSpan(const InteractionOverview& interaction, double initial,
                                     double extent) {
    std::pair<double, double> span{0.0, 0.0};
    if (interaction.range) {
        span = std::minmax(interaction.range->start, interaction.range->end);
    } else if (interaction.kind == InteractionKind::Hinge) {
        span = {-std::numbers::pi, std::numbers::pi};
    } else if (interaction.kind == InteractionKind::Prismatic) {
        const double reach = std::max(extent, smallestPrismaticSpan);
        span = {-reach, reach};
    }
    if (std::isfinite(initial))
        span = {std::min(span.first, initial), std::max(span.second, initial)};
    return span;
}

json interactionJson(const InteractionOverview& interaction, const SceneJoint& joint,
                     double extent) {
    const auto [low, high] = sliderSpan(interaction, joint.initialValue, extent);
    const Vector3 axis{joint.parentFrame.rotation[0][0], joint.parentFrame.rotation[1][0],
                       joint.parentFrame.rotation[2][0]};
    return {{"name", visibleText(interaction.name)},
            {"kind", kindName(interaction.kind)},
            {"parent", visibleText(interaction.parentBody)},
            {"child", visibleText(interaction.childBody)},
            {"parentConnector", visibleText(interaction.parentConnector)},
            {"childConnector", visibleText(interaction.childConnector)},
            {"parentFrame", poseJson(joint.parentFrame)},
            {"childFrame", poseJson(joint.childFrame)},
            {"axis", vectorJson(axis)},
            {"range", interaction.range
                          ? json::array({interaction.range->start, interaction.range->end})
                          : json(nullptr)},
            {"initial", joint.initialValue},
            {"slider", json::array({low, high})}};
}

json meshJson(const EmbeddedMesh& mesh, std::size_t index, bool byIndex) {
    json result{{"path", visibleText(mesh.path)},
                {"format", mesh.format},
                {"data", mesh.bytes && !byIndex ? json(base64Encode(*mesh.bytes)) : json(nullptr)},
                {"problem", mesh.problem ? json(visibleText(*mesh.problem)) : json(nullptr)}};
    if (byIndex && mesh.bytes) result["url"] = "/meshes/" + std::to_string(index);
    return result;
}

json optionalText(const std::optional<std::string>& text) {
    return text ? json(visibleText(*text)) : json(nullptr);
}

json findingJson(const SceneFinding& finding) {
    json chain = json::array();
    for (const auto& step : finding.chain) {
        chain.push_back({{"file", visibleText(step.file)},
                         {"line", step.line > 0 ? json(step.line) : json(nullptr)},
                         {"note", visibleText(step.note)}});
    }
    return {{"severity", finding.severity},
            {"rule", finding.rule},
            {"message", visibleText(finding.message)},
            {"file", visibleText(finding.file)},
            {"line", finding.line > 0 ? json(finding.line) : json(nullptr)},
            {"chain", std::move(chain)},
            {"body", optionalText(finding.body)},
            {"geometry", optionalText(finding.geometry)},
            {"interaction", optionalText(finding.interaction)}};
}

json locksJson(const std::vector<LockOverview>& locks) {
    json result = json::array();
    for (const auto& lock : locks) {
        json bodies = json::array();
        for (const auto& body : lock.bodies) bodies.push_back(visibleText(body));
        result.push_back({{"name", visibleText(lock.name)}, {"bodies", std::move(bodies)}});
    }
    return result;
}

}  // namespace

std::optional<InertiaBox> equivalentInertiaBox(const BodyOverview& body) {
    if (!body.mass || !body.inertia || !std::isfinite(*body.mass) || *body.mass <= 0) {
        return std::nullopt;
    }
    for (const auto& row : *body.inertia) {
        for (const double entry : row) {
            if (!std::isfinite(entry)) return std::nullopt;
        }
    }
    const auto [moments, axes] = symmetricEigensystem(symmetricPart(*body.inertia));
    InertiaBox box;
    box.size = uniformBoxEdges(moments, *body.mass);
    box.pose = transformOf(body.centreOfMass) * RigidTransform{axes, {}};
    return box;
}

std::string sceneJson(const ModelOverview& overview, const Scene& scene, const SceneMeshes& meshes,
                      const SceneExtras& extras) {
    json bodies = json::array();
    for (std::size_t i = 0; i < overview.bodies.size(); ++i) {
        bodies.push_back(bodyJson(overview.bodies[i], scene.bodyPoses[i], meshes.geometryMesh[i]));
    }
    json interactions = json::array();
    for (std::size_t i = 0; i < overview.interactions.size(); ++i) {
        interactions.push_back(
            interactionJson(overview.interactions[i], scene.joints[i], scene.extent));
    }
    json meshList = json::array();
    for (std::size_t i = 0; i < meshes.meshes.size(); ++i)
        meshList.push_back(meshJson(meshes.meshes[i], i, extras.meshesByIndex));
    json unplaced = json::array();
    for (const std::size_t body : scene.unplaced) {
        unplaced.push_back(visibleText(overview.bodies[body].name));
    }
    json document{{"format", "corvane-scene"},
                  {"version", 1},
                  {"model", visibleText(overview.modelName)},
                  {"extent", scene.extent},
                  {"bodies", std::move(bodies)},
                  {"interactions", std::move(interactions)},
                  {"order", scene.order},
                  {"locks", locksJson(overview.locks)},
                  {"meshes", std::move(meshList)},
                  {"unplaced", std::move(unplaced)}};
    if (extras.findings) {
        json findings = json::array();
        for (const auto& finding : *extras.findings) findings.push_back(findingJson(finding));
        document["findings"] = std::move(findings);
    }
    return escapeForScriptElement(document.dump(-1, ' ', false, json::error_handler_t::replace));
}

std::string escapeForScriptElement(std::string_view json) {
    std::string escaped;
    escaped.reserve(json.size() + json.size() / 64);
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '<') {
            escaped += "\\u003c";
        } else if (c == '>') {
            escaped += "\\u003e";
        } else if (c == '&') {
            escaped += "\\u0026";
        } else if (c == '\xE2' && i + 2 < json.size() && json[i + 1] == '\x80' &&
                   (json[i + 2] == '\xA8' || json[i + 2] == '\xA9')) {
            escaped += json[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            escaped += c;
        }
    }
    return escaped;
}

}  // namespace corvane::tools
