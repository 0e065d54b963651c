#include "checks/CheckReport.hpp"

#include <fmt/format.h>

#include <utility>

#include "checks/Checks.hpp"
#include "model/ModelOverview.hpp"
#include "model/UrdfElements.hpp"
#include "support/VisibleText.hpp"

namespace corvane::tools {

namespace {

std::string counted(std::size_t count, const char* singular, const char* plural) {
    return fmt::format("{} {}", count, count == 1 ? singular : plural);
}

void countFinding(CheckTally& tally, Severity severity) {
    switch (severity) {
        case Severity::Error:
            ++tally.errors;
            return;
        case Severity::Warning:
            ++tally.warnings;
            return;
        case Severity::Note:
            ++tally.notes;
            return;
    }
}

// Where a finding of a xacro input is shown: the xacro element, and the calls and includes.
SourceLocation sourceLocation(const xacro::SourceOrigin& origin) {
    SourceLocation location{origin.file, origin.line, {}};
    for (const auto& step : origin.chain)
        location.notes.push_back({step.file, step.line, xacro::stepNote(step)});
    return location;
}

// A finding at the xacro element that wrote the URDF element concerned, then one note per macro
// call and include that led there, innermost first.
void addSourceLines(CheckReport& report, const Finding& finding,
                    const xacro::SourceOrigin& origin) {
    report.lines.push_back(findingLine(finding, origin.file, origin.line));
    for (const auto& step : origin.chain) {
        report.lines.push_back(visibleText(fmt::format("{}:{}", step.file, step.line)) +
                               ": note: " + visibleText(xacro::stepNote(step)));
    }
}

}  // namespace

const char* severityName(Severity severity) {
    switch (severity) {
        case Severity::Note:
            return "note";
        case Severity::Warning:
            return "warning";
        case Severity::Error:
            return "error";
    }
    return "error";
}

std::string findingLine(const Finding& finding, const std::string& inputName, int line) {
    const std::string place = line > 0 ? fmt::format("{}:{}", inputName, line) : inputName;
    // Names in subjects and messages are written as host text quotes them, escapes included.
    return visibleText(place) + ": " + severityName(finding.severity) + ": " +
           visibleText(fmt::format("{}: {} [{}]", finding.subject, finding.message, finding.rule),
                       Backslashes::Kept);
}

std::string tallyLine(const std::string& inputName, const CheckTally& tally, bool showNotes) {
    std::string counts;
    if (tally.errors == 0 && tally.warnings == 0) {
        counts = "no errors or warnings";
    } else {
        counts = counted(tally.errors, "error", "errors") + ", " +
                 counted(tally.warnings, "warning", "warnings");
    }
    if (showNotes && tally.notes > 0) counts += ", " + counted(tally.notes, "note", "notes");
    return visibleText(inputName) + ": checked: " + counts;
}

CheckReport checkImportedRobot(const ImportedRobot& robot, bool showNotes) {
    CheckReport report;
    const UrdfElements& urdf = robot.urdfElements();
    for (Finding& finding :
         checkModel({robot.overview(), urdf, &robot.meshes(), robot.precision(),
                     robot.sourceMap().empty() ? nullptr : &robot.sourceMap()})) {
        countFinding(report.tally, finding.severity);
        if (finding.severity == Severity::Note && !showNotes) continue;
        const int line = urdf.lineOf(finding.place);
        if (const auto* origin = robot.sourceMap().originOf(line)) {
            finding.location = sourceLocation(*origin);
            addSourceLines(report, finding, *origin);
        } else {
            finding.location = {robot.inputName(), line, {}};
            report.lines.push_back(findingLine(finding, robot.inputName(), line));
        }
        report.findings.push_back(std::move(finding));
    }
    return report;
}

}  // namespace corvane::tools
