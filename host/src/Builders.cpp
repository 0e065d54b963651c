#include "corvane/Builders.hpp"

#include <algorithm>

namespace corvane {

namespace Internal {
std::vector<std::string> split(std::string_view text, std::string_view delimiter) {
    std::vector<std::string> pieces;
    if (delimiter.empty()) {
        pieces.emplace_back(text);
        return pieces;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t found = text.find(delimiter, start);
        if (found == std::string_view::npos) {
            pieces.emplace_back(text.substr(start));
            return pieces;
        }
        pieces.emplace_back(text.substr(start, found - start));
        start = found + delimiter.size();
    }
}
}  // namespace Internal

namespace {
std::vector<Token> identifierTokens(std::vector<std::string> segments) {
    std::vector<Token> tokens;
    tokens.reserve(segments.size());
    for (auto& segment : segments) {
        tokens.push_back(Token::identifier(std::move(segment)));
    }
    return tokens;
}

}  // namespace

AttrDeclBuilder AttrDeclBuilder::withTargetSegments(std::vector<std::string> segments) const& {
    return AttrDeclBuilder(*this).withTargetSegments(std::move(segments));
}

AttrDeclBuilder AttrDeclBuilder::withTargetSegments(std::vector<std::string> segments) && {
    target_ = identifierTokens(std::move(segments));
    return std::move(*this);
}

AttrDeclBuilder AttrDeclBuilder::withTypeSegments(std::string_view dottedType) const& {
    return AttrDeclBuilder(*this).withTypeSegments(dottedType);
}

AttrDeclBuilder AttrDeclBuilder::withTypeSegments(std::string_view dottedType) && {
    type_ = makeTokenList(NodeBuilder::dottedIdentifiers(dottedType));
    return std::move(*this);
}

AttrDeclBuilder AttrDeclBuilder::withTypeSegments(TokenList type) const& {
    return AttrDeclBuilder(*this).withTypeSegments(std::move(type));
}

AttrDeclBuilder AttrDeclBuilder::withTypeSegments(TokenList type) && {
    type_ = std::move(type);
    return std::move(*this);
}

AttrDeclBuilder AttrDeclBuilder::withMembers(VarAssignment::Members members) const& {
    return AttrDeclBuilder(*this).withMembers(std::move(members));
}

AttrDeclBuilder AttrDeclBuilder::withMembers(VarAssignment::Members members) && {
    members_ = std::move(members);
    return std::move(*this);
}

VarAssignmentPtr AttrDeclBuilder::build() const& {
    return AttrDeclBuilder(*this).build();
}

VarAssignmentPtr AttrDeclBuilder::build() && {
    return VarAssignment::createDeclaration(makeTokenList(std::move(target_)), std::move(type_),
                                            std::move(members_));
}

namespace NodeBuilder {
ExpressionPtr reference(std::vector<std::string> segments) {
    return Reference::create(std::move(segments));
}

std::vector<Token> dottedIdentifiers(std::string_view dotted,
                                     std::optional<std::string_view> head) {
    std::vector<Token> tokens;
    tokens.reserve((head ? 1 : 0) +
                   static_cast<std::size_t>(std::count(dotted.begin(), dotted.end(), '.')) + 1);
    if (head) tokens.push_back(Token::identifier(std::string(*head)));
    std::size_t start = 0;
    for (std::size_t dot = dotted.find('.'); dot != std::string_view::npos;
         dot = dotted.find('.', start)) {
        tokens.push_back(Token::identifier(std::string(dotted.substr(start, dot - start))));
        start = dot + 1;
    }
    tokens.push_back(Token::identifier(std::string(dotted.substr(start))));
    return tokens;
}

std::shared_ptr<Import> importStatement(const std::vector<std::string>& typeSegments) {
    std::vector<Token> tokens;
    tokens.reserve(typeSegments.size());
    for (const auto& segment : typeSegments) tokens.push_back(Token::identifier(segment));
    return std::make_shared<Import>(std::move(tokens));
}
}  // namespace NodeBuilder

}  // namespace corvane
