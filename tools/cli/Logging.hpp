// Where the diagnostics of an import go while the tool runs.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace spdlog {
class logger;
}

namespace corvane::tools {

// One warning or error of the plugin's log, as the plugin wrote it.
struct LoggedMessage {
    // Warnings and errors alone are kept; a critical message counts as an error.
    bool error = false;
    std::string text;
};

// For the lifetime of the object, the plugin's log (spdlog's default logger) and urdfdom's
// diagnostics (console_bridge) are written to standard error, never among the output, each line
// starting with `inputName`, e.g. "arm.urdf: warning: ...". With `quiet` they are dropped
// altogether. Either way the plugin's warnings and errors are kept for the summary. The previous
// settings are restored afterwards.
class DiagnosticsToStandardError {
  public:
    DiagnosticsToStandardError(const std::string& inputName, bool quiet);
    ~DiagnosticsToStandardError();
    DiagnosticsToStandardError(const DiagnosticsToStandardError&) = delete;
    DiagnosticsToStandardError& operator=(const DiagnosticsToStandardError&) = delete;

    // The plugin's warnings and errors so far, in the order they were logged, shown or not.
    std::vector<LoggedMessage> pluginMessages() const;

    // Writes "inputName: origin: line" to standard error unless quiet: messages of the other
    // programs the tool runs, such as Graphviz's warnings.
    void relay(std::string_view origin, std::string_view line) const;

  private:
    class UrdfdomHandler;
    class MessageCapture;
    std::string inputName_;
    bool quiet_;
    std::shared_ptr<MessageCapture> capture_;
    std::shared_ptr<spdlog::logger> previousLogger_;
    std::unique_ptr<UrdfdomHandler> urdfdomHandler_;
};

}  // namespace corvane::tools
