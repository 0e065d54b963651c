#include "cli/Import.hpp"

#include <corvane/Builders.hpp>
#include <corvane/UrdfPlugin.hpp>
#include <exception>
#include <filesystem>
#include <utility>

#include "cli/Input.hpp"
#include "model/UrdfElements.hpp"
#include "support/ToolError.hpp"

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

MeshLocator meshLocatorFor(const std::string& input, const Options& options) {
    return MeshLocator(PackageSearch::fromCommandLineAndEnvironment(options.packagePaths),
                       input == standardStream ? std::filesystem::path()
                                               : std::filesystem::path(input).parent_path());
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

}  // namespace

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
    std::string source = readInput(input);
    DocumentPtr document = importNamingInput(source, inputName, options);
    return ImportedRobot(std::move(inputName), std::move(source), std::move(document),
                         meshLocatorFor(input, options), options.precision);
}

}  // namespace corvane::tools
