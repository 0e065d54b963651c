// The report --summary prints after an import: what the model holds, what the import skipped,
// which bodies are left without any mass, and what the description holds that the model lacks.
#pragma once

#include <string>
#include <vector>

#include "cli/Logging.hpp"
#include "model/DescriptionFacts.hpp"
#include "model/ModelOverview.hpp"

namespace corvane::tools {

// What the summary reports on, held by the imported robot it is about.
struct ImportFacts {
    const std::string& inputName;
    const ModelOverview& model;
    const DescriptionFacts& description;
    // The plugin's warnings and errors during the import.
    std::vector<LoggedMessage> messages;
};

// The report, one item per line, the first line naming the input and the model. Names are
// written as the host text writes them; at most `namesShown` per item, then "...".
std::string formatSummary(const ImportFacts& facts);

inline constexpr std::size_t namesShown = 3;

}  // namespace corvane::tools
