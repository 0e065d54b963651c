// The syntax tree of one expression, made once per expression text and evaluated as often as
// the text is used.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Value.hpp"

namespace corvane::xacro {

enum class BinaryOp {
    Add,
    Sub,
    Mul,
    MatMul,
    Div,
    FloorDiv,
    Mod,
    Pow,
    LShift,
    RShift,
    And,
    Or,
    Xor
};
enum class CompareOp { Eq, Ne, Lt, Le, Gt, Ge, In, NotIn, Is, IsNot };

struct Node;
using NodePtr = std::unique_ptr<const Node>;

// One clause of a comprehension: for TARGET in EXPR, or if EXPR.
struct Clause {
    NodePtr target;  // none for an if
    NodePtr expr;
};

struct Node {
    enum class Kind {
        Constant,       // constant
        Name,           // text
        Attribute,      // children[0].text
        Subscript,      // children[0][children[1]]
        Slice,          // children[0]:children[1]:children[2], each may be null
        Call,           // children[0](children[1..]), labels: "", "*", "**" or the keyword
        Unary,          // text is "-", "+" or "~"; children[0]
        Not,            // not children[0]
        Binary,         // children[0] op children[1]
        And,            // children joined by and
        Or,             // children joined by or
        Compare,        // children[0] compares[0] children[1] compares[1] ...
        IfElse,         // children[0] if children[1] else children[2]
        Lambda,         // labels: the parameters ("*args", "**kwargs"); children[0] the body,
                        // children[1..] the defaults of the last parameters before any star
        Named,          // text := children[0]
        Starred,        // *children[0]
        DoubleStarred,  // **children[0], in a dict display
        ListDisplay,
        TupleDisplay,
        SetDisplay,
        DictDisplay,  // children in pairs: key, value (a DoubleStarred key has no value)
        ListComp,     // children[0] for each clause
        SetComp,
        DictComp,  // children[0]: children[1] for each clause
        Generator,
    };
    Kind kind = Kind::Constant;
    Value constant;
    std::string text;
    BinaryOp op = BinaryOp::Add;
    std::vector<CompareOp> compares;
    std::vector<NodePtr> children;
    std::vector<std::string> labels;
    std::vector<Clause> clauses;
};

// Parses EXPRESSION (the text inside ${...}); refuses invalid syntax naming the expression.
NodePtr parseExpression(const std::string& expression);

}  // namespace corvane::xacro
