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

}  // namespace
