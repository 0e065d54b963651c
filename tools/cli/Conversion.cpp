#include "cli/Conversion.hpp"

#include <corvane/Builders.hpp>
#include <corvane/Render.hpp>
#include <corvane/UrdfPlugin.hpp>
#include <memory>
#include <vector>

#include "graph/DotGraph.hpp"
#include "graph/Graphviz.hpp"
#include "model/MeshLocator.hpp"
#include "model/ModelOverview.hpp"
#include "model/UrdfElements.hpp"
#include "page/HtmlPage.hpp"
#include "page/Snapshot.hpp"
#include "support/ToolError.hpp"

namespace corvane::tools {

namespace {

// "arm.urdf: not a valid ...", or "arm.urdf:12: not a valid ...: malformed XML: <cause>" when the
// XML parser says where the text goes wrong.
std::string refusalMessage(const std::string& source, const std::string& inputName) {
    const std::string refused = "not a valid URDF robot description";
    const auto problem = findXmlProblem(source);
    if (!problem) return inputName + ": " + refused;
    const std::string place =
        problem->line > 0 ? inputName + ":" + std::to_string(problem->line) : inputName;
    return place + ": " + refused + ": malformed XML: " + problem->description;
}

Rendering renderPage(const Document& document, const Options& options, const MeshLocator& meshes) {
    ScenePage page = scenePage(readModelOverview(document), meshes, threeJsFolder());
    std::string content =
        options.format == OutputFormat::Snapshot ? snapshotOfPage(page.html) : std::move(page.html);
    return {std::move(content), std::move(page.warnings), "warning"};
}

}  // namespace

DocumentPtr importRobot(const std::string& source, const std::string& inputName,
                        const Options& options) {
    Plugins::Urdf::UrdfPlugin plugin;
    plugin.setPrecision(options.precision);
    ErrorReporter reporter;
    DocumentPtr document =
        plugin.parse(source, NodeBuilder::importStatement(options.importSegments), reporter);
    if (!document) throw ToolError(ExitStatus::Refused, refusalMessage(source, inputName));
    return document;
}

Rendering renderDocument(const Document& document, const Options& options,
                         const MeshLocator& meshes) {
    const OutputFormat format = options.format;
    switch (format) {
        case OutputFormat::Json:
            return {Render::toJson(document, 2) + '\n', {}};
        case OutputFormat::Text:
            return {Render::toHostText(document), {}};
        case OutputFormat::Dot:
            return {toDot(readModelOverview(document)), {}};
        case OutputFormat::Svg:
        case OutputFormat::Png: {
            Drawing drawing = drawWithGraphviz(toDot(readModelOverview(document)),
                                               format == OutputFormat::Svg ? "svg" : "png");
            return {std::move(drawing.bytes), std::move(drawing.warnings)};
        }
        case OutputFormat::Html:
        case OutputFormat::Snapshot:
            return renderPage(document, options, meshes);
    }
    return {Render::toHostText(document), {}};
}

const char* outputExtension(OutputFormat format) {
    switch (format) {
        case OutputFormat::Text:
            return ".txt";
        case OutputFormat::Json:
            return ".json";
        case OutputFormat::Dot:
            return ".dot";
        case OutputFormat::Svg:
            return ".svg";
        case OutputFormat::Png:
        case OutputFormat::Snapshot:
            return ".png";
        case OutputFormat::Html:
            return ".html";
    }
    return ".txt";
}

}  // namespace corvane::tools
