// The pieces of an import that every run shares: where meshes and packages are looked for, the
// plugin's import of a URDF text, and how a failed expansion or import is told (file, line, and
// the macro calls and includes that led there).
#pragma once

#include <corvane/Syntax.hpp>
#include <corvane/xacro/Expander.hpp>
#include <filesystem>
#include <string>
#include <vector>

#include "checks/Findings.hpp"
#include "model/MeshLocator.hpp"
#include "support/ToolError.hpp"

namespace corvane::tools {

// A run that ended before its import succeeded.
struct AnalysisFailure {
    // UsageOrIo when the top file cannot be read (or a --package-path value is wrong), Refused
    // when its expansion or its import fails.
    ExitStatus status = ExitStatus::Refused;
    // What went wrong, without the place.
    std::string message;
    // As --check names files; empty when the failure is about no file.
    std::string file;
    int line = 0;  // 0: none
    // The macro calls and includes that led to the place, innermost first.
    std::vector<SourceNote> chain;

    // "FILE:LINE: MESSAGE" ("FILE: MESSAGE" without a line), as the command line prints it
    // after "error: ".
    std::string text() const;
    // One "FILE:LINE: note: TEXT" line per step of the chain.
    std::vector<std::string> noteLines() const;
    // The same as the command line's error.
    ToolError toolError() const;
};

// "FILE:LINE: what" of the expander, with its chain.
AnalysisFailure expansionFailure(const xacro::ExpansionError& error);

// A description the plugin refused: "not a valid URDF robot description", with the line and the
// cause when the XML is malformed. `inputName` names the input.
AnalysisFailure refusalFailure(const std::string& source, const std::string& inputName);

// A failure that is already one message naming its file (ToolError's texts), taken apart again
// when it starts with "FILE: ".
AnalysisFailure failureFromMessage(ExitStatus status, const std::string& message,
                                   const std::string& file);

// Imports `source` as the host would for an import statement with the type path `importSegments`,
// at `precision`. Null when the plugin refuses the description; its own failures are exceptions.
DocumentPtr importDescription(const std::string& source, int precision,
                              const std::vector<std::string>& importSegments);

// Where the meshes and packages of a robot in `baseFolder` are looked for: the --package-path
// values, then the environment. Throws ToolError (usage) for a wrong value.
MeshLocator meshLocatorIn(const std::filesystem::path& baseFolder,
                          const std::vector<std::string>& packagePaths);

}  // namespace corvane::tools
