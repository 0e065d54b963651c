#include "checks/RuleFamilies.hpp"

namespace corvane::tools {

// The mesh file as the locator finds it. Robots name the same mesh in a collision and a visual
// element; the locator remembers its answer for each URI.
void checkMeshFile(const CheckContext& context, const GeometryCheck& check, Findings& findings) {
    if (!context.meshes() || check.geometry.shape != GeometryShape::Mesh ||
        !check.geometry.meshPath) {
        return;
    }
    const MeshLocation& location = context.meshes()->locate(*check.geometry.meshPath);
    switch (location.problem) {
        case MeshProblem::None:
            return;
        case MeshProblem::NotFound:
        case MeshProblem::BadUri:
            findings.add(rule("mesh-not-found"), check.subject, location.message(),
                         CheckContext::meshPlace(check));
            return;
        case MeshProblem::NotARegularFile:
        case MeshProblem::Empty:
        case MeshProblem::Unreadable:
            findings.add(rule("mesh-unreadable"), check.subject, location.message(),
                         CheckContext::meshPlace(check));
            return;
    }
}

}  // namespace corvane::tools
