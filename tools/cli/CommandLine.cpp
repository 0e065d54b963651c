#include "cli/CommandLine.hpp"

#include <CLI/CLI.hpp>
#include <corvane/Builders.hpp>
#include <iostream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "checks/Rules.hpp"
#include "cli/Input.hpp"
#include "model/MeshLocator.hpp"
#include "model/XacroInput.hpp"
#include "page/HtmlPage.hpp"
#include "support/Spelling.hpp"
#include "support/ToolError.hpp"
#include "support/VisibleText.hpp"

namespace corvane::tools {

namespace {

const std::map<std::string, OutputFormat>& formatNames() {
    static const std::map<std::string, OutputFormat> names{
        {"text", OutputFormat::Text},         {"json", OutputFormat::Json},
        {"dot", OutputFormat::Dot},           {"svg", OutputFormat::Svg},
        {"png", OutputFormat::Png},           {"html", OutputFormat::Html},
        {"snapshot", OutputFormat::Snapshot}, {"urdf", OutputFormat::Urdf},
    };
    return names;
}

const std::map<std::string, CheckFormat>& checkFormatNames() {
    static const std::map<std::string, CheckFormat> names{
        {"text", CheckFormat::Text}, {"json", CheckFormat::Json}, {"sarif", CheckFormat::Sarif}};
    return names;
}

// A dotted type path such as Robots.Arm: every segment must be non-empty.
std::string checkImportPath(const std::string& path) {
    for (const auto& segment : Internal::split(path, ".")) {
        if (segment.empty()) return "empty segment in type path " + singleQuoted(path);
    }
    return {};
}

// CLI11 messages may span lines; the tool reports every failure on one.
std::string oneLine(const std::string& message) {
    std::string text = onOneLine(message);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

constexpr const char* description =
    "Imports a URDF robot description (FILE, or - for standard input; a FILE written in xacro is\n"
    "expanded first) and prints the Corvane model it becomes: as host text, as JSON, as a\n"
    "Graphviz picture of its bodies and interactions (dot source, or SVG and PNG drawn by\n"
    "Graphviz's dot program), or as a 3D page (html: one self-contained file with joint\n"
    "sliders; snapshot: a PNG of that page taken by headless Chromium). --check reports what a\n"
    "simulator will make of the robot.";

constexpr const char* footer =
    "Output goes to standard output unless -o names a file. A regular file is replaced only\n"
    "once the whole document is written; a device or a pipe (e.g. /dev/null) is written\n"
    "directly. Warnings and errors go to standard error; -q drops those of the import (the\n"
    "plugin's log and urdfdom's diagnostics) but not the final error line of a failed run.\n"
    "\n"
    "--summary reports on standard error, after each import, what the model holds (bodies with\n"
    "and without mass, geometries, interactions, ranges, actuators, kinematic locks), the joints\n"
    "skipped and why, the bodies left without any mass, and what the URDF holds that the import\n"
    "does not carry over.\n"
    "\n"
    "-f html places every body from the mate connectors at the initial values and embeds the\n"
    "meshes (found through --package-path, ROS_PACKAGE_PATH, AMENT_PREFIX_PATH or the URDF's\n"
    "folder) and three.js from /usr/share/javascript/three (or CORVANE_THREE_DIR); a mesh that\n"
    "cannot be found is a warning. -f snapshot draws that page at 1280x800 with chromium.\n"
    "\n"
    "Several FILEs: -o names an existing folder that receives one output per input, named after\n"
    "the input with the format's extension (.txt, .json, .dot, .svg, .png, .html); two inputs\n"
    "that would write the same file are a usage error. A refused input does not stop the\n"
    "others. Without -o, several FILEs are allowed only with --summary or --check (and no -f):\n"
    "the summaries and findings alone are printed.\n"
    "\n"
    "--check prints one line per finding, FILE:LINE: error|warning|note: SUBJECT: MESSAGE\n"
    "[RULE], then FILE: checked: N errors, M warnings; on standard output, or on standard\n"
    "error when the document goes to standard output. Mesh files are looked for as for -f html.\n"
    "--check-format json prints one JSON object per finding and line instead (file, line,\n"
    "severity, rule, subject, message, notes); sarif prints one SARIF 2.1.0 log for the whole\n"
    "run, after the last FILE. --explain RULE says what a rule checks, why and how to mend it.\n"
    "\n"
    "Xacro: a FILE whose name ends in .xacro, or whose root element declares the xacro namespace\n"
    "and holds a xacro element (whatever its name, .urdf too), is expanded in process before the\n"
    "import; --xacro expands every FILE, --no-xacro none. NAME:=VALUE words among the\n"
    "FILEs are its arguments ($(arg NAME)); $(find PKG) looks for packages as mesh URIs are\n"
    "looked for. -f urdf writes the expanded URDF (a URDF FILE as read) without importing it.\n"
    "Findings of --check point at the xacro line that wrote the element, followed by one\n"
    "FILE:LINE: note: line per macro call and include that led there. A failed expansion exits\n"
    "1 with the xacro file and line, and writes nothing.\n"
    "\n"
    "corvane-urdf serve FILE [NAME:=VALUE...] serves the robot's live 3D page over HTTP (see\n"
    "corvane-urdf serve --help): every save of a file the robot is read from redraws it, with\n"
    "the findings of --check on the bodies they are about.\n"
    "\n"
    "Exit status: 0 on success; 1 when the description is refused or cannot be converted;\n"
    "2 for usage errors, for files that cannot be read or written, and when Graphviz's dot,\n"
    "three.js or Chromium is missing or fails; 3 when --check finds an error (or a warning,\n"
    "with --check-warnings-as-errors) in a robot that imported. With several FILEs, the\n"
    "highest status of them all, after all have been tried.";

struct Arguments {
    Options options;
    std::string format = "text";
    std::string checkFormat = "text";
    std::string explain;
    std::string output;
    std::string importPath;
    bool stdio = false;  // lsp --stdio: accepted, the only channel there is
};

void declareOptions(CLI::App& app, Arguments& arguments) {
    Options& options = arguments.options;
    app.add_option("-f,--format", arguments.format,
                   "Output format: text (default), json, dot (Graphviz source), svg or png (drawn "
                   "by Graphviz), html (3D page), snapshot (PNG of the 3D page, by Chromium) or "
                   "urdf (the URDF text, expanded from xacro)")
        ->check(CLI::IsMember(formatNames()))
        ->option_text("text|json|dot|svg|png|html|snapshot|urdf");
    app.add_option("-o,--output", arguments.output,
                   "Write to OUT instead of standard output; with several FILEs, into the folder "
                   "DIR")
        ->option_text("OUT|DIR");
    app.add_option("-p,--precision", options.precision,
                   "Digits after the decimal point of real numbers, 0 to 100 (default 10)")
        ->check(CLI::Range(0, 100))
        ->option_text("PRECISION");
    app.add_option("--import", arguments.importPath,
                   "Type path of the import; its last segment names the model (default: the "
                   "robot's name)")
        ->check(CLI::Validator(checkImportPath, "A.B.Name"))
        ->option_text("A.B.Name");
    app.add_flag("--summary", options.summary,
                 "After each import, report on standard error what the model holds and what the "
                 "URDF holds that the import does not carry over");
    app.add_flag("-q,--quiet", options.quiet, "No warnings or errors from the import itself");
    app.add_flag("--check", options.check,
                 "Check what a simulator will make of each robot (masses, inertias, axes, ranges, "
                 "actuators, geometry sizes, mesh files) and print the findings as FILE:LINE: "
                 "SEVERITY: ...; alone, no document is written");
    app.add_flag("--check-warnings-as-errors", options.checkWarningsAsErrors,
                 "With --check: warnings fail the run (exit status 3) as errors do");
    app.add_flag("-v,--verbose", options.verbose, "With --check: also print the notes");
    app.add_option("--check-format", arguments.checkFormat,
                   "With --check: the findings as text lines (default), JSON lines or one SARIF "
                   "2.1.0 log for the run")
        ->check(CLI::IsMember(checkFormatNames()))
        ->option_text("text|json|sarif");
    app.add_option("--explain", arguments.explain,
                   "Say what the check rule RULE checks, its threshold, why a simulator cares and "
                   "how to mend it; no FILE is read")
        ->option_text("RULE");
    app.add_option("--package-path", options.packagePaths,
                   "where package:// mesh URIs are looked for (repeatable; NAME=DIR maps one "
                   "package); then ROS_PACKAGE_PATH and AMENT_PREFIX_PATH")
        // One folder per occurrence: without this CLI11 would also take the FILEs that follow.
        ->allow_extra_args(false)
        ->take_all()
        ->check(CLI::Validator(PackageSearch::packagePathProblem, "DIR|NAME=DIR"))
        ->option_text("DIR|NAME=DIR");
    // --xacro and --no-xacro exclude each other: checked after parsing, since CLI11's own check
    // would write "Excludes:" where the help, the manual page and the completion read an option's
    // value.
    app.add_flag("--xacro", options.xacro,
                 "Expand every FILE (standard input too) as xacro, whatever its name and content");
    app.add_flag("--no-xacro", options.noXacro,
                 "Read every FILE as it is, even one named *.xacro or written in xacro");
    // Required unless --explain is given: checked after parsing.
    app.add_option("FILE", options.inputs,
                   "URDF or xacro files to import (required unless --explain is given), or - for "
                   "standard input (then the only one); "
                   "NAME:=VALUE words are the xacro arguments")
        ->option_text("FILE... [NAME:=VALUE...]");
}

// `lsp`: the language server. --stdio is what editors' generic clients pass; standard input
// and output are the only channel there is.
CLI::App* declareLanguageServer(CLI::App& app, Arguments& arguments) {
    CLI::App* lsp = app.add_subcommand(
        "lsp", "Run the language server (LSP 3.17) on standard input and output");
    lsp->footer(
        "Serves an editor: the findings of --check as diagnostics while you type, hover,\n"
        "definitions, references, the outline and completion of URDF and xacro files; settings\n"
        "from initializationOptions or a corvane-urdf.json (docs/lsp.md). Exit status: 0 after\n"
        "shutdown and exit, 1 on exit alone or when standard input ends.");
    lsp->add_flag("--stdio", arguments.stdio,
                  "Speak the protocol on standard input and output (the default)");
    return lsp;
}

// Several inputs go to a folder, or nowhere when only their summaries are asked for. The empty
// text means the inputs fit the other options.
std::string checkInputs(const Arguments& arguments, bool formatGiven) {
    const Options& options = arguments.options;
    if (options.inputs.size() < 2) return {};
    for (const auto& input : options.inputs) {
        if (input == standardStream) return "standard input (-) can only be the only FILE";
    }
    if (arguments.output == standardStream) {
        return "several FILEs cannot all be written to standard output; give -o DIR";
    }
    if (arguments.output.empty() && ((!options.summary && !options.check) || formatGiven)) {
        return "several FILEs need -o DIR, a folder for their outputs (or --summary or --check "
               "alone)";
    }
    return {};
}

// NAME:=VALUE words among the FILEs are xacro arguments; --xacro and --no-xacro exclude each
// other. The empty text means they fit.
std::string takeXacroArguments(Options& options) {
    if (options.xacro && options.noXacro) return "--xacro and --no-xacro exclude each other";
    std::vector<std::string> files;
    for (auto& word : options.inputs) {
        if (isXacroArgument(word)) {
            options.xacroArguments.push_back(splitXacroArgument(word));
        } else {
            files.push_back(std::move(word));
        }
    }
    options.inputs = std::move(files);
    if (options.inputs.empty()) return "no FILE given (NAME:=VALUE words are xacro arguments)";
    if (options.xacroArguments.empty()) return {};
    if (options.noXacro)
        return "NAME:=VALUE arguments are for xacro input, and --no-xacro expands no FILE";
    for (const auto& input : options.inputs) {
        // standard input, and a file that cannot be read (its reading says why), may be xacro
        if (input == standardStream) return {};
        try {
            if (options.expandsAsXacro(input, readInput(input))) return {};
        } catch (const ToolError&) {
            return {};
        }
    }
    return "NAME:=VALUE arguments are for xacro input, and no FILE is expanded (name it *.xacro, "
           "write it in xacro, or give --xacro)";
}

// Why --explain cannot explain `id`: an unknown rule, named with the known ones (and the one it
// most likely stands for); empty for a rule of the table.
std::string explainProblem(const std::string& id) {
    if (findRule(id) != nullptr) return {};
    std::vector<std::string_view> ids;
    std::string known;
    for (const Rule& rule : allRules()) {
        ids.push_back(rule.id);
        known += (known.empty() ? "" : ", ") + std::string(rule.id);
    }
    std::string problem = "--explain: no rule " + singleQuoted(visibleText(id));
    if (const auto meant = closestName(id, ids)) {
        problem += " (did you mean " + singleQuoted(*meant) + "?)";
    }
    return problem + "; the rules are: " + known;
}

Options finishOptions(Arguments arguments) {
    Options options = std::move(arguments.options);
    options.format = formatNames().at(arguments.format);
    options.checkFormat = checkFormatNames().at(arguments.checkFormat);
    if (!arguments.explain.empty()) options.explain = arguments.explain;
    if (!arguments.output.empty()) options.output = arguments.output;
    if (!arguments.importPath.empty()) {
        options.importSegments = Internal::split(arguments.importPath, ".");
    }
    return options;
}

constexpr const char* serveDescription =
    "Serves the live 3D page of the robot FILE (URDF, or xacro when named *.xacro) over HTTP, on\n"
    "127.0.0.1 and a free port unless --bind and --port say otherwise, and prints one line,\n"
    "\"serving FILE at http://ADDR:PORT/\". Every file the robot is read from is watched: after a\n"
    "save (and ~100 ms of quiet) the robot is read, checked and drawn again, and each open page\n"
    "swaps it in, keeping its camera, joint values and toggles; a failed run shows its error\n"
    "above the last good robot. The findings of --check are listed on the page and tint their\n"
    "bodies. Ends with 0 on SIGINT or SIGTERM.";

constexpr const char* serveFooter =
    "Routes (GET and HEAD only): / the page; /scene.json the scene of the last good run (the\n"
    "format of -f html, with \"findings\"); /meshes/INDEX the bytes of the scene's mesh INDEX;\n"
    "/events Server-Sent Events: \"scene\" (the new scene) after a good run, \"failure\"\n"
    "({message, file, line, chain}) after a failed one. Requests whose Host is neither the bound\n"
    "address nor localhost (with the port) are refused with 403; other methods get 405.\n"
    "\n"
    "Exit status: 0 after SIGINT or SIGTERM; 2 for usage errors, a FILE that cannot be read at\n"
    "the start, or an address that cannot be listened on.";

struct ServeArguments {
    ServeOptions serve;
    std::vector<std::string> words;
    bool xacro = false;
};

void declareServeOptions(CLI::App& app, ServeArguments& arguments) {
    ServeOptions& serve = arguments.serve;
    app.add_option("--port", serve.port, "Port to listen on; 0 (default) takes a free one")
        ->check(CLI::Range(0, 65535))
        ->option_text("N");
    app.add_option("--bind", serve.bind,
                   "Address to listen on (default 127.0.0.1); any other than a loopback address "
                   "lets everyone on that network read the robot's files")
        ->option_text("ADDR");
    app.add_flag("--open", serve.open, "Open the page in the desktop's browser (xdg-open)");
    app.add_option("--package-path", serve.request.packagePaths,
                   "where package:// URIs and $(find PKG) are looked for (repeatable; NAME=DIR "
                   "maps one package); then ROS_PACKAGE_PATH and AMENT_PREFIX_PATH")
        ->allow_extra_args(false)
        ->take_all()
        ->check(CLI::Validator(PackageSearch::packagePathProblem, "DIR|NAME=DIR"))
        ->option_text("DIR|NAME=DIR");
    app.add_flag("--xacro", arguments.xacro, "Expand FILE as xacro, whatever its name");
    app.add_flag("-q,--quiet", serve.quiet, "No warnings from the import or the expansion");
    app.add_flag("-v,--verbose", serve.request.showNotes, "Also list the checks' notes");
    app.add_option("FILE", arguments.words,
                   "The robot (URDF or xacro); NAME:=VALUE words are the xacro arguments")
        ->required()
        ->option_text("FILE [NAME:=VALUE...]");
}

// The one FILE and the xacro arguments among the words; empty when they fit.
std::string takeServeWords(ServeArguments& arguments) {
    std::vector<std::string> files;
    AnalysisRequest& request = arguments.serve.request;
    for (const auto& word : arguments.words) {
        if (isXacroArgument(word)) {
            request.arguments.push_back(splitXacroArgument(word));
        } else {
            files.push_back(word);
        }
    }
    if (files.size() != 1) return "serve takes one FILE";
    if (files.front() == standardStream) return "serve needs a FILE, not standard input";
    request.topFile = files.front();
    if (arguments.xacro) request.xacro = true;
    const bool expands = arguments.xacro || files.front().ends_with(".xacro");
    if (!request.arguments.empty() && !expands)
        return "NAME:=VALUE arguments are for xacro input, and FILE is not expanded (name it "
               "*.xacro or give --xacro)";
    return {};
}

CommandLine parseServeCommandLine(int argc, const char* const* argv) {
    CLI::App app{serveDescription, "corvane-urdf serve"};
    app.footer(serveFooter);
    ServeArguments arguments;
    declareServeOptions(app, arguments);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success&) {
        std::cout << app.help();
        return {std::nullopt, std::nullopt, ExitStatus::Success};
    } catch (const CLI::ParseError& error) {
        std::cerr << "error: serve: " << oneLine(error.what()) << " (see serve --help)\n";
        return {std::nullopt, std::nullopt, ExitStatus::UsageOrIo};
    }
    if (const std::string problem = takeServeWords(arguments); !problem.empty()) {
        std::cerr << "error: " << problem << " (see serve --help)\n";
        return {std::nullopt, std::nullopt, ExitStatus::UsageOrIo};
    }
    arguments.serve.threeFolder = threeJsFolder();
    return {std::nullopt, std::move(arguments.serve), ExitStatus::Success};
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
    if (argc >= 2 && std::string_view(argv[1]) == "serve")
        return parseServeCommandLine(argc - 1, argv + 1);
    CLI::App app{description, "corvane-urdf"};
    app.footer(footer);
    app.set_version_flag("--version", CORVANE_VERSION);
    Arguments arguments;
    declareOptions(app, arguments);
    const CLI::App* lsp = declareLanguageServer(app, arguments);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForVersion& version) {
        std::cout << version.what() << '\n';
        return {std::nullopt, std::nullopt, ExitStatus::Success};
    } catch (const CLI::Success&) {
        std::cout << app.help();
        return {std::nullopt, std::nullopt, ExitStatus::Success};
    } catch (const CLI::ParseError& error) {
        std::cerr << "error: " << oneLine(error.what()) << " (see --help)\n";
        return {std::nullopt, std::nullopt, ExitStatus::UsageOrIo};
    }
    if (lsp->parsed()) {
        Options options;
        options.languageServer = true;
        return {options, std::nullopt, ExitStatus::Success};
    }
    arguments.options.formatGiven = app.count("--format") > 0;
    if (app.count("--explain") > 0) {
        const std::string problem = explainProblem(arguments.explain);
        if (!problem.empty()) {
            std::cerr << "error: " << problem << '\n';
            return {std::nullopt, std::nullopt, ExitStatus::UsageOrIo};
        }
        return {finishOptions(std::move(arguments)), std::nullopt, ExitStatus::Success};
    }
    if (const std::string problem = takeXacroArguments(arguments.options); !problem.empty()) {
        std::cerr << "error: " << problem << " (see --help)\n";
        return {std::nullopt, std::nullopt, ExitStatus::UsageOrIo};
    }
    if (app.count("--check-format") > 0 && !arguments.options.check) {
        std::cerr << "error: --check-format needs --check (see --help)\n";
        return {std::nullopt, std::nullopt, ExitStatus::UsageOrIo};
    }
    if (arguments.options.checkWarningsAsErrors && !arguments.options.check) {
        std::cerr << "error: --check-warnings-as-errors needs --check (see --help)\n";
        return {std::nullopt, std::nullopt, ExitStatus::UsageOrIo};
    }
    const std::string inputsProblem = checkInputs(arguments, arguments.options.formatGiven);
    if (!inputsProblem.empty()) {
        std::cerr << "error: " << inputsProblem << " (see --help)\n";
        return {std::nullopt, std::nullopt, ExitStatus::UsageOrIo};
    }
    if (!arguments.output.empty() && arguments.output == standardStream) {
        arguments.output.clear();
    }
    return {finishOptions(std::move(arguments)), std::nullopt, ExitStatus::Success};
}

const char* toolVersion() {
    return CORVANE_VERSION;
}

}  // namespace corvane::tools
