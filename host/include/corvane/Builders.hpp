// Builders and small utilities the host offers to code that makes syntax trees.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "corvane/Syntax.hpp"

namespace corvane {

namespace Internal {
// Splits `text` at every occurrence of `delimiter`, keeping empty pieces:
// "" gives one empty piece, ".x" gives "" and "x".
std::vector<std::string> split(std::string_view text, std::string_view delimiter);
}  // namespace Internal

// Builds an attribute declaration `target is Type.Path { members }`. Every step returns a new
// builder, so a partly configured builder can be reused; a step taken on a temporary builder, as
// in a chain of steps, moves its parts along instead of copying them.
class AttrDeclBuilder {
  public:
    AttrDeclBuilder() = default;

    // The target as ready-made segments; a segment may itself contain ".".
    AttrDeclBuilder withTargetSegments(std::vector<std::string> segments) const&;
    AttrDeclBuilder withTargetSegments(std::vector<std::string> segments) &&;
    // The type as a dotted path, split at ".".
    AttrDeclBuilder withTypeSegments(std::string_view dottedType) const&;
    AttrDeclBuilder withTypeSegments(std::string_view dottedType) &&;
    // The type as a ready-made list, which the declaration shares.
    AttrDeclBuilder withTypeSegments(TokenList type) const&;
    AttrDeclBuilder withTypeSegments(TokenList type) &&;
    AttrDeclBuilder withMembers(VarAssignment::Members members) const&;
    AttrDeclBuilder withMembers(VarAssignment::Members members) &&;

    VarAssignmentPtr build() const&;
    VarAssignmentPtr build() &&;

  private:
    std::vector<Token> target_;
    TokenList type_;
    VarAssignment::Members members_;
};

namespace NodeBuilder {
// A reference expression to the member path given by `segments`.
ExpressionPtr reference(std::vector<std::string> segments);

// Identifier tokens of a dotted path: `head` first when there is one, kept whole even when it
// contains ".", then the pieces of `dotted` between dots, empty pieces included, the same pieces
// Internal::split gives, made without a list of strings in between.
std::vector<Token> dottedIdentifiers(std::string_view dotted,
                                     std::optional<std::string_view> head = std::nullopt);

// The import statement `import A.B.Name from ...` with the type segments A, B and Name; no
// segments stand for an import that names no type.
std::shared_ptr<Import> importStatement(const std::vector<std::string>& typeSegments);
}  // namespace NodeBuilder

}  // namespace corvane
