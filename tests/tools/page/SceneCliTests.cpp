// corvane-urdf -f html and -f snapshot run as a user runs them: the page written, the warnings
// and errors, a missing or failing Chromium, and snapshots of the real robots checked by their
// pixels.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <system_error>
#include <vector>

#include "ScratchDir.hpp"
#include "TestSupport.hpp"
#include "ToolRun.hpp"
#include "support/ChildProcess.hpp"

namespace {

namespace fs = std::filesystem;
using corvane::testing::readFile;
using corvane::testing::ScratchDir;
using corvane::testing::ToolRun;
using corvane::testing::writeFile;

const fs::path tool = CORVANE_URDF_TOOL;
const fs::path armExample = fs::path(CORVANE_SOURCE_DIR) / "examples" / "arm_robot.urdf";
const fs::path robotsDir = fs::path(CORVANE_SHARED_DIR) / "robots";

ToolRun runTool(const std::vector<std::string>& arguments,
                const std::map<std::string, std::string>& environment = {}) {
    return corvane::testing::runToolWithEnvironment(arguments, environment);
}

bool chromiumInstalled() {
    return corvane::testing::programRuns({"chromium", "--version"});
}

#define SKIP_WITHOUT_CHROMIUM()                                                      \
    do {                                                                             \
        if (!chromiumInstalled()) GTEST_SKIP() << "chromium not installed: skipped"; \
    } while (0)

// The text of the scene element of a page.
std::string sceneText(const std::string& page) {
    const std::string open = "<script type=\"application/json\" id=\"corvane-scene\">";
    const auto start = page.find(open);
    if (start == std::string::npos) return {};
    const auto end = page.find("</script>", start);
    return page.substr(start + open.size(), end - start - open.size());
}

TEST(SceneCli, HtmlIsOnePageWithTheSceneAndNoOutsideResources) {
    const ScratchDir scratch;
    const fs::path page = scratch / "arm.html";
    const ToolRun run = runTool({"-q", "-f", "html", "-o", page.string(), armExample.string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::string html = readFile(page);
    EXPECT_TRUE(html.starts_with("<!DOCTYPE html>"));
    const auto scene = nlohmann::json::parse(sceneText(html));
    EXPECT_EQ(scene["format"], "corvane-scene");
    EXPECT_EQ(scene["version"], 1);
    EXPECT_FALSE(scene["bodies"].empty());
    EXPECT_EQ(html.find("<script src"), std::string::npos);
    EXPECT_EQ(html.find("<link "), std::string::npos);
    EXPECT_NE(html.find("THREE.OrbitControls"), std::string::npos);
    EXPECT_NE(html.find("THREE.ColladaLoader"), std::string::npos);
    EXPECT_EQ(html.find("/*CORVANE_"), std::string::npos) << "a placeholder was left";
}

TEST(SceneCli, BatchWritesOneHtmlPerInput) {
    const ScratchDir scratch;
    const fs::path first = scratch / "first.urdf";
    const fs::path second = scratch / "second.urdf";
    writeFile(first, "<robot name='first'><link name='a'/></robot>");
    writeFile(second, "<robot name='second'><link name='b'/></robot>");
    fs::create_directory(scratch / "out");
    const ToolRun run =
        runTool({"-f", "html", "-o", (scratch / "out").string(), first.string(), second.string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(scratch / "out" / "first.html"));
    EXPECT_TRUE(fs::exists(scratch / "out" / "second.html"));
}

TEST(SceneCli, MissingMeshIsAWarningAndThePageIsStillWritten) {
    const ScratchDir scratch;
    const fs::path file = scratch / "lost.urdf";
    writeFile(file,
              "<robot name='lost'><link name='body'><visual><geometry>"
              "<mesh filename='meshes/gone.stl'/></geometry></visual></link></robot>");
    const fs::path page = scratch / "lost.html";
    const ToolRun run = runTool({"-f", "html", "-o", page.string(), file.string()});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, file.string() +
                           ": warning: mesh 'meshes/gone.stl' of body 'body': not found; tried: " +
                           (scratch / "meshes/gone.stl").string() + "\n");
    const auto scene = nlohmann::json::parse(sceneText(readFile(page)));
    ASSERT_EQ(scene["meshes"].size(), 1u);
    EXPECT_TRUE(scene["meshes"][0]["data"].is_null());
    EXPECT_TRUE(scene["meshes"][0]["problem"].get<std::string>().starts_with("not found"));
}

TEST(SceneCli, BodiesReachedFromNoRootAreOneWarning) {
    const ScratchDir scratch;
    const fs::path file = scratch / "loop.urdf";
    // urdfdom accepts two links that are each other's child beside a root of their own.
    writeFile(file,
              "<robot name='loop'><link name='r'/><link name='a'/><link name='b'/>"
              "<joint name='ab' type='fixed'><parent link='a'/><child link='b'/></joint>"
              "<joint name='ba' type='fixed'><parent link='b'/><child link='a'/></joint></robot>");
    const fs::path page = scratch / "loop.html";
    const ToolRun run = runTool({"-q", "-f", "html", "-o", page.string(), file.string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");  // -q: the tool's warnings go with the import's
    const ToolRun loud = runTool({"-f", "html", "-o", page.string(), file.string()});
    EXPECT_NE(loud.err.find(file.string() +
                            ": warning: 2 bodies reached from no root body (in a cycle, or below a "
                            "missing body or connector), drawn at the origin: 'a', 'b'\n"),
              std::string::npos)
        << loud.err;
    const auto scene = nlohmann::json::parse(sceneText(readFile(page)));
    EXPECT_EQ(scene["unplaced"], nlohmann::json::parse(R"(["a", "b"])"));
}

TEST(SceneCli, PackagePathFindsTheRobotsMeshes) {
    const fs::path solo = robotsDir / "example-robot-data/robots/solo_description/robots/solo.urdf";
    if (!fs::exists(solo)) GTEST_SKIP() << "no ../shared/robots beside this checkout: skipped";
    const ScratchDir scratch;
    const fs::path page = scratch / "solo.html";
    const ToolRun without = runTool({"-f", "html", "-o", page.string(), solo.string()},
                                    {{"ROS_PACKAGE_PATH", ""}, {"AMENT_PREFIX_PATH", ""}});
    EXPECT_EQ(without.status, 0);
    EXPECT_NE(without.err.find(": warning: mesh 'package://example-robot-data/"), std::string::npos)
        << without.err;
    const ToolRun with = runTool({"-q", "-f", "html", "--package-path", robotsDir.string(), "-o",
                                  page.string(), solo.string()});
    EXPECT_EQ(with.status, 0);
    EXPECT_EQ(with.err, "");
    const auto scene = nlohmann::json::parse(sceneText(readFile(page)));
    ASSERT_FALSE(scene["meshes"].empty());
    for (const auto& mesh : scene["meshes"]) EXPECT_TRUE(mesh["data"].is_string()) << mesh["path"];
}

TEST(SceneCli, MissingThreeJsIsOneErrorLineAndNoFile) {
    const ScratchDir scratch;
    const fs::path page = scratch / "arm.html";
    const ToolRun run = runTool({"-q", "-f", "html", "-o", page.string(), armExample.string()},
                                {{"CORVANE_THREE_DIR", (scratch / "none").string()}});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "error: " + armExample.string() +
                           ": cannot write html: three.js not found in " +
                           (scratch / "none").string() + " (Debian package libjs-three)\n");
    EXPECT_FALSE(fs::exists(page));
}

TEST(SceneCli, MissingChromiumIsOneErrorLineAndExitStatusTwo) {
    const ScratchDir scratch;
    fs::create_directory(scratch / "bin");
    const fs::path png = scratch / "arm.png";
    const ToolRun run = runTool({"-q", "-f", "snapshot", "-o", png.string(), armExample.string()},
                                {{"PATH", (scratch / "bin").string()}});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "error: " + armExample.string() +
                           ": cannot draw snapshot: Chromium not found in PATH (install the "
                           "chromium package)\n");
    EXPECT_FALSE(fs::exists(png));
}

TEST(SceneCli, FailingChromiumIsOneErrorLineWithItsLastWords) {
    const ScratchDir scratch;
    fs::create_directory(scratch / "bin");
    const fs::path fake = scratch / "bin" / "chromium";
    writeFile(fake, "#!/bin/sh\necho 'starting' >&2\necho 'no display for QQQ' >&2\nexit 3\n");
    ::chmod(fake.c_str(), 0755);
    const ToolRun run = runTool({"-q", "-f", "snapshot", armExample.string()},
                                {{"PATH", (scratch / "bin").string() + ":/usr/bin:/bin"}});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "error: " + armExample.string() +
                           ": cannot draw snapshot: Chromium failed with exit status 3: no "
                           "display for QQQ\n");
    EXPECT_EQ(run.out, "");
}

TEST(SceneCli, TimedProgramIsStoppedWithTheHelpersItStarted) {
    // The background sleep keeps the outputs open after the shell is gone: only killing the
    // whole process group ends the run.
    const auto start = std::chrono::steady_clock::now();
    const auto run = corvane::tools::runProgram({"sh", "-c", "sleep 30 & sleep 30"}, "",
                                                std::chrono::milliseconds(300));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(run.timedOut);
    EXPECT_FALSE(run.succeeded());
    EXPECT_LT(took, std::chrono::seconds(10));
}

// ---------------------------------------------------------------------------------------------
// Snapshots, checked by their pixels

struct Image {
    unsigned width = 0;
    unsigned height = 0;
    std::vector<unsigned char> rgb;

    const unsigned char* at(unsigned x, unsigned y) const { return &rgb[(y * width + x) * 3]; }
};

Image decodePng(const std::string& bytes) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Image decoded;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return decoded;
    image.format = PNG_FORMAT_RGB;
    decoded.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, decoded.rgb.data(), 0, nullptr)) return {};
    decoded.width = image.width;
    decoded.height = image.height;
    return decoded;
}

using Colour = std::array<int, 3>;

Colour colourAt(const Image& image, unsigned x, unsigned y) {
    const unsigned char* p = image.at(x, y);
    return {p[0], p[1], p[2]};
}

// The background of the 3D view: the colour most frequent in the frame.
Colour backgroundOf(const Image& image) {
    std::map<Colour, std::size_t> counts;
    for (unsigned y = 0; y < image.height; y += 2) {
        for (unsigned x = 0; x < image.width; x += 2) ++counts[colourAt(image, x, y)];
    }
    return std::max_element(counts.begin(), counts.end(),
                            [](const auto& a, const auto& b) { return a.second < b.second; })
        ->first;
}

// Where the 3D view begins: right of a panel at the left whose edge is a full-height line of
// one colour other than the background (0 without one).
unsigned viewLeftOf(const Image& image, const Colour& background) {
    unsigned left = 0;
    for (unsigned x = 0; x < image.width / 2; ++x) {
        const Colour top = colourAt(image, x, 0);
        if (top == background) continue;
        bool uniform = true;
        for (unsigned y = 1; y < image.height && uniform; ++y)
            uniform = colourAt(image, x, y) == top;
        if (uniform) left = x + 1;
    }
    return left;
}

struct Coverage {
    unsigned viewLeft = 0;
    double share = 0;        // of the view's pixels not of the background
    std::size_t onEdge = 0;  // such pixels on the view's outermost rows and columns
    unsigned left = 0, right = 0, top = 0, bottom = 0;
};

Coverage coverageOf(const Image& image) {
    const Colour background = backgroundOf(image);
    Coverage coverage;
    coverage.viewLeft = viewLeftOf(image, background);
    coverage.left = image.width;
    coverage.top = image.height;
    std::size_t drawn = 0;
    for (unsigned y = 0; y < image.height; ++y) {
        for (unsigned x = coverage.viewLeft; x < image.width; ++x) {
            const Colour p = colourAt(image, x, y);
            const int difference = std::abs(p[0] - background[0]) + std::abs(p[1] - background[1]) +
                                   std::abs(p[2] - background[2]);
            if (difference <= 24) continue;
            ++drawn;
            if (x == coverage.viewLeft || y == 0 || x + 1 == image.width || y + 1 == image.height) {
                ++coverage.onEdge;
            }
            coverage.left = std::min(coverage.left, x);
            coverage.right = std::max(coverage.right, x);
            coverage.top = std::min(coverage.top, y);
            coverage.bottom = std::max(coverage.bottom, y);
        }
    }
    const double viewPixels = static_cast<double>(image.width - coverage.viewLeft) * image.height;
    coverage.share = static_cast<double>(drawn) / viewPixels;
    return coverage;
}

TEST(SceneSnapshot, EveryRobotIsDrawnWholeAndLargeEnough) {
    SKIP_WITHOUT_CHROMIUM();
    std::vector<fs::path> robots;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(robotsDir, error)) {
        if (entry.path().extension() == ".urdf") robots.push_back(entry.path());
    }
    if (robots.empty()) GTEST_SKIP() << "no ../shared/robots beside this checkout: skipped";
    std::sort(robots.begin(), robots.end());
    const ScratchDir scratch;
    for (const auto& robot : robots) {
        const fs::path png = scratch / (robot.stem().string() + ".png");
        const ToolRun run = runTool({"-q", "-f", "snapshot", "--package-path", robotsDir.string(),
                                     "-o", png.string(), robot.string()});
        ASSERT_EQ(run.status, 0) << robot << ": " << run.err;
        EXPECT_EQ(run.err, "") << robot;
        const Image image = decodePng(readFile(png));
        ASSERT_EQ(image.width, 1280u) << robot;
        ASSERT_EQ(image.height, 800u) << robot;
        const Coverage coverage = coverageOf(image);
        EXPECT_GE(coverage.share, 0.02) << robot << ": the robot is (nearly) invisible";
        EXPECT_LE(coverage.viewLeft, 640u) << robot;
        EXPECT_LE(coverage.share, 0.9) << robot << ": the frame is (nearly) all robot";
        if (std::getenv("CORVANE_SNAPSHOT_FIGURES")) {
            std::printf("%s: view from x=%u, robot covers %.1f%%, box x %u-%u y %u-%u\n",
                        robot.filename().c_str(), coverage.viewLeft, 100 * coverage.share,
                        coverage.left, coverage.right, coverage.top, coverage.bottom);
        }
        EXPECT_EQ(coverage.onEdge, 0u) << robot << ": the robot is cut at the frame's edges";
        // Framed: the drawing spans a good part of the frame in one direction at least.
        const double spanX =
            (coverage.right - coverage.left) / static_cast<double>(1280 - coverage.viewLeft);
        const double spanY = (coverage.bottom - coverage.top) / 800.0;
        EXPECT_GE(std::max(spanX, spanY), 0.25)
            << robot << ": drawn in a corner of " << spanX << " x " << spanY << " of the frame";
    }
}

}  // namespace
