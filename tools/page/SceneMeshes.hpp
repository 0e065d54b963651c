// The mesh files a 3D page carries: each file the geometries name, found and read as the checks
// find and read it, once however many geometries use it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "model/MeshLocator.hpp"
#include "model/ModelOverview.hpp"

namespace corvane::tools {

struct EmbeddedMesh {
    // The URI as the first geometry that uses the file wrote it.
    std::string path;
    // "stl", "obj", "dae" or "unknown", from the file name's extension.
    std::string format;
    // The file's bytes; unset when it cannot be drawn.
    std::optional<std::string> bytes;
    // Why it cannot be drawn ("not found; tried: ...", "is empty", ...).
    std::optional<std::string> problem;
};

struct SceneMeshes {
    std::vector<EmbeddedMesh> meshes;
    // [body][geometry] of ModelOverview: the mesh's position in `meshes`, unset for other shapes.
    std::vector<std::vector<std::optional<std::size_t>>> geometryMesh;
    // One line per body and mesh that cannot be drawn:
    // "mesh 'URI' of body 'B': not found; tried: A, B".
    std::vector<std::string> warnings;
};

SceneMeshes collectMeshes(const ModelOverview& overview, const MeshLocator& locator);

}  // namespace corvane::tools
