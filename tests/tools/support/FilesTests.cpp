// The tool's plain-system helpers where a fault would hide: reads that come in pieces, files that
// cannot be read, descriptors handed on, and how a failed child program is described.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "ScratchDir.hpp"
#include "support/ChildProcess.hpp"
#include "support/Files.hpp"
#include "support/ToolError.hpp"
#include "support/VisibleText.hpp"

namespace {

namespace fs = std::filesystem;
using corvane::testing::ScratchDir;
using corvane::testing::writeFile;
using namespace corvane::tools;

// A text longer than any read buffer, with no two equal stretches, so that a chunk read twice
// or skipped shows.
std::string numberedLines(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += "line " + std::to_string(i) + "\n";
    return text;
}

// The message of the ToolError `read` throws; fails the test when it throws none or another.
template <typename Read>
std::string toolErrorOf(Read read, ExitStatus expectedStatus = ExitStatus::UsageOrIo) {
    try {
        read();
    } catch (const ToolError& error) {
        EXPECT_EQ(error.status(), expectedStatus);
        return error.what();
    }
    ADD_FAILURE() << "no ToolError";
    return {};
}

bool isOpenDescriptor(int descriptor) {
    return ::fcntl(descriptor, F_GETFD) != -1;
}

// ---------------------------------------------------------------------------------------------
// Whole-file reads

TEST(SupportFiles, LargeFilesAreReadWholeAndEmptyOnesAsEmpty) {
    const ScratchDir scratch;
    const std::string text = numberedLines(30000);  // several hundred kilobytes
    writeFile(scratch / "large.txt", text);
    writeFile(scratch / "empty.txt", "");
    EXPECT_EQ(readWholeFile(scratch / "large.txt", "large.txt"), text);
    EXPECT_EQ(readWholeFileIfReadable(scratch / "large.txt"), text);
    EXPECT_EQ(readWholeFile(scratch / "empty.txt", "empty.txt"), "");
    EXPECT_EQ(readWholeFileIfReadable(scratch / "empty.txt"), std::string());
}

// A pipe delivers what its writer has written so far: a read that stops at the first short
// chunk loses the rest. All of it fits in the pipe, so that the writer never waits for a reader
// that gave up early, and such a fault fails the test instead of hanging it.
TEST(SupportFiles, ReadAllGoesOnAfterShortReadsUntilTheEnd) {
    std::array<int, 2> ends{};
    ASSERT_EQ(::pipe(ends.data()), 0);
    Descriptor readEnd(ends[0]);
    Descriptor writeEnd(ends[1]);
    const std::string first = "first piece\n";
    const std::string rest = numberedLines(4000);
    ASSERT_LT(first.size() + rest.size(), 60000u);
    std::thread writer([&writeEnd, &first, &rest] {
        ASSERT_EQ(::write(writeEnd.get(), first.data(), first.size()),
                  static_cast<ssize_t>(first.size()));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::string_view remaining = rest;
        while (!remaining.empty()) {
            const ssize_t written = ::write(writeEnd.get(), remaining.data(), remaining.size());
            ASSERT_GT(written, 0);
            remaining.remove_prefix(static_cast<std::size_t>(written));
        }
        writeEnd.close();
    });
    const std::string read = readAll(readEnd.get(), "pipe");
    writer.join();
    EXPECT_EQ(read.size(), first.size() + rest.size());
    EXPECT_TRUE(read == first + rest);
}

TEST(SupportFiles, FilesThatCannotBeReadNameTheFileAndTheCause) {
    const ScratchDir scratch;
    EXPECT_EQ(toolErrorOf([&] { readWholeFile(scratch / "missing.urdf", "shown.urdf"); }),
              "shown.urdf: cannot open: No such file or directory");
    EXPECT_EQ(toolErrorOf([&] { readWholeFile(scratch.path(), "folder"); }),
              "folder: cannot read: Is a directory");
    EXPECT_EQ(readWholeFileIfReadable(scratch / "missing.urdf"), std::nullopt);
    EXPECT_EQ(readWholeFileIfReadable(scratch.path()), std::nullopt);
}

TEST(SupportFiles, ADescriptorIsClosedOnceByItsLastOwner) {
    std::array<int, 2> ends{};
    ASSERT_EQ(::pipe(ends.data()), 0);
    {
        Descriptor first(ends[0]);
        Descriptor second(ends[1]);
        Descriptor moved(std::move(first));
        EXPECT_FALSE(first.isOpen());
        EXPECT_EQ(moved.get(), ends[0]);
        // Taking over another descriptor closes the one held before.
        moved = std::move(second);
        EXPECT_FALSE(isOpenDescriptor(ends[0]));
        EXPECT_TRUE(isOpenDescriptor(ends[1]));
        EXPECT_EQ(moved.get(), ends[1]);
    }
    EXPECT_FALSE(isOpenDescriptor(ends[1]));
}

// ---------------------------------------------------------------------------------------------
// A failed child program

ProgramRun runShell(const std::string& script) {
    return runProgram({"sh", "-c", script}, {});
}

TEST(SupportChildProcess, FailureCauseNamesTheProgramTheStatusAndTheChosenErrorLine) {
    const ProgramRun failed = runShell("printf 'first\\r\\n\\n  \\nbell \\a\\r\\n\\n' >&2; exit 3");
    ASSERT_EQ(failed.exitStatus, 3);
    EXPECT_EQ(errorLines(failed.errors), (std::vector<std::string>{"first", "  ", "bell \\x07"}));
    EXPECT_EQ(failureCause(failed, "Some tool", ErrorLine::First),
              "Some tool failed with exit status 3: first");
    EXPECT_EQ(failureCause(failed, "Some tool", ErrorLine::Last),
              "Some tool failed with exit status 3: bell \\x07");

    const ProgramRun silent = runShell("exit 1");
    EXPECT_EQ(failureCause(silent, "Some tool", ErrorLine::Last),
              "Some tool failed with exit status 1");

    const ProgramRun killed = runShell("echo dying >&2; kill -9 $$");
    EXPECT_EQ(failureCause(killed, "Some tool", ErrorLine::First),
              "Some tool was ended by signal 9: dying");
}

// ---------------------------------------------------------------------------------------------
// Names and lines in messages

TEST(SupportVisibleText, MessagesFoldOntoOneLine) {
    EXPECT_EQ(onOneLine("a\nb\r\nc\n"), "a b  c ");
    EXPECT_EQ(onOneLine("plain"), "plain");
}

// The two quotings give different bytes for names that host text escapes; each is kept where
// the tool's outputs show it.
TEST(SupportVisibleText, HostQuotingEscapesWhereSingleQuotesKeepTheNameAsItIs) {
    EXPECT_EQ(hostNameQuoted("base_link"), "'base_link'");
    EXPECT_EQ(singleQuoted("base_link"), "'base_link'");
    EXPECT_EQ(hostNameQuoted("it's"), "'it\\'s'");
    EXPECT_EQ(singleQuoted("it's"), "'it's'");
}

TEST(SupportVisibleText, ControlBytesAndBrokenUtf8BecomeEscapesAndTheRestStays) {
    EXPECT_EQ(visibleText("base_link"), "base_link");
    EXPECT_EQ(visibleText("a\\b"), "a\\\\b");
    EXPECT_EQ(visibleText("a\nb\rc\td"), "a\\nb\\rc\\td");
    EXPECT_EQ(visibleText(std::string("\x00\x1b[31m\x7f", 7)), "\\x00\\x1B[31m\\x7F");
    // Well-formed UTF-8 stays; C1 controls, overlong forms, surrogates, stray and cut-short bytes
    // do not.
    EXPECT_EQ(visibleText("caf\xc3\xa9 \xf0\x9f\xa4\x96"), "caf\xc3\xa9 \xf0\x9f\xa4\x96");
    EXPECT_EQ(visibleText("\xc2\x9b"), "\\xC2\\x9B");
    EXPECT_EQ(visibleText("\xc0\xaf"), "\\xC0\\xAF");
    EXPECT_EQ(visibleText("\xed\xa0\x80"), "\\xED\\xA0\\x80");
    EXPECT_EQ(visibleText("caf\xe9"), "caf\\xE9");
    EXPECT_EQ(visibleText("\xe2\x82"), "\\xE2\\x82");
}

}  // namespace
