// Importing a robot description with the URDF plugin and rendering the document it yields.
#pragma once

#include <corvane/Syntax.hpp>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/Options.hpp"
#include "model/MeshLocator.hpp"

namespace corvane::tools {

// Imports `source` the way the host would for an import statement with the type path of
// `options`, at the precision of `options`. Throws ToolError (refused) naming `inputName` when
// the plugin refuses the description, with the line and the cause when the XML is malformed.
DocumentPtr importRobot(const std::string& source, const std::string& inputName,
                        const Options& options);

struct Rendering {
    // The document in the requested format, exactly as it is to be written out.
    std::string content;
    // What a program that drew it said although it succeeded, and warnings of the rendering
    // itself (meshes of the 3D page that cannot be drawn).
    std::vector<std::string> warnings;
    // Who says them: "dot", or "warning" for the tool's own.
    std::string warningsFrom = "dot";
};

// The document in `format`; `meshes` finds the meshes of the 3D page. Throws ToolError (usage or
// I/O) when Graphviz, three.js or Chromium are missing or fail, with a message that names no file;
// other failures are std::exceptions.
Rendering renderDocument(const Document& document, const Options& options,
                         const MeshLocator& meshes);

// The file name extension of a format's output, with its dot: ".txt", ".json", ".dot", ".svg",
// ".png" or ".html" (a snapshot is a ".png").
const char* outputExtension(OutputFormat format);

}  // namespace corvane::tools
