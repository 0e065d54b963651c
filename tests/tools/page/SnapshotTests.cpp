// The snapshot's time limit: a browser that never finishes is stopped, with everything it
// started, and the run fails with a message instead of waiting for ever.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ScratchDir.hpp"
#include "page/Snapshot.hpp"
#include "support/Files.hpp"
#include "support/ToolError.hpp"

namespace {

namespace fs = std::filesystem;
using corvane::testing::ScratchDir;
using corvane::testing::writeFile;
using namespace corvane::tools;
using namespace std::chrono_literals;

// Sets an environment variable for the lifetime of the object, then puts the old value back.
class EnvironmentVariable {
  public:
    EnvironmentVariable(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~EnvironmentVariable() {
        if (previous_) {
            ::setenv(name_, previous_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    EnvironmentVariable(const EnvironmentVariable&) = delete;
    EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;

  private:
    const char* name_;
    std::optional<std::string> previous_;
};

// A "chromium" that ignores the polite signals and never ends, keeping a child of its own
// running too; it writes its process id and its child's into `pidFile`.
void writeHangingBrowser(const fs::path& folder, const fs::path& pidFile) {
    const fs::path program = folder / "chromium";
    writeFile(program,
              "#!/bin/sh\n"
              "trap '' TERM INT HUP\n"
              "sleep 1000 &\n"
              "echo $$ $! > '" +
                  pidFile.string() +
                  "'\n"
                  "while :; do sleep 1; done\n");
    fs::permissions(program, fs::perms::owner_all);
}

struct BrowserProcesses {
    pid_t browser = 0;
    pid_t child = 0;
};

std::optional<BrowserProcesses> processesIn(const fs::path& pidFile) {
    const auto text = readWholeFileIfReadable(pidFile);
    if (!text) return std::nullopt;
    std::istringstream fields(*text);
    BrowserProcesses processes;
    if (!(fields >> processes.browser >> processes.child)) return std::nullopt;
    return processes;
}

// The processes of the group led by `leader` that still run: killed ones may stay behind as
// zombies until whoever inherited them reaps them, and those run no more.
std::vector<pid_t> runningInGroup(pid_t leader) {
    std::vector<pid_t> running;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const auto stat = readWholeFileIfReadable(entry.path() / "stat");
        if (!stat) continue;
        // "PID (COMMAND) STATE PPID PGRP ...", where COMMAND may hold spaces and parentheses.
        const auto end = stat->rfind(')');
        if (end == std::string::npos) continue;
        std::istringstream fields(stat->substr(end + 1));
        char state = 0;
        pid_t parent = 0;
        pid_t group = 0;
        if (fields >> state >> parent >> group && group == leader && state != 'Z') {
            running.push_back(static_cast<pid_t>(std::stol(entry.path().filename().string())));
        }
    }
    return running;
}

// True once no process of the group led by `leader` runs, within a second.
bool groupGone(pid_t leader) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (runningInGroup(leader).empty()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

// Ends the test program when `done` is not called within `limit`: a snapshot that ignores its
// time limit would otherwise hang the test. The browser's process group is killed first.
class Watchdog {
  public:
    Watchdog(std::chrono::seconds limit, fs::path pidFile)
        : thread_([this, limit, pidFile = std::move(pidFile)] {
              std::unique_lock lock(mutex_);
              if (finished_.wait_for(lock, limit, [this] { return done_; })) return;
              // Without a time limit the browser leads no group of its own: both go by their ids.
              if (const auto processes = processesIn(pidFile)) {
                  ::kill(processes->browser, SIGKILL);
                  ::kill(processes->child, SIGKILL);
              }
              std::fprintf(stderr, "snapshotOfPage still running after %lld s: no time limit\n",
                           static_cast<long long>(limit.count()));
              std::_Exit(1);
          }) {}
    ~Watchdog() {
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        finished_.notify_one();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

  private:
    std::mutex mutex_;
    std::condition_variable finished_;
    bool done_ = false;
    std::thread thread_;
};

TEST(Snapshot, ABrowserThatNeverEndsIsStoppedAtTheTimeLimit) {
    const ScratchDir scratch;
    const fs::path pidFile = scratch / "browser.pid";
    writeHangingBrowser(scratch.path(), pidFile);
    const EnvironmentVariable path("PATH", scratch.path().string() + ":/usr/bin:/bin");
    SnapshotSettings settings;
    settings.timeout = 300ms;

    std::optional<std::string> message;
    {
        const Watchdog watchdog(10s, pidFile);
        try {
            snapshotOfPage("<html></html>", settings);
        } catch (const ToolError& error) {
            EXPECT_EQ(error.status(), ExitStatus::UsageOrIo);
            message = error.what();
        }
    }
    ASSERT_TRUE(message) << "no ToolError";
    EXPECT_EQ(message->rfind("cannot draw snapshot: Chromium did not finish within ", 0), 0u)
        << *message;
    const auto processes = processesIn(pidFile);
    ASSERT_TRUE(processes) << "the fake browser did not run";
    EXPECT_TRUE(groupGone(processes->browser)) << "the browser or its child still runs";
}

}  // namespace
