// What the editor asks about a place in a document: hover, definition, references, the outline
// and completion, as the protocol's JSON results.
#pragma once

#include <cstddef>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "lsp/RobotFiles.hpp"
#include "model/MeshLocator.hpp"

namespace corvane::tools::lsp {

using Json = nlohmann::json;

// A diagnostic shown in the document: its line (from 0) and its rule.
struct ShownRule {
    int line = 0;
    std::string rule;
};

struct FeatureContext {
    const RobotFiles& files;
    const RobotFile& file;
    // Finds packages for $(find) and package:// URIs, and files relative to the document.
    const MeshLocator& meshes;
    std::vector<ShownRule> shownRules;
    // Where the expansion of a robot wrote the link or joint of that name, for names a macro
    // makes; nothing when no analysis knows it.
    std::function<std::optional<FilePlace>(SymbolKind, const std::string&)> expandedDefinition;
};

// A Hover, or null.
Json hover(const FeatureContext& context, std::size_t offset);
// Location[] (empty when nothing is known).
Json definition(const FeatureContext& context, std::size_t offset);
Json references(const FeatureContext& context, std::size_t offset, bool withDeclaration);
// DocumentSymbol[]: the links, joints, macros, properties and arguments of the file.
Json documentSymbols(const RobotFile& file);
// CompletionItem[].
Json completion(const FeatureContext& context, std::size_t offset);

// The file an include's filename or a mesh's URI names, when it can be told without the
// expansion: $(find PKG), $(dirname), package:// and file:// URIs and paths relative to `from`.
std::optional<std::filesystem::path> referencedFile(const std::string& value,
                                                    const std::filesystem::path& from,
                                                    const MeshLocator& meshes);

Json locationJson(const FilePlace& place);
Json rangeJson(const Range& range);

}  // namespace corvane::tools::lsp
