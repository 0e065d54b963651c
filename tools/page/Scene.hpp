// Where every body of an imported document stands in the world at the document's initial values,
// worked out from the mate connectors alone: what the 3D page draws and what its sliders move.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "model/Geometry.hpp"
#include "model/ModelOverview.hpp"

namespace corvane::tools {

// A rigid transform x -> rotation * x + translation.
struct RigidTransform {
    Rotation rotation{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    Vector3 translation;

    RigidTransform operator*(const RigidTransform& other) const;
    RigidTransform inverse() const;
    Vector3 apply(const Vector3& point) const;
};

Vector3 rotate(const Rotation& rotation, const Vector3& vector);
// The unit quaternion of a rotation matrix, with w >= 0.
Quaternion quaternionOf(const Rotation& rotation);
RigidTransform transformOf(const Pose& pose);
Pose poseOf(const RigidTransform& transform);

// A connector's frame in its body's frame: at the connector's position, with the columns
// (main axis, normal, main axis x normal), the axis made unit and the normal made exactly
// perpendicular to it. A zero axis or a normal along the axis falls back to perpendicular
// directions of the tool's choosing, so that every connector has a frame.
RigidTransform connectorFrame(const ConnectorOverview& connector);

// The motion of an interaction at `value` in its connector frame: a turn about x by `value`
// radians for a hinge, a move along x for a prismatic, nothing for a lock.
RigidTransform interactionMotion(InteractionKind kind, double value);

// How one interaction joins its two bodies.
struct SceneJoint {
    // Positions in ModelOverview::bodies; npos when the interaction names a body that is not there.
    std::size_t parent = npos;
    std::size_t child = npos;
    // The two connector frames in their bodies' frames (identity when the connector is missing).
    RigidTransform parentFrame;
    RigidTransform childFrame;
    bool connectorsFound = false;
    // The document's initial value, 0 when it gives none.
    double initialValue = 0;

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
};

struct Scene {
    // Parallel to ModelOverview::bodies: the world pose at the initial values (the identity for a
    // body never reached) and whether it was reached.
    std::vector<RigidTransform> bodyPoses;
    std::vector<bool> placed;
    // Parallel to ModelOverview::interactions.
    std::vector<SceneJoint> joints;
    // The interactions that placed a body, parents before children (breadth-first from the roots).
    std::vector<std::size_t> order;
    // Positions of the bodies never reached from a root (in a cycle, below a missing body or a
    // missing connector), in the model's order.
    std::vector<std::size_t> unplaced;
    // Length of the diagonal of the box around the placed bodies' origins.
    double extent = 0;
};

// child's world pose = parent's world pose * parent frame * motion(initial value) * child frame^-1.
// Root bodies (the second connector of no interaction) stand at the origin. An interaction whose
// child is already placed (a closed loop) places nothing. The walk uses an explicit queue, so the
// depth of the robot is no limit.
Scene buildScene(const ModelOverview& overview);

}  // namespace corvane::tools
