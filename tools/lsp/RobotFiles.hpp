// The files a request about one document looks through: that document, the other open ones,
// and the files the analyses of robots that read it read; each with its text (as typed where it
// is open), its tags and its definitions, read once per request.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lsp/Documents.hpp"
#include "lsp/Symbols.hpp"
#include "lsp/Text.hpp"
#include "lsp/XmlScan.hpp"

namespace corvane::tools::lsp {

struct RobotFile {
    RobotFile(std::filesystem::path path, std::string text);
    RobotFile(const RobotFile&) = delete;
    RobotFile& operator=(const RobotFile&) = delete;

    std::filesystem::path path;
    std::string text;
    TextLines lines;
    XmlScan scan;
    std::vector<Symbol> definitions;
};

// Where a symbol or a file is, for a Location.
struct FilePlace {
    std::filesystem::path file;
    Range range;
};

class RobotFiles {
  public:
    // `files`: besides the open documents; those that cannot be read or are no robot
    // description (meshes, YAML) are left out.
    RobotFiles(const Documents& documents, const std::vector<std::filesystem::path>& files);

    const std::vector<std::unique_ptr<RobotFile>>& files() const { return files_; }
    const RobotFile* find(const std::filesystem::path& path) const;
    // The definitions of `name` of `kind` in every file, the file `first` first.
    std::vector<const Symbol*> definitions(SymbolKind kind, const std::string& name,
                                           const std::filesystem::path& first) const;
    // Every definition of `kind` (for completion), once per name.
    std::vector<const Symbol*> allDefinitions(SymbolKind kind) const;
    FilePlace placeOf(const Symbol& symbol) const;

  private:
    void add(const std::filesystem::path& path, std::string text);

    std::vector<std::unique_ptr<RobotFile>> files_;
};

// The text of a file on the disk, or nothing.
std::optional<std::string> readTextFile(const std::filesystem::path& path);

}  // namespace corvane::tools::lsp
