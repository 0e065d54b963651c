// Every rule of --check in one table: its id (what a finding prints in brackets), its severity,
// what it checks in one line and, where it has one, the threshold it judges by. A finding is made
// from a rule of this table, so its severity is written here alone; `rule("id")` is resolved at
// compile time and an id missing from the table does not compile.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "checks/Findings.hpp"

namespace corvane::tools {

struct Rule {
    std::string_view id;
    Severity severity = Severity::Error;
    std::string_view summary;
    // The limit the rule judges by, where it has a fixed one (0: it has none).
    double threshold = 0;
};

// In the order the checks of one body or one interaction apply them.
inline constexpr std::array kRules{
    Rule{"non-finite", Severity::Error, "a number of the document is an infinity or a NaN"},
    Rule{"mass-negative", Severity::Error, "mass < 0"},
    Rule{"mass-zero", Severity::Warning,
         "mass = 0 with an inertia tensor that is not 0 (a mass of 0 and a tensor of 0 locked to a "
         "body with mass is a frame, and fine)"},
    Rule{"inertia-not-positive", Severity::Error,
         "smallest principal moment < -eps, on the URDF's numbers (eps = 0 for a diagonal "
         "tensor, else 4 DBL_EPSILON (|I1| + |I2| + |I3|): the rounding of the eigenvalues); a "
         "tensor whose moments are all below 1e-15 in size is 0 to a simulator and not judged"},
    Rule{"inertia-product", Severity::Error, "2|ixy| > izz + eps, and cyclic"},
    Rule{"inertia-triangle", Severity::Error, "I1 + I2 < I3 - eps for the principal moments"},
    // A ring or a hollow shell, which concentrate mass away from their centre, stay well below
    // this factor; beyond it the inertia is taken for a mistake (units, or another body's values).
    Rule{"inertia-box", Severity::Warning,
         "the uniform box with the body's mass and principal moments has a side over this many "
         "times the largest extent of the body's contact geometry",
         10},
    Rule{"moving-body-massless", Severity::Error,
         "a body of a hinge or prismatic, with the bodies locked to it, is lighter than this "
         "(the URDF's masses; the import's negligible 1e-14 of a link without <inertial> does not "
         "count): a simulator refuses it",
         1e-15},
    Rule{"mass-ratio", Severity::Warning,
         "the heaviest moving body is over this many times the lightest: stiff equations", 1000},
    Rule{"moving-body-inertia-zero", Severity::Error,
         "a moving body with mass (its one body with mass, with the massless bodies locked to it) "
         "has a principal moment below this: a simulator refuses it",
         1e-15},
    Rule{"root-world", Severity::Warning,
         "the root link is named 'world': the host fixes it to nothing, it becomes an ordinary "
         "body and the robot is free"},
    Rule{"precision-loss", Severity::Warning,
         "the document's numbers, rounded at the import's precision, break a mass or an inertia "
         "that the URDF's numbers keep"},
    Rule{"geometry-size", Severity::Error, "a size, radius or height <= 0"},
    Rule{"mesh-scale-zero", Severity::Error, "a mesh scale factor is 0"},
    Rule{"mesh-mirrored", Severity::Warning, "the product of the mesh scale factors is negative"},
    Rule{"mesh-not-found", Severity::Error, "the mesh file is not where the locator looks"},
    Rule{"mesh-unreadable", Severity::Error,
         "the mesh file is empty, no regular file or unreadable"},
    Rule{"axis-zero", Severity::Warning,
         "the URDF axis has a norm below this: no direction a simulator can use", 1e-8},
    Rule{"axis-not-unit", Severity::Warning, "| |axis| - 1 | is over this", 1e-6},
    Rule{"range-inverted", Severity::Error, "the range's start is above its end"},
    Rule{"range-empty", Severity::Warning, "the range's start equals its end"},
    Rule{"initial-clamped", Severity::Note,
         "0 lies outside the range: the initial value sits on a bound"},
    Rule{"effort-negative", Severity::Error, "effort < 0"},
    Rule{"effort-zero", Severity::Warning, "effort = 0"},
    Rule{"mimic-not-carried", Severity::Warning,
         "a joint mimics another: the document does not carry it, the host moves it on its own"},
    Rule{"mimic-invalid", Severity::Error,
         "a mimic names no joint of the robot, its own joint, or closes a cycle of mimics"},
    // 10 m and 1 mm: no robot part is larger or smaller; a mesh drawn in millimetres and read as
    // metres lands a thousand times above its size, one scaled twice a thousand times below.
    Rule{"mesh-size", Severity::Warning,
         "the largest side of the mesh's box, after its scale and (Collada) its unit, is over "
         "this many metres or under 1 mm: a unit mistake",
         10},
    // A widely used simulator refuses meshes of more triangles than this.
    Rule{"mesh-heavy", Severity::Warning,
         "a mesh has over this many triangles, or a contact mesh over kContactMeshTriangles "
         "(50,000)",
         200000},
    Rule{"mesh-undecodable", Severity::Warning,
         "the mesh file's contents cannot be read as STL, OBJ or Collada"},
};

// Triangles a contact mesh may have before mesh-heavy warns. The real robots of the shared
// collection use contact meshes of 90 to 340 triangles where made for contact (the PR2) and
// their visual meshes of up to 44,578 (a Kinova hand) where those serve for contact too, and
// simulate well with them; a contact mesh past 50,000 is heavier than any of them, and every
// contact test walks it.
inline constexpr std::size_t kContactMeshTriangles = 50000;

// The rule with id `id`; an id that is not in the table stops the compilation.
consteval const Rule& rule(std::string_view id) {
    for (const Rule& candidate : kRules) {
        if (candidate.id == id) return candidate;
    }
    throw "no rule of this id in kRules";
}

// Every rule, in the order of the table.
std::span<const Rule> allRules();

// The rule with id `id`, or null: for ids known only at run time.
const Rule* findRule(std::string_view id);

// The findings of one check, in the order they are made.
class Findings {
  public:
    void add(const Rule& rule, std::string subject, std::string message, UrdfPlace place);
    std::vector<Finding> take() &&;

  private:
    std::vector<Finding> findings_;
};

}  // namespace corvane::tools
