// Running another program as a filter: text in on its standard input, its standard output and
// standard error read back, without a shell and without temporary files.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::tools {

struct ProgramRun {
    // The exit status, or -1 when the program was ended by a signal.
    int exitStatus = -1;
    // The signal that ended the program, or 0.
    int signal = 0;
    std::string output;
    std::string errors;
    // The program ran longer than it was given and was killed.
    bool timedOut = false;

    bool succeeded() const { return exitStatus == 0; }
};

// Runs `arguments` (the program, looked up in PATH, then its arguments) with `input` on its
// standard input, and waits for it to end. Input and output flow at the same time, so a program
// that writes before it has read everything does not block. Throws std::system_error when the
// program cannot be started (std::errc::no_such_file_or_directory when it is not found) or when
// a pipe fails.
//
// With a `timeout`, the program starts in a process group of its own, and that group is killed
// when the time is up or once the program has ended, so that helpers it started cannot keep
// running or hold its outputs open.
ProgramRun runProgram(const std::vector<std::string>& arguments, std::string_view input,
                      std::optional<std::chrono::milliseconds> timeout = std::nullopt);

// The lines of a program's standard error that hold something, without their line breaks and
// made visible (see visibleText), in order.
std::vector<std::string> errorLines(const std::string& errors);

// Why a program that did not succeed failed, for a message: "PROGRAM was ended by signal N" or
// "PROGRAM failed with exit status N", then ": LINE" with the first or the last line of its
// standard error that holds something, when there is one. Says nothing of time limits.
enum class ErrorLine { First, Last };
std::string failureCause(const ProgramRun& run, const std::string& program, ErrorLine shown);

}  // namespace corvane::tools
