// The JSON rendering is written straight from the tree; it must come out byte for byte as
// nlohmann-json lays out the same value, at every indent, whatever the names and lexemes hold.
// The expected text is built here through nlohmann-json from the tree, independently of the
// renderer.
#include <gtest/gtest.h>

#include <corvane/Builders.hpp>
#include <corvane/Render.hpp>
#include <corvane/Syntax.hpp>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestSupport.hpp"

namespace {

using namespace corvane;
using Json = nlohmann::ordered_json;

Json lexemes(const std::vector<Token>& tokens) {
    Json array = Json::array();
    for (const auto& token : tokens) array.push_back(token.lexeme);
    return array;
}

Json expressionValue(const ExpressionPtr& expression) {
    if (!expression) return nullptr;
    switch (expression->expressionKind()) {
        case Expression::Kind::Constant: {
            const Token& token = static_cast<const Constant&>(*expression).token();
            return Json{{"node", "Constant"},
                        {"token", Json{{"kind", token.kind}, {"lexeme", token.lexeme}}}};
        }
        case Expression::Kind::Array: {
            Json elements = Json::array();
            for (const auto& element : static_cast<const Array&>(*expression).elements()) {
                elements.push_back(expressionValue(element));
            }
            return Json{{"node", "Array"}, {"elements", elements}};
        }
        case Expression::Kind::Reference:
            return Json{{"node", "Reference"},
                        {"segments", static_cast<const Reference&>(*expression).segments()}};
    }
    return nullptr;
}

Json nodeValue(const NodePtr& node) {
    if (!node) return nullptr;
    if (const auto model = std::dynamic_pointer_cast<ModelDeclaration>(node)) {
        Json members = Json::array();
        for (const auto& member : model->members()) members.push_back(nodeValue(member));
        return Json{{"node", "ModelDeclaration"},
                    {"name", model->name().lexeme},
                    {"type", lexemes(model->type())},
                    {"members", members}};
    }
    if (const auto assignment = std::dynamic_pointer_cast<VarAssignment>(node)) {
        Json members = Json::array();
        for (const auto& member : assignment->members()) members.push_back(nodeValue(member));
        return Json{{"node", "VarAssignment"},
                    {"target", lexemes(assignment->target())},
                    {"is", assignment->isToken().kind == TokenKind::KeywordIs},
                    {"type", lexemes(assignment->type())},
                    {"members", members},
                    {"value", expressionValue(assignment->value())}};
    }
    if (const auto expression = std::dynamic_pointer_cast<Expression>(node)) {
        return expressionValue(expression);
    }
    return nullptr;
}

std::string libraryLayout(const Document& document, int indent) {
    Json nodes = Json::array();
    for (const auto& node : document.nodes()) nodes.push_back(nodeValue(node));
    return Json{{"document", document.name()}, {"nodes", nodes}}.dump(indent);
}

std::vector<Token> identifiers(const std::vector<std::string>& names) {
    std::vector<Token> tokens;
    for (const auto& name : names) tokens.push_back(Token::identifier(name));
    return tokens;
}

VarAssignmentPtr assignment(const std::string& name, ExpressionPtr value) {
    return VarAssignment::createAssignment(identifiers({name, "x"}), std::move(value));
}

// A document with every shape the renderer knows and texts that need escaping.
DocumentPtr awkwardDocument(const std::string& text) {
    const auto model = ModelDeclaration::create(Token::placeholder(), Token::identifier(text),
                                                Token::placeholder(), {}, {}, {}, {}, {});
    const auto body = AttrDeclBuilder()
                          .withTargetSegments(std::vector<std::string>{text})
                          .withTypeSegments("Physics3D.Bodies.RigidBody")
                          .build();
    model->appendToMembers(body);
    body->appendToMembers(
        assignment(text, Constant::create(Token{TokenKind::StringLiteral, text, 0, 0})));
    body->appendToMembers(assignment("empty", nullptr));
    model->appendToMembers(assignment(
        "refs", Array::create({NodeBuilder::reference({text, "b"}), nullptr,
                               Array::create({}, Token::placeholder(), Token::placeholder())},
                              Token::placeholder(), Token::placeholder())));
    model->appendToMembers(nullptr);
    model->appendToMembers(NodeBuilder::reference({}));
    model->appendToMembers(VarAssignment::create(
        Token{TokenKind::Identifier, "start", 3, 4}, identifiers({"odd"}),
        Token{TokenKind::Identifier, "is", 0, 0}, identifiers({"T"}), Token::placeholder(), {}, {},
        Constant::create(Token{-7, "x", 0, 0})));
    return Document::create(text, {model, nullptr});
}

constexpr int kIndents[] = {-1, 0, 2, 4};

TEST(RenderJsonLayout, CorpusRobotsRenderAsTheLibraryLaysThemOut) {
    CORVANE_SKIP_WITHOUT_CORPUS();
    const corvane::testing::LogCapture quiet;  // the import's warnings are not the subject here
    for (const auto& file : corvane::testing::corpusFiles("valid")) {
        const auto document = corvane::testing::importUrdf(corvane::testing::readFile(file));
        if (!document) continue;  // refused by the import: nothing to render
        // The default indent and one line; the other indents are covered below.
        for (const int indent : {2, -1}) {
            SCOPED_TRACE(file.filename().string() + " indent " + std::to_string(indent));
            ASSERT_EQ(Render::toJson(*document, indent), libraryLayout(*document, indent));
        }
    }
}

TEST(RenderJsonLayout, EscapesAndEveryShapeMatchTheLibrary) {
    const std::vector<std::string> texts{"plain",
                                         "",
                                         R"(quote " and backslash \)",
                                         std::string("nul\0 \x01 \x08 \x0c \x1f \x7f", 14),
                                         "line\nbreak\r\ttab/slash",
                                         "日本語 ünïcödé \xf0\x9f\xa4\x96",
                                         "\xef\xbf\xbf \xf4\x8f\xbf\xbf \xed\x9f\xbf"};
    for (const auto& text : texts) {
        const auto document = awkwardDocument(text);
        for (const int indent : kIndents) {
            SCOPED_TRACE(::testing::PrintToString(text) + " indent " + std::to_string(indent));
            EXPECT_EQ(Render::toJson(*document, indent), libraryLayout(*document, indent));
        }
    }
}

// Texts are checked for bytes that need escaping eight at a time, the last eight overlapping the
// ones before; every such byte must be found wherever it stands, at every length.
TEST(RenderJsonLayout, EscapesAreFoundAtEveryPositionOfEveryLength) {
    const std::vector<std::string> specials{std::string(1, '\0'), "\x1f",        "\"", "\\", "\n",
                                            "\xc3\xa9",           "\xe2\x82\xac"};
    // Bytes next to the special ones, which must stay as they are.
    const std::vector<std::string> neighbours{" ", "!", "#", "[", "]", "\x7f", "~"};
    for (std::size_t length = 1; length <= 25; ++length) {
        for (std::size_t at = 0; at < length; ++at) {
            for (const auto& pieces : {specials, neighbours}) {
                for (const auto& piece : pieces) {
                    std::string text(length, 'a');
                    text.replace(at, 1, piece);
                    const auto document = awkwardDocument(text);
                    SCOPED_TRACE(::testing::PrintToString(text));
                    ASSERT_EQ(Render::toJson(*document, -1), libraryLayout(*document, -1));
                }
            }
        }
    }
}

TEST(RenderJsonLayout, TextThatIsNotUtf8IsRefusedAsTheLibraryRefusesIt) {
    // Overlong, surrogate, past U+10FFFF, stray continuation, cut short at the end.
    const std::vector<std::string> texts{"\xc0\xaf", "a\xed\xa0\x80", "\xf4\x90\x80\x80",
                                         "ok\x80",   "caf\xc3",       "\xe2\x82"};
    for (const auto& text : texts) {
        SCOPED_TRACE(::testing::PrintToString(text));
        const auto document = awkwardDocument(text);
        std::string libraryMessage;
        try {
            libraryLayout(*document, 2);
        } catch (const nlohmann::json::type_error& error) {
            libraryMessage = error.what();
        }
        ASSERT_FALSE(libraryMessage.empty()) << "the library accepts it";
        try {
            Render::toJson(*document);
            ADD_FAILURE() << "expected a refusal";
        } catch (const std::invalid_argument& error) {
            // The first text written, the document's name, is named as host text prints names.
            const std::string named = "the name " + Render::quoteName(text) + " is not UTF-8 text";
            EXPECT_NE(std::string(error.what()).find(named), std::string::npos) << error.what();
        }
    }
}

}  // namespace
