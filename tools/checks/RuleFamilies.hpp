// The rules, one function each, by family; checkModel calls them in the order of kRules. A rule
// function reads what the check shares from the context and adds its findings, if any.
#pragma once

#include "checks/CheckContext.hpp"
#include "checks/Rules.hpp"

namespace corvane::tools {

// NonFiniteRules.cpp: non-finite.
void checkBodyNonFinite(const CheckContext& context, const BodyCheck& body, Findings& findings);
void checkInteractionNonFinite(const CheckContext& context, const InteractionCheck& interaction,
                               Findings& findings);
void checkModelNonFinite(const CheckContext& context, Findings& findings);

// MassRules.cpp: mass-negative and mass-zero; moving-body-massless; mass-ratio.
void checkMassSign(const CheckContext& context, const BodyCheck& body, Findings& findings);
void checkMovingMass(const CheckContext& context, const BodyCheck& body, Findings& findings);
void checkMassRatio(const CheckContext& context, const BodyCheck& body, Findings& findings);
// moving-body-inertia-zero; root-world.
void checkMovingInertia(const CheckContext& context, const BodyCheck& body, Findings& findings);
void checkWorldRoot(const CheckContext& context, const BodyCheck& body, Findings& findings);

// InertiaRules.cpp: inertia-not-positive, inertia-product and inertia-triangle, judged together
// (true when the tensor passes them all); inertia-box, only for a tensor that passes them.
bool checkInertiaTensor(const BodyCheck& body, Findings& findings);
void checkInertiaBox(const BodyCheck& body, Findings& findings);
// precision-loss: the document's rounded mass and tensor against the URDF's.
void checkPrecisionLoss(const CheckContext& context, const BodyCheck& body, Findings& findings);
// Shared with the mass rules: every entry is finite; inertia-not-positive finds the tensor not
// positive semi-definite.
bool allFinite(const InertiaTensor& tensor);
bool judgedIndefinite(const InertiaTensor& tensor);

// GeometryRules.cpp: geometry-size; mesh-scale-zero and mesh-mirrored.
void checkGeometrySize(const GeometryCheck& geometry, Findings& findings);
void checkMeshScale(const GeometryCheck& geometry, Findings& findings);

// MeshRules.cpp: mesh-not-found and mesh-unreadable; mesh-undecodable, mesh-size and mesh-heavy.
void checkMeshFile(const CheckContext& context, const GeometryCheck& geometry, Findings& findings);
void checkMeshContents(const CheckContext& context, const GeometryCheck& geometry,
                       Findings& findings);

// JointRules.cpp: axis-zero and axis-not-unit; range-inverted, range-empty and initial-clamped;
// effort-negative and effort-zero.
void checkAxis(const CheckContext& context, const InteractionCheck& interaction,
               Findings& findings);
void checkRange(const InteractionCheck& interaction, Findings& findings);
void checkEffort(const InteractionCheck& interaction, Findings& findings);
// MimicRules.cpp: mimic-not-carried and mimic-invalid.
void checkMimic(const CheckContext& context, const InteractionCheck& interaction,
                Findings& findings);

// NameRules.cpp: name-clash, once per pair of URDF elements whose members share a name.
void checkNameClashes(const CheckContext& context, Findings& findings);

// MarkupRules.cpp: xacro-unexpanded; element-misplaced, element-misspelt and element-unknown;
// attribute-ignored, attribute-misspelt and attribute-unknown: what urdfdom reads past, in the
// order of the text.
void checkMarkup(const CheckContext& context, Findings& findings);
// Whether the axis element of joint `joint` carries a misspelt xyz (xzy=): attribute-misspelt
// reports it, and says what the axis becomes.
bool axisXyzMisspelt(const CheckContext& context, const std::string& joint);

}  // namespace corvane::tools
