// A client of the language server for tests: starts the built tool as `corvane-urdf lsp`, sends
// it framed messages and reads its answers as they come, each wait bounded in time.
#pragma once

#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace corvane::testing {

class LspClient {
  public:
    using Json = nlohmann::json;

    // Starts the server in `folder` (its current folder), with `environment` added.
    explicit LspClient(const std::string& folder = ".",
                       const std::vector<std::string>& environment = {});
    ~LspClient();
    LspClient(const LspClient&) = delete;
    LspClient& operator=(const LspClient&) = delete;

    // Sends `body` as it stands (a broken message too), framed.
    void sendRaw(const std::string& body);
    void sendBytes(const std::string& bytes);
    void notify(const std::string& method, const Json& params);
    // Sends a request and waits for its response.
    Json request(const std::string& method, const Json& params,
                 std::chrono::milliseconds timeout = std::chrono::seconds(20));
    int sendRequest(const std::string& method, const Json& params);
    // The first message read from now on (earlier ones kept too) that satisfies `test`, or
    // nothing after `timeout`.
    std::optional<Json> waitFor(const std::function<bool(const Json&)>& test,
                                std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Closes the server's input and waits for it to end: its exit status (-1 on a signal, -2
    // when it did not end within the time).
    int finish(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Everything the server wrote on standard error so far.
    std::string errors();

    // Every message received, in order.
    const std::vector<Json>& received() const { return received_; }

  private:
    bool readSome(std::chrono::steady_clock::time_point deadline);
    void takeFrames();

    int pid_ = -1;
    int in_ = -1, out_ = -1, err_ = -1;
    int nextId_ = 1;
    std::string buffer_;
    std::string errors_;
    std::vector<Json> received_;
    std::size_t seen_ = 0;
};

// The publishDiagnostics of `uri`.
bool isDiagnosticsOf(const nlohmann::json& message, const std::string& uri);

}  // namespace corvane::testing
