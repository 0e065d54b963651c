// The host's assignment nodes keep a type, members, annotations and unusual tokens only when they
// have them; every way of making and filling a node must still read back what was put in.
#include <gtest/gtest.h>

#include <corvane/Builders.hpp>
#include <corvane/Syntax.hpp>
#include <string>
#include <vector>

namespace {

using namespace corvane;

std::vector<Token> identifiers(const std::vector<std::string>& names) {
    std::vector<Token> tokens;
    for (const auto& name : names) tokens.push_back(Token::identifier(name));
    return tokens;
}

VarAssignmentPtr plain(const std::string& name) {
    return VarAssignment::createAssignment(identifiers({name}),
                                           Constant::create(Token::identifier("v")));
}

std::vector<std::string> targetsOf(const VarAssignment::Members& members) {
    std::vector<std::string> names;
    for (const auto& member : members) names.push_back(member->target().front().lexeme);
    return names;
}

TEST(SyntaxNodes, PlainAssignmentsTakeMembersWhenGivenThem) {
    const auto node = plain("a");
    EXPECT_TRUE(node->members().empty());
    EXPECT_TRUE(node->type().empty());
    node->reserveMembers(0);
    node->appendToMembers(plain("b"));
    const auto c = plain("c");
    node->appendToMembers(c);
    EXPECT_EQ(targetsOf(node->members()), (std::vector<std::string>{"b", "c"}));
    EXPECT_TRUE(node->type().empty());
    EXPECT_FALSE(node->declaresType());
}

TEST(SyntaxNodes, EveryMakerKeepsTypeMembersAndTokens) {
    const auto declaration = VarAssignment::createDeclaration(
        identifiers({"body"}), identifiers({"Physics", "Body"}), {plain("m")});
    EXPECT_TRUE(declaration->declaresType());
    EXPECT_EQ(declaration->type(), identifiers({"Physics", "Body"}));
    EXPECT_EQ(targetsOf(declaration->members()), std::vector<std::string>{"m"});

    const Token start{TokenKind::Identifier, "start", 3, 4};
    const auto full = VarAssignment::create(
        start, identifiers({"x"}), Token::keywordIs(), identifiers({"T"}), Token::placeholder(),
        {Constant::create(Token::identifier("note"))}, {plain("p"), nullptr}, nullptr);
    EXPECT_EQ(full->startToken(), start);
    EXPECT_EQ(full->type(), identifiers({"T"}));
    ASSERT_EQ(full->members().size(), 2u);
    EXPECT_EQ(full->members()[1], nullptr);
    EXPECT_EQ(full->annotations().size(), 1u);

    // A reserved list stays reserved: filling it up to that size does not move its members.
    VarAssignment::Members reserved;
    reserved.reserve(4);
    const auto filled =
        VarAssignment::create(Token::placeholder(), identifiers({"r"}), Token::placeholder(), {},
                              Token::placeholder(), {}, std::move(reserved), nullptr);
    filled->appendToMembers(plain("first"));
    const auto* first = &filled->members().front();
    for (const char* name : {"2", "3", "4"}) filled->appendToMembers(plain(name));
    EXPECT_EQ(&filled->members().front(), first);
}

TEST(SyntaxNodes, ClonesCopyTypeMembersAndValueDeeply) {
    const auto original =
        VarAssignment::createDeclaration(identifiers({"g"}), identifiers({"Shapes", "Box"}), {});
    original->appendToMembers(plain("size"));
    const auto copy = original->clone();
    EXPECT_EQ(copy->type(), original->type());
    ASSERT_EQ(copy->members().size(), 1u);
    EXPECT_NE(copy->members()[0], original->members()[0]);
    EXPECT_EQ(copy->members()[0]->target(), original->members()[0]->target());
    EXPECT_NE(copy->members()[0]->value(), original->members()[0]->value());

    original->appendToMembers(plain("later"));
    EXPECT_EQ(copy->members().size(), 1u);
    EXPECT_TRUE(plain("leaf")->clone()->members().empty());
}

TEST(SyntaxNodes, NodesSharingTokenListsReadThemWhileAnyHoldsThem) {
    TokenList path = makeTokenList(identifiers({"inertia", "mass"}));
    TokenList type = makeTokenList(identifiers({"Physics", "Body"}));
    const auto a = VarAssignment::createAssignment(path, Constant::create(Token::identifier("1")));
    const auto b = VarAssignment::createDeclaration(path, type, {});
    const auto copy = b->clone();
    path.reset();
    type.reset();
    EXPECT_EQ(a->target(), identifiers({"inertia", "mass"}));
    EXPECT_EQ(b->target(), a->target());
    EXPECT_EQ(copy->target(), a->target());
    EXPECT_EQ(copy->type(), identifiers({"Physics", "Body"}));

    // No list, or an empty one, reads as no tokens; a declaration keeps its keyword either way.
    const auto bare = VarAssignment::createDeclaration(nullptr, makeTokenList({}), {});
    EXPECT_TRUE(bare->target().empty());
    EXPECT_TRUE(bare->type().empty());
    EXPECT_TRUE(bare->declaresType());
    EXPECT_TRUE(bare->clone()->type().empty());
}

}  // namespace

namespace {

std::vector<std::string> lexemesOf(const std::vector<corvane::Token>& tokens) {
    std::vector<std::string> lexemes;
    for (const auto& token : tokens) lexemes.push_back(token.lexeme);
    return lexemes;
}

// Dotted paths split as Internal::split splits them, empty pieces included; a head stays whole.
TEST(SyntaxBuilders, DottedIdentifiersSplitThePathAndKeepTheHeadWhole) {
    using corvane::NodeBuilder::dottedIdentifiers;
    for (const std::string path : {"a", "", "a.b.c", ".x", "a..b", "a."}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(lexemesOf(dottedIdentifiers(path)), corvane::Internal::split(path, "."));
    }
    EXPECT_EQ(lexemesOf(dottedIdentifiers("main_axis.x", "j1.mc")),
              (std::vector<std::string>{"j1.mc", "main_axis", "x"}));
}

TEST(SyntaxBuilders, ImportStatementsHoldTheirTypeSegmentsAsIdentifiers) {
    const auto import = corvane::NodeBuilder::importStatement({"Robots", "Arm"});
    ASSERT_TRUE(import);
    EXPECT_EQ(import->getTypeSegments(),
              (std::vector<corvane::Token>{corvane::Token::identifier("Robots"),
                                           corvane::Token::identifier("Arm")}));
    EXPECT_TRUE(corvane::NodeBuilder::importStatement({})->getTypeSegments().empty());
}

}  // namespace
