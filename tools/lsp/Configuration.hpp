// What the client tells the server about the robots: package folders and the robots to analyse
// with their arguments, from initializationOptions, workspace/didChangeConfiguration and a
// corvane-urdf.json at a workspace folder's root:
//   {"packagePath": ["DIR", "NAME=DIR"], "robots": [{"file": "PATH", "args": {"NAME": "VALUE"}}]}
// ROS_PACKAGE_PATH and AMENT_PREFIX_PATH count as they do for the command line.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "model/XacroInput.hpp"

namespace corvane::tools::lsp {

struct ConfiguredRobot {
    std::filesystem::path file;  // absolute and canonical
    XacroArguments arguments;
};

struct Configuration {
    // --package-path values, in order.
    std::vector<std::string> packagePaths;
    std::vector<ConfiguredRobot> robots;
    // What was wrong with the settings, one line each (for window/showMessage).
    std::vector<std::string> problems;
};

// The settings of `settings` (an object; anything else adds nothing); relative paths are taken
// from `folder`. A settings object under the key "corvane-urdf" is read too, as clients that
// send all their settings at once nest it.
void addSettings(Configuration& configuration, const nlohmann::json& settings,
                 const std::filesystem::path& folder);

// The settings of `folder`/corvane-urdf.json, when there is one.
void addFolderSettings(Configuration& configuration, const std::filesystem::path& folder);

}  // namespace corvane::tools::lsp
