#include "Conversion.hpp"

#include <corvane/Render.hpp>
#include <corvane/UrdfPlugin.hpp>
#include <memory>
#include <vector>

#include "ToolError.hpp"

namespace corvane::tools {

namespace {

std::shared_ptr<Import> importStatement(const std::vector<std::string>& typeSegments) {
    std::vector<Token> tokens;
    tokens.reserve(typeSegments.size());
    for (const auto& segment : typeSegments) tokens.push_back(Token::identifier(segment));
    return std::make_shared<Import>(std::move(tokens));
}

}  // namespace

DocumentPtr importRobot(const std::string& source, const std::string& inputName,
                        const Options& options) {
    Plugins::Urdf::UrdfPlugin plugin;
    plugin.setPrecision(options.precision);
    ErrorReporter reporter;
    DocumentPtr document = plugin.parse(source, importStatement(options.importSegments), reporter);
    if (!document) {
        throw ToolError(ExitStatus::Refused, inputName + ": not a valid URDF robot description");
    }
    return document;
}

std::string renderDocument(const Document& document, OutputFormat format) {
    switch (format) {
        case OutputFormat::Json:
            return Render::toJson(document, 2) + '\n';
        case OutputFormat::Text:
            return Render::toHostText(document);
    }
    return Render::toHostText(document);
}

}  // namespace corvane::tools
