#include "TreeDump.hpp"

#include <fmt/format.h>

#include <iterator>
#include <string_view>
#include <vector>

namespace corvane::bench {

namespace {

using Out = std::back_insert_iterator<std::string>;

void dumpToken(Out out, std::string_view label, const Token& token) {
    fmt::format_to(out, " {}({} '{}' {}:{})", label, token.kind, token.lexeme, token.line,
                   token.column);
}

void dumpTokens(Out out, std::string_view label, const std::vector<Token>& tokens) {
    fmt::format_to(out, " {}[", label);
    for (const auto& token : tokens) dumpToken(out, "", token);
    fmt::format_to(out, " ]");
}

void dumpNode(Out out, const NodePtr& node, int depth);

void dumpExpression(Out out, const ExpressionPtr& expression) {
    if (!expression) {
        fmt::format_to(out, " null");
        return;
    }
    switch (expression->expressionKind()) {
        case Expression::Kind::Constant:
            dumpToken(out, "constant", static_cast<const Constant&>(*expression).token());
            break;
        case Expression::Kind::Array: {
            const auto& array = static_cast<const Array&>(*expression);
            fmt::format_to(out, " array{{");
            dumpToken(out, "open", array.openToken());
            for (const auto& element : array.elements()) dumpExpression(out, element);
            dumpToken(out, "close", array.closeToken());
            fmt::format_to(out, " }}");
            break;
        }
        case Expression::Kind::Reference:
            fmt::format_to(out, " reference[");
            for (const auto& segment : static_cast<const Reference&>(*expression).segments()) {
                fmt::format_to(out, " '{}'", segment);
            }
            fmt::format_to(out, " ]");
            break;
    }
}

void dumpNodes(Out out, std::string_view label, const std::vector<NodePtr>& nodes, int depth) {
    fmt::format_to(out, "{:{}}{} {}\n", "", depth * 2, label, nodes.size());
    for (const auto& node : nodes) dumpNode(out, node, depth + 1);
}

void dumpAssignment(Out out, const VarAssignment& assignment, int depth) {
    fmt::format_to(out, "{:{}}assignment", "", depth * 2);
    dumpToken(out, "start", assignment.startToken());
    dumpTokens(out, "target", assignment.target());
    dumpToken(out, "is", assignment.isToken());
    dumpTokens(out, "type", assignment.type());
    dumpToken(out, "end", assignment.endToken());
    fmt::format_to(out, " value");
    dumpExpression(out, assignment.value());
    fmt::format_to(out, "\n");
    dumpNodes(out, "annotations", assignment.annotations(), depth + 1);
    fmt::format_to(out, "{:{}}members {}\n", "", (depth + 1) * 2, assignment.members().size());
    for (const auto& member : assignment.members()) dumpNode(out, member, depth + 2);
}

void dumpModel(Out out, const ModelDeclaration& model, int depth) {
    fmt::format_to(out, "{:{}}model", "", depth * 2);
    dumpToken(out, "start", model.startToken());
    dumpToken(out, "name", model.name());
    dumpToken(out, "is", model.isToken());
    dumpTokens(out, "type", model.type());
    fmt::format_to(out, "\n");
    dumpNodes(out, "annotations", model.annotations(), depth + 1);
    dumpNodes(out, "traits", model.traitImplementations(), depth + 1);
    dumpNodes(out, "deletions", model.deletions(), depth + 1);
    dumpNodes(out, "members", model.members(), depth + 1);
}

void dumpNode(Out out, const NodePtr& node, int depth) {
    if (!node) {
        fmt::format_to(out, "{:{}}null\n", "", depth * 2);
    } else if (node->isModelDeclaration()) {
        dumpModel(out, *node->toModelDeclaration(), depth);
    } else if (node->isVarAssignment()) {
        dumpAssignment(out, *node->toVarAssignment(), depth);
    } else if (const auto expression = std::dynamic_pointer_cast<Expression>(node)) {
        fmt::format_to(out, "{:{}}expression", "", depth * 2);
        dumpExpression(out, expression);
        fmt::format_to(out, "\n");
    } else {
        fmt::format_to(out, "{:{}}other node\n", "", depth * 2);
    }
}

}  // namespace

std::string dumpTree(const Document& document) {
    std::string text;
    const Out out(text);
    fmt::format_to(out, "document '{}'\n", document.name());
    dumpNodes(out, "nodes", document.nodes(), 0);
    return text;
}

}  // namespace corvane::bench
