#include "cli/Logging.hpp"

#include <console_bridge/console.h>
#include <spdlog/details/null_mutex.h>
#include <spdlog/sinks/base_sink.h>
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

// Keeps every message it is given; the tool runs one import at a time on one thread.
class DiagnosticsToStandardError::MessageCapture final
    : public spdlog::sinks::base_sink<spdlog::details::null_mutex> {
  public:
    const std::vector<LoggedMessage>& messages() const { return messages_; }

  protected:
    void sink_it_(const spdlog::details::log_msg& message) override {
        messages_.push_back(
            LoggedMessage{message.level >= spdlog::level::err,
                          std::string(message.payload.data(), message.payload.size())});
    }
    void flush_() override {}

  private:
    std::vector<LoggedMessage> messages_;
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

// Shows warnings and errors on standard error (nothing when quiet) and hands them to `capture`.
std::shared_ptr<spdlog::logger> standardErrorLogger(const std::string& inputName, bool quiet,
                                                    spdlog::sink_ptr capture) {
    auto standardError = std::make_shared<spdlog::sinks::stderr_color_sink_st>();
    standardError->set_pattern(literalPattern(inputName) + ": %^%l%$: %v");
    standardError->set_level(quiet ? spdlog::level::off : spdlog::level::warn);
    auto logger = std::make_shared<spdlog::logger>(
        "corvane-urdf", spdlog::sinks_init_list{std::move(standardError), std::move(capture)});
    logger->set_level(spdlog::level::warn);
    return logger;
}

}  // namespace

DiagnosticsToStandardError::DiagnosticsToStandardError(const std::string& inputName, bool quiet)
    : inputName_(inputName),
      quiet_(quiet),
      capture_(std::make_shared<MessageCapture>()),
      previousLogger_(spdlog::default_logger()),
      urdfdomHandler_(std::make_unique<UrdfdomHandler>(inputName)) {
    spdlog::set_default_logger(standardErrorLogger(inputName, quiet, capture_));
    console_bridge::useOutputHandler(urdfdomHandler_.get());
    console_bridge::setLogLevel(quiet ? console_bridge::CONSOLE_BRIDGE_LOG_NONE
                                      : console_bridge::CONSOLE_BRIDGE_LOG_WARN);
}

DiagnosticsToStandardError::~DiagnosticsToStandardError() {
    console_bridge::restorePreviousOutputHandler();
    spdlog::set_default_logger(previousLogger_);
}

std::vector<LoggedMessage> DiagnosticsToStandardError::pluginMessages() const {
    return capture_->messages();
}

void DiagnosticsToStandardError::relay(std::string_view origin, std::string_view line) const {
    if (quiet_) return;
    std::fprintf(stderr, "%s: %.*s: %.*s\n", inputName_.c_str(), static_cast<int>(origin.size()),
                 origin.data(), static_cast<int>(line.size()), line.data());
    std::fflush(stderr);
}

}  // namespace corvane::tools
