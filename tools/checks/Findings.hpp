// What --check reports: findings about an imported robot, each with the URDF element it is
// about, so that it can be printed the way compilers print diagnostics:
//   robot.urdf:42: error: body 'forearm': inertia breaks the triangle inequality (...)
//   [inertia-triangle]
#pragma once

#include <string>
#include <vector>

#include "model/UrdfElements.hpp"

namespace corvane::tools {

enum class Severity { Note, Warning, Error };

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
