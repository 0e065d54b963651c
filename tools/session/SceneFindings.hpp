// The findings of an analysis on the robot: each one with the body, geometry or interaction it
// is about, for the 3D page's panel and tints.
#pragma once

#include <string>
#include <vector>

#include "checks/Findings.hpp"
#include "model/ModelOverview.hpp"
#include "page/SceneJson.hpp"
#include "session/Analysis.hpp"

namespace corvane::tools {

// `findings` as the page shows them. A finding about a link or one of its elements names that
// body (and the geometry, by its position among the body's contact or visual geometries); one
// about a joint names the interaction and its second body, which the joint moves.
std::vector<SceneFinding> sceneFindings(const std::vector<Finding>& findings,
                                        const ModelOverview& overview);

// The scene JSON of a successful analysis, with its findings; the meshes embedded, or named by
// "/meshes/INDEX" with `meshesByIndex`. Empty when the analysis has no scene.
std::string analysisSceneJson(const RobotAnalysis& analysis, bool meshesByIndex);

}  // namespace corvane::tools
