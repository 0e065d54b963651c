#include "page/SceneMeshes.hpp"

#include <map>
#include <set>
#include <utility>

#include "support/VisibleText.hpp"

namespace corvane::tools {

namespace {

EmbeddedMesh embed(const std::string& uri, const MeshFile& file) {
    return {uri, meshFormatName(file.format()), file.bytes(), file.problem()};
}

class MeshCollector {
  public:
    explicit MeshCollector(const MeshLocator& locator) : locator_(locator) {}

    std::size_t meshFor(const std::string& uri) {
        if (const auto known = byUri_.find(uri); known != byUri_.end()) return known->second;
        const MeshFile& file = locator_.file(uri);
        const auto [entry, added] = byFile_.try_emplace(&file, result_.meshes.size());
        if (added) result_.meshes.push_back(embed(uri, file));
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
    std::map<const MeshFile*, std::size_t> byFile_;
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
