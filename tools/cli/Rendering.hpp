// An imported robot in the output format the command line asks for.
#pragma once

#include <string>
#include <vector>

#include "cli/Options.hpp"
#include "model/ImportedRobot.hpp"

namespace corvane::tools {

struct Rendering {
    // The document in the requested format, exactly as it is to be written out.
    std::string content;
    // What a program that drew it said although it succeeded, and warnings of the rendering
    // itself (meshes of the 3D page that cannot be drawn).
    std::vector<std::string> warnings;
    // Who says them: "dot", or "warning" for the tool's own.
    std::string warningsFrom = "dot";
};

// The robot's document in the format of `options`. Throws ToolError (usage or I/O) when
// Graphviz, three.js or Chromium are missing or fail, with a message that names no file; other
// failures are std::exceptions.
Rendering renderDocument(const ImportedRobot& robot, const Options& options);

}  // namespace corvane::tools
