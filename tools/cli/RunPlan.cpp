#include "cli/RunPlan.hpp"

#include <map>
#include <system_error>

#include "support/ToolError.hpp"

namespace fs = std::filesystem;

namespace corvane::tools {

namespace {

ToolError planError(const std::string& message) {
    return ToolError(ExitStatus::UsageOrIo, message);
}

// The file name extension of a format's output, with its dot (a snapshot is a ".png").
const char* outputExtension(OutputFormat format) {
    switch (format) {
        case OutputFormat::Text:
            return ".txt";
        case OutputFormat::Json:
            return ".json";
        case OutputFormat::Dot:
            return ".dot";
        case OutputFormat::Svg:
            return ".svg";
        case OutputFormat::Png:
        case OutputFormat::Snapshot:
            return ".png";
        case OutputFormat::Html:
            return ".html";
        case OutputFormat::Urdf:
            return ".urdf";
    }
    return ".txt";
}

// arm.urdf and arm.urdf.xacro both give arm.EXT.
fs::path outputName(const std::string& input, OutputFormat format) {
    fs::path name = fs::path(input).filename();
    if (name.extension() == ".xacro") name = name.stem();
    fs::path stem = name.stem();
    if (stem.empty()) stem = "robot";
    return stem += outputExtension(format);
}

bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code error;
    return fs::equivalent(a, b, error) && !error;
}

void checkFolder(const fs::path& folder) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        throw planError(folder.string() +
                        ": not a folder (several FILEs are written into the folder -o names)");
    }
}

std::vector<Job> folderJobs(const Options& options) {
    const fs::path& folder = *options.output;
    checkFolder(folder);
    std::vector<Job> jobs;
    std::map<fs::path, std::string> inputOf;
    for (const auto& input : options.inputs) {
        const fs::path destination = folder / outputName(input, options.format);
        const auto [earlier, added] = inputOf.try_emplace(destination.filename(), input);
        if (!added) {
            throw planError(earlier->second + " and " + input + " would both be written to " +
                            destination.string() + "; convert them separately");
        }
        jobs.push_back(Job{input, true, destination});
    }
    for (const auto& job : jobs) {
        for (const auto& input : options.inputs) {
            if (sameFile(*job.destination, input)) {
                throw planError(job.destination->string() + " would replace the input " + input);
            }
        }
    }
    return jobs;
}

}  // namespace

std::vector<Job> planJobs(const Options& options) {
    if (!options.batch()) {
        return {Job{options.inputs.front(), !options.checksOnly(), options.output}};
    }
    if (options.summariesOnly()) {
        std::vector<Job> jobs;
        for (const auto& input : options.inputs) jobs.push_back(Job{input, false, std::nullopt});
        return jobs;
    }
    return folderJobs(options);
}

}  // namespace corvane::tools
