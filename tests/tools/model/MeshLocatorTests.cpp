// How corvane-urdf finds mesh files: the real robots of ../shared/robots (a ROS package) through
// every kind of search path, packages found by their package.xml, file:// URIs and paths, and
// every kind of bad input, which must give a clear problem and never hang.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <urdf_model/model.h>
#include <urdf_parser/urdf_parser.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ParsedUrdf.hpp"
#include "ScratchDir.hpp"
#include "TestSupport.hpp"
#include "cli/CommandLine.hpp"
#include "model/MeshLocator.hpp"
#include "support/ChildProcess.hpp"
#include "support/ToolError.hpp"

namespace {

namespace fs = std::filesystem;
using corvane::testing::ScratchDir;
using corvane::testing::writeFile;
using corvane::tools::MeshLocation;
using corvane::tools::MeshLocator;
using corvane::tools::MeshProblem;
using corvane::tools::PackageSearch;

const fs::path robotsDir = fs::path(CORVANE_SHARED_DIR) / "robots";
const std::string robotPackage = "example-robot-data";

#define SKIP_WITHOUT_ROBOTS()                                                           \
    do {                                                                                \
        if (!fs::is_directory(robotsDir / robotPackage)) {                              \
            GTEST_SKIP() << "no ../shared/robots beside this checkout: robots skipped"; \
        }                                                                               \
    } while (0)

struct MeshUri {
    fs::path urdf;
    std::string uri;
};

void addMeshUri(const urdf::GeometrySharedPtr& geometry, const fs::path& urdf,
                std::vector<MeshUri>& uris) {
    if (!geometry || geometry->type != urdf::Geometry::MESH) return;
    uris.push_back({urdf, std::static_pointer_cast<urdf::Mesh>(geometry)->filename});
}

// Every mesh URI of every URDF in ../shared/robots, as urdfdom reads them.
std::vector<MeshUri> robotMeshUris() {
    std::vector<MeshUri> uris;
    for (const auto& entry : fs::recursive_directory_iterator(robotsDir)) {
        if (entry.path().extension() != ".urdf") continue;
        const corvane::Plugins::Urdf::ParsedUrdf model(corvane::testing::readFile(entry.path()));
        EXPECT_TRUE(model) << "urdfdom refuses " << entry.path();
        if (!model) continue;
        for (const auto& [name, link] : model->links_) {
            for (const auto& visual : link->visual_array) addMeshUri(visual->geometry, entry, uris);
            for (const auto& collision : link->collision_array) {
                addMeshUri(collision->geometry, entry, uris);
            }
        }
    }
    return uris;
}

// The file a package://example-robot-data/REST URI names in ../shared/robots.
fs::path expectedRobotFile(const std::string& uri) {
    const std::string prefix = "package://" + robotPackage + "/";
    EXPECT_TRUE(uri.starts_with(prefix)) << uri;
    return robotsDir / robotPackage / uri.substr(prefix.size());
}

// Every mesh of the real robots is found through `search`, and is the file the URI names.
void expectEveryRobotMeshFound(const PackageSearch& search) {
    const auto uris = robotMeshUris();
    ASSERT_GT(uris.size(), 50u) << "too few meshes in " << robotsDir;
    for (const auto& [urdf, uri] : uris) {
        const MeshLocator locator{search, urdf.parent_path()};
        const MeshLocation location = locator.locate(uri);
        EXPECT_EQ(location.problem, MeshProblem::None) << urdf << ": " << location.message();
        ASSERT_TRUE(location.file) << uri;
        EXPECT_TRUE(fs::equivalent(*location.file, expectedRobotFile(uri))) << *location.file;
        EXPECT_EQ(location.tried.back(), location.file->string());
    }
}

MeshLocation locateIn(const fs::path& base, const std::string& uri) {
    return MeshLocator{PackageSearch{}, base}.locate(uri);
}

PackageSearch searchFolders(std::vector<fs::path> folders) {
    PackageSearch search;
    search.packagePaths = std::move(folders);
    return search;
}

// A package folder `folder` named `name` by its package.xml, holding meshes/part.stl.
void makePackage(const fs::path& folder, const std::string& name) {
    fs::create_directories(folder / "meshes");
    writeFile(folder / "package.xml", "<?xml version=\"1.0\"?>\n<package format=\"3\">\n  <name> " +
                                          name +
                                          " </name>\n  <version>1.0.0</version>\n</package>\n");
    writeFile(folder / "meshes" / "part.stl", "solid part\nendsolid part\n");
}

// ---------------------------------------------------------------------------------------------
// The real robots, through each kind of search path

TEST(RobotMeshes, FoundThroughPackagePath) {
    SKIP_WITHOUT_ROBOTS();
    expectEveryRobotMeshFound(searchFolders({robotsDir}));
}

TEST(RobotMeshes, FoundThroughRosPackagePathAfterAMissingEntry) {
    SKIP_WITHOUT_ROBOTS();
    const std::string variable = "/nonexistent/corvane::" + robotsDir.string();
    const auto search = PackageSearch::fromOptionsAndVariables({}, variable.c_str(), nullptr);
    ASSERT_EQ(search.rosPackagePath.size(), 2u);
    expectEveryRobotMeshFound(search);
}

TEST(RobotMeshes, FoundThroughPackageMapping) {
    SKIP_WITHOUT_ROBOTS();
    const auto search = PackageSearch::fromOptionsAndVariables(
        {robotPackage + "=" + (robotsDir / robotPackage).string()}, nullptr, nullptr);
    ASSERT_EQ(search.packageMappings.size(), 1u);
    expectEveryRobotMeshFound(search);
}

TEST(RobotMeshes, FoundThroughAmentPrefixPath) {
    SKIP_WITHOUT_ROBOTS();
    const ScratchDir prefix{"corvane-mesh-test"};
    fs::create_directories(prefix / "share");
    fs::create_directory_symlink(robotsDir / robotPackage, prefix / "share" / robotPackage);
    const std::string variable = (prefix / "empty").string() + ":" + prefix.path().string();
    expectEveryRobotMeshFound(
        PackageSearch::fromOptionsAndVariables({}, nullptr, variable.c_str()));
}

TEST(RobotMeshes, FoundThroughTheEnvironment) {
    SKIP_WITHOUT_ROBOTS();
    ASSERT_EQ(::setenv("ROS_PACKAGE_PATH", robotsDir.c_str(), 1), 0);
    ::unsetenv("AMENT_PREFIX_PATH");
    const auto search = PackageSearch::fromCommandLineAndEnvironment({});
    ::unsetenv("ROS_PACKAGE_PATH");
    ASSERT_EQ(search.rosPackagePath, std::vector<fs::path>{robotsDir});
    expectEveryRobotMeshFound(search);
}

TEST(RobotMeshes, NotFoundWithoutAnySearchPath) {
    SKIP_WITHOUT_ROBOTS();
    const auto uris = robotMeshUris();
    ASSERT_FALSE(uris.empty());
    for (const auto& [urdf, uri] : uris) {
        const MeshLocation location = MeshLocator{PackageSearch{}, urdf.parent_path()}.locate(uri);
        EXPECT_EQ(location.problem, MeshProblem::NotFound) << uri;
        EXPECT_FALSE(location.file);
        EXPECT_EQ(location.reason(),
                  "package 'example-robot-data' not found: no search path is given "
                  "(--package-path, ROS_PACKAGE_PATH, AMENT_PREFIX_PATH)");
    }
}

TEST(RobotMeshes, NotFoundListsEveryPlaceTried) {
    SKIP_WITHOUT_ROBOTS();
    const ScratchDir elsewhere{"corvane-mesh-test"};
    fs::create_directories(elsewhere / "ws" / "src");
    PackageSearch search = searchFolders({elsewhere / "ws", elsewhere / "missing"});
    search.rosPackagePath = {elsewhere / "ws" / "src"};
    search.amentPrefixPath = {elsewhere / "install"};
    const auto uris = robotMeshUris();
    ASSERT_FALSE(uris.empty());
    const std::string ws = (elsewhere / "ws").string();
    const std::vector<std::string> expectedTried{
        ws + "/example-robot-data",
        ws + "/**/package.xml",
        (elsewhere / "missing").string() + " (not a folder)",
        ws + "/src/example-robot-data",
        ws + "/src/**/package.xml",
        (elsewhere / "install" / "share" / "example-robot-data").string(),
    };
    const MeshLocator locator{search, robotsDir};
    for (const auto& [urdf, uri] : uris) {
        const MeshLocation location = locator.locate(uri);
        EXPECT_EQ(location.problem, MeshProblem::NotFound) << uri;
        EXPECT_EQ(location.tried, expectedTried) << uri;
        EXPECT_EQ(location.message(),
                  "mesh '" + uri + "': package 'example-robot-data' not found; tried: " +
                      expectedTried[0] + ", " + expectedTried[1] + ", " + expectedTried[2] + ", " +
                      expectedTried[3] + ", " + expectedTried[4] + ", " + expectedTried[5]);
    }
}

// ---------------------------------------------------------------------------------------------
// Packages found as ROS finds them

TEST(PackageSearchOrder, PackageFoundByItsManifestUnderAnotherFolderName) {
    const ScratchDir ws{"corvane-mesh-test"};
    makePackage(ws / "src" / "vendor" / "arm_description_v2", "arm_description");
    const MeshLocator locator{searchFolders({ws.path()}), ws.path()};
    const auto location = locator.locate("package://arm_description/meshes/part.stl");
    EXPECT_EQ(location.problem, MeshProblem::None) << location.message();
    EXPECT_EQ(location.file, ws / "src/vendor/arm_description_v2/meshes/part.stl");
}

TEST(PackageSearchOrder, SearchEntryThatIsItselfThePackage) {
    const ScratchDir ws{"corvane-mesh-test"};
    makePackage(ws / "checkout", "gripper");
    const MeshLocator locator{searchFolders({ws / "checkout"}), ws.path()};
    const auto location = locator.locate("package://gripper/meshes/part.stl");
    EXPECT_EQ(location.problem, MeshProblem::None) << location.message();
}

TEST(PackageSearchOrder, ManifestsAreFoundFiveLevelsDownButNotSix) {
    const ScratchDir ws{"corvane-mesh-test"};
    makePackage(ws / "1/2/3/4/5", "at_five");
    makePackage(ws / "1/2/3/4/5b/6", "at_six");
    const MeshLocator locator{searchFolders({ws.path()}), ws.path()};
    EXPECT_EQ(locator.locate("package://at_five/meshes/part.stl").problem, MeshProblem::None);
    EXPECT_EQ(locator.locate("package://at_six/meshes/part.stl").problem, MeshProblem::NotFound);
}

TEST(PackageSearchOrder, IgnoredAndHiddenFoldersAreNotSearched) {
    const ScratchDir ws{"corvane-mesh-test"};
    makePackage(ws / "skipped" / "pkg", "ignored_pkg");
    writeFile(ws / "skipped" / "COLCON_IGNORE", "");
    makePackage(ws / ".git" / "pkg", "hidden_pkg");
    const MeshLocator locator{searchFolders({ws.path()}), ws.path()};
    EXPECT_EQ(locator.locate("package://ignored_pkg/meshes/part.stl").problem,
              MeshProblem::NotFound);
    EXPECT_EQ(locator.locate("package://hidden_pkg/meshes/part.stl").problem,
              MeshProblem::NotFound);
}

TEST(PackageSearchOrder, FirstPackageFoundWinsEvenWithoutTheFile) {
    const ScratchDir ws{"corvane-mesh-test"};
    fs::create_directories(ws / "first" / "robot");
    makePackage(ws / "second" / "robot", "robot");
    const MeshLocator locator{searchFolders({ws / "first", ws / "second"}), ws.path()};
    const auto location = locator.locate("package://robot/meshes/part.stl");
    EXPECT_EQ(location.problem, MeshProblem::NotFound);
    const std::vector<std::string> expectedTried{(ws / "first/robot").string(),
                                                 (ws / "first/robot/meshes/part.stl").string()};
    EXPECT_EQ(location.tried, expectedTried);
    EXPECT_EQ(location.reason(), "not found; tried: " + expectedTried[0] + ", " + expectedTried[1]);
}

TEST(PackageSearchOrder, MappingComesBeforeSearchFolders) {
    const ScratchDir ws{"corvane-mesh-test"};
    makePackage(ws / "searched" / "robot", "robot");
    makePackage(ws / "mapped", "robot");
    PackageSearch search = searchFolders({ws / "searched"});
    search.packageMappings = {{"robot", ws / "mapped"}};
    const auto location = MeshLocator{search, ws.path()}.locate("package://robot//meshes/part.stl");
    EXPECT_EQ(location.problem, MeshProblem::None) << location.message();
    EXPECT_EQ(location.file, ws / "mapped/meshes/part.stl");
}

TEST(PackageSearchOrder, SymbolicLinkLoopEndsTheWalk) {
    const ScratchDir ws{"corvane-mesh-test"};
    fs::create_directories(ws / "a" / "b");
    fs::create_directory_symlink(ws.path(), ws / "a" / "b" / "up");
    fs::create_directory_symlink(ws / "a", ws / "a" / "again");
    makePackage(ws / "a" / "b" / "real", "looped");
    const MeshLocator locator{searchFolders({ws.path()}), ws.path()};
    EXPECT_EQ(locator.locate("package://nowhere/x.stl").problem, MeshProblem::NotFound);
    const auto location = locator.locate("package://looped/meshes/part.stl");
    EXPECT_EQ(location.problem, MeshProblem::None) << location.message();
    EXPECT_EQ(location.file, ws / "a/b/real/meshes/part.stl");
}

TEST(PackageSearchOrder, WalkStopsAtItsFolderCapAndSaysSo) {
    const ScratchDir ws{"corvane-mesh-test"};
    for (int i = 0; i < 10; ++i) fs::create_directories(ws / ("d" + std::to_string(i)));
    makePackage(ws / "z_last", "beyond_cap");
    const MeshLocator locator{searchFolders({ws.path()}), ws.path(), {5, 4}};
    const auto location = locator.locate("package://beyond_cap/meshes/part.stl");
    EXPECT_EQ(location.problem, MeshProblem::NotFound);
    ASSERT_EQ(location.tried.size(), 2u);
    EXPECT_EQ(location.tried[1],
              (ws / "**/package.xml").string() + " (search stopped after 4 folders)");
}

// ---------------------------------------------------------------------------------------------
// file:// URIs and paths

TEST(MeshPaths, FileUrisAbsoluteAndRelativePaths) {
    const ScratchDir dir{"corvane-mesh-test"};
    fs::create_directories(dir / "urdf" / "meshes");
    writeFile(dir / "urdf/meshes/a.stl", "solid a\n");
    const fs::path base = dir / "urdf";
    const fs::path absolute = base / "meshes/a.stl";
    for (const std::string& uri :
         {"file://" + absolute.string(), absolute.string(), std::string("file://meshes/a.stl"),
          std::string("meshes/a.stl"), std::string("../urdf/meshes/a.stl")}) {
        const auto location = locateIn(base, uri);
        EXPECT_EQ(location.problem, MeshProblem::None) << location.message();
        ASSERT_TRUE(location.file) << uri;
        EXPECT_TRUE(fs::equivalent(*location.file, absolute)) << uri;
    }
}

TEST(MeshPaths, RelativePathFromTheCurrentFolderForStandardInput) {
    const ScratchDir dir{"corvane-mesh-test"};
    writeFile(dir / "a.stl", "solid a\n");
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path());
    const auto location = locateIn({}, "a.stl");
    fs::current_path(previous);
    EXPECT_EQ(location.problem, MeshProblem::None) << location.message();
}

TEST(MeshPaths, MissingFileListsThePathTried) {
    const ScratchDir dir{"corvane-mesh-test"};
    const auto location = locateIn(dir.path(), "meshes/none.stl");
    EXPECT_EQ(location.problem, MeshProblem::NotFound);
    EXPECT_EQ(location.reason(), "not found; tried: " + (dir / "meshes/none.stl").string());
}

// ---------------------------------------------------------------------------------------------
// Bad input: a clear problem, never a hang

TEST(BadMeshes, FolderIsNotARegularFile) {
    const ScratchDir dir{"corvane-mesh-test"};
    fs::create_directories(dir / "part.stl");
    const auto location = locateIn(dir.path(), "part.stl");
    EXPECT_EQ(location.problem, MeshProblem::NotARegularFile);
    EXPECT_EQ(location.file, dir / "part.stl");
    EXPECT_EQ(location.reason(), "is a folder");
    EXPECT_EQ(location.message(),
              "mesh 'part.stl' (" + (dir / "part.stl").string() + "): is a folder");
}

TEST(BadMeshes, DeviceIsNotARegularFile) {
    const auto location = locateIn("/", "/dev/null");
    EXPECT_EQ(location.problem, MeshProblem::NotARegularFile);
    EXPECT_EQ(location.reason(), "is not a regular file (a character device)");
    EXPECT_EQ(location.message(), "mesh '/dev/null': is not a regular file (a character device)");
}

TEST(BadMeshes, FifoIsNotOpened) {
    const ScratchDir dir{"corvane-mesh-test"};
    ASSERT_EQ(::mkfifo((dir / "pipe.stl").c_str(), 0600), 0);
    const auto location = locateIn(dir.path(), "pipe.stl");
    EXPECT_EQ(location.problem, MeshProblem::NotARegularFile);
    EXPECT_EQ(location.reason(), "is not a regular file (a FIFO)");
}

TEST(BadMeshes, FifoNamedPackageXmlIsNotOpened) {
    const ScratchDir ws{"corvane-mesh-test"};
    fs::create_directories(ws / "pkg");
    ASSERT_EQ(::mkfifo((ws / "pkg" / "package.xml").c_str(), 0600), 0);
    const MeshLocator locator{searchFolders({ws.path()}), ws.path()};
    EXPECT_EQ(locator.locate("package://other/a.stl").problem, MeshProblem::NotFound);
}

TEST(BadMeshes, DanglingLinkIsNotFoundAndNamed) {
    const ScratchDir dir{"corvane-mesh-test"};
    fs::create_symlink("gone.stl", dir / "part.stl");
    const auto location = locateIn(dir.path(), "part.stl");
    EXPECT_EQ(location.problem, MeshProblem::NotFound);
    EXPECT_EQ(location.danglingLink, dir / "part.stl");
    EXPECT_EQ(location.reason(), "not found: " + (dir / "part.stl").string() +
                                     " is a symbolic link to 'gone.stl', which does not exist; "
                                     "tried: " +
                                     (dir / "part.stl").string());
}

TEST(BadMeshes, EmptyFile) {
    const ScratchDir dir{"corvane-mesh-test"};
    writeFile(dir / "part.stl", "");
    const auto location = locateIn(dir.path(), "part.stl");
    EXPECT_EQ(location.problem, MeshProblem::Empty);
    EXPECT_EQ(location.file, dir / "part.stl");
    EXPECT_EQ(location.reason(), "is empty");
}

constexpr int cannotDropPrivileges = 77;

// Locates a file of mode 000. Root reads any file, so as root the look-up runs in a child
// process that has become the unprivileged user nobody.
TEST(BadMeshes, UnreadableFileGivesTheCause) {
    const ScratchDir dir{"corvane-mesh-test"};
    writeFile(dir / "part.stl", "solid part\n");
    fs::permissions(dir / "part.stl", fs::perms::none);
    const auto check = [&] {
        const auto location = locateIn(dir.path(), "part.stl");
        return location.problem == MeshProblem::Unreadable &&
               location.reason() == "cannot be read: Permission denied";
    };
    if (::geteuid() != 0) {
        EXPECT_TRUE(check()) << locateIn(dir.path(), "part.stl").message();
        return;
    }
    fs::permissions(dir.path(),
                    fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(cannotDropPrivileges);
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == cannotDropPrivileges) {
        GTEST_SKIP() << "running as root without the right to become another user: a file of "
                        "mode 000 is readable, so the unreadable case cannot be made";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0) << "an unreadable file was not reported as "
                                         "'cannot be read: Permission denied'";
}

TEST(BadMeshes, BadUris) {
    const ScratchDir dir{"corvane-mesh-test"};
    const MeshLocator locator{searchFolders({robotsDir}), dir.path()};
    const std::vector<std::pair<std::string, std::string>> cases{
        {"package://", "package name is empty"},
        {"package:///meshes/a.stl", "package name is empty"},
        {"package://robot", "names no file inside package 'robot'"},
        {"package://robot/", "names no file inside package 'robot'"},
        {"file://", "names no file after file://"},
        {"", "the mesh file name is empty"},
        {"model://robot/meshes/a.dae",
         "the scheme model:// is not supported (package://, file:// and paths are)"},
    };
    for (const auto& [uri, reason] : cases) {
        const auto location = locator.locate(uri);
        EXPECT_EQ(location.problem, MeshProblem::BadUri) << uri;
        EXPECT_EQ(location.reason(), reason) << uri;
        EXPECT_FALSE(location.file) << uri;
    }
}

// ---------------------------------------------------------------------------------------------
// --package-path

TEST(PackagePathOption, ValuesAreMappingsOrSearchFolders) {
    const auto search = PackageSearch::fromOptionsAndVariables(
        {"robot=/opt/robot", "/opt/a=b", "ws/src", "rel=dir/x"}, "/r1::/r2", "/install");
    using Mapping = std::pair<std::string, fs::path>;
    EXPECT_EQ(search.packageMappings,
              (std::vector<Mapping>{{"robot", "/opt/robot"}, {"rel", "dir/x"}}));
    EXPECT_EQ(search.packagePaths, (std::vector<fs::path>{"/opt/a=b", "ws/src"}));
    EXPECT_EQ(search.rosPackagePath, (std::vector<fs::path>{"/r1", "/r2"}));
    EXPECT_EQ(search.amentPrefixPath, std::vector<fs::path>{"/install"});
}

TEST(PackagePathOption, EmptyNameOrFolderIsRefused) {
    EXPECT_EQ(PackageSearch::packagePathProblem("=x"), "empty package name in '=x' (NAME=DIR)");
    EXPECT_EQ(PackageSearch::packagePathProblem("robot="), "empty folder in 'robot=' (NAME=DIR)");
    EXPECT_EQ(PackageSearch::packagePathProblem(""), "empty folder");
    EXPECT_THROW(PackageSearch::fromOptionsAndVariables({"=x"}, nullptr, nullptr),
                 corvane::tools::ToolError);
}

TEST(PackagePathOption, RepeatedOptionKeepsEveryValueInOrder) {
    const char* argv[] = {"corvane-urdf", "--package-path", "a", "--package-path", "robot=b",
                          "robot.urdf",   "--package-path", "c"};
    const auto commandLine = corvane::tools::parseCommandLine(8, argv);
    ASSERT_TRUE(commandLine.options);
    EXPECT_EQ(commandLine.options->packagePaths, (std::vector<std::string>{"a", "robot=b", "c"}));
    EXPECT_EQ(commandLine.options->inputs, std::vector<std::string>{"robot.urdf"});
}

TEST(PackagePathOption, EmptyNameIsAUsageErrorOfTheTool) {
    const auto run =
        corvane::tools::runProgram({CORVANE_URDF_TOOL, "--package-path", "=x", "robot.urdf"}, "");
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.errors,
              "error: --package-path: empty package name in '=x' (NAME=DIR) (see --help)\n");
}

}  // namespace
