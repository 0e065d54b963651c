#include <fmt/format.h>

#include <cmath>

#include "checks/RuleFamilies.hpp"
#include "checks/RuleText.hpp"

namespace corvane::tools {

namespace {

// A group's total is a sum, shown rounded: the negligible masses of kinematic locks would
// otherwise show as noise in the last digits.
std::string groupText(const GroupMass& group, double mass) {
    if (group.members <= 1) return fmt::format("mass {}", numberText(mass));
    const std::size_t others = group.members - 1;
    return fmt::format("mass {} with the {} {} locked to it", rounded(mass), others,
                       others == 1 ? "body" : "bodies");
}

// Where a finding about the body's mass points: its inertial, or the link when it has none.
UrdfPlace massPlace(const BodyOverview& body) {
    return body.ownMass ? CheckContext::inertialPlace(body) : CheckContext::linkPlace(body);
}

}  // namespace

void checkMassSign(const CheckContext& context, const BodyCheck& check, Findings& findings) {
    const BodyOverview& body = check.body;
    if (!body.ownMass || !body.mass || !std::isfinite(*body.mass)) return;
    const double mass = *body.mass;
    if (mass < 0) {
        findings.add(rule("mass-negative"), check.subject,
                     fmt::format("mass is negative ({}): a simulator refuses it; give the link's "
                                 "<inertial> a positive mass",
                                 numberText(mass)),
                     CheckContext::inertialPlace(body));
    } else if (mass == 0 && body.inertia && !context.massless(context.groupOf(check.index))) {
        // A moving body without mass gets the error of moving-body-massless instead.
        findings.add(rule("mass-zero"), check.subject,
                     "mass is 0 while an inertia tensor is given: the tensor acts on nothing; "
                     "give the body a positive mass",
                     CheckContext::inertialPlace(body));
    }
}

void checkMovingMass(const CheckContext& context, const BodyCheck& check, Findings& findings) {
    constexpr const Rule& massless = rule("moving-body-massless");
    const GroupMass& group = context.groupOf(check.index);
    if (!context.massless(group) || group.representative != check.index) return;
    const BodyOverview& body = check.body;
    const std::string what = body.withoutAnyMass() && group.members <= 1
                                 ? std::string("has no mass")
                                 : "has " + groupText(group, group.total);
    findings.add(massless, check.subject,
                 fmt::format("moving body {}, below {}: the simulator refuses it; give the link "
                             "an <inertial> with a positive mass",
                             what, numberText(massless.threshold)),
                 massPlace(body));
}

void checkMassRatio(const CheckContext& context, const BodyCheck& check, Findings& findings) {
    constexpr const Rule& massRatio = rule("mass-ratio");
    const GroupMass* light = context.lightest();
    const GroupMass* heavy = context.heaviest();
    if (!light || !heavy || light->representative != check.index) return;
    const double ratio = heavy->total / light->total;
    if (!(ratio > massRatio.threshold)) return;
    findings.add(
        massRatio, check.subject,
        fmt::format("the heaviest moving body, {} ({}), is {} times as heavy as this one ({}), "
                    "over {}: a stiff simulation, which needs small time steps",
                    bodySubject(context.model().bodies[heavy->representative].name),
                    groupText(*heavy, heavy->total), rounded(ratio),
                    groupText(*light, light->total), numberText(massRatio.threshold)),
        massPlace(check.body));
}

}  // namespace corvane::tools
