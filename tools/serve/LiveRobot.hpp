// What the live server shows of its robot: the last good run (its scene, with the findings and
// the meshes named by index, and the meshes' bytes) and, when the last run failed, its failure.
// Each run replaces it whole; readers on other threads keep the state they took.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "session/Analysis.hpp"

namespace corvane::tools {

struct LiveState {
    // Counts the runs published, from 1.
    std::uint64_t revision = 0;
    // The scene JSON of the last good run; empty before the first one.
    std::string sceneJson;
    // The bytes of that scene's meshes, by index; unset for a mesh that cannot be drawn.
    std::vector<std::optional<std::string>> meshes;
    // {"message", "file", "line", "chain"} when the last run failed.
    std::optional<std::string> failureJson;
    // The robot's name in the last good run.
    std::string model;

    // The event that tells a page this state: "scene" with the scene, or "failure".
    std::string event() const;
    // The scene of /scene.json: the last good one, or an empty robot before any.
    std::string plainSceneJson() const;
    // The scene as the page at "/" embeds it: the last good one (an empty robot before any), with
    // "revision" and, after a failed run, "failure".
    std::string pageSceneJson() const;
};

// The failure as the page's banner shows it: {"message", "file", "line", "chain": [{"file",
// "line", "note"}]}, line null when there is none.
std::string failureJson(const AnalysisFailure& failure);

class LiveRobot {
  public:
    // Publishes the outcome of a run; a failed run keeps the last good scene.
    void publish(const RobotAnalysis& analysis);
    std::shared_ptr<const LiveState> state() const;

  private:
    mutable std::mutex mutex_;
    std::shared_ptr<const LiveState> state_ = std::make_shared<LiveState>();
};

}  // namespace corvane::tools
