#include "checks/Rules.hpp"

#include <algorithm>
#include <utility>

namespace corvane::tools {

std::span<const Rule> allRules() {
    return kRules;
}

const Rule* findRule(std::string_view id) {
    const auto found =
        std::find_if(kRules.begin(), kRules.end(), [id](const Rule& r) { return r.id == id; });
    return found == kRules.end() ? nullptr : &*found;
}

void Findings::add(const Rule& rule, std::string subject, std::string message, UrdfPlace place) {
    findings_.push_back({rule.severity,
                         std::move(subject),
                         std::move(message),
                         std::string(rule.id),
                         std::move(place),
                         {}});
}

std::vector<Finding> Findings::take() && {
    return std::move(findings_);
}

}  // namespace corvane::tools
