#include "lsp/Features.hpp"

#include <algorithm>
#include <set>

#include "checks/MachineFindings.hpp"
#include "checks/Rules.hpp"
#include "lsp/Documents.hpp"
#include "model/UrdfElements.hpp"

namespace corvane::tools::lsp {

namespace {

// The protocol's SymbolKind and CompletionItemKind numbers.
constexpr int symbolFunction = 12, symbolConstant = 14, symbolVariable = 13, symbolClass = 5,
              symbolInterface = 11;
constexpr int completionFunction = 3, completionProperty = 10, completionVariable = 6,
              completionKeyword = 14, completionClass = 7;

// The elements of xacro itself, offered wherever an element may stand.
constexpr std::string_view xacroElements[] = {"macro",     "property", "arg",          "include",
                                              "if",        "unless",   "insert_block", "element",
                                              "attribute", "call"};

Json positionJson(const Position& position) {
    return {{"line", position.line}, {"character", position.character}};
}

std::string placeText(const RobotFiles& files, const Symbol& symbol) {
    const FilePlace place = files.placeOf(symbol);
    return symbol.file.string() + ":" + std::to_string(place.range.start.line + 1);
}

Json markdown(const std::string& text, const Range& range) {
    return {{"contents", {{"kind", "markdown"}, {"value", text}}}, {"range", rangeJson(range)}};
}

std::string macroSignature(const Symbol& macro) {
    std::string text = "**macro** `" + macro.name + "`";
    const auto parameters = macroParameters(macro.detail);
    if (parameters.empty()) return text + " (no parameters)";
    text += "\n\n| parameter | default |\n|---|---|\n";
    for (const auto& parameter : parameters) {
        text += "| `" + parameter.name + "` | " +
                (parameter.hasDefault ? "`" + parameter.defaultValue + "`" : "(required)") + " |\n";
    }
    return text;
}

std::string symbolHoverText(const RobotFiles& files, const Symbol& symbol) {
    std::string text;
    switch (symbol.kind) {
        case SymbolKind::Macro:
            text = macroSignature(symbol);
            break;
        case SymbolKind::Property:
            text = "**property** `" + symbol.name + "` = `" + symbol.detail + "`";
            break;
        case SymbolKind::Argument:
            text = "**argument** `" + symbol.name + "`" +
                   (symbol.detail.empty() ? " (no default)" : ", default `" + symbol.detail + "`");
            break;
        case SymbolKind::Link:
        case SymbolKind::Joint:
            text = std::string("**") + symbolKindName(symbol.kind) + "** `" + symbol.name + "`" +
                   (symbol.detail.empty() ? "" : " (" + symbol.detail + ")");
            break;
    }
    return text + "\n\ndefined at " + placeText(files, symbol);
}

// The explanations of the rules of the diagnostics on `line`, each once.
std::string ruleExplanations(const FeatureContext& context, int line) {
    std::string text;
    std::set<std::string> seen;
    for (const auto& shown : context.shownRules) {
        if (shown.line != line || !seen.insert(shown.rule).second) continue;
        if (const Rule* rule = findRule(shown.rule)) {
            text += "\n\n---\n\n**" + shown.rule + "**: " + ruleExplanation(*rule);
        }
    }
    return text;
}

std::string elementHoverText(const XmlTag& tag) {
    if (const auto local = xacroLocalName(tag.name)) {
        return "xacro element `" + tag.name + "`";
    }
    const std::string_view summary = readElementSummary(tag.name);
    if (summary.empty()) return "`<" + tag.name + ">`: urdfdom does not read this element";
    return "`<" + tag.name + ">`: " + std::string(summary);
}

std::string attributeHoverText(const XmlTag& tag, const XmlAttribute& attribute) {
    const auto read = readAttributes(tag.name);
    const bool isRead = std::ranges::find(read, attribute.name) != read.end();
    if (!isCoreElement(tag.name)) return {};
    if (!isRead)
        return "`" + attribute.name + "` of `<" + tag.name + ">`: urdfdom does not read it";
    return "`" + attribute.name + "` of `<" + tag.name +
           ">`, read by urdfdom: " + std::string(readElementSummary(tag.name));
}

// The symbol defined at or named by the place `offset`.
std::vector<const Symbol*> definitionsAt(const FeatureContext& context, const SymbolUse& use) {
    return context.files.definitions(use.kind, use.name, context.file.path);
}

Json symbolDefinitions(const FeatureContext& context, const SymbolUse& use) {
    Json locations = Json::array();
    for (const Symbol* symbol : definitionsAt(context, use)) {
        locations.push_back(locationJson(context.files.placeOf(*symbol)));
    }
    if (locations.empty() && (use.kind == SymbolKind::Link || use.kind == SymbolKind::Joint) &&
        context.expandedDefinition) {
        if (const auto place = context.expandedDefinition(use.kind, use.name)) {
            locations.push_back(locationJson(*place));
        }
    }
    return locations;
}

// The file an attribute value under `offset` names: an include's filename, a mesh's or a
// texture's.
std::optional<std::filesystem::path> fileAt(const FeatureContext& context, std::size_t offset) {
    const XmlTag* tag = context.file.scan.tagAt(offset);
    if (tag == nullptr) return std::nullopt;
    const XmlAttribute* filename = tag->attribute("filename");
    if (filename == nullptr || offset < filename->valueBegin || offset > filename->valueEnd) {
        return std::nullopt;
    }
    return referencedFile(filename->value, context.file.path, context.meshes);
}

std::string substituted(std::string value, const std::filesystem::path& from,
                        const MeshLocator& meshes, bool& known) {
    const std::string dirname = "$(dirname)";
    for (std::size_t at = value.find(dirname); at != std::string::npos; at = value.find(dirname)) {
        value.replace(at, dirname.size(), from.parent_path().string());
    }
    const std::string find = "$(find ";
    for (std::size_t at = value.find(find); at != std::string::npos; at = value.find(find)) {
        const std::size_t close = value.find(')', at);
        if (close == std::string::npos) break;
        const std::string name = value.substr(at + find.size(), close - at - find.size());
        const auto folder = meshes.packageFolder(name);
        if (!folder) {
            known = false;
            return value;
        }
        value.replace(at, close + 1 - at, folder->string());
    }
    known = value.find("$(") == std::string::npos && value.find("${") == std::string::npos;
    return value;
}

int documentSymbolKind(SymbolKind kind) {
    switch (kind) {
        case SymbolKind::Macro:
            return symbolFunction;
        case SymbolKind::Property:
            return symbolConstant;
        case SymbolKind::Argument:
            return symbolVariable;
        case SymbolKind::Link:
            return symbolClass;
        case SymbolKind::Joint:
            return symbolInterface;
    }
    return symbolVariable;
}

Json completionItem(const std::string& label, int kind, const std::string& detail) {
    Json item{{"label", label}, {"kind", kind}};
    if (!detail.empty()) item["detail"] = detail;
    return item;
}

// Where the cursor is for completion.
struct CompletionPlace {
    enum class Kind { None, ElementName, AttributeName, PropertyName };
    Kind kind = Kind::None;
    std::string typed;  // what is written of the name so far
    std::size_t tagBegin = 0;
};

CompletionPlace completionPlace(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    const std::size_t open = offset == 0 ? std::string_view::npos : text.rfind('<', offset - 1);
    const std::size_t close = offset == 0 ? std::string_view::npos : text.rfind('>', offset - 1);
    const std::size_t dollar = offset < 2 ? std::string_view::npos : text.rfind("${", offset - 2);
    if (dollar != std::string_view::npos && text.find('}', dollar) >= offset &&
        (open == std::string_view::npos || dollar > open || close == std::string_view::npos ||
         open > close)) {
        std::size_t begin = offset;
        while (begin > dollar + 2 && (std::isalnum(static_cast<unsigned char>(text[begin - 1])) ||
                                      text[begin - 1] == '_')) {
            --begin;
        }
        return {CompletionPlace::Kind::PropertyName,
                std::string(text.substr(begin, offset - begin)), 0};
    }
    if (open == std::string_view::npos || (close != std::string_view::npos && close > open)) {
        return {};
    }
    const std::string_view inTag = text.substr(open + 1, offset - open - 1);
    const bool inName = inTag.find_first_of(" \t\r\n") == std::string_view::npos;
    if (inName) return {CompletionPlace::Kind::ElementName, std::string(inTag), open};
    // Within a quoted value no attribute name is typed.
    if (std::count(inTag.begin(), inTag.end(), '"') % 2 != 0 ||
        std::count(inTag.begin(), inTag.end(), '\'') % 2 != 0) {
        return {};
    }
    return {CompletionPlace::Kind::AttributeName, {}, open};
}

Json elementCompletions(const FeatureContext& context, std::size_t tagBegin) {
    Json items = Json::array();
    const XmlTag* parent = context.file.scan.elementAround(tagBegin);
    std::string parentName = parent != nullptr ? parent->name : "";
    // Inside a macro or a block of xacro, the elements are those of the element around it.
    while (parent != nullptr && xacroLocalName(parent->name)) {
        parent = parent->parent < 0
                     ? nullptr
                     : &context.file.scan.tags()[static_cast<std::size_t>(parent->parent)];
    }
    if (parent != nullptr) parentName = parent->name;
    const auto children = parent != nullptr ? readChildElements(parentName) : readChildElements("");
    for (const auto child : children) {
        items.push_back(completionItem(std::string(child), completionClass,
                                       std::string(readElementSummary(child))));
    }
    if (parent == nullptr) items.push_back(completionItem("robot", completionClass, ""));
    // In a robot file, <link> and <joint> also stand inside macros.
    if (parent != nullptr && parentName == "robot") {
        for (const char* extension : {"gazebo", "transmission", "ros2_control"}) {
            items.push_back(completionItem(extension, completionClass, "for other programs"));
        }
    }
    for (const auto element : xacroElements) {
        items.push_back(completionItem("xacro:" + std::string(element), completionKeyword, ""));
    }
    for (const Symbol* macro : context.files.allDefinitions(SymbolKind::Macro)) {
        items.push_back(completionItem("xacro:" + macro->name, completionFunction,
                                       "macro (" + macro->detail + ")"));
    }
    return items;
}

Json attributeCompletions(const FeatureContext& context, std::size_t tagBegin) {
    Json items = Json::array();
    const XmlTag* tag = context.file.scan.tagAt(tagBegin);
    if (tag == nullptr) return items;
    std::set<std::string> written;
    for (const auto& attribute : tag->attributes) written.insert(attribute.name);
    const auto offer = [&](const std::string& name, const std::string& detail) {
        if (!written.count(name)) items.push_back(completionItem(name, completionProperty, detail));
    };
    if (const auto local = xacroLocalName(tag->name)) {
        for (const Symbol* macro :
             context.files.definitions(SymbolKind::Macro, std::string(*local), context.file.path)) {
            for (const auto& parameter : macroParameters(macro->detail)) {
                if (parameter.name.starts_with("*")) continue;
                offer(parameter.name,
                      parameter.hasDefault ? "default " + parameter.defaultValue : "required");
            }
            break;
        }
        return items;
    }
    for (const auto attribute : readAttributes(tag->name)) offer(std::string(attribute), "");
    return items;
}

Json propertyCompletions(const FeatureContext& context, const std::string& typed) {
    Json items = Json::array();
    for (const Symbol* property : context.files.allDefinitions(SymbolKind::Property)) {
        if (property->name.starts_with(typed)) {
            items.push_back(completionItem(property->name, completionVariable, property->detail));
        }
    }
    return items;
}

}  // namespace

Json rangeJson(const Range& range) {
    return {{"start", positionJson(range.start)}, {"end", positionJson(range.end)}};
}

Json locationJson(const FilePlace& place) {
    return {{"uri", uriOfPath(place.file)}, {"range", rangeJson(place.range)}};
}

std::optional<std::filesystem::path> referencedFile(const std::string& value,
                                                    const std::filesystem::path& from,
                                                    const MeshLocator& meshes) {
    if (value.starts_with("package://") || value.starts_with("file://")) {
        const MeshLocation& location = meshes.locate(value);
        if (location.file) return fileKey(*location.file);
        return std::nullopt;
    }
    bool known = true;
    const std::string path = substituted(value, from, meshes, known);
    if (!known || path.empty()) return std::nullopt;
    const std::filesystem::path file(path);
    return fileKey(file.is_absolute() ? file : from.parent_path() / file);
}

Json hover(const FeatureContext& context, std::size_t offset) {
    const RobotFile& file = context.file;
    const Position position = file.lines.position(offset);
    if (const auto use = symbolAt(file.text, file.scan, offset)) {
        const auto symbols = definitionsAt(context, *use);
        if (!symbols.empty()) {
            return markdown(symbolHoverText(context.files, *symbols.front()) +
                                ruleExplanations(context, position.line),
                            file.lines.range(use->begin, use->end));
        }
    }
    const XmlTag* tag = file.scan.tagAt(offset);
    if (tag == nullptr) return nullptr;
    if (tag->nameBegin <= offset && offset <= tag->nameEnd) {
        return markdown(elementHoverText(*tag) + ruleExplanations(context, position.line),
                        file.lines.range(tag->nameBegin, tag->nameEnd));
    }
    for (const auto& attribute : tag->attributes) {
        if (attribute.nameBegin <= offset && offset <= attribute.nameEnd) {
            const std::string text = attributeHoverText(*tag, attribute);
            if (text.empty()) return nullptr;
            return markdown(text + ruleExplanations(context, position.line),
                            file.lines.range(attribute.nameBegin, attribute.nameEnd));
        }
    }
    const std::string explanations = ruleExplanations(context, position.line);
    if (explanations.empty()) return nullptr;
    return markdown(elementHoverText(*tag) + explanations, file.lines.range(tag->begin, tag->end));
}

Json definition(const FeatureContext& context, std::size_t offset) {
    if (const auto use = symbolAt(context.file.text, context.file.scan, offset)) {
        return symbolDefinitions(context, *use);
    }
    if (const auto file = fileAt(context, offset)) {
        return Json::array({locationJson({*file, {}})});
    }
    return Json::array();
}

Json references(const FeatureContext& context, std::size_t offset, bool withDeclaration) {
    Json locations = Json::array();
    const auto use = symbolAt(context.file.text, context.file.scan, offset);
    if (!use) return locations;
    for (const auto& file : context.files.files()) {
        for (const auto& other : usesIn(file->text, file->scan)) {
            if (other.kind == use->kind && other.name == use->name) {
                locations.push_back(
                    locationJson({file->path, file->lines.range(other.begin, other.end)}));
            }
        }
    }
    if (withDeclaration) {
        for (const Symbol* symbol : definitionsAt(context, *use)) {
            locations.push_back(locationJson(context.files.placeOf(*symbol)));
        }
    }
    return locations;
}

Json documentSymbols(const RobotFile& file) {
    Json symbols = Json::array();
    for (const auto& symbol : file.definitions) {
        const Range selection = file.lines.range(symbol.nameBegin, symbol.nameEnd);
        symbols.push_back({{"name", symbol.name},
                           {"detail", symbolKindName(symbol.kind)},
                           {"kind", documentSymbolKind(symbol.kind)},
                           {"range", rangeJson(file.lines.range(symbol.tagBegin, symbol.tagEnd))},
                           {"selectionRange", rangeJson(selection)}});
    }
    return symbols;
}

Json completion(const FeatureContext& context, std::size_t offset) {
    const CompletionPlace place = completionPlace(context.file.text, offset);
    switch (place.kind) {
        case CompletionPlace::Kind::ElementName:
            return elementCompletions(context, place.tagBegin);
        case CompletionPlace::Kind::AttributeName:
            return attributeCompletions(context, place.tagBegin);
        case CompletionPlace::Kind::PropertyName:
            return propertyCompletions(context, place.typed);
        case CompletionPlace::Kind::None:
            break;
    }
    return Json::array();
}

}  // namespace corvane::tools::lsp
