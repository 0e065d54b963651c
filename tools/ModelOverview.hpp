// What an imported document says about the robot, gathered in one pass over the model's members:
// its bodies with their mass and geometries, its interactions with the bodies they join, and its
// ranges, actuators and kinematic locks. The picture and the summary are drawn from this alone,
// so they show what the import made, whatever the link graph of the URDF looked like.
#pragma once

#include <corvane/Syntax.hpp>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace corvane::tools {

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
    GeometryCounts contact;
    GeometryCounts visual;

    // Left without any mass: a simulator refuses such a body.
    bool withoutAnyMass() const { return !ownMass && !assignedMass; }
};

enum class InteractionKind { Hinge, Prismatic, Lock };

struct InteractionOverview {
    std::string name;
    InteractionKind kind;
    // The bodies of the first and the second connector; empty when the interaction has no such
    // connector reference.
    std::string parentBody;
    std::string childBody;
};

struct LockOverview {
    std::string name;
    std::vector<std::string> bodies;
};

struct ModelOverview {
    std::string modelName;
    std::vector<BodyOverview> bodies;  // in the order of the model
    std::vector<InteractionOverview> interactions;
    std::size_t ranges = 0;
    std::size_t actuators = 0;
    std::vector<LockOverview> locks;
};

// The overview of the first model declaration of `document` (an empty one when it has none).
ModelOverview readModelOverview(const Document& document);

// "hinge", "prismatic" or "lock".
const char* kindName(InteractionKind kind);

}  // namespace corvane::tools
