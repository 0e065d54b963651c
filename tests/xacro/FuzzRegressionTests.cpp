// Inputs the xacro fuzz targets found problems with, kept in tests/data/fuzz-regressions/, one
// folder per target, and checked the way the fuzzers check every input.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "XacroFuzzChecks.hpp"

namespace corvane::testing {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> inputsOf(const std::string& fuzzer) {
    std::vector<fs::path> files;
    const fs::path folder = fs::path(CORVANE_SOURCE_DIR) / "tests/data/fuzz-regressions" / fuzzer;
    if (!fs::is_directory(folder)) return files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::string contentOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return std::move(text).str();
}

TEST(XacroFuzzRegressions, FoldersHoldInputs) {
    EXPECT_FALSE(inputsOf("xacro_expression_fuzzer").empty());
    EXPECT_FALSE(inputsOf("xacro_expander_fuzzer").empty());
}

TEST(XacroFuzzRegressions, ExpressionsEvaluateOrAreRefused) {
    for (const auto& file : inputsOf("xacro_expression_fuzzer")) {
        SCOPED_TRACE(file.filename().string());
        EXPECT_EQ(expressionProblem(contentOf(file)), "");
    }
}

TEST(XacroFuzzRegressions, DocumentsExpandOrAreRefused) {
    const XacroFuzzPackage package;
    for (const auto& file : inputsOf("xacro_expander_fuzzer")) {
        SCOPED_TRACE(file.filename().string());
        EXPECT_EQ(package.expansionProblem(contentOf(file)), "");
    }
}

}  // namespace
}  // namespace corvane::testing
