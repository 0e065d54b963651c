// What the files of a robot define and use, read from their texts as typed: the macros,
// properties and arguments of xacro, the links and joints, and the places that name them. The
// outline, hover, definitions and references are made of these.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "lsp/XmlScan.hpp"

namespace corvane::tools::lsp {

enum class SymbolKind { Macro, Property, Argument, Link, Joint };

// "macro", "property", "argument", "link" or "joint".
const char* symbolKindName(SymbolKind kind);

struct Symbol {
    SymbolKind kind = SymbolKind::Macro;
    std::string name;
    std::filesystem::path file;
    // The name as written in the defining tag (its name attribute's value).
    std::size_t nameBegin = 0, nameEnd = 0;
    // The whole start tag.
    std::size_t tagBegin = 0, tagEnd = 0;
    // A macro's params as written; a property's value; an argument's default.
    std::string detail;
};

// A place that names a symbol: a macro call, ${name}, $(arg name), <parent link>, <mimic joint>.
struct SymbolUse {
    SymbolKind kind = SymbolKind::Macro;
    std::string name;
    std::size_t begin = 0, end = 0;
};

// The definitions of the file `file`, in the order of the text. Links and joints are
// those whose name is written out, without ${}.
std::vector<Symbol> definitionsIn(const std::filesystem::path& file, const XmlScan& scan);
// Every use of a symbol in `text`, in order.
std::vector<SymbolUse> usesIn(std::string_view text, const XmlScan& scan);
// The use or the definition's name under `offset`, as a use.
std::optional<SymbolUse> symbolAt(std::string_view text, const XmlScan& scan, std::size_t offset);

// A macro's parameters as its params attribute writes them: "a b:=1 *block" gives a, b (default
// 1) and the block parameter *block.
struct MacroParameter {
    std::string name;  // with its '*' or '**' for a block
    std::string defaultValue;
    bool hasDefault = false;
};
std::vector<MacroParameter> macroParameters(std::string_view params);

}  // namespace corvane::tools::lsp
