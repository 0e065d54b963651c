// Where the XML parser says a malformed description goes wrong: the line the refusal names,
// counted right whether or not the text ends in a line break.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "model/UrdfElements.hpp"

namespace {

using corvane::tools::findXmlProblem;

// The line findXmlProblem gives `source`; fails the test when it finds no problem.
int problemLine(const std::string& source) {
    const auto problem = findXmlProblem(source);
    EXPECT_TRUE(problem) << "no problem found in: " << source;
    return problem ? problem->line : -1;
}

TEST(XmlProblem, AProblemAtTheEndOfTheTextIsOnItsLastLine) {
    // An unclosed comment runs to the end of the text: the parser names no line itself.
    EXPECT_EQ(problemLine("<robot name='x'>\n<!-- c\n"), 2);
    EXPECT_EQ(problemLine("<robot name='x'>\n<!-- c"), 2);
    EXPECT_EQ(problemLine("<robot name='x'>\r\n<!-- c\r\n"), 2);
    EXPECT_EQ(problemLine("<robot name='x'>\n<!-- c\n\n"), 3);
    EXPECT_EQ(problemLine("<robot name='x'><!-- c\n"), 1);
    EXPECT_EQ(findXmlProblem("<robot name='x'>\n<!-- c\n")->description,
              "Error reading Element value.");
}

TEST(XmlProblem, AProblemInsideTheTextIsOnTheLineTheParserNames) {
    EXPECT_EQ(problemLine("<robot name='x'>\n<link name='a' =bad/>\n<link name='b'/>\n</robot>\n"),
              2);
}

TEST(XmlProblem, WellFormedAndEmptyTexts) {
    EXPECT_EQ(findXmlProblem("<robot name='x'>\n<link name='a'/>\n</robot>\n"), std::nullopt);
    const auto empty = findXmlProblem("\n\n");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->line, 0) << "an empty text has no line to name";
}

// What urdfdom reads past, noted once with its line and the link or joint it is part of; the
// xacro namespace known by its URI whatever its prefix; extensions and what is inside a noted
// element left alone.
TEST(UnreadMarkup, NotedWithLineOwnerAndKind) {
    using corvane::tools::readUrdfElements;
    using corvane::tools::UnreadMarkup;
    using Kind = UnreadMarkup::Kind;
    using Element = corvane::tools::UrdfPlace::Element;
    // clang-format off
    const std::string text = R"(<robot name="r" xmlns:x="http://www.ros.org/wiki/xacro" xmlns:xacro="http://QQQ">
<link name="a" QQQ="1">
  <visual>
    <origin xyz="0 0 1"/>
    <geometry><box size="1 1 1"/><origin xyz="1 0 0"/></geometry>
  </visual>
  <collision><material name="m"/><geometry><sphere radius="1"/></geometry></collision>
  <orgin><inertial/></orgin>
</link>
<x:if value="1"><link name="b"/></x:if>
<xacro:include filename="f"/>
<gazebo><QQQ/></gazebo>
<joint name="j" type="revolute"><axis
  xzy="0 0 1"/></joint>
</robot>
)";
    // clang-format on
    const auto elements = readUrdfElements(text);
    const std::vector<UnreadMarkup>& markup = elements.markup();
    ASSERT_EQ(markup.size(), 5u);
    EXPECT_EQ(markup[0].kind, Kind::Attribute);
    EXPECT_EQ(markup[0].name, "QQQ");
    EXPECT_EQ(markup[0].parent, "link");
    EXPECT_EQ(markup[0].owner, Element::Link);
    EXPECT_EQ(markup[0].ownerName, "a");
    EXPECT_EQ(markup[0].line, 2);
    EXPECT_EQ(markup[1].kind, Kind::Element);
    EXPECT_EQ(markup[1].name, "origin");
    EXPECT_EQ(markup[1].parent, "geometry");
    EXPECT_TRUE(markup[1].enclosingOrigin);
    EXPECT_EQ(markup[1].line, 5);
    EXPECT_EQ(markup[2].name, "orgin");
    EXPECT_EQ(markup[2].line, 8);
    EXPECT_EQ(markup[3].kind, Kind::XacroElement);
    EXPECT_EQ(markup[3].name, "x:if");
    EXPECT_EQ(markup[3].owner, Element::Robot);
    EXPECT_EQ(markup[3].ownerName, "r");
    EXPECT_EQ(markup[3].line, 10);
    // xacro:include is bound to another namespace here: an extension, not xacro.
    EXPECT_EQ(markup[4].kind, Kind::Attribute);
    EXPECT_EQ(markup[4].name, "xzy");
    EXPECT_EQ(markup[4].parent, "axis");
    EXPECT_EQ(markup[4].owner, Element::Joint);
    EXPECT_EQ(markup[4].line, 14);  // the attribute's own line
    EXPECT_EQ(elements.lineOf({Element::Markup, "", 3, false}), 10);
}

}  // namespace
