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

// Where the meshes and packages of `input` are looked for: as `options` and the environment say,
// relative paths from the input's folder (for standard input, the current one).
MeshLocator meshLocatorFor(const std::string& input, const Options& options);

// The URDF text of `input` (a path, or "-" for standard input): as read, or expanded when it is
// a xacro input, its packages found by `meshes`. Throws ToolError: usage or I/O naming the input
// when it cannot be read, refused when the expansion fails (at the xacro line that failed, with
// the macro calls and includes that led there as notes).
XacroInput readUrdfText(const std::string& input, const Options& options,
                        const MeshLocator& meshes);

// Reads `input` as readUrdfText does and imports it. Throws ToolError as readUrdfText does, and
// refused, naming the input, when the import fails.
ImportedRobot importInput(const std::string& input, const Options& options);

}  // namespace corvane::tools
