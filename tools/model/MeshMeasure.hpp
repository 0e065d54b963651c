// What a mesh file holds, measured without drawing it: how many triangles it has and the box
// that holds its vertices, in metres where the file says what its unit is (Collada's
// <unit meter=...>). The checks judge a mesh's size and weight by it; the 3D page draws the same
// bytes.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "model/ModelOverview.hpp"

namespace corvane::tools {

enum class MeshFormat { Stl, Obj, Collada, Unknown };

// By the file name's extension, in any case: ".stl", ".obj", ".dae".
MeshFormat meshFormatOf(const std::filesystem::path& name);
// "stl", "obj", "dae" or "unknown".
const char* meshFormatName(MeshFormat format);

// The smallest box along the file's own axes that holds every vertex.
struct MeshBounds {
    Vector3 min;
    Vector3 max;

    // The lengths of its sides.
    Vector3 sides() const { return {max.x - min.x, max.y - min.y, max.z - min.z}; }
};

// Grows a box around the points it is given; points with a non-finite coordinate are left out.
class MeshBoundsBuilder {
  public:
    void add(const Vector3& point);
    const std::optional<MeshBounds>& bounds() const { return bounds_; }

  private:
    std::optional<MeshBounds> bounds_;
};

struct MeshMeasure {
    // Triangles as a simulator counts them: a polygon of n corners is n - 2.
    std::size_t triangles = 0;
    // In the file's units; unset when the file holds no vertex (or none that is finite).
    std::optional<MeshBounds> bounds;
    // What one unit of the file is in metres: Collada's <unit meter=...>, 1 for the others.
    double metresPerUnit = 1;
    // Why the file could not be decoded ("the header announces 12 triangles, the file holds 3",
    // "is no well-formed XML: ..."); unset when it was.
    std::optional<std::string> problem;
};

// How the bytes of an STL file read. Binary when the triangle count its header announces fits its
// size (84 bytes, then 50 a triangle; bytes after the last triangle are allowed, some exporters
// leave them), whatever the header's text: many CAD exporters begin it with "solid NAME". Text
// only otherwise, and only when it reads as text: "solid" first (after blanks and a UTF-8 byte
// order mark) and no zero byte, which the floats of binary triangles hold.
struct StlLayout {
    // 80 bytes of text, then the triangle count; each triangle its normal, three corners and an
    // attribute word.
    static constexpr std::size_t headerBytes = 84;
    static constexpr std::size_t triangleBytes = 50;

    enum class Kind { Binary, Text, Neither };
    Kind kind = Kind::Neither;
    // Binary: the triangles its header announces, which the file holds.
    std::size_t triangles = 0;
    // Text: where "solid" begins.
    std::size_t textStart = 0;
    // Neither: why ("the binary STL header announces 12 triangles, the file holds 3").
    std::optional<std::string> problem;

    // Binary: the header and the triangles, without the bytes after them.
    std::size_t binarySize() const { return headerBytes + triangles * triangleBytes; }
};

StlLayout stlLayoutOf(std::string_view bytes);

// Measures `bytes` as a file of `format`; an Unknown format gives a problem. Never throws for
// any contents.
MeshMeasure measureMesh(std::string_view bytes, MeshFormat format);

// Collada (ColladaMeasure.cpp): every geometry the visual scene places, each with the transforms
// of the nodes above it; every geometry as it stands when the file has no scene.
MeshMeasure measureCollada(std::string_view text);

}  // namespace corvane::tools
