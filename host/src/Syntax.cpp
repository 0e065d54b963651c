#include "corvane/Syntax.hpp"

namespace corvane {

std::shared_ptr<Constant> Constant::create(Token token) {
    return std::make_shared<Constant>(std::move(token));
}

ExpressionPtr Constant::cloneExpression() const { return std::make_shared<Constant>(token_); }

std::shared_ptr<Array> Array::create(std::vector<ExpressionPtr> elements, Token open,
                                     Token close) {
    return std::make_shared<Array>(std::move(elements), std::move(open), std::move(close));
}

ExpressionPtr Array::cloneExpression() const {
    std::vector<ExpressionPtr> copies;
    copies.reserve(elements_.size());
    for (const auto& element : elements_) {
        copies.push_back(element ? element->cloneExpression() : nullptr);
    }
    return std::make_shared<Array>(std::move(copies), open_, close_);
}

std::shared_ptr<Reference> Reference::create(std::vector<std::string> segments) {
    return std::make_shared<Reference>(std::move(segments));
}

ExpressionPtr Reference::cloneExpression() const { return std::make_shared<Reference>(segments_); }

VarAssignment::VarAssignment(Token start, std::vector<Token> target, Token is,
                             std::vector<Token> type, Token end, std::vector<NodePtr> annotations,
                             Members members, ExpressionPtr value)
    : start_(std::move(start)),
      target_(std::move(target)),
      is_(std::move(is)),
      type_(std::move(type)),
      end_(std::move(end)),
      annotations_(std::move(annotations)),
      members_(std::move(members)),
      value_(std::move(value)) {}

std::shared_ptr<VarAssignment> VarAssignment::create(Token start, std::vector<Token> target,
                                                     Token is, std::vector<Token> type, Token end,
                                                     std::vector<NodePtr> annotations,
                                                     Members members, ExpressionPtr value) {
    return std::make_shared<VarAssignment>(std::move(start), std::move(target), std::move(is),
                                           std::move(type), std::move(end),
                                           std::move(annotations), std::move(members),
                                           std::move(value));
}

std::shared_ptr<VarAssignment> VarAssignment::toVarAssignment() {
    return std::static_pointer_cast<VarAssignment>(shared_from_this());
}

void VarAssignment::appendToMembers(const std::shared_ptr<VarAssignment>& member) {
    members_.push_back(member);
}

std::shared_ptr<VarAssignment> VarAssignment::clone() const {
    Members memberCopies;
    memberCopies.reserve(members_.size());
    for (const auto& member : members_) {
        memberCopies.push_back(member ? member->clone() : nullptr);
    }
    return create(start_, target_, is_, type_, end_, annotations_, std::move(memberCopies),
                  value_ ? value_->cloneExpression() : nullptr);
}

ModelDeclaration::ModelDeclaration(Token start, Token name, Token is, std::vector<Token> type,
                                   std::vector<NodePtr> annotations,
                                   std::vector<NodePtr> traitImplementations,
                                   std::vector<NodePtr> deletions, std::vector<NodePtr> members)
    : start_(std::move(start)),
      name_(std::move(name)),
      is_(std::move(is)),
      type_(std::move(type)),
      annotations_(std::move(annotations)),
      traitImplementations_(std::move(traitImplementations)),
      deletions_(std::move(deletions)),
      members_(std::move(members)) {}

std::shared_ptr<ModelDeclaration> ModelDeclaration::create(
    Token start, Token name, Token is, std::vector<Token> type, std::vector<NodePtr> annotations,
    std::vector<NodePtr> traitImplementations, std::vector<NodePtr> deletions,
    std::vector<NodePtr> members) {
    return std::make_shared<ModelDeclaration>(
        std::move(start), std::move(name), std::move(is), std::move(type), std::move(annotations),
        std::move(traitImplementations), std::move(deletions), std::move(members));
}

std::shared_ptr<ModelDeclaration> ModelDeclaration::toModelDeclaration() {
    return std::static_pointer_cast<ModelDeclaration>(shared_from_this());
}

void ModelDeclaration::appendToMembers(const NodePtr& member) { members_.push_back(member); }

std::shared_ptr<Document> Document::create(std::string name, std::vector<NodePtr> nodes) {
    return std::make_shared<Document>(std::move(name), std::move(nodes));
}

}  // namespace corvane
