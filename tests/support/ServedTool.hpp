// The built corvane-urdf serving a robot, as a child process: started, its address read from the
// line it prints once listening, ended with a signal; and a scratch robot's files edited the way
// editors save them (a new file renamed over the old one).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace corvane::testing {

class ServedTool {
  public:
    // Runs `corvane-urdf serve ARGUMENTS...` and waits (up to `timeout`) for its first line.
    explicit ServedTool(const std::vector<std::string>& arguments,
                        std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
        errorsFile_ = std::filesystem::temp_directory_path() /
                      ("corvane-serve-err." + std::to_string(::getpid()) + "." +
                       std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        int out[2];
        if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
        std::vector<std::string> words{CORVANE_URDF_TOOL, "serve"};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorsFile_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        output_ = out[0];
        if (spawned != 0) {
            pid_ = -1;
            return;
        }
        firstLine_ = readLine(timeout);
        const auto at = firstLine_.find(" at http://");
        if (at != std::string::npos) {
            url_ = firstLine_.substr(at + 4);
            const auto colon = url_.rfind(':');
            port_ = std::stoi(url_.substr(colon + 1));
        }
    }
    ~ServedTool() {
        if (pid_ > 0 && status_ < 0) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
        if (output_ >= 0) ::close(output_);
        std::error_code ignored;
        std::filesystem::remove(errorsFile_, ignored);
    }
    ServedTool(const ServedTool&) = delete;
    ServedTool& operator=(const ServedTool&) = delete;

    // "http://127.0.0.1:PORT/", empty when it printed no such line.
    const std::string& url() const { return url_; }
    int port() const { return port_; }
    const std::string& firstLine() const { return firstLine_; }

    // Sends `signal` (none: 0) and waits for the end: the exit status, 128 + a signal that ended
    // it, or -1 after `timeout` (then it is killed).
    int end(int signal = SIGTERM, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        if (pid_ <= 0) return -1;
        if (status_ >= 0) return status_;
        if (signal != 0) ::kill(pid_, signal);
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                return status_ = -1, -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return status_;
    }
    // What it wrote on standard error so far.
    std::string errors() const {
        std::ifstream in(errorsFile_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

  private:
    std::string readLine(std::chrono::milliseconds timeout) {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return line;
            pollfd ready{output_, POLLIN, 0};
            if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) return line;
            char c = 0;
            if (::read(output_, &c, 1) != 1 || c == '\n') return line;
            line += c;
        }
    }

    pid_t pid_ = -1;
    int output_ = -1;
    int status_ = -1;
    int port_ = 0;
    std::string firstLine_;
    std::string url_;
    std::filesystem::path errorsFile_;
};

// Saves `text` as `file` the way editors do: written beside it, then renamed over it.
inline void saveAsEditorsDo(const std::filesystem::path& file, const std::string& text) {
    const std::filesystem::path temporary = file.string() + ".saving~";
    {
        std::ofstream out(temporary, std::ios::binary);
        out << text;
    }
    std::filesystem::rename(temporary, file);
}

}  // namespace corvane::testing
