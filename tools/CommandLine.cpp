#include "CommandLine.hpp"

#include <CLI/CLI.hpp>
#include <corvane/Builders.hpp>
#include <iostream>
#include <map>
#include <string>

namespace corvane::tools {

namespace {

const std::map<std::string, OutputFormat>& formatNames() {
    static const std::map<std::string, OutputFormat> names{
        {"text", OutputFormat::Text},
        {"json", OutputFormat::Json},
    };
    return names;
}

// A dotted type path such as Robots.Arm: every segment must be non-empty.
std::string checkImportPath(const std::string& path) {
    for (const auto& segment : Internal::split(path, ".")) {
        if (segment.empty()) return "empty segment in type path '" + path + "'";
    }
    return {};
}

// CLI11 messages may span lines; the tool reports every failure on one.
std::string oneLine(std::string text) {
    for (auto& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

constexpr const char* description =
    "Imports a URDF robot description (FILE, or - for standard input) and prints the Corvane\n"
    "model it becomes.";

constexpr const char* footer =
    "Output goes to standard output unless -o names a file. A regular file is replaced only\n"
    "once the whole document is written; a device or a pipe (e.g. /dev/null) is written\n"
    "directly. Warnings and errors go to standard error; -q drops those of the import (the\n"
    "plugin's log and urdfdom's diagnostics) but not the final error line of a failed run.\n"
    "\n"
    "Exit status: 0 on success; 1 when the description is refused or cannot be converted;\n"
    "2 for usage errors and for files that cannot be read or written.";

struct Arguments {
    Options options;
    std::string format = "text";
    std::string output;
    std::string importPath;
};

void declareOptions(CLI::App& app, Arguments& arguments) {
    Options& options = arguments.options;
    app.add_option("-f,--format", arguments.format, "Output format: text (default) or json")
        ->check(CLI::IsMember(formatNames()))
        ->option_text("text|json");
    app.add_option("-o,--output", arguments.output, "Write to OUT instead of standard output")
        ->option_text("OUT");
    app.add_option("-p,--precision", options.precision,
                   "Digits after the decimal point of real numbers, 0 to 100 (default 10)")
        ->check(CLI::Range(0, 100))
        ->option_text("PRECISION");
    app.add_option("--import", arguments.importPath,
                   "Type path of the import; its last segment names the model (default: the "
                   "robot's name)")
        ->check(CLI::Validator(checkImportPath, "A.B.Name"))
        ->option_text("A.B.Name");
    app.add_flag("-q,--quiet", options.quiet, "No warnings or errors from the import itself");
    app.add_option("FILE", options.input, "URDF file to import, or - for standard input")
        ->required();
}

Options finishOptions(Arguments arguments) {
    Options options = std::move(arguments.options);
    options.format = formatNames().at(arguments.format);
    if (!arguments.output.empty()) options.output = arguments.output;
    if (!arguments.importPath.empty()) {
        options.importSegments = Internal::split(arguments.importPath, ".");
    }
    return options;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
    CLI::App app{description, "corvane-urdf"};
    app.footer(footer);
    app.set_version_flag("--version", CORVANE_VERSION);
    Arguments arguments;
    declareOptions(app, arguments);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForVersion& version) {
        std::cout << version.what() << '\n';
        return {std::nullopt, ExitStatus::Success};
    } catch (const CLI::Success&) {
        std::cout << app.help();
        return {std::nullopt, ExitStatus::Success};
    } catch (const CLI::ParseError& error) {
        std::cerr << "error: " << oneLine(error.what()) << " (see --help)\n";
        return {std::nullopt, ExitStatus::UsageOrIo};
    }
    if (!arguments.output.empty() && arguments.output == standardStream) {
        arguments.output.clear();
    }
    return {finishOptions(std::move(arguments)), ExitStatus::Success};
}

}  // namespace corvane::tools
