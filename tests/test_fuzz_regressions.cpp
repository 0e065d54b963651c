// Inputs the fuzz targets found problems with, kept in tests/data/fuzz-regressions/ and checked
// the way the fuzzers check every input: the plugin answers twice alike without exception, prints
// well-formed host text, and the nesting guard counts at least as deep as the XML parser nests.
#include <gtest/gtest.h>

#include <algorithm>
#include <corvane/Render.hpp>
#include <filesystem>
#include <string>
#include <vector>

#include "HostTextShape.hpp"
#include "NestingGuard.hpp"
#include "ParserShape.hpp"
#include "TestSupport.hpp"

using namespace corvane::testing;
namespace Urdf = corvane::Plugins::Urdf;

namespace {

std::vector<std::filesystem::path> regressionInputs() {
    std::vector<std::filesystem::path> files;
    const auto folder = std::filesystem::path(CORVANE_SOURCE_DIR) / "tests/data/fuzz-regressions";
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.is_regular_file() && entry.path().filename() != "README.md") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

TEST(FuzzRegressions, FolderHoldsInputs) {
    EXPECT_FALSE(regressionInputs().empty());
}

TEST(FuzzRegressions, PluginAnswersTwiceAlikeWithWellFormedText) {
    for (const auto& path : regressionInputs()) {
        SCOPED_TRACE(path.filename().string());
        const std::string text = readFile(path);
        LogCapture log;
        Urdf::UrdfPlugin plugin;
        corvane::ErrorReporter reporter;
        const auto import = std::make_shared<corvane::Import>();
        corvane::DocumentPtr first;
        corvane::DocumentPtr second;
        EXPECT_NO_THROW(first = plugin.parse(text, import, reporter));
        EXPECT_NO_THROW(second = plugin.parse(text, import, reporter));
        EXPECT_EQ(static_cast<bool>(first), static_cast<bool>(second));
        EXPECT_TRUE(reporter.errors().empty());
        if (!first || !second) continue;
        const std::string hostText = corvane::Render::toHostText(*first);
        EXPECT_EQ(hostText, corvane::Render::toHostText(*second));
        const auto model = modelOf(first);
        ASSERT_TRUE(model);
        EXPECT_EQ(hostTextProblem(hostText, model->name().lexeme), "");
    }
}

TEST(FuzzRegressions, GuardCountsAtLeastWhatTheParserReads) {
    for (const auto& path : regressionInputs()) {
        SCOPED_TRACE(path.filename().string());
        const std::string input = Urdf::parserInput(readFile(path));
        const Urdf::DocumentShape guarded = Urdf::measureDocument(std::string_view(input.c_str()));
        if (guarded.depth > Urdf::kMaxElementDepth) continue;
        const Urdf::DocumentShape parsed = parsedShape(input);
        EXPECT_GE(guarded.depth, parsed.depth);
        EXPECT_GE(guarded.linkElements, parsed.linkElements);
    }
}
