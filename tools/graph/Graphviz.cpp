#include "graph/Graphviz.hpp"

#include <sstream>
#include <system_error>

#include "support/ChildProcess.hpp"
#include "support/ToolError.hpp"
#include "support/VisibleText.hpp"

namespace corvane::tools {

namespace {

constexpr const char* dotProgram = "dot";

std::vector<std::string> nonEmptyLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(visibleText(line));
    }
    return lines;
}

ToolError drawingError(const std::string& format, const std::string& cause) {
    return ToolError(ExitStatus::UsageOrIo, "cannot draw " + format + ": " + cause);
}

std::string failureCause(const ProgramRun& run) {
    std::string cause =
        run.signal != 0 ? "Graphviz dot was ended by signal " + std::to_string(run.signal)
                        : "Graphviz dot failed with exit status " + std::to_string(run.exitStatus);
    const auto lines = nonEmptyLines(run.errors);
    if (!lines.empty()) cause += ": " + lines.front();
    return cause;
}

}  // namespace

Drawing drawWithGraphviz(std::string_view dot, const std::string& format) {
    ProgramRun run;
    try {
        run = runProgram({dotProgram, "-T" + format}, dot);
    } catch (const std::system_error& error) {
        if (error.code() == std::errc::no_such_file_or_directory) {
            throw drawingError(format,
                               "Graphviz dot not found in PATH (install the graphviz package)");
        }
        throw drawingError(format, std::string("cannot run Graphviz dot: ") + error.what());
    }
    if (!run.succeeded()) throw drawingError(format, failureCause(run));
    if (run.output.empty()) throw drawingError(format, "Graphviz dot wrote nothing");
    return Drawing{std::move(run.output), nonEmptyLines(run.errors)};
}

}  // namespace corvane::tools
