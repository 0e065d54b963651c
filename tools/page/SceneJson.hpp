// The scene of the 3D page as JSON: bodies with their world poses at the initial values,
// geometries, connectors and mass properties; interactions with their connector frames, axes,
// ranges and slider spans; the mesh files. The README describes the format for other tools.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/ModelOverview.hpp"
#include "page/Scene.hpp"
#include "page/SceneMeshes.hpp"

namespace corvane::tools {

// The box of uniform density with the body's mass and principal moments of inertia, in the
// body's frame: its edge lengths along its own axes, and where it stands.
struct InertiaBox {
    Vector3 size;
    RigidTransform pose;
};

// Unset without a positive finite mass or without an inertia tensor. The tensor is taken about
// the centre of mass in the centre-of-mass frame; moments that no box can have (a triangle
// inequality broken) give edges of length 0 rather than none.
std::optional<InertiaBox> equivalentInertiaBox(const BodyOverview& body);

// A finding of the checks as the page shows it (the page knows no checks): the place of the
// source a person edits, the steps outwards, and what it is about, by name.
struct SceneFinding {
    struct Step {
        std::string file;
        int line = 0;
        std::string note;
    };
    std::string severity;  // "error", "warning", "note"
    std::string rule;
    std::string message;  // the subject and the message, as --check prints them
    std::string file;
    int line = 0;  // 0: none
    std::vector<Step> chain;
    std::optional<std::string> body;
    std::optional<std::string> geometry;
    std::optional<std::string> interaction;
};

// What a scene may carry besides the robot.
struct SceneExtras {
    // Set: the scene has "findings" (the page lists them and tints their bodies).
    std::optional<std::vector<SceneFinding>> findings;
    // The meshes are fetched from "/meshes/INDEX" (mesh "url") rather than embedded ("data"
    // null), so that a live page reloads only what changed.
    bool meshesByIndex = false;
};

// The JSON text, valid UTF-8 whatever the names hold (they are written with visibleText), and
// safe to place inside a <script> element: '<', '>', '&', U+2028 and U+2029 appear only as \u
// escapes.
std::string sceneJson(const ModelOverview& overview, const Scene& scene, const SceneMeshes& meshes,
                      const SceneExtras& extras = {});

// `json` with '<', '>', '&', U+2028 and U+2029 written as \u escapes; valid JSON stays valid
// JSON with the same meaning, since these characters can occur only inside strings.
std::string escapeForScriptElement(std::string_view json);

}  // namespace corvane::tools
