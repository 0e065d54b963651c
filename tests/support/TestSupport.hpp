// Helpers shared by the plugin's tests.
#pragma once

#include <spdlog/common.h>

#include <corvane/Syntax.hpp>
#include <corvane/UrdfPlugin.hpp>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvane::testing {

// Imports `urdf` with a fresh plugin; an empty pointer when the plugin refuses it.
DocumentPtr importUrdf(const std::string& urdf, int precision = 10,
                       std::vector<std::string> importSegments = {});

// The one model declaration of an imported document (fails the test when there is none).
ModelDeclarationPtr modelOf(const DocumentPtr& document);

// Target segments joined with "." (for display and lookups), e.g. "j1_mc.position.x".
std::string targetPath(const VarAssignment& node);
// Type segments joined with ".".
std::string typePath(const VarAssignment& node);

// Members of the model that are variable assignments, in order.
std::vector<VarAssignmentPtr> assignments(const ModelDeclaration& model);
// The first member of the model whose target segments are exactly `segments`; null when none.
VarAssignmentPtr findMember(const ModelDeclaration& model,
                            const std::vector<std::string>& segments);
// The first member of `parent` whose target segments are exactly `segments`; null when none.
VarAssignmentPtr findMember(const VarAssignment& parent, const std::vector<std::string>& segments);
// The same look-ups for a test that uses the member at once: never null, a missing member throws
// std::out_of_range naming the path. GoogleTest reports the exception as a failure of the test
// where the member was wanted, instead of the test program crashing on a null pointer.
VarAssignmentPtr requireMember(const ModelDeclaration& model,
                               const std::vector<std::string>& segments);
VarAssignmentPtr requireMember(const VarAssignment& parent,
                               const std::vector<std::string>& segments);
// Segments of a node's target, as strings.
std::vector<std::string> segmentsOf(const VarAssignment& node);
// The token of the constant value of an assignment; nullopt when there is no value or it is no
// constant.
std::optional<Token> constantToken(const VarAssignment& node);
// The lexeme of the constant value of an assignment; nullopt when the value is no constant.
std::optional<std::string> constantLexeme(const VarAssignment& node);

// Reads a file whole; fails the test when it cannot.
std::string readFile(const std::filesystem::path& path);
// The lines of `text` without their line breaks; a last line without one counts too.
std::vector<std::string> linesOf(const std::string& text);

// The shared corpus folder (../shared/corpus beside the checkout); nullopt when this clone has
// none, so that callers can skip with a message.
std::optional<std::filesystem::path> corpusDir();
// The URDF files of a corpus subfolder ("valid" or "refused"), sorted by name.
std::vector<std::filesystem::path> corpusFiles(const std::string& subfolder);

// Installs a capturing sink as spdlog's default logger for the lifetime of the object, and puts
// the previous logger back afterwards.
class LogCapture {
  public:
    struct Entry {
        spdlog::level::level_enum level;
        std::string message;
        std::string function;
    };
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<Entry> entries() const;

  private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace corvane::testing

#define CORVANE_SKIP_WITHOUT_CORPUS()                                                         \
    do {                                                                                      \
        if (!::corvane::testing::corpusDir()) {                                               \
            GTEST_SKIP() << "no ../shared/corpus beside this checkout: corpus tests skipped"; \
        }                                                                                     \
    } while (0)
