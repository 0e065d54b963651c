#include "page/SceneMeshes.hpp"

#include <map>
#include <set>
#include <utility>

#include "support/VisibleText.hpp"

namespace corvane::tools {

namespace {

// three.js's STL loader takes a file for binary only when its size is exactly what the header
// announces, and for text when "solid" stands in its first bytes; it reads the count at byte 80
// of any file, text or not. So a binary file is handed over without the bytes after its last
// triangle, whatever its header says, and a text one from its "solid" on, padded with line breaks
// to the 84 bytes the loader reads: it then draws what the checks measure. Bytes that are neither
// are not handed over: the page lists them with the reason.
void handOverStl(EmbeddedMesh& mesh) {
    const std::string& bytes = *mesh.bytes;
    const StlLayout layout = stlLayoutOf(bytes);
    switch (layout.kind) {
        case StlLayout::Kind::Binary:
            mesh.bytes->resize(layout.binarySize());
            return;
        case StlLayout::Kind::Text: {
            std::string text = bytes.substr(layout.textStart);
            if (text.size() < StlLayout::headerBytes) text.resize(StlLayout::headerBytes, '\n');
            mesh.bytes = std::move(text);
            return;
        }
        case StlLayout::Kind::Neither:
            mesh.bytes.reset();
            mesh.problem = "cannot be decoded: " + *layout.problem;
            return;
    }
}

EmbeddedMesh embed(const std::string& uri, const MeshFile& file) {
    EmbeddedMesh mesh{uri, meshFormatName(file.format()), file.bytes(), file.problem()};
    if (file.format() == MeshFormat::Stl && mesh.bytes) handOverStl(mesh);
    return mesh;
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
