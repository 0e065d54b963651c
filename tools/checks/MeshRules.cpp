#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "checks/RuleFamilies.hpp"
#include "checks/RuleText.hpp"

namespace corvane::tools {

namespace {

constexpr double smallestExtent = 0.001;  // metres: mesh-size's lower bound
constexpr double millimetre = 0.001;

bool finiteAndNonZero(const Vector3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && v.x != 0 && v.y != 0 &&
           v.z != 0;
}

// As the scale attribute of a URDF <mesh> is written: "0.001 0.001 0.001".
std::string scaleAttribute(const Vector3& scale) {
    return fmt::format("scale=\"{} {} {}\"", rounded(scale.x), rounded(scale.y), rounded(scale.z));
}

Vector3 scaled(const Vector3& v, double factor) {
    return {v.x * factor, v.y * factor, v.z * factor};
}

// The largest side of the mesh's box in metres, as the robot places it.
double extentInMetres(const MeshMeasure& measure, const Vector3& scale) {
    const Vector3 sides = measure.bounds->sides();
    return measure.metresPerUnit *
           std::max({std::abs(sides.x * scale.x), std::abs(sides.y * scale.y),
                     std::abs(sides.z * scale.z)});
}

std::string sizeBasis(const GeometryCheck& check, const MeshFile& file,
                      const MeshMeasure& measure) {
    std::string basis = "after its scale " + vectorText(check.geometry.scale);
    if (file.format() == MeshFormat::Collada) {
        basis += fmt::format(" and its Collada unit of {} m", rounded(measure.metresPerUnit));
    }
    return basis;
}

void checkMeshSize(const GeometryCheck& check, const MeshFile& file, const MeshMeasure& measure,
                   Findings& findings) {
    const Vector3& scale = check.geometry.scale;
    if (!measure.bounds || !finiteAndNonZero(scale)) return;
    const double extent = extentInMetres(measure, scale);
    const double largest = rule("mesh-size").threshold;
    if (!std::isfinite(extent) || (extent <= largest && extent >= smallestExtent)) return;
    const std::string uri = *check.geometry.meshPath;
    const std::string basis = sizeBasis(check, file, measure);
    std::string message;
    if (extent == 0) {
        message = fmt::format("mesh '{}' has no extent {}: all its vertices lie in one point", uri,
                              basis);
    } else if (extent > largest) {
        message = fmt::format(
            "mesh '{}' is {} m across {}, over {} m: likely drawn in millimetres and read as "
            "metres; {} would make it {} m",
            uri, rounded(extent), basis, rounded(largest),
            scaleAttribute(scaled(scale, millimetre)), rounded(extent * millimetre));
    } else {
        message = fmt::format(
            "mesh '{}' is {} m across {}, under 1 mm: likely in metres already and scaled as if "
            "in millimetres; {} would make it {} m",
            uri, rounded(extent), basis, scaleAttribute(scaled(scale, 1 / millimetre)),
            rounded(extent / millimetre));
    }
    findings.add(rule("mesh-size"), check.subject, message, CheckContext::meshPlace(check));
}

void checkMeshWeight(const GeometryCheck& check, const MeshMeasure& measure, Findings& findings) {
    const auto limit = static_cast<std::size_t>(rule("mesh-heavy").threshold);
    const bool contactHeavy = check.geometry.contact && measure.triangles > kContactMeshTriangles;
    if (measure.triangles <= limit && !contactHeavy) return;
    const std::string uri = *check.geometry.meshPath;
    std::string message;
    if (measure.triangles > limit) {
        message = fmt::format(
            "mesh '{}' has {} triangles, over {}: a widely used simulator refuses meshes of more",
            uri, measure.triangles, limit);
        if (check.geometry.contact) message += "; as contact geometry it slows every contact test";
    } else {
        message = fmt::format(
            "contact mesh '{}' has {} triangles, over {}: every contact test walks them; a "
            "simplified or convex mesh, or spheres, boxes and cylinders, keep the simulation fast",
            uri, measure.triangles, kContactMeshTriangles);
    }
    findings.add(rule("mesh-heavy"), check.subject, message, CheckContext::meshPlace(check));
}

}  // namespace

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

// What the mesh file holds, measured once per file however many geometries name it. A file that
// is not found or not read has had its finding above; one of a format the tool does not decode
// (by its extension) is left alone, since simulators read more formats than these three.
void checkMeshContents(const CheckContext& context, const GeometryCheck& check,
                       Findings& findings) {
    if (!context.meshes() || check.geometry.shape != GeometryShape::Mesh ||
        !check.geometry.meshPath) {
        return;
    }
    const MeshFile& file = context.meshes()->file(*check.geometry.meshPath);
    const MeshMeasure* measure = file.measure();
    if (measure == nullptr) return;
    if (measure->problem) {
        findings.add(rule("mesh-undecodable"), check.subject,
                     fmt::format("mesh '{}' {}; its size and triangles are not checked",
                                 *check.geometry.meshPath, *measure->problem),
                     CheckContext::meshPlace(check));
        return;
    }
    checkMeshSize(check, file, *measure, findings);
    checkMeshWeight(check, *measure, findings);
}

}  // namespace corvane::tools
