// What one run of corvane-urdf is asked to do, as read from its command line.
#pragma once

#include <corvane/xacro/Recognition.hpp>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/XacroInput.hpp"

namespace corvane::tools {

enum class OutputFormat { Text, Json, Dot, Svg, Png, Html, Snapshot, Urdf };

// How --check prints its findings: lines for people, JSON lines, or one SARIF log for the run.
enum class CheckFormat { Text, Json, Sarif };

// The name that stands for standard input (and, as output, standard output).
inline constexpr const char* standardStream = "-";

struct Options {
    // Paths, or "-" for standard input (then the only input).
    std::vector<std::string> inputs;
    // With one input: the file the rendered document goes to; standard output when empty. With
    // several inputs: the folder that receives one output per input; when empty, only summaries
    // are produced.
    std::optional<std::filesystem::path> output;
    OutputFormat format = OutputFormat::Text;
    int precision = 10;
    // Type segments of the import statement; the last one names the model.
    std::vector<std::string> importSegments;
    // Report on standard error what each import made of the robot and what it left behind.
    bool summary = false;
    bool quiet = false;
    // --package-path values as given: search folders (DIR) and package folders (NAME=DIR) for
    // package:// mesh URIs, in order.
    std::vector<std::string> packagePaths;
    // --check: the physical checks of each import, printed as findings. Alone it writes no
    // document; -f or -o ask for the document as well.
    bool check = false;
    // Warnings of the checks fail the run as errors do (exit status 3).
    bool checkWarningsAsErrors = false;
    // Also show the checks' notes.
    bool verbose = false;
    CheckFormat checkFormat = CheckFormat::Text;
    // --explain RULE: what the rule checks and why, instead of any import; a known rule id.
    std::optional<std::string> explain;
    // -f was given: with --check, the document is written too.
    bool formatGiven = false;
    // --xacro: every input is expanded as xacro; without it, FILEs named *.xacro and those
    // written in xacro whatever their name (see expandsAsXacro).
    bool xacro = false;
    // --no-xacro: every input is read as it is.
    bool noXacro = false;
    // The NAME:=VALUE words of the command line: the arguments of xacro inputs.
    XacroArguments xacroArguments;
    // `corvane-urdf lsp`: the language server on standard input and output, nothing else.
    bool languageServer = false;

    // Whether `input`, whose content is `text`, is expanded as xacro before its import: by its
    // name, or by its content (its root declares the xacro namespace and a xacro element stands
    // in it), since robots such as turtlebot3 write xacro in *.urdf files.
    bool expandsAsXacro(const std::string& input, std::string_view text) const {
        return !noXacro && (expandsByName(input) || xacro::isXacroDocument(text));
    }
    // Whether `input` is expanded whatever its content: named *.xacro, or --xacro given.
    bool expandsByName(const std::string& input) const {
        return !noXacro && (xacro || std::string_view(input).ends_with(".xacro"));
    }
    // -f urdf alone: the URDF text is written as read or expanded, without an import.
    bool writesUrdfOnly() const { return format == OutputFormat::Urdf && !summary && !check; }

    // Several inputs: each one's output goes into the folder `output`.
    bool batch() const { return inputs.size() > 1; }
    // Several inputs read for their summaries or findings alone, nothing written.
    bool summariesOnly() const { return batch() && !output; }
    // --check alone: the findings are wanted, not the document.
    bool checksOnly() const { return check && !formatGiven && !output; }
};

}  // namespace corvane::tools
