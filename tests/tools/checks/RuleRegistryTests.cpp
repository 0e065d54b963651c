// The table of rules: every id once, in the form the report prints between brackets, each with a
// summary, and found again by its id. That every finding carries a rule of the table with the
// table's severity is checked on every finding of CheckRulesTests.cpp.
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

#include "checks/Rules.hpp"

namespace {

using namespace corvane::tools;

TEST(RuleRegistry, EveryIdOnceInTheFormOfTheReport) {
    std::set<std::string_view> ids;
    for (const Rule& rule : allRules()) {
        EXPECT_TRUE(ids.insert(rule.id).second) << "twice: " << rule.id;
        ASSERT_FALSE(rule.id.empty());
        EXPECT_NE(rule.id.front(), '-') << rule.id;
        EXPECT_NE(rule.id.back(), '-') << rule.id;
        for (const char c : rule.id) {
            EXPECT_TRUE(std::islower(static_cast<unsigned char>(c)) || c == '-') << rule.id;
        }
        EXPECT_FALSE(rule.summary.empty()) << rule.id;
        EXPECT_GE(rule.threshold, 0) << rule.id;
    }
    EXPECT_EQ(ids.size(), 37u);
}

TEST(RuleRegistry, AnIdFindsItsRuleAndNoOther) {
    for (const Rule& rule : allRules()) {
        const Rule* found = findRule(rule.id);
        ASSERT_NE(found, nullptr) << rule.id;
        EXPECT_EQ(found, &rule);
    }
    EXPECT_EQ(findRule("mass"), nullptr);
    EXPECT_EQ(findRule("mass-negative "), nullptr);
    EXPECT_EQ(findRule(""), nullptr);
}

TEST(RuleRegistry, AFindingTakesItsSeverityAndIdFromTheRule) {
    Findings findings;
    findings.add(rule("initial-clamped"), "interaction 'j'", "message", {});
    findings.add(rule("mass-ratio"), "body 'a'", "message", {});
    findings.add(rule("mass-negative"), "body 'a'", "message", {});
    const std::vector<Finding> made = std::move(findings).take();
    ASSERT_EQ(made.size(), 3u);
    EXPECT_EQ(made[0].severity, Severity::Note);
    EXPECT_EQ(made[0].rule, "initial-clamped");
    EXPECT_EQ(made[1].severity, Severity::Warning);
    EXPECT_EQ(made[2].severity, Severity::Error);
}

}  // namespace
