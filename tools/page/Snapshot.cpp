#include "page/Snapshot.hpp"

#include <stdlib.h>

#include <filesystem>
#include <system_error>
#include <vector>

#include "support/ChildProcess.hpp"
#include "support/Files.hpp"
#include "support/Output.hpp"
#include "support/ToolError.hpp"

namespace corvane::tools {

namespace fs = std::filesystem;

namespace {

constexpr const char* chromiumProgram = "chromium";

ToolError snapshotError(const std::string& cause) {
    return ToolError(ExitStatus::UsageOrIo, "cannot draw snapshot: " + cause);
}

// A fresh private folder for the page, the screenshot and Chromium's profile, removed with all
// it holds when it goes.
class TemporaryFolder {
  public:
    TemporaryFolder() {
        std::string pattern = (fs::temp_directory_path() / "corvane-snapshot.XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw snapshotError("cannot make a temporary folder: " + errorText(errno));
        }
        path_ = pattern;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

// A file: URL of an absolute path, every byte outside the unreserved set percent-encoded.
std::string fileUrl(const fs::path& path) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const unsigned char c : path.string()) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '/' || c == '-' || c == '_' || c == '.' ||
                           c == '~';
        if (plain) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

std::vector<std::string> chromiumArguments(const fs::path& folder,
                                           const SnapshotSettings& settings) {
    return {
        chromiumProgram,
        "--headless",
        "--no-sandbox",
        "--enable-unsafe-swiftshader",
        "--use-angle=swiftshader",
        "--disable-background-networking",
        "--disable-component-update",
        "--disable-sync",
        "--disable-extensions",
        "--disable-default-apps",
        "--no-first-run",
        "--no-default-browser-check",
        "--hide-scrollbars",
        "--mute-audio",
        "--user-data-dir=" + (folder / "profile").string(),
        "--window-size=" + std::to_string(settings.width) + "," + std::to_string(settings.height),
        "--virtual-time-budget=" + std::to_string(settings.pageTime.count()),
        "--screenshot=" + (folder / "snapshot.png").string(),
        fileUrl(folder / "page.html")};
}

std::string failureCause(const ProgramRun& run, const SnapshotSettings& settings) {
    if (run.timedOut) {
        return "Chromium did not finish within " + std::to_string(settings.timeout.count() / 1000) +
               " s and was stopped";
    }
    return failureCause(run, "Chromium", ErrorLine::Last);
}

std::string readScreenshot(const fs::path& file) {
    auto png = readWholeFileIfReadable(file);
    if (!png) throw snapshotError("Chromium took no screenshot");
    if (png->empty()) throw snapshotError("Chromium took an empty screenshot");
    return std::move(*png);
}

}  // namespace

std::string snapshotOfPage(std::string_view html, const SnapshotSettings& settings) {
    const TemporaryFolder folder;
    try {
        writeOutput(html, folder.path() / "page.html");
    } catch (const ToolError& error) {
        throw snapshotError(error.what());
    }
    ProgramRun run;
    try {
        run = runProgram(chromiumArguments(folder.path(), settings), {}, settings.timeout);
    } catch (const std::system_error& error) {
        if (error.code() == std::errc::no_such_file_or_directory) {
            throw snapshotError("Chromium not found in PATH (install the chromium package)");
        }
        throw snapshotError(std::string("cannot run Chromium: ") + error.what());
    }
    if (run.timedOut || !run.succeeded()) throw snapshotError(failureCause(run, settings));
    return readScreenshot(folder.path() / "snapshot.png");
}

}  // namespace corvane::tools
