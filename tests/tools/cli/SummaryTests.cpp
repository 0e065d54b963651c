// formatSummary: names cut after namesShown, written as host text writes them, and the plugin's
// errors and warnings each in their own lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "TestSupport.hpp"
#include "cli/Summary.hpp"

namespace {

using corvane::testing::linesOf;
using namespace corvane::tools;

BodyOverview body(const std::string& name, bool withMass) {
    BodyOverview overview;
    overview.name = name;
    overview.ownMass = withMass;
    return overview;
}

// The summary of an input named arm.urdf.
std::string summaryOf(const ModelOverview& model, const DescriptionFacts& description = {},
                      std::vector<LoggedMessage> messages = {}) {
    const std::string inputName = "arm.urdf";
    return formatSummary(ImportFacts{inputName, model, description, std::move(messages)});
}

// The line of `summary` that starts with `start` (after its indent); empty when there is none.
std::string lineStarting(const std::string& summary, const std::string& start) {
    for (const auto& line : linesOf(summary)) {
        if (line.find_first_not_of(' ') != std::string::npos &&
            line.substr(line.find_first_not_of(' ')).starts_with(start)) {
            return line;
        }
    }
    return {};
}

TEST(Summary, NamesAreCutAfterTheFirstFewAndWrittenAsHostText) {
    static_assert(namesShown == 3);
    ModelOverview model;
    model.modelName = "my arm";
    for (const char* name : {"a", "b c", "d", "e"}) model.bodies.push_back(body(name, false));
    DescriptionFacts description;
    description.leftBehind.push_back(
        LeftBehind{"transmissions", {"t1", std::nullopt}, "(unnamed)"});
    description.leftBehind.push_back(LeftBehind{"sensors", {"s1", "s2", "s3"}, "(unnamed)"});
    const std::string summary = summaryOf(model, description);

    EXPECT_EQ(linesOf(summary).front(), "arm.urdf: summary of model 'my arm'");
    EXPECT_EQ(lineStarting(summary, "bodies without any mass:"),
              "  bodies without any mass: 4 (a, 'b c', d, ...): no inertial data and in no "
              "kinematic lock; a simulator will refuse them");
    EXPECT_EQ(lineStarting(summary, "transmissions:"), "    transmissions: 2 (t1, (unnamed))");
    // Exactly namesShown names: nothing was left out, so no "...".
    EXPECT_EQ(lineStarting(summary, "sensors:"), "    sensors: 3 (s1, s2, s3)");
}

TEST(Summary, ErrorsExplainSkippedJointsAndWarningsAreCountedApart) {
    ModelOverview model;
    model.modelName = "arm";
    model.bodies.push_back(body("base", true));
    DescriptionFacts description;
    description.joints = 2;
    const std::vector<LoggedMessage> messages{
        {false, "Joint renamed: j-1 to j_1"},
        {true, "Skipping unsupported joint type FloatingJoint for joint f"},
        {false, "Unsupported limits in joint j2"},
    };
    const std::string summary = summaryOf(model, description, messages);
    const auto lines = linesOf(summary);
    const auto at = [&lines](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) - lines.begin();
    };
    const auto skipped = at("  joints skipped: 2");
    ASSERT_LT(skipped + 1, static_cast<long>(lines.size())) << summary;
    EXPECT_EQ(lines[skipped + 1], "    Skipping unsupported joint type FloatingJoint for joint f");
    const auto warnings = at("  import warnings: 2");
    ASSERT_LT(warnings + 2, static_cast<long>(lines.size())) << summary;
    EXPECT_EQ(lines[warnings + 1], "    Joint renamed: j-1 to j_1");
    EXPECT_EQ(lines[warnings + 2], "    Unsupported limits in joint j2");
    EXPECT_EQ(lines[warnings + 3], "  bodies without any mass: 0");
    EXPECT_EQ(lineStarting(summary, "not carried over:"), "  not carried over: nothing");
}

}  // namespace
