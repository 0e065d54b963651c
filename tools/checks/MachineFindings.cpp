#include "checks/MachineFindings.hpp"

#include <fmt/format.h>

#include <nlohmann/json.hpp>

namespace corvane::tools {

namespace {

// Keys in the order they are written, so that a reader meets file and line first.
using json = nlohmann::ordered_json;

// Names come from untrusted files: dump() would throw on bytes that are no UTF-8, so those are
// written as U+FFFD.
std::string dumped(const json& value, int indent = -1) {
    return value.dump(indent, ' ', false, json::error_handler_t::replace);
}

json lineValue(int line) {
    return line > 0 ? json(line) : json(nullptr);
}

json notesJson(const std::vector<SourceNote>& notes) {
    json array = json::array();
    for (const SourceNote& note : notes) {
        array.push_back({{"file", note.file}, {"line", lineValue(note.line)}, {"text", note.text}});
    }
    return array;
}

// SARIF's levels have the same names as the findings' severities.
std::string level(Severity severity) {
    return severityName(severity);
}

json physicalLocation(const std::string& file, int line) {
    json location{{"artifactLocation", {{"uri", pathUri(file)}}}};
    // A region starts at line 1 at the earliest: a finding without a line names the file alone.
    if (line > 0) location["region"] = {{"startLine", line}};
    return location;
}

json sarifRule(const Rule& rule) {
    std::string full(rule.summary);
    if (rule.threshold != 0) full += fmt::format(" (threshold {})", rule.threshold);
    if (!rule.why.empty()) full += fmt::format(". Why: {}", rule.why);
    return {
        {"id", rule.id},
        {"shortDescription", {{"text", rule.summary}}},
        {"fullDescription", {{"text", full}}},
        {"help", {{"text", rule.remedy}}},
        {"defaultConfiguration", {{"level", level(rule.severity)}}},
    };
}

json sarifResult(const Finding& finding) {
    json result{
        {"ruleId", finding.rule},
        {"level", level(finding.severity)},
        {"message", {{"text", finding.subject + ": " + finding.message}}},
        {"locations",
         json::array({{{"physicalLocation",
                        physicalLocation(finding.location.file, finding.location.line)}}})},
    };
    for (std::size_t i = 0; i < allRules().size(); ++i) {
        if (allRules()[i].id == finding.rule) result["ruleIndex"] = i;
    }
    if (!finding.location.notes.empty()) {
        json related = json::array();
        for (const SourceNote& note : finding.location.notes) {
            related.push_back({{"id", related.size()},
                               {"message", {{"text", note.text}}},
                               {"physicalLocation", physicalLocation(note.file, note.line)}});
        }
        result["relatedLocations"] = related;
    }
    return result;
}

bool unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '/';
}

}  // namespace

std::string findingJson(const Finding& finding) {
    const json object{
        {"file", finding.location.file},
        {"line", lineValue(finding.location.line)},
        {"severity", severityName(finding.severity)},
        {"rule", finding.rule},
        {"subject", finding.subject},
        {"message", finding.message},
        {"notes", notesJson(finding.location.notes)},
    };
    return dumped(object);
}

void SarifLog::add(std::span<const Finding> findings) {
    findings_.insert(findings_.end(), findings.begin(), findings.end());
}

std::string SarifLog::text(std::string_view toolVersion) const {
    json rules = json::array();
    for (const Rule& rule : allRules()) rules.push_back(sarifRule(rule));
    json results = json::array();
    for (const Finding& finding : findings_) results.push_back(sarifResult(finding));
    const json log{
        {"$schema", "https://json.schemastore.org/sarif-2.1.0.json"},
        {"version", "2.1.0"},
        {"runs",
         json::array({{
             {"tool",
              {{"driver", {{"name", "corvane-urdf"}, {"version", toolVersion}, {"rules", rules}}}}},
             {"results", results},
         }})},
    };
    return dumped(log, 2) + "\n";
}

std::string pathUri(std::string_view path) {
    std::string uri = path.starts_with('/') ? "file://" : "";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        uri += unreserved(byte) ? std::string(1, c) : fmt::format("%{:02X}", byte);
    }
    return uri;
}

std::string ruleExplanation(const Rule& rule) {
    std::string text = fmt::format("{} ({})\n", rule.id, severityName(rule.severity));
    text += fmt::format("  checks:    {}\n", rule.summary);
    text += rule.threshold != 0 ? fmt::format("  threshold: {}\n", rule.threshold)
                                : std::string("  threshold: none beyond the test above\n");
    text += fmt::format("  why:       {}\n", rule.why);
    text += fmt::format("  mend:      {}\n", rule.remedy);
    return text;
}

}  // namespace corvane::tools
