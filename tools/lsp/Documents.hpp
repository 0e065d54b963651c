// The documents the editor has open: their texts as typed (full sync), by URI and by path, and
// which of them are robots to analyse and which are files that robots include.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::tools::lsp {

struct Document {
    std::string uri;
    // Absolute and canonical: the key under which an analysis reads the text.
    std::filesystem::path path;
    std::string text;
    int version = 0;
};

class Documents {
  public:
    // Opens or replaces the document `uri`; false for a URI that is no local file.
    bool open(const std::string& uri, std::string text, int version);
    void close(const std::string& uri);

    const Document* find(const std::string& uri) const;
    const Document* findPath(const std::filesystem::path& path) const;
    std::vector<const Document*> all() const;
    // The texts that stand in for the files on the disk.
    std::map<std::filesystem::path, std::string> texts() const;

  private:
    std::map<std::string, Document> documents_;
};

// The path of a file:// URI (percent escapes decoded), absolute and canonical; nothing for
// other schemes.
std::optional<std::filesystem::path> pathOfUri(std::string_view uri);
// The file:// URI of an absolute path, with the characters URIs reserve escaped.
std::string uriOfPath(const std::filesystem::path& path);
// The key of a file among the documents and the analyses' files: absolute and canonical.
std::filesystem::path fileKey(const std::filesystem::path& path);

// Whether the server looks at the document: a .urdf or .xacro file (*.urdf.xacro too), or XML
// whose root element declares the xacro namespace.
bool isRobotDescription(const std::filesystem::path& path, std::string_view text);
// Whether the document is a robot to analyse as a top file: its root is <robot> and it holds
// more than the definitions an included file holds (macros, properties, arguments, includes).
bool isTopRobot(std::string_view text);

}  // namespace corvane::tools::lsp
