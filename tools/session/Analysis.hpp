// One analysis of a robot: what the tool makes of one top file in one run. It reads the top file
// (or the text that stands in for it), expands it when it is xacro, imports it with the plugin,
// checks it and builds the 3D page's scene, and lists every file it read, so that a caller that
// runs it again after each save (the live server, an editor's language server) knows what to
// watch. Each analysis is independent and reads each file once.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "checks/CheckReport.hpp"
#include "model/ImportedRobot.hpp"
#include "model/XacroInput.hpp"
#include "page/HtmlPage.hpp"
#include "session/RobotImport.hpp"

namespace corvane::tools {

struct AnalysisRequest {
    // As the user gave it; relative paths are taken from the current folder.
    std::filesystem::path topFile;
    XacroArguments arguments;
    // --package-path values as given; ROS_PACKAGE_PATH and AMENT_PREFIX_PATH are added.
    std::vector<std::string> packagePaths;
    // Texts that stand in for files' contents (an editor's unsaved buffers), by absolute path:
    // for the top file and every file a xacro expansion reads. Mesh files are read from the disk.
    std::map<std::filesystem::path, std::string> fileTexts;
    // Unset: expanded as xacro when the top file's name ends in ".xacro" or its text is written
    // in xacro (xacro::isXacroDocument).
    std::optional<bool> xacro;
    int precision = 10;
    // The type path of the import statement; empty for the plugin's default.
    std::vector<std::string> importSegments;
    // Keep the checks' notes among the findings (--verbose).
    bool showNotes = false;
    // Build the scene of the 3D page.
    bool withScene = true;
};

struct RobotAnalysis {
    // The import: its URDF text (the expansion for xacro), document, source map and mesh locator.
    std::optional<ImportedRobot> robot;
    bool expanded = false;
    // What the xacro file printed while it expanded, "FILE:LINE: [warning: ]TEXT".
    std::vector<std::string> messages;
    // The findings, located as --check prints them.
    CheckReport checks;
    // What -f html draws: the placed scene, the mesh files with their bytes, the warnings;
    // session/SceneFindings.hpp writes it as JSON with the findings.
    std::optional<PageScene> scene;
    // Every file read: the top file, each include and YAML file, each mesh found; absolute and
    // canonical, each once, in the order first read (the meshes last).
    std::vector<std::filesystem::path> files;
    // Set when the run failed; `files` then holds those read until it failed.
    std::optional<AnalysisFailure> failure;

    bool succeeded() const { return !failure.has_value(); }
};

// The analysis of `request`. A robot that cannot be read, expanded or imported ends in
// `failure`, never in an exception.
RobotAnalysis analyseRobot(const AnalysisRequest& request);

// The name a file is known by in AnalysisRequest::fileTexts and RobotAnalysis::files: absolute
// and canonical (std::filesystem::weakly_canonical), or as given when the system cannot say.
std::filesystem::path analysisFileKey(const std::filesystem::path& file);

}  // namespace corvane::tools
