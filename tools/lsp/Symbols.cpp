#include "lsp/Symbols.hpp"

#include <optional>

namespace corvane::tools::lsp {

namespace {

bool isWrittenOut(std::string_view name) {
    return !name.empty() && name.find("${") == std::string_view::npos &&
           name.find("$(") == std::string_view::npos;
}

// The kind of symbol a tag defines, by its name.
std::optional<SymbolKind> definedKind(const XmlTag& tag) {
    if (const auto local = xacroLocalName(tag.name)) {
        if (*local == "macro") return SymbolKind::Macro;
        if (*local == "property") return SymbolKind::Property;
        if (*local == "arg") return SymbolKind::Argument;
        return std::nullopt;
    }
    if (tag.name == "link") return SymbolKind::Link;
    if (tag.name == "joint") return SymbolKind::Joint;
    return std::nullopt;
}

std::string detailOf(SymbolKind kind, const XmlTag& tag) {
    const char* attribute = kind == SymbolKind::Macro      ? "params"
                            : kind == SymbolKind::Property ? "value"
                            : kind == SymbolKind::Argument ? "default"
                            : kind == SymbolKind::Joint    ? "type"
                                                           : "";
    const XmlAttribute* found = tag.attribute(attribute);
    return found != nullptr ? found->value : std::string();
}

// Whether `tag` calls a macro: a xacro element that is none of the language's own.
bool isMacroCall(const XmlTag& tag) {
    static constexpr std::string_view language[] = {
        "macro",        "property", "arg",       "include", "if",           "unless",
        "insert_block", "element",  "attribute", "call",    "eval-comments"};
    const auto local = xacroLocalName(tag.name);
    if (!local || local->empty()) return false;
    for (const auto word : language) {
        if (*local == word) return false;
    }
    return true;
}

// The link or joint an attribute names: <parent link>, <child link>, <mimic joint>.
std::optional<SymbolKind> namedBy(const XmlTag& tag, const XmlAttribute& attribute) {
    if ((tag.name == "parent" || tag.name == "child") && attribute.name == "link") {
        return SymbolKind::Link;
    }
    if (tag.name == "mimic" && attribute.name == "joint") return SymbolKind::Joint;
    return std::nullopt;
}

void addExpressionUses(std::string_view text, std::size_t begin, std::size_t end,
                       std::vector<SymbolUse>& uses) {
    for (const auto& name : namesInExpressions(text.substr(begin, end - begin))) {
        uses.push_back({name.kind == NameInExpression::Kind::Property ? SymbolKind::Property
                                                                      : SymbolKind::Argument,
                        name.name, begin + name.begin, begin + name.end});
    }
}

}  // namespace

const char* symbolKindName(SymbolKind kind) {
    switch (kind) {
        case SymbolKind::Macro:
            return "macro";
        case SymbolKind::Property:
            return "property";
        case SymbolKind::Argument:
            return "argument";
        case SymbolKind::Link:
            return "link";
        case SymbolKind::Joint:
            return "joint";
    }
    return "";
}

std::vector<Symbol> definitionsIn(const std::filesystem::path& file, const XmlScan& scan) {
    std::vector<Symbol> symbols;
    for (const auto& tag : scan.tags()) {
        const auto kind = definedKind(tag);
        if (!kind) continue;
        const XmlAttribute* name = tag.attribute("name");
        if (name == nullptr || !isWrittenOut(name->value)) continue;
        symbols.push_back({*kind, name->value, file, name->valueBegin, name->valueEnd, tag.begin,
                           tag.end, detailOf(*kind, tag)});
    }
    return symbols;
}

std::vector<SymbolUse> usesIn(std::string_view text, const XmlScan& scan) {
    std::vector<SymbolUse> uses;
    std::size_t textFrom = 0;
    for (const auto& tag : scan.tags()) {
        // ${} in the text between tags (xacro expands it there too).
        addExpressionUses(text, textFrom, tag.begin, uses);
        textFrom = tag.end;
        if (isMacroCall(tag)) {
            const std::size_t begin = tag.nameBegin + 6;  // after "xacro:"
            uses.push_back({SymbolKind::Macro, tag.name.substr(6), begin, tag.nameEnd});
        }
        for (const auto& attribute : tag.attributes) {
            if (const auto kind = namedBy(tag, attribute); kind && isWrittenOut(attribute.value)) {
                uses.push_back({*kind, attribute.value, attribute.valueBegin, attribute.valueEnd});
            }
            addExpressionUses(text, attribute.valueBegin, attribute.valueEnd, uses);
        }
    }
    return uses;
}

std::optional<SymbolUse> symbolAt(std::string_view text, const XmlScan& scan, std::size_t offset) {
    for (const auto& use : usesIn(text, scan)) {
        if (use.begin <= offset && offset <= use.end) return use;
    }
    if (const XmlTag* tag = scan.tagAt(offset)) {
        const auto kind = definedKind(*tag);
        const XmlAttribute* name = tag->attribute("name");
        if (kind && name != nullptr && name->valueBegin <= offset && offset <= name->valueEnd) {
            return SymbolUse{*kind, name->value, name->valueBegin, name->valueEnd};
        }
    }
    return std::nullopt;
}

std::vector<MacroParameter> macroParameters(std::string_view params) {
    std::vector<MacroParameter> parameters;
    std::size_t i = 0;
    while (i < params.size()) {
        while (i < params.size() && (params[i] == ' ' || params[i] == '\t' || params[i] == '\n'))
            ++i;
        if (i >= params.size()) break;
        const std::size_t begin = i;
        while (i < params.size() && params[i] != ' ' && params[i] != '\t' && params[i] != '\n') ++i;
        const std::string_view word = params.substr(begin, i - begin);
        MacroParameter parameter;
        const std::size_t assign = word.find(":=");
        const std::size_t equals = word.find('=');
        const std::size_t split = assign != std::string_view::npos ? assign : equals;
        if (split == std::string_view::npos) {
            parameter.name = std::string(word);
        } else {
            parameter.name = std::string(word.substr(0, split));
            parameter.defaultValue = std::string(word.substr(split + (split == assign ? 2 : 1)));
            parameter.hasDefault = true;
        }
        parameters.push_back(std::move(parameter));
    }
    return parameters;
}

}  // namespace corvane::tools::lsp
