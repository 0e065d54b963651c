// writeOutput where a run's file goes: a regular file is replaced whole and keeps its mode, a
// symbolic link is followed, devices and pipes are written as they are, and a failed write
// leaves neither a partial file nor a temporary one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "ScratchDir.hpp"
#include "TestSupport.hpp"
#include "support/Files.hpp"
#include "support/Output.hpp"
#include "support/ToolError.hpp"

namespace {

namespace fs = std::filesystem;
using corvane::testing::readFile;
using corvane::testing::ScratchDir;
using corvane::testing::writeFile;
using corvane::tools::Descriptor;
using corvane::tools::ExitStatus;
using corvane::tools::ToolError;
using corvane::tools::writeOutput;

mode_t modeOf(const fs::path& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

// While it lives, files of this process cannot grow beyond `bytes`, and a write past that fails
// with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        previousHandler_ = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = previous_;
        limited.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        ::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit previous_{};
    sighandler_t previousHandler_{};
};

TEST(SupportOutput, ARegularFileIsReplacedByANewOneAndKeepsItsMode) {
    const ScratchDir scratch;
    const fs::path out = scratch / "robot.txt";
    writeFile(out, "old content\n");
    ASSERT_EQ(::chmod(out.c_str(), 0640), 0);
    // A second name of the old file: a file rewritten in place would change under it too.
    fs::create_hard_link(out, scratch / "old-name.txt");

    writeOutput("new content\n", out);
    EXPECT_EQ(readFile(out), "new content\n");
    EXPECT_EQ(readFile(scratch / "old-name.txt"), "old content\n");
    EXPECT_EQ(modeOf(out), 0640u);
    EXPECT_EQ(scratch.entries(), (std::vector<std::string>{"old-name.txt", "robot.txt"}));
}

TEST(SupportOutput, ANewFileGetsTheModeTheUmaskAllows) {
    const ScratchDir scratch;
    const mode_t previous = ::umask(027);
    writeOutput("content", scratch / "new.txt");
    ::umask(previous);
    EXPECT_EQ(readFile(scratch / "new.txt"), "content");
    EXPECT_EQ(modeOf(scratch / "new.txt"), 0640u);
}

TEST(SupportOutput, ASymbolicLinkIsFollowedAndStays) {
    const ScratchDir scratch;
    fs::create_directory(scratch / "real");
    const fs::path target = scratch / "real" / "robot.txt";
    writeFile(target, "old\n");
    const fs::path link = scratch / "link.txt";
    fs::create_symlink(target, link);

    writeOutput("new\n", link);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
    EXPECT_EQ(readFile(target), "new\n");
    EXPECT_EQ(scratch.entries(), (std::vector<std::string>{"link.txt", "real"}));
    EXPECT_EQ(fs::directory_iterator(scratch / "real")->path().filename(), "robot.txt");
}

TEST(SupportOutput, DevicesAndPipesAreWrittenDirectlyAndNeverReplaced) {
    writeOutput("discarded", fs::path("/dev/null"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    const ScratchDir scratch;
    const fs::path fifo = scratch / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A reader that is already there, so that opening the pipe for writing does not wait.
    const Descriptor reader(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK));
    ASSERT_TRUE(reader.isOpen());
    writeOutput("through the pipe", fifo);
    std::array<char, 64> buffer{};
    const ssize_t count = ::read(reader.get(), buffer.data(), buffer.size());
    ASSERT_GT(count, 0);
    EXPECT_EQ(std::string(buffer.data(), static_cast<std::size_t>(count)), "through the pipe");
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(scratch.entries(), std::vector<std::string>{"pipe"});
}

TEST(SupportOutput, AFailedWriteKeepsTheOldFileAndLeavesNoTemporaryOne) {
    const ScratchDir scratch;
    const fs::path out = scratch / "robot.txt";
    writeFile(out, "old\n");
    std::string message;
    {
        const FileSizeLimit limit(16);
        try {
            writeOutput(std::string(4096, 'x'), out);
        } catch (const ToolError& error) {
            EXPECT_EQ(error.status(), ExitStatus::UsageOrIo);
            message = error.what();
        }
    }
    EXPECT_EQ(message, out.string() + ": cannot write: File too large");
    EXPECT_EQ(readFile(out), "old\n");
    EXPECT_EQ(scratch.entries(), std::vector<std::string>{"robot.txt"});
}

TEST(SupportOutput, AFolderIsNoDestination) {
    const ScratchDir scratch;
    try {
        writeOutput("content", scratch.path());
        ADD_FAILURE() << "a folder was written";
    } catch (const ToolError& error) {
        EXPECT_EQ(std::string(error.what()),
                  scratch.path().string() + ": cannot write: Is a directory");
    }
    EXPECT_TRUE(scratch.entries().empty());
}

}  // namespace
