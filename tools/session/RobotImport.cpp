#include "session/RobotImport.hpp"

#include <corvane/Builders.hpp>
#include <corvane/UrdfPlugin.hpp>
#include <utility>

#include "model/UrdfElements.hpp"
#include "model/XacroInput.hpp"

namespace corvane::tools {

namespace {

std::string placeOf(const std::string& file, int line) {
    return line > 0 ? file + ":" + std::to_string(line) : file;
}

}  // namespace

std::string AnalysisFailure::text() const {
    return file.empty() ? message : placeOf(file, line) + ": " + message;
}

std::vector<std::string> AnalysisFailure::noteLines() const {
    std::vector<std::string> lines;
    for (const auto& step : chain)
        lines.push_back(placeOf(step.file, step.line) + ": note: " + step.text);
    return lines;
}

ToolError AnalysisFailure::toolError() const {
    return ToolError(status, text(), noteLines());
}

AnalysisFailure expansionFailure(const xacro::ExpansionError& error) {
    const xacro::SourceOrigin& where = error.where();
    AnalysisFailure failure{
        ExitStatus::Refused, error.what(), displayedSourceFile(where.file), where.line, {}};
    for (auto step : where.chain) {
        if (step.kind == xacro::SourceStep::Kind::Include)
            step.name = displayedSourceFile(step.name);
        failure.chain.push_back({displayedSourceFile(step.file), step.line, xacro::stepNote(step)});
    }
    return failure;
}

AnalysisFailure refusalFailure(const std::string& source, const std::string& inputName) {
    const std::string refused = "not a valid URDF robot description";
    const auto problem = findXmlProblem(source);
    if (!problem) return {ExitStatus::Refused, refused, inputName, 0, {}};
    return {ExitStatus::Refused,
            refused + ": malformed XML: " + problem->description,
            inputName,
            problem->line,
            {}};
}

AnalysisFailure failureFromMessage(ExitStatus status, const std::string& message,
                                   const std::string& file) {
    const std::string prefix = file + ": ";
    if (!file.empty() && message.starts_with(prefix))
        return {status, message.substr(prefix.size()), file, 0, {}};
    return {status, message, "", 0, {}};
}

DocumentPtr importDescription(const std::string& source, int precision,
                              const std::vector<std::string>& importSegments) {
    Plugins::Urdf::UrdfPlugin plugin;
    plugin.setPrecision(precision);
    ErrorReporter reporter;
    return plugin.parse(source, NodeBuilder::importStatement(importSegments), reporter);
}

MeshLocator meshLocatorIn(const std::filesystem::path& baseFolder,
                          const std::vector<std::string>& packagePaths) {
    return MeshLocator(PackageSearch::fromCommandLineAndEnvironment(packagePaths), baseFolder);
}

}  // namespace corvane::tools
