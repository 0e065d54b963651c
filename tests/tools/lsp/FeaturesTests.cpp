// Hover, definitions, references, the outline and completion over a small robot of two files,
// one of them open with unsaved text.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "lsp/Documents.hpp"
#include "lsp/Features.hpp"

namespace {

using namespace corvane::tools;
using namespace corvane::tools::lsp;
namespace fs = std::filesystem;

// clang-format off
const std::string topText = R"xml(<?xml version="1.0"?>
<robot name="r" xmlns:xacro="http://www.ros.org/wiki/xacro">
  <xacro:include filename="$(dirname)/arm.xacro"/>
  <xacro:arg name="side" default="left"/>
  <link name="base"/>
  <xacro:arm prefix="$(arg side)" parent="base"/>
  <joint name="fixed_j" type="fixed">
    <parent link="base"/><child link="${wheel}"/>
    <mimic joint="fixed_j"/>
  </joint>
  <link name="${wheel}"/>
  <xacro:arm parent="base" />
</robot>
)xml";
const std::string armText = R"xml(<robot xmlns:xacro="http://www.ros.org/wiki/xacro">
  <xacro:property name="wheel" value="wheel_link"/>
  <xacro:macro name="arm" params="prefix parent:=base *origin">
    <link name="${prefix}_arm"><inertial><mass value="1"/></inertial></link>
  </xacro:macro>
</robot>
)xml";
// clang-format on

class Features : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("corvane-lsp-features-" + std::to_string(getpid()));
        fs::create_directories(folder_);
        top_ = fileKey(folder_ / "top.urdf.xacro");
        arm_ = fileKey(folder_ / "arm.xacro");
        std::ofstream(top_) << "<robot/>";  // on the disk; the open text stands in for it
        std::ofstream(arm_) << armText;
        documents_.open(uriOfPath(top_), topText, 1);
    }
    void TearDown() override { fs::remove_all(folder_); }

    // The answer of `feature` at the first `mark` in the top file, `shift` bytes into it.
    template <typename Feature>
    Json at(const std::string& mark, std::size_t shift, Feature feature) {
        const RobotFiles files(documents_, {arm_});
        const MeshLocator meshes(PackageSearch{}, folder_);
        const FeatureContext context{files, *files.find(top_), meshes, shown_, {}};
        const auto offset = topText.find(mark);
        EXPECT_NE(offset, std::string::npos) << mark;
        return feature(context, offset + shift);
    }

    Json definitionAt(const std::string& mark, std::size_t shift = 1) {
        return at(mark, shift,
                  [](const FeatureContext& c, std::size_t o) { return definition(c, o); });
    }
    std::string hoverAt(const std::string& mark, std::size_t shift = 1) {
        const Json answer =
            at(mark, shift, [](const FeatureContext& c, std::size_t o) { return hover(c, o); });
        return answer.is_null() ? "" : answer["contents"]["value"].get<std::string>();
    }
    std::vector<std::string> completionAt(const std::string& mark, std::size_t shift) {
        const Json items = at(
            mark, shift, [](const FeatureContext& c, std::size_t o) { return completion(c, o); });
        std::vector<std::string> labels;
        for (const auto& item : items) labels.push_back(item["label"]);
        return labels;
    }

    fs::path folder_, top_, arm_;
    Documents documents_;
    std::vector<ShownRule> shown_;
};

bool contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

struct Target {
    fs::path file;
    int line;
};

Target targetOf(const Json& locations) {
    if (!locations.is_array() || locations.empty()) return {{}, -1};
    const auto path = pathOfUri(locations[0]["uri"].get<std::string>());
    return {path.value_or(fs::path()), locations[0]["range"]["start"]["line"].get<int>()};
}

TEST_F(Features, DefinitionLeadsToWhatANameNames) {
    const struct {
        std::string mark;
        bool inArm;
        int line;
    } cases[] = {
        {"xacro:arm prefix", true, 2},        // the macro call to <xacro:macro>
        {"side)", false, 3},                  // $(arg side) to <xacro:arg>
        {"wheel}\"/>\n    <mimic", true, 1},  // ${wheel} to <xacro:property>
        {"base\"/><child", false, 4},         // <parent link> to <link>
        {"fixed_j\"/>", false, 6},            // <mimic joint> to <joint>
    };
    for (const auto& c : cases) {
        const Target target = targetOf(definitionAt(c.mark, c.mark == "xacro:arm prefix" ? 7 : 1));
        EXPECT_EQ(target.file, c.inArm ? arm_ : top_) << c.mark;
        EXPECT_EQ(target.line, c.line) << c.mark;
    }
    // An include's filename leads to the file, $(dirname) resolved.
    EXPECT_EQ(targetOf(definitionAt("arm.xacro")).file, arm_);
    EXPECT_TRUE(definitionAt("robot name").empty());
}

TEST_F(Features, HoverTellsWhatIsThere) {
    const std::string macro = hoverAt("xacro:arm prefix", 7);
    EXPECT_NE(macro.find("**macro** `arm`"), std::string::npos) << macro;
    EXPECT_NE(macro.find("| `parent` | `base` |"), std::string::npos) << macro;
    EXPECT_NE(macro.find("| `prefix` | (required) |"), std::string::npos) << macro;
    EXPECT_NE(macro.find("arm.xacro:3"), std::string::npos) << macro;
    const std::string property = hoverAt("wheel}\"/>\n    <mimic");
    EXPECT_NE(property.find("**property** `wheel` = `wheel_link`"), std::string::npos) << property;
    EXPECT_NE(hoverAt("joint name").find("how the child link moves"), std::string::npos);
    EXPECT_NE(hoverAt("type=\"fixed\"").find("`type` of `<joint>`, read by urdfdom"),
              std::string::npos);
    EXPECT_EQ(hoverAt("\n", 0), "");
}

// A diagnostic's rule is explained on hover anywhere in its element's start tag.
TEST_F(Features, HoverExplainsTheRuleOfADiagnostic) {
    shown_.push_back({4, "mass-negative"});
    const std::string text = hoverAt("link name=\"base\"", 1);
    EXPECT_NE(text.find("**mass-negative**"), std::string::npos) << text;
    EXPECT_NE(text.find("negative mass"), std::string::npos) << text;
}

TEST_F(Features, ReferencesCrossTheFiles) {
    const Json found = at("wheel}\"/>\n    <mimic", 1, [](const FeatureContext& c, std::size_t o) {
        return references(c, o, true);
    });
    int inTop = 0, inArm = 0;
    for (const auto& location : found) {
        (pathOfUri(location["uri"].get<std::string>()) == arm_ ? inArm : inTop) += 1;
    }
    EXPECT_EQ(inTop, 2);  // <child link="${wheel}"/> and <link name="${wheel}"/>
    EXPECT_EQ(inArm, 1);  // the definition
}

TEST_F(Features, OutlineListsWhatTheFileDefines) {
    const RobotFile arm(arm_, armText);
    const Json symbols = documentSymbols(arm);
    ASSERT_EQ(symbols.size(), 2u);  // ${prefix}_arm is made by the macro, not written out
    EXPECT_EQ(symbols[0]["name"], "wheel");
    EXPECT_EQ(symbols[1]["name"], "arm");
    EXPECT_EQ(symbols[1]["selectionRange"]["start"]["line"], 2);
}

TEST_F(Features, CompletionOffersWhatFitsTheCursor) {
    // An element in a joint: what urdfdom reads there, xacro's elements and the macros.
    const auto inJoint = completionAt("<mimic", 1);
    EXPECT_TRUE(contains(inJoint, "axis"));
    EXPECT_TRUE(contains(inJoint, "limit"));
    EXPECT_FALSE(contains(inJoint, "inertial"));
    EXPECT_TRUE(contains(inJoint, "xacro:if"));
    EXPECT_TRUE(contains(inJoint, "xacro:arm"));
    // Attributes of a joint not yet written, and the parameters of a macro.
    const auto joint = completionAt("type=\"fixed\"", 0);
    EXPECT_EQ(joint, std::vector<std::string>{});  // name and type are both written
    EXPECT_EQ(completionAt("parent=\"base\" />", 15), std::vector<std::string>{"prefix"});
    // After ${: the properties.
    EXPECT_EQ(completionAt("${wheel}\"/>\n    <mimic", 3), std::vector<std::string>{"wheel"});
}

TEST(Documents, TellsRobotsFromIncludedFiles) {
    EXPECT_TRUE(isTopRobot(topText));
    EXPECT_FALSE(isTopRobot(armText));
    EXPECT_FALSE(isTopRobot("<launch><node/></launch>"));
    EXPECT_TRUE(isRobotDescription("/x/a.xml", armText));
    EXPECT_FALSE(isRobotDescription("/x/a.xml", "<launch/>"));
    EXPECT_TRUE(isRobotDescription("/x/a.urdf", ""));
    EXPECT_EQ(pathOfUri("file:///tmp/a%20b/c.urdf"), fs::path("/tmp/a b/c.urdf"));
    EXPECT_EQ(uriOfPath("/tmp/a b/c#+.urdf"), "file:///tmp/a%20b/c%23+.urdf");
    EXPECT_FALSE(pathOfUri("untitled:Untitled-1"));
}

}  // namespace
