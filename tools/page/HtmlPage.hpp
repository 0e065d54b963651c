// The 3D page: one self-contained HTML file that shows an imported robot in any current browser,
// from disk and without a network. The page's own files (tools/page/viewer/: page.html and the
// parts of its script, joined in order) are built into the program; three.js and its loaders come
// from Debian's libjs-three when the page is written.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "model/MeshLocator.hpp"
#include "model/ModelOverview.hpp"
#include "page/Scene.hpp"
#include "page/SceneJson.hpp"
#include "page/SceneMeshes.hpp"

namespace corvane::tools {

// Where three.js is read from: the environment variable CORVANE_THREE_DIR when set and not
// empty, else the folder the build found (Debian's /usr/share/javascript/three).
std::filesystem::path threeJsFolder();

// The page showing `sceneJson` (the text of sceneJson(), already safe inside a script element),
// with three.min.js, OrbitControls, the STL, OBJ and Collada loaders from `threeFolder` and the
// viewer inlined. Throws ToolError (usage or I/O), naming no input, when a three.js file cannot
// be read.
std::string htmlPage(std::string_view sceneJson, const std::filesystem::path& threeFolder);

struct ScenePage {
    std::string html;
    // One line per mesh that cannot be drawn (see SceneMeshes::warnings).
    std::vector<std::string> warnings;
};

// What the page draws of a document's overview: its scene placed from the connectors, its meshes
// found by `locator`, and what cannot be drawn.
struct PageScene {
    Scene placed;
    SceneMeshes meshes;
    // One line per mesh that cannot be drawn, then one for the bodies reached from no root.
    std::vector<std::string> warnings;
};

PageScene pageScene(const ModelOverview& overview, const MeshLocator& locator);

// The page of a document's overview: its scene placed from the connectors, its meshes found by
// `locator` and embedded once each, with what `extras` adds (the findings).
ScenePage scenePage(const ModelOverview& overview, const MeshLocator& locator,
                    const std::filesystem::path& threeFolder, const SceneExtras& extras = {});

// `script` with every "</script" (in any case) written "<\/script", which means the same in
// JavaScript strings and regular expressions but cannot end the element it is inlined in.
std::string neutraliseScriptEnd(std::string_view script);

}  // namespace corvane::tools
