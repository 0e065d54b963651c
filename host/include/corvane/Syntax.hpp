// Syntax-tree types of the host language, as the import plugins build them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace corvane {

// Token kinds with the numbers the host's lexer gives them.
namespace TokenKind {
inline constexpr std::int32_t Identifier = 15;
inline constexpr std::int32_t StringLiteral = 16;
inline constexpr std::int32_t RealLiteral = 20;
inline constexpr std::int32_t KeywordIs = 21;
inline constexpr std::int32_t Placeholder = 43;
}  // namespace TokenKind

struct Token {
    std::int32_t kind = TokenKind::Placeholder;
    std::string lexeme;
    std::int32_t line = 0;
    std::int32_t column = 0;

    static Token identifier(std::string lexeme) {
        return Token{TokenKind::Identifier, std::move(lexeme), 0, 0};
    }
    static Token placeholder() { return Token{}; }
    static Token keywordIs() { return Token{TokenKind::KeywordIs, "is", 0, 0}; }

    friend bool operator==(const Token&, const Token&) = default;
};

// A token list that nodes never change once made, so that nodes with the same target path or type
// can hold one list between them instead of a copy each.
using TokenList = std::shared_ptr<const std::vector<Token>>;

// A list holding `tokens`.
TokenList makeTokenList(std::vector<Token> tokens);

class ModelDeclaration;
class VarAssignment;

class Node : public std::enable_shared_from_this<Node> {
  public:
    Node() = default;
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    virtual ~Node() = default;

    virtual bool isModelDeclaration() const { return false; }
    virtual bool isVarAssignment() const { return false; }
    virtual std::shared_ptr<ModelDeclaration> toModelDeclaration() { return nullptr; }
    virtual std::shared_ptr<VarAssignment> toVarAssignment() { return nullptr; }
};

using NodePtr = std::shared_ptr<Node>;

// A value expression: a literal constant, an array literal or a reference.
class Expression : public Node {
  public:
    enum class Kind { Constant, Array, Reference };
    virtual Kind expressionKind() const = 0;
    // A deep copy; expressions never share children with their copies.
    virtual std::shared_ptr<Expression> cloneExpression() const = 0;
};

using ExpressionPtr = std::shared_ptr<Expression>;

class Constant final : public Expression {
  public:
    static std::shared_ptr<Constant> create(Token token);
    explicit Constant(Token token) : token_(std::move(token)) {}

    Kind expressionKind() const override { return Kind::Constant; }
    ExpressionPtr cloneExpression() const override;
    const Token& token() const { return token_; }

  private:
    Token token_;
};

class Array final : public Expression {
  public:
    static std::shared_ptr<Array> create(std::vector<ExpressionPtr> elements, Token open,
                                         Token close);
    Array(std::vector<ExpressionPtr> elements, Token open, Token close)
        : elements_(std::move(elements)), open_(std::move(open)), close_(std::move(close)) {}

    Kind expressionKind() const override { return Kind::Array; }
    ExpressionPtr cloneExpression() const override;
    const std::vector<ExpressionPtr>& elements() const { return elements_; }
    const Token& openToken() const { return open_; }
    const Token& closeToken() const { return close_; }

  private:
    std::vector<ExpressionPtr> elements_;
    Token open_;
    Token close_;
};

// A reference to a member path, such as base.j1_mc.
class Reference final : public Expression {
  public:
    static std::shared_ptr<Reference> create(std::vector<std::string> segments);
    explicit Reference(std::vector<std::string> segments) : segments_(std::move(segments)) {}

    Kind expressionKind() const override { return Kind::Reference; }
    ExpressionPtr cloneExpression() const override;
    const std::vector<std::string>& segments() const { return segments_; }

  private:
    std::vector<std::string> segments_;
};

// An attribute declaration (with a type) or an attribute assignment (with a value).
//
// Most nodes of a tree are plain assignments such as `inertia.mass = 1.0`: a target and a value.
// To keep those small, a type and members are stored only when there are any, the start, "is"
// and end tokens only when they differ from the usual placeholder or keyword, and annotations
// only when there are any. Target and type are token lists that nodes with the same path or type
// may share (copies keep sharing them): no node changes its target or type after it is made.
class VarAssignment final : public Node {
    // Admits only this class to the constructor of the usual shapes below.
    struct UsualShape {
        explicit UsualShape() = default;
    };

  public:
    using Members = std::vector<std::shared_ptr<VarAssignment>>;

    static std::shared_ptr<VarAssignment> create(Token start, std::vector<Token> target, Token is,
                                                 std::vector<Token> type, Token end,
                                                 std::vector<NodePtr> annotations, Members members,
                                                 ExpressionPtr value);
    // The two usual shapes, made without passing the placeholder and keyword tokens around:
    // `target = value`, the same as create() with placeholders, no type, annotations or members;
    static std::shared_ptr<VarAssignment> createAssignment(std::vector<Token> target,
                                                           ExpressionPtr value);
    static std::shared_ptr<VarAssignment> createAssignment(TokenList target, ExpressionPtr value);
    // `target is type { members }`, the same as create() with the keyword "is" and no value.
    static std::shared_ptr<VarAssignment> createDeclaration(std::vector<Token> target,
                                                            std::vector<Token> type,
                                                            Members members);
    static std::shared_ptr<VarAssignment> createDeclaration(TokenList target, TokenList type,
                                                            Members members);

    // A null target or type list stands for an empty one.
    VarAssignment(Token start, TokenList target, Token is, TokenList type, Token end,
                  std::vector<NodePtr> annotations, Members members, ExpressionPtr value);
    VarAssignment(UsualShape, TokenList target, bool declaresType, TokenList type, Members members,
                  ExpressionPtr value);
    ~VarAssignment() override;

    bool isVarAssignment() const override { return true; }
    std::shared_ptr<VarAssignment> toVarAssignment() override;

    void appendToMembers(const std::shared_ptr<VarAssignment>& member);
    void appendToMembers(std::shared_ptr<VarAssignment>&& member);
    // Makes room for `count` members in all, so that appending that many allocates once.
    void reserveMembers(std::size_t count);
    // A deep copy: members and value are copied too, so the copy can live elsewhere in the tree.
    std::shared_ptr<VarAssignment> clone() const;

    const Token& startToken() const { return slotToken(startSlot_, 0); }
    const std::vector<Token>& target() const { return target_ ? *target_ : kNoTokens; }
    const Token& isToken() const { return slotToken(isSlot_, 1); }
    const std::vector<Token>& type() const {
        return parts_ && parts_->type ? *parts_->type : kNoTokens;
    }
    const Token& endToken() const { return slotToken(endSlot_, 2); }
    const std::vector<NodePtr>& annotations() const;
    // A node without members answers with a shared empty list: a reference to it does not see
    // members appended to the node later.
    const Members& members() const { return parts_ ? parts_->members : kNoMembers; }
    const ExpressionPtr& value() const { return value_; }
    // True when the declaration names a type with the keyword "is".
    bool declaresType() const { return isToken().kind == TokenKind::KeywordIs; }

  private:
    // Where a start, "is" or end token is: one of the two usual tokens, or stored with the node.
    enum class Slot : std::uint8_t { Placeholder, KeywordIs, Stored };
    // What declarations and nodes with members carry.
    struct Parts {
        TokenList type;
        Members members;
    };
    // What few nodes carry: annotations, and tokens other than the usual ones.
    struct Details {
        std::vector<NodePtr> annotations;
        std::vector<Token> storedTokens;  // start, "is" and end, when any of them is stored
    };

    // What a node without them answers for its type, members and annotations.
    inline static const std::vector<Token> kNoTokens;
    inline static const Members kNoMembers;
    inline static const std::vector<NodePtr> kNoNodes;

    static Slot slotOf(const Token& token);
    const Token& slotToken(Slot slot, std::size_t index) const;
    // The type and members, made on first need.
    Parts& parts();
    void keepParts(TokenList type, Members members);

    TokenList target_;
    ExpressionPtr value_;
    std::unique_ptr<Parts> parts_;
    std::unique_ptr<Details> details_;
    Slot startSlot_;
    Slot isSlot_;
    Slot endSlot_;
};

using VarAssignmentPtr = std::shared_ptr<VarAssignment>;

class ModelDeclaration final : public Node {
  public:
    static std::shared_ptr<ModelDeclaration> create(Token start, Token name, Token is,
                                                    std::vector<Token> type,
                                                    std::vector<NodePtr> annotations,
                                                    std::vector<NodePtr> traitImplementations,
                                                    std::vector<NodePtr> deletions,
                                                    std::vector<NodePtr> members);

    ModelDeclaration(Token start, Token name, Token is, std::vector<Token> type,
                     std::vector<NodePtr> annotations, std::vector<NodePtr> traitImplementations,
                     std::vector<NodePtr> deletions, std::vector<NodePtr> members);

    bool isModelDeclaration() const override { return true; }
    std::shared_ptr<ModelDeclaration> toModelDeclaration() override;

    void appendToMembers(const NodePtr& member);
    void appendToMembers(NodePtr&& member);
    // Makes room for `count` members in all, so that appending that many allocates once.
    void reserveMembers(std::size_t count) { members_.reserve(count); }

    const Token& startToken() const { return start_; }
    const Token& name() const { return name_; }
    const Token& isToken() const { return is_; }
    const std::vector<Token>& type() const { return type_; }
    const std::vector<NodePtr>& annotations() const { return annotations_; }
    const std::vector<NodePtr>& traitImplementations() const { return traitImplementations_; }
    const std::vector<NodePtr>& deletions() const { return deletions_; }
    const std::vector<NodePtr>& members() const { return members_; }

  private:
    Token start_;
    Token name_;
    Token is_;
    std::vector<Token> type_;
    std::vector<NodePtr> annotations_;
    std::vector<NodePtr> traitImplementations_;
    std::vector<NodePtr> deletions_;
    std::vector<NodePtr> members_;
};

using ModelDeclarationPtr = std::shared_ptr<ModelDeclaration>;

// One source document: the nodes an import or a file contributes.
class Document final {
  public:
    static std::shared_ptr<Document> create(std::string name, std::vector<NodePtr> nodes);
    Document(std::string name, std::vector<NodePtr> nodes)
        : name_(std::move(name)), nodes_(std::move(nodes)) {}

    const std::string& name() const { return name_; }
    const std::vector<NodePtr>& nodes() const { return nodes_; }

  private:
    std::string name_;
    std::vector<NodePtr> nodes_;
};

using DocumentPtr = std::shared_ptr<Document>;

// The import statement that refers to a file, e.g. `import Robots.Arm from "arm.urdf"`.
class Import final {
  public:
    explicit Import(std::vector<Token> typeSegments = {})
        : typeSegments_(std::move(typeSegments)) {}
    const std::vector<Token>& getTypeSegments() const { return typeSegments_; }

  private:
    std::vector<Token> typeSegments_;
};

// The host's sink for diagnostics of a source file.
class ErrorReporter {
  public:
    virtual ~ErrorReporter() = default;
    virtual void report(const std::string& message, std::int32_t line, std::int32_t column) {
        errors_.push_back(Entry{message, line, column});
    }
    struct Entry {
        std::string message;
        std::int32_t line;
        std::int32_t column;
    };
    const std::vector<Entry>& errors() const { return errors_; }

  private:
    std::vector<Entry> errors_;
};

}  // namespace corvane
