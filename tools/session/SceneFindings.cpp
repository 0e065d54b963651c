#include "session/SceneFindings.hpp"

#include <algorithm>
#include <optional>

#include "checks/CheckReport.hpp"

namespace corvane::tools {

namespace {

using Element = UrdfPlace::Element;

const BodyOverview* bodyNamed(const ModelOverview& overview, const std::string& name) {
    const auto found =
        std::find_if(overview.bodies.begin(), overview.bodies.end(),
                     [&name](const BodyOverview& body) { return body.name == name; });
    return found == overview.bodies.end() ? nullptr : &*found;
}

const InteractionOverview* interactionNamed(const ModelOverview& overview,
                                            const std::string& name) {
    const auto found = std::find_if(
        overview.interactions.begin(), overview.interactions.end(),
        [&name](const InteractionOverview& interaction) { return interaction.name == name; });
    return found == overview.interactions.end() ? nullptr : &*found;
}

// The INDEXth contact (collision) or visual geometry of BODY, in the order of the file.
std::optional<std::string> geometryAt(const BodyOverview& body, std::size_t index, bool visual) {
    std::size_t seen = 0;
    for (const auto& geometry : body.geometries) {
        if (geometry.contact == visual) continue;
        if (seen++ == index) return geometry.name;
    }
    return std::nullopt;
}

bool isJointPart(Element element) {
    return element == Element::Joint || element == Element::Axis || element == Element::Limit ||
           element == Element::Mimic;
}

void placeOnRobot(SceneFinding& shown, const UrdfPlace& place, const ModelOverview& overview) {
    if (isJointPart(place.element)) {
        const InteractionOverview* interaction = interactionNamed(overview, place.owner);
        if (!interaction) return;
        shown.interaction = interaction->name;
        if (bodyNamed(overview, interaction->childBody)) shown.body = interaction->childBody;
        return;
    }
    if (place.element == Element::Robot || place.element == Element::Markup) return;
    const BodyOverview* body = bodyNamed(overview, place.owner);
    if (!body) return;
    shown.body = body->name;
    if (place.element == Element::Collision || place.element == Element::Visual)
        shown.geometry = geometryAt(*body, place.index, place.element == Element::Visual);
    if (place.element == Element::Mesh)
        shown.geometry = geometryAt(*body, place.index, place.visual);
}

}  // namespace

std::vector<SceneFinding> sceneFindings(const std::vector<Finding>& findings,
                                        const ModelOverview& overview) {
    std::vector<SceneFinding> shown;
    for (const auto& finding : findings) {
        SceneFinding entry;
        entry.severity = severityName(finding.severity);
        entry.rule = finding.rule;
        entry.message =
            finding.subject.empty() ? finding.message : finding.subject + ": " + finding.message;
        entry.file = finding.location.file;
        entry.line = finding.location.line;
        for (const auto& note : finding.location.notes)
            entry.chain.push_back({note.file, note.line, note.text});
        placeOnRobot(entry, finding.place, overview);
        shown.push_back(std::move(entry));
    }
    return shown;
}

std::string analysisSceneJson(const RobotAnalysis& analysis, bool meshesByIndex) {
    if (!analysis.robot || !analysis.scene) return {};
    const ModelOverview& overview = analysis.robot->overview();
    SceneExtras extras;
    extras.findings = sceneFindings(analysis.checks.findings, overview);
    extras.meshesByIndex = meshesByIndex;
    return sceneJson(overview, analysis.scene->placed, analysis.scene->meshes, extras);
}

}  // namespace corvane::tools
