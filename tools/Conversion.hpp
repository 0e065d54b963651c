// Importing a robot description with the URDF plugin and rendering the document it yields.
#pragma once

#include <corvane/Syntax.hpp>
#include <string>
#include <vector>

#include "Options.hpp"

namespace corvane::tools {

// Imports `source` the way the host would for an import statement with the type path of
// `options`, at the precision of `options`. Throws ToolError (refused) naming `inputName` when
// the plugin refuses the description, with the line and the cause when the XML is malformed.
DocumentPtr importRobot(const std::string& source, const std::string& inputName,
                        const Options& options);

struct Rendering {
    // The document in the requested format, exactly as it is to be written out.
    std::string content;
    // What a program that drew it said although it succeeded.
    std::vector<std::string> warnings;
};

// The document in `format`. Throws ToolError (usage or I/O) when Graphviz cannot draw it, with a
// message that names no file; other failures are std::exceptions.
Rendering renderDocument(const Document& document, OutputFormat format);

// The file name extension of a format's output, with its dot: ".txt", ".json", ".dot", ".svg" or
// ".png".
const char* outputExtension(OutputFormat format);

}  // namespace corvane::tools
