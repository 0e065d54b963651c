#include "cli/Rendering.hpp"

#include <corvane/Render.hpp>
#include <utility>

#include "checks/CheckReport.hpp"
#include "graph/DotGraph.hpp"
#include "graph/Graphviz.hpp"
#include "page/HtmlPage.hpp"
#include "page/Snapshot.hpp"
#include "session/SceneFindings.hpp"

namespace corvane::tools {

namespace {

// With --check the page lists the findings and tints their bodies.
Rendering renderPage(const ImportedRobot& robot, const Options& options) {
    const OutputFormat format = options.format;
    SceneExtras extras;
    if (options.check)
        extras.findings =
            sceneFindings(checkImportedRobot(robot, options.verbose).findings, robot.overview());
    ScenePage page = scenePage(robot.overview(), robot.meshes(), threeJsFolder(), extras);
    std::string content =
        format == OutputFormat::Snapshot ? snapshotOfPage(page.html) : std::move(page.html);
    return {std::move(content), std::move(page.warnings), "warning"};
}

Rendering renderPicture(const ImportedRobot& robot, OutputFormat format) {
    Drawing drawing =
        drawWithGraphviz(toDot(robot.overview()), format == OutputFormat::Svg ? "svg" : "png");
    return {std::move(drawing.bytes), std::move(drawing.warnings)};
}

}  // namespace

Rendering renderDocument(const ImportedRobot& robot, const Options& options) {
    switch (options.format) {
        case OutputFormat::Json:
            return {Render::toJson(robot.document(), 2) + '\n', {}};
        case OutputFormat::Text:
            return {Render::toHostText(robot.document()), {}};
        case OutputFormat::Dot:
            return {toDot(robot.overview()), {}};
        case OutputFormat::Svg:
        case OutputFormat::Png:
            return renderPicture(robot, options.format);
        case OutputFormat::Html:
        case OutputFormat::Snapshot:
            return renderPage(robot, options);
        case OutputFormat::Urdf:
            return {robot.source(), {}};
    }
    return {Render::toHostText(robot.document()), {}};
}

}  // namespace corvane::tools
