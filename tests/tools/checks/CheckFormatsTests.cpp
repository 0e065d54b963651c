// The findings for programs: JSON lines that say what the text lines say, a SARIF 2.1.0 log of
// a run over the corpus that code-scanning services can read, --explain for every rule of the
// table, and the documented table of rules (docs/checks.md), which must list the same rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "ScratchDir.hpp"
#include "TestSupport.hpp"
#include "ToolRun.hpp"
#include "checks/Findings.hpp"
#include "checks/MachineFindings.hpp"
#include "checks/Rules.hpp"

namespace {

namespace fs = std::filesystem;
using corvane::testing::corpusDir;
using corvane::testing::corpusFiles;
using corvane::testing::linesOf;
using corvane::testing::readFile;
using corvane::testing::runTool;
using corvane::testing::runToolWithEnvironment;
using corvane::testing::ScratchDir;
using corvane::testing::ToolRun;
using corvane::testing::writeFile;
using corvane::tools::allRules;
using corvane::tools::Rule;
using corvane::tools::severityName;
using nlohmann::json;

#define SKIP_WITHOUT_CORPUS()                                                       \
    if (!corpusDir()) {                                                             \
        GTEST_SKIP() << "no ../shared/corpus beside this checkout: corpus skipped"; \
    }

ToolRun checkRun(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--check", "-q", "-v"});
    return runToolWithEnvironment(arguments, {{"ROS_PACKAGE_PATH", ""}, {"AMENT_PREFIX_PATH", ""}});
}

struct TextFinding {
    std::string file;
    int line = 0;
    std::string severity;
    std::string text;  // subject: message
    std::string rule;
};

std::vector<TextFinding> textFindings(const std::string& output) {
    static const std::regex pattern(
        R"(^(.*?)(?::(\d+))?: (error|warning|note): (.*) \[([a-z-]+)\]$)");
    std::vector<TextFinding> findings;
    for (const auto& line : linesOf(output)) {
        std::smatch match;
        if (std::regex_match(line, match, pattern)) {
            findings.push_back({match[1], match[2].matched ? std::stoi(match[2]) : 0, match[3],
                                match[4], match[5]});
        }
    }
    return findings;
}

std::set<std::string> registryIds() {
    std::set<std::string> ids;
    for (const Rule& rule : allRules()) ids.emplace(rule.id);
    return ids;
}

// Corpus robots with findings of many rules: markup, inertia, meshes, joints.
const std::vector<std::string> sampleRobots{
    "drake__iiwa_description__urdf__iiwa14_primitive_collision.urdf",
    "matlab__amr_robots_description__urdf__amrPioneer3DX.urdf",
    "random__robot-assets__val_description__model__robots__valkyrie_sim.urdf",
    "drake__atlas__urdf__robotiq.urdf",
};

std::vector<std::string> samplePaths() {
    std::vector<std::string> paths;
    for (const auto& name : sampleRobots) paths.push_back((*corpusDir() / "valid" / name).string());
    return paths;
}

TEST(CheckFormatJson, EachLineIsTheFindingTheTextPrints) {
    SKIP_WITHOUT_CORPUS();
    const std::vector<std::string> paths = samplePaths();
    const ToolRun plain = checkRun(paths);
    std::vector<std::string> arguments{"--check-format", "json"};
    arguments.insert(arguments.end(), paths.begin(), paths.end());
    const ToolRun machine = checkRun(arguments);
    EXPECT_EQ(machine.status, plain.status);
    const std::vector<TextFinding> expected = textFindings(plain.out);
    const std::vector<std::string> lines = linesOf(machine.out);
    ASSERT_EQ(lines.size(), expected.size()) << "JSON prints findings only, no tally lines";
    ASSERT_GT(lines.size(), 20u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const json object = json::parse(lines[i]);
        ASSERT_TRUE(object.is_object()) << lines[i];
        EXPECT_EQ(object.at("file"), expected[i].file);
        if (expected[i].line > 0) {
            EXPECT_EQ(object.at("line"), expected[i].line) << lines[i];
        } else {
            EXPECT_TRUE(object.at("line").is_null()) << lines[i];
        }
        EXPECT_EQ(object.at("severity"), expected[i].severity);
        EXPECT_EQ(object.at("rule"), expected[i].rule);
        EXPECT_EQ(object.at("subject").get<std::string>() + ": " +
                      object.at("message").get<std::string>(),
                  expected[i].text);
        EXPECT_TRUE(object.at("notes").is_array());
        EXPECT_TRUE(object.at("notes").empty());
    }
}

// The parts of SARIF 2.1.0 that code-scanning services need to show a result on its line.
void expectSarifLog(const json& log, std::size_t expectedResults) {
    EXPECT_EQ(log.at("version"), "2.1.0");
    EXPECT_TRUE(log.at("$schema").get<std::string>().find("sarif-2.1.0") != std::string::npos);
    ASSERT_TRUE(log.at("runs").is_array());
    ASSERT_EQ(log.at("runs").size(), 1u);
    const json& run = log.at("runs")[0];
    const json& driver = run.at("tool").at("driver");
    EXPECT_EQ(driver.at("name"), "corvane-urdf");
    const json& rules = driver.at("rules");
    ASSERT_TRUE(rules.is_array());
    std::vector<std::string> ruleIds;
    const std::set<std::string> levels{"none", "note", "warning", "error"};
    for (const json& rule : rules) {
        ruleIds.push_back(rule.at("id"));
        EXPECT_FALSE(rule.at("shortDescription").at("text").get<std::string>().empty());
        EXPECT_FALSE(rule.at("fullDescription").at("text").get<std::string>().empty());
        EXPECT_TRUE(levels.contains(rule.at("defaultConfiguration").at("level")));
    }
    EXPECT_EQ(std::set<std::string>(ruleIds.begin(), ruleIds.end()), registryIds());
    ASSERT_TRUE(run.at("results").is_array());
    EXPECT_EQ(run.at("results").size(), expectedResults);
    for (const json& result : run.at("results")) {
        const std::string id = result.at("ruleId");
        const auto index = result.at("ruleIndex").get<std::size_t>();
        ASSERT_LT(index, ruleIds.size());
        EXPECT_EQ(ruleIds[index], id);
        EXPECT_EQ(result.at("level"), rules[index].at("defaultConfiguration").at("level"));
        EXPECT_FALSE(result.at("message").at("text").get<std::string>().empty());
        ASSERT_FALSE(result.at("locations").empty());
        for (const json& location : result.at("locations")) {
            const json& physical = location.at("physicalLocation");
            EXPECT_FALSE(physical.at("artifactLocation").at("uri").get<std::string>().empty());
            if (physical.contains("region")) {
                EXPECT_TRUE(physical.at("region").at("startLine").is_number_integer());
                EXPECT_GE(physical.at("region").at("startLine").get<int>(), 1);
            }
        }
    }
}

TEST(CheckFormatSarif, ALogOfTheCorpusHoldsEveryFindingOnItsLine) {
    SKIP_WITHOUT_CORPUS();
    std::vector<std::string> names;
    for (const fs::path& file : corpusFiles("valid")) names.push_back(file.filename().string());
    const fs::path valid = *corpusDir() / "valid";
    const ToolRun plain = checkRun([&] {
        std::vector<std::string> paths;
        for (const auto& name : names) paths.push_back((valid / name).string());
        return paths;
    }());
    const std::vector<TextFinding> expected = textFindings(plain.out);
    std::vector<std::string> arguments{"--check-format", "sarif"};
    for (const auto& name : names) arguments.push_back((valid / name).string());
    const ToolRun sarif = checkRun(arguments);
    EXPECT_EQ(sarif.status, plain.status);
    const json log = json::parse(sarif.out);
    expectSarifLog(log, expected.size());
    const json& results = log.at("runs")[0].at("results");
    ASSERT_EQ(results.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const json& physical = results[i].at("locations")[0].at("physicalLocation");
        EXPECT_EQ(physical.at("artifactLocation").at("uri"), "file://" + expected[i].file);
        if (expected[i].line > 0) {
            EXPECT_EQ(physical.at("region").at("startLine"), expected[i].line);
        } else {
            EXPECT_FALSE(physical.contains("region"));
        }
        EXPECT_EQ(results[i].at("ruleId"), expected[i].rule);
    }
}

TEST(CheckFormatSarif, ArtifactUrisArePercentEncodedAndRelativePathsStayRelative) {
    const ScratchDir dir;
    const fs::path urdf = dir / "a robot#1.urdf";
    writeFile(urdf, R"(<robot name="r"><link name="a"><QQQ/></link></robot>)");
    const ToolRun absolute = checkRun({"--check-format", "sarif", urdf.string()});
    const json log = json::parse(absolute.out);
    expectSarifLog(log, 1);
    const json& location = log.at("runs")[0].at("results")[0].at("locations")[0];
    const std::string uri = location.at("physicalLocation").at("artifactLocation").at("uri");
    EXPECT_TRUE(uri.starts_with("file:///")) << uri;
    EXPECT_TRUE(uri.ends_with("/a%20robot%231.urdf")) << uri;
    EXPECT_EQ(location.at("physicalLocation").at("region").at("startLine"), 1);
}

// A finding with no line (the file lacks the element) names the file alone: line null in JSON,
// no region in SARIF; its notes likewise.
TEST(CheckFormat, AFindingWithoutALineNamesTheFileAlone) {
    for (const int line : {0, 1, 7}) {
        SCOPED_TRACE(line);
        corvane::tools::Finding finding;
        finding.severity = corvane::tools::Severity::Warning;
        finding.subject = "body 'a'";
        finding.message = "QQQ";
        finding.rule = "mass-zero";
        finding.location = {"robot.urdf", line, {{"arm.xacro", line, "in macro 'm' called here"}}};
        const json object = json::parse(corvane::tools::findingJson(finding));
        const json expectedLine = line > 0 ? json(line) : json(nullptr);
        EXPECT_EQ(object.at("line"), expectedLine);
        EXPECT_EQ(object.at("notes")[0].at("line"), expectedLine);
        corvane::tools::SarifLog log;
        log.add(std::span(&finding, 1));
        const json sarif = json::parse(log.text("1"));
        expectSarifLog(sarif, 1);
        const json& result = sarif.at("runs")[0].at("results")[0];
        for (const json* physical : {&result.at("locations")[0].at("physicalLocation"),
                                     &result.at("relatedLocations")[0].at("physicalLocation")}) {
            if (line > 0) {
                EXPECT_EQ(physical->at("region").at("startLine"), line);
            } else {
                EXPECT_FALSE(physical->contains("region")) << physical->dump();
            }
        }
        EXPECT_EQ(result.at("locations")[0].at("physicalLocation").at("artifactLocation").at("uri"),
                  "robot.urdf");
    }
}

TEST(CheckFormat, NeedsCheck) {
    const ToolRun run = runTool({"--check-format", "json", "robot.urdf"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "error: --check-format needs --check (see --help)\n");
}

TEST(Explain, EveryRuleOfTheTableIsExplained) {
    for (const Rule& rule : allRules()) {
        const ToolRun run = runTool({"--explain", std::string(rule.id)});
        EXPECT_EQ(run.status, 0) << rule.id << ": " << run.err;
        EXPECT_TRUE(
            run.out.starts_with(std::string(rule.id) + " (" + severityName(rule.severity) + ")\n"))
            << run.out;
        for (const std::string_view part : {rule.summary, rule.why, rule.remedy}) {
            EXPECT_FALSE(part.empty()) << rule.id;
            EXPECT_NE(run.out.find(part), std::string::npos) << rule.id << ": " << part;
        }
    }
}

TEST(Explain, AnUnknownRuleIsAUsageErrorListingTheKnownOnes) {
    const ToolRun run = runTool({"--explain", "mass-zeor"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(run.err.starts_with(
        "error: --explain: no rule 'mass-zeor' (did you mean 'mass-zero'?); the rules are: "))
        << run.err;
    for (const std::string& id : registryIds()) {
        EXPECT_NE(run.err.find(id), std::string::npos) << id;
    }
    EXPECT_EQ(linesOf(run.err).size(), 1u);
}

// The rows of the documented table of rules (docs/checks.md): id to severity.
std::map<std::string, std::string> documentedRules() {
    const std::string readme = readFile(fs::path(CORVANE_SOURCE_DIR) / "docs" / "checks.md");
    const auto begin = readme.find("| Rule | Severity | Triggered when |");
    std::map<std::string, std::string> rows;
    if (begin == std::string::npos) return rows;
    static const std::regex row(R"(^\| `([a-z-]+)` \| (error|warning|note) \|)");
    for (const auto& line : linesOf(readme.substr(begin))) {
        if (!line.starts_with("|")) break;
        std::smatch match;
        if (std::regex_search(line, match, row)) rows.emplace(match[1], match[2]);
    }
    return rows;
}

TEST(RuleTable, TheDocumentationListsEveryRuleWithItsSeverity) {
    const std::map<std::string, std::string> rows = documentedRules();
    ASSERT_FALSE(rows.empty()) << "no table of rules in docs/checks.md";
    std::map<std::string, std::string> registry;
    for (const Rule& rule : allRules()) registry.emplace(rule.id, severityName(rule.severity));
    EXPECT_EQ(rows, registry);
}

}  // namespace
