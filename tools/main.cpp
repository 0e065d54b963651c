// corvane-urdf: imports URDF robot descriptions with the URDF plugin and writes the model the
// host would see, as host text, JSON, a Graphviz picture, a 3D page or a snapshot of that page;
// on request a summary of what the import made of each robot (--summary) and the physical checks
// of what a simulator will make of it (--check).
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "checks/CheckReport.hpp"
#include "checks/MachineFindings.hpp"
#include "checks/Rules.hpp"
#include "cli/CommandLine.hpp"
#include "cli/Import.hpp"
#include "cli/Input.hpp"
#include "cli/LanguageServer.hpp"
#include "cli/Logging.hpp"
#include "cli/Rendering.hpp"
#include "cli/RunPlan.hpp"
#include "cli/Summary.hpp"
#include "model/ImportedRobot.hpp"
#include "support/Output.hpp"
#include "support/ToolError.hpp"
#include "support/VisibleText.hpp"

namespace {

using namespace corvane::tools;

// Every failure ends in one line on standard error; exception texts may hold line breaks.
void reportError(const std::string& message) {
    std::fprintf(stderr, "error: %s\n", onOneLine(message).c_str());
}

// The error line, then the notes that say how it came about, one per line.
void reportError(const ToolError& error) {
    reportError(error.what());
    for (const auto& note : error.notes()) std::fprintf(stderr, "%s\n", onOneLine(note).c_str());
}

void printSummary(const ImportedRobot& robot, const DiagnosticsToStandardError& diagnostics) {
    const ImportFacts facts{robot.inputName(), robot.overview(), robot.descriptionFacts(),
                            diagnostics.pluginMessages()};
    const std::string summary = formatSummary(facts);
    std::fwrite(summary.data(), 1, summary.size(), stderr);
    std::fflush(stderr);
}

// Where the findings go: standard output, unless the document goes there.
std::FILE* checkStream(const Job& job) {
    return job.writesDocument && !job.destination ? stderr : stdout;
}

// Prints the findings of the checks, and says whether they fail the run: text lines and their
// tally, or JSON lines, at once; a SARIF log gathers them for the end of the run.
ExitStatus printChecks(const ImportedRobot& robot, const Job& job, const Options& options,
                       SarifLog& sarif) {
    const CheckReport report = checkImportedRobot(robot, options.verbose);
    std::FILE* stream = checkStream(job);
    std::fflush(stderr);
    if (options.checkFormat == CheckFormat::Sarif) {
        sarif.add(report.findings);
    } else if (options.checkFormat == CheckFormat::Json) {
        for (const auto& finding : report.findings) {
            std::fprintf(stream, "%s\n", findingJson(finding).c_str());
        }
    } else {
        for (const auto& line : report.lines) std::fprintf(stream, "%s\n", line.c_str());
        std::fprintf(stream, "%s\n",
                     tallyLine(robot.inputName(), report.tally, options.verbose).c_str());
    }
    std::fflush(stream);
    const bool failed =
        report.tally.errors > 0 || (options.checkWarningsAsErrors && report.tally.warnings > 0);
    return failed ? ExitStatus::CheckFailed : ExitStatus::Success;
}

// The document in the job's format; failures name the input.
Rendering render(const ImportedRobot& robot, const Options& options) {
    try {
        return renderDocument(robot, options);
    } catch (const ToolError& error) {
        throw ToolError(error.status(), robot.inputName() + ": " + error.what());
    } catch (const std::exception& error) {
        throw ToolError(ExitStatus::Refused, robot.inputName() + ": " + error.what());
    }
}

// One input to its output, read and imported once for the summary, the checks and the document
// (-f urdf alone writes the text as read or expanded, without importing it).
// Nothing reaches the output unless the whole document was rendered. Returns whether the checks,
// when asked for, fail the run.
ExitStatus convertOne(const Job& job, const Options& options,
                      const DiagnosticsToStandardError& diagnostics, SarifLog& sarif) {
    if (options.writesUrdfOnly()) {
        const MeshLocator meshes = meshLocatorFor(job.input, options);
        writeOutput(readUrdfText(job.input, options, meshes).urdf, job.destination);
        return ExitStatus::Success;
    }
    const ImportedRobot robot = importInput(job.input, options);
    if (options.summary) printSummary(robot, diagnostics);
    const ExitStatus checked =
        options.check ? printChecks(robot, job, options, sarif) : ExitStatus::Success;
    if (!job.writesDocument) return checked;
    const Rendering rendering = render(robot, options);
    for (const auto& warning : rendering.warnings)
        diagnostics.relay(rendering.warningsFrom, warning);
    writeOutput(rendering.content, job.destination);
    return checked;
}

// Converts one job; its failure is reported at once and returned.
ExitStatus runJob(const Job& job, const Options& options, SarifLog& sarif) {
    const std::string inputName = inputDisplayName(job.input);
    const DiagnosticsToStandardError diagnostics(inputName, options.quiet);
    try {
        return convertOne(job, options, diagnostics, sarif);
    } catch (const ToolError& error) {
        reportError(error);
        return error.status();
    } catch (const std::exception& error) {
        reportError(inputName + ": " + error.what());
        return ExitStatus::Refused;
    } catch (...) {
        reportError(inputName + ": the conversion failed");
        return ExitStatus::Refused;
    }
}

// After several inputs: which failed, and the highest status among them.
ExitStatus reportFailures(const std::vector<std::string>& failed, ExitStatus worst,
                          std::size_t total) {
    if (failed.empty()) return ExitStatus::Success;
    std::string list;
    for (const auto& name : failed) list += (list.empty() ? "" : ", ") + name;
    reportError(std::to_string(failed.size()) + " of " + std::to_string(total) +
                " FILEs failed: " + list);
    return worst;
}

// The SARIF log of the whole run, once every input has been tried.
void printSarif(const SarifLog& sarif, const std::vector<Job>& jobs) {
    const std::string log = sarif.text(toolVersion());
    std::FILE* stream = jobs.size() == 1 ? checkStream(jobs.front()) : stdout;
    std::fflush(stderr);
    std::fwrite(log.data(), 1, log.size(), stream);
    std::fflush(stream);
}

ExitStatus runJobs(const std::vector<Job>& jobs, const Options& options, SarifLog& sarif) {
    if (jobs.size() == 1) return runJob(jobs.front(), options, sarif);
    std::vector<std::string> failed;
    ExitStatus worst = ExitStatus::Success;
    for (const auto& job : jobs) {
        const ExitStatus status = runJob(job, options, sarif);
        if (static_cast<int>(status) > static_cast<int>(worst)) worst = status;
        // A robot with findings was converted; its tally line has said so.
        if (status != ExitStatus::Success && status != ExitStatus::CheckFailed) {
            failed.push_back(inputDisplayName(job.input));
        }
    }
    if (failed.empty()) return worst;
    return reportFailures(failed, worst, jobs.size());
}

ExitStatus run(const Options& options) {
    if (options.explain) {
        std::fputs(ruleExplanation(*findRule(*options.explain)).c_str(), stdout);
        return ExitStatus::Success;
    }
    std::vector<Job> jobs;
    try {
        jobs = planJobs(options);
    } catch (const ToolError& error) {
        reportError(error);
        return error.status();
    }
    SarifLog sarif;
    const ExitStatus status = runJobs(jobs, options, sarif);
    if (options.check && options.checkFormat == CheckFormat::Sarif) printSarif(sarif, jobs);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const CommandLine commandLine = parseCommandLine(argc, argv);
    if (!commandLine.options) return static_cast<int>(commandLine.status);
    if (commandLine.options->languageServer) return runLanguageServerOnStandardStreams();
    return static_cast<int>(run(*commandLine.options));
}
