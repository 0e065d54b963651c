#include "checks/RuleText.hpp"

#include <fmt/format.h>

#include "support/VisibleText.hpp"

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

std::string bodySubject(const std::string& body) {
    return "body " + hostNameQuoted(body);
}

std::string interactionSubject(const std::string& interaction) {
    return "interaction " + hostNameQuoted(interaction);
}

std::string geometrySubject(const GeometryOverview& geometry, const std::string& body) {
    return "geometry " + hostNameQuoted(geometry.name) + " of body " + hostNameQuoted(body);
}

}  // namespace corvane::tools
