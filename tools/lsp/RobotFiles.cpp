#include "lsp/RobotFiles.hpp"

#include <fstream>
#include <set>
#include <sstream>

namespace corvane::tools::lsp {

namespace {

// A robot's files are a few hundred kilobytes at most; a larger one is no description to read
// for navigation (a mesh of the wrong extension, say).
constexpr std::uintmax_t maximumFileSize = 16 * 1024 * 1024;

}  // namespace

RobotFile::RobotFile(std::filesystem::path path_, std::string text_)
    : path(std::move(path_)), text(std::move(text_)), lines(text), scan(text) {
    definitions = definitionsIn(path, scan);
}

std::optional<std::string> readTextFile(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
    const auto size = std::filesystem::file_size(path, error);
    if (error || size > maximumFileSize) return std::nullopt;
    std::ifstream stream(path, std::ios::binary);
    if (!stream) return std::nullopt;
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}

RobotFiles::RobotFiles(const Documents& documents,
                       const std::vector<std::filesystem::path>& files) {
    for (const Document* document : documents.all()) add(document->path, document->text);
    for (const auto& path : files) {
        if (find(path) != nullptr) continue;
        const std::string extension = path.extension().string();
        if (extension != ".xacro" && extension != ".urdf" && extension != ".xml") continue;
        if (auto text = readTextFile(path)) add(path, std::move(*text));
    }
}

void RobotFiles::add(const std::filesystem::path& path, std::string text) {
    files_.push_back(std::make_unique<RobotFile>(path, std::move(text)));
}

const RobotFile* RobotFiles::find(const std::filesystem::path& path) const {
    for (const auto& file : files_) {
        if (file->path == path) return file.get();
    }
    return nullptr;
}

std::vector<const Symbol*> RobotFiles::definitions(SymbolKind kind, const std::string& name,
                                                   const std::filesystem::path& first) const {
    std::vector<const Symbol*> found;
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& file : files_) {
            if ((file->path == first) != (pass == 0)) continue;
            for (const auto& symbol : file->definitions) {
                if (symbol.kind == kind && symbol.name == name) found.push_back(&symbol);
            }
        }
    }
    return found;
}

std::vector<const Symbol*> RobotFiles::allDefinitions(SymbolKind kind) const {
    std::vector<const Symbol*> all;
    std::set<std::string> names;
    for (const auto& file : files_) {
        for (const auto& symbol : file->definitions) {
            if (symbol.kind == kind && names.insert(symbol.name).second) all.push_back(&symbol);
        }
    }
    return all;
}

FilePlace RobotFiles::placeOf(const Symbol& symbol) const {
    const RobotFile* file = find(symbol.file);
    if (file == nullptr) return {symbol.file, {}};
    return {symbol.file, file->lines.range(symbol.nameBegin, symbol.nameEnd)};
}

}  // namespace corvane::tools::lsp
