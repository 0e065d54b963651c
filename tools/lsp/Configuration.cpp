#include "lsp/Configuration.hpp"

#include <fstream>
#include <sstream>

#include "lsp/Documents.hpp"
#include "model/MeshLocator.hpp"

namespace corvane::tools::lsp {

namespace {

using Json = nlohmann::json;

std::filesystem::path fromFolder(const std::filesystem::path& folder, const std::string& path) {
    const std::filesystem::path given(path);
    return fileKey(given.is_absolute() ? given : folder / given);
}

// A DIR relative to the folder; NAME=DIR keeps its NAME.
std::string packagePathFrom(const std::filesystem::path& folder, const std::string& value) {
    const std::size_t equals = value.find('=');
    const std::size_t slash = value.find('/');
    if (equals != std::string::npos && (slash == std::string::npos || slash > equals)) {
        return value.substr(0, equals + 1) + fromFolder(folder, value.substr(equals + 1)).string();
    }
    return fromFolder(folder, value).string();
}

void addPackagePaths(Configuration& configuration, const Json& values,
                     const std::filesystem::path& folder) {
    if (!values.is_array()) {
        configuration.problems.push_back("\"packagePath\" is no list of folders; ignored");
        return;
    }
    for (const auto& value : values) {
        if (!value.is_string()) {
            configuration.problems.push_back(
                "a \"packagePath\" entry is no string: " + value.dump() + "; ignored");
            continue;
        }
        const std::string path = packagePathFrom(folder, value.get<std::string>());
        if (const std::string problem = PackageSearch::packagePathProblem(path); !problem.empty()) {
            configuration.problems.push_back(problem + "; ignored");
            continue;
        }
        configuration.packagePaths.push_back(path);
    }
}

void addRobot(Configuration& configuration, const Json& robot,
              const std::filesystem::path& folder) {
    if (!robot.is_object() || !robot.contains("file") || !robot["file"].is_string()) {
        configuration.problems.push_back("a \"robots\" entry needs a \"file\": " + robot.dump() +
                                         "; ignored");
        return;
    }
    ConfiguredRobot configured{fromFolder(folder, robot["file"].get<std::string>()), {}};
    if (robot.contains("args")) {
        if (!robot["args"].is_object()) {
            configuration.problems.push_back("the \"args\" of robot '" + configured.file.string() +
                                             "' are no object of NAME: VALUE; ignored");
        } else {
            for (const auto& [name, value] : robot["args"].items()) {
                configured.arguments.emplace_back(
                    name, value.is_string() ? value.get<std::string>() : value.dump());
            }
        }
    }
    // A robot named again takes its latest arguments.
    for (auto& existing : configuration.robots) {
        if (existing.file == configured.file) {
            existing = std::move(configured);
            return;
        }
    }
    configuration.robots.push_back(std::move(configured));
}

}  // namespace

void addSettings(Configuration& configuration, const Json& settings,
                 const std::filesystem::path& folder) {
    if (!settings.is_object()) return;
    if (const auto nested = settings.find("corvane-urdf"); nested != settings.end()) {
        addSettings(configuration, *nested, folder);
    }
    if (const auto paths = settings.find("packagePath"); paths != settings.end()) {
        addPackagePaths(configuration, *paths, folder);
    }
    if (const auto robots = settings.find("robots"); robots != settings.end()) {
        if (!robots->is_array()) {
            configuration.problems.push_back("\"robots\" is no list; ignored");
        } else {
            for (const auto& robot : *robots) addRobot(configuration, robot, folder);
        }
    }
}

void addFolderSettings(Configuration& configuration, const std::filesystem::path& folder) {
    const std::filesystem::path file = folder / "corvane-urdf.json";
    std::ifstream stream(file);
    if (!stream) return;
    std::ostringstream text;
    text << stream.rdbuf();
    try {
        addSettings(configuration, Json::parse(text.str()), folder);
    } catch (const Json::parse_error& error) {
        configuration.problems.push_back(file.string() + ": no JSON (" + error.what() +
                                         "); ignored");
    }
}

}  // namespace corvane::tools::lsp
