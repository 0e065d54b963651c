#include "Logging.hpp"

#include <console_bridge/console.h>
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>

#include <cstdio>
#include <string>
#include <utility>

namespace corvane::tools {

// urdfdom's own handler prints informational messages on standard output; this one keeps all
// of them on standard error.
class DiagnosticsToStandardError::UrdfdomHandler final : public console_bridge::OutputHandler {
  public:
    explicit UrdfdomHandler(std::string inputName) : inputName_(std::move(inputName)) {}

    void log(const std::string& text, console_bridge::LogLevel level, const char* /*filename*/,
             int /*line*/) override {
        std::fprintf(stderr, "%s: urdfdom: %s: %s\n", inputName_.c_str(), levelName(level),
                     text.c_str());
        std::fflush(stderr);
    }

  private:
    std::string inputName_;

    static const char* levelName(console_bridge::LogLevel level) {
        switch (level) {
            case console_bridge::CONSOLE_BRIDGE_LOG_DEBUG:
                return "debug";
            case console_bridge::CONSOLE_BRIDGE_LOG_INFO:
                return "info";
            case console_bridge::CONSOLE_BRIDGE_LOG_WARN:
                return "warning";
            case console_bridge::CONSOLE_BRIDGE_LOG_ERROR:
                return "error";
            case console_bridge::CONSOLE_BRIDGE_LOG_NONE:
                break;
        }
        return "message";
    }
};

namespace {

// spdlog reads "%" in a pattern as a flag; a file name is taken literally.
std::string literalPattern(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        escaped += c;
        if (c == '%') escaped += '%';
    }
    return escaped;
}

std::shared_ptr<spdlog::logger> standardErrorLogger(const std::string& inputName, bool quiet) {
    auto logger = std::make_shared<spdlog::logger>(
        "corvane-urdf", std::make_shared<spdlog::sinks::stderr_color_sink_st>());
    logger->set_pattern(literalPattern(inputName) + ": %^%l%$: %v");
    logger->set_level(quiet ? spdlog::level::off : spdlog::level::warn);
    return logger;
}

}  // namespace

DiagnosticsToStandardError::DiagnosticsToStandardError(const std::string& inputName, bool quiet)
    : previousLogger_(spdlog::default_logger()),
      urdfdomHandler_(std::make_unique<UrdfdomHandler>(inputName)) {
    spdlog::set_default_logger(standardErrorLogger(inputName, quiet));
    console_bridge::useOutputHandler(urdfdomHandler_.get());
    console_bridge::setLogLevel(quiet ? console_bridge::CONSOLE_BRIDGE_LOG_NONE
                                      : console_bridge::CONSOLE_BRIDGE_LOG_WARN);
}

DiagnosticsToStandardError::~DiagnosticsToStandardError() {
    console_bridge::restorePreviousOutputHandler();
    spdlog::set_default_logger(previousLogger_);
}

}  // namespace corvane::tools
