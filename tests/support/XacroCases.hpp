// The table of xacro cases in ../shared/xacro (CASES.tsv: case, file, args, package path, ...)
// and the package finder its package paths mean: a package is the folder below the path whose
// package.xml names it. Header-only, for the benchmarks and the tests alike.
#pragma once

#include <tinyxml2.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "corvane/xacro/Expander.hpp"

namespace corvane::testing {

// The rows of a tab-separated table, each a map from the first row's column names to its cells.
inline std::vector<std::map<std::string, std::string>> readXacroCases(
    const std::filesystem::path& table) {
    std::ifstream in(table);
    std::vector<std::string> header;
    std::vector<std::map<std::string, std::string>> rows;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> cells;
        std::stringstream cellStream(line);
        for (std::string cell; std::getline(cellStream, cell, '\t');) cells.push_back(cell);
        if (header.empty()) {
            header = cells;
            continue;
        }
        std::map<std::string, std::string> row;
        for (std::size_t i = 0; i < header.size(); ++i)
            row[header[i]] = i < cells.size() ? cells[i] : "";
        rows.push_back(std::move(row));
    }
    return rows;
}

// Finds package NAME below ROOT: the folder whose package.xml names it. ROOT is searched once,
// when the finder is made.
inline xacro::PackageFinder packageFinderBelow(const std::filesystem::path& root) {
    auto packages = std::make_shared<std::map<std::string, std::filesystem::path>>();
    if (std::filesystem::is_directory(root)) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            if (entry.path().filename() != "package.xml") continue;
            tinyxml2::XMLDocument document;
            if (document.LoadFile(entry.path().string().c_str()) != tinyxml2::XML_SUCCESS) continue;
            const auto* package = document.RootElement();
            const auto* name = package ? package->FirstChildElement("name") : nullptr;
            if (name && name->GetText()) (*packages)[name->GetText()] = entry.path().parent_path();
        }
    }
    return [packages](std::string_view name) -> std::optional<std::filesystem::path> {
        const auto it = packages->find(std::string(name));
        if (it == packages->end()) return std::nullopt;
        return it->second;
    };
}

// The name:=value words of an args cell. A value may hold a substitution with a space in it
// ($(find PKG)), so a word without ":=" continues the value before it; the expander substitutes
// the values as the tool's command line hands them over.
inline std::map<std::string, std::string> xacroCaseArgs(const std::string& words) {
    std::map<std::string, std::string> args;
    std::istringstream in(words);
    std::string* last = nullptr;
    for (std::string word; in >> word;) {
        const auto split = word.find(":=");
        if (split == std::string::npos) {
            if (last) *last += " " + word;
            continue;
        }
        last = &(args[word.substr(0, split)] = word.substr(split + 2));
    }
    return args;
}

}  // namespace corvane::testing
