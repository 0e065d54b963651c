#include <fmt/format.h>

#include <cmath>
#include <optional>

#include "checks/RuleFamilies.hpp"
#include "checks/RuleText.hpp"

namespace corvane::tools {

namespace {

std::optional<std::string> sizeFault(const GeometryOverview& geometry) {
    const auto bad = [](const std::optional<double>& v) { return v && *v <= 0; };
    switch (geometry.shape) {
        case GeometryShape::Sphere:
            if (bad(geometry.radius)) {
                return fmt::format("sphere radius {} is not positive",
                                   numberText(*geometry.radius));
            }
            break;
        case GeometryShape::Box:
            if (geometry.size &&
                (geometry.size->x <= 0 || geometry.size->y <= 0 || geometry.size->z <= 0)) {
                return fmt::format("box size {} is not positive in every direction",
                                   vectorText(*geometry.size));
            }
            break;
        case GeometryShape::Cylinder:
            if (bad(geometry.radius) || bad(geometry.height)) {
                return fmt::format("cylinder radius {} and length {} are not both positive",
                                   numberText(geometry.radius.value_or(0)),
                                   numberText(geometry.height.value_or(0)));
            }
            break;
        case GeometryShape::Mesh:
        case GeometryShape::Other:
            break;
    }
    return std::nullopt;
}

}  // namespace

void checkGeometrySize(const GeometryCheck& check, Findings& findings) {
    if (const auto fault = sizeFault(check.geometry)) {
        findings.add(rule("geometry-size"), check.subject, *fault,
                     CheckContext::geometryPlace(check));
    }
}

void checkMeshScale(const GeometryCheck& check, Findings& findings) {
    if (check.geometry.shape != GeometryShape::Mesh) return;
    const Vector3& scale = check.geometry.scale;
    if (!std::isfinite(scale.x) || !std::isfinite(scale.y) || !std::isfinite(scale.z)) return;
    if (scale.x == 0 || scale.y == 0 || scale.z == 0) {
        findings.add(rule("mesh-scale-zero"), check.subject,
                     fmt::format("mesh scale {} has a zero factor: the mesh collapses flat",
                                 vectorText(scale)),
                     CheckContext::meshPlace(check));
    } else if (scale.x * scale.y * scale.z < 0) {
        findings.add(rule("mesh-mirrored"), check.subject,
                     fmt::format("mesh scale {} mirrors the mesh (the product of its factors is "
                                 "negative): its faces are turned inside out",
                                 vectorText(scale)),
                     CheckContext::meshPlace(check));
    }
}

}  // namespace corvane::tools
