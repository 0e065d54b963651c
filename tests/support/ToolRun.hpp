// Running the built corvane-urdf as a user runs it, through the tool's own child-process runner:
// its exit status and everything it wrote to standard output and standard error.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "support/ChildProcess.hpp"

namespace corvane::testing {

struct ToolRun {
    // The exit status; 128 plus the signal when a signal ended the tool; -1 when it never ran.
    int status = -1;
    std::string out;
    std::string err;
};

// Runs `command` (a program and its arguments) with `input` on its standard input.
inline ToolRun runCommand(const std::vector<std::string>& command, std::string_view input) {
    ToolRun run;
    try {
        const tools::ProgramRun program = tools::runProgram(command, input);
        run.status = program.signal != 0 ? 128 + program.signal : program.exitStatus;
        run.out = program.output;
        run.err = program.errors;
    } catch (const std::system_error& error) {
        ADD_FAILURE() << "cannot start " << command.front() << ": " << error.what();
    }
    return run;
}

// Whether `command` (a program found in PATH and, say, its --version) starts and succeeds: for
// tests that skip where Graphviz or Chromium is not installed.
inline bool programRuns(const std::vector<std::string>& command,
                        std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    try {
        return tools::runProgram(command, "", timeout).succeeded();
    } catch (const std::system_error&) {
        return false;  // not found in PATH
    }
}

// Runs the tool with `arguments` and `input` on its standard input.
inline ToolRun runTool(const std::vector<std::string>& arguments, std::string_view input = {}) {
    std::vector<std::string> command{CORVANE_URDF_TOOL};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runCommand(command, input);
}

// Runs the tool with `arguments` and PATH set to `path`, so that the programs the tool starts
// itself (Graphviz) are looked up there only. env(1) sets the variable and then becomes the tool.
inline ToolRun runToolWithPath(const std::vector<std::string>& arguments, const std::string& path) {
    std::vector<std::string> command{"env", "PATH=" + path, CORVANE_URDF_TOOL};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runCommand(command, {});
}

// Runs the tool with `arguments` and the environment changed by `changes`: a variable with a
// value is set, one with an empty value removed. env(1) makes the changes and becomes the tool.
inline ToolRun runToolWithEnvironment(const std::vector<std::string>& arguments,
                                      const std::map<std::string, std::string>& changes) {
    std::vector<std::string> command{"env"};
    for (const auto& [name, value] : changes) {
        if (value.empty()) {
            command.insert(command.end(), {"-u", name});
        } else {
            command.push_back(name + "=" + value);
        }
    }
    command.push_back(CORVANE_URDF_TOOL);
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runCommand(command, {});
}

}  // namespace corvane::testing
