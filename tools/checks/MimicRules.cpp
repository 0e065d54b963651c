#include <fmt/format.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "checks/RuleFamilies.hpp"
#include "checks/RuleText.hpp"
#include "support/VisibleText.hpp"

namespace corvane::tools {

namespace {

using Element = UrdfPlace::Element;

// The joints `joint` follows through mimics, in order, up to the first that mimics none, names
// no joint, or comes round again (then the last entry is the one met twice).
std::vector<std::string> mimicChain(const UrdfElements& urdf, const std::string& joint) {
    std::vector<std::string> chain{joint};
    std::unordered_set<std::string> seen{joint};
    const UrdfElements::Joint* current = urdf.joint(joint);
    while (current != nullptr && current->mimic) {
        const std::string& leader = current->mimic->leader;
        chain.push_back(leader);
        if (!seen.insert(leader).second) break;
        current = urdf.joint(leader);
    }
    return chain;
}

std::string chainText(const std::vector<std::string>& chain) {
    std::string text;
    for (const std::string& joint : chain) {
        text += (text.empty() ? "" : " -> ") + hostNameQuoted(joint);
    }
    return text;
}

// What is wrong with the mimic of `joint`, whose leader is `leader`; empty when nothing is.
std::string mimicFault(const UrdfElements& urdf, const std::string& joint,
                       const std::string& leader) {
    if (leader.empty()) return "names no joint to follow";
    if (leader == joint) return "follows its own joint";
    if (urdf.joint(leader) == nullptr) {
        return fmt::format("follows joint {}, which the robot does not have",
                           hostNameQuoted(leader));
    }
    const std::vector<std::string> chain = mimicChain(urdf, joint);
    if (chain.size() > 2 && chain.back() == joint) {
        return "closes a cycle of mimics (" + chainText(chain) + "): no joint of it leads";
    }
    return {};
}

}  // namespace

void checkMimic(const CheckContext& context, const InteractionCheck& check, Findings& findings) {
    const UrdfElements::Joint* joint = context.urdf().joint(check.joint);
    if (joint == nullptr || !joint->mimic) return;
    const UrdfElements::Mimic& mimic = *joint->mimic;
    const UrdfPlace place{Element::Mimic, check.joint, 0, false};
    const std::string fault = mimicFault(context.urdf(), check.joint, mimic.leader);
    if (!fault.empty()) {
        findings.add(rule("mimic-invalid"), check.subject,
                     "the joint's <mimic> " + fault + "; name another joint of the robot", place);
        return;
    }
    findings.add(
        rule("mimic-not-carried"), check.subject,
        fmt::format("the joint mimics joint {} (multiplier {}, offset {}), but the document "
                    "does not carry the mimic: the host moves this joint on its own; couple the "
                    "two in the host's model",
                    hostNameQuoted(mimic.leader), numberText(mimic.multiplier),
                    numberText(mimic.offset)),
        place);
}

}  // namespace corvane::tools
