// What a simulator will make of an imported robot: the physical checks behind --check. The rules
// read the imported document through its overview, as the host will simulate it; the URDF text
// (read as urdfdom reads it) only where the document cannot show a problem, and each such use
// says why.
//
// Rules, by id (severity: what triggers it):
//   non-finite (error): a number of the document is an infinity or a NaN
//   mass-negative (error): mass < 0;  mass-zero (warning): mass = 0 with an inertia tensor
//   inertia-not-positive (error): smallest principal moment < -eps
//   inertia-product (error): 2|ixy| > izz + eps, and cyclic
//   inertia-triangle (error): I1 + I2 < I3 - eps for the principal moments
//     (eps = 16 DBL_EPSILON max(1, (I1 + I2 + I3) / 2))
//   inertia-box (warning): the uniform box with the body's mass and principal moments has a side
//     over 10 times the largest extent of the body's contact geometry
//   moving-body-massless (error): a body of a hinge or prismatic, with the bodies locked to it,
//     has a mass below 1e-15
//   mass-ratio (warning): the heaviest moving body is over 1,000 times the lightest
//   axis-zero (warning): the URDF axis has a norm below 1e-8
//   axis-not-unit (warning): | |axis| - 1 | > 1e-6
//   range-inverted (error): start > end;  range-empty (warning): start = end
//   initial-clamped (note): 0 lies outside the range, the initial value sits on a bound
//   effort-negative (error): effort < 0;  effort-zero (warning): effort = 0
//   geometry-size (error): a size, radius or height <= 0
//   mesh-scale-zero (error): a zero scale factor;  mesh-mirrored (warning): negative product
//   mesh-not-found (error), mesh-unreadable (error): the mesh file as the locator finds it
#pragma once

#include <array>
#include <vector>

#include "checks/Findings.hpp"
#include "model/MeshLocator.hpp"
#include "model/ModelOverview.hpp"
#include "model/UrdfElements.hpp"

namespace corvane::tools {

struct CheckInput {
    const ModelOverview& model;  // the imported document, read once
    // The elements of the same file: only where the document cannot show the problem.
    const UrdfElements& urdf;
    const MeshLocator* meshes;  // null: mesh files are not looked for
};

// Every finding about the model: body by body in the order of the model, then interaction by
// interaction, each with its rules in the order of the list above; the same input gives the same
// findings in the same order.
std::vector<Finding> checkModel(const CheckInput& input);

// The principal moments of `tensor`: the eigenvalues of its symmetric part, ascending.
std::array<double, 3> principalMoments(const InertiaTensor& tensor);

}  // namespace corvane::tools
