// The tool's folders depend on each other one way only: support <- model <- checks, graph, page
// <- session <- serve <- cli <- main. A source that includes a header of a folder that may not be
// used from its own folder turns the arrows round; these tests read every source of tools/ and name
// such includes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "TestSupport.hpp"

namespace fs = std::filesystem;

namespace {

const fs::path toolsFolder = fs::path(CORVANE_SOURCE_DIR) / "tools";

// The folders each folder may include from, besides its own.
const std::map<std::string, std::set<std::string>>& allowedIncludes() {
    static const std::map<std::string, std::set<std::string>> allowed{
        {"support", {}},
        {"model", {"support"}},
        {"checks", {"support", "model"}},
        {"graph", {"support", "model"}},
        {"page", {"support", "model"}},
        {"session", {"support", "model", "checks", "page"}},
        {"jsonrpc", {}},
        {"lsp", {"support", "model", "checks", "page", "session", "jsonrpc"}},
        {"serve", {"support", "model", "page", "session"}},
        {"cli", {"support", "model", "checks", "graph", "page", "session", "serve", "lsp"}},
        // main.cpp
        {"", {"support", "model", "checks", "graph", "page", "session", "serve", "cli"}},
    };
    return allowed;
}

struct Include {
    std::string file;  // relative to tools/
    int line = 0;
    std::string folder;  // the folder of the included header
};

// The quoted includes of `file` that name a header of one of the tool's folders.
std::vector<Include> toolIncludes(const fs::path& file) {
    static const std::regex include(R"(^\s*#\s*include\s*"([a-z]+)/[^"]+")");
    std::vector<Include> includes;
    std::ifstream stream(file);
    std::string text;
    int number = 0;
    while (std::getline(stream, text)) {
        ++number;
        std::smatch match;
        if (std::regex_search(text, match, include) && allowedIncludes().count(match[1].str())) {
            includes.push_back({fs::relative(file, toolsFolder).string(), number, match[1].str()});
        }
    }
    return includes;
}

std::string folderOf(const fs::path& file) {
    const fs::path relative = fs::relative(file, toolsFolder);
    return std::distance(relative.begin(), relative.end()) > 1 ? relative.begin()->string() : "";
}

std::vector<fs::path> toolSources() {
    std::vector<fs::path> sources;
    for (const auto& entry : fs::recursive_directory_iterator(toolsFolder)) {
        const auto extension = entry.path().extension();
        if (entry.is_regular_file() && (extension == ".cpp" || extension == ".hpp")) {
            sources.push_back(entry.path());
        }
    }
    return sources;
}

TEST(ToolLayout, NoFolderIncludesOneThatDependsOnIt) {
    if (!fs::is_directory(toolsFolder)) GTEST_SKIP() << "no tools/ folder at " << toolsFolder;
    std::vector<std::string> wrongWay;
    std::size_t checked = 0;
    for (const auto& source : toolSources()) {
        const std::string folder = folderOf(source);
        const auto allowed = allowedIncludes().find(folder);
        ASSERT_NE(allowed, allowedIncludes().end())
            << source << " lies in tools/" << folder << ", which is no folder of the tool's layout";
        for (const auto& include : toolIncludes(source)) {
            ++checked;
            if (include.folder == folder || allowed->second.count(include.folder)) continue;
            wrongWay.push_back(include.file + ":" + std::to_string(include.line) +
                               " includes from " + include.folder + "/");
        }
    }
    EXPECT_GT(checked, 50u) << "the includes were not found; has the include style changed?";
    EXPECT_TRUE(wrongWay.empty()) << ::testing::PrintToString(wrongWay);
}

// Every source of the tool sits in one of the folders; main.cpp alone at the top.
TEST(ToolLayout, EverySourceLivesInAFolder) {
    if (!fs::is_directory(toolsFolder)) GTEST_SKIP() << "no tools/ folder at " << toolsFolder;
    std::vector<std::string> loose;
    for (const auto& source : toolSources()) {
        if (folderOf(source).empty() && source.filename() != "main.cpp") {
            loose.push_back(source.filename().string());
        }
    }
    EXPECT_TRUE(loose.empty()) << ::testing::PrintToString(loose);
}

}  // namespace
