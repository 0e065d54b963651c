// Where the diagnostics of an import go while the tool runs.
#pragma once

#include <spdlog/logger.h>

#include <memory>
#include <string>

namespace corvane::tools {

// For the lifetime of the object, the plugin's log (spdlog's default logger) and urdfdom's
// diagnostics (console_bridge) are written to standard error, never among the output, each line
// starting with `inputName`, e.g. "arm.urdf: warning: ...". With `quiet` they are dropped
// altogether. The previous settings are restored afterwards.
class DiagnosticsToStandardError {
  public:
    DiagnosticsToStandardError(const std::string& inputName, bool quiet);
    ~DiagnosticsToStandardError();
    DiagnosticsToStandardError(const DiagnosticsToStandardError&) = delete;
    DiagnosticsToStandardError& operator=(const DiagnosticsToStandardError&) = delete;

  private:
    class UrdfdomHandler;
    std::shared_ptr<spdlog::logger> previousLogger_;
    std::unique_ptr<UrdfdomHandler> urdfdomHandler_;
};

}  // namespace corvane::tools
