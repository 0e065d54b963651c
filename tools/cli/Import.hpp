// The import of one input: its text read, handed to the URDF plugin as a host would hand it, and
// the result kept with everything the views and checks read of it.
#pragma once

#include <corvane/Syntax.hpp>
#include <string>

#include "cli/Options.hpp"
#include "model/ImportedRobot.hpp"

namespace corvane::tools {

// Imports `source` the way the host would for an import statement with the type path of
// `options`, at the precision of `options`. Throws ToolError (refused) naming `inputName` when
// the plugin refuses the description, with the line and the cause when the XML is malformed.
DocumentPtr importRobot(const std::string& source, const std::string& inputName,
                        const Options& options);

// Reads `input` (a path, or "-" for standard input) and imports it; its meshes are looked for as
// `options` and the environment say, relative paths from the input's folder (for standard input,
// the current one). Throws ToolError naming the input: usage or I/O when it cannot be read,
// refused when the import fails.
ImportedRobot importInput(const std::string& input, const Options& options);

}  // namespace corvane::tools
