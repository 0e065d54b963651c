#include "TestSupport.hpp"

#include <gtest/gtest.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <corvane/Builders.hpp>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>

namespace corvane::testing {

DocumentPtr importUrdf(const std::string& urdf, int precision,
                       std::vector<std::string> importSegments) {
    Plugins::Urdf::UrdfPlugin plugin;
    plugin.setPrecision(precision);
    ErrorReporter reporter;
    return plugin.parse(urdf, NodeBuilder::importStatement(importSegments), reporter);
}

ModelDeclarationPtr modelOf(const DocumentPtr& document) {
    EXPECT_TRUE(document);
    if (!document) return nullptr;
    EXPECT_EQ(document->nodes().size(), 1u);
    if (document->nodes().empty()) return nullptr;
    auto model = document->nodes().front()->toModelDeclaration();
    EXPECT_TRUE(model);
    return model;
}

namespace {
std::vector<std::string> lexemesOf(const std::vector<Token>& tokens) {
    std::vector<std::string> lexemes;
    for (const auto& token : tokens) lexemes.push_back(token.lexeme);
    return lexemes;
}

std::string dotted(const std::vector<std::string>& segments) {
    std::string path;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (i > 0) path += ".";
        path += segments[i];
    }
    return path;
}
}  // namespace

std::string targetPath(const VarAssignment& node) {
    return dotted(lexemesOf(node.target()));
}
std::string typePath(const VarAssignment& node) {
    return dotted(lexemesOf(node.type()));
}

std::vector<VarAssignmentPtr> assignments(const ModelDeclaration& model) {
    std::vector<VarAssignmentPtr> result;
    for (const auto& member : model.members()) {
        if (member && member->isVarAssignment()) result.push_back(member->toVarAssignment());
    }
    return result;
}

std::vector<std::string> segmentsOf(const VarAssignment& node) {
    return lexemesOf(node.target());
}

VarAssignmentPtr findMember(const ModelDeclaration& model,
                            const std::vector<std::string>& segments) {
    for (const auto& node : assignments(model)) {
        if (segmentsOf(*node) == segments) return node;
    }
    return nullptr;
}

VarAssignmentPtr findMember(const VarAssignment& parent, const std::vector<std::string>& segments) {
    for (const auto& node : parent.members()) {
        if (node && segmentsOf(*node) == segments) return node;
    }
    return nullptr;
}

VarAssignmentPtr requireMember(const ModelDeclaration& model,
                               const std::vector<std::string>& segments) {
    const auto member = findMember(model, segments);
    if (!member) throw std::out_of_range("the model has no member " + dotted(segments));
    return member;
}

VarAssignmentPtr requireMember(const VarAssignment& parent,
                               const std::vector<std::string>& segments) {
    const auto member = findMember(parent, segments);
    if (!member) {
        throw std::out_of_range(targetPath(parent) + " has no member " + dotted(segments));
    }
    return member;
}

std::optional<Token> constantToken(const VarAssignment& node) {
    if (!node.value() || node.value()->expressionKind() != Expression::Kind::Constant) {
        return std::nullopt;
    }
    return std::static_pointer_cast<Constant>(node.value())->token();
}

std::optional<std::string> constantLexeme(const VarAssignment& node) {
    const auto token = constantToken(node);
    if (!token) return std::nullopt;
    return token->lexeme;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << path;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::optional<std::filesystem::path> corpusDir() {
    const std::filesystem::path dir = std::filesystem::path(CORVANE_SHARED_DIR) / "corpus";
    std::error_code error;
    if (std::filesystem::is_directory(dir / "valid", error)) return dir;
    return std::nullopt;
}

std::vector<std::filesystem::path> corpusFiles(const std::string& subfolder) {
    std::vector<std::filesystem::path> files;
    const auto dir = corpusDir();
    if (!dir) return files;
    for (const auto& entry : std::filesystem::directory_iterator(*dir / subfolder)) {
        if (!entry.is_regular_file()) continue;
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (extension == ".urdf") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

struct LogCapture::State {
    std::mutex mutex;
    std::vector<Entry> entries;
    std::shared_ptr<spdlog::logger> previous;
};

namespace {
class CaptureSink final : public spdlog::sinks::base_sink<std::mutex> {
  public:
    explicit CaptureSink(std::function<void(const spdlog::details::log_msg&)> onMessage)
        : onMessage_(std::move(onMessage)) {}

  protected:
    void sink_it_(const spdlog::details::log_msg& message) override { onMessage_(message); }
    void flush_() override {}

  private:
    std::function<void(const spdlog::details::log_msg&)> onMessage_;
};
}  // namespace

LogCapture::LogCapture() : state_(std::make_shared<State>()) {
    state_->previous = spdlog::default_logger();
    auto state = state_;
    auto sink = std::make_shared<CaptureSink>([state](const spdlog::details::log_msg& message) {
        std::lock_guard lock(state->mutex);
        state->entries.push_back(Entry{message.level,
                                       std::string(message.payload.begin(), message.payload.end()),
                                       message.source.funcname ? message.source.funcname : ""});
    });
    auto logger = std::make_shared<spdlog::logger>("capture", sink);
    logger->set_level(spdlog::level::trace);
    spdlog::set_default_logger(logger);
}

LogCapture::~LogCapture() {
    spdlog::set_default_logger(state_->previous);
}

std::vector<LogCapture::Entry> LogCapture::entries() const {
    std::lock_guard lock(state_->mutex);
    return state_->entries;
}

}  // namespace corvane::testing
