#include "checks/RuleText.hpp"

#include <fmt/format.h>

#include <corvane/Render.hpp>

namespace corvane::tools {

std::string numberText(double value) {
    return fmt::format("{}", value);
}

std::string rounded(double value) {
    return fmt::format("{:.6g}", value);
}

std::string vectorText(const Vector3& v) {
    return fmt::format("({}, {}, {})", v.x, v.y, v.z);
}

std::string quotedName(std::string_view name) {
    if (Render::isPlainIdentifier(name)) return fmt::format("'{}'", name);
    return Render::quoteName(name);
}

std::string bodySubject(const std::string& body) {
    return "body " + quotedName(body);
}

std::string interactionSubject(const std::string& interaction) {
    return "interaction " + quotedName(interaction);
}

std::string geometrySubject(const GeometryOverview& geometry, const std::string& body) {
    return "geometry " + quotedName(geometry.name) + " of body " + quotedName(body);
}

}  // namespace corvane::tools
