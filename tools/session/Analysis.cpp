#include "session/Analysis.hpp"

#include <corvane/xacro/Recognition.hpp>
#include <exception>
#include <set>
#include <system_error>
#include <utility>

#include "support/Files.hpp"

namespace corvane::tools {

namespace fs = std::filesystem;

namespace {

// The request's texts by the name the expander asks for them with.
using TextsByKey = std::map<fs::path, std::string>;

TextsByKey textsByKey(const std::map<fs::path, std::string>& texts) {
    TextsByKey keyed;
    for (const auto& [file, text] : texts) keyed[analysisFileKey(file)] = text;
    return keyed;
}

// Each file once, in the order first noted.
class FilesRead {
  public:
    void note(const fs::path& file) {
        if (seen_.insert(file).second) files_.push_back(file);
    }
    std::vector<fs::path> take() { return std::move(files_); }

  private:
    std::set<fs::path> seen_;
    std::vector<fs::path> files_;
};

// The top file's text: the caller's, or the file's. Throws ToolError (usage or I/O).
std::string topText(const fs::path& file, const fs::path& key, const TextsByKey& texts) {
    const auto given = texts.find(key);
    if (given != texts.end()) return given->second;
    return readWholeFile(file, file.string());
}

// Every mesh file the document names that its locator found (the checks and the page read them).
void noteMeshes(const ImportedRobot& robot, FilesRead& files) {
    for (const auto& body : robot.overview().bodies) {
        for (const auto& geometry : body.geometries) {
            if (!geometry.meshPath) continue;
            const MeshLocation& location = robot.meshes().locate(*geometry.meshPath);
            if (location.file) files.note(analysisFileKey(*location.file));
        }
    }
}

// The expansion, when the request asks for one: its failure names the xacro line.
XacroInput expandedText(const AnalysisRequest& request, const std::string& text,
                        const MeshLocator& meshes, const TextsByKey& texts) {
    const xacro::FileTexts lookUp = [&texts](const fs::path& file) -> std::optional<std::string> {
        const auto found = texts.find(file);
        if (found == texts.end()) return std::nullopt;
        return found->second;
    };
    return expandXacro(request.topFile, &text, request.arguments, meshes,
                       texts.empty() ? xacro::FileTexts{} : lookUp);
}

// Unless the request says, a file named *.xacro, or one written in xacro whatever its name (the
// turtlebot3 robots' *.urdf).
bool expandsAsXacro(const AnalysisRequest& request, const std::string& text) {
    return request.xacro.value_or(request.topFile.string().ends_with(".xacro") ||
                                  xacro::isXacroDocument(text));
}

// The run itself; failures are exceptions here, made into the analysis's failure by the caller.
void analyse(const AnalysisRequest& request, RobotAnalysis& analysis, FilesRead& files) {
    const TextsByKey texts = textsByKey(request.fileTexts);
    const fs::path topKey = analysisFileKey(request.topFile);
    const std::string inputName = request.topFile.string();
    // Listed even when it cannot be read: it is the file to watch for its return.
    files.note(topKey);
    std::string text = topText(request.topFile, topKey, texts);
    MeshLocator meshes = meshLocatorIn(request.topFile.parent_path(), request.packagePaths);
    XacroInput input{std::move(text), {}, {}, {}};
    if (expandsAsXacro(request, input.urdf)) {
        analysis.expanded = true;
        try {
            input = expandedText(request, input.urdf, meshes, texts);
        } catch (const xacro::ExpansionError& error) {
            for (const auto& file : error.files()) files.note(file);
            throw;
        }
        for (const auto& file : input.files) files.note(file);
        analysis.messages = std::move(input.messages);
    }
    DocumentPtr document = importDescription(input.urdf, request.precision, request.importSegments);
    if (!document) {
        analysis.failure = refusalFailure(input.urdf, inputName);
        return;
    }
    analysis.robot.emplace(inputName, std::move(input.urdf), std::move(document), std::move(meshes),
                           request.precision, std::move(input.sourceMap));
    analysis.checks = checkImportedRobot(*analysis.robot, request.showNotes);
    if (request.withScene)
        analysis.scene = pageScene(analysis.robot->overview(), analysis.robot->meshes());
    noteMeshes(*analysis.robot, files);
}

}  // namespace

fs::path analysisFileKey(const fs::path& file) {
    std::error_code error;
    fs::path resolved = fs::absolute(file, error);
    if (!error) resolved = fs::weakly_canonical(resolved, error);
    return error ? file.lexically_normal() : resolved;
}

RobotAnalysis analyseRobot(const AnalysisRequest& request) {
    RobotAnalysis analysis;
    FilesRead files;
    const std::string inputName = request.topFile.string();
    try {
        analyse(request, analysis, files);
    } catch (const xacro::ExpansionError& error) {
        analysis.failure = expansionFailure(error);
    } catch (const ToolError& error) {
        analysis.failure = failureFromMessage(error.status(), error.what(), inputName);
    } catch (const std::exception& error) {
        analysis.failure = AnalysisFailure{ExitStatus::Refused, error.what(), inputName, 0, {}};
    }
    if (analysis.failure) {
        analysis.robot.reset();
        analysis.scene.reset();
        analysis.checks = {};
    }
    analysis.files = files.take();
    return analysis;
}

}  // namespace corvane::tools
