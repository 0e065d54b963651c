// What a simulator will make of an imported robot: the physical checks behind --check. The rules
// read the imported document through its overview, as the host will simulate it; the URDF text
// (read as urdfdom reads it) only where the document cannot show a problem, and each such use
// says why.
//
// The rules, their ids, severities and thresholds are listed in checks/Rules.hpp.
#pragma once

#include <vector>

#include "checks/Findings.hpp"
#include "model/Geometry.hpp"
#include "model/MeshLocator.hpp"
#include "model/ModelOverview.hpp"
#include "model/UrdfElements.hpp"
#include "model/XacroInput.hpp"

namespace corvane::tools {

struct CheckInput {
    const ModelOverview& model;  // the imported document, read once
    // The elements of the same file: only where the document cannot show the problem.
    const UrdfElements& urdf;
    const MeshLocator* meshes;  // null: mesh files are not looked for
    // The digits after the point of the document's real literals (the import's precision).
    int precision = 10;
    // For a xacro input, where each line of the expanded URDF was written; null for a URDF read
    // as it stands. Messages that name a second element give its place through it.
    const SourceMap* sources = nullptr;
};

// Every finding about the model: body by body in the order of the model, then interaction by
// interaction, each with its rules in the order of kRules; the same input gives the same
// findings in the same order.
std::vector<Finding> checkModel(const CheckInput& input);

}  // namespace corvane::tools
