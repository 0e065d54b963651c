// The rules that read what mesh files hold: a real robot of ../shared/robots with one mesh
// rescaled, meshes written here of a chosen number of triangles, Collada units, and files whose
// contents cannot be decoded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ScratchDir.hpp"
#include "TestSupport.hpp"
#include "checks/Checks.hpp"
#include "checks/Rules.hpp"
#include "model/MeshLocator.hpp"
#include "model/ModelOverview.hpp"

namespace {

namespace fs = std::filesystem;
using corvane::testing::importUrdf;
using corvane::testing::LogCapture;
using corvane::testing::readFile;
using corvane::testing::ScratchDir;
using corvane::testing::writeFile;
using namespace corvane::tools;

const fs::path robotsDir = fs::path(CORVANE_SHARED_DIR) / "robots";
const fs::path pr2File = robotsDir / "example-robot-data/robots/pr2_description/urdf/pr2.urdf";
const fs::path kinovaFile =
    robotsDir / "example-robot-data/robots/kinova_description/robots/kinova.urdf";
const std::string pr2Base =
    R"(<mesh filename="package://example-robot-data/robots/pr2_description/meshes/base_v0/base.stl")";
const std::string kinovaBase =
    R"(<mesh filename="package://example-robot-data/robots/kinova_description/meshes/base.dae")";

#define SKIP_WITHOUT_ROBOTS()                                                       \
    if (!fs::is_directory(robotsDir)) {                                             \
        GTEST_SKIP() << "no ../shared/robots beside this checkout: robots skipped"; \
    }

struct Checked {
    std::vector<Finding> findings;
    // The 1-based line of each finding, in the same order.
    std::vector<int> lines;
};

// The findings of `urdf` with its meshes looked for from `folder` and in ../shared/robots.
Checked check(const std::string& urdf, const fs::path& folder) {
    const LogCapture quiet;  // the import's own warnings are not what these tests are about
    const auto document = importUrdf(urdf);
    if (!document) {
        ADD_FAILURE() << "the robot does not import";
        return {};
    }
    const ModelOverview model = readModelOverview(*document);
    const UrdfElements elements = readUrdfElements(urdf);
    const MeshLocator meshes(
        PackageSearch::fromOptionsAndVariables({robotsDir.string()}, nullptr, nullptr), folder);
    Checked checked{checkModel({model, elements, &meshes}), {}};
    for (const Finding& finding : checked.findings) {
        checked.lines.push_back(elements.lineOf(finding.place));
    }
    return checked;
}

// The findings of `rule` with their lines, copied, so that they outlive a temporary `checked`.
struct LinedFinding {
    Finding finding;
    int line = 0;
    const Finding* operator->() const { return &finding; }
};

std::vector<LinedFinding> ofRule(const Checked& checked, const std::string& rule) {
    std::vector<LinedFinding> found;
    for (std::size_t i = 0; i < checked.findings.size(); ++i) {
        if (checked.findings[i].rule == rule)
            found.push_back({checked.findings[i], checked.lines[i]});
    }
    return found;
}

std::vector<std::string> othersThan(const Checked& checked, const std::string& rule) {
    std::vector<std::string> others;
    for (std::size_t i = 0; i < checked.findings.size(); ++i) {
        const Finding& finding = checked.findings[i];
        if (finding.rule != rule) others.push_back(finding.rule + " " + finding.message);
    }
    return others;
}

int lineContaining(const std::string& text, const std::string& needle) {
    const auto at = text.find(needle);
    if (at == std::string::npos) return 0;
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + at, '\n'));
}

// `urdf` with the first `<mesh filename="..."` that is `mesh` given the attribute `attribute`.
std::string withAttribute(std::string urdf, const std::string& mesh, const std::string& attribute) {
    const auto at = urdf.find(mesh);
    if (at == std::string::npos) {
        ADD_FAILURE() << "no " << mesh;
        return urdf;
    }
    urdf.insert(at + mesh.size(), " " + attribute);
    return urdf;
}

void putWord(std::string& bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

void putFloat(std::string& bytes, float value) {
    std::uint32_t word = 0;
    std::memcpy(&word, &value, sizeof word);
    putWord(bytes, word);
}

// A binary STL of `triangles` small triangles inside a box of `side` metres.
std::string binaryStl(std::size_t triangles, float side = 0.5F) {
    std::string bytes(80, ' ');
    putWord(bytes, static_cast<std::uint32_t>(triangles));
    bytes.reserve(84 + triangles * 50);
    for (std::size_t i = 0; i < triangles; ++i) {
        const float t = side * static_cast<float>(i % 1000) / 999.0F;
        for (const float value : {0.0F, 0.0F, 1.0F, t, 0.0F, 0.0F, t, side, 0.0F, 0.0F, 0.0F, t}) {
            putFloat(bytes, value);
        }
        bytes.append(2, '\0');
    }
    return bytes;
}

std::string robotWithMesh(const std::string& file, bool contact) {
    const std::string element = contact ? "collision" : "visual";
    return R"(<robot name="r"><link name="a"><)" + element + R"(><geometry><mesh filename=")" +
           file + R"("/></geometry></)" + element + "></link></robot>";
}

// A Collada file whose one triangle spans `span` units along x, in units of `metres`, placed
// by a node that scales it by `nodeScale`.
std::string collada(double span, const std::string& metres, double nodeScale = 1) {
    const std::string s = std::to_string(span);
    const std::string k = std::to_string(nodeScale);
    return R"(<?xml version="1.0"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
  <asset><unit name="u" meter=")" +
           metres + R"("/><up_axis>Z_UP</up_axis></asset>
  <library_geometries><geometry id="g"><mesh>
    <source id="g-pos"><float_array id="g-arr" count="9">0 0 0 )" +
           s + R"( 0 0 0 1 0</float_array>
      <technique_common><accessor source="#g-arr" count="3" stride="3"/></technique_common></source>
    <vertices id="g-v"><input semantic="POSITION" source="#g-pos"/></vertices>
    <triangles count="1"><input semantic="VERTEX" source="#g-v" offset="0"/><p>0 1 2</p></triangles>
  </mesh></geometry></library_geometries>
  <library_visual_scenes><visual_scene id="s"><node id="n"><scale>)" +
           k + " " + k + " " + k +
           R"(</scale><instance_geometry url="#g"/></node></visual_scene></library_visual_scenes>
  <scene><instance_visual_scene url="#s"/></scene>
</COLLADA>)";
}

// ---------------------------------------------------------------------------------------------
// mesh-size

TEST(MeshSize, ARealMeshScaledAThousandTimesUpIsReportedAtItsLine) {
    SKIP_WITHOUT_ROBOTS();
    const std::string original = readFile(pr2File);
    const std::string rescaled = withAttribute(original, pr2Base, R"(scale="1000 1000 1000")");
    const Checked before = check(original, pr2File.parent_path());
    const Checked after = check(rescaled, pr2File.parent_path());
    EXPECT_TRUE(ofRule(before, "mesh-size").empty());
    const auto found = ofRule(after, "mesh-size");
    ASSERT_EQ(found.size(), 1U);
    EXPECT_EQ(found[0].line, lineContaining(rescaled, pr2Base));
    EXPECT_EQ(found[0]->severity, Severity::Warning);
    EXPECT_EQ(found[0]->subject, "geometry 'visual_geometry' of body 'base_link'");
    // The PR2's base is 0.669 m long: a thousand times that, mended by a thousandth.
    EXPECT_NE(found[0]->message.find("is 669.412 m across"), std::string::npos)
        << found[0]->message;
    EXPECT_NE(found[0]->message.find("millimetres"), std::string::npos);
    EXPECT_NE(found[0]->message.find(R"(scale="1 1 1" would make it 0.669412 m)"),
              std::string::npos)
        << found[0]->message;
    EXPECT_EQ(othersThan(after, "mesh-size"), othersThan(before, "mesh-size"));
}

TEST(MeshSize, ARealMeshScaledAThousandTimesDownNamesTheReverseMistake) {
    SKIP_WITHOUT_ROBOTS();
    const std::string rescaled =
        withAttribute(readFile(pr2File), pr2Base, R"(scale="0.001 0.001 0.001")");
    const auto found = ofRule(check(rescaled, pr2File.parent_path()), "mesh-size");
    ASSERT_EQ(found.size(), 1U);
    EXPECT_NE(found[0]->message.find("under 1 mm"), std::string::npos) << found[0]->message;
    EXPECT_NE(found[0]->message.find(R"(scale="1 1 1" would make it 0.669412 m)"),
              std::string::npos)
        << found[0]->message;
}

TEST(MeshSize, ARealColladaMeshNamesItsUnit) {
    SKIP_WITHOUT_ROBOTS();
    const std::string rescaled =
        withAttribute(readFile(kinovaFile), kinovaBase, R"(scale="1000 1000 1000")");
    const auto found = ofRule(check(rescaled, kinovaFile.parent_path()), "mesh-size");
    ASSERT_EQ(found.size(), 1U);
    EXPECT_NE(found[0]->message.find("and its Collada unit of 1 m"), std::string::npos)
        << found[0]->message;
}

TEST(MeshSize, TheColladaUnitAndTheSceneScaleCount) {
    const ScratchDir dir;
    // 420 units: 420 m in metres, 0.42 m in millimetres.
    writeFile(dir / "metres.dae", collada(420, "1"));
    writeFile(dir / "millimetres.dae", collada(420, "0.001"));
    // 4.2 units scaled up by the scene's node a hundred times: 420 m.
    writeFile(dir / "node.dae", collada(4.2, "1", 100));
    const auto metres = ofRule(check(robotWithMesh("metres.dae", false), dir.path()), "mesh-size");
    ASSERT_EQ(metres.size(), 1U);
    EXPECT_NE(metres[0]->message.find("is 420 m across"), std::string::npos) << metres[0]->message;
    EXPECT_TRUE(check(robotWithMesh("millimetres.dae", false), dir.path()).findings.empty());
    EXPECT_EQ(ofRule(check(robotWithMesh("node.dae", false), dir.path()), "mesh-size").size(), 1U);
}

TEST(MeshSize, TheBoundsThemselvesPass) {
    const ScratchDir dir;
    writeFile(dir / "ten.stl", binaryStl(3, 10.0F));
    writeFile(dir / "millimetre.stl", binaryStl(3, 0.001F));
    writeFile(dir / "over.stl", binaryStl(3, 10.01F));
    EXPECT_TRUE(check(robotWithMesh("ten.stl", true), dir.path()).findings.empty());
    EXPECT_TRUE(check(robotWithMesh("millimetre.stl", true), dir.path()).findings.empty());
    EXPECT_EQ(ofRule(check(robotWithMesh("over.stl", true), dir.path()), "mesh-size").size(), 1U);
}

TEST(MeshSize, ABinaryStlWithASolidHeaderAndBytesAfterItsTrianglesIsMeasured) {
    const ScratchDir dir;
    std::string bytes = binaryStl(3, 20.0F);
    bytes.replace(0, 10, "solid part");
    writeFile(dir / "cad.stl", bytes + std::string(10, '\0'));
    const auto found = ofRule(check(robotWithMesh("cad.stl", true), dir.path()), "mesh-size");
    ASSERT_EQ(found.size(), 1U);
    EXPECT_NE(found[0]->message.find("is 20 m across"), std::string::npos) << found[0]->message;
}

// ---------------------------------------------------------------------------------------------
// mesh-heavy

TEST(MeshHeavy, AMeshOfTwoHundredAndFiftyThousandTrianglesIsHeavy) {
    const ScratchDir dir;
    writeFile(dir / "heavy.stl", binaryStl(250000));
    const Checked checked = check(robotWithMesh("heavy.stl", false), dir.path());
    const auto found = ofRule(checked, "mesh-heavy");
    ASSERT_EQ(found.size(), 1U);
    EXPECT_EQ(found[0]->severity, Severity::Warning);
    EXPECT_NE(found[0]->message.find("has 250000 triangles, over 200000"), std::string::npos)
        << found[0]->message;
    EXPECT_EQ(checked.findings.size(), 1U);
}

TEST(MeshHeavy, AContactMeshIsHeavyFromAFewerTriangles) {
    const ScratchDir dir;
    writeFile(dir / "limit.stl", binaryStl(kContactMeshTriangles));
    writeFile(dir / "over.stl", binaryStl(kContactMeshTriangles + 1));
    writeFile(dir / "visual.stl", binaryStl(200000));
    EXPECT_TRUE(check(robotWithMesh("limit.stl", true), dir.path()).findings.empty());
    EXPECT_TRUE(check(robotWithMesh("visual.stl", false), dir.path()).findings.empty());
    EXPECT_TRUE(check(robotWithMesh("over.stl", false), dir.path()).findings.empty());
    const auto found = ofRule(check(robotWithMesh("over.stl", true), dir.path()), "mesh-heavy");
    ASSERT_EQ(found.size(), 1U);
    EXPECT_NE(found[0]->message.find("contact mesh"), std::string::npos) << found[0]->message;
}

TEST(MeshHeavy, TheRealRobotsPass) {
    SKIP_WITHOUT_ROBOTS();
    std::size_t robots = 0;
    for (const auto& entry : fs::recursive_directory_iterator(robotsDir)) {
        if (entry.path().extension() != ".urdf") continue;
        SCOPED_TRACE(entry.path().string());
        ++robots;
        const Checked checked = check(readFile(entry.path()), entry.path().parent_path());
        for (const char* rule : {"mesh-size", "mesh-heavy", "mesh-undecodable"}) {
            EXPECT_TRUE(ofRule(checked, rule).empty()) << rule;
        }
    }
    EXPECT_EQ(robots, 5U);
}

// ---------------------------------------------------------------------------------------------
// mesh-undecodable

TEST(MeshUndecodable, ContentsThatCannotBeReadGiveAFindingAndNoCrash) {
    const ScratchDir dir;
    std::string truncated = binaryStl(10);
    truncated.resize(84 + 3 * 50 + 7);
    writeFile(dir / "truncated.stl", truncated);
    writeFile(dir / "short.stl", "QQQ");
    writeFile(dir / "broken.dae", "<COLLADA><library_geometries>");
    writeFile(dir / "other.dae", "<robot/>");
    // A node that instances itself: the scene ends at its limit, not in an endless walk.
    writeFile(dir / "loop.dae",
              R"(<COLLADA><library_nodes><node id="n"><instance_node url="#n"/></node>
                 </library_nodes><library_visual_scenes><visual_scene id="s">
                 <node><instance_node url="#n"/></node></visual_scene></library_visual_scenes>
                 </COLLADA>)");
    const std::vector<std::pair<std::string, std::string>> cases{
        {"truncated.stl", "announces 10 triangles, the file holds 3"},
        {"short.stl", "shorter than the 84-byte header"},
        {"broken.dae", "is no well-formed XML"},
        {"other.dae", "root element is <robot>"},
        {"loop.dae", "nests nodes deeper than"}};
    for (const auto& [file, reason] : cases) {
        SCOPED_TRACE(file);
        const Checked checked = check(robotWithMesh(file, true), dir.path());
        const auto found = ofRule(checked, "mesh-undecodable");
        ASSERT_EQ(found.size(), 1U);
        EXPECT_EQ(checked.findings.size(), 1U);
        EXPECT_NE(found[0]->message.find(reason), std::string::npos) << found[0]->message;
    }
}

TEST(MeshUndecodable, AFormatTheToolDoesNotDecodeIsLeftAlone) {
    const ScratchDir dir;
    writeFile(dir / "part.ply", "ply\nformat ascii 1.0\n");
    EXPECT_TRUE(check(robotWithMesh("part.ply", true), dir.path()).findings.empty());
}

}  // namespace
