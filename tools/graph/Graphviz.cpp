#include "graph/Graphviz.hpp"

#include <system_error>

#include "support/ChildProcess.hpp"
#include "support/ToolError.hpp"

namespace corvane::tools {

namespace {

constexpr const char* dotProgram = "dot";

ToolError drawingError(const std::string& format, const std::string& cause) {
    return ToolError(ExitStatus::UsageOrIo, "cannot draw " + format + ": " + cause);
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
    if (!run.succeeded())
        throw drawingError(format, failureCause(run, "Graphviz dot", ErrorLine::First));
    if (run.output.empty()) throw drawingError(format, "Graphviz dot wrote nothing");
    return Drawing{std::move(run.output), errorLines(run.errors)};
}

}  // namespace corvane::tools
