// Finding the files that mesh URIs name, as robotics users expect and without a ROS
// installation: package:// URIs through the tool's --package-path options, ROS_PACKAGE_PATH and
// AMENT_PREFIX_PATH; file:// URIs and paths as they stand or relative to the URDF's folder.
// The checks and the 3D page both resolve meshes here, so they agree on what is found, and both
// read the files' contents here, each file once per run: the page embeds the bytes, the checks
// measure them.
#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/MeshMeasure.hpp"

namespace corvane::tools {

// Where package:// URIs are looked for, in this order.
struct PackageSearch {
    // --package-path NAME=DIR: DIR is the folder of package NAME.
    std::vector<std::pair<std::string, std::filesystem::path>> packageMappings;
    // --package-path DIR, in the order given.
    std::vector<std::filesystem::path> packagePaths;
    // ROS_PACKAGE_PATH, split at ':'.
    std::vector<std::filesystem::path> rosPackagePath;
    // AMENT_PREFIX_PATH, split at ':'; package NAME is the folder share/NAME below an entry.
    std::vector<std::filesystem::path> amentPrefixPath;

    // From the command line's --package-path values and the environment (ROS_PACKAGE_PATH,
    // AMENT_PREFIX_PATH read with getenv here, once). Throws ToolError (usage) for a value
    // that packagePathProblem() refuses.
    static PackageSearch fromCommandLineAndEnvironment(
        const std::vector<std::string>& packagePathOptions);
    // The same from given values of the two variables (null or empty: not set).
    static PackageSearch fromOptionsAndVariables(const std::vector<std::string>& packagePathOptions,
                                                 const char* rosPackagePath,
                                                 const char* amentPrefixPath);
    // What is wrong with one --package-path value ("" when nothing is). A value is NAME=DIR when
    // it holds '=' and no '/' comes before the first '='; otherwise it is a search folder DIR.
    static std::string packagePathProblem(const std::string& value);
    // Nothing to look in: every package:// URI is then not found.
    bool empty() const;
};

enum class MeshProblem { None, NotFound, NotARegularFile, Empty, Unreadable, BadUri };

struct MeshLocation {
    // As written in the URDF or the document.
    std::string uri;
    // The file found; set for None, Empty, Unreadable and NotARegularFile.
    std::optional<std::filesystem::path> file;
    MeshProblem problem = MeshProblem::None;
    // Every place looked at, in order (for NotFound: all of them). Paths, and for the search of a
    // folder for package.xml files "FOLDER/**/package.xml".
    std::vector<std::string> tried;
    // What `reason()` needs besides the rest: the cause of Unreadable (strerror), the kind of
    // file for NotARegularFile, the fault of a BadUri, the package and the link for NotFound.
    std::string detail;
    // For NotFound: the symbolic link that points nowhere, when the place found is one.
    std::optional<std::filesystem::path> danglingLink;

    bool found() const { return problem == MeshProblem::None; }
    // One line for a message, without the URI or the file: "not found; tried: A, B, C",
    // "package 'x' not found; tried: ...", "is a folder", "is not a regular file (a FIFO)",
    // "is empty", "cannot be read: Permission denied", "package name is empty"; "found" for None.
    std::string reason() const;
    // The whole message: "mesh 'URI': REASON", with the file after the URI where one was found.
    std::string message() const;
};

// The contents of one mesh file, read once however many URIs name it.
class MeshFile {
  public:
    // Reads the file `location` found (nothing is read when it found none).
    explicit MeshFile(const MeshLocation& location);

    // By the extension of the file found, or else of the URI.
    MeshFormat format() const { return format_; }
    // The file's bytes; unset when it cannot be drawn or measured.
    const std::optional<std::string>& bytes() const { return bytes_; }
    // Why not ("not found; tried: ...", "is empty", "is no STL, OBJ or Collada file ...").
    const std::optional<std::string>& problem() const { return problem_; }
    // The bytes measured, on first use only, so that a run that only draws the mesh does not
    // decode it; null when there are no bytes.
    const MeshMeasure* measure() const;

  private:
    MeshFormat format_ = MeshFormat::Unknown;
    std::optional<std::string> bytes_;
    std::optional<std::string> problem_;
    mutable std::optional<MeshMeasure> measure_;
};

// Depth and breadth of the search of one search-path entry for package.xml files.
struct PackageCrawlLimits {
    // Folders this far below the entry are still looked at (the entry itself is at depth 0).
    int maxDepth = 5;
    // No more folders than this are listed in one entry, so a huge tree cannot stall the search.
    std::size_t maxFolders = 10000;
};

// Resolves mesh URIs. What it learns is kept: each search-path entry is walked at most once and
// each URI looked up once, so the checks and the page of one input share their look-ups; a
// locator is therefore not safe to share between threads.
class MeshLocator {
  public:
    // `baseFolder`: relative mesh paths are taken from here (the URDF file's folder; for standard
    // input the current folder, which an empty path stands for).
    MeshLocator(PackageSearch search, std::filesystem::path baseFolder,
                PackageCrawlLimits limits = {});

    // Where `uri` leads; the answer stays valid as long as the locator.
    const MeshLocation& locate(std::string_view uri) const;
    // The folder of package NAME, looked for as for package:// URIs (xacro's $(find NAME)).
    std::optional<std::filesystem::path> packageFolder(const std::string& name) const;
    // The contents of the file `uri` leads to. URIs that lead to the same file (told apart by its
    // canonical path) share one MeshFile, read once; the answer stays valid as long as the
    // locator.
    const MeshFile& file(std::string_view uri) const;

  private:
    // Where a package was found, and the places looked at until then.
    struct PackageLookup {
        std::optional<std::filesystem::path> folder;
        std::vector<std::string> tried;
    };
    // The packages a search-path entry holds by package.xml, and whether the walk was cut short.
    struct CrawledEntry {
        std::map<std::string, std::filesystem::path> packages;
        bool truncated = false;
    };

    MeshLocation lookUp(std::string_view uri) const;
    MeshLocation locatePackageUri(std::string_view uri, std::string_view rest) const;
    const PackageLookup& findPackage(const std::string& name) const;
    bool findInSearchEntry(const std::filesystem::path& entry, const std::string& name,
                           PackageLookup& lookup) const;
    const CrawledEntry& crawl(const std::filesystem::path& entry) const;

    PackageSearch search_;
    std::filesystem::path baseFolder_;
    PackageCrawlLimits limits_;
    mutable std::map<std::string, PackageLookup> packages_;
    mutable std::map<std::filesystem::path, CrawledEntry> crawledEntries_;
    mutable std::map<std::string, MeshLocation, std::less<>> located_;
    // Each URI's file, by the key of what it resolves to (see file()).
    mutable std::map<std::string, std::string, std::less<>> fileKeys_;
    mutable std::map<std::string, MeshFile> filesByKey_;
};

}  // namespace corvane::tools
