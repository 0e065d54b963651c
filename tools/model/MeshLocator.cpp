#include "model/MeshLocator.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <tinyxml.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <queue>
#include <set>
#include <system_error>

#include "support/Files.hpp"
#include "support/ToolError.hpp"
#include "support/VisibleText.hpp"

namespace corvane::tools {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view packageScheme = "package://";
constexpr std::string_view fileScheme = "file://";
// A package.xml larger than this is no manifest anyone wrote; it is not read.
constexpr off_t maxManifestBytes = 1 << 20;
// Folders that colcon and catkin leave out of their package search, and so does this one.
constexpr const char* ignoreMarkers[] = {"CATKIN_IGNORE", "COLCON_IGNORE", "AMENT_IGNORE"};

// Opens `path` for reading without blocking: should it have become a FIFO since it was looked
// at, opening it does not wait for a writer.
Descriptor openForReading(const fs::path& path) {
    return Descriptor{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
}

bool isFolder(const fs::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool anythingAt(const fs::path& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

// The contents of a regular file of at most `maxBytes`; nothing for anything else, so that a
// FIFO or a device is never opened.
std::optional<std::string> readSmallRegularFile(const fs::path& path, off_t maxBytes) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    if (status.st_size > maxBytes) return std::nullopt;
    const Descriptor file = openForReading(path);
    if (!file.isOpen()) return std::nullopt;
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    std::string contents;
    char buffer[8192];
    while (contents.size() <= static_cast<std::size_t>(maxBytes)) {
        const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return std::nullopt;
        if (count == 0) return contents;
        contents.append(buffer, static_cast<std::size_t>(count));
    }
    return std::nullopt;
}

std::string trimmed(std::string_view text) {
    constexpr std::string_view blanks = " \t\r\n";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(blanks);
    return std::string(text.substr(first, last - first + 1));
}

// The <name> of the package whose manifest `manifest` is; nothing when it is no readable
// package.xml.
std::optional<std::string> manifestPackageName(const fs::path& manifest) {
    const auto text = readSmallRegularFile(manifest, maxManifestBytes);
    if (!text) return std::nullopt;
    TiXmlDocument document;
    document.Parse(text->c_str());
    if (document.Error()) return std::nullopt;
    const TiXmlElement* package = document.RootElement();
    if (package == nullptr || package->ValueStr() != "package") return std::nullopt;
    const TiXmlElement* name = package->FirstChildElement("name");
    if (name == nullptr || name->GetText() == nullptr) return std::nullopt;
    std::string packageName = trimmed(name->GetText());
    if (packageName.empty()) return std::nullopt;
    return packageName;
}

bool hasIgnoreMarker(const fs::path& folder) {
    return std::any_of(std::begin(ignoreMarkers), std::end(ignoreMarkers),
                       [&](const char* marker) { return anythingAt(folder / marker); });
}

// The folders directly inside `folder` (symbolic links to folders included), hidden ones left
// out, sorted by name so that the search is the same on every file system. A folder that cannot
// be listed has none.
std::vector<fs::path> subfolders(const fs::path& folder) {
    std::vector<fs::path> folders;
    std::error_code error;
    for (fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
         !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code kindError;
        if (name.starts_with('.') || !it->is_directory(kindError)) continue;
        folders.push_back(it->path());
    }
    std::sort(folders.begin(), folders.end());
    return folders;
}

std::vector<fs::path> splitPathList(const char* value) {
    std::vector<fs::path> entries;
    if (value == nullptr) return entries;
    std::string_view rest = value;
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const std::string_view entry = rest.substr(0, colon);
        if (!entry.empty()) entries.emplace_back(entry);
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    return entries;
}

// The position of the '=' of a NAME=DIR value, or npos for a search folder.
std::size_t mappingSeparator(const std::string& value) {
    const auto equals = value.find('=');
    if (equals == std::string::npos) return std::string::npos;
    return value.find('/') < equals ? std::string::npos : equals;
}

// A URI scheme such as "model://" other than the two this locator knows; empty when there is none.
std::string_view otherScheme(std::string_view uri) {
    const auto end = uri.find("://");
    if (end == std::string_view::npos || end == 0) return {};
    const std::string_view scheme = uri.substr(0, end);
    const auto isSchemeCharacter = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '+' || c == '-' || c == '.';
    };
    if (std::isalpha(static_cast<unsigned char>(scheme.front())) == 0 ||
        !std::all_of(scheme.begin(), scheme.end(), isSchemeCharacter)) {
        return {};
    }
    return uri.substr(0, end + 3);
}

std::string fileKindName(mode_t mode) {
    if (S_ISDIR(mode)) return "folder";
    if (S_ISCHR(mode)) return "character device";
    if (S_ISBLK(mode)) return "block device";
    if (S_ISFIFO(mode)) return "FIFO";
    if (S_ISSOCK(mode)) return "socket";
    return "special file";
}

// Records that `link`, a symbolic link, points nowhere.
void markDangling(MeshLocation& location, const fs::path& link) {
    std::error_code error;
    const fs::path target = fs::read_symlink(link, error);
    location.problem = MeshProblem::NotFound;
    location.danglingLink = link;
    location.detail = "not found: " + link.string() + " is a symbolic link to " +
                      singleQuoted(target.string()) + ", which does not exist";
}

// Looks at the file a URI names: found when it is a regular file with contents that can be
// opened for reading. Only a regular file is ever opened.
void examineFile(MeshLocation& location, const fs::path& path) {
    location.tried.push_back(path.string());
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            struct stat linkStatus {};
            if (::lstat(path.c_str(), &linkStatus) == 0 && S_ISLNK(linkStatus.st_mode)) {
                markDangling(location, path);
            } else {
                location.problem = MeshProblem::NotFound;
            }
            return;
        }
        location.file = path;
        location.problem = MeshProblem::Unreadable;
        location.detail = errorText(error);
        return;
    }
    location.file = path;
    if (!S_ISREG(status.st_mode)) {
        location.problem = MeshProblem::NotARegularFile;
        location.detail = fileKindName(status.st_mode);
        return;
    }
    if (status.st_size == 0) {
        location.problem = MeshProblem::Empty;
        return;
    }
    const Descriptor file = openForReading(path);
    if (!file.isOpen()) {
        location.problem = MeshProblem::Unreadable;
        location.detail = errorText(errno);
        return;
    }
    location.problem = MeshProblem::None;
}

MeshLocation badUri(std::string_view uri, std::string fault) {
    MeshLocation location;
    location.uri = std::string(uri);
    location.problem = MeshProblem::BadUri;
    location.detail = std::move(fault);
    return location;
}

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const auto& item : items) {
        if (!text.empty()) text += ", ";
        text += item;
    }
    return text;
}

// Files are told apart by what they resolve to, so two URIs of one file share it; a URI that
// resolves to nothing is its own key.
std::string fileKeyOf(const MeshLocation& location) {
    if (!location.file) return "uri:" + location.uri;
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(*location.file, error);
    return "file:" + (error ? *location.file : canonical).string();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// PackageSearch

PackageSearch PackageSearch::fromCommandLineAndEnvironment(
    const std::vector<std::string>& packagePathOptions) {
    return fromOptionsAndVariables(packagePathOptions, std::getenv("ROS_PACKAGE_PATH"),
                                   std::getenv("AMENT_PREFIX_PATH"));
}

PackageSearch PackageSearch::fromOptionsAndVariables(
    const std::vector<std::string>& packagePathOptions, const char* rosPackagePath,
    const char* amentPrefixPath) {
    PackageSearch search;
    for (const auto& value : packagePathOptions) {
        const std::string problem = packagePathProblem(value);
        if (!problem.empty()) {
            throw ToolError(ExitStatus::UsageOrIo, "--package-path: " + problem);
        }
        const auto equals = mappingSeparator(value);
        if (equals == std::string::npos) {
            search.packagePaths.emplace_back(value);
        } else {
            search.packageMappings.emplace_back(value.substr(0, equals), value.substr(equals + 1));
        }
    }
    search.rosPackagePath = splitPathList(rosPackagePath);
    search.amentPrefixPath = splitPathList(amentPrefixPath);
    return search;
}

std::string PackageSearch::packagePathProblem(const std::string& value) {
    if (value.empty()) return "empty folder";
    const auto equals = mappingSeparator(value);
    if (equals == std::string::npos) return {};
    if (equals == 0) return "empty package name in " + singleQuoted(value) + " (NAME=DIR)";
    if (equals + 1 == value.size()) return "empty folder in " + singleQuoted(value) + " (NAME=DIR)";
    return {};
}

bool PackageSearch::empty() const {
    return packageMappings.empty() && packagePaths.empty() && rosPackagePath.empty() &&
           amentPrefixPath.empty();
}

// ---------------------------------------------------------------------------------------------
// MeshLocation

std::string MeshLocation::reason() const {
    switch (problem) {
        case MeshProblem::None:
            return "found";
        case MeshProblem::NotFound: {
            std::string text = detail.empty() ? "not found" : detail;
            if (!tried.empty()) text += "; tried: " + joined(tried);
            return text;
        }
        case MeshProblem::NotARegularFile:
            return detail == "folder" ? "is a folder" : "is not a regular file (a " + detail + ")";
        case MeshProblem::Empty:
            return "is empty";
        case MeshProblem::Unreadable:
            return "cannot be read: " + detail;
        case MeshProblem::BadUri:
            return detail;
    }
    return detail;
}

std::string MeshLocation::message() const {
    std::string text = "mesh " + singleQuoted(uri);
    if (file && file->string() != uri) text += " (" + file->string() + ")";
    return text + ": " + reason();
}

// ---------------------------------------------------------------------------------------------
// MeshFile

MeshFile::MeshFile(const MeshLocation& location)
    : format_(meshFormatOf(location.file ? *location.file : fs::path(location.uri))) {
    if (!location.found()) {
        problem_ = location.reason();
    } else if (format_ == MeshFormat::Unknown) {
        problem_ = "is no STL, OBJ or Collada file (by its extension)";
    } else if (auto bytes = readWholeFileIfReadable(*location.file)) {
        bytes_ = std::move(bytes);
    } else {
        problem_ = "cannot be read";
    }
}

const MeshMeasure* MeshFile::measure() const {
    if (!bytes_) return nullptr;
    if (!measure_) measure_ = measureMesh(*bytes_, format_);
    return &*measure_;
}

// ---------------------------------------------------------------------------------------------
// MeshLocator

MeshLocator::MeshLocator(PackageSearch search, fs::path baseFolder, PackageCrawlLimits limits)
    : search_(std::move(search)), baseFolder_(std::move(baseFolder)), limits_(limits) {}

const MeshLocation& MeshLocator::locate(std::string_view uri) const {
    if (const auto known = located_.find(uri); known != located_.end()) return known->second;
    return located_.emplace(std::string(uri), lookUp(uri)).first->second;
}

const MeshFile& MeshLocator::file(std::string_view uri) const {
    auto known = fileKeys_.find(uri);
    if (known == fileKeys_.end()) {
        known = fileKeys_.emplace(std::string(uri), fileKeyOf(locate(uri))).first;
    }
    return filesByKey_.try_emplace(known->second, locate(uri)).first->second;
}

MeshLocation MeshLocator::lookUp(std::string_view uri) const {
    if (uri.empty()) return badUri(uri, "the mesh file name is empty");
    if (uri.starts_with(packageScheme)) {
        return locatePackageUri(uri, uri.substr(packageScheme.size()));
    }
    fs::path path;
    if (uri.starts_with(fileScheme)) {
        path = uri.substr(fileScheme.size());
        if (path.empty()) return badUri(uri, "names no file after file://");
    } else if (const auto scheme = otherScheme(uri); !scheme.empty()) {
        return badUri(uri, "the scheme " + std::string(scheme) +
                               " is not supported (package://, file:// and paths are)");
    } else {
        path = uri;
    }
    MeshLocation location;
    location.uri = std::string(uri);
    examineFile(location, path.is_absolute() ? path : baseFolder_ / path);
    return location;
}

MeshLocation MeshLocator::locatePackageUri(std::string_view uri, std::string_view rest) const {
    const auto slash = rest.find('/');
    const std::string name(rest.substr(0, slash));
    if (name.empty()) return badUri(uri, "package name is empty");
    std::string_view inPackage = slash == std::string_view::npos ? "" : rest.substr(slash + 1);
    // package://name//meshes/a.stl still names a file inside the package, not /meshes/a.stl.
    while (inPackage.starts_with('/')) inPackage.remove_prefix(1);
    if (inPackage.empty()) return badUri(uri, "names no file inside package " + singleQuoted(name));

    const PackageLookup& package = findPackage(name);
    MeshLocation location;
    location.uri = std::string(uri);
    location.tried = package.tried;
    if (!package.folder) {
        location.problem = MeshProblem::NotFound;
        location.detail = "package " + singleQuoted(name) + " not found";
        if (search_.empty()) {
            location.detail +=
                ": no search path is given (--package-path, ROS_PACKAGE_PATH, AMENT_PREFIX_PATH)";
        }
        return location;
    }
    examineFile(location, *package.folder / inPackage);
    return location;
}

// The first package of that name: a mapping, then the search-path entries of the command line
// and of ROS_PACKAGE_PATH, then the share folders of AMENT_PREFIX_PATH. Like ROS, the search
// ends at the first package found, whether or not it holds the file.
std::optional<std::filesystem::path> MeshLocator::packageFolder(const std::string& name) const {
    return findPackage(name).folder;
}

const MeshLocator::PackageLookup& MeshLocator::findPackage(const std::string& name) const {
    if (const auto known = packages_.find(name); known != packages_.end()) return known->second;
    PackageLookup& lookup = packages_[name];
    for (const auto& [mappedName, folder] : search_.packageMappings) {
        if (mappedName == name) {
            lookup.folder = folder;
            return lookup;
        }
    }
    for (const auto* entries : {&search_.packagePaths, &search_.rosPackagePath}) {
        for (const auto& entry : *entries) {
            if (findInSearchEntry(entry, name, lookup)) return lookup;
        }
    }
    for (const auto& prefix : search_.amentPrefixPath) {
        const fs::path share = prefix / "share" / name;
        lookup.tried.push_back(share.string());
        if (isFolder(share)) {
            lookup.folder = share;
            return lookup;
        }
    }
    return lookup;
}

// A package in a search-path entry is the folder NAME directly inside it, or else a folder in it
// (the entry itself included) whose package.xml names it.
bool MeshLocator::findInSearchEntry(const fs::path& entry, const std::string& name,
                                    PackageLookup& lookup) const {
    if (!isFolder(entry)) {
        lookup.tried.push_back(entry.string() + " (not a folder)");
        return false;
    }
    const fs::path direct = entry / name;
    lookup.tried.push_back(direct.string());
    if (isFolder(direct)) {
        lookup.folder = direct;
        return true;
    }
    const CrawledEntry& crawled = crawl(entry);
    std::string place = (entry / "**" / "package.xml").string();
    if (crawled.truncated) {
        place += " (search stopped after " + std::to_string(limits_.maxFolders) + " folders)";
    }
    lookup.tried.push_back(std::move(place));
    const auto found = crawled.packages.find(name);
    if (found == crawled.packages.end()) return false;
    lookup.folder = found->second;
    return true;
}

// Walks the entry breadth first, to limits_.maxDepth below it and over at most
// limits_.maxFolders folders, for package.xml files. A package's folder is not entered (packages
// do not nest), nor is a folder seen before through another symbolic link, so a link back up
// the tree ends the walk there. The first package of a name, the shallowest, wins.
const MeshLocator::CrawledEntry& MeshLocator::crawl(const fs::path& entry) const {
    if (const auto known = crawledEntries_.find(entry); known != crawledEntries_.end()) {
        return known->second;
    }
    CrawledEntry& crawled = crawledEntries_[entry];
    std::set<std::pair<dev_t, ino_t>> visited;
    std::queue<std::pair<fs::path, int>> pending;
    pending.emplace(entry, 0);
    std::size_t listed = 0;
    while (!pending.empty()) {
        const auto [folder, depth] = std::move(pending.front());
        pending.pop();
        struct stat status {};
        if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) continue;
        if (!visited.emplace(status.st_dev, status.st_ino).second) continue;
        if (listed == limits_.maxFolders) {
            crawled.truncated = true;
            break;
        }
        ++listed;
        if (hasIgnoreMarker(folder)) continue;
        if (const auto name = manifestPackageName(folder / "package.xml")) {
            crawled.packages.emplace(*name, folder);
            continue;
        }
        if (depth == limits_.maxDepth) continue;
        for (auto& subfolder : subfolders(folder)) pending.emplace(std::move(subfolder), depth + 1);
    }
    return crawled;
}

}  // namespace corvane::tools
