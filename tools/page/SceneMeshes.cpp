#include "page/SceneMeshes.hpp"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <utility>

#include "support/Files.hpp"
#include "support/VisibleText.hpp"

namespace corvane::tools {

namespace fs = std::filesystem;

namespace {

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string formatOf(const std::string& name) {
    const std::string extension = lowercase(fs::path(name).extension().string());
    if (extension == ".stl") return "stl";
    if (extension == ".obj") return "obj";
    if (extension == ".dae") return "dae";
    return "unknown";
}

EmbeddedMesh embed(const MeshLocation& location) {
    EmbeddedMesh mesh{location.uri,
                      formatOf(location.file ? location.file->string() : location.uri),
                      std::nullopt, std::nullopt};
    if (!location.found()) {
        mesh.problem = location.reason();
    } else if (mesh.format == "unknown") {
        mesh.problem = "is no STL, OBJ or Collada file (by its extension)";
    } else if (auto bytes = readWholeFileIfReadable(*location.file)) {
        mesh.bytes = std::move(bytes);
    } else {
        mesh.problem = "cannot be read";
    }
    return mesh;
}

// Files are told apart by what they resolve to, so two URIs of one file share it; a URI that
// resolves to nothing is its own key.
std::string keyOf(const MeshLocation& location) {
    if (!location.file) return "uri:" + location.uri;
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(*location.file, error);
    return "file:" + (error ? *location.file : canonical).string();
}

class MeshCollector {
  public:
    explicit MeshCollector(const MeshLocator& locator) : locator_(locator) {}

    std::size_t meshFor(const std::string& uri) {
        if (const auto known = byUri_.find(uri); known != byUri_.end()) return known->second;
        const MeshLocation& location = locator_.locate(uri);
        const auto [entry, added] = byFile_.try_emplace(keyOf(location), result_.meshes.size());
        if (added) result_.meshes.push_back(embed(location));
        byUri_.emplace(uri, entry->second);
        return entry->second;
    }

    void warnOnce(std::size_t mesh, const std::string& uri, const std::string& body) {
        const EmbeddedMesh& embedded = result_.meshes[mesh];
        if (!embedded.problem || !warned_.emplace(mesh, body).second) return;
        result_.warnings.push_back(visibleText("mesh " + singleQuoted(uri) + " of body " +
                                               singleQuoted(body) + ": " + *embedded.problem));
    }

    SceneMeshes& result() { return result_; }

  private:
    const MeshLocator& locator_;
    SceneMeshes result_;
    std::map<std::string, std::size_t> byUri_;
    std::map<std::string, std::size_t> byFile_;
    std::set<std::pair<std::size_t, std::string>> warned_;
};

}  // namespace

SceneMeshes collectMeshes(const ModelOverview& overview, const MeshLocator& locator) {
    MeshCollector collector(locator);
    auto& geometryMesh = collector.result().geometryMesh;
    geometryMesh.reserve(overview.bodies.size());
    for (const auto& body : overview.bodies) {
        auto& meshes = geometryMesh.emplace_back(body.geometries.size());
        for (std::size_t i = 0; i < body.geometries.size(); ++i) {
            const GeometryOverview& geometry = body.geometries[i];
            if (geometry.shape != GeometryShape::Mesh || !geometry.meshPath) continue;
            meshes[i] = collector.meshFor(*geometry.meshPath);
            collector.warnOnce(*meshes[i], *geometry.meshPath, body.name);
        }
    }
    return std::move(collector.result());
}

}  // namespace corvane::tools
