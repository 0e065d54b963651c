// The small mathematics of rigid bodies that the checks and the 3D page share: vector length,
// rotation matrices of quaternions, the principal moments and axes of an inertia tensor and the
// uniform box that has them. Written once, so that the box the checks warn about is the box the
// page draws.
#pragma once

#include <array>

#include "model/ModelOverview.hpp"

namespace corvane::tools {

// A 3x3 matrix by rows. As a rotation, its columns are the images of the frame's x, y and z axes.
using Matrix3 = std::array<std::array<double, 3>, 3>;
using Rotation = Matrix3;

// The Euclidean length of `v`: the square root of its dot product with itself, as long as that
// is a normal number, so that the length of a vector along an axis is its component exactly.
double length(const Vector3& v);

// The rotation matrix of a quaternion, normalised first (the identity for a quaternion whose norm
// is zero, subnormal or not finite).
Rotation rotationOf(const Quaternion& quaternion);

// The symmetric part of `tensor`: the document holds both eRC and eCR, and they may differ.
Matrix3 symmetricPart(const InertiaTensor& tensor);

// The eigenvalues of a symmetric matrix and its unit eigenvectors, the columns of `axes`, which
// form a right-handed frame (a rotation); value i belongs to column i. Jacobi rotations, until
// the off-diagonal entries are negligible next to the diagonal.
struct Eigensystem {
    Vector3 values;
    Rotation axes;
};
Eigensystem symmetricEigensystem(const Matrix3& symmetric);

// The principal moments of `tensor`: the eigenvalues of its symmetric part, ascending.
std::array<double, 3> principalMoments(const InertiaTensor& tensor);

// The edges of the uniform box of mass `mass` (> 0) whose moments about its own axes are
// `moments`: a box of edges a, b, c has Ixx = m (b² + c²) / 12, so edge i is
// sqrt(6 (I_j + I_k - I_i) / m); a negative radicand (moments breaking the triangle inequality)
// gives 0.
Vector3 uniformBoxEdges(const Vector3& moments, double mass);

}  // namespace corvane::tools
