// Speed of the xacro expander in process: every robot of ../shared/xacro/CASES.tsv expanded with
// the arguments and package path the table gives (the package finder is made before the clock
// starts; reading the files is timed, as each expansion reads them anew). One benchmark per
// robot; after the table, each robot's time (fastest over the repetitions, in CPU time), the
// total and the slowest robot.
//
//   bench_xacro [benchmark flags]        e.g. --benchmark_repetitions=5 --benchmark_filter=pr2
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "XacroCases.hpp"
#include "corvane/xacro/Expander.hpp"

namespace {

namespace fs = std::filesystem;
namespace xacro = corvane::xacro;

const fs::path xacroDir = fs::path(CORVANE_SHARED_DIR) / "xacro";

struct Robot {
    std::string name;
    fs::path file;
    xacro::ExpandOptions options;
};

std::vector<Robot> robotsOfTheTable() {
    std::vector<Robot> robots;
    for (const auto& row : corvane::testing::readXacroCases(xacroDir / "CASES.tsv")) {
        Robot robot{row.at("case"), xacroDir / "packages" / row.at("file"), {}};
        robot.options.findPackage =
            corvane::testing::packageFinderBelow(xacroDir / row.at("package_path"));
        robot.options.args = corvane::testing::xacroCaseArgs(row.at("args"));
        robots.push_back(std::move(robot));
    }
    return robots;
}

// Expands the robot once per iteration; a robot the expander refuses is reported as an error
// of its benchmark (and left out of the total), with the expander's message.
void expandRobot(benchmark::State& state, const Robot& robot) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        try {
            const xacro::Expansion expansion = xacro::expandFile(robot.file, robot.options);
            bytes = expansion.urdf.size();
            benchmark::DoNotOptimize(expansion.urdf.data());
        } catch (const xacro::ExpansionError& error) {
            state.SkipWithError(error.report().c_str());
            break;
        }
    }
    state.counters["urdf_KB"] = static_cast<double>(bytes) / 1024.0;
}

// Prints the runs as usual and keeps each robot's fastest CPU time per iteration, in seconds.
class CollectingReporter final : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) failed_.insert(run.run_name.function_name);
            if (run.error_occurred || run.iterations == 0 || run.run_type != Run::RT_Iteration)
                continue;
            const double seconds = run.cpu_accumulated_time / static_cast<double>(run.iterations);
            const std::string name = run.run_name.function_name;
            const auto found = fastest_.find(name);
            if (found == fastest_.end() || seconds < found->second) fastest_[name] = seconds;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    const std::map<std::string, double>& fastest() const { return fastest_; }
    const std::set<std::string>& failed() const { return failed_; }

  private:
    std::map<std::string, double> fastest_;
    std::set<std::string> failed_;
};

// Robots left out by --benchmark_filter are left out here too.
void printSummary(const std::vector<Robot>& robots, const CollectingReporter& results) {
    const std::map<std::string, double>& fastest = results.fastest();
    double total = 0;
    std::string slowest;
    int width = 5;
    for (const Robot& robot : robots) width = std::max(width, static_cast<int>(robot.name.size()));
    std::printf("\n%-*s %10s\n", width, "robot", "ms");
    for (const Robot& robot : robots) {
        const auto found = fastest.find(robot.name);
        if (found == fastest.end()) {
            if (!results.failed().count(robot.name)) continue;
            std::printf("%-*s %10s\n", width, robot.name.c_str(), "failed");
            continue;
        }
        std::printf("%-*s %10.3f\n", width, robot.name.c_str(), found->second * 1000);
        total += found->second;
        if (slowest.empty() || found->second > fastest.at(slowest)) slowest = robot.name;
    }
    std::printf("%zu robots expanded, in all: %.1f ms", fastest.size(), total * 1000);
    if (!slowest.empty())
        std::printf("; slowest %s, %.3f ms", slowest.c_str(), fastest.at(slowest) * 1000);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (!fs::exists(xacroDir / "CASES.tsv")) {
        std::fprintf(stderr, "bench_xacro: %s not found\n", (xacroDir / "CASES.tsv").c_str());
        return 1;
    }
    const std::vector<Robot> robots = robotsOfTheTable();
    for (const Robot& robot : robots)
        benchmark::RegisterBenchmark(robot.name.c_str(), expandRobot, robot)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(0.05);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    printSummary(robots, reporter);
    return 0;
}
