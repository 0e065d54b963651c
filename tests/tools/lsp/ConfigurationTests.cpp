// The settings of the client, in any of the three places, and what is wrong with them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "lsp/Configuration.hpp"

namespace {

using namespace corvane::tools::lsp;
using nlohmann::json;
namespace fs = std::filesystem;

TEST(Configuration, ReadsPackagePathsAndRobotsRelativeToTheFolder) {
    Configuration configuration;
    addSettings(configuration, json::parse(R"({"packagePath": ["src", "arm=vendor/arm", "/opt/ros"],
                                "robots": [{"file": "r.urdf.xacro", "args": {"a": "1", "n": 2}}]})"),
                "/ws");
    EXPECT_EQ(configuration.packagePaths,
              (std::vector<std::string>{"/ws/src", "arm=/ws/vendor/arm", "/opt/ros"}));
    ASSERT_EQ(configuration.robots.size(), 1u);
    EXPECT_EQ(configuration.robots[0].file, fs::path("/ws/r.urdf.xacro"));
    EXPECT_EQ(configuration.robots[0].arguments,
              (corvane::tools::XacroArguments{{"a", "1"}, {"n", "2"}}));
    EXPECT_TRUE(configuration.problems.empty());
    // Named again, a robot takes its latest arguments; a nested object counts too.
    addSettings(configuration,
                json::parse(R"({"corvane-urdf": {"robots": [{"file": "/ws/r.urdf.xacro"}]}})"),
                "/elsewhere");
    ASSERT_EQ(configuration.robots.size(), 1u);
    EXPECT_TRUE(configuration.robots[0].arguments.empty());
}

TEST(Configuration, NamesWhatIsWrongAndGoesOn) {
    Configuration configuration;
    addSettings(configuration, json::parse(R"({"packagePath": ["ok", 3, "=nothing"],
                                "robots": [{"args": {}}, {"file": "b.urdf", "args": []}]})"),
                "/ws");
    EXPECT_EQ(configuration.packagePaths, std::vector<std::string>{"/ws/ok"});
    EXPECT_EQ(configuration.robots.size(), 1u);
    EXPECT_EQ(configuration.problems.size(), 4u)
        << ::testing::PrintToString(configuration.problems);
    addSettings(configuration, json::parse(R"({"packagePath": "QQQ", "robots": {}})"), "/ws");
    EXPECT_EQ(configuration.problems.size(), 6u);
    addSettings(configuration, json("just text"), "/ws");
    EXPECT_EQ(configuration.problems.size(), 6u);
}

TEST(Configuration, ReadsTheFolderFile) {
    const fs::path folder =
        fs::temp_directory_path() / ("corvane-lsp-config-" + std::to_string(getpid()));
    fs::create_directories(folder);
    Configuration configuration;
    addFolderSettings(configuration, folder);  // none there
    EXPECT_TRUE(configuration.problems.empty());
    std::ofstream(folder / "corvane-urdf.json") << R"({"packagePath": ["pkgs"]})";
    addFolderSettings(configuration, folder);
    std::ofstream(folder / "corvane-urdf.json") << "{QQQ";
    addFolderSettings(configuration, folder);
    fs::remove_all(folder);
    EXPECT_EQ(configuration.packagePaths,
              std::vector<std::string>{fs::weakly_canonical(folder).string() + "/pkgs"});
    ASSERT_EQ(configuration.problems.size(), 1u);
    EXPECT_NE(configuration.problems[0].find("corvane-urdf.json: no JSON"), std::string::npos);
}

}  // namespace
