// The physical checks of an imported robot: for every rule a robot that triggers exactly it and
// one at its threshold that passes, the URDF element each finding points at, and every valid
// corpus robot checked twice with the same findings.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "ScratchDir.hpp"
#include "TestSupport.hpp"
#include "checks/Checks.hpp"
#include "checks/Rules.hpp"
#include "model/MeshLocator.hpp"
#include "model/ModelOverview.hpp"

namespace {

namespace fs = std::filesystem;
using corvane::testing::corpusFiles;
using corvane::testing::importUrdf;
using corvane::testing::LogCapture;
using corvane::testing::readFile;
using corvane::testing::ScratchDir;
using corvane::testing::writeFile;
using namespace corvane::tools;
using Element = UrdfPlace::Element;

// Every finding carries a rule of the table, with the table's severity.
void expectRulesOfTheTable(const std::vector<Finding>& findings) {
    for (const Finding& finding : findings) {
        const Rule* rule = findRule(finding.rule);
        if (!rule) {
            ADD_FAILURE() << "rule not in the table: " << finding.rule;
            continue;
        }
        EXPECT_EQ(finding.severity, rule->severity) << finding.rule;
    }
}

// The findings of `urdf` imported at `precision`, with mesh files looked for by `meshes`; each
// with a rule of the table.
std::vector<Finding> check(const std::string& urdf, int precision = 10,
                           const MeshLocator* meshes = nullptr) {
    const LogCapture quiet;  // the import's own warnings are not what these tests are about
    const auto document = importUrdf(urdf, precision);
    if (!document) {
        ADD_FAILURE() << "the robot does not import:\n" << urdf;
        return {};
    }
    const ModelOverview model = readModelOverview(*document);
    auto findings = checkModel({model, readUrdfElements(urdf), meshes});
    expectRulesOfTheTable(findings);
    return findings;
}

std::vector<std::string> rulesOf(const std::vector<Finding>& findings) {
    std::vector<std::string> rules;
    for (const Finding& finding : findings) rules.push_back(finding.rule);
    return rules;
}

std::string describe(const std::vector<Finding>& findings) {
    std::string text;
    for (const Finding& finding : findings) {
        text += finding.subject + ": " + finding.message + " [" + finding.rule + "]\n";
    }
    return text;
}

// The one finding of `findings`, which must be of `rule`.
Finding only(const std::vector<Finding>& findings, const std::string& rule) {
    EXPECT_EQ(rulesOf(findings), std::vector<std::string>{rule}) << describe(findings);
    return findings.empty() ? Finding{} : findings.front();
}

void expectPlace(const Finding& finding, Element element, const std::string& owner,
                 std::size_t index = 0, bool visual = false) {
    EXPECT_EQ(finding.place.element, element) << finding.message;
    EXPECT_EQ(finding.place.owner, owner) << finding.message;
    EXPECT_EQ(finding.place.index, index) << finding.message;
    EXPECT_EQ(finding.place.visual, visual) << finding.message;
}

void expectMessageHas(const Finding& finding, const std::string& text) {
    EXPECT_NE(finding.message.find(text), std::string::npos)
        << "'" << text << "' not in: " << finding.message;
}

std::string inertial(const std::string& mass, const std::string& ixx, const std::string& iyy,
                     const std::string& izz,
                     const std::string& products = "ixy=\"0\" ixz=\"0\" iyz=\"0\"") {
    return "<inertial><mass value=\"" + mass + "\"/><inertia ixx=\"" + ixx + "\" iyy=\"" + iyy +
           "\" izz=\"" + izz + "\" " + products + "/></inertial>";
}

const std::string unitInertial = inertial("1", "1", "1", "1");

// A robot of one link "a" holding `inner`.
std::string oneLink(const std::string& inner) {
    return "<robot name=\"r\"><link name=\"a\">" + inner + "</link></robot>";
}

// Links "base" and "arm", each holding its own elements, joined by joint "j" of `type` holding
// `jointInner`.
std::string twoLinks(const std::string& type, const std::string& jointInner,
                     const std::string& arm = unitInertial,
                     const std::string& base = unitInertial) {
    return "<robot name=\"r\"><link name=\"base\">" + base + "</link><link name=\"arm\">" + arm +
           "</link><joint name=\"j\" type=\"" + type +
           "\"><parent link=\"base\"/><child link=\"arm\"/>" + jointInner + "</joint></robot>";
}

const std::string goodLimit = R"(<limit lower="-1" upper="1" effort="10" velocity="1"/>)";

std::string limit(const std::string& lower, const std::string& upper, const std::string& effort) {
    return "<limit lower=\"" + lower + "\" upper=\"" + upper + "\" effort=\"" + effort +
           "\" velocity=\"1\"/>";
}

// ---------------------------------------------------------------------------------------------
// Non-finite numbers

// urdfdom refuses "inf", "nan" and numbers beyond the range of a double wherever it reads one;
// an infinity still gets through where the import computes: the parent's main axis is the joint
// frame's rotation applied to the axis, and that product overflows for axis components near the
// largest double.
// clang-format off
const std::string overflowingAxis = R"(<robot name="r">
  <link name="a"><inertial><mass value="1"/><inertia ixx="1" iyy="1" izz="1" ixy="0" ixz="0" iyz="0"/></inertial></link>
  <link name="b"><inertial><mass value="1"/><inertia ixx="1" iyy="1" izz="1" ixy="0" ixz="0" iyz="0"/></inertial></link>
  <joint name="j" type="revolute"><parent link="a"/><child link="b"/>
    <origin rpy="0.3 0.2 0.1"/><axis xyz="1.7e308 1.7e308 1.7e308"/>
    <limit lower="-1" upper="1" effort="1" velocity="1"/></joint>
</robot>)";
// clang-format on

TEST(NonFiniteRule, AnInfinityTheImportComputesIsAnErrorAtTheJointAxis) {
    const auto findings = check(overflowingAxis);
    ASSERT_FALSE(findings.empty());
    for (const Finding& finding : findings) {
        EXPECT_EQ(finding.rule, "non-finite") << describe(findings);
        EXPECT_EQ(finding.severity, Severity::Error);
        EXPECT_EQ(finding.subject, "body 'a'");
        expectPlace(finding, Element::Axis, "j");
        expectMessageHas(finding, "j_mc.main_axis.");
        expectMessageHas(finding, " is inf");
    }
}

TEST(NonFiniteRule, TheOverviewRecordsWhereTheNumberStands) {
    const auto document = importUrdf(overflowingAxis);
    ASSERT_TRUE(document);
    const ModelOverview model = readModelOverview(*document);
    ASSERT_FALSE(model.nonFinite.empty());
    EXPECT_EQ(model.nonFinite.front().declaration, "a");
    EXPECT_EQ(model.nonFinite.front().path, "j_mc.main_axis.x");
    EXPECT_EQ(model.nonFinite.front().lexeme, "inf");
}

TEST(NonFiniteRule, TheLargestFiniteAxisIsNoNonFiniteNumber) {
    // Just below the overflow: every number is finite; the axis is merely far from unit length.
    std::string urdf = overflowingAxis;
    const std::string huge = "1.7e308 1.7e308 1.7e308";
    urdf.replace(urdf.find(huge), huge.size(), "1e308 1e308 1e308");
    EXPECT_EQ(rulesOf(check(urdf)), std::vector<std::string>{"axis-not-unit"});
}

// ---------------------------------------------------------------------------------------------
// Mass

TEST(MassRules, NegativeMassIsAnError) {
    const Finding finding = only(check(oneLink(inertial("-1", "1", "1", "1"))), "mass-negative");
    EXPECT_EQ(finding.severity, Severity::Error);
    EXPECT_EQ(finding.subject, "body 'a'");
    expectPlace(finding, Element::Inertial, "a");
    expectMessageHas(finding, "(-1)");
}

TEST(MassRules, ZeroMassWithInertiaIsAWarning) {
    const Finding finding = only(check(oneLink(inertial("0", "1", "1", "1"))), "mass-zero");
    EXPECT_EQ(finding.severity, Severity::Warning);
    expectPlace(finding, Element::Inertial, "a");
}

TEST(MassRules, TheSmallestPositiveMassPasses) {
    EXPECT_EQ(describe(check(oneLink(inertial("0.0000000001", "1", "1", "1")))), "");
}

TEST(MassRules, AMovingBodyWithoutMassIsRefused) {
    const Finding finding =
        only(check(twoLinks("revolute", goodLimit, "")), "moving-body-massless");
    EXPECT_EQ(finding.severity, Severity::Error);
    EXPECT_EQ(finding.subject, "body 'arm'");
    expectPlace(finding, Element::Link, "arm");
    expectMessageHas(finding, "has no mass, below 1e-15");
}

TEST(MassRules, AMovingBodyOfZeroMassGetsTheErrorNotAlsoTheWarning) {
    const Finding finding =
        only(check(twoLinks("prismatic", goodLimit, inertial("0", "1", "1", "1"))),
             "moving-body-massless");
    expectPlace(finding, Element::Inertial, "arm");
}

TEST(MassRules, MassesLockedTogetherCountAsOne) {
    // arm and hand have mass 0 each; held by a fixed joint they move as one body of mass 0:
    // one error, at the first of them.
    // clang-format off
    const std::string urdf = R"(<robot name="r">
      <link name="base">)" + unitInertial + R"(</link>
      <link name="arm">)" + inertial("0", "1", "1", "1") + R"(</link>
      <link name="hand">)" + inertial("0", "1", "1", "1") + R"(</link>
      <joint name="j" type="continuous"><parent link="base"/><child link="arm"/></joint>
      <joint name="w" type="fixed"><parent link="arm"/><child link="hand"/></joint>
    </robot>)";
    // clang-format on
    const Finding finding = only(check(urdf), "moving-body-massless");
    EXPECT_EQ(finding.subject, "body 'arm'");
    expectMessageHas(finding, "mass 0 with the 1 body locked to it");
    // Give hand a mass: the group weighs enough, and arm's own zero mass is a warning again.
    std::string heavy = urdf;
    heavy.replace(heavy.rfind(inertial("0", "1", "1", "1")), inertial("0", "1", "1", "1").size(),
                  unitInertial);
    EXPECT_EQ(only(check(heavy), "mass-zero").subject, "body 'arm'");
}

TEST(MassRules, AMovingMassAtTheLimitPasses) {
    // 1e-15 needs more than ten decimals to reach the document.
    const std::string tiny = inertial("0.000000000000001", "1", "1", "1");
    EXPECT_EQ(describe(check(twoLinks("revolute", goodLimit, tiny, tiny), 20)), "");
}

TEST(MassRules, WhatAKinematicLockGivesIsNoMass) {
    // arm and hand have no inertial: the import holds them in a kinematic lock with a negligible
    // mass each, which is none of the robot's: the simulator refuses the pair.
    // clang-format off
    const std::string urdf = R"(<robot name="r">
      <link name="base">)" + unitInertial + R"(</link>
      <link name="arm"/><link name="hand"/>
      <joint name="j" type="continuous"><parent link="base"/><child link="arm"/></joint>
      <joint name="w" type="fixed"><parent link="arm"/><child link="hand"/></joint>
    </robot>)";
    // clang-format on
    const Finding finding = only(check(urdf), "moving-body-massless");
    EXPECT_EQ(finding.subject, "body 'arm'");
    expectMessageHas(finding, "mass 0 with the 1 body locked to it");
    expectMessageHas(finding, "negligible mass the import gives");
}

TEST(MassRules, AFrameOfZeroMassAndZeroTensorLockedToAMassIsFine) {
    const std::string frame = inertial("0", "0", "0", "0");
    EXPECT_EQ(describe(check(twoLinks("fixed", "", frame))), "");
    // The same frame moving on its own is refused; a tensor without mass is a warning.
    EXPECT_EQ(rulesOf(check(twoLinks("revolute", goodLimit, frame))),
              std::vector<std::string>{"moving-body-massless"});
    const Finding finding =
        only(check(twoLinks("fixed", "", inertial("0", "0.1", "0.1", "0.1"))), "mass-zero");
    expectMessageHas(finding, "mass is 0 but the inertia tensor is not");
}

TEST(MassRules, AMovingBodyWithMassAndAZeroMomentIsRefused) {
    const Finding finding =
        only(check(twoLinks("revolute", goodLimit, inertial("0.754", "0", "1", "1"))),
             "moving-body-inertia-zero");
    EXPECT_EQ(finding.severity, Severity::Error);
    expectPlace(finding, Element::Inertial, "arm");
    expectMessageHas(finding, "principal moment of 0 ");
    // At the threshold it passes, at the default precision too: the URDF's numbers are judged.
    const std::string least = inertial("0.754", "0.000000000000001", "1", "1");
    EXPECT_EQ(describe(check(twoLinks("revolute", goodLimit, least))), "");
    // Not moving: a simulator holds it fixed, whatever its moments.
    EXPECT_EQ(describe(check(twoLinks("fixed", "", inertial("0.754", "0", "1", "1")))), "");
}

TEST(MassRules, ARootLinkNamedWorldIsOneWarningNotAMasslessBody) {
    // clang-format off
    const std::string urdf = R"(<robot name="r">
      <link name="world"/>
      <link name="base">)" + unitInertial + R"(</link>
      <joint name="j" type="revolute"><parent link="world"/><child link="base"/>)" + goodLimit +
      R"(</joint></robot>)";
    // clang-format on
    const Finding finding = only(check(urdf), "root-world");
    EXPECT_EQ(finding.severity, Severity::Warning);
    expectPlace(finding, Element::Link, "world");
    expectMessageHas(finding, "the robot is free");
    // Another name for the same root link is a massless moving body.
    std::string other = urdf;
    for (auto at = other.find("\"world\""); at != std::string::npos; at = other.find("\"world\"")) {
        other.replace(at, 7, "\"ground\"");
    }
    EXPECT_EQ(rulesOf(check(other)), std::vector<std::string>{"moving-body-massless"});
}

TEST(MassRules, RoundingThatBreaksWhatTheUrdfKeepsIsOneWarningNamingThePrecision) {
    const std::string light = oneLink(inertial("0.000000000001", "1", "1", "1"));
    const Finding mass = only(check(light), "precision-loss");
    EXPECT_EQ(mass.severity, Severity::Warning);
    expectPlace(mass, Element::Inertial, "a");
    expectMessageHas(mass, "written with 10 decimals, the mass turns 0");
    expectMessageHas(mass, "-p 12 keeps it");
    EXPECT_EQ(describe(check(light, 12)), "");
    // 4e-11 + 4e-11 = 8e-11 holds; at ten decimals 0 + 0 < 1e-10 does not.
    const std::string flat =
        oneLink(inertial("1", "0.00000000004", "0.00000000004", "0.00000000008"));
    const Finding tensor = only(check(flat), "precision-loss");
    expectMessageHas(tensor, "the moments break the triangle inequality");
    expectMessageHas(tensor, "-p 11 keeps it");
    EXPECT_EQ(describe(check(flat, 11)), "");
}

TEST(MassRules, MassRatioAboveAThousandIsAWarningNamingBoth) {
    const Finding finding =
        only(check(twoLinks("revolute", goodLimit, unitInertial, inertial("1001", "1", "1", "1"))),
             "mass-ratio");
    EXPECT_EQ(finding.severity, Severity::Warning);
    EXPECT_EQ(finding.subject, "body 'arm'");
    expectPlace(finding, Element::Inertial, "arm");
    expectMessageHas(finding, "body 'base' (mass 1001)");
    expectMessageHas(finding, "1001 times as heavy as this one (mass 1)");
}

TEST(MassRules, MassRatioOfAThousandPasses) {
    EXPECT_EQ(describe(check(
                  twoLinks("revolute", goodLimit, unitInertial, inertial("1000", "1", "1", "1")))),
              "");
}

// ---------------------------------------------------------------------------------------------
// Inertia tensor

TEST(InertiaRules, TheTriangleHasNoToleranceOnADiagonalAndRoundingOnATurnedTensor) {
    // izz one unit in the last place above ixx + iyy: a simulator refuses it.
    EXPECT_EQ(rulesOf(check(oneLink(inertial("1", "1", "1", "2.0000000000000004")))),
              std::vector<std::string>{"inertia-triangle"});
    EXPECT_EQ(describe(check(oneLink(inertial("1", "1", "1", "2")))), "");
    // A product of 1e-4 on (1, 1, 2) breaks it by 2e-8, far beyond rounding.
    EXPECT_EQ(
        rulesOf(check(oneLink(inertial("1", "1", "1", "2", "ixy=\"0\" ixz=\"0.0001\" iyz=\"0\"")))),
        std::vector<std::string>{"inertia-triangle"});
}

TEST(InertiaRules, ATensorBelowTheLeastMomentIsNotJudgedForItsSigns) {
    // All moments near 1e-20, one of them negative: 0 to a simulator.
    EXPECT_EQ(describe(check(oneLink(
                  inertial("1", "0", "0", "0", "ixy=\"0\" ixz=\"1.35525e-20\" iyz=\"0\"")))),
              "");
}

TEST(InertiaRules, ANegativeMomentIsNotPositiveSemiDefinite) {
    const Finding finding =
        only(check(oneLink(inertial("1", "-0.1", "1", "1"))), "inertia-not-positive");
    EXPECT_EQ(finding.severity, Severity::Error);
    expectPlace(finding, Element::Inertial, "a");
    expectMessageHas(finding, "smallest principal moment -0.1 < 0");
    expectMessageHas(finding, "the mean of the moments, 0.633333");
}

TEST(InertiaRules, AProductJustBeyondARodIsNotPositiveSemiDefinite) {
    const Finding finding =
        only(check(oneLink(inertial("1", "0.5", "0.5", "1", R"(ixy="0.5000001" ixz="0" iyz="0")"))),
             "inertia-not-positive");
    expectMessageHas(finding, "-1e-07");
}

TEST(InertiaRules, ARodPassesAtTheThresholdOfEveryRule) {
    // A thin rod along the diagonal of the xy plane: one principal moment 0, a product exactly
    // half the opposite moment, and I1 + I2 = I3.
    EXPECT_EQ(
        describe(check(oneLink(inertial("1", "0.5", "0.5", "1", R"(ixy="0.5" ixz="0" iyz="0")")))),
        "");
    EXPECT_EQ(describe(check(oneLink(inertial("1", "0", "1", "1")))), "");
}

TEST(InertiaRules, AProductLargerThanTheOppositeMomentAllows) {
    const Finding finding =
        only(check(oneLink(inertial("1", "1", "1", "1", R"(ixy="0" ixz="0" iyz="0.6")"))),
             "inertia-product");
    EXPECT_EQ(finding.severity, Severity::Error);
    expectPlace(finding, Element::Inertial, "a");
    expectMessageHas(finding, "2|iyz| > ixx: 2*0.6 = 1.2 > 1");
    expectMessageHas(finding, "|iyz| <= ixx/2 = 0.5 satisfies it");
}

// Each product against its own opposite moment, with three different moments on the diagonal:
// the product is small for the other two, so judging it against either of them lets it pass. The
// tensors are positive definite, so inertia-not-positive stays silent.
struct ProductCase {
    const char* product;   // "ixy"
    const char* opposite;  // "izz"
    // The inertia with 3 as the opposite moment, 4 and 5 as the others, the product 1.6.
    std::string tooLarge;
    // The same product against an opposite moment of 4 (3 and 5 the others): it holds it.
    std::string heldByItsOpposite;
};

std::vector<ProductCase> productCases() {
    return {{"ixy", "izz", inertial("1", "4", "5", "3", R"(ixy="1.6" ixz="0" iyz="0")"),
             inertial("1", "3", "5", "4", R"(ixy="1.6" ixz="0" iyz="0")")},
            {"ixz", "iyy", inertial("1", "4", "3", "5", R"(ixy="0" ixz="-1.6" iyz="0")"),
             inertial("1", "3", "4", "5", R"(ixy="0" ixz="-1.6" iyz="0")")},
            {"iyz", "ixx", inertial("1", "3", "4", "5", R"(ixy="0" ixz="0" iyz="1.6")"),
             inertial("1", "4", "3", "5", R"(ixy="0" ixz="0" iyz="1.6")")}};
}

TEST(InertiaRules, EachProductIsJudgedAgainstItsOwnOppositeMoment) {
    for (const ProductCase& c : productCases()) {
        SCOPED_TRACE(c.product);
        const Finding finding = only(check(oneLink(c.tooLarge)), "inertia-product");
        expectMessageHas(finding, std::string("2|") + c.product + "| > " + c.opposite +
                                      ": 2*1.6 = 3.2 > 3; |" + c.product + "| <= " + c.opposite +
                                      "/2 = 1.5 satisfies it)");
        // Only that product is named: its cyclic companions are 0.
        for (const char* other : {"ixy", "ixz", "iyz"}) {
            if (std::string(other) != c.product) {
                EXPECT_EQ(finding.message.find(other), std::string::npos) << finding.message;
            }
        }
        EXPECT_EQ(describe(check(oneLink(c.heldByItsOpposite))), "");
    }
}

TEST(InertiaRules, AProductOfHalfTheOppositeMomentPasses) {
    EXPECT_EQ(
        describe(check(oneLink(inertial("1", "1", "1", "1", R"(ixy="0" ixz="-0.5" iyz="0")")))),
        "");
}

TEST(InertiaRules, MomentsBreakingTheTriangleInequality) {
    const Finding finding =
        only(check(oneLink(inertial("1", "0.1", "0.2", "0.5"))), "inertia-triangle");
    EXPECT_EQ(finding.severity, Severity::Error);
    expectPlace(finding, Element::Inertial, "a");
    expectMessageHas(finding,
                     "inertia breaks the triangle inequality (ixx+iyy < izz: 0.1 + 0.2 < 0.5)");
    expectMessageHas(finding, "the mean of the moments, 0.266667");
    // Any ordering: the largest moment may stand anywhere.
    const Finding other =
        only(check(oneLink(inertial("1", "0.5", "0.2", "0.1"))), "inertia-triangle");
    expectMessageHas(other, "(iyy+izz < ixx: 0.2 + 0.1 < 0.5)");
}

TEST(InertiaRules, TheTriangleInequalityHoldsAtEquality) {
    EXPECT_EQ(describe(check(oneLink(inertial("1", "0.25", "0.25", "0.5")))), "");
    EXPECT_EQ(rulesOf(check(oneLink(inertial("1", "0.25", "0.25", "0.5000001")))),
              std::vector<std::string>{"inertia-triangle"});
}

// diag(0.25, 0.25, 0.5) turned about x (cos 0.8, sin 0.6) has izz 0.41: its principal moments
// meet I1 + I2 = I3. An izz 2e-15 larger breaks it by 5.6e-16 in the eigenvalues, within their
// rounding (eps 8.9e-16); 1e-14 larger breaks it beyond.
std::string turnedInertial(const std::string& izz) {
    return inertial("1", "0.25", "0.34", izz, R"(ixy="0" ixz="0" iyz="-0.12")");
}

TEST(InertiaRules, TheTriangleOfATurnedTensorHoldsWithinItsRoundingAndStatesTheMomentsJudged) {
    EXPECT_EQ(describe(check(oneLink(turnedInertial("0.41")))), "");
    EXPECT_EQ(describe(check(oneLink(turnedInertial("0.410000000000002")))), "");
    const Finding finding =
        only(check(oneLink(turnedInertial("0.41000000000001"))), "inertia-triangle");
    static const std::regex stated(R"(principal moments I1\+I2 < I3: (\S+) \+ (\S+) < (\S+);)");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(finding.message, match, stated)) << finding.message;
    const double i1 = std::stod(match[1]), i2 = std::stod(match[2]), i3 = std::stod(match[3]);
    EXPECT_LT(i1 + i2, i3) << finding.message;
    EXPECT_NEAR(i3, 0.5, 1e-14);
    // Far from equality, six digits show the break.
    expectMessageHas(only(check(oneLink(turnedInertial("0.5"))), "inertia-triangle"),
                     "(principal moments I1+I2 < I3: 0.25 + 0.275778 < 0.564222)");
}

TEST(InertiaRules, PrincipalMomentsOfATurnedTensor) {
    // diag(1, 2, 3) turned by 30 degrees about z and 45 about x.
    const double c1 = std::cos(M_PI / 6), s1 = std::sin(M_PI / 6);
    const double c2 = std::cos(M_PI / 4), s2 = std::sin(M_PI / 4);
    const double r[3][3] = {{c1, -s1 * c2, s1 * s2}, {s1, c1 * c2, -c1 * s2}, {0, s2, c2}};
    const double d[3] = {1, 2, 3};
    InertiaTensor tensor{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            for (int k = 0; k < 3; ++k) tensor[i][j] += r[i][k] * d[k] * r[j][k];
        }
    }
    const auto moments = principalMoments(tensor);
    EXPECT_NEAR(moments[0], 1, 1e-14);
    EXPECT_NEAR(moments[1], 2, 1e-14);
    EXPECT_NEAR(moments[2], 3, 1e-14);
    EXPECT_EQ(principalMoments({{{3, 0, 0}, {0, 1, 0}, {0, 0, 2}}}),
              (std::array<double, 3>{1, 2, 3}));
}

// A cube of side 1 for contact, mass 12, equal moments `moment`: the equivalent box has sides
// sqrt(moment / 2), 10 for a moment of 200.
std::string cubeWithMoments(const std::string& moment) {
    return oneLink(inertial("12", moment, moment, moment) +
                   R"(<collision><geometry><box size="1 1 1"/></geometry></collision>)");
}

TEST(InertiaBoxRule, ABoxFarLargerThanTheContactGeometryIsAWarning) {
    const Finding finding = only(check(cubeWithMoments("201")), "inertia-box");
    EXPECT_EQ(finding.severity, Severity::Warning);
    expectPlace(finding, Element::Inertial, "a");
    expectMessageHas(finding,
                     "its longest side, 10.025, is over 10 times the geometry's "
                     "largest extent, 1");
}

TEST(InertiaBoxRule, TenTimesTheExtentPasses) {
    EXPECT_EQ(describe(check(cubeWithMoments("200"))), "");
}

TEST(InertiaBoxRule, TheExtentCoversEveryContactGeometryWhereItStands) {
    // Two spheres 2 apart along x: extent 2.2, box side 22 passes, 23 does not.
    const auto robot = [](const std::string& moment) {
        return oneLink(
            inertial("12", moment, moment, moment) +
            R"(<collision><origin xyz="-1 0 0"/><geometry><sphere radius="0.1"/></geometry></collision>
                          <collision><origin xyz="1 0 0"/><geometry><sphere radius="0.1"/></geometry></collision>
                          <visual><geometry><sphere radius="0.01"/></geometry></visual>)");
    };
    EXPECT_EQ(describe(check(robot("968"))), "");  // side sqrt(968 / 2) = 22
    EXPECT_EQ(rulesOf(check(robot("1058"))), std::vector<std::string>{"inertia-box"});
}

TEST(InertiaBoxRule, BodiesWithMeshContactGeometryAreNotMeasured) {
    EXPECT_EQ(
        describe(check(oneLink(inertial("12", "1e6", "1e6", "1e6") +
                               R"(<collision><geometry><box size="1 1 1"/></geometry></collision>
                     <collision><geometry><mesh filename="m.stl"/></geometry></collision>)"))),
        "");
}

// ---------------------------------------------------------------------------------------------
// Axes

TEST(AxisRules, AZeroAxisIsReplacedOnImport) {
    const Finding finding =
        only(check(twoLinks("revolute", R"(<axis xyz="0 0 0"/>)" + goodLimit)), "axis-zero");
    EXPECT_EQ(finding.severity, Severity::Warning);
    EXPECT_EQ(finding.subject, "interaction 'j'");
    expectPlace(finding, Element::Axis, "j");
    expectMessageHas(finding,
                     "(0, 0, 0) has norm 0, below 1e-08: the import replaced it by (1, 0, 0)");
}

TEST(AxisRules, ATinyAxisIsZeroAndNotAlsoOffUnit) {
    const Finding finding =
        only(check(twoLinks("prismatic", R"(<axis xyz="1e-9 0 0"/>)" + goodLimit)), "axis-zero");
    expectMessageHas(finding, "norm 1e-09");
}

TEST(AxisRules, AnAxisOfNormTheLimitIsNotZero) {
    EXPECT_EQ(rulesOf(check(twoLinks("revolute", R"(<axis xyz="1e-8 0 0"/>)" + goodLimit))),
              std::vector<std::string>{"axis-not-unit"});
    // Fixed joints have no axis: urdfdom leaves theirs at zero.
    EXPECT_EQ(describe(check(twoLinks("fixed", ""))), "");
}

TEST(AxisRules, AnAxisNotOfUnitLength) {
    const Finding finding =
        only(check(twoLinks("revolute", R"(<axis xyz="0 0 2"/>)" + goodLimit)), "axis-not-unit");
    EXPECT_EQ(finding.severity, Severity::Warning);
    expectPlace(finding, Element::Axis, "j");
    expectMessageHas(finding, "(0, 0, 2) has length 2");
    expectMessageHas(finding, "normalise it to (0, 0, 1)");
}

TEST(AxisRules, AnAxisWithinTheToleranceOfUnitLengthPasses) {
    EXPECT_EQ(describe(check(twoLinks("revolute", R"(<axis xyz="0 0 1.000001"/>)" + goodLimit))),
              "");
    EXPECT_EQ(rulesOf(check(twoLinks("revolute", R"(<axis xyz="0 0 1.0000011"/>)" + goodLimit))),
              std::vector<std::string>{"axis-not-unit"});
}

TEST(AxisRules, OnlyAMisspeltXyzSilencesAZeroAxis) {
    const std::string ignoredOnLimit =
        R"(<axis xyz="0 0 0"/><limit lower="-1" upper="1" effort="10" velocity="1" k_velocity="1"/>)";
    EXPECT_EQ(rulesOf(check(twoLinks("revolute", ignoredOnLimit))),
              (std::vector<std::string>{"axis-zero", "attribute-ignored"}));
    EXPECT_EQ(rulesOf(check(twoLinks("revolute", R"(<axis QQQ="1"/>)" + goodLimit))),
              (std::vector<std::string>{"axis-zero", "attribute-unknown"}));
    EXPECT_EQ(rulesOf(check(twoLinks("revolute", R"(<origin xzy="0 0 1"/><axis/>)" + goodLimit))),
              (std::vector<std::string>{"axis-zero", "attribute-misspelt"}));
    EXPECT_EQ(rulesOf(check(twoLinks("revolute", R"(<axis xzy="0 0 1"/>)" + goodLimit))),
              std::vector<std::string>{"attribute-misspelt"});
}

TEST(AxisRules, AnInteractionRenamedForALinkPointsAtItsJoint) {
    // Joint "arm" shares its name with a link: its interaction is "joint_arm".
    // clang-format off
    const std::string urdf = R"(<robot name="r">
      <link name="base">)" + unitInertial + R"(</link><link name="arm">)" + unitInertial + R"(</link>
      <joint name="arm" type="revolute"><parent link="base"/><child link="arm"/>
        <axis xyz="0 0 0"/>)" + goodLimit + R"(</joint>
    </robot>)";
    // clang-format on
    const Finding finding = only(check(urdf), "axis-zero");
    EXPECT_EQ(finding.subject, "interaction 'joint_arm'");
    expectPlace(finding, Element::Axis, "arm");
}

// ---------------------------------------------------------------------------------------------
// Ranges and actuators

TEST(RangeRules, AnInvertedRangeIsAnError) {
    const Finding finding =
        only(check(twoLinks("revolute", limit("1", "-1", "10"))), "range-inverted");
    EXPECT_EQ(finding.severity, Severity::Error);
    expectPlace(finding, Element::Limit, "j");
    expectMessageHas(finding, "range from 1 to -1");
}

TEST(RangeRules, EqualBoundsAreNotInvertedButFreezeTheJoint) {
    const Finding finding =
        only(check(twoLinks("prismatic", limit("0", "0", "10"))), "range-empty");
    EXPECT_EQ(finding.severity, Severity::Warning);
    expectPlace(finding, Element::Limit, "j");
    expectMessageHas(finding, "frozen");
}

TEST(RangeRules, TheNarrowestRangePasses) {
    EXPECT_EQ(describe(check(twoLinks("revolute", limit("0", "0.0000000001", "10")))), "");
}

TEST(RangeRules, AnInitialValueClampedToABoundIsANote) {
    const Finding finding =
        only(check(twoLinks("revolute", limit("0.5", "1.5", "10"))), "initial-clamped");
    EXPECT_EQ(finding.severity, Severity::Note);
    expectPlace(finding, Element::Limit, "j");
    expectMessageHas(finding,
                     "initial angle is 0.5, the lower limit: 0 lies outside the range [0.5, 1.5]");
    expectMessageHas(only(check(twoLinks("prismatic", limit("-2", "-1", "10"))), "initial-clamped"),
                     "initial position is -1, the upper limit");
}

TEST(RangeRules, ARangeStartingAtZeroNeedsNoClamp) {
    EXPECT_EQ(describe(check(twoLinks("revolute", limit("0", "1.5", "10")))), "");
    EXPECT_EQ(describe(check(twoLinks("revolute", limit("-1.5", "0", "10")))), "");
}

TEST(EffortRules, ANegativeEffortIsAnError) {
    const Finding finding =
        only(check(twoLinks("revolute", limit("-1", "1", "-3"))), "effort-negative");
    EXPECT_EQ(finding.severity, Severity::Error);
    expectPlace(finding, Element::Limit, "j");
    expectMessageHas(finding, "effort limit -3 is negative");
}

TEST(EffortRules, AZeroEffortCannotDriveTheJoint) {
    const Finding finding = only(check(twoLinks("revolute", limit("-1", "1", "0"))), "effort-zero");
    EXPECT_EQ(finding.severity, Severity::Warning);
    expectPlace(finding, Element::Limit, "j");
    // A continuous joint has no range but an actuator all the same.
    only(check(twoLinks("continuous", R"(<limit effort="0" velocity="1"/>)")), "effort-zero");
}

TEST(EffortRules, TheSmallestPositiveEffortPasses) {
    EXPECT_EQ(describe(check(twoLinks("revolute", limit("-1", "1", "0.0000000001")))), "");
}

// ---------------------------------------------------------------------------------------------
// Mimic joints

// base with arm on joint "lead" and hand on joint "follow", which holds `mimic`; "lead" holds
// `leadMimic`.
std::string mimicRobot(const std::string& mimic, const std::string& leadMimic = "") {
    // clang-format off
    return R"(<robot name="r">
      <link name="base">)" + unitInertial + R"(</link>
      <link name="arm">)" + unitInertial + R"(</link>
      <link name="hand">)" + unitInertial + R"(</link>
      <joint name="lead" type="revolute"><parent link="base"/><child link="arm"/>)" + goodLimit +
      leadMimic + R"(</joint>
      <joint name="follow" type="revolute"><parent link="arm"/><child link="hand"/>)" + goodLimit +
      "\n" + mimic + R"(</joint>
    </robot>)";
    // clang-format on
}

TEST(MimicRules, AFollowerIsAWarningAtItsMimicNamingLeaderMultiplierAndOffset) {
    const std::string urdf = mimicRobot(R"(<mimic joint="lead" multiplier="-0.5" offset="0.25"/>)");
    const Finding finding = only(check(urdf), "mimic-not-carried");
    EXPECT_EQ(finding.severity, Severity::Warning);
    EXPECT_EQ(finding.subject, "interaction 'follow'");
    expectPlace(finding, Element::Mimic, "follow");
    expectMessageHas(finding, "mimics joint 'lead' (multiplier -0.5, offset 0.25)");
    EXPECT_EQ(readUrdfElements(urdf).lineOf(finding.place), 7);
    // Without multiplier and offset: 1 and 0.
    expectMessageHas(only(check(mimicRobot(R"(<mimic joint="lead"/>)")), "mimic-not-carried"),
                     "(multiplier 1, offset 0)");
}

TEST(MimicRules, AMissingLeaderItselfOrACycleIsAnError) {
    const auto fault = [](const std::string& urdf) {
        const auto findings = check(urdf);
        std::vector<std::string> messages;
        for (const Finding& finding : findings) {
            EXPECT_EQ(finding.rule, "mimic-invalid") << finding.message;
            EXPECT_EQ(finding.severity, Severity::Error);
            messages.push_back(finding.subject + ": " + finding.message);
        }
        return messages;
    };
    const auto missing = fault(mimicRobot(R"(<mimic joint="elbow"/>)"));
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_NE(missing[0].find("follows joint 'elbow', which the robot does not have"),
              std::string::npos)
        << missing[0];
    const auto itself = fault(mimicRobot(R"(<mimic joint="follow"/>)"));
    ASSERT_EQ(itself.size(), 1u);
    EXPECT_NE(itself[0].find("follows its own joint"), std::string::npos) << itself[0];
    const auto cycle = fault(mimicRobot(R"(<mimic joint="lead"/>)", R"(<mimic joint="follow"/>)"));
    ASSERT_EQ(cycle.size(), 2u);
    for (const std::string& message : cycle) {
        EXPECT_NE(message.find("closes a cycle of mimics"), std::string::npos) << message;
    }
}

// ---------------------------------------------------------------------------------------------
// Geometries and meshes

TEST(GeometryRules, ASizeThatIsNotPositiveIsAnError) {
    const Finding sphere =
        only(check(oneLink(R"(<collision><geometry><sphere radius="0"/></geometry></collision>)")),
             "geometry-size");
    EXPECT_EQ(sphere.severity, Severity::Error);
    EXPECT_EQ(sphere.subject, "geometry 'contact_geometry' of body 'a'");
    expectPlace(sphere, Element::Collision, "a");
    expectMessageHas(sphere, "sphere radius 0 is not positive");
    const Finding cylinder = only(
        check(
            oneLink(R"(<visual><geometry><cylinder radius="1" length="-2"/></geometry></visual>)")),
        "geometry-size");
    expectPlace(cylinder, Element::Visual, "a", 0, true);
    expectMessageHas(cylinder, "cylinder radius 1 and length -2");
}

TEST(GeometryRules, TheIndexCountsTheLinksElementsInOrder) {
    // clang-format off
    const Finding box = only(check(oneLink(R"(
      <collision><geometry><sphere radius="1"/></geometry></collision>
      <visual name="v0"><geometry><sphere radius="1"/></geometry></visual>
      <visual name="v1"><geometry><box size="1 0 -1"/></geometry></visual>)")), "geometry-size");
    // clang-format on
    EXPECT_EQ(box.subject, "geometry 'v1' of body 'a'");
    expectPlace(box, Element::Visual, "a", 1, true);
    expectMessageHas(box, "box size (1, 0, -1)");
}

TEST(GeometryRules, TheSmallestPositiveSizesPass) {
    EXPECT_EQ(describe(check(oneLink(R"(
      <collision><geometry><sphere radius="0.0000000001"/></geometry></collision>
      <collision><geometry><box size="0.0000000001 1 1"/></geometry></collision>
      <visual><geometry><cylinder radius="0.0000000001" length="0.0000000001"/></geometry></visual>)"))),
              "");
}

std::string meshLink(const std::string& attributes, bool visual = false) {
    const std::string element = visual ? "visual" : "collision";
    return oneLink("<" + element + "><geometry><mesh " + attributes + "/></geometry></" + element +
                   ">");
}

TEST(MeshRules, AZeroScaleFactorIsAnError) {
    const Finding finding =
        only(check(meshLink(R"(filename="m.stl" scale="1 0 1")", true)), "mesh-scale-zero");
    EXPECT_EQ(finding.severity, Severity::Error);
    expectPlace(finding, Element::Mesh, "a", 0, true);
    expectMessageHas(finding, "mesh scale (1, 0, 1) has a zero factor");
}

TEST(MeshRules, ANegativeProductOfFactorsMirrors) {
    const Finding finding =
        only(check(meshLink(R"(filename="m.stl" scale="1 1 -1")")), "mesh-mirrored");
    EXPECT_EQ(finding.severity, Severity::Warning);
    expectPlace(finding, Element::Mesh, "a");
    expectMessageHas(finding, "(1, 1, -1) mirrors");
}

TEST(MeshRules, TwoNegativeFactorsAndTheSmallestFactorPass) {
    EXPECT_EQ(describe(check(meshLink(R"(filename="m.stl" scale="-1 -1 1")"))), "");
    EXPECT_EQ(describe(check(meshLink(R"(filename="m.stl" scale="0.0000000001 1 1")"))), "");
}

TEST(MeshRules, AMissingFileListsEveryPlaceTried) {
    const ScratchDir dir;
    const MeshLocator locator(PackageSearch{}, dir.path());
    const Finding finding =
        only(check(meshLink(R"(filename="meshes/missing.stl")"), 10, &locator), "mesh-not-found");
    EXPECT_EQ(finding.severity, Severity::Error);
    expectPlace(finding, Element::Mesh, "a");
    expectMessageHas(finding, (dir.path() / "meshes/missing.stl").string());
    const Finding package =
        only(check(meshLink(R"(filename="package://nowhere/m.stl")", true), 10, &locator),
             "mesh-not-found");
    expectPlace(package, Element::Mesh, "a", 0, true);
    expectMessageHas(package, "nowhere");
    only(check(meshLink(R"(filename="package:///m.stl")"), 10, &locator), "mesh-not-found");
}

TEST(MeshRules, AFileThatIsEmptyAFolderOrUnreadable) {
    const ScratchDir dir;
    writeFile(dir / "empty.stl", "");
    fs::create_directory(dir / "folder.stl");
    writeFile(dir / "good.stl", "solid x\nendsolid x\n");
    const MeshLocator locator(PackageSearch{}, dir.path());
    expectMessageHas(
        only(check(meshLink(R"(filename="empty.stl")"), 10, &locator), "mesh-unreadable"), "empty");
    expectMessageHas(
        only(check(meshLink(R"(filename="folder.stl")"), 10, &locator), "mesh-unreadable"),
        "folder");
    EXPECT_EQ(describe(check(meshLink(R"(filename="good.stl")"), 10, &locator)), "");
    if (::geteuid() != 0) {
        writeFile(dir / "locked.stl", "solid x\n");
        fs::permissions(dir / "locked.stl", fs::perms::none);
        only(check(meshLink(R"(filename="locked.stl")"), 10, &locator), "mesh-unreadable");
    }
}

// ---------------------------------------------------------------------------------------------
// Markup urdfdom reads past

struct SpellingCase {
    const char* written;  // on the sphere or the box of link "a"
    std::string rule;
    std::string message;
};

// Up to 4 letters a name may be 1 edit off the one meant, longer ones 2.
TEST(MarkupRules, ADidYouMeanOnlyWithinTheEditsTheNamesLengthAllows) {
    const std::vector<SpellingCase> cases{
        {R"(<sphere radius="0.1" radi="0.1"/>)", "attribute-unknown",
         "'radi' on <sphere> is not read by urdfdom: ignored"},
        {R"(<box size="1 1 1" szie="1 1 1"/>)", "attribute-misspelt",
         "'szie' on <box> is ignored ('size' keeps its default); did you mean 'size'?"},
        {R"(<sphere radius="0.1" radxs="0.1"/>)", "attribute-misspelt",
         "'radxs' on <sphere> is ignored ('radius' keeps its default); did you mean 'radius'?"},
    };
    for (const SpellingCase& c : cases) {
        SCOPED_TRACE(c.written);
        const std::string geometry = std::string("<geometry>") + c.written + "</geometry>";
        const Finding finding = only(check(oneLink("<visual>" + geometry + "</visual>")), c.rule);
        EXPECT_EQ(finding.message, c.message);
    }
}

TEST(MarkupRules, AMisplacedElementNamesEveryPlaceUrdfdomReadsIt) {
    const Finding finding =
        only(check(oneLink(R"(<origin xyz="0 0 1"/>)" + unitInertial)), "element-misplaced");
    EXPECT_EQ(finding.subject, "link 'a'");
    EXPECT_EQ(finding.message,
              "<origin> in <link> is ignored: the link's geometries and inertia stay at the link's "
              "origin; urdfdom reads it in <inertial>, <visual>, <collision> or <joint>");
}

// ---------------------------------------------------------------------------------------------
// Name clashes

// Links named `links` (with mass where not listed in `massless`), one a line from line 2, then
// `joints`.
std::string namedLinks(const std::vector<std::string>& links, const std::string& joints,
                       const std::set<std::string>& massless = {}) {
    std::string urdf = "<robot name=\"r\">\n";
    for (const std::string& link : links) {
        urdf += "<link name=\"" + link + "\">" + (massless.contains(link) ? "" : unitInertial) +
                "</link>\n";
    }
    return urdf + joints + "</robot>";
}

std::string jointLine(const std::string& name, const std::string& type, const std::string& parent,
                      const std::string& child) {
    return "<joint name=\"" + name + "\" type=\"" + type + "\"><parent link=\"" + parent +
           "\"/><child link=\"" + child + "\"/>" + (type == "fixed" ? "" : goodLimit) +
           "</joint>\n";
}

struct ClashCase {
    const char* what;
    std::string urdf;
    std::string subject;
    Element element;  // where the finding stands: the later member's URDF element
    std::string owner;
    int line;
    std::string members;  // the message's list of the members named alike
};

TEST(NameClashRule, TwoMembersOfOneNameAreOneErrorNamingBothElementsAtTheirLines) {
    const std::string renamed = "renamed, as link 'b' has the joint's name";
    const std::vector<ClashCase> cases{
        {"a renamed joint beside a joint of its new name, both with a range and an actuator",
         namedLinks({"base", "b", "c"}, jointLine("b", "revolute", "base", "b") +
                                            jointLine("joint_b", "revolute", "base", "c")),
         "interaction 'joint_b'", Element::Joint, "joint_b", 6,
         "2 members of the document are named 'joint_b': the interaction of joint 'b' (line 5; " +
             renamed + ") and the interaction of joint 'joint_b' (line 6)"},
        {"a renamed joint beside a link of its new name",
         namedLinks({"base", "b", "joint_b"}, jointLine("b", "fixed", "base", "b") +
                                                  jointLine("j", "fixed", "base", "joint_b")),
         "interaction 'joint_b'", Element::Joint, "b", 5,
         "2 members of the document are named 'joint_b': the body of link 'joint_b' (line 4) and "
         "the interaction of joint 'b' (line 5; " +
             renamed + ")"},
        {"a range beside a link of its name",
         namedLinks({"base", "arm", "j_range"}, jointLine("j", "revolute", "base", "arm") +
                                                    jointLine("k", "fixed", "base", "j_range")),
         "range 'j_range'", Element::Joint, "j", 5,
         "2 members of the document are named 'j_range': the body of link 'j_range' (line 4) and "
         "the range of joint 'j' (line 5)"},
        {"two kinematic locks named after their links alike",
         namedLinks({"a", "a_b", "c", "b_c"},
                    jointLine("j1", "fixed", "a_b", "c") + jointLine("j2", "fixed", "a", "b_c") +
                        jointLine("j3", "revolute", "a", "a_b"),
                    {"c", "b_c"}),
         "kinematic lock 'a_b_c_kinematic_lock'", Element::Link, "a_b", 3,
         "2 members of the document are named 'a_b_c_kinematic_lock': the kinematic lock of link "
         "'a' (line 2) and the kinematic lock of link 'a_b' (line 3)"},
    };
    for (const ClashCase& c : cases) {
        SCOPED_TRACE(c.what);
        const Finding finding = only(check(c.urdf), "name-clash");
        EXPECT_EQ(finding.severity, Severity::Error);
        EXPECT_EQ(finding.subject, c.subject);
        expectPlace(finding, c.element, c.owner);
        EXPECT_EQ(readUrdfElements(c.urdf).lineOf(finding.place), c.line);
        EXPECT_EQ(finding.message, c.members +
                                       "; the host cannot tell them apart: rename one of "
                                       "them");
    }
}

// ---------------------------------------------------------------------------------------------
// Names, order, real robots

TEST(CheckModel, NamesAreQuotedAsHostTextQuotesThem) {
    const std::string urdf = R"(<robot name="r"><link name="fore arm">)" +
                             inertial("-1", "1", "1", "1") + "</link></robot>";
    const Finding finding = only(check(urdf), "mass-negative");
    EXPECT_EQ(finding.subject, "body 'fore arm'");
    EXPECT_EQ(finding.place.owner, "fore arm");
}

TEST(CheckModel, FindingsFollowTheModelBodiesFirstThenInteractions) {
    // clang-format off
    const std::string urdf = R"(<robot name="r">
      <link name="b">)" + inertial("-1", "1", "1", "1") + R"(</link>
      <link name="a">)" + inertial("1", "0.1", "0.2", "0.5") + R"(
        <collision><geometry><sphere radius="-1"/></geometry></collision></link>
      <joint name="j" type="revolute"><parent link="a"/><child link="b"/>
        <axis xyz="0 0 3"/>)" + limit("1", "-1", "0") + R"(</joint>
    </robot>)";
    // clang-format on
    const auto findings = check(urdf);
    // Bodies in the order of the model (urdfdom's links by name), each rule in its order.
    EXPECT_EQ(rulesOf(findings),
              (std::vector<std::string>{"inertia-triangle", "geometry-size", "mass-negative",
                                        "axis-not-unit", "range-inverted", "effort-zero"}))
        << describe(findings);
}

bool sameFindings(const std::vector<Finding>& a, const std::vector<Finding>& b) {
    return std::equal(
        a.begin(), a.end(), b.begin(), b.end(), [](const Finding& x, const Finding& y) {
            return x.severity == y.severity && x.subject == y.subject && x.message == y.message &&
                   x.rule == y.rule && x.place.element == y.place.element &&
                   x.place.owner == y.place.owner && x.place.index == y.place.index &&
                   x.place.visual == y.place.visual;
        });
}

TEST(CheckModel, EveryValidCorpusRobotChecksTheSameTwice) {
    CORVANE_SKIP_WITHOUT_CORPUS();
    const auto files = corpusFiles("valid");
    ASSERT_FALSE(files.empty());
    std::size_t withFindings = 0;
    std::map<std::string, std::size_t> robotsByRule;
    for (const auto& file : files) {
        SCOPED_TRACE(file.string());
        const std::string urdf = readFile(file);
        const MeshLocator locator(PackageSearch{}, file.parent_path());
        const auto first = check(urdf, 10, &locator);
        const auto second = check(urdf, 10, &locator);
        EXPECT_TRUE(sameFindings(first, second));
        for (const Finding& finding : first) {
            EXPECT_FALSE(finding.rule.empty());
            EXPECT_FALSE(finding.subject.empty());
            EXPECT_FALSE(finding.message.empty());
            EXPECT_EQ(finding.message.find('\n'), std::string::npos) << finding.message;
        }
        if (!first.empty()) ++withFindings;
        std::set<std::string> rules;
        for (const Finding& finding : first) rules.insert(finding.rule);
        for (const std::string& rule : rules) ++robotsByRule[rule];
    }
    std::cout << withFindings << " of " << files.size() << " valid corpus robots have findings\n";
    for (const auto& [rule, robots] : robotsByRule)
        std::cout << "  " << rule << ": " << robots << "\n";
}

}  // namespace
