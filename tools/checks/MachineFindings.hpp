// The findings of --check for programs rather than people: JSON, one object per finding and
// line, and one SARIF 2.1.0 log for a whole run, which code-scanning services read to show each
// finding on its line.
#pragma once

#include <span>
#include <string>

#include "checks/Findings.hpp"
#include "checks/Rules.hpp"

namespace corvane::tools {

// One finding as one line of JSON (no line break): file, line (null when the file has none),
// severity, rule, subject, message and notes, an array of {file, line, text}.
std::string findingJson(const Finding& finding);

// The SARIF log of a run: its findings, from every input, gathered one input after another.
class SarifLog {
  public:
    void add(std::span<const Finding> findings);
    // The log, with every rule of the table, as one JSON document ending in a line break.
    std::string text(std::string_view toolVersion) const;

  private:
    std::vector<Finding> findings_;
};

// A path as a URI reference, as SARIF's artifact locations take it: relative paths stay
// relative, absolute ones become file:// URIs; bytes outside the unreserved characters and '/'
// are percent-encoded.
std::string pathUri(std::string_view path);

// What --explain prints about a rule: what it checks, its severity and threshold, why a
// simulator cares and how to mend it.
std::string ruleExplanation(const Rule& rule);

}  // namespace corvane::tools
