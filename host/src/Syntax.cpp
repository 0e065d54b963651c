#include "corvane/Syntax.hpp"

namespace corvane {

TokenList makeTokenList(std::vector<Token> tokens) {
    return std::make_shared<const std::vector<Token>>(std::move(tokens));
}

namespace {
// No list for no tokens: a node without a type answers with a shared empty one.
TokenList listUnlessEmpty(std::vector<Token> tokens) {
    if (tokens.empty()) return nullptr;
    return makeTokenList(std::move(tokens));
}
}  // namespace

std::shared_ptr<Constant> Constant::create(Token token) {
    return std::make_shared<Constant>(std::move(token));
}

ExpressionPtr Constant::cloneExpression() const {
    return std::make_shared<Constant>(token_);
}

std::shared_ptr<Array> Array::create(std::vector<ExpressionPtr> elements, Token open, Token close) {
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

ExpressionPtr Reference::cloneExpression() const {
    return std::make_shared<Reference>(segments_);
}

namespace {
const Token& placeholderToken() {
    static const Token token = Token::placeholder();
    return token;
}

const Token& keywordIsToken() {
    static const Token token = Token::keywordIs();
    return token;
}
}  // namespace

VarAssignment::Slot VarAssignment::slotOf(const Token& token) {
    if (token == placeholderToken()) return Slot::Placeholder;
    if (token == keywordIsToken()) return Slot::KeywordIs;
    return Slot::Stored;
}

const Token& VarAssignment::slotToken(Slot slot, std::size_t index) const {
    switch (slot) {
        case Slot::Placeholder:
            return placeholderToken();
        case Slot::KeywordIs:
            return keywordIsToken();
        case Slot::Stored:
            break;
    }
    return details_->storedTokens[index];
}

VarAssignment::VarAssignment(Token start, TokenList target, Token is, TokenList type, Token end,
                             std::vector<NodePtr> annotations, Members members, ExpressionPtr value)
    : target_(std::move(target)),
      value_(std::move(value)),
      startSlot_(slotOf(start)),
      isSlot_(slotOf(is)),
      endSlot_(slotOf(end)) {
    keepParts(std::move(type), std::move(members));
    const bool storesTokens =
        startSlot_ == Slot::Stored || isSlot_ == Slot::Stored || endSlot_ == Slot::Stored;
    if (!storesTokens && annotations.empty()) return;
    details_ = std::make_unique<Details>();
    details_->annotations = std::move(annotations);
    if (storesTokens) details_->storedTokens = {std::move(start), std::move(is), std::move(end)};
}

VarAssignment::VarAssignment(UsualShape, TokenList target, bool declaresType, TokenList type,
                             Members members, ExpressionPtr value)
    : target_(std::move(target)),
      value_(std::move(value)),
      startSlot_(Slot::Placeholder),
      isSlot_(declaresType ? Slot::KeywordIs : Slot::Placeholder),
      endSlot_(Slot::Placeholder) {
    keepParts(std::move(type), std::move(members));
}

VarAssignment::~VarAssignment() = default;

// A member list that was reserved but is still empty is kept: its owner means to fill it.
void VarAssignment::keepParts(TokenList type, Members members) {
    if (type && type->empty()) type.reset();
    if (!type && members.capacity() == 0) return;
    parts_ = std::make_unique<Parts>(Parts{std::move(type), std::move(members)});
}

VarAssignment::Parts& VarAssignment::parts() {
    if (!parts_) parts_ = std::make_unique<Parts>();
    return *parts_;
}

void VarAssignment::reserveMembers(std::size_t count) {
    if (count > 0) parts().members.reserve(count);
}

std::shared_ptr<VarAssignment> VarAssignment::createAssignment(std::vector<Token> target,
                                                               ExpressionPtr value) {
    return createAssignment(listUnlessEmpty(std::move(target)), std::move(value));
}

std::shared_ptr<VarAssignment> VarAssignment::createAssignment(TokenList target,
                                                               ExpressionPtr value) {
    return std::make_shared<VarAssignment>(UsualShape(), std::move(target), false, nullptr,
                                           Members(), std::move(value));
}

std::shared_ptr<VarAssignment> VarAssignment::createDeclaration(std::vector<Token> target,
                                                                std::vector<Token> type,
                                                                Members members) {
    return createDeclaration(listUnlessEmpty(std::move(target)), listUnlessEmpty(std::move(type)),
                             std::move(members));
}

std::shared_ptr<VarAssignment> VarAssignment::createDeclaration(TokenList target, TokenList type,
                                                                Members members) {
    return std::make_shared<VarAssignment>(UsualShape(), std::move(target), true, std::move(type),
                                           std::move(members), nullptr);
}

std::shared_ptr<VarAssignment> VarAssignment::create(Token start, std::vector<Token> target,
                                                     Token is, std::vector<Token> type, Token end,
                                                     std::vector<NodePtr> annotations,
                                                     Members members, ExpressionPtr value) {
    return std::make_shared<VarAssignment>(std::move(start), listUnlessEmpty(std::move(target)),
                                           std::move(is), listUnlessEmpty(std::move(type)),
                                           std::move(end), std::move(annotations),
                                           std::move(members), std::move(value));
}

std::shared_ptr<VarAssignment> VarAssignment::toVarAssignment() {
    return std::static_pointer_cast<VarAssignment>(shared_from_this());
}

const std::vector<NodePtr>& VarAssignment::annotations() const {
    return details_ ? details_->annotations : kNoNodes;
}

void VarAssignment::appendToMembers(const std::shared_ptr<VarAssignment>& member) {
    parts().members.push_back(member);
}

void VarAssignment::appendToMembers(std::shared_ptr<VarAssignment>&& member) {
    parts().members.push_back(std::move(member));
}

std::shared_ptr<VarAssignment> VarAssignment::clone() const {
    Members memberCopies;
    memberCopies.reserve(members().size());
    for (const auto& member : members()) {
        memberCopies.push_back(member ? member->clone() : nullptr);
    }
    // The copy shares the target and type lists: neither ever changes.
    return std::make_shared<VarAssignment>(
        startToken(), target_, isToken(), parts_ ? parts_->type : nullptr, endToken(),
        annotations(), std::move(memberCopies), value_ ? value_->cloneExpression() : nullptr);
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

void ModelDeclaration::appendToMembers(const NodePtr& member) {
    members_.push_back(member);
}

void ModelDeclaration::appendToMembers(NodePtr&& member) {
    members_.push_back(std::move(member));
}

std::shared_ptr<Document> Document::create(std::string name, std::vector<NodePtr> nodes) {
    return std::make_shared<Document>(std::move(name), std::move(nodes));
}

}  // namespace corvane
