#include "LspClient.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <thread>

namespace corvane::testing {

namespace {

void writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("the server does not read its input");
        done += static_cast<std::size_t>(n);
    }
}

std::string drain(int fd) {
    std::string text;
    char buffer[4096];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

}  // namespace

LspClient::LspClient(const std::string& folder, const std::vector<std::string>& environment) {
    int in[2], out[2], err[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0) {
        throw std::runtime_error("no pipes");
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::close(fd);
        if (::chdir(folder.c_str()) != 0) ::_exit(126);
        for (const auto& variable : environment) ::putenv(const_cast<char*>(variable.c_str()));
        ::execl(CORVANE_URDF_TOOL, CORVANE_URDF_TOOL, "lsp", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    in_ = in[1];
    out_ = out[0];
    err_ = err[0];
    ::fcntl(err_, F_SETFL, O_NONBLOCK);
    ::signal(SIGPIPE, SIG_IGN);
}

LspClient::~LspClient() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    for (int fd : {in_, out_, err_}) {
        if (fd >= 0) ::close(fd);
    }
}

void LspClient::sendBytes(const std::string& bytes) {
    writeAll(in_, bytes);
}

void LspClient::sendRaw(const std::string& body) {
    sendBytes("Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
}

void LspClient::notify(const std::string& method, const Json& params) {
    sendRaw(Json{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}}.dump());
}

int LspClient::sendRequest(const std::string& method, const Json& params) {
    const int id = nextId_++;
    sendRaw(Json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}.dump());
    return id;
}

LspClient::Json LspClient::request(const std::string& method, const Json& params,
                                   std::chrono::milliseconds timeout) {
    const int id = sendRequest(method, params);
    const auto answer = waitFor(
        [id](const Json& m) { return m.contains("id") && m["id"] == id && !m.contains("method"); },
        timeout);
    if (!answer) throw std::runtime_error("no answer to '" + method + "'");
    return *answer;
}

bool LspClient::readSome(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd fd{out_, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) return false;
    char buffer[65536];
    const ssize_t n = ::read(out_, buffer, sizeof buffer);
    if (n <= 0) return false;
    buffer_.append(buffer, static_cast<std::size_t>(n));
    takeFrames();
    return true;
}

void LspClient::takeFrames() {
    while (true) {
        const std::size_t headerEnd = buffer_.find("\r\n\r\n");
        if (headerEnd == std::string::npos) return;
        const std::size_t at = buffer_.find("Content-Length: ");
        if (at == std::string::npos || at > headerEnd) throw std::runtime_error("bad frame");
        const std::size_t length = std::stoul(buffer_.substr(at + 16));
        if (buffer_.size() < headerEnd + 4 + length) return;
        received_.push_back(Json::parse(buffer_.substr(headerEnd + 4, length)));
        buffer_.erase(0, headerEnd + 4 + length);
    }
}

std::optional<LspClient::Json> LspClient::waitFor(const std::function<bool(const Json&)>& test,
                                                  std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        for (; seen_ < received_.size(); ++seen_) {
            if (test(received_[seen_])) return received_[seen_++];
        }
        if (!readSome(deadline)) {
            if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
            // The server closed its output: nothing more will come.
            pollfd fd{out_, POLLIN, 0};
            if (::poll(&fd, 1, 0) > 0 && (fd.revents & POLLHUP) && !(fd.revents & POLLIN)) {
                return std::nullopt;
            }
        }
    }
}

int LspClient::finish(std::chrono::milliseconds timeout) {
    ::close(in_);
    in_ = -1;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        readSome(std::chrono::steady_clock::now() + std::chrono::milliseconds(20));
    }
    return -2;
}

std::string LspClient::errors() {
    errors_ += drain(err_);
    return errors_;
}

bool isDiagnosticsOf(const nlohmann::json& message, const std::string& uri) {
    return message.value("method", "") == "textDocument/publishDiagnostics" &&
           message["params"]["uri"] == uri;
}

}  // namespace corvane::testing
