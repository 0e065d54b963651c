#include "corvane/Render.hpp"

#include <cstddef>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::Render {

namespace {

// Keys keep the order in which they are written, so the output reads in the documented order.
using Json = nlohmann::ordered_json;

// ---------------------------------------------------------------------------------------------
// JSON

Json lexemesOf(const std::vector<Token>& tokens) {
    Json lexemes = Json::array();
    for (const auto& token : tokens) lexemes.push_back(token.lexeme);
    return lexemes;
}

Json expressionToJson(const ExpressionPtr& expression);

Json constantToJson(const Constant& constant) {
    return Json{
        {"node", "Constant"},
        {"token", Json{{"kind", constant.token().kind}, {"lexeme", constant.token().lexeme}}}};
}

Json arrayToJson(const Array& array) {
    Json elements = Json::array();
    for (const auto& element : array.elements()) elements.push_back(expressionToJson(element));
    return Json{{"node", "Array"}, {"elements", std::move(elements)}};
}

Json referenceToJson(const Reference& reference) {
    return Json{{"node", "Reference"}, {"segments", reference.segments()}};
}

Json expressionToJson(const ExpressionPtr& expression) {
    if (!expression) return nullptr;
    switch (expression->expressionKind()) {
        case Expression::Kind::Constant:
            return constantToJson(static_cast<const Constant&>(*expression));
        case Expression::Kind::Array:
            return arrayToJson(static_cast<const Array&>(*expression));
        case Expression::Kind::Reference:
            return referenceToJson(static_cast<const Reference&>(*expression));
    }
    return nullptr;
}

Json nodeToJson(const NodePtr& node);

Json varAssignmentToJson(const VarAssignment& assignment) {
    Json members = Json::array();
    for (const auto& member : assignment.members()) members.push_back(nodeToJson(member));
    return Json{{"node", "VarAssignment"},         {"target", lexemesOf(assignment.target())},
                {"is", assignment.declaresType()}, {"type", lexemesOf(assignment.type())},
                {"members", std::move(members)},   {"value", expressionToJson(assignment.value())}};
}

Json modelDeclarationToJson(const ModelDeclaration& model) {
    Json members = Json::array();
    for (const auto& member : model.members()) members.push_back(nodeToJson(member));
    return Json{{"node", "ModelDeclaration"},
                {"name", model.name().lexeme},
                {"type", lexemesOf(model.type())},
                {"members", std::move(members)}};
}

// Nodes the host does not print (none that an import makes) are written as null, so the
// positions of the others stay intact.
Json nodeToJson(const NodePtr& node) {
    if (!node) return nullptr;
    if (node->isModelDeclaration()) {
        return modelDeclarationToJson(*node->toModelDeclaration());
    }
    if (node->isVarAssignment()) {
        return varAssignmentToJson(*node->toVarAssignment());
    }
    if (const auto expression = std::dynamic_pointer_cast<Expression>(node)) {
        return expressionToJson(expression);
    }
    return nullptr;
}

// nlohmann-json refuses text that is not UTF-8 (JSON cannot carry such bytes). Its message
// starts with a bracketed error code that means nothing to a reader; keep only the cause.
std::string invalidTextMessage(const nlohmann::json::type_error& error) {
    std::string_view cause = error.what();
    if (const auto close = cause.find("] "); close != std::string_view::npos) {
        cause.remove_prefix(close + 2);
    }
    return "cannot write JSON: a name or literal is not UTF-8 text (" + std::string(cause) + ")";
}

// ---------------------------------------------------------------------------------------------
// Host text

constexpr std::string_view indentUnit = "    ";

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

void appendEscapedNameChar(std::string& out, char c) {
    static constexpr char hexDigits[] = "0123456789abcdef";
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
        case '\'':
            out += "\\'";
            return;
        case '\\':
            out += "\\\\";
            return;
        case '\n':
            out += "\\n";
            return;
        case '\r':
            out += "\\r";
            return;
        case '\t':
            out += "\\t";
            return;
        default:
            break;
    }
    if (byte < 0x20 || byte == 0x7f) {
        out += "\\u00";
        out += hexDigits[byte >> 4];
        out += hexDigits[byte & 0x0f];
        return;
    }
    out += c;
}

void appendName(std::string& out, std::string_view name) {
    if (isPlainIdentifier(name)) {
        out += name;
        return;
    }
    out += '\'';
    for (const char c : name) appendEscapedNameChar(out, c);
    out += '\'';
}

void appendPath(std::string& out, const std::vector<Token>& segments) {
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (i > 0) out += '.';
        appendName(out, segments[i].lexeme);
    }
}

void appendPath(std::string& out, const std::vector<std::string>& segments) {
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (i > 0) out += '.';
        appendName(out, segments[i]);
    }
}

void appendIndent(std::string& out, std::size_t depth) {
    for (std::size_t i = 0; i < depth; ++i) out += indentUnit;
}

// Writes the text of a document into one growing string, so the cost stays linear in the size
// of the output however many members a model has.
class HostTextWriter {
  public:
    std::string take() { return std::move(out_); }

    void writeNode(const NodePtr& node, std::size_t depth) {
        if (!node) return;
        if (node->isModelDeclaration()) {
            writeModel(*node->toModelDeclaration(), depth);
        } else if (node->isVarAssignment()) {
            writeAssignment(*node->toVarAssignment(), depth);
        } else if (const auto expression = std::dynamic_pointer_cast<Expression>(node)) {
            appendIndent(out_, depth);
            writeExpression(expression);
            out_ += ";\n";
        }
    }

  private:
    // model NAME is A.B.C
    //     members
    // end NAME;
    void writeModel(const ModelDeclaration& model, std::size_t depth) {
        appendIndent(out_, depth);
        out_ += "model ";
        appendName(out_, model.name().lexeme);
        if (!model.type().empty()) {
            out_ += " is ";
            appendPath(out_, model.type());
        }
        out_ += '\n';
        for (const auto& member : model.members()) writeNode(member, depth + 1);
        appendIndent(out_, depth);
        out_ += "end ";
        appendName(out_, model.name().lexeme);
        out_ += ";\n";
    }

    // target is A.B { members } = value;  -- every part but the target is optional. A
    // declaration with members and no value ends with its closing brace.
    void writeAssignment(const VarAssignment& assignment, std::size_t depth) {
        appendIndent(out_, depth);
        appendPath(out_, assignment.target());
        if (!assignment.type().empty()) {
            out_ += " is ";
            appendPath(out_, assignment.type());
        }
        if (!assignment.members().empty()) {
            out_ += " {\n";
            for (const auto& member : assignment.members()) writeNode(member, depth + 1);
            appendIndent(out_, depth);
            out_ += '}';
            if (!assignment.value()) {
                out_ += '\n';
                return;
            }
        }
        if (assignment.value()) {
            out_ += " = ";
            writeExpression(assignment.value());
        }
        out_ += ";\n";
    }

    void writeExpression(const ExpressionPtr& expression) {
        // An expression slot left empty (an array element, say) stays visible rather than
        // silently shifting the elements after it.
        if (!expression) {
            out_ += "nothing";
            return;
        }
        switch (expression->expressionKind()) {
            case Expression::Kind::Constant:
                writeConstant(static_cast<const Constant&>(*expression));
                return;
            case Expression::Kind::Array:
                writeArray(static_cast<const Array&>(*expression));
                return;
            case Expression::Kind::Reference:
                appendPath(out_, static_cast<const Reference&>(*expression).segments());
                return;
        }
    }

    // Identifiers are names and are quoted like any other; literals print as they stand.
    void writeConstant(const Constant& constant) {
        if (constant.token().kind == TokenKind::Identifier) {
            appendName(out_, constant.token().lexeme);
        } else {
            out_ += constant.token().lexeme;
        }
    }

    void writeArray(const Array& array) {
        out_ += '[';
        for (std::size_t i = 0; i < array.elements().size(); ++i) {
            if (i > 0) out_ += ", ";
            writeExpression(array.elements()[i]);
        }
        out_ += ']';
    }

    std::string out_;
};

}  // namespace

std::string toJson(const Document& document, int indent) {
    Json nodes = Json::array();
    for (const auto& node : document.nodes()) nodes.push_back(nodeToJson(node));
    const Json json{{"document", document.name()}, {"nodes", std::move(nodes)}};
    try {
        return json.dump(indent < 0 ? -1 : indent);
    } catch (const nlohmann::json::type_error& error) {
        throw std::invalid_argument(invalidTextMessage(error));
    }
}

std::string toHostText(const Document& document) {
    HostTextWriter writer;
    for (const auto& node : document.nodes()) writer.writeNode(node, 0);
    return writer.take();
}

bool isPlainIdentifier(std::string_view name) {
    if (name.empty() || isAsciiDigit(name.front())) return false;
    for (const char c : name) {
        if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != '_') return false;
    }
    return true;
}

std::string quoteName(std::string_view name) {
    std::string quoted;
    quoted.reserve(name.size() + 2);
    appendName(quoted, name);
    return quoted;
}

}  // namespace corvane::Render
