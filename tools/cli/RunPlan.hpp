// Which input goes where: one input to a file or standard output, several into a folder.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/Options.hpp"

namespace corvane::tools {

struct Job {
    std::string input;
    // False when only the summary or the findings are wanted.
    bool writesDocument = true;
    // Where the document goes; standard output when empty.
    std::optional<std::filesystem::path> destination;
};

// One job per input, in the order given. With several inputs and a folder, each output is named
// after its input's file name without its last extension (arm.urdf.xacro: without both), with
// the format's extension. Throws ToolError (usage or I/O) before anything is converted when the
// folder is no folder, when two inputs would write the same file, or when an output would replace
// one of the inputs.
std::vector<Job> planJobs(const Options& options);

}  // namespace corvane::tools
