// Running another program as a filter: text in on its standard input, its standard output and
// standard error read back, without a shell and without temporary files.
#pragma once

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

    bool succeeded() const { return exitStatus == 0; }
};

// Runs `arguments` (the program, looked up in PATH, then its arguments) with `input` on its
// standard input, and waits for it to end. Input and output flow at the same time, so a program
// that writes before it has read everything does not block. Throws std::system_error when the
// program cannot be started (std::errc::no_such_file_or_directory when it is not found) or when
// a pipe fails.
ProgramRun runProgram(const std::vector<std::string>& arguments, std::string_view input);

}  // namespace corvane::tools
