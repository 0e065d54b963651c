#include "cli/Import.hpp"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <utility>
#include <vector>

#include "cli/Input.hpp"
#include "model/XacroInput.hpp"
#include "session/RobotImport.hpp"
#include "support/ToolError.hpp"
#include "support/VisibleText.hpp"

namespace corvane::tools {

namespace {

// The plugin's own failures (it throws nothing for a refused description) name the input too.
DocumentPtr importNamingInput(const std::string& source, const std::string& inputName,
                              const Options& options) {
    try {
        return importRobot(source, inputName, options);
    } catch (const ToolError&) {
        throw;
    } catch (const std::exception& error) {
        throw ToolError(ExitStatus::Refused, inputName + ": " + error.what());
    } catch (...) {
        throw ToolError(ExitStatus::Refused, inputName + ": the import failed");
    }
}

// Standard input stands for a file in the current folder: relative includes start there.
std::filesystem::path xacroFileOf(const std::string& input) {
    return input == standardStream ? std::filesystem::path(inputDisplayName(input))
                                   : std::filesystem::path(input);
}

}  // namespace

MeshLocator meshLocatorFor(const std::string& input, const Options& options) {
    return meshLocatorIn(input == standardStream ? std::filesystem::path()
                                                 : std::filesystem::path(input).parent_path(),
                         options.packagePaths);
}

XacroInput readUrdfText(const std::string& input, const Options& options,
                        const MeshLocator& meshes) {
    std::string text = readInput(input);
    if (!options.expandsAsXacro(input, text)) return {std::move(text), {}, {}, {}};
    try {
        XacroInput expanded =
            expandXacro(xacroFileOf(input), &text, options.xacroArguments, meshes);
        if (!options.quiet) {
            for (const auto& message : expanded.messages)
                std::fprintf(stderr, "%s\n", onOneLine(message).c_str());
        }
        return expanded;
    } catch (const xacro::ExpansionError& error) {
        AnalysisFailure failure = expansionFailure(error);
        // a URDF that kept a stray macro call, say: the user's next step is to read it as it is
        if (!options.expandsByName(input))
            failure.chain.push_back(
                {inputDisplayName(input), 0,
                 "expanded as xacro since its root element declares the xacro namespace and it "
                 "holds xacro elements; --no-xacro reads it as it is"});
        throw failure.toolError();
    }
}

DocumentPtr importRobot(const std::string& source, const std::string& inputName,
                        const Options& options) {
    DocumentPtr document = importDescription(source, options.precision, options.importSegments);
    if (!document) throw refusalFailure(source, inputName).toolError();
    return document;
}

ImportedRobot importInput(const std::string& input, const Options& options) {
    std::string inputName = inputDisplayName(input);
    MeshLocator meshes = meshLocatorFor(input, options);
    XacroInput text = readUrdfText(input, options, meshes);
    DocumentPtr document = importNamingInput(text.urdf, inputName, options);
    return ImportedRobot(std::move(inputName), std::move(text.urdf), std::move(document),
                         std::move(meshes), options.precision, std::move(text.sourceMap));
}

}  // namespace corvane::tools
