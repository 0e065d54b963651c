// Importing a robot description with the URDF plugin and rendering the document it yields.
#pragma once

#include <corvane/Syntax.hpp>
#include <string>

#include "Options.hpp"

namespace corvane::tools {

// Imports `source` the way the host would for an import statement with the type path of
// `options`, at the precision of `options`. Throws ToolError (refused) naming `inputName` when
// the plugin refuses the description.
DocumentPtr importRobot(const std::string& source, const std::string& inputName,
                        const Options& options);

// The document in the requested format, as it is to be written out.
std::string renderDocument(const Document& document, OutputFormat format);

}  // namespace corvane::tools
