// The plugin object as the host drives it: the document and model it returns, what it refuses,
// and what one import leaves (or must not leave) for the next.
#include <gtest/gtest.h>

#include <corvane/Builders.hpp>
#include <string>
#include <vector>

#include "TestSupport.hpp"

using namespace corvane;
using namespace corvane::testing;
using corvane::Plugins::Urdf::UrdfPlugin;

namespace {

DocumentPtr parseWith(UrdfPlugin& plugin, const std::string& urdf,
                      std::shared_ptr<Import> import = nullptr) {
    ErrorReporter reporter;
    auto document = plugin.parse(urdf, std::move(import), reporter);
    EXPECT_TRUE(reporter.errors().empty()) << "the plugin never reports through the host";
    return document;
}

std::vector<std::string> memberPaths(const ModelDeclaration& model) {
    std::vector<std::string> paths;
    for (const auto& node : assignments(model)) paths.push_back(targetPath(*node));
    return paths;
}

std::vector<std::string> lexemes(const std::vector<Token>& tokens) {
    std::vector<std::string> result;
    for (const auto& token : tokens) result.push_back(token.lexeme);
    return result;
}

// clang-format off
const std::string kTwoLinks = R"(
<robot name="two">
  <link name="base"><inertial><mass value="1"/><inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial></link>
  <link name="arm"><inertial><mass value="2"/><inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial></link>
  <joint name="j1" type="revolute"><parent link="base"/><child link="arm"/>
    <limit lower="-1" upper="1" effort="10" velocity="1"/></joint>
</robot>)";
// clang-format on

}  // namespace

TEST(PluginObject, ServesUrdfFilesAsSource) {
    const UrdfPlugin plugin;
    EXPECT_EQ(plugin.extensions(), std::vector<std::string>{".urdf"});
    EXPECT_TRUE(plugin.keyShouldBeSource());
}

// ---------------------------------------------------------------------------------------------
// Document and model declaration

TEST(ImportedDocument, HoldsOneRobotModelInADocumentNamedUrdf) {
    UrdfPlugin plugin;
    const auto document = parseWith(plugin, kTwoLinks);
    ASSERT_TRUE(document);
    EXPECT_EQ(document->name(), "urdf");
    ASSERT_EQ(document->nodes().size(), 1u);
    const auto model = document->nodes().front()->toModelDeclaration();
    ASSERT_TRUE(model);

    EXPECT_EQ(model->startToken(), Token::placeholder());
    EXPECT_EQ(model->name(), Token::identifier("two"));
    EXPECT_EQ(model->isToken(), Token::placeholder());
    EXPECT_EQ(model->type(),
              (std::vector<Token>{Token::identifier("Robotics"), Token::identifier("Robots"),
                                  Token::identifier("Robot")}));
    EXPECT_TRUE(model->annotations().empty());
    EXPECT_TRUE(model->traitImplementations().empty());
    EXPECT_TRUE(model->deletions().empty());
    // The document holds the very model the members were appended to.
    EXPECT_EQ(memberPaths(*model), (std::vector<std::string>{"arm", "base", "j1", "j1_range",
                                                             "j1_actuator", "j1.initial_angle"}));
}

TEST(ImportedDocument, ModelIsNamedAfterTheLastImportSegment) {
    UrdfPlugin plugin;
    const auto model =
        modelOf(parseWith(plugin, kTwoLinks, NodeBuilder::importStatement({"A", "B"})));
    ASSERT_TRUE(model);
    EXPECT_EQ(model->name(), Token::identifier("B"));
    EXPECT_EQ(lexemes(model->type()), (std::vector<std::string>{"Robotics", "Robots", "Robot"}));
}

TEST(ImportedDocument, ModelIsNamedAfterTheRobotWithoutImportSegments) {
    UrdfPlugin plugin;
    const auto withoutImport = modelOf(parseWith(plugin, kTwoLinks, nullptr));
    const auto withEmptyImport =
        modelOf(parseWith(plugin, kTwoLinks, NodeBuilder::importStatement({})));
    ASSERT_TRUE(withoutImport && withEmptyImport);
    EXPECT_EQ(withoutImport->name(), Token::identifier("two"));
    EXPECT_EQ(withEmptyImport->name(), Token::identifier("two"));
}

TEST(ImportedDocument, RobotNameWithDotsAndDashesStaysOneIdentifier) {
    UrdfPlugin plugin;
    const auto model =
        modelOf(parseWith(plugin, R"(<robot name="acme.arm-2"><link name="l"/></robot>)"));
    ASSERT_TRUE(model);
    EXPECT_EQ(model->name(), Token::identifier("acme.arm-2"));
}

// ---------------------------------------------------------------------------------------------
// Refused descriptions

TEST(RefusedDescription, GivesNoDocumentAndLogsNothing) {
    const LogCapture log;
    UrdfPlugin plugin;
    // clang-format off
    const std::vector<std::string> refused = {
        "",
        "<robot name='x'><link name='a'>",
        "<robt name='x'><link name='a'/></robt>",
        "<robot name='x'></robot>",
        "<robot name='x'><link name='a'/><link name='a'/></robot>",
        "<robot name='x'><link name='a'/><link name='b'/></robot>",
        R"(<robot name="x"><link name="a"/><link name="b"/>
             <joint name="j" type="QQQ"><parent link="a"/><child link="b"/></joint></robot>)",
        R"(<robot name="x"><link name="a"/>
             <joint name="j" type="fixed"><parent link="a"/><child link="nowhere"/></joint></robot>)",
    };
    // clang-format on
    for (const auto& text : refused) EXPECT_FALSE(parseWith(plugin, text)) << text;
    EXPECT_TRUE(log.entries().empty());
}

TEST(RefusedDescription, LeavesThePluginReadyForTheNextImport) {
    UrdfPlugin plugin;
    plugin.setPrecision(2);
    ASSERT_FALSE(parseWith(plugin, "<robot name='x'><link name='a'>"));
    const auto model = modelOf(parseWith(plugin, kTwoLinks));
    ASSERT_TRUE(model);
    EXPECT_EQ(memberPaths(*model).size(), 6u);
    const auto mass = findMember(*requireMember(*model, {"arm"}), {"inertia", "mass"});
    ASSERT_TRUE(mass);
    EXPECT_EQ(constantLexeme(*mass), "2.00");
}

// ---------------------------------------------------------------------------------------------
// Order and independence of imports

TEST(ImportOrder, BodiesComeInByteOrderOfLinkNames) {
    // clang-format off
    const std::string urdf = R"(
<robot name="r">
  <link name="a"/><link name="B"/><link name="_"/><link name="Z1"/><link name="é"/><link name="z"/>
  <joint name="j1" type="fixed"><parent link="a"/><child link="B"/></joint>
  <joint name="j2" type="fixed"><parent link="a"/><child link="_"/></joint>
  <joint name="j3" type="fixed"><parent link="a"/><child link="Z1"/></joint>
  <joint name="j4" type="fixed"><parent link="a"/><child link="é"/></joint>
  <joint name="j5" type="fixed"><parent link="a"/><child link="z"/></joint>
</robot>)";
    // clang-format on
    UrdfPlugin plugin;
    const auto model = modelOf(parseWith(plugin, urdf));
    ASSERT_TRUE(model);
    const auto paths = memberPaths(*model);
    ASSERT_GE(paths.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(paths.begin(), paths.begin() + 6),
              (std::vector<std::string>{"B", "Z1", "_", "a", "z", "é"}));
}

TEST(ImportOrder, JointsFollowTheirParentLinksInNameOrder) {
    // Parent links b and a: the joints of a come first even though b's joint is named first.
    // clang-format off
    const std::string urdf = R"(
<robot name="r">
  <link name="a"><inertial><mass value="1"/><inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial></link>
  <link name="b"><inertial><mass value="1"/><inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial></link>
  <link name="c"><inertial><mass value="1"/><inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial></link>
  <link name="d"><inertial><mass value="1"/><inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial></link>
  <joint name="k" type="continuous"><parent link="a"/><child link="b"/></joint>
  <joint name="a_to_d" type="continuous"><parent link="b"/><child link="d"/></joint>
  <joint name="m" type="continuous"><parent link="a"/><child link="c"/></joint>
</robot>)";
    // clang-format on
    UrdfPlugin plugin;
    const auto model = modelOf(parseWith(plugin, urdf));
    ASSERT_TRUE(model);
    EXPECT_EQ(memberPaths(*model),
              (std::vector<std::string>{"a", "b", "c", "d", "k", "m", "a_to_d"}));
}

TEST(ImportOrder, RobotWithoutJointsGivesOnlyBodies) {
    UrdfPlugin plugin;
    const auto model = modelOf(parseWith(
        plugin,
        R"(<robot name="r"><link name="solo"><visual><geometry><sphere radius="1"/></geometry></visual></link></robot>)"));
    ASSERT_TRUE(model);
    EXPECT_EQ(memberPaths(*model), std::vector<std::string>{"solo"});
    ASSERT_EQ(model->members().size(), 1u);
    EXPECT_EQ(requireMember(*model, {"solo"})->members().size(), 1u);
}

TEST(ImportOrder, TwoImportsOnOnePluginAreIndependent) {
    // The first robot has a link "wheel"; in the second, "wheel" is only a joint. Were the first
    // import's bodies still known, the joint would be renamed and connectors would land in the
    // first document.
    // clang-format off
    const std::string first = R"(
<robot name="first">
  <link name="wheel"/><link name="axle"/>
  <joint name="spin" type="continuous"><parent link="axle"/><child link="wheel"/></joint>
</robot>)";
    const std::string second = R"(
<robot name="second">
  <link name="hub"/><link name="rim"/>
  <joint name="wheel" type="continuous"><parent link="hub"/><child link="rim"/></joint>
</robot>)";
    // clang-format on
    const LogCapture log;
    UrdfPlugin plugin;
    const auto firstModel = modelOf(parseWith(plugin, first));
    ASSERT_TRUE(firstModel);
    const auto firstPaths = memberPaths(*firstModel);
    const auto wheelMembers = requireMember(*firstModel, {"wheel"})->members().size();

    const auto secondModel = modelOf(parseWith(plugin, second));
    ASSERT_TRUE(secondModel);
    EXPECT_EQ(secondModel->name().lexeme, "second");
    EXPECT_EQ(memberPaths(*secondModel), (std::vector<std::string>{"hub", "rim", "wheel"}));
    EXPECT_TRUE(log.entries().empty());

    EXPECT_EQ(memberPaths(*firstModel), firstPaths);
    EXPECT_EQ(requireMember(*firstModel, {"wheel"})->members().size(), wheelMembers);
}

TEST(ImportOrder, TheSameTextImportedTwiceGivesEqualButSeparateTrees) {
    UrdfPlugin plugin;
    const auto first = modelOf(parseWith(plugin, kTwoLinks));
    const auto second = modelOf(parseWith(plugin, kTwoLinks));
    ASSERT_TRUE(first && second);
    EXPECT_NE(first, second);
    EXPECT_EQ(memberPaths(*first), memberPaths(*second));
    const auto firstBase = findMember(*first, {"base"});
    const auto secondBase = findMember(*second, {"base"});
    ASSERT_TRUE(firstBase && secondBase);
    EXPECT_NE(firstBase, secondBase);
    EXPECT_EQ(firstBase->members().size(), secondBase->members().size());
}
