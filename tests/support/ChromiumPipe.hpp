// Headless Chromium driven through its DevTools protocol over a pipe (--remote-debugging-pipe:
// commands on its descriptor 3, answers and events on its descriptor 4, each message a JSON text
// ended by a NUL byte), so that a test can keep a page open while files change and ask it
// questions through the page's own API (Runtime.evaluate).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace corvane::testing {

class ChromiumPipe {
  public:
    // Starts headless Chromium with software WebGL; `started()` is false when it cannot run.
    ChromiumPipe() {
        char pattern[] = "/tmp/corvane-chromium.XXXXXX";
        if (::mkdtemp(pattern) == nullptr) return;
        profile_ = pattern;
        int commands[2];
        int answers[2];
        if (::pipe(commands) != 0 || ::pipe(answers) != 0) return;
        std::vector<std::string> words{"chromium",
                                       "--headless",
                                       "--no-sandbox",
                                       "--enable-unsafe-swiftshader",
                                       "--use-angle=swiftshader",
                                       "--disable-gpu-sandbox",
                                       "--no-first-run",
                                       "--window-size=1280,800",
                                       "--user-data-dir=" + profile_.string(),
                                       "--remote-debugging-pipe",
                                       "about:blank"};
        std::vector<char*> argv;
        for (auto& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, commands[0], 3);
        posix_spawn_file_actions_adddup2(&actions, answers[1], 4);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        const int spawned =
            posix_spawnp(&pid_, "chromium", &actions, &attributes, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        ::close(commands[0]);
        ::close(answers[1]);
        toBrowser_ = commands[1];
        fromBrowser_ = answers[0];
        if (spawned != 0) pid_ = -1;
    }
    ~ChromiumPipe() {
        if (toBrowser_ >= 0) ::close(toBrowser_);
        if (fromBrowser_ >= 0) ::close(fromBrowser_);
        if (pid_ > 0) {
            ::kill(-pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
        std::error_code ignored;
        if (!profile_.empty()) std::filesystem::remove_all(profile_, ignored);
    }
    ChromiumPipe(const ChromiumPipe&) = delete;
    ChromiumPipe& operator=(const ChromiumPipe&) = delete;

    bool started() const { return pid_ > 0; }

    // Opens `url` in a new tab, which evaluate() then talks to.
    void open(const std::string& url) {
        const auto target = command("Target.createTarget", {{"url", url}});
        const auto attached = command("Target.attachToTarget",
                                      {{"targetId", target.at("targetId")}, {"flatten", true}});
        session_ = attached.at("sessionId").get<std::string>();
    }

    // The value of `expression` in the page (awaited when it is a promise); throws with the
    // page's exception text when it throws.
    nlohmann::json evaluate(const std::string& expression) {
        const auto result =
            command("Runtime.evaluate",
                    {{"expression", expression}, {"awaitPromise", true}, {"returnByValue", true}},
                    session_);
        if (result.contains("exceptionDetails")) {
            const auto& details = result.at("exceptionDetails");
            throw std::runtime_error(details.contains("exception")
                                         ? details.at("exception").value("description", "")
                                         : details.value("text", "exception"));
        }
        return result.at("result").value("value", nlohmann::json());
    }

    // Evaluates `expression` until it is true, at most `timeout`; false when it never was.
    bool waitFor(const std::string& expression,
                 std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            try {
                if (evaluate(expression) == true) return true;
            } catch (const std::runtime_error&) {
                // The page is not there yet.
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

  private:
    nlohmann::json command(const std::string& method, const nlohmann::json& params,
                           const std::string& session = {}) {
        const int id = ++lastId_;
        nlohmann::json message{{"id", id}, {"method", method}, {"params", params}};
        if (!session.empty()) message["sessionId"] = session;
        std::string text = message.dump();
        text.push_back('\0');
        for (std::size_t written = 0; written < text.size();) {
            const ssize_t now = ::write(toBrowser_, text.data() + written, text.size() - written);
            if (now <= 0) throw std::runtime_error("chromium is gone");
            written += static_cast<std::size_t>(now);
        }
        for (;;) {
            const nlohmann::json answer = nlohmann::json::parse(nextMessage());
            if (answer.value("id", 0) != id) continue;
            if (answer.contains("error"))
                throw std::runtime_error(method + ": " + answer.at("error").dump());
            return answer.at("result");
        }
    }

    std::string nextMessage() {
        for (;;) {
            const auto end = buffer_.find('\0');
            if (end != std::string::npos) {
                std::string message = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return message;
            }
            pollfd ready{fromBrowser_, POLLIN, 0};
            if (::poll(&ready, 1, 60000) <= 0) throw std::runtime_error("chromium does not answer");
            char chunk[65536];
            const ssize_t got = ::read(fromBrowser_, chunk, sizeof(chunk));
            if (got <= 0) throw std::runtime_error("chromium is gone");
            buffer_.append(chunk, static_cast<std::size_t>(got));
        }
    }

    pid_t pid_ = -1;
    int toBrowser_ = -1;
    int fromBrowser_ = -1;
    int lastId_ = 0;
    std::string session_;
    std::string buffer_;
    std::filesystem::path profile_;
};

}  // namespace corvane::testing
