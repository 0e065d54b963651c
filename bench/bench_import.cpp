// Measures the URDF import against urdfdom's own parse, and offers one-shot modes for measuring
// peak memory with /usr/bin/time -v and for dumping outputs to compare before and after a change.
//
//   bench_import [--max-links=N] [benchmark flags]   benchmarks, then a summary per size
//   bench_import --generate N FILE                   writes the synthetic robot of N links
//   bench_import --read-only FILE                    reads the file (memory baseline)
//   bench_import --parse-only FILE                   urdf::parseURDF alone
//   bench_import --import FILE                       UrdfPlugin::parse
//   bench_import --dump-tree|--dump-json|--dump-text FILE   prints the imported document

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <malloc.h>
#include <spdlog/spdlog.h>
#include <urdf_parser/urdf_parser.h>

#include <algorithm>
#include <charconv>
#include <corvane/Render.hpp>
#include <corvane/UrdfPlugin.hpp>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "RobotGenerator.hpp"
#include "TreeDump.hpp"

namespace {

using corvane::DocumentPtr;
using corvane::Plugins::Urdf::UrdfPlugin;

constexpr std::size_t kSizes[] = {100, 1'000, 10'000, 100'000};

std::optional<std::string> readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return std::move(text).str();
}

DocumentPtr importText(const std::string& text) {
    UrdfPlugin plugin;
    corvane::ErrorReporter reporter;
    return plugin.parse(text, nullptr, reporter);
}

std::optional<std::size_t> parseCount(std::string_view text) {
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// ---------------------------------------------------------------------------------------------
// One-shot modes

int generateFile(std::string_view count, const std::string& path) {
    const auto links = parseCount(count);
    if (!links || *links == 0) {
        fmt::print(stderr, "bench_import: not a link count: {}\n", count);
        return 2;
    }
    std::ofstream out(path, std::ios::binary);
    out << corvane::bench::generateRobot(*links);
    out.close();
    if (!out) {
        fmt::print(stderr, "bench_import: cannot write {}\n", path);
        return 1;
    }
    return 0;
}

int runOneShot(std::string_view mode, const std::string& path) {
    const auto text = readText(path);
    if (!text) {
        fmt::print(stderr, "bench_import: cannot read {}\n", path);
        return 1;
    }
    if (mode == "--read-only") {
        fmt::print("{}: {} bytes read\n", path, text->size());
        return 0;
    }
    if (mode == "--parse-only") {
        const auto robot = urdf::parseURDF(*text);
        if (!robot) {
            fmt::print(stderr, "bench_import: urdfdom refused {}\n", path);
            return 1;
        }
        fmt::print("{}: {} links parsed\n", path, robot->links_.size());
        return 0;
    }
    const DocumentPtr document = importText(*text);
    if (!document) {
        fmt::print(stderr, "bench_import: the import refused {}\n", path);
        return 1;
    }
    if (mode == "--import") {
        fmt::print("{}: imported\n", path);
    } else if (mode == "--dump-tree") {
        std::fputs(corvane::bench::dumpTree(*document).c_str(), stdout);
    } else if (mode == "--dump-json") {
        std::fputs(corvane::Render::toJson(*document).c_str(), stdout);
    } else {
        std::fputs(corvane::Render::toHostText(*document).c_str(), stdout);
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Benchmarks

// The generated robot texts, made once per size.
class Robots {
  public:
    const std::string& text(std::size_t links) {
        auto found = texts_.find(links);
        if (found == texts_.end()) {
            found = texts_.emplace(links, corvane::bench::generateRobot(links)).first;
        }
        return found->second;
    }

  private:
    std::map<std::size_t, std::string> texts_;
};

// The imported document of the size being rendered; only one is kept, the largest are big.
class Documents {
  public:
    explicit Documents(Robots& robots) : robots_(robots) {}

    // Null when the import refuses the robot.
    const corvane::Document* of(std::size_t links) {
        if (links_ != links) {
            document_.reset();
            document_ = importText(robots_.text(links));
            links_ = links;
        }
        return document_.get();
    }

  private:
    Robots& robots_;
    std::size_t links_ = 0;
    DocumentPtr document_;
};

// glibc's allocator keeps small freed blocks aside and merges them only when a larger block is
// asked for next. That merge is part of freeing them, but it falls to whatever runs next: asking
// for a larger block here settles it at a chosen moment.
void mergeFreedBlocks() {
    // Volatile, so that the compiler keeps a request it could otherwise drop as unused.
    void* volatile block = std::malloc(4096);
    std::free(block);
}

// Releases a result with the merge of what it leaves behind, so that the next timed run does not
// pay for it (in the paired runs below, the import for parseURDF's model and parseURDF for the
// document).
template <typename Result>
void release(Result& result) {
    result.reset();
    mergeFreedBlocks();
}

// Results are timed without releasing what was made: the host keeps the document, and urdfdom's
// model is released inside the import, so the import pays for that and parseURDF does not.
template <typename Result>
void releaseUntimed(benchmark::State& state, Result& result) {
    state.PauseTiming();
    release(result);
    state.ResumeTiming();
}

void parseOnly(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        auto robot = urdf::parseURDF(text);
        if (!robot) {
            state.SkipWithError("urdfdom refused the robot");
            break;
        }
        releaseUntimed(state, robot);
    }
}

void importRobot(benchmark::State& state, const std::string& text) {
    UrdfPlugin plugin;
    corvane::ErrorReporter reporter;
    for (auto _ : state) {
        auto document = plugin.parse(text, nullptr, reporter);
        if (!document) {
            state.SkipWithError("the import refused the robot");
            break;
        }
        releaseUntimed(state, document);
    }
}

// CPU time of the calling thread, in seconds.
double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// parseURDF alone and then the import of the same text in every iteration, each timed on its
// own, so that both meet the same state of the machine and of the heap. Measured in separate
// benchmarks, urdfdom's parse alone runs up to a fifth slower at 1,000 links than the same parse
// inside the import (the heap it starts from differs), which makes their difference, the
// plugin's own time, unreliable at small sizes. urdfdom frees the XML document it read before
// parseURDF returns, and the merge of those blocks comes at the next larger request: inside the
// import, at the plugin's first array. parseURDF is timed here with that merge, so that the
// difference is the plugin's own work. Reports the average of each as counters.
void pairedParseAndImport(benchmark::State& state, const std::string& text) {
    UrdfPlugin plugin;
    corvane::ErrorReporter reporter;
    double parseSeconds = 0.0;
    double mergeSeconds = 0.0;
    double importSeconds = 0.0;
    for (auto _ : state) {
        const double parseStart = threadCpuSeconds();
        auto robot = urdf::parseURDF(text);
        const double mergeStart = threadCpuSeconds();
        mergeFreedBlocks();
        const double parseEnd = threadCpuSeconds();
        const bool parsed = robot != nullptr;
        release(robot);
        const double importStart = threadCpuSeconds();
        auto document = plugin.parse(text, nullptr, reporter);
        const double importEnd = threadCpuSeconds();
        const bool imported = document != nullptr;
        release(document);
        if (!parsed || !imported) {
            state.SkipWithError("the robot was refused");
            break;
        }
        parseSeconds += parseEnd - parseStart;
        mergeSeconds += parseEnd - mergeStart;
        importSeconds += importEnd - importStart;
        state.SetIterationTime((parseEnd - parseStart) + (importEnd - importStart));
    }
    state.counters["parse"] = benchmark::Counter(parseSeconds, benchmark::Counter::kAvgIterations);
    state.counters["merge"] = benchmark::Counter(mergeSeconds, benchmark::Counter::kAvgIterations);
    state.counters["import"] =
        benchmark::Counter(importSeconds, benchmark::Counter::kAvgIterations);
}

template <typename Render>
void render(benchmark::State& state, const corvane::Document* document, Render renderText) {
    if (!document) {
        state.SkipWithError("the import refused the robot");
        return;
    }
    for (auto _ : state) {
        std::string text = renderText(*document);
        benchmark::DoNotOptimize(text.data());
    }
}

// Timed in milliseconds, after untimed warm-up runs of at least a fifth of a second, at least one:
// the first run of a size in a process first-touches all the memory it uses, which on this machine
// costs about as much as the parse itself.
benchmark::internal::Benchmark* warmedUp(benchmark::internal::Benchmark* benchmark) {
    return benchmark->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.2);
}

void registerBenchmarks(Robots& robots, Documents& documents, std::size_t maxLinks) {
    for (const std::size_t links : kSizes) {
        if (links > maxLinks) break;
        const auto named = [links](std::string_view what) {
            return fmt::format("{}/{}", what, links);
        };
        warmedUp(benchmark::RegisterBenchmark(
            named("parseURDF").c_str(),
            [&robots, links](auto& state) { parseOnly(state, robots.text(links)); }));
        warmedUp(benchmark::RegisterBenchmark(
            named("import").c_str(),
            [&robots, links](auto& state) { importRobot(state, robots.text(links)); }));
        warmedUp(benchmark::RegisterBenchmark(named("paired").c_str(), [&robots,
                                                                        links](auto& state) {
            pairedParseAndImport(state, robots.text(links));
        }))->UseManualTime();
        warmedUp(
            benchmark::RegisterBenchmark(named("toJson").c_str(), [&documents, links](auto& state) {
                render(state, documents.of(links), [](const corvane::Document& document) {
                    return corvane::Render::toJson(document);
                });
            }));
        warmedUp(benchmark::RegisterBenchmark(
            named("toJsonCompact").c_str(), [&documents, links](auto& state) {
                render(state, documents.of(links), [](const corvane::Document& document) {
                    return corvane::Render::toJson(document, -1);
                });
            }));
        warmedUp(benchmark::RegisterBenchmark(
            named("toHostText").c_str(), [&documents, links](auto& state) {
                render(state, documents.of(links), [](const corvane::Document& document) {
                    return corvane::Render::toHostText(document);
                });
            }));
    }
}

// Prints the runs as usual and keeps, per benchmark, the fastest CPU time per iteration (in
// seconds) over the repetitions: on a shared machine the fastest run is the least disturbed one.
// When only aggregates are reported, the median stands in for it.
class CollectingReporter final : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred || run.iterations == 0) continue;
            const double seconds = run.cpu_accumulated_time / static_cast<double>(run.iterations);
            const std::string name = run.run_name.function_name;
            if (run.run_type == Run::RT_Iteration) {
                keepFastest(fastest_, name, seconds);
                keepPair(run);
            } else if (run.aggregate_name == "median") {
                keepFastest(medians_, name, seconds);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::optional<double> seconds(std::string_view benchmark, std::size_t links) const {
        const std::string name = fmt::format("{}/{}", benchmark, links);
        for (const auto* results : {&fastest_, &medians_}) {
            const auto found = results->find(name);
            if (found != results->end()) return found->second;
        }
        return std::nullopt;
    }

    struct Pair {
        double parse;  // with the merge
        double import;
        double merge;
    };

    // The paired parse and import of the least disturbed repetition: the one whose two together
    // took least.
    std::optional<Pair> pair(std::size_t links) const {
        const auto found = pairs_.find(fmt::format("paired/{}", links));
        if (found == pairs_.end()) return std::nullopt;
        return found->second;
    }

    // The median over the repetitions of each repetition's import time less its parse time: a
    // repetition that the machine slowed down in its parse more than in its import (or the other
    // way round) moves it no more than any other single repetition.
    std::optional<double> medianDifference(std::size_t links) const {
        const auto found = differences_.find(fmt::format("paired/{}", links));
        if (found == differences_.end() || found->second.empty()) return std::nullopt;
        std::vector<double> sorted = found->second;
        std::sort(sorted.begin(), sorted.end());
        const std::size_t middle = sorted.size() / 2;
        if (sorted.size() % 2 == 1) return sorted[middle];
        return (sorted[middle - 1] + sorted[middle]) / 2.0;
    }

  private:
    void keepPair(const Run& run) {
        const auto parse = run.counters.find("parse");
        const auto import = run.counters.find("import");
        const auto merge = run.counters.find("merge");
        const auto end = run.counters.end();
        if (parse == end || import == end || merge == end) return;
        const Pair pair{parse->second.value, import->second.value, merge->second.value};
        const std::string name = run.run_name.function_name;
        differences_[name].push_back(pair.import - pair.parse);
        const auto found = pairs_.find(name);
        if (found == pairs_.end() ||
            pair.parse + pair.import < found->second.parse + found->second.import) {
            pairs_[name] = pair;
        }
    }

    static void keepFastest(std::map<std::string, double>& results, const std::string& name,
                            double seconds) {
        const auto found = results.find(name);
        if (found == results.end() || seconds < found->second) results[name] = seconds;
    }

    std::map<std::string, double> fastest_;
    std::map<std::string, double> medians_;
    std::map<std::string, Pair> pairs_;
    std::map<std::string, std::vector<double>> differences_;
};

std::string ratio(std::optional<double> part, std::optional<double> whole) {
    if (!part || !whole || *whole <= 0.0) return "-";
    return fmt::format("{:.2f}", *part / *whole);
}

std::string milliseconds(std::optional<double> seconds) {
    if (!seconds) return "-";
    return fmt::format("{:.3f}", *seconds * 1e3);
}

// The same figures from the paired runs, where parseURDF alone and the import alternate.
void printPairedSummary(const CollectingReporter& results, std::size_t maxLinks) {
    constexpr std::string_view kRow = "{:>8} {:>10} {:>10} {:>7} {:>9} {:>10} {:>9}\n";
    fmt::print(
        "\nPaired runs (parseURDF with the merge of the blocks it freed, then the import, in every "
        "iteration)\n");
    fmt::print(fmt::runtime(kRow), "links", "parse ms", "import ms", "ratio", "us/link",
               "median us", "merge us");
    std::optional<double> perLinkAt1000;
    std::optional<double> perLinkAt100000;
    std::optional<double> medianAt1000;
    std::optional<double> medianAt100000;
    for (const std::size_t links : kSizes) {
        if (links > maxLinks) break;
        const auto pair = results.pair(links);
        if (!pair) continue;
        const double perLink = (pair->import - pair->parse) / static_cast<double>(links);
        std::optional<double> median = results.medianDifference(links);
        if (median) *median /= static_cast<double>(links);
        if (links == 1'000) {
            perLinkAt1000 = perLink;
            medianAt1000 = median;
        }
        if (links == 100'000) {
            perLinkAt100000 = perLink;
            medianAt100000 = median;
        }
        fmt::print(fmt::runtime(kRow), links, milliseconds(pair->parse), milliseconds(pair->import),
                   ratio(pair->import, pair->parse), fmt::format("{:.2f}", perLink * 1e6),
                   median ? fmt::format("{:.2f}", *median * 1e6) : "-",
                   fmt::format("{:.2f}", pair->merge / static_cast<double>(links) * 1e6));
    }
    fmt::print(
        "parse ms: parseURDF and the merge; us/link: (import - parse) / links, of the least "
        "disturbed\nrepetition; median us: the median over the repetitions; merge us: the merge "
        "per link,\nwhich the import meets at its first array and is counted with parseURDF\n");
    fmt::print("plugin time per link at 100,000 / at 1,000 (paired): {}\n",
               ratio(perLinkAt100000, perLinkAt1000));
    fmt::print("the same, from the median of the repetitions: {}\n",
               ratio(medianAt100000, medianAt1000));
}

// One row per size: parseURDF alone, the import, their ratio and the plugin's own time per link;
// then each rendering with its share of parseURDF's time.
void printSummary(const CollectingReporter& results, std::size_t maxLinks) {
    constexpr std::string_view kRow =
        "{:>8} {:>10} {:>10} {:>7} {:>9} {:>10} {:>7} {:>10} {:>7} {:>10} {:>7}\n";
    fmt::print("\nSummary (CPU time per run, the fastest of the repetitions)\n");
    fmt::print(fmt::runtime(kRow), "links", "parse ms", "import ms", "ratio", "us/link", "json ms",
               "/parse", "json-1 ms", "/parse", "text ms", "/parse");
    std::optional<double> perLinkAt1000;
    std::optional<double> perLinkAt100000;
    for (const std::size_t links : kSizes) {
        if (links > maxLinks) break;
        const auto parse = results.seconds("parseURDF", links);
        const auto import = results.seconds("import", links);
        const auto json = results.seconds("toJson", links);
        const auto compact = results.seconds("toJsonCompact", links);
        const auto text = results.seconds("toHostText", links);
        std::optional<double> perLink;
        if (parse && import) perLink = (*import - *parse) / static_cast<double>(links);
        if (links == 1'000) perLinkAt1000 = perLink;
        if (links == 100'000) perLinkAt100000 = perLink;
        fmt::print(fmt::runtime(kRow), links, milliseconds(parse), milliseconds(import),
                   ratio(import, parse), perLink ? fmt::format("{:.2f}", *perLink * 1e6) : "-",
                   milliseconds(json), ratio(json, parse), milliseconds(compact),
                   ratio(compact, parse), milliseconds(text), ratio(text, parse));
    }
    fmt::print(
        "ratio: import / parseURDF alone; us/link: (import - parseURDF) / links; json-1: one "
        "line\n");
    fmt::print("plugin time per link at 100,000 / at 1,000: {}\n",
               ratio(perLinkAt100000, perLinkAt1000));
    printPairedSummary(results, maxLinks);
}

// Every run measures a process that has imported before, as a host re-importing on every edit
// does: what one run frees stays mapped for the next. By default glibc returns the freed top of
// its heap to the system and gives large arrays their own mappings, so a run of 100,000 links
// first-touches, or not, some gigabyte afresh depending on what happened to sit at the heap's top;
// on this virtual machine a first touch costs about 3 ms per megabyte, and the import's time at
// that size fell into two groups 45 % apart.
void keepFreedMemoryMapped() {
    mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
    // The largest threshold glibc accepts: smaller arrays come from the heap and are reused.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
}

int runBenchmarks(int argc, char** argv) {
    std::size_t maxLinks = 100'000;
    std::vector<char*> arguments;
    for (int i = 0; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument.starts_with("--max-links=")) {
            const auto value = parseCount(argument.substr(std::string_view("--max-links=").size()));
            if (!value) {
                fmt::print(stderr, "bench_import: not a link count: {}\n", argument);
                return 2;
            }
            maxLinks = *value;
        } else {
            arguments.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) return 2;

    keepFreedMemoryMapped();
    Robots robots;
    Documents documents(robots);
    registerBenchmarks(robots, documents, maxLinks);
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    printSummary(reporter, maxLinks);
    return 0;
}

bool isOneShotMode(std::string_view mode) {
    return mode == "--read-only" || mode == "--parse-only" || mode == "--import" ||
           mode == "--dump-tree" || mode == "--dump-json" || mode == "--dump-text";
}

}  // namespace

int main(int argc, char** argv) {
    // The import's warnings about single joints are not part of what is measured or compared.
    spdlog::set_level(spdlog::level::off);
    const std::string_view mode = argc > 1 ? argv[1] : "";
    if (mode == "--generate") {
        if (argc != 4) {
            fmt::print(stderr, "usage: bench_import --generate N FILE\n");
            return 2;
        }
        return generateFile(argv[2], argv[3]);
    }
    if (isOneShotMode(mode)) {
        if (argc != 3) {
            fmt::print(stderr, "usage: bench_import {} FILE\n", mode);
            return 2;
        }
        return runOneShot(mode, argv[2]);
    }
    return runBenchmarks(argc, argv);
}
