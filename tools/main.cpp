// corvane-urdf: imports a URDF robot description with the URDF plugin and prints the model the
// host would see, as host text or JSON.
#include <cstdio>
#include <exception>
#include <string>

#include "CommandLine.hpp"
#include "Conversion.hpp"
#include "Input.hpp"
#include "Logging.hpp"
#include "Output.hpp"
#include "ToolError.hpp"

namespace {

using namespace corvane::tools;

// Every failure ends in one line on standard error; exception texts may hold line breaks.
void reportError(std::string message) {
    for (auto& c : message) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    std::fprintf(stderr, "error: %s\n", message.c_str());
}

// One input to one output. Nothing reaches the output unless the whole document was rendered.
void convertOne(const Options& options) {
    const std::string inputName = inputDisplayName(options.input);
    const std::string source = readInput(options.input);
    std::string rendered;
    try {
        const auto document = importRobot(source, inputName, options);
        rendered = renderDocument(*document, options.format);
    } catch (const ToolError&) {
        throw;
    } catch (const std::exception& error) {
        throw ToolError(ExitStatus::Refused, inputName + ": " + error.what());
    } catch (...) {
        throw ToolError(ExitStatus::Refused, inputName + ": the import failed");
    }
    writeOutput(rendered, options.output);
}

ExitStatus run(const Options& options) {
    const DiagnosticsToStandardError diagnostics(inputDisplayName(options.input), options.quiet);
    try {
        convertOne(options);
        return ExitStatus::Success;
    } catch (const ToolError& error) {
        reportError(error.what());
        return error.status();
    } catch (const std::exception& error) {
        reportError(inputDisplayName(options.input) + ": " + error.what());
        return ExitStatus::Refused;
    } catch (...) {
        reportError(inputDisplayName(options.input) + ": the conversion failed");
        return ExitStatus::Refused;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const CommandLine commandLine = parseCommandLine(argc, argv);
    if (!commandLine.options) return static_cast<int>(commandLine.status);
    return static_cast<int>(run(*commandLine.options));
}
