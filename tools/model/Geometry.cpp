#include "model/Geometry.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>

namespace corvane::tools {

namespace {

constexpr Rotation kIdentity{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};

bool usableNorm(double norm) {
    return std::isfinite(norm) && norm > 1e-300;
}

double determinant(const Matrix3& m) {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
           m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// The off-diagonal entries are negligible next to the diagonal (or vanish outright).
bool diagonalEnough(const Matrix3& a) {
    const double offDiagonal = std::abs(a[0][1]) + std::abs(a[0][2]) + std::abs(a[1][2]);
    const double diagonal = std::abs(a[0][0]) + std::abs(a[1][1]) + std::abs(a[2][2]);
    return offDiagonal <= 1e-300 || offDiagonal <= 1e-17 * diagonal;
}

// Turns columns p and q of `m` by the plane rotation (c, s).
void rotateColumns(Matrix3& m, std::size_t p, std::size_t q, double c, double s) {
    for (std::size_t k = 0; k < 3; ++k) {
        const double kp = m[k][p], kq = m[k][q];
        m[k][p] = c * kp - s * kq;
        m[k][q] = s * kp + c * kq;
    }
}

void rotateRows(Matrix3& m, std::size_t p, std::size_t q, double c, double s) {
    for (std::size_t k = 0; k < 3; ++k) {
        const double pk = m[p][k], qk = m[q][k];
        m[p][k] = c * pk - s * qk;
        m[q][k] = s * pk + c * qk;
    }
}

// One Jacobi rotation zeroing entry (p, q) of `a`, accumulated into `axes`.
void jacobiRotate(Matrix3& a, Rotation& axes, std::size_t p, std::size_t q) {
    const double theta = (a[q][q] - a[p][p]) / (2 * a[p][q]);
    const double t = (theta >= 0 ? 1.0 : -1.0) / (std::abs(theta) + std::sqrt(theta * theta + 1));
    const double c = 1 / std::sqrt(t * t + 1);
    const double s = t * c;
    rotateColumns(a, p, q, c, s);
    rotateRows(a, p, q, c, s);
    rotateColumns(axes, p, q, c, s);
}

}  // namespace

double length(const Vector3& v) {
    const double squared = v.x * v.x + v.y * v.y + v.z * v.z;
    if (squared >= DBL_MIN && squared <= DBL_MAX) return std::sqrt(squared);
    // The squares overflow or fall below the normal numbers (a NaN passes through): scaled by
    // the largest component, the length of a vector of 1e-200 or 1e200 survives.
    return std::hypot(v.x, v.y, v.z);
}

Rotation rotationOf(const Quaternion& quaternion) {
    const double norm = std::sqrt(quaternion.x * quaternion.x + quaternion.y * quaternion.y +
                                  quaternion.z * quaternion.z + quaternion.w * quaternion.w);
    if (!usableNorm(norm)) return kIdentity;
    const double x = quaternion.x / norm, y = quaternion.y / norm, z = quaternion.z / norm,
                 w = quaternion.w / norm;
    return {{{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
             {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
             {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)}}};
}

Matrix3 symmetricPart(const InertiaTensor& tensor) {
    Matrix3 symmetric = tensor;
    for (std::size_t r = 0; r < 3; ++r) {
        for (std::size_t c = r + 1; c < 3; ++c) {
            symmetric[r][c] = symmetric[c][r] = (tensor[r][c] + tensor[c][r]) / 2;
        }
    }
    return symmetric;
}

Eigensystem symmetricEigensystem(const Matrix3& symmetric) {
    Matrix3 a = symmetric;
    Rotation axes = kIdentity;
    for (int sweep = 0; sweep < 50 && !diagonalEnough(a); ++sweep) {
        for (std::size_t p = 0; p < 2; ++p) {
            for (std::size_t q = p + 1; q < 3; ++q) {
                if (a[p][q] != 0) jacobiRotate(a, axes, p, q);
            }
        }
    }
    // The columns must form a right-handed frame to be a rotation.
    if (determinant(axes) < 0) {
        for (std::size_t k = 0; k < 3; ++k) axes[k][2] = -axes[k][2];
    }
    return {{a[0][0], a[1][1], a[2][2]}, axes};
}

std::array<double, 3> principalMoments(const InertiaTensor& tensor) {
    const Vector3 values = symmetricEigensystem(symmetricPart(tensor)).values;
    std::array<double, 3> moments{values.x, values.y, values.z};
    std::sort(moments.begin(), moments.end());
    return moments;
}

Vector3 uniformBoxEdges(const Vector3& moments, double mass) {
    const auto edge = [mass](double own, double other1, double other2) {
        return std::sqrt(std::max(0.0, 6 * (other1 + other2 - own) / mass));
    };
    return {edge(moments.x, moments.y, moments.z), edge(moments.y, moments.x, moments.z),
            edge(moments.z, moments.x, moments.y)};
}

}  // namespace corvane::tools
