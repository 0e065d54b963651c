#include "page/Scene.hpp"

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>

namespace corvane::tools {

namespace {

double dot(const Vector3& a, const Vector3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vector3 cross(const Vector3& a, const Vector3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vector3 scaled(const Vector3& v, double factor) {
    return {v.x * factor, v.y * factor, v.z * factor};
}

Vector3 minus(const Vector3& a, const Vector3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

Vector3 plus(const Vector3& a, const Vector3& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

bool usable(double norm) {
    return std::isfinite(norm) && norm > 1e-300;
}

// A unit vector perpendicular to the unit vector `axis`.
Vector3 anyPerpendicular(const Vector3& axis) {
    const Vector3 helper = std::abs(axis.x) < 0.9 ? Vector3{1, 0, 0} : Vector3{0, 1, 0};
    const Vector3 perpendicular = cross(axis, helper);
    return scaled(perpendicular, 1 / length(perpendicular));
}

Rotation fromColumns(const Vector3& x, const Vector3& y, const Vector3& z) {
    return {{{x.x, y.x, z.x}, {x.y, y.y, z.y}, {x.z, y.z, z.z}}};
}

Rotation multiply(const Rotation& a, const Rotation& b) {
    Rotation product{};
    for (std::size_t row = 0; row < 3; ++row) {
        for (std::size_t column = 0; column < 3; ++column) {
            double sum = 0;
            for (std::size_t k = 0; k < 3; ++k) sum += a[row][k] * b[k][column];
            product[row][column] = sum;
        }
    }
    return product;
}

Rotation transposed(const Rotation& rotation) {
    Rotation result{};
    for (std::size_t row = 0; row < 3; ++row) {
        for (std::size_t column = 0; column < 3; ++column)
            result[row][column] = rotation[column][row];
    }
    return result;
}

std::size_t indexOf(const ModelOverview& overview, const std::string& name) {
    const BodyOverview* body = overview.body(name);
    return body ? static_cast<std::size_t>(body - overview.bodies.data()) : SceneJoint::npos;
}

SceneJoint jointOf(const ModelOverview& overview, const InteractionOverview& interaction) {
    SceneJoint joint;
    joint.parent = indexOf(overview, interaction.parentBody);
    joint.child = indexOf(overview, interaction.childBody);
    joint.initialValue = interaction.initialValue.value_or(0.0);
    if (joint.parent == SceneJoint::npos || joint.child == SceneJoint::npos) return joint;
    const ConnectorOverview* parentConnector =
        overview.bodies[joint.parent].connector(interaction.parentConnector);
    const ConnectorOverview* childConnector =
        overview.bodies[joint.child].connector(interaction.childConnector);
    if (!parentConnector || !childConnector) return joint;
    joint.parentFrame = connectorFrame(*parentConnector);
    joint.childFrame = connectorFrame(*childConnector);
    joint.connectorsFound = true;
    return joint;
}

double extentOf(const Scene& scene) {
    constexpr double infinity = std::numeric_limits<double>::infinity();
    Vector3 low{infinity, infinity, infinity};
    Vector3 high{-infinity, -infinity, -infinity};
    bool any = false;
    for (std::size_t i = 0; i < scene.bodyPoses.size(); ++i) {
        if (!scene.placed[i]) continue;
        const Vector3& p = scene.bodyPoses[i].translation;
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) continue;
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
        any = true;
    }
    return any ? length(minus(high, low)) : 0.0;
}

}  // namespace

RigidTransform RigidTransform::operator*(const RigidTransform& other) const {
    return {multiply(rotation, other.rotation), apply(other.translation)};
}

RigidTransform RigidTransform::inverse() const {
    const Rotation back = transposed(rotation);
    return {back, scaled(rotate(back, translation), -1)};
}

Vector3 RigidTransform::apply(const Vector3& point) const {
    return plus(rotate(rotation, point), translation);
}

Vector3 rotate(const Rotation& r, const Vector3& v) {
    return {r[0][0] * v.x + r[0][1] * v.y + r[0][2] * v.z,
            r[1][0] * v.x + r[1][1] * v.y + r[1][2] * v.z,
            r[2][0] * v.x + r[2][1] * v.y + r[2][2] * v.z};
}

// Shepperd's method: the largest of w, x, y, z is taken from the diagonal, the others from the
// off-diagonal entries, which keeps the result accurate for every rotation.
Quaternion quaternionOf(const Rotation& r) {
    const double trace = r[0][0] + r[1][1] + r[2][2];
    Quaternion q;
    if (trace >= r[0][0] && trace >= r[1][1] && trace >= r[2][2]) {
        const double s = 2 * std::sqrt(std::max(0.0, 1 + trace));
        q = {(r[2][1] - r[1][2]) / s, (r[0][2] - r[2][0]) / s, (r[1][0] - r[0][1]) / s, s / 4};
    } else if (r[0][0] >= r[1][1] && r[0][0] >= r[2][2]) {
        const double s = 2 * std::sqrt(std::max(0.0, 1 + r[0][0] - r[1][1] - r[2][2]));
        q = {s / 4, (r[0][1] + r[1][0]) / s, (r[0][2] + r[2][0]) / s, (r[2][1] - r[1][2]) / s};
    } else if (r[1][1] >= r[2][2]) {
        const double s = 2 * std::sqrt(std::max(0.0, 1 + r[1][1] - r[0][0] - r[2][2]));
        q = {(r[0][1] + r[1][0]) / s, s / 4, (r[1][2] + r[2][1]) / s, (r[0][2] - r[2][0]) / s};
    } else {
        const double s = 2 * std::sqrt(std::max(0.0, 1 + r[2][2] - r[0][0] - r[1][1]));
        q = {(r[0][2] + r[2][0]) / s, (r[1][2] + r[2][1]) / s, s / 4, (r[1][0] - r[0][1]) / s};
    }
    const double norm = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    const double sign = q.w < 0 ? -1.0 : 1.0;
    return {sign * q.x / norm, sign * q.y / norm, sign * q.z / norm, sign * q.w / norm};
}

RigidTransform transformOf(const Pose& pose) {
    return {rotationOf(pose.rotation), pose.position};
}

Pose poseOf(const RigidTransform& transform) {
    return {transform.translation, quaternionOf(transform.rotation)};
}

RigidTransform connectorFrame(const ConnectorOverview& connector) {
    const double axisLength = length(connector.mainAxis);
    const Vector3 axis =
        usable(axisLength) ? scaled(connector.mainAxis, 1 / axisLength) : Vector3{1, 0, 0};
    const Vector3 offAxis = minus(connector.normal, scaled(axis, dot(connector.normal, axis)));
    const double offAxisLength = length(offAxis);
    // A normal shorter than this after removing its part along the axis gives no direction.
    const bool normalUsable =
        usable(offAxisLength) && offAxisLength > 1e-12 * std::max(1.0, length(connector.normal));
    const Vector3 normal =
        normalUsable ? scaled(offAxis, 1 / offAxisLength) : anyPerpendicular(axis);
    Vector3 third = cross(axis, normal);
    third = scaled(third, 1 / length(third));
    return {fromColumns(axis, normal, third), connector.position};
}

RigidTransform interactionMotion(InteractionKind kind, double value) {
    RigidTransform motion;
    if (kind == InteractionKind::Hinge) {
        const double c = std::cos(value);
        const double s = std::sin(value);
        motion.rotation = {{{1, 0, 0}, {0, c, -s}, {0, s, c}}};
    } else if (kind == InteractionKind::Prismatic) {
        motion.translation = {value, 0, 0};
    }
    return motion;
}

Scene buildScene(const ModelOverview& overview) {
    const std::size_t bodyCount = overview.bodies.size();
    Scene scene;
    scene.bodyPoses.assign(bodyCount, RigidTransform{});
    scene.placed.assign(bodyCount, false);
    std::vector<std::vector<std::size_t>> jointsBelow(bodyCount);
    std::vector<bool> isChild(bodyCount, false);
    for (const auto& interaction : overview.interactions) {
        SceneJoint joint = jointOf(overview, interaction);
        const std::size_t index = scene.joints.size();
        if (joint.child != SceneJoint::npos) isChild[joint.child] = true;
        if (joint.parent != SceneJoint::npos && joint.child != SceneJoint::npos &&
            joint.connectorsFound) {
            jointsBelow[joint.parent].push_back(index);
        }
        scene.joints.push_back(joint);
    }

    std::deque<std::size_t> queue;
    for (std::size_t body = 0; body < bodyCount; ++body) {
        if (isChild[body]) continue;
        scene.placed[body] = true;
        queue.push_back(body);
    }
    while (!queue.empty()) {
        const std::size_t body = queue.front();
        queue.pop_front();
        for (const std::size_t index : jointsBelow[body]) {
            const SceneJoint& joint = scene.joints[index];
            if (scene.placed[joint.child]) continue;
            const InteractionKind kind = overview.interactions[index].kind;
            scene.bodyPoses[joint.child] = scene.bodyPoses[body] * joint.parentFrame *
                                           interactionMotion(kind, joint.initialValue) *
                                           joint.childFrame.inverse();
            scene.placed[joint.child] = true;
            scene.order.push_back(index);
            queue.push_back(joint.child);
        }
    }
    for (std::size_t body = 0; body < bodyCount; ++body) {
        if (!scene.placed[body]) scene.unplaced.push_back(body);
    }
    scene.extent = extentOf(scene);
    return scene;
}

}  // namespace corvane::tools
