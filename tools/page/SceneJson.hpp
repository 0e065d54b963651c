// The scene of the 3D page as JSON: bodies with their world poses at the initial values,
// geometries, connectors and mass properties; interactions with their connector frames, axes,
// ranges and slider spans; the mesh files. The README describes the format for other tools.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

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

// The JSON text, valid UTF-8 whatever the names hold (they are written with visibleText), and
// safe to place inside a <script> element: '<', '>', '&', U+2028 and U+2029 appear only as \u
// escapes.
std::string sceneJson(const ModelOverview& overview, const Scene& scene, const SceneMeshes& meshes);

// `json` with '<', '>', '&', U+2028 and U+2029 written as \u escapes; valid JSON stays valid
// JSON with the same meaning, since these characters can occur only inside strings.
std::string escapeForScriptElement(std::string_view json);

}  // namespace corvane::tools
