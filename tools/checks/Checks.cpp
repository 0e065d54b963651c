#include "checks/Checks.hpp"

#include "checks/CheckContext.hpp"
#include "checks/RuleFamilies.hpp"
#include "checks/Rules.hpp"

namespace corvane::tools {

namespace {

void checkGeometry(const CheckContext& context, const GeometryCheck& geometry, Findings& findings) {
    checkGeometrySize(geometry, findings);
    checkMeshScale(geometry, findings);
    checkMeshFile(context, geometry, findings);
    checkMeshContents(context, geometry, findings);
}

void checkBody(const CheckContext& context, std::size_t index, Findings& findings) {
    const BodyCheck body = context.bodyCheck(index);
    checkBodyNonFinite(context, body, findings);
    checkMassSign(context, body, findings);
    if (checkInertiaTensor(body, findings)) checkInertiaBox(body, findings);
    checkPrecisionLoss(context, body, findings);
    checkMovingMass(context, body, findings);
    checkMassRatio(context, body, findings);
    checkMovingInertia(context, body, findings);
    checkWorldRoot(context, body, findings);
    for (std::size_t i = 0; i < body.body.geometries.size(); ++i) {
        checkGeometry(context, context.geometryCheck(body, i), findings);
    }
}

void checkInteraction(const CheckContext& context, std::size_t index, Findings& findings) {
    const InteractionCheck interaction = context.interactionCheck(index);
    checkInteractionNonFinite(context, interaction, findings);
    if (interaction.interaction.kind != InteractionKind::Lock) {
        checkAxis(context, interaction, findings);
        checkRange(interaction, findings);
        checkEffort(interaction, findings);
    }
    checkMimic(context, interaction, findings);
}

}  // namespace

std::vector<Finding> checkModel(const CheckInput& input) {
    const CheckContext context(input);
    Findings findings;
    for (std::size_t i = 0; i < input.model.bodies.size(); ++i) checkBody(context, i, findings);
    for (std::size_t i = 0; i < input.model.interactions.size(); ++i) {
        checkInteraction(context, i, findings);
    }
    checkModelNonFinite(context, findings);
    checkNameClashes(context, findings);
    checkMarkup(context, findings);
    return std::move(findings).take();
}

}  // namespace corvane::tools
