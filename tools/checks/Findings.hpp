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

// One step from where a finding is shown outwards, as compilers print "in expansion of": a
// macro call or an include that led to the line.
struct SourceNote {
    std::string file;
    int line = 0;  // 0: none
    std::string text;
};

// Where a finding is shown: a file, its line (0 when the file has no such element) and the
// steps outwards that led there (none for a URDF read as it stands).
struct SourceLocation {
    std::string file;
    int line = 0;
    std::vector<SourceNote> notes;
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
    // Where it is shown: worked out from `place` by the report, after the rules.
    SourceLocation location;
};

// "note", "warning" or "error".
const char* severityName(Severity severity);

}  // namespace corvane::tools
