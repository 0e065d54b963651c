// Real and string literals as they reach the imported model: fixed-point reals with the plugin's
// precision, whatever the process locale, and string literals that cannot leave their quotes.
#include <gtest/gtest.h>

#include <locale>
#include <regex>
#include <string>
#include <vector>

#include "TestSupport.hpp"

using namespace corvane;
using namespace corvane::testing;

namespace {

VarAssignmentPtr bodyNamed(const DocumentPtr& document, const std::string& name) {
    const auto model = modelOf(document);
    return model ? findMember(*model, {name}) : nullptr;
}

std::string lexemeAt(const VarAssignmentPtr& parent, const std::vector<std::string>& segments) {
    if (!parent) return "<no parent>";
    const auto member = findMember(*parent, segments);
    if (!member) return "<no member>";
    return constantLexeme(*member).value_or("<no constant>");
}

// A robot of one link whose inertial origin carries three chosen numbers (as URDF text) and whose
// mass is `mass`.
std::string robotWithNumbers(const std::string& mass, const std::string& x, const std::string& y,
                             const std::string& z) {
    return "<robot name='r'><link name='l'><inertial><origin xyz='" + x + " " + y + " " + z +
           "'/><mass value='" + mass +
           "'/><inertia ixx='1' ixy='0' ixz='0' iyy='1' iyz='0' izz='1'/></inertial></link>"
           "</robot>";
}

struct Numbers {
    std::string mass;
    std::string x;
    std::string y;
    std::string z;
};

Numbers importedNumbers(const std::string& urdf, int precision = 10) {
    const auto body = bodyNamed(importUrdf(urdf, precision), "l");
    const std::vector<std::string> position = {"kinematics", "local_cm_transform", "position"};
    auto at = [&](const std::string& component) {
        auto segments = position;
        segments.push_back(component);
        return lexemeAt(body, segments);
    };
    return {lexemeAt(body, {"inertia", "mass"}), at("x"), at("y"), at("z")};
}

// Every real literal token anywhere below `node`.
void collectRealLexemes(const VarAssignment& node, std::vector<std::string>& lexemes) {
    if (const auto lexeme = constantLexeme(node);
        lexeme &&
        std::static_pointer_cast<Constant>(node.value())->token().kind == TokenKind::RealLiteral) {
        lexemes.push_back(*lexeme);
    }
    for (const auto& member : node.members()) collectRealLexemes(*member, lexemes);
}

std::vector<std::string> realLexemes(const DocumentPtr& document) {
    std::vector<std::string> lexemes;
    if (const auto model = modelOf(document)) {
        for (const auto& node : assignments(*model)) collectRealLexemes(*node, lexemes);
    }
    return lexemes;
}

// clang-format off
const std::string kArmRobot = R"(
<robot name="arm_robot">
  <link name="base">
    <inertial><origin xyz="0.1 0.2 0.3" rpy="0.1 0.2 0.3"/><mass value="2.5"/>
      <inertia ixx="0.1" ixy="0.2" ixz="0.3" iyy="0.4" iyz="0.5" izz="0.6"/></inertial>
    <collision><geometry><box size="1 2 3"/></geometry></collision>
  </link>
  <link name="arm">
    <inertial><mass value="1.25"/><inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial>
    <visual><origin xyz="0 0 0.5"/><geometry><cylinder radius="0.05" length="1"/></geometry></visual>
  </link>
  <joint name="j1" type="revolute">
    <parent link="base"/><child link="arm"/><origin xyz="0 0 0.5" rpy="0 0 0.3"/>
    <axis xyz="0 0 1"/><limit lower="-1" upper="1" effort="10" velocity="1"/>
  </joint>
</robot>)";
// clang-format on

}  // namespace

// ---------------------------------------------------------------------------------------------
// Real literals

TEST(RealLiteral, HasTenDecimalsByDefault) {
    EXPECT_EQ(importedNumbers(robotWithNumbers("0.25", "0", "0", "0")).mass, "0.2500000000");
}

TEST(RealLiteral, KeepsSignAndWritesHugeValuesWithoutExponent) {
    const Numbers numbers = importedNumbers(robotWithNumbers("1", "-1.5", "1e20", "-2.75e-3"));
    EXPECT_EQ(numbers.x, "-1.5000000000");
    EXPECT_EQ(numbers.y, "100000000000000000000.0000000000");
    EXPECT_EQ(numbers.z, "-0.0027500000");
}

TEST(RealLiteral, TinyNegativeValuesAndNegativeZeroKeepTheirSign) {
    const Numbers numbers = importedNumbers(robotWithNumbers("1", "1e-12", "-1e-12", "-0"));
    EXPECT_EQ(numbers.x, "0.0000000000");
    EXPECT_EQ(numbers.y, "-0.0000000000");
    EXPECT_EQ(numbers.z, "-0.0000000000");
}

TEST(RealLiteral, RoundsToNearestWithTiesToEven) {
    // 0.125 and 0.375 are exact binary fractions, so at two decimals they are true ties.
    const Numbers numbers = importedNumbers(robotWithNumbers("1", "0.125", "0.375", "0.126"), 2);
    EXPECT_EQ(numbers.x, "0.12");
    EXPECT_EQ(numbers.y, "0.38");
    EXPECT_EQ(numbers.z, "0.13");
}

TEST(RealLiteral, PrecisionZeroWritesNoPointAndRoundsTiesToEven) {
    const Numbers numbers = importedNumbers(robotWithNumbers("2.5", "3.5", "-2.5", "0.6"), 0);
    EXPECT_EQ(numbers.mass, "2");
    EXPECT_EQ(numbers.x, "4");
    EXPECT_EQ(numbers.y, "-2");
    EXPECT_EQ(numbers.z, "1");
}

TEST(RealLiteral, NegativePrecisionWritesSixDecimals) {
    const Numbers numbers = importedNumbers(robotWithNumbers("0.25", "-1.5", "0", "1e-7"), -1);
    EXPECT_EQ(numbers.mass, "0.250000");
    EXPECT_EQ(numbers.x, "-1.500000");
    EXPECT_EQ(numbers.y, "0.000000");
    EXPECT_EQ(numbers.z, "0.000000");
}

TEST(RealLiteral, PrecisionAppliesToEveryRealAndStaysForTheNextImport) {
    Plugins::Urdf::UrdfPlugin plugin;
    plugin.setPrecision(3);
    const std::regex threeDecimals(R"(-?[0-9]+\.[0-9]{3})");
    for (int round = 0; round < 2; ++round) {
        ErrorReporter reporter;
        const auto lexemes = realLexemes(plugin.parse(kArmRobot, nullptr, reporter));
        // 2 x 17 mass members, 10 box and 9 cylinder members, 9 + 6 connector members, range,
        // actuator and initial value.
        EXPECT_EQ(lexemes.size(), 34u + 10u + 9u + 15u + 2u + 2u + 1u) << "import " << round;
        for (const auto& lexeme : lexemes) {
            EXPECT_TRUE(std::regex_match(lexeme, threeDecimals))
                << lexeme << " on import " << round;
        }
    }
}

namespace {

// The fixed-point text `integer`.`fraction`, the fraction padded with zeros to `decimals` digits.
std::string fixedText(const std::string& integer, const std::string& fraction, int decimals) {
    return integer + "." + fraction +
           std::string(static_cast<std::size_t>(decimals) - fraction.size(), '0');
}

void expectExactLexeme(const std::string& lexeme, const std::string& expected) {
    EXPECT_EQ(lexeme.size(), expected.size()) << "length";
    EXPECT_EQ(lexeme.find('\0'), std::string::npos) << "NUL byte in the lexeme";
    EXPECT_EQ(lexeme, expected);
}

}  // namespace

TEST(RealLiteral, PrecisionsBeyondTheStackBufferGiveExactLexemesOfTheirOwnLength) {
    // Up to 182 decimals a real is formatted in a buffer on the stack; from 183 on in a string on
    // the heap that is then cut to the length written. The doubles nearest 0.1 and 2^70 are
    // written out in full: 0.1 has 55 exact decimals, 2^70 none.
    const std::string tenth = "1000000000000000055511151231257827021181583404541015625";
    for (const int precision : {182, 183, 200}) {
        SCOPED_TRACE("precision " + std::to_string(precision));
        const Numbers numbers = importedNumbers(
            robotWithNumbers("1", "0.1", "-2.5", "1180591620717411303424"), precision);
        expectExactLexeme(numbers.mass, fixedText("1", "", precision));
        expectExactLexeme(numbers.x, fixedText("0", tenth, precision));
        expectExactLexeme(numbers.y, fixedText("-2", "5", precision));
        expectExactLexeme(numbers.z, fixedText("1180591620717411303424", "", precision));
    }
}

namespace {

// Decimal comma and grouped thousands, as a German locale writes numbers.
class GermanNumbers final : public std::numpunct<char> {
  protected:
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

class GlobalLocaleGuard {
  public:
    explicit GlobalLocaleGuard(const std::locale& locale)
        : previous_(std::locale::global(locale)) {}
    ~GlobalLocaleGuard() { std::locale::global(previous_); }
    GlobalLocaleGuard(const GlobalLocaleGuard&) = delete;
    GlobalLocaleGuard& operator=(const GlobalLocaleGuard&) = delete;

  private:
    std::locale previous_;
};

std::locale germanLocale() {
    try {
        return std::locale("de_DE.UTF-8");
    } catch (const std::runtime_error&) {
        return std::locale(std::locale::classic(), new GermanNumbers);
    }
}

}  // namespace

TEST(RealLiteral, IgnoresTheGlobalLocale) {
    const GlobalLocaleGuard guard(germanLocale());
    const Numbers numbers = importedNumbers(robotWithNumbers("0.25", "1234.5", "-1e6", "0"));
    EXPECT_EQ(numbers.mass, "0.2500000000");
    EXPECT_EQ(numbers.x, "1234.5000000000");
    EXPECT_EQ(numbers.y, "-1000000.0000000000");
}

TEST(RealLiteral, AssignmentSplitsItsAttributePathIntoIdentifiers) {
    const auto body = bodyNamed(importUrdf(robotWithNumbers("0.25", "0", "0", "0")), "l");
    ASSERT_TRUE(body);
    const auto e00 = findMember(*body, {"inertia", "tensor", "e00"});
    ASSERT_TRUE(e00);
    for (const auto& token : e00->target()) EXPECT_EQ(token.kind, TokenKind::Identifier);
    EXPECT_EQ(e00->isToken().kind, TokenKind::Placeholder);
    EXPECT_TRUE(e00->type().empty());
    EXPECT_TRUE(e00->members().empty());
    const auto token = constantToken(*e00);
    ASSERT_TRUE(token) << "the value is a constant";
    EXPECT_EQ(token->kind, TokenKind::RealLiteral);
    EXPECT_EQ(token->lexeme, "1.0000000000");
    EXPECT_EQ(token->line, 0);
    EXPECT_EQ(token->column, 0);
}

// ---------------------------------------------------------------------------------------------
// String literals, through mesh file names (written as XML attribute values, hence the entities)

namespace {

Token meshPathToken(const std::string& filenameAttribute) {
    const std::string urdf = "<robot name='r'><link name='l'><visual><geometry><mesh filename=\"" +
                             filenameAttribute + "\"/></geometry></visual></link></robot>";
    const auto body = bodyNamed(importUrdf(urdf), "l");
    if (!body || body->members().empty()) return Token{};
    const auto path = findMember(*body->members().front(), {"path"});
    if (!path) return Token{};
    return constantToken(*path).value_or(Token{});
}

std::string meshPathLexeme(const std::string& filenameAttribute) {
    return meshPathToken(filenameAttribute).lexeme;
}

}  // namespace

TEST(StringLiteral, IsAStringTokenOfTheQuotedName) {
    const Token token = meshPathToken("meshes/base.stl");
    EXPECT_EQ(token.kind, TokenKind::StringLiteral);
    EXPECT_EQ(token.lexeme, R"("meshes/base.stl")");
    EXPECT_EQ(meshPathLexeme("package://robot/meshes/base.dae"),
              R"("package://robot/meshes/base.dae")");
    EXPECT_EQ(meshPathLexeme(""), R"("")");
}

TEST(StringLiteral, TakesACompleteQuotedLiteralVerbatim) {
    EXPECT_EQ(meshPathLexeme("&quot;x&quot;"), R"("x")");
    EXPECT_EQ(meshPathLexeme("@&quot;x&quot;"), R"(@"x")");
    EXPECT_EQ(meshPathLexeme("&quot;&quot;"), R"("")");
    EXPECT_EQ(meshPathLexeme(R"(&quot;a\&quot;b\\c&quot;)"), R"("a\"b\\c")");
}

TEST(StringLiteral, QuotesAValueThatOnlyStartsLikeALiteral) {
    EXPECT_EQ(meshPathLexeme("@foo"), R"("@foo")");
    EXPECT_EQ(meshPathLexeme("@"), R"("@")");
    EXPECT_EQ(meshPathLexeme("&quot;open"), R"("\"open")");
    // Closed before the end: the rest would stand outside the quotes.
    EXPECT_EQ(meshPathLexeme("&quot;x&quot;; y = 1; &quot;z&quot;"), R"("\"x\"; y = 1; \"z\"")");
    // The closing quote is escaped, so the literal never ends.
    EXPECT_EQ(meshPathLexeme(R"(&quot;a\&quot;)"), R"("\"a\\\"")");
    // Escapes other than \" and \\ are not the host's literal syntax.
    EXPECT_EQ(meshPathLexeme(R"(&quot;a\nb&quot;)"), R"("\"a\\nb\"")");
    // A control byte inside the quotes.
    EXPECT_EQ(meshPathLexeme("&quot;a&#10;b&quot;"), R"("\"a\nb\"")");
}

TEST(StringLiteral, EscapesQuotesAndBackslashes) {
    EXPECT_EQ(meshPathLexeme("a&quot;b"), R"("a\"b")");
    EXPECT_EQ(meshPathLexeme(R"(C:\m\a.stl)"), R"("C:\\m\\a.stl")");
    EXPECT_EQ(meshPathLexeme(R"(\)"), R"("\\")");
}

TEST(StringLiteral, EscapesControlBytes) {
    EXPECT_EQ(meshPathLexeme("a&#10;b"), R"("a\nb")");
    EXPECT_EQ(meshPathLexeme("a&#13;b"), R"("a\rb")");
    EXPECT_EQ(meshPathLexeme("a&#9;b"), R"("a\tb")");
    EXPECT_EQ(meshPathLexeme("&#1;&#x1f;&#x1B;"), R"("\u0001\u001f\u001b")");
}

TEST(StringLiteral, LeavesBytesFromHex80Unchanged) {
    EXPECT_EQ(meshPathLexeme("maillage/épaule_ß.stl"), "\"maillage/épaule_ß.stl\"");
    EXPECT_EQ(meshPathLexeme("&#x7f;"), "\"\x7f\"");
}
