// Xacro input: a robot written in the ROS macro language, expanded into URDF text before the
// import, with a map from each line of that text back to the xacro element that wrote it, so
// that findings point at the line a person edits rather than at generated text.
#pragma once

#include <corvane/xacro/Expander.hpp>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "model/MeshLocator.hpp"

namespace corvane::tools {

// Where the elements of an expanded URDF were written. Empty for a URDF read as it is.
class SourceMap {
  public:
    SourceMap() = default;
    // Keeps the origins of `expansion`, looked up by the line each element starts on.
    explicit SourceMap(xacro::Expansion& expansion);

    bool empty() const { return origins_.empty(); }
    // The origin of the first element that starts on `line` of the expanded text, or null.
    const xacro::SourceOrigin* originOf(int line) const;

  private:
    std::vector<xacro::SourceOrigin> origins_;
    std::map<int, std::size_t> originByLine_;
};

// What an expansion gives the tool.
struct XacroInput {
    std::string urdf;
    SourceMap sourceMap;
    // What the file printed while it expanded (xacro.message, xacro.warning), as
    // "FILE:LINE: warning: TEXT" lines.
    std::vector<std::string> messages;
    // Every file the expansion read (the top file, each include, each YAML file), as the
    // expander lists them (absolute and canonical).
    std::vector<std::filesystem::path> files;
};

// The name:=value words of a run, in the order given; later words win.
using XacroArguments = std::vector<std::pair<std::string, std::string>>;

// How findings and errors name a file the expander read: its path as found, without ./ and ../
// detours ("urdf/../urdf/arm.xacro" is "urdf/arm.xacro").
std::string displayedSourceFile(const std::string& file);

// Whether a command-line word is a xacro argument, NAME:=VALUE, rather than a file.
bool isXacroArgument(const std::string& word);
// NAME and VALUE of such a word.
std::pair<std::string, std::string> splitXacroArgument(const std::string& word);

// Expands the xacro file `file`, or `text` as that file's content when given (standard input).
// $(find PKG) looks for packages as `meshes` looks for package:// URIs; `fileTexts`, when set,
// gives texts that stand in for included files. Throws xacro::ExpansionError.
XacroInput expandXacro(const std::filesystem::path& file, const std::string* text,
                       const XacroArguments& arguments, const MeshLocator& meshes,
                       const xacro::FileTexts& fileTexts = {});

}  // namespace corvane::tools
