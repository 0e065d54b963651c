#include "cli/Import.hpp"

#include <corvane/Builders.hpp>
#include <corvane/UrdfPlugin.hpp>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <utility>
#include <vector>

#include "cli/Input.hpp"
#include "model/UrdfElements.hpp"
#include "model/XacroInput.hpp"
#include "support/ToolError.hpp"
#include "support/VisibleText.hpp"

namespace corvane::tools {

namespace {

// "arm.urdf: not a valid ...", or "arm.urdf:12: not a valid ...: malformed XML: <cause>" when the
// XML parser says where the text goes wrong.
std::string refusalMessage(const std::string& source, const std::string& inputName) {
    const std::string refused = "not a valid URDF robot description";
    const auto problem = findXmlProblem(source);
    if (!problem) return inputName + ": " + refused;
    const std::string place =
        problem->line > 0 ? inputName + ":" + std::to_string(problem->line) : inputName;
    return place + ": " + refused + ": malformed XML: " + problem->description;
}

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

std::string placeOf(const std::string& file, int line) {
    const std::string name = displayedSourceFile(file);
    return line > 0 ? name + ":" + std::to_string(line) : name;
}

// "FILE:LINE: what", then one note per macro call and include that led there; and, for an
// INPUT expanded for its content alone, how to read it as it is (a URDF that kept a stray macro
// call, say).
ToolError expansionFailure(const xacro::ExpansionError& error, const std::string& input,
                           bool byContent) {
    const xacro::SourceOrigin& where = error.where();
    std::vector<std::string> notes;
    for (auto step : where.chain) {
        if (step.kind == xacro::SourceStep::Kind::Include)
            step.name = displayedSourceFile(step.name);
        notes.push_back(placeOf(step.file, step.line) + ": note: " + xacro::stepNote(step));
    }
    if (byContent)
        notes.push_back(inputDisplayName(input) +
                        ": note: expanded as xacro since its root element declares the xacro "
                        "namespace and it holds xacro elements; --no-xacro reads it as it is");
    return ToolError(ExitStatus::Refused, placeOf(where.file, where.line) + ": " + error.what(),
                     std::move(notes));
}

// Standard input stands for a file in the current folder: relative includes start there.
std::filesystem::path xacroFileOf(const std::string& input) {
    return input == standardStream ? std::filesystem::path(inputDisplayName(input))
                                   : std::filesystem::path(input);
}

}  // namespace

MeshLocator meshLocatorFor(const std::string& input, const Options& options) {
    return MeshLocator(PackageSearch::fromCommandLineAndEnvironment(options.packagePaths),
                       input == standardStream ? std::filesystem::path()
                                               : std::filesystem::path(input).parent_path());
}

XacroInput readUrdfText(const std::string& input, const Options& options,
                        const MeshLocator& meshes) {
    std::string text = readInput(input);
    if (!options.expandsAsXacro(input, text)) return {std::move(text), {}, {}};
    try {
        XacroInput expanded =
            expandXacro(xacroFileOf(input), &text, options.xacroArguments, meshes);
        if (!options.quiet) {
            for (const auto& message : expanded.messages)
                std::fprintf(stderr, "%s\n", onOneLine(message).c_str());
        }
        return expanded;
    } catch (const xacro::ExpansionError& error) {
        throw expansionFailure(error, input, !options.expandsByName(input));
    }
}

DocumentPtr importRobot(const std::string& source, const std::string& inputName,
                        const Options& options) {
    Plugins::Urdf::UrdfPlugin plugin;
    plugin.setPrecision(options.precision);
    ErrorReporter reporter;
    DocumentPtr document =
        plugin.parse(source, NodeBuilder::importStatement(options.importSegments), reporter);
    if (!document) throw ToolError(ExitStatus::Refused, refusalMessage(source, inputName));
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
