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
    for (Finding& finding : checkModel({robot.overview(), urdf, &robot.meshes()})) {
        countFinding(report.tally, finding.severity);
        if (finding.severity == Severity::Note && !showNotes) continue;
        finding.location = {robot.inputName(), urdf.lineOf(finding.place), {}};
        report.lines.push_back(findingLine(finding, robot.inputName(), finding.location.line));
        report.findings.push_back(std::move(finding));
    }
    return report;
}

}  // namespace corvane::tools
