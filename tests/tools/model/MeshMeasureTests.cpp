// Measuring mesh files: the triangles and the box of every format the tool decodes, the real
// meshes of ../shared/robots, and one reading of a file however many URIs name it.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "ScratchDir.hpp"
#include "TestSupport.hpp"
#include "model/MeshLocator.hpp"
#include "model/MeshMeasure.hpp"

namespace {

namespace fs = std::filesystem;
using corvane::testing::readFile;
using corvane::testing::ScratchDir;
using corvane::testing::writeFile;
using namespace corvane::tools;

const fs::path meshesDir = fs::path(CORVANE_SHARED_DIR) / "robots/example-robot-data/robots";

void expectSides(const MeshMeasure& measure, double x, double y, double z) {
    ASSERT_TRUE(measure.bounds);
    const Vector3 sides = measure.bounds->sides();
    EXPECT_NEAR(sides.x, x, 1e-9);
    EXPECT_NEAR(sides.y, y, 1e-9);
    EXPECT_NEAR(sides.z, z, 1e-9);
}

TEST(MeshMeasure, TextStlCountsFacetsAndBoundsVertices) {
    const MeshMeasure measure = measureMesh(R"(solid part
  facet normal 0 0 1
    outer loop
      vertex 0 0 0
      vertex 2 0 0
      vertex +0 3 -1.5e0
    endloop
  endfacet
endsolid part
)",
                                            MeshFormat::Stl);
    EXPECT_FALSE(measure.problem);
    EXPECT_EQ(measure.triangles, 1U);
    expectSides(measure, 2, 3, 1.5);
}

TEST(MeshMeasure, ObjCountsPolygonsAsTriangles) {
    const MeshMeasure measure = measureMesh(
        "# a quad and a triangle\nv 0 0 0\nv 1 0 0\nv 1 2 0\nv 0 2 0 1\nvn 0 0 9\n"
        "f 1 2 3 4\nf 1//1 2//1 3//1\nl 1 2\n",
        MeshFormat::Obj);
    EXPECT_EQ(measure.triangles, 3U);
    expectSides(measure, 1, 2, 0);
}

TEST(MeshMeasure, ColladaPolygonsCountTheirCorners) {
    const std::string text = R"(<COLLADA><library_geometries><geometry id="g"><mesh>
      <source id="p"><float_array>0 0 0 1 0 0 1 1 0 0 1 0 0 0 5</float_array></source>
      <vertices id="v"><input semantic="POSITION" source="#p"/></vertices>
      <polylist count="2"><input semantic="VERTEX" source="#v" offset="0"/>
        <input semantic="NORMAL" source="#n" offset="1"/><vcount>4 3</vcount><p/></polylist>
      <polygons count="1"><input semantic="VERTEX" source="#v" offset="0"/>
        <input semantic="NORMAL" source="#n" offset="1"/><p>0 0 1 0 2 0 3 0 4 0</p></polygons>
      </mesh></geometry></library_geometries></COLLADA>)";
    const MeshMeasure measure = measureMesh(text, MeshFormat::Collada);
    EXPECT_FALSE(measure.problem);
    // No scene: the geometry as it stands. A quad is 2, a triangle 1, a pentagon 3.
    EXPECT_EQ(measure.triangles, 6U);
    expectSides(measure, 1, 1, 5);
    EXPECT_EQ(measure.metresPerUnit, 1);
}

// One triangle 2 units along x and 1 along y, placed by a node with `transforms`.
std::string colladaPlacedBy(const std::string& transforms) {
    return R"(<COLLADA><library_geometries><geometry id="g"><mesh>
      <source id="p"><float_array>0 0 0 2 0 0 0 1 0</float_array></source>
      <vertices id="v"><input semantic="POSITION" source="#p"/></vertices>
      <triangles count="1"><input semantic="VERTEX" source="#v" offset="0"/><p>0 1 2</p></triangles>
      </mesh></geometry></library_geometries>
      <library_visual_scenes><visual_scene id="s"><node>)" +
           transforms + R"(<instance_geometry url="#g"/></node></visual_scene>
      </library_visual_scenes><scene><instance_visual_scene url="#s"/></scene></COLLADA>)";
}

// A node's transforms apply to its geometry last first: the scale, then the turn, in degrees.
TEST(MeshMeasure, ColladaNodesTurnInDegreesAndTransformInTheOrderWritten) {
    const struct {
        const char* transforms;
        Vector3 sides;
    } cases[]{
        {"<rotate>0 0 1 90</rotate>", {1, 2, 0}},
        {"<rotate>0 0 1 90</rotate><scale>1 3 1</scale>", {3, 2, 0}},
        {"<scale>1 3 1</scale><rotate>0 0 1 90</rotate>", {1, 6, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.transforms);
        const MeshMeasure measure = measureMesh(colladaPlacedBy(c.transforms), MeshFormat::Collada);
        EXPECT_FALSE(measure.problem);
        expectSides(measure, c.sides.x, c.sides.y, c.sides.z);
    }
}

TEST(MeshMeasure, RealMeshesOfEveryFormat) {
    if (!fs::is_directory(meshesDir)) GTEST_SKIP() << "no ../shared/robots: skipped";
    for (const char* file : {"pr2_description/meshes/base_v0/base.stl",
                             "allegro_hand_description/meshes/base_link.STL",
                             "kinova_description/meshes/hand_2finger.dae",
                             "solo_description/meshes/obj/with_foot/solo_body.obj"}) {
        SCOPED_TRACE(file);
        const MeshMeasure measure = measureMesh(readFile(meshesDir / file), meshFormatOf(file));
        EXPECT_FALSE(measure.problem) << *measure.problem;
        EXPECT_GT(measure.triangles, 100U);
        ASSERT_TRUE(measure.bounds);
        const Vector3 sides = measure.bounds->sides();
        // Robot parts between 1 cm and 1 m.
        const double largest = std::max({sides.x, sides.y, sides.z}) * measure.metresPerUnit;
        EXPECT_GT(largest, 0.01);
        EXPECT_LT(largest, 1.0);
    }
}

TEST(MeshMeasure, ABinaryStlWhoseHeaderSaysSolidIsBinary) {
    std::string bytes = "solid but binary";
    bytes.resize(80, ' ');
    bytes += std::string("\x01\0\0\0", 4);
    bytes += std::string(12, '\0');
    const float corners[9] = {0, 0, 0, 1, 0, 0, 0, 4, 0};
    bytes.append(reinterpret_cast<const char*>(corners), sizeof corners);
    bytes.append(2, '\0');
    const MeshMeasure measure = measureMesh(bytes, MeshFormat::Stl);
    EXPECT_FALSE(measure.problem);
    EXPECT_EQ(measure.triangles, 1U);
    expectSides(measure, 1, 4, 0);
}

// A binary STL with `header` and one triangle of 20 by 1 units, announcing `announced`
// triangles, followed by `trailing` zero bytes.
std::string binaryStl(std::string header, std::uint32_t announced = 1, std::size_t trailing = 0) {
    header.resize(80, ' ');
    for (int i = 0; i < 4; ++i) header.push_back(static_cast<char>((announced >> (8 * i)) & 0xff));
    const float triangle[12] = {0, 0, 1, 0, 0, 0, 20, 0, 0, 0, 1, 0};
    header.append(reinterpret_cast<const char*>(triangle), sizeof triangle);
    header.append(2 + trailing, '\0');
    return header;
}

const std::string shortTextStl =
    "solid\nfacet\nvertex 0 0 0\nvertex 20 0 0\nvertex 0 1 0\nendfacet\nendsolid\n";

struct StlCase {
    const char* what;
    std::string bytes;
    StlLayout::Kind kind;
    std::string problem;  // the measure's, for Neither
};

// Binary by the announced count fitting the size, whatever the header; text by its contents.
TEST(MeshMeasure, AnStlIsToldApartByItsContents) {
    using Kind = StlLayout::Kind;
    const std::vector<StlCase> cases{
        {"a 'solid' header and bytes after the last triangle", binaryStl("solid part", 1, 10),
         Kind::Binary, ""},
        {"another header and bytes after the last triangle", binaryStl("part", 1, 10), Kind::Binary,
         ""},
        {"text after a byte order mark and blanks", "\xEF\xBB\xBF \n\t" + shortTextStl, Kind::Text,
         ""},
        {"text shorter than a binary header", shortTextStl, Kind::Text, ""},
        {"a 'solid' header announcing more than the file holds", binaryStl("solid part", 2, 10),
         Kind::Neither, "the binary STL header announces 2 triangles, the file holds 1"},
        {"a short file that is no text", std::string("\x01\0\x02", 3), Kind::Neither,
         "is no text STL file and, at 3 bytes, shorter than the 84-byte header of a binary one"},
    };
    for (const StlCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(stlLayoutOf(c.bytes).kind, c.kind);
        const MeshMeasure measure = measureMesh(c.bytes, MeshFormat::Stl);
        if (c.kind == Kind::Neither) {
            EXPECT_EQ(measure.problem.value_or(""), c.problem);
            continue;
        }
        EXPECT_FALSE(measure.problem) << *measure.problem;
        EXPECT_EQ(measure.triangles, 1U);
        expectSides(measure, 20, 1, 0);
    }
}

TEST(MeshFiles, TwoUrisOfOneFileShareOneReadingAndOneMeasure) {
    const ScratchDir dir;
    fs::create_directory(dir / "meshes");
    writeFile(dir / "meshes/part.stl", "solid p\nfacet\nvertex 0 0 0\nendfacet\nendsolid p\n");
    const MeshLocator locator(PackageSearch{}, dir.path());
    const MeshFile& first = locator.file("meshes/part.stl");
    const MeshFile& second = locator.file("meshes/../meshes/part.stl");
    EXPECT_EQ(&first, &second);
    ASSERT_NE(first.measure(), nullptr);
    EXPECT_EQ(first.measure(), second.measure());
    EXPECT_EQ(first.measure()->triangles, 1U);
    const MeshFile& missing = locator.file("meshes/none.stl");
    EXPECT_EQ(missing.measure(), nullptr);
    ASSERT_TRUE(missing.problem());
    EXPECT_NE(missing.problem()->find("not found"), std::string::npos);
}

}  // namespace
