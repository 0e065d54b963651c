// What an expansion tells its caller besides the text: the line of each output element with the
// place it was written, text expanded in place of a file, and arguments holding substitutions.
#include <gtest/gtest.h>
#include <tinyxml2.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "corvane/xacro/Expander.hpp"

namespace corvane::xacro {
namespace {

namespace fs = std::filesystem;

constexpr const char* legs = R"xml(<?xml version="1.0"?>
<robot name="r" xmlns:xacro="http://www.ros.org/wiki/xacro">
  <xacro:arg name="where" default="nowhere"/>
  <xacro:macro name="leg" params="side">
    <link name="${side}_leg">
      <visual><geometry><box size="1 1 1"/></geometry></visual>
    </link>
  </xacro:macro>
  <link name="base"/>
  <xacro:leg side="left"/>
  <xacro:leg side="right"/>
  <link name="$(arg where)"/>
</robot>
)xml";

// The name of each element of `urdf` with its line, in document order.
std::vector<std::pair<std::string, int>> elementsOf(const std::string& urdf) {
    tinyxml2::XMLDocument document;
    EXPECT_EQ(document.Parse(urdf.c_str()), tinyxml2::XML_SUCCESS);
    std::vector<std::pair<std::string, int>> elements;
    std::vector<const tinyxml2::XMLElement*> stack{document.RootElement()};
    while (!stack.empty()) {
        const auto* element = stack.back();
        stack.pop_back();
        elements.emplace_back(element->Name(), element->GetLineNum());
        std::vector<const tinyxml2::XMLElement*> children;
        for (const auto* child = element->FirstChildElement(); child;
             child = child->NextSiblingElement())
            children.push_back(child);
        stack.insert(stack.end(), children.rbegin(), children.rend());
    }
    return elements;
}

TEST(ExpansionMap, EachOutputElementHasItsLineAndWhereItWasWritten) {
    const Expansion expansion = expandText(legs, "robot.xacro", {});
    const auto elements = elementsOf(expansion.urdf);
    ASSERT_EQ(expansion.origins.size(), elements.size());
    ASSERT_EQ(expansion.lines.size(), elements.size());
    for (std::size_t i = 0; i < elements.size(); ++i)
        EXPECT_EQ(expansion.lines[i], elements[i].second) << elements[i].first;
    // robot, base, then left_leg with visual, geometry, box: written in the macro at line 5,
    // called at line 10.
    ASSERT_GE(expansion.origins.size(), 7u);
    const SourceOrigin& leftLeg = expansion.origins[2];
    EXPECT_EQ(leftLeg.file, "robot.xacro");
    EXPECT_EQ(leftLeg.line, 5);
    ASSERT_EQ(leftLeg.chain.size(), 1u);
    EXPECT_EQ(leftLeg.chain[0].kind, SourceStep::Kind::MacroCall);
    EXPECT_EQ(leftLeg.chain[0].line, 10);
    EXPECT_EQ(stepNote(leftLeg.chain[0]), "in macro 'leg' called here");
    const SourceOrigin& rightBox = expansion.origins[9];
    EXPECT_EQ(rightBox.line, 6);
    ASSERT_EQ(rightBox.chain.size(), 1u);
    EXPECT_EQ(rightBox.chain[0].line, 11);
    EXPECT_TRUE(expansion.origins[1].chain.empty());
}

TEST(ExpansionMap, ArgumentsMayHoldSubstitutions) {
    ExpandOptions options;
    options.args["where"] = "$(find arms)/x";
    options.findPackage = [](std::string_view name) -> std::optional<fs::path> {
        if (name == "arms") return fs::path("/opt/arms");
        return std::nullopt;
    };
    const Expansion expansion = expandText(legs, "robot.xacro", options);
    EXPECT_NE(expansion.urdf.find("<link name=\"/opt/arms/x\"/>"), std::string::npos)
        << expansion.urdf;

    options.args["where"] = "$(find legs)";
    try {
        expandText(legs, "robot.xacro", options);
        FAIL() << "an argument naming an unknown package expanded";
    } catch (const ExpansionError& error) {
        EXPECT_NE(std::string(error.what()).find("legs"), std::string::npos) << error.what();
    }
}

TEST(ExpansionMap, TextIsExpandedAsTheFileItStandsFor) {
    // a folder of this process alone: tests run side by side
    const fs::path folder =
        fs::temp_directory_path() / ("corvane-xacro-text-test-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    {
        std::FILE* part = std::fopen((folder / "part.xacro").c_str(), "w");
        ASSERT_NE(part, nullptr);
        std::fputs(
            "<robot xmlns:xacro=\"http://www.ros.org/wiki/xacro\"><link name=\"part\"/></robot>",
            part);
        std::fclose(part);
    }
    const std::string text =
        "<robot name=\"r\" xmlns:xacro=\"http://www.ros.org/wiki/xacro\">\n"
        "  <xacro:include filename=\"part.xacro\"/>\n</robot>\n";
    const Expansion expansion = expandText(text, folder / "<stdin>", {});
    EXPECT_NE(expansion.urdf.find("<link name=\"part\"/>"), std::string::npos) << expansion.urdf;
    fs::remove_all(folder);

    try {
        expandText("<robot><link></robot>", "<stdin>", {});
        FAIL() << "malformed text expanded";
    } catch (const ExpansionError& error) {
        EXPECT_EQ(error.where().file, "<stdin>");
        EXPECT_EQ(error.where().line, 1);
    }
}

}  // namespace
}  // namespace corvane::xacro
