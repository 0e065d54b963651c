// What --check reports: findings about an imported robot, each with the URDF element it is
// about, so that it can be printed the way compilers print diagnostics:
//   robot.urdf:42: error: body 'forearm': inertia breaks the triangle inequality (...)
//   [inertia-triangle]
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace corvane::tools {

enum class Severity { Note, Warning, Error };

// The URDF element a finding is about, by what identifies it in the file: the link or joint
// named `owner`, and for geometries the position of the collision or visual element within the
// link (0 for the first), counted in the order of the file.
struct UrdfPlace {
    enum class Element { Robot, Link, Inertial, Collision, Visual, Mesh, Joint, Axis, Limit };
    Element element = Element::Robot;
    std::string owner;      // link or joint name as written in the URDF; empty for Robot
    std::size_t index = 0;  // Collision, Visual, Mesh (of that collision or visual)
    bool visual = false;    // Mesh: of a visual element (otherwise of a collision element)
};

struct Finding {
    Severity severity = Severity::Error;
    // What the finding is about, as a user reads it: "body 'forearm'", "interaction 'elbow'",
    // "geometry 'contact_geometry_1' of body 'base'". Names are written as host text writes them.
    std::string subject;
    // What is wrong, with the values involved and, where there is one, the remedy.
    std::string message;
    std::string rule;  // e.g. "inertia-triangle"
    UrdfPlace place;
};

// "note", "warning" or "error".
const char* severityName(Severity severity);

}  // namespace corvane::tools
