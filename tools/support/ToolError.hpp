// Failures of the command-line tool, each with the exit status it ends the run with.
#pragma once

#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace corvane::tools {

enum class ExitStatus : int {
    Success = 0,
    // The robot description was refused, or importing or rendering it failed.
    Refused = 1,
    // Wrong command line, or a file that cannot be read or written.
    UsageOrIo = 2,
    // --check: a robot imported, but a check found an error (or, with
    // --check-warnings-as-errors, a warning).
    CheckFailed = 3,
};

// A failure whose message is one line, already naming the file it concerns, possibly followed
// by note lines that say how it came about ("FILE:LINE: note: in macro 'arm' called here").
class ToolError : public std::runtime_error {
  public:
    ToolError(ExitStatus status, const std::string& message, std::vector<std::string> notes = {})
        : std::runtime_error(message), status_(status), notes_(std::move(notes)) {}
    ExitStatus status() const { return status_; }
    const std::vector<std::string>& notes() const { return notes_; }

  private:
    ExitStatus status_;
    std::vector<std::string> notes_;
};

// The text of an errno value, such as "No such file or directory".
inline std::string errorText(int error) {
    return std::generic_category().message(error);
}

// "NAME: cannot ACTION: CAUSE" for a file that cannot be opened, read or written; `error` is the
// errno of the failure.
inline ToolError ioError(const std::string& name, const char* action, int error) {
    return ToolError(ExitStatus::UsageOrIo, name + ": cannot " + action + ": " + errorText(error));
}

}  // namespace corvane::tools
