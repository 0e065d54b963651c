#include <fmt/format.h>

#include <string_view>

#include "checks/RuleFamilies.hpp"
#include "checks/RuleText.hpp"
#include "support/VisibleText.hpp"

namespace corvane::tools {

namespace {

using Element = UrdfPlace::Element;

std::string nonFiniteMessage(const NonFiniteNumber& number, bool withDeclaration) {
    const std::string where =
        withDeclaration ? number.declaration + (number.path.empty() ? "" : ".") + number.path
                        : number.path;
    return fmt::format("{} is {}: a simulator cannot compute with a non-finite number", where,
                       number.lexeme);
}

// The geometry of `body` named `name`, where it stands in the URDF.
std::optional<UrdfPlace> geometryPlaceByName(const CheckContext& context, const BodyCheck& body,
                                             const std::string& name) {
    for (std::size_t i = 0; i < body.body.geometries.size(); ++i) {
        if (body.body.geometries[i].name == name) {
            return CheckContext::geometryPlace(context.geometryCheck(body, i));
        }
    }
    return std::nullopt;
}

// Where a non-finite number of a body stands: its inertial, the joint of a connector (its axis
// for the connector's directions), one of its geometries, else the link.
UrdfPlace bodyNumberPlace(const CheckContext& context, const BodyCheck& body,
                          const NonFiniteNumber& number) {
    const std::string_view path = number.path;
    const std::string first(path.substr(0, path.find('.')));
    if (path.starts_with("inertia.") || path.starts_with("kinematics.")) {
        return CheckContext::inertialPlace(body.body);
    }
    if (const auto interaction = context.interactionOfConnector(first)) {
        const bool axis = path.find(".main_axis.") != std::string_view::npos ||
                          path.find(".normal.") != std::string_view::npos;
        return {axis ? Element::Axis : Element::Joint,
                context.urdfJointName(context.model().interactions[*interaction]), 0, false};
    }
    return geometryPlaceByName(context, body, first).value_or(CheckContext::linkPlace(body.body));
}

}  // namespace

void checkBodyNonFinite(const CheckContext& context, const BodyCheck& body, Findings& findings) {
    for (const NonFiniteNumber* number : context.bodyNonFinite(body.index)) {
        findings.add(rule("non-finite"), body.subject, nonFiniteMessage(*number, false),
                     bodyNumberPlace(context, body, *number));
    }
}

void checkInteractionNonFinite(const CheckContext& context, const InteractionCheck& interaction,
                               Findings& findings) {
    for (const NonFiniteNumber* number : context.interactionNonFinite(interaction.index)) {
        const bool limit = number->declaration != interaction.interaction.name ||
                           number->path.starts_with("initial_");
        findings.add(rule("non-finite"), interaction.subject, nonFiniteMessage(*number, true),
                     {limit ? Element::Limit : Element::Joint, interaction.joint, 0, false});
    }
}

void checkModelNonFinite(const CheckContext& context, Findings& findings) {
    for (const NonFiniteNumber* number : context.modelNonFinite()) {
        findings.add(rule("non-finite"), "model " + hostNameQuoted(context.model().modelName),
                     nonFiniteMessage(*number, true), {Element::Robot, {}, 0, false});
    }
}

}  // namespace corvane::tools
