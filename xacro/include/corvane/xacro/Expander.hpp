// Expands a xacro file (the ROS macro language that writes URDF) into URDF text, in process.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::xacro {

// Finds the folder of the package named NAME, or nothing. The tool hands in its own package
// search (the one the mesh locator uses); tests hand in a small map.
using PackageFinder = std::function<std::optional<std::filesystem::path>(std::string_view name)>;

// The text that stands in for the content of FILE (an editor's unsaved buffer), or nothing to read
// FILE from the disk. FILE is the path as the expander knows it: absolute and canonical
// (std::filesystem::weakly_canonical), whichever way an include reached it.
using FileTexts = std::function<std::optional<std::string>(const std::filesystem::path& file)>;

// One step of the way to an output element: a macro call or an include, where it was written.
struct SourceStep {
    enum class Kind { MacroCall, Include };
    Kind kind = Kind::MacroCall;
    std::string name;  // the macro's name, or the included file
    std::string file;
    int line = 0;
};

// Where an element of the output was written, and the calls and includes that led there,
// innermost first.
struct SourceOrigin {
    std::string file;
    int line = 0;
    std::vector<SourceStep> chain;
};

// "in macro 'NAME' called here" or "in file 'NAME' included here": the note printed for a step.
std::string stepNote(const SourceStep& step);

// What a file printed while it expanded (xacro.message, xacro.warning), and where; the
// expander only collects them, the caller shows them.
struct ExpansionMessage {
    enum class Level { Info, Warning };
    Level level = Level::Info;
    std::string text;
    SourceOrigin where;
};

struct Expansion {
    std::string urdf;
    // One entry per element of the output, in document order.
    std::vector<SourceOrigin> origins;
    // The line of `urdf` on which each element of `origins` starts.
    std::vector<int> lines;
    std::vector<ExpansionMessage> messages;
    // Every file the expansion read (the top file, each included file, each YAML file), once
    // each, in the order first read, as the expander knows them (absolute and canonical).
    std::vector<std::filesystem::path> files;
};

struct ExpandOptions {
    std::map<std::string, std::string> args;  // name:=value words
    PackageFinder findPackage;
    // Unset: every file is read from the disk.
    FileTexts fileTexts;
};

// A failed expansion: what went wrong, where, and the chain of calls and includes.
class ExpansionError : public std::runtime_error {
  public:
    ExpansionError(const std::string& what, SourceOrigin where,
                   std::vector<std::filesystem::path> files = {});
    const SourceOrigin& where() const { return where_; }
    // The files read until the expansion failed, as Expansion::files lists them (the file that
    // could not be read or parsed included), so that a caller can watch them for the mend.
    const std::vector<std::filesystem::path>& files() const { return files_; }
    // "file:line: error: what" followed by one note line per step of the chain.
    std::string report() const;

  private:
    SourceOrigin where_;
    std::vector<std::filesystem::path> files_;
};

// Expands FILE. Throws ExpansionError.
Expansion expandFile(const std::filesystem::path& file, const ExpandOptions& options);

// Expands TEXT as the content of FILE (which need not exist: standard input, say): messages name
// FILE, and relative includes and $(dirname) start from its folder. Throws ExpansionError.
Expansion expandText(const std::string& text, const std::filesystem::path& file,
                     const ExpandOptions& options);

}  // namespace corvane::xacro
