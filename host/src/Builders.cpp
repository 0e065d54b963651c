#include "corvane/Builders.hpp"

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

AttrDeclBuilder AttrDeclBuilder::withTargetSegments(std::string_view dottedTarget) const {
    return withTargetSegments(Internal::split(dottedTarget, "."));
}

AttrDeclBuilder AttrDeclBuilder::withTargetSegments(std::vector<std::string> segments) const {
    AttrDeclBuilder next = *this;
    next.target_ = identifierTokens(std::move(segments));
    return next;
}

AttrDeclBuilder AttrDeclBuilder::withTypeSegments(std::string_view dottedType) const {
    AttrDeclBuilder next = *this;
    next.type_ = identifierTokens(Internal::split(dottedType, "."));
    return next;
}

AttrDeclBuilder AttrDeclBuilder::withMembers(VarAssignment::Members members) const {
    AttrDeclBuilder next = *this;
    next.members_ = std::move(members);
    return next;
}

VarAssignmentPtr AttrDeclBuilder::build() const {
    return VarAssignment::create(Token::placeholder(), target_, Token::keywordIs(), type_,
                                 Token::placeholder(), {}, members_, nullptr);
}

namespace NodeBuilder {
ExpressionPtr reference(std::vector<std::string> segments) {
    return Reference::create(std::move(segments));
}
}  // namespace NodeBuilder

}  // namespace corvane
