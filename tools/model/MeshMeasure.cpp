#include "model/MeshMeasure.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace corvane::tools {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t stlHeaderBytes = StlLayout::headerBytes;
constexpr std::size_t stlTriangleBytes = StlLayout::triangleBytes;

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// Splits text into blank-separated words, one at a time.
class Words {
  public:
    explicit Words(std::string_view text) : rest_(text) {}

    std::optional<std::string_view> next() {
        std::size_t start = 0;
        while (start < rest_.size() && isBlank(rest_[start])) ++start;
        if (start == rest_.size()) return std::nullopt;
        std::size_t end = start;
        while (end < rest_.size() && !isBlank(rest_[end])) ++end;
        const std::string_view word = rest_.substr(start, end - start);
        rest_.remove_prefix(end);
        return word;
    }

  private:
    std::string_view rest_;
};

// A decimal number as the whole of `word` ("+1.5" included); nothing for anything else.
std::optional<double> numberOf(std::string_view word) {
    if (word.starts_with('+')) word.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size()) return std::nullopt;
    return value;
}

std::optional<Vector3> pointOf(Words& words) {
    Vector3 point;
    for (double* coordinate : {&point.x, &point.y, &point.z}) {
        const auto word = words.next();
        const auto number = word ? numberOf(*word) : std::nullopt;
        if (!number) return std::nullopt;
        *coordinate = *number;
    }
    return point;
}

std::uint32_t littleEndianWord(const char* bytes) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    return value;
}

double littleEndianFloat(const char* bytes) {
    return static_cast<double>(std::bit_cast<float>(littleEndianWord(bytes)));
}

MeshMeasure measureBinaryStl(std::string_view bytes, std::size_t triangles) {
    MeshMeasure measure;
    measure.triangles = triangles;
    MeshBoundsBuilder bounds;
    for (std::size_t i = 0; i < triangles; ++i) {
        // Each triangle: its normal (3 floats), then its three corners.
        const char* corner = bytes.data() + stlHeaderBytes + i * stlTriangleBytes + 12;
        for (int c = 0; c < 3; ++c, corner += 12) {
            bounds.add({littleEndianFloat(corner), littleEndianFloat(corner + 4),
                        littleEndianFloat(corner + 8)});
        }
    }
    measure.bounds = bounds.bounds();
    return measure;
}

MeshMeasure measureAsciiStl(std::string_view text) {
    MeshMeasure measure;
    MeshBoundsBuilder bounds;
    Words words(text);
    while (const auto word = words.next()) {
        if (*word == "facet") {
            ++measure.triangles;
        } else if (*word == "vertex") {
            const auto point = pointOf(words);
            if (!point) {
                measure.problem = "a vertex of the text STL file has no three numbers";
                return measure;
            }
            bounds.add(*point);
        }
    }
    measure.bounds = bounds.bounds();
    return measure;
}

// Where "solid" begins when the bytes read as text: after blanks and a UTF-8 byte order mark, and
// with no zero byte anywhere. Binary triangles hold zero bytes in their floats and attribute
// words, so a binary file whose header says "solid" is no text.
std::optional<std::size_t> textStlStart(std::string_view bytes) {
    constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
    std::size_t start = bytes.starts_with(byteOrderMark) ? byteOrderMark.size() : 0;
    while (start < bytes.size() && isBlank(bytes[start])) ++start;
    if (!bytes.substr(start).starts_with("solid")) return std::nullopt;
    if (bytes.find('\0') != std::string_view::npos) return std::nullopt;
    return start;
}

MeshMeasure measureStl(std::string_view bytes) {
    const StlLayout layout = stlLayoutOf(bytes);
    switch (layout.kind) {
        case StlLayout::Kind::Binary:
            return measureBinaryStl(bytes, layout.triangles);
        case StlLayout::Kind::Text:
            return measureAsciiStl(bytes.substr(layout.textStart));
        case StlLayout::Kind::Neither:
            break;
    }
    MeshMeasure measure;
    measure.problem = layout.problem;
    return measure;
}

// Wavefront OBJ: "v x y z [w]" lines are vertices, "f a b c ..." lines faces of as many corners.
MeshMeasure measureObj(std::string_view text) {
    MeshMeasure measure;
    MeshBoundsBuilder bounds;
    while (!text.empty()) {
        const auto end = text.find('\n');
        Words words(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const auto keyword = words.next();
        if (keyword == "v") {
            if (const auto point = pointOf(words)) bounds.add(*point);
        } else if (keyword == "f") {
            std::size_t corners = 0;
            while (words.next()) ++corners;
            if (corners >= 3) measure.triangles += corners - 2;
        }
    }
    measure.bounds = bounds.bounds();
    return measure;
}

}  // namespace

MeshFormat meshFormatOf(const fs::path& name) {
    const std::string extension = lowercase(name.extension().string());
    if (extension == ".stl") return MeshFormat::Stl;
    if (extension == ".obj") return MeshFormat::Obj;
    if (extension == ".dae") return MeshFormat::Collada;
    return MeshFormat::Unknown;
}

const char* meshFormatName(MeshFormat format) {
    switch (format) {
        case MeshFormat::Stl:
            return "stl";
        case MeshFormat::Obj:
            return "obj";
        case MeshFormat::Collada:
            return "dae";
        case MeshFormat::Unknown:
            return "unknown";
    }
    return "unknown";
}

void MeshBoundsBuilder::add(const Vector3& point) {
    if (!std::isfinite(point.x) || !std::isfinite(point.y) || !std::isfinite(point.z)) return;
    if (!bounds_) {
        bounds_ = MeshBounds{point, point};
        return;
    }
    bounds_->min = {std::min(bounds_->min.x, point.x), std::min(bounds_->min.y, point.y),
                    std::min(bounds_->min.z, point.z)};
    bounds_->max = {std::max(bounds_->max.x, point.x), std::max(bounds_->max.y, point.y),
                    std::max(bounds_->max.z, point.z)};
}

StlLayout stlLayoutOf(std::string_view bytes) {
    StlLayout layout;
    const std::size_t room =
        bytes.size() >= stlHeaderBytes ? (bytes.size() - stlHeaderBytes) / stlTriangleBytes : 0;
    const std::optional<std::uint64_t> announced =
        bytes.size() >= stlHeaderBytes
            ? std::optional<std::uint64_t>(littleEndianWord(bytes.data() + 80))
            : std::nullopt;
    if (announced && *announced <= room) {
        layout.kind = StlLayout::Kind::Binary;
        layout.triangles = static_cast<std::size_t>(*announced);
    } else if (const auto start = textStlStart(bytes)) {
        layout.kind = StlLayout::Kind::Text;
        layout.textStart = *start;
    } else if (!announced) {
        layout.problem = fmt::format(
            "is no text STL file and, at {} bytes, shorter than the {}-byte header of a binary one",
            bytes.size(), stlHeaderBytes);
    } else {
        layout.problem = fmt::format(
            "the binary STL header announces {} triangles, the file holds {}", *announced, room);
    }
    return layout;
}

MeshMeasure measureMesh(std::string_view bytes, MeshFormat format) {
    switch (format) {
        case MeshFormat::Stl:
            return measureStl(bytes);
        case MeshFormat::Obj:
            return measureObj(bytes);
        case MeshFormat::Collada:
            return measureCollada(bytes);
        case MeshFormat::Unknown:
            break;
    }
    MeshMeasure measure;
    measure.problem = "is no STL, OBJ or Collada file (by its extension)";
    return measure;
}

}  // namespace corvane::tools
