// Reading the command line of corvane-urdf.
#pragma once

#include <optional>

#include "cli/Options.hpp"
#include "serve/Server.hpp"
#include "support/ToolError.hpp"

namespace corvane::tools {

struct CommandLine {
    // Set when the run should go on; empty after --help, --version or a usage error.
    std::optional<Options> options;
    // Set instead for "corvane-urdf serve ...".
    std::optional<ServeOptions> serve;
    // The status to exit with when `options` is empty.
    ExitStatus status = ExitStatus::Success;
};

// Parses the arguments. Help and version go to standard output; a usage error is reported on
// standard error as one line.
CommandLine parseCommandLine(int argc, const char* const* argv);

// The version --version prints.
const char* toolVersion();

}  // namespace corvane::tools
