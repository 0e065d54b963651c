// How the rules write values and the things they are about in their messages.
#pragma once

#include <string>
#include <string_view>

#include "model/ModelOverview.hpp"

namespace corvane::tools {

// A number of the document, in full.
std::string numberText(double value);
// Computed values (means, ratios, sides) to six significant digits.
std::string rounded(double value);
std::string vectorText(const Vector3& v);

std::string bodySubject(const std::string& body);
std::string interactionSubject(const std::string& interaction);
std::string geometrySubject(const GeometryOverview& geometry, const std::string& body);

}  // namespace corvane::tools
