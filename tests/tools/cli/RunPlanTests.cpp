// planJobs: which input goes where, and the plans refused before anything is converted.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ScratchDir.hpp"
#include "cli/Options.hpp"
#include "cli/RunPlan.hpp"
#include "support/ToolError.hpp"

namespace {

namespace fs = std::filesystem;
using corvane::testing::ScratchDir;
using corvane::testing::writeFile;
using namespace corvane::tools;

Options optionsFor(std::vector<std::string> inputs, std::optional<fs::path> output = {}) {
    Options options;
    options.inputs = std::move(inputs);
    options.output = std::move(output);
    return options;
}

// The message of the ToolError planJobs throws; fails the test when it throws none.
std::string refusalOf(const Options& options) {
    try {
        planJobs(options);
    } catch (const ToolError& error) {
        EXPECT_EQ(error.status(), ExitStatus::UsageOrIo);
        return error.what();
    }
    ADD_FAILURE() << "the plan was accepted";
    return {};
}

TEST(RunPlan, OneInputGoesWhereTheCommandLineSays) {
    auto jobs = planJobs(optionsFor({"arm.urdf"}));
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].input, "arm.urdf");
    EXPECT_TRUE(jobs[0].writesDocument);
    EXPECT_EQ(jobs[0].destination, std::nullopt);

    jobs = planJobs(optionsFor({"arm.urdf"}, fs::path("out/arm.txt")));
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].destination, fs::path("out/arm.txt"));
}

TEST(RunPlan, ChecksAloneWriteNoDocumentUnlessAFormatOrOutputIsAsked) {
    Options options = optionsFor({"arm.urdf"});
    options.check = true;
    auto jobs = planJobs(options);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_FALSE(jobs[0].writesDocument);
    EXPECT_EQ(jobs[0].destination, std::nullopt);

    options.formatGiven = true;
    jobs = planJobs(options);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_TRUE(jobs[0].writesDocument);

    options.formatGiven = false;
    options.output = "arm.txt";
    jobs = planJobs(options);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_TRUE(jobs[0].writesDocument);
    EXPECT_EQ(jobs[0].destination, fs::path("arm.txt"));
}

TEST(RunPlan, SeveralInputsWithoutAFolderAreReadForTheirSummariesAlone) {
    Options options = optionsFor({"a.urdf", "b.urdf"});
    options.summary = true;
    const auto jobs = planJobs(options);
    ASSERT_EQ(jobs.size(), 2u);
    for (const auto& job : jobs) {
        EXPECT_FALSE(job.writesDocument) << job.input;
        EXPECT_EQ(job.destination, std::nullopt) << job.input;
    }
    EXPECT_EQ(jobs[0].input, "a.urdf");
    EXPECT_EQ(jobs[1].input, "b.urdf");
}

TEST(RunPlan, SeveralInputsGoIntoTheFolderNamedAfterThemWithTheFormatsExtension) {
    const ScratchDir scratch;
    Options options = optionsFor({"robots/arm.urdf", "legs.v2.urdf"}, scratch.path());
    options.format = OutputFormat::Json;
    const auto jobs = planJobs(options);
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].input, "robots/arm.urdf");
    EXPECT_EQ(jobs[0].destination, scratch / "arm.json");
    EXPECT_EQ(jobs[1].destination, scratch / "legs.v2.json");
    EXPECT_TRUE(jobs[0].writesDocument);
}

TEST(RunPlan, PlansThatWouldLoseAFileAreRefused) {
    const ScratchDir scratch;
    const std::string folder = scratch.path().string();

    EXPECT_EQ(refusalOf(optionsFor({"a/robot.urdf", "b/robot.urdf"}, scratch.path())),
              "a/robot.urdf and b/robot.urdf would both be written to " + folder +
                  "/robot.txt; convert them separately");

    // An input that is itself the output another name would give it.
    const fs::path input = scratch / "arm.txt";
    writeFile(input, "<robot name='arm'/>");
    EXPECT_EQ(refusalOf(optionsFor({"other.urdf", input.string()}, scratch.path())),
              input.string() + " would replace the input " + input.string());

    const fs::path file = scratch / "file";
    writeFile(file, "");
    EXPECT_EQ(
        refusalOf(optionsFor({"a.urdf", "b.urdf"}, file)),
        file.string() + ": not a folder (several FILEs are written into the folder -o names)");
    const fs::path missing = scratch / "missing";
    EXPECT_EQ(
        refusalOf(optionsFor({"a.urdf", "b.urdf"}, missing)),
        missing.string() + ": not a folder (several FILEs are written into the folder -o names)");
}

}  // namespace
