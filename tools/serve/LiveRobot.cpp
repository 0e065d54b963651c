#include "serve/LiveRobot.hpp"

#include <nlohmann/json.hpp>
#include <utility>

#include "page/SceneJson.hpp"
#include "serve/EventStreams.hpp"
#include "session/SceneFindings.hpp"
#include "support/VisibleText.hpp"

namespace corvane::tools {

namespace {

using json = nlohmann::ordered_json;

json lineJson(int line) {
    return line > 0 ? json(line) : json(nullptr);
}

std::string dumped(const json& value) {
    return escapeForScriptElement(value.dump(-1, ' ', false, json::error_handler_t::replace));
}

// A robot of nothing, for a page opened before any run succeeded.
json emptyScene() {
    return {{"format", "corvane-scene"},
            {"version", 1},
            {"model", ""},
            {"extent", 0},
            {"bodies", json::array()},
            {"interactions", json::array()},
            {"order", json::array()},
            {"locks", json::array()},
            {"meshes", json::array()},
            {"unplaced", json::array()},
            {"findings", json::array()}};
}

}  // namespace

std::string failureJson(const AnalysisFailure& failure) {
    json chain = json::array();
    for (const auto& step : failure.chain) {
        chain.push_back({{"file", visibleText(step.file)},
                         {"line", lineJson(step.line)},
                         {"note", visibleText(step.text)}});
    }
    return dumped({{"message", visibleText(failure.message)},
                   {"file", visibleText(failure.file)},
                   {"line", lineJson(failure.line)},
                   {"chain", std::move(chain)}});
}

std::string LiveState::event() const {
    if (failureJson) return serverSentEvent("failure", *failureJson);
    return serverSentEvent("scene", pageSceneJson());
}

std::string LiveState::plainSceneJson() const {
    return sceneJson.empty() ? dumped(emptyScene()) : sceneJson;
}

// The members are put in before the scene's closing brace: a robot's scene is large, and is
// not parsed again for two numbers.
std::string LiveState::pageSceneJson() const {
    std::string scene = plainSceneJson();
    scene.pop_back();
    scene += ",\"revision\":" + std::to_string(revision);
    if (failureJson) scene += ",\"failure\":" + *failureJson;
    return scene + "}";
}

void LiveRobot::publish(const RobotAnalysis& analysis) {
    auto next = std::make_shared<LiveState>();
    {
        const std::lock_guard lock(mutex_);
        *next = *state_;
    }
    ++next->revision;
    if (analysis.succeeded() && analysis.scene) {
        next->sceneJson = analysisSceneJson(analysis, true);
        next->meshes.clear();
        for (const auto& mesh : analysis.scene->meshes.meshes) next->meshes.push_back(mesh.bytes);
        next->failureJson.reset();
        next->model = analysis.robot->overview().modelName;
    } else if (analysis.failure) {
        next->failureJson = tools::failureJson(*analysis.failure);
    }
    const std::lock_guard lock(mutex_);
    state_ = std::move(next);
}

std::shared_ptr<const LiveState> LiveRobot::state() const {
    const std::lock_guard lock(mutex_);
    return state_;
}

}  // namespace corvane::tools
