#include "page/HtmlPage.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <vector>

#include "page/Scene.hpp"
#include "page/SceneJson.hpp"
#include "page/SceneMeshes.hpp"
#include "support/Files.hpp"
#include "support/ToolError.hpp"
#include "support/VisibleText.hpp"

namespace corvane::tools::viewer {
// Generated at build time from tools/page/viewer/ (cmake/EmbedFiles.cmake): the template, and the
// script joined from its parts in the order tools/page/CMakeLists.txt gives.
std::string_view pageHtml();
std::string_view viewerJs();
}  // namespace corvane::tools::viewer

namespace corvane::tools {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view threePlaceholder = "/*CORVANE_THREE*/";
constexpr std::string_view viewerPlaceholder = "/*CORVANE_VIEWER*/";
constexpr std::string_view scenePlaceholder = "/*CORVANE_SCENE*/";

// The parts of three.js the viewer uses, in the order they must run.
constexpr std::array<const char*, 5> threeFiles{
    "three.min.js",
    "examples/js/controls/OrbitControls.js",
    "examples/js/loaders/STLLoader.js",
    "examples/js/loaders/OBJLoader.js",
    "examples/js/loaders/ColladaLoader.js",
};

ToolError threeMissing(const fs::path& folder, const std::string& file) {
    const std::string what = file == threeFiles.front() ? "three.js" : "three.js file " + file;
    return ToolError(ExitStatus::UsageOrIo, "cannot write html: " + what + " not found in " +
                                                folder.string() + " (Debian package libjs-three)");
}

std::string readThreeFile(const fs::path& folder, const std::string& file) {
    auto contents = readWholeFileIfReadable(folder / file);
    if (!contents) throw threeMissing(folder, file);
    return std::move(*contents);
}

std::string threeScripts(const fs::path& folder) {
    std::string scripts;
    for (const char* file : threeFiles) {
        scripts += "\n// ";
        scripts += file;
        scripts += " (libjs-three)\n";
        scripts += neutraliseScriptEnd(readThreeFile(folder, file));
    }
    return scripts;
}

struct Insertion {
    std::size_t at;
    std::size_t length;
    std::string_view text;
};

// The template with each placeholder replaced once, at its place in the template only, so that
// text put in (a robot's names among it) is never searched for placeholders.
std::string fillTemplate(std::string_view page, std::vector<Insertion> insertions) {
    std::sort(insertions.begin(), insertions.end(),
              [](const Insertion& a, const Insertion& b) { return a.at < b.at; });
    std::size_t total = page.size();
    for (const auto& insertion : insertions) total += insertion.text.size();
    std::string filled;
    filled.reserve(total);
    std::size_t from = 0;
    for (const auto& insertion : insertions) {
        filled.append(page.substr(from, insertion.at - from));
        filled.append(insertion.text);
        from = insertion.at + insertion.length;
    }
    filled.append(page.substr(from));
    return filled;
}

Insertion at(std::string_view page, std::string_view placeholder, std::string_view text) {
    const std::size_t position = page.find(placeholder);
    if (position == std::string_view::npos) return {page.size(), 0, {}};
    return {position, placeholder.size(), text};
}

// One line for all of them, the first few named: a broken robot may leave thousands unplaced.
std::string unplacedWarning(const ModelOverview& overview, const Scene& scene) {
    constexpr std::size_t named = 3;
    std::string names;
    for (std::size_t i = 0; i < scene.unplaced.size() && i < named; ++i) {
        if (i > 0) names += ", ";
        names += singleQuoted(visibleText(overview.bodies[scene.unplaced[i]].name));
    }
    if (scene.unplaced.size() > named) names += ", ...";
    const std::size_t count = scene.unplaced.size();
    return std::to_string(count) + (count == 1 ? " body" : " bodies") +
           " reached from no root body (in a cycle, or below a missing body or connector), "
           "drawn at the origin: " +
           names;
}

}  // namespace

fs::path threeJsFolder() {
    const char* overridden = std::getenv("CORVANE_THREE_DIR");
    if (overridden && *overridden) return overridden;
    return CORVANE_THREE_RUNTIME_DIR;
}

std::string htmlPage(std::string_view sceneJson, const fs::path& threeFolder) {
    const std::string three = threeScripts(threeFolder);
    const std::string viewer = neutraliseScriptEnd(viewer::viewerJs());
    const std::string_view page = viewer::pageHtml();
    return fillTemplate(page,
                        {at(page, threePlaceholder, three), at(page, viewerPlaceholder, viewer),
                         at(page, scenePlaceholder, sceneJson)});
}

PageScene pageScene(const ModelOverview& overview, const MeshLocator& locator) {
    PageScene scene{{}, collectMeshes(overview, locator), {}};
    scene.placed = buildScene(overview);
    scene.warnings = scene.meshes.warnings;
    if (!scene.placed.unplaced.empty())
        scene.warnings.push_back(unplacedWarning(overview, scene.placed));
    return scene;
}

ScenePage scenePage(const ModelOverview& overview, const MeshLocator& locator,
                    const fs::path& threeFolder, const SceneExtras& extras) {
    PageScene scene = pageScene(overview, locator);
    const std::string json = sceneJson(overview, scene.placed, scene.meshes, extras);
    return {htmlPage(json, threeFolder), std::move(scene.warnings)};
}

std::string neutraliseScriptEnd(std::string_view script) {
    constexpr std::string_view end = "</script";
    std::string result;
    result.reserve(script.size());
    std::size_t from = 0;
    for (std::size_t i = script.find("</"); i != std::string_view::npos;
         i = script.find("</", i + 1)) {
        if (script.size() - i < end.size()) break;
        bool matches = true;
        for (std::size_t k = 2; k < end.size() && matches; ++k) {
            matches = std::tolower(static_cast<unsigned char>(script[i + k])) == end[k];
        }
        if (!matches) continue;
        result.append(script.substr(from, i + 1 - from));
        result += '\\';
        from = i + 1;
    }
    result.append(script.substr(from));
    return result;
}

}  // namespace corvane::tools
