// The findings of the analyses of robots as the editor shows them: per file, at the start tag of
// the element (the attribute where the finding names one), with the rule as the code and the
// macro calls and includes that led there as related information.
#pragma once

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "lsp/Documents.hpp"
#include "session/Analysis.hpp"

namespace corvane::tools::lsp {

// Diagnostic[] by file (absolute and canonical).
using DiagnosticsByFile = std::map<std::filesystem::path, nlohmann::json>;

// Adds the diagnostics of `analysis` to `byFile`; ranges are found in the texts of `documents`
// or, for files not open, of the files on the disk.
void addDiagnostics(const RobotAnalysis& analysis, const Documents& documents,
                    DiagnosticsByFile& byFile);

}  // namespace corvane::tools::lsp
