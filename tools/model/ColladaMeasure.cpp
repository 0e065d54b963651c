// Collada is measured as a viewer places it: the visual scene's nodes, each with its transforms
// (matrix, translate, rotate, scale, in the order written) applied to the geometries it
// instances, and the document's <unit meter=...>. Only vertex positions and triangle counts are
// read; materials, normals and the rest are left alone.
#include <fmt/format.h>
#include <tinyxml.h>

#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <numbers>
#include <vector>

#include "model/MeshMeasure.hpp"

namespace corvane::tools {

namespace {

// Nodes a scene may visit, instanced nodes counted each time: a file whose nodes instance each
// other over and over ends here rather than run for ever.
constexpr std::size_t maxNodeVisits = 100000;
// Nodes inside nodes, instanced ones included.
constexpr int maxNodeDepth = 64;

// A rigid or scaling transform as a 4x4 matrix by rows.
using Transform = std::array<double, 16>;

constexpr Transform identity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

Transform product(const Transform& a, const Transform& b) {
    Transform result{};
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) sum += a[row * 4 + k] * b[k * 4 + column];
            result[row * 4 + column] = sum;
        }
    }
    return result;
}

Vector3 applied(const Transform& t, const Vector3& p) {
    return {t[0] * p.x + t[1] * p.y + t[2] * p.z + t[3],
            t[4] * p.x + t[5] * p.y + t[6] * p.z + t[7],
            t[8] * p.x + t[9] * p.y + t[10] * p.z + t[11]};
}

// The numbers of an element's text, as many as parse from its start.
std::vector<double> numbersOf(const TiXmlElement* element) {
    std::vector<double> numbers;
    const char* text = element ? element->GetText() : nullptr;
    if (text == nullptr) return numbers;
    const char* end = text + std::char_traits<char>::length(text);
    const char* at = text;
    while (true) {
        while (at < end && (*at == ' ' || *at == '\t' || *at == '\n' || *at == '\r')) ++at;
        if (at == end) break;
        if (*at == '+') ++at;
        double value = 0;
        const auto [next, error] = std::from_chars(at, end, value);
        if (error != std::errc()) break;
        numbers.push_back(value);
        at = next;
    }
    return numbers;
}

// How many blank-separated words an element's text holds, without reading them as numbers.
std::size_t wordCount(const TiXmlElement* element) {
    const char* text = element ? element->GetText() : nullptr;
    std::size_t words = 0;
    bool inWord = false;
    for (; text != nullptr && *text != '\0'; ++text) {
        const bool blank = *text == ' ' || *text == '\t' || *text == '\n' || *text == '\r';
        if (!blank && !inWord) ++words;
        inWord = !blank;
    }
    return words;
}

std::size_t countAttribute(const TiXmlElement& element) {
    const char* count = element.Attribute("count");
    if (count == nullptr) return 0;
    std::size_t value = 0;
    const auto [end, error] =
        std::from_chars(count, count + std::char_traits<char>::length(count), value);
    return error == std::errc() ? value : 0;
}

Transform transformOf(const TiXmlElement& element) {
    const std::string& kind = element.ValueStr();
    const std::vector<double> n = numbersOf(&element);
    Transform t = identity;
    if (kind == "matrix" && n.size() >= 16) {
        std::copy(n.begin(), n.begin() + 16, t.begin());
    } else if (kind == "translate" && n.size() >= 3) {
        t[3] = n[0];
        t[7] = n[1];
        t[11] = n[2];
    } else if (kind == "scale" && n.size() >= 3) {
        t[0] = n[0];
        t[5] = n[1];
        t[10] = n[2];
    } else if (kind == "rotate" && n.size() >= 4) {
        const double norm = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (norm == 0 || !std::isfinite(norm)) return t;
        const double x = n[0] / norm, y = n[1] / norm, z = n[2] / norm;
        const double angle = n[3] * std::numbers::pi / 180;
        const double c = std::cos(angle), s = std::sin(angle), k = 1 - c;
        t = {x * x * k + c,
             x * y * k - z * s,
             x * z * k + y * s,
             0,
             y * x * k + z * s,
             y * y * k + c,
             y * z * k - x * s,
             0,
             z * x * k - y * s,
             z * y * k + x * s,
             z * z * k + c,
             0,
             0,
             0,
             0,
             1};
    }
    return t;
}

// "#id" names the element of that id; anything else names none.
std::string idOfUrl(const char* url) {
    if (url == nullptr || url[0] != '#') return {};
    return url + 1;
}

// One <geometry> read once, however many nodes place it.
struct GeometryData {
    std::vector<Vector3> positions;
    std::size_t triangles = 0;
};

std::size_t trianglesOfPrimitive(const TiXmlElement& primitive) {
    const std::string& kind = primitive.ValueStr();
    if (kind == "triangles") return countAttribute(primitive);
    if (kind == "polylist") {
        std::size_t triangles = 0;
        for (const double corners : numbersOf(primitive.FirstChildElement("vcount"))) {
            if (corners >= 3) triangles += static_cast<std::size_t>(corners) - 2;
        }
        return triangles;
    }
    if (kind != "polygons" && kind != "tristrips" && kind != "trifans") return 0;
    // Each <p> is one polygon, strip or fan; its corners are its indices over the inputs' width.
    int width = 1;
    for (const TiXmlElement* input = primitive.FirstChildElement("input"); input;
         input = input->NextSiblingElement("input")) {
        int offset = 0;
        input->QueryIntAttribute("offset", &offset);
        if (offset >= 0 && offset < 1024) width = std::max(width, offset + 1);
    }
    std::size_t triangles = 0;
    for (const TiXmlElement* p = primitive.FirstChildElement("p"); p;
         p = p->NextSiblingElement("p")) {
        const std::size_t corners = wordCount(p) / static_cast<std::size_t>(width);
        if (corners >= 3) triangles += corners - 2;
    }
    return triangles;
}

class ColladaReader {
  public:
    explicit ColladaReader(const TiXmlElement& root) : root_(root) { index(root); }

    MeshMeasure measure() {
        measure_.metresPerUnit = unitOf();
        if (const TiXmlElement* scene = visualScene()) {
            visitChildren(*scene, identity, 0);
        } else {
            for (const auto& [id, element] : geometries_) place(id, identity);
        }
        measure_.bounds = bounds_.bounds();
        return std::move(measure_);
    }

  private:
    void index(const TiXmlElement& element) {
        for (const TiXmlElement* child = element.FirstChildElement(); child;
             child = child->NextSiblingElement()) {
            const char* id = child->Attribute("id");
            if (id != nullptr) {
                if (child->ValueStr() == "geometry") geometries_.emplace(id, child);
                if (child->ValueStr() == "node") nodes_.emplace(id, child);
                if (child->ValueStr() == "visual_scene") scenes_.emplace(id, child);
                if (child->ValueStr() == "source") sources_.emplace(id, child);
            }
            index(*child);
        }
    }

    double unitOf() const {
        const TiXmlElement* asset = root_.FirstChildElement("asset");
        const TiXmlElement* unit = asset ? asset->FirstChildElement("unit") : nullptr;
        double metres = 1;
        if (unit == nullptr || unit->QueryDoubleAttribute("meter", &metres) != TIXML_SUCCESS) {
            return 1;
        }
        return std::isfinite(metres) && metres > 0 ? metres : 1;
    }

    // The scene <scene><instance_visual_scene url=...> names, or else the first one written.
    const TiXmlElement* visualScene() const {
        const TiXmlElement* scene = root_.FirstChildElement("scene");
        const TiXmlElement* instance =
            scene ? scene->FirstChildElement("instance_visual_scene") : nullptr;
        if (instance) {
            const auto found = scenes_.find(idOfUrl(instance->Attribute("url")));
            if (found != scenes_.end()) return found->second;
        }
        const TiXmlElement* library = root_.FirstChildElement("library_visual_scenes");
        return library ? library->FirstChildElement("visual_scene") : nullptr;
    }

    void visitChildren(const TiXmlElement& parent, const Transform& transform, int depth) {
        for (const TiXmlElement* node = parent.FirstChildElement("node"); node;
             node = node->NextSiblingElement("node")) {
            visitNode(*node, transform, depth + 1);
        }
    }

    void visitNode(const TiXmlElement& node, Transform transform, int depth) {
        if (measure_.problem) return;
        if (depth > maxNodeDepth || ++visits_ > maxNodeVisits) {
            measure_.problem = fmt::format(
                "the Collada scene nests nodes deeper than {} or visits more than {} of them",
                maxNodeDepth, maxNodeVisits);
            return;
        }
        for (const TiXmlElement* child = node.FirstChildElement(); child;
             child = child->NextSiblingElement()) {
            const std::string& kind = child->ValueStr();
            if (kind == "matrix" || kind == "translate" || kind == "rotate" || kind == "scale") {
                transform = product(transform, transformOf(*child));
            } else if (kind == "instance_geometry") {
                place(idOfUrl(child->Attribute("url")), transform);
            } else if (kind == "instance_node") {
                const auto found = nodes_.find(idOfUrl(child->Attribute("url")));
                if (found != nodes_.end()) visitNode(*found->second, transform, depth + 1);
            } else if (kind == "node") {
                visitNode(*child, transform, depth + 1);
            }
        }
    }

    void place(const std::string& geometryId, const Transform& transform) {
        const GeometryData* geometry = geometryData(geometryId);
        if (geometry == nullptr) return;
        measure_.triangles += geometry->triangles;
        for (const Vector3& position : geometry->positions) {
            bounds_.add(applied(transform, position));
        }
    }

    const GeometryData* geometryData(const std::string& id) {
        if (const auto known = read_.find(id); known != read_.end()) return &known->second;
        const auto found = geometries_.find(id);
        if (found == geometries_.end()) return nullptr;
        GeometryData& data = read_[id];
        const TiXmlElement* mesh = found->second->FirstChildElement("mesh");
        for (const TiXmlElement* part = mesh ? mesh->FirstChildElement() : nullptr; part;
             part = part->NextSiblingElement()) {
            data.triangles += trianglesOfPrimitive(*part);
        }
        const TiXmlElement* vertices = mesh ? mesh->FirstChildElement("vertices") : nullptr;
        if (vertices) readPositions(*vertices, data.positions);
        return &data;
    }

    // The POSITION input of <vertices>, through its source's accessor (stride, default 3).
    void readPositions(const TiXmlElement& vertices, std::vector<Vector3>& positions) const {
        for (const TiXmlElement* input = vertices.FirstChildElement("input"); input;
             input = input->NextSiblingElement("input")) {
            const char* semantic = input->Attribute("semantic");
            if (semantic == nullptr || std::string_view(semantic) != "POSITION") continue;
            const auto source = sources_.find(idOfUrl(input->Attribute("source")));
            if (source == sources_.end()) continue;
            const std::vector<double> numbers =
                numbersOf(source->second->FirstChildElement("float_array"));
            const TiXmlElement* common = source->second->FirstChildElement("technique_common");
            const TiXmlElement* accessor = common ? common->FirstChildElement("accessor") : nullptr;
            int stride = 3;
            if (accessor) accessor->QueryIntAttribute("stride", &stride);
            if (stride < 3) stride = 3;
            for (std::size_t i = 0; i + 2 < numbers.size(); i += static_cast<std::size_t>(stride)) {
                positions.push_back({numbers[i], numbers[i + 1], numbers[i + 2]});
            }
        }
    }

    const TiXmlElement& root_;
    std::map<std::string, const TiXmlElement*> geometries_;
    std::map<std::string, const TiXmlElement*> nodes_;
    std::map<std::string, const TiXmlElement*> scenes_;
    std::map<std::string, const TiXmlElement*> sources_;
    std::map<std::string, GeometryData> read_;
    MeshBoundsBuilder bounds_;
    MeshMeasure measure_;
    std::size_t visits_ = 0;
};

}  // namespace

MeshMeasure measureCollada(std::string_view text) {
    TiXmlDocument document;
    // TinyXML reads a NUL-terminated string.
    const std::string terminated(text);
    document.Parse(terminated.c_str());
    const TiXmlElement* root = document.RootElement();
    if (document.Error() || root == nullptr) {
        MeshMeasure measure;
        measure.problem = fmt::format("is no well-formed XML (line {}: {})", document.ErrorRow(),
                                      document.ErrorDesc());
        return measure;
    }
    if (root->ValueStr() != "COLLADA") {
        MeshMeasure measure;
        measure.problem = "is no Collada file: its root element is <" + root->ValueStr() + ">";
        return measure;
    }
    return ColladaReader(*root).measure();
}

}  // namespace corvane::tools
