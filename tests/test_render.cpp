// The host's document rendering: the exact JSON form, and host text whose structure no name can
// change.
#include <gtest/gtest.h>

#include <algorithm>
#include <corvane/Builders.hpp>
#include <corvane/Render.hpp>
#include <corvane/Syntax.hpp>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace corvane;
// Parsed JSON is read with at(): a missing key or index throws and fails the test, where
// operator[] on a const value would read past the end.
using Json = nlohmann::json;

std::vector<Token> identifiers(const std::vector<std::string>& lexemes) {
    std::vector<Token> tokens;
    for (const auto& lexeme : lexemes) tokens.push_back(Token::identifier(lexeme));
    return tokens;
}

ExpressionPtr real(const std::string& lexeme) {
    return Constant::create(Token{TokenKind::RealLiteral, lexeme, 0, 0});
}

VarAssignmentPtr assignment(const std::vector<std::string>& target, ExpressionPtr value) {
    return VarAssignment::createAssignment(identifiers(target), std::move(value));
}

VarAssignmentPtr declaration(const std::vector<std::string>& target, const std::string& type,
                             VarAssignment::Members members = {}) {
    return AttrDeclBuilder()
        .withTargetSegments(target)
        .withTypeSegments(type)
        .withMembers(std::move(members))
        .build();
}

ModelDeclarationPtr robotModel(const std::string& name) {
    return ModelDeclaration::create(Token::placeholder(), Token::identifier(name),
                                    Token::placeholder(),
                                    identifiers({"Robotics", "Robots", "Robot"}), {}, {}, {}, {});
}

DocumentPtr documentOf(const ModelDeclarationPtr& model) {
    return Document::create("urdf", {model});
}

// The arm of the typical import, cut down to one member of each shape.
DocumentPtr smallArm() {
    const auto model = robotModel("arm_robot");
    const auto body = declaration({"arm"}, "Physics3D.Bodies.RigidBody");
    model->appendToMembers(body);
    body->appendToMembers(assignment({"inertia", "mass"}, real("1.0000000000")));
    body->appendToMembers(declaration({"j1_mc"}, "Physics3D.Interactions.MateConnector"));
    const auto hinge = declaration({"j1"}, "Physics3D.Interactions.Hinge");
    model->appendToMembers(hinge);
    hinge->appendToMembers(
        assignment({"connectors"}, Array::create({NodeBuilder::reference({"base", "j1_mc"}),
                                                  NodeBuilder::reference({"arm", "j1_mc"})},
                                                 Token::placeholder(), Token::placeholder())));
    model->appendToMembers(assignment({"j1", "initial_angle"}, real("0.0000000000")));
    return documentOf(model);
}

Json parsedJson(const Document& document) {
    return Json::parse(Render::toJson(document));
}

// ---------------------------------------------------------------------------------------------

TEST(RenderJson, WritesEveryNodeKindInTheDocumentedShape) {
    // clang-format off
    const Json expected = Json::parse(R"({
      "document": "urdf",
      "nodes": [{
        "node": "ModelDeclaration", "name": "arm_robot", "type": ["Robotics", "Robots", "Robot"],
        "members": [
          {"node": "VarAssignment", "target": ["arm"], "is": true,
           "type": ["Physics3D", "Bodies", "RigidBody"], "value": null,
           "members": [
             {"node": "VarAssignment", "target": ["inertia", "mass"], "is": false, "type": [],
              "members": [],
              "value": {"node": "Constant", "token": {"kind": 20, "lexeme": "1.0000000000"}}},
             {"node": "VarAssignment", "target": ["j1_mc"], "is": true,
              "type": ["Physics3D", "Interactions", "MateConnector"], "members": [],
              "value": null}]},
          {"node": "VarAssignment", "target": ["j1"], "is": true,
           "type": ["Physics3D", "Interactions", "Hinge"], "value": null,
           "members": [
             {"node": "VarAssignment", "target": ["connectors"], "is": false, "type": [],
              "members": [],
              "value": {"node": "Array", "elements": [
                {"node": "Reference", "segments": ["base", "j1_mc"]},
                {"node": "Reference", "segments": ["arm", "j1_mc"]}]}}]},
          {"node": "VarAssignment", "target": ["j1", "initial_angle"], "is": false, "type": [],
           "members": [],
           "value": {"node": "Constant", "token": {"kind": 20, "lexeme": "0.0000000000"}}}]
      }]
    })");
    // clang-format on
    EXPECT_EQ(parsedJson(*smallArm()), expected);
}

TEST(RenderJson, KeysFollowTheDocumentedOrder) {
    const std::string json = Render::toJson(*smallArm(), -1);
    EXPECT_EQ(json.find('\n'), std::string::npos) << "a negative indent gives one line";
    EXPECT_EQ(json.rfind(R"({"document":"urdf","nodes":[{"node":"ModelDeclaration","name":)", 0),
              0u);
    EXPECT_NE(json.find(R"({"node":"VarAssignment","target":["arm"],"is":true,"type":)"),
              std::string::npos);
    EXPECT_NE(json.find(R"("members":[],"value":{"node":"Constant","token":{"kind":20,)"),
              std::string::npos);
}

TEST(RenderJson, IsIsTrueOnlyForTheKeywordToken) {
    // A type without the keyword token in the "is" slot is not a declaration.
    const auto model = robotModel("r");
    model->appendToMembers(VarAssignment::create(Token::placeholder(), identifiers({"x"}),
                                                 Token::placeholder(), identifiers({"T"}),
                                                 Token::placeholder(), {}, {}, nullptr));
    model->appendToMembers(VarAssignment::create(
        Token::placeholder(), identifiers({"y"}), Token{TokenKind::Identifier, "is", 0, 0},
        identifiers({"T"}), Token::placeholder(), {}, {}, nullptr));
    const Json members = parsedJson(*documentOf(model)).at("nodes").at(0).at("members");
    EXPECT_EQ(members.at(0).at("is"), false);
    EXPECT_EQ(members.at(1).at("is"), false);
}

TEST(RenderJson, LexemesSurviveExactlyWhateverTheyHold) {
    const std::vector<std::string> lexemes{R"("a\"b")",
                                           "back\\slash",
                                           "line\nbreak\ttab",
                                           std::string("nul\0byte", 8),
                                           "\x01\x1f",
                                           "日本語 ünïcödé",
                                           "",
                                           "\"open"};
    const auto model = robotModel("quote\"model");
    for (const auto& lexeme : lexemes) {
        model->appendToMembers(assignment(
            {lexeme, "path"}, Constant::create(Token{TokenKind::StringLiteral, lexeme, 0, 0})));
    }
    const Json json = parsedJson(*documentOf(model));
    EXPECT_EQ(json.at("nodes").at(0).at("name"), "quote\"model");
    const Json& members = json.at("nodes").at(0).at("members");
    ASSERT_EQ(members.size(), lexemes.size());
    for (std::size_t i = 0; i < lexemes.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(members.at(i).at("target").at(0), lexemes[i]);
        EXPECT_EQ(members.at(i).at("value").at("token").at("kind"), TokenKind::StringLiteral);
        EXPECT_EQ(members.at(i).at("value").at("token").at("lexeme"), lexemes[i]);
    }
}

TEST(RenderJson, TextThatIsNotUtf8IsRefusedWithAReadableMessage) {
    const auto model = robotModel("r");
    model->appendToMembers(declaration({"caf\xe9"}, "Physics3D.Bodies.RigidBody"));
    try {
        Render::toJson(*documentOf(model));
        FAIL() << "expected a refusal";
    } catch (const std::invalid_argument& error) {
        const std::string message = error.what();
        EXPECT_EQ(message.rfind("cannot write JSON: the name 'caf\xe9' is not UTF-8 text (", 0), 0u)
            << message;
        EXPECT_NE(message.find("0xE9"), std::string::npos) << message;
    }
}

TEST(RenderJson, AFileNameThatIsNotUtf8IsNamedAsHostTextPrintsIt) {
    const auto model = robotModel("r");
    const std::string lexeme = "\"meshes/caf\xc3(.stl\"";
    model->appendToMembers(
        assignment({"path"}, Constant::create(Token{TokenKind::StringLiteral, lexeme, 0, 0})));
    try {
        Render::toJson(*documentOf(model), -1);
        FAIL() << "expected a refusal";
    } catch (const std::invalid_argument& error) {
        EXPECT_EQ(std::string(error.what()), "cannot write JSON: the literal " + lexeme +
                                                 " is not UTF-8 text (byte 0xC3 at index 11)");
    }
}

TEST(RenderJson, MissingNodesAndValuesBecomeNull) {
    const auto model = robotModel("r");
    model->appendToMembers(nullptr);
    model->appendToMembers(
        assignment({"a"}, Array::create({nullptr}, Token::placeholder(), Token::placeholder())));
    const Json members = parsedJson(*documentOf(model)).at("nodes").at(0).at("members");
    EXPECT_TRUE(members.at(0).is_null());
    EXPECT_TRUE(members.at(1).at("value").at("elements").at(0).is_null());
}

// ---------------------------------------------------------------------------------------------

TEST(RenderHostText, PrintsOneMemberPerLineWithNestedMembersIndented) {
    // clang-format off
    EXPECT_EQ(Render::toHostText(*smallArm()), R"(model arm_robot is Robotics.Robots.Robot
    arm is Physics3D.Bodies.RigidBody {
        inertia.mass = 1.0000000000;
        j1_mc is Physics3D.Interactions.MateConnector;
    }
    j1 is Physics3D.Interactions.Hinge {
        connectors = [base.j1_mc, arm.j1_mc];
    }
    j1.initial_angle = 0.0000000000;
end arm_robot;
)");
    // clang-format on
}

TEST(RenderHostText, LiteralsPrintAsTheyStandAndIdentifierConstantsAsNames) {
    const auto model = robotModel("r");
    model->appendToMembers(assignment(
        {"path"},
        Constant::create(Token{TokenKind::StringLiteral, R"("meshes/a \"b\".stl")", 0, 0})));
    model->appendToMembers(assignment({"mode"}, Constant::create(Token::identifier("fl.hx"))));
    model->appendToMembers(assignment({"big"}, real("-100000000000000000000.0000000000")));
    // clang-format off
    EXPECT_EQ(Render::toHostText(*documentOf(model)), R"(model r is Robotics.Robots.Robot
    path = "meshes/a \"b\".stl";
    mode = 'fl.hx';
    big = -100000000000000000000.0000000000;
end r;
)");
    // clang-format on
}

TEST(RenderHostText, DeclarationWithMembersAndValueKeepsBoth) {
    const auto model = robotModel("r");
    const auto node =
        VarAssignment::create(Token::placeholder(), identifiers({"x"}), Token::keywordIs(),
                              identifiers({"T"}), Token::placeholder(), {}, {}, real("1"));
    node->appendToMembers(assignment({"y"}, real("2")));
    model->appendToMembers(node);
    EXPECT_EQ(
        Render::toHostText(*documentOf(model)),
        "model r is Robotics.Robots.Robot\n    x is T {\n        y = 2;\n    } = 1;\nend r;\n");
}

TEST(RenderHostText, OddNamesAreQuotedSegmentBySegment) {
    const auto model = robotModel("my robot");
    const auto body = declaration(std::vector<std::string>{"fl.hip"}, "Physics3D.Bodies.RigidBody");
    body->appendToMembers(assignment({"it's", "x"}, real("1")));
    model->appendToMembers(body);
    model->appendToMembers(
        assignment({"connectors"}, NodeBuilder::reference({"fl.hip", "back\\slash", "ok_1"})));
    // clang-format off
    EXPECT_EQ(Render::toHostText(*documentOf(model)), R"(model 'my robot' is Robotics.Robots.Robot
    'fl.hip' is Physics3D.Bodies.RigidBody {
        'it\'s'.x = 1;
    }
    connectors = 'fl.hip'.'back\\slash'.ok_1;
end 'my robot';
)");
    // clang-format on
}

TEST(RenderHostText, NoNameCanBreakOutOfItsLine) {
    // A link name that tries to close the model and open members of its own.
    const std::string hostile = "x;\nend r;\nmodel evil is A {\n}'\\";
    const auto model = robotModel(hostile);
    model->appendToMembers(declaration(std::vector<std::string>{hostile}, "A.B"));
    const std::string text = Render::toHostText(*documentOf(model));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
    EXPECT_EQ(text,
              "model 'x;\\nend r;\\nmodel evil is A {\\n}\\'\\\\' is Robotics.Robots.Robot\n"
              "    'x;\\nend r;\\nmodel evil is A {\\n}\\'\\\\' is A.B;\n"
              "end 'x;\\nend r;\\nmodel evil is A {\\n}\\'\\\\';\n");
}

TEST(RenderHostText, ManyMembersRenderCompletely) {
    constexpr std::size_t count = 100'000;
    const auto model = robotModel("big");
    const auto body = declaration({"body"}, "Physics3D.Bodies.RigidBody");
    model->appendToMembers(body);
    for (std::size_t i = 0; i < count; ++i) {
        body->appendToMembers(assignment({"m" + std::to_string(i)}, real("0.5")));
    }
    const auto document = documentOf(model);
    const std::string text = Render::toHostText(*document);
    EXPECT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')), count + 4);
    EXPECT_NE(text.find("        m99999 = 0.5;\n    }\nend big;\n"), std::string::npos);
    const std::string json = Render::toJson(*document, -1);
    std::size_t assignments = 0;
    for (auto at = json.find(R"("node":"VarAssignment")"); at != std::string::npos;
         at = json.find(R"("node":"VarAssignment")", at + 1)) {
        ++assignments;
    }
    EXPECT_EQ(assignments, count + 1);
    EXPECT_TRUE(json.ends_with(R"("value":null}]}]})"));
}

// ---------------------------------------------------------------------------------------------

struct QuotedName {
    // Names the case in the test name: letters, digits and underscores only.
    std::string label;
    std::string name;
    std::string printed;
};

// GoogleTest shows a case by its label (and the failing comparison by the values it compared),
// not as a dump of the struct's bytes.
void PrintTo(const QuotedName& quoted, std::ostream* out) {
    *out << quoted.label;
}

class QuoteName : public ::testing::TestWithParam<QuotedName> {};

TEST_P(QuoteName, PrintsPlainIdentifiersBareAndEverythingElseQuoted) {
    EXPECT_EQ(Render::quoteName(GetParam().name), GetParam().printed);
    EXPECT_EQ(Render::isPlainIdentifier(GetParam().name), GetParam().name == GetParam().printed);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Names, QuoteName, ::testing::Values(
    QuotedName{"LowerCaseWithUnderscore", "base_link", "base_link"},
    QuotedName{"LeadingUnderscoreAndDigit", "_private9", "_private9"},
    QuotedName{"CapitalAndDigit", "Link2", "Link2"},
    QuotedName{"Dot", "fl.hip", "'fl.hip'"},
    QuotedName{"Quote", "it's", R"('it\'s')"},
    QuotedName{"Backslash", R"(back\slash)", R"('back\\slash')"},
    QuotedName{"Space", "two words", "'two words'"},
    QuotedName{"Hyphen", "left-arm", "'left-arm'"},
    QuotedName{"LeadingDigit", "9lives", "'9lives'"},
    QuotedName{"Empty", "", "''"},
    QuotedName{"LatinLetterInUtf8", "ärm", "'ärm'"},
    QuotedName{"CjkInUtf8", "腕", "'腕'"},
    QuotedName{"LineFeedTabCarriageReturn", "a\nb\tc\r", R"('a\nb\tc\r')"},
    QuotedName{"NulEscapeDelete", std::string("x\0\x1b\x7f", 4), R"('x\u0000\u001b\u007f')"}),
    [](const ::testing::TestParamInfo<QuotedName>& info) { return info.param.label; });
// clang-format on

}  // namespace
