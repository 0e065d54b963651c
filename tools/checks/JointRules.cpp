#include <fmt/format.h>

#include <cmath>
#include <string_view>

#include "checks/RuleFamilies.hpp"
#include "checks/RuleText.hpp"
#include "model/Geometry.hpp"

namespace corvane::tools {

namespace {

using Element = UrdfPlace::Element;

// Whether a connector of the interaction holds a non-finite number: reported as such, so its
// axis is not judged again.
bool axisNonFinite(const CheckContext& context, const InteractionOverview& interaction) {
    for (const std::string* body : {&interaction.parentBody, &interaction.childBody}) {
        const auto found = context.bodyAt(*body);
        if (!found) continue;
        for (const NonFiniteNumber* nonFinite : context.bodyNonFinite(*found)) {
            const std::string_view path = nonFinite->path;
            if (path.substr(0, path.find('.')) == interaction.childConnector ||
                path.substr(0, path.find('.')) == interaction.parentConnector) {
                return true;
            }
        }
    }
    return false;
}

// axis-zero, judged on the URDF: the document cannot show a zero axis, as the import writes
// (1, 0, 0) in its place. True when it fired.
bool checkAxisZero(const CheckContext& context, const InteractionCheck& check, Findings& findings) {
    constexpr const Rule& axisZero = rule("axis-zero");
    const UrdfElements::Joint* joint = context.urdf().joint(check.joint);
    if (!joint || !joint->axis) return false;
    const auto& a = *joint->axis;
    const Vector3 axis{a[0], a[1], a[2]};
    const double norm = length(axis);
    if (!(norm < axisZero.threshold)) return false;
    // An axis element without xyz but with a misspelt one: the markup rules say what was meant.
    if (norm == 0 && axisXyzMisspelt(context, check.joint)) return false;
    const std::string outcome = norm == 0 ? "the import replaced it by (1, 0, 0)"
                                          : "the joint has no direction a simulator can use";
    findings.add(axisZero, check.subject,
                 fmt::format("joint axis {} has norm {}, below {}: {}", vectorText(axis),
                             numberText(norm), numberText(axisZero.threshold), outcome),
                 {Element::Axis, check.joint, 0, false});
    return true;
}

// axis-not-unit, judged on the child's main axis: the URDF axis unchanged.
void checkAxisUnit(const CheckContext& context, const InteractionCheck& check, Findings& findings) {
    constexpr const Rule& axisNotUnit = rule("axis-not-unit");
    const InteractionOverview& interaction = check.interaction;
    const auto child = context.bodyAt(interaction.childBody);
    if (!child) return;
    const ConnectorOverview* connector =
        context.model().bodies[*child].connector(interaction.childConnector);
    if (!connector) return;
    const Vector3& axis = connector->mainAxis;
    const double norm = length(axis);
    if (!std::isfinite(norm) || !(std::abs(norm - 1) > axisNotUnit.threshold)) return;
    findings.add(
        axisNotUnit, check.subject,
        fmt::format("joint axis {} has length {}, not 1 (off by more than {}): the host "
                    "takes it as written; normalise it to ({}, {}, {})",
                    vectorText(axis), numberText(norm), numberText(axisNotUnit.threshold),
                    rounded(axis.x / norm), rounded(axis.y / norm), rounded(axis.z / norm)),
        {Element::Axis, check.joint, 0, false});
}

}  // namespace

void checkAxis(const CheckContext& context, const InteractionCheck& check, Findings& findings) {
    if (axisNonFinite(context, check.interaction)) return;
    if (checkAxisZero(context, check, findings)) return;
    checkAxisUnit(context, check, findings);
}

void checkRange(const InteractionCheck& check, Findings& findings) {
    const InteractionOverview& interaction = check.interaction;
    if (!interaction.range) return;
    const double start = interaction.range->start;
    const double end = interaction.range->end;
    if (!std::isfinite(start) || !std::isfinite(end)) return;
    const UrdfPlace place{Element::Limit, check.joint, 0, false};
    if (start > end) {
        findings.add(rule("range-inverted"), check.subject,
                     fmt::format("range from {} to {}: the lower limit is above the upper one; "
                                 "swap them",
                                 numberText(start), numberText(end)),
                     place);
    } else if (start == end) {
        findings.add(rule("range-empty"), check.subject,
                     fmt::format("range from {} to {} is empty: the joint is frozen; widen the "
                                 "limits or make the joint fixed",
                                 numberText(start), numberText(end)),
                     place);
    } else if ((start > 0 || end < 0) && interaction.initialValue) {
        findings.add(
            rule("initial-clamped"), check.subject,
            fmt::format("initial {} is {}, the {} limit: 0 lies outside the range [{}, {}]",
                        interaction.kind == InteractionKind::Hinge ? "angle" : "position",
                        numberText(*interaction.initialValue), start > 0 ? "lower" : "upper",
                        numberText(start), numberText(end)),
            place);
    }
}

void checkEffort(const InteractionCheck& check, Findings& findings) {
    const InteractionOverview& interaction = check.interaction;
    if (!interaction.actuator) return;
    // max_effort holds the URDF effort, min_effort its negation.
    const double effort = interaction.actuator->maxEffort;
    if (!std::isfinite(effort)) return;
    const UrdfPlace place{Element::Limit, check.joint, 0, false};
    if (effort < 0) {
        findings.add(rule("effort-negative"), check.subject,
                     fmt::format("effort limit {} is negative: the actuator's bounds are inverted "
                                 "(min_effort {} > max_effort {}); give a positive effort",
                                 numberText(effort), numberText(interaction.actuator->minEffort),
                                 numberText(effort)),
                     place);
    } else if (effort == 0) {
        findings.add(rule("effort-zero"), check.subject,
                     "effort limit is 0: the joint cannot be driven; give the <limit> a positive "
                     "effort",
                     place);
    }
}

}  // namespace corvane::tools
