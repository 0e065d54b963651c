// Running the built corvane-urdf as a user runs it: arguments, environment changes, and what it
// wrote on its standard output and standard error.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "ScratchDir.hpp"
#include "TestSupport.hpp"

extern char** environ;

namespace corvane::testing {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs `program` with `arguments` and no standard input. `changes` sets variables of the
// environment (an empty value removes the variable).
inline ToolRun runProgramAsUser(const std::string& program,
                                const std::vector<std::string>& arguments,
                                const std::map<std::string, std::string>& changes = {}) {
    const ScratchDir streams{"corvane-tool-run"};
    const std::string outPath = (streams / "stdout").string();
    const std::string errPath = (streams / "stderr").string();
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string entry = *variable;
        const std::string name = entry.substr(0, entry.find('='));
        if (changes.count(name) == 0) environment.push_back(entry);
    }
    for (const auto& [name, value] : changes) {
        if (!value.empty()) environment.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT, 0600);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ToolRun run;
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << program;
        return run;
    }
    int waitStatus = 0;
    ::waitpid(child, &waitStatus, 0);
    run.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
    run.out = readFile(outPath);
    run.err = readFile(errPath);
    return run;
}

}  // namespace corvane::testing
