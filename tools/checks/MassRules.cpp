#include <fmt/format.h>

#include <cmath>

#include "checks/RuleFamilies.hpp"
#include "checks/RuleText.hpp"
#include "model/Geometry.hpp"

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

bool allZero(const InertiaTensor& tensor) {
    for (const auto& row : tensor) {
        for (const double entry : row) {
            if (entry != 0) return false;
        }
    }
    return true;
}

// What a group without mass of its own holds, for the message of moving-body-massless.
std::string masslessText(const BodyOverview& body, const GroupMass& group) {
    if (group.members <= 1) {
        return body.withoutAnyMass() || !body.ownMass ? std::string("has no mass")
                                                      : "has " + groupText(group, group.total);
    }
    return "has " + groupText(group, group.total) +
           " (the negligible mass the import gives a link without <inertial> is none of the "
           "robot's)";
}

// Where a finding about the body's mass points: its inertial, or the link when it has none.
UrdfPlace massPlace(const BodyOverview& body) {
    return body.ownMass ? CheckContext::inertialPlace(body) : CheckContext::linkPlace(body);
}

}  // namespace

void checkMassSign(const CheckContext& context, const BodyCheck& check, Findings& findings) {
    const BodyOverview& body = check.body;
    if (!check.own.mass || !std::isfinite(*check.own.mass)) return;
    const double mass = *check.own.mass;
    if (mass < 0) {
        findings.add(rule("mass-negative"), check.subject,
                     fmt::format("mass is negative ({}): a simulator refuses it; give the link's "
                                 "<inertial> a positive mass",
                                 numberText(mass)),
                     CheckContext::inertialPlace(body));
    } else if (mass == 0 && check.own.inertia && !allZero(*check.own.inertia) &&
               !context.massless(context.groupOf(check.index))) {
        // A moving body without mass gets the error of moving-body-massless instead; a mass of 0
        // with a tensor of 0 is a frame, which a simulator takes as it is.
        findings.add(rule("mass-zero"), check.subject,
                     "mass is 0 but the inertia tensor is not: a body without mass cannot have "
                     "moments; give the link its mass, or a tensor of 0 if it is a frame",
                     CheckContext::inertialPlace(body));
    }
}

void checkMovingMass(const CheckContext& context, const BodyCheck& check, Findings& findings) {
    constexpr const Rule& massless = rule("moving-body-massless");
    const GroupMass& group = context.groupOf(check.index);
    if (!context.massless(group) || group.representative != check.index) return;
    const BodyOverview& body = check.body;
    findings.add(massless, check.subject,
                 fmt::format("moving body {}, below {}: the simulator refuses it; give the link "
                             "an <inertial> with a positive mass",
                             masslessText(body, group), numberText(massless.threshold)),
                 massPlace(body));
}

void checkMovingInertia(const CheckContext& context, const BodyCheck& check, Findings& findings) {
    constexpr const Rule& inertiaZero = rule("moving-body-inertia-zero");
    const GroupMass& group = context.groupOf(check.index);
    // A group of several bodies with mass has moments from where they stand as well: not judged.
    if (!group.moving || group.unknown || group.withMass != 1 ||
        group.representative != check.index || !check.own.mass || !(*check.own.mass > 0) ||
        !check.own.inertia || !allFinite(*check.own.inertia)) {
        return;
    }
    const auto moments = principalMoments(*check.own.inertia);
    // A negative moment is inertia-not-positive's.
    if (!(moments[0] < inertiaZero.threshold) || judgedIndefinite(*check.own.inertia)) {
        return;
    }
    findings.add(
        inertiaZero, check.subject,
        fmt::format("moving body of mass {} has a principal moment of {} (principal "
                    "moments {}, {}, {}), below {}: the simulator refuses it; give "
                    "the link's <inertia> its moments about every axis",
                    numberText(*check.own.mass), rounded(moments[0]), rounded(moments[0]),
                    rounded(moments[1]), rounded(moments[2]), numberText(inertiaZero.threshold)),
        CheckContext::inertialPlace(check.body));
}

void checkWorldRoot(const CheckContext& context, const BodyCheck& check, Findings& findings) {
    if (check.body.name != "world") return;
    const GroupMass& group = context.groupOf(check.index);
    if (!group.worldRoot) return;
    const UrdfElements::Link* link = context.urdf().link(check.body.name);
    if (link == nullptr) return;
    findings.add(rule("root-world"), check.subject,
                 "the root link is named 'world', the fixed frame in ROS, but the host fixes "
                 "it to nothing: it becomes an ordinary body and the robot is free; fix the "
                 "robot in the host's model, or leave the link out",
                 CheckContext::linkPlace(check.body));
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
