// The mathematics the checks and the 3D page share: the eigen-solver on tensors whose
// eigensystem is known, the uniform box of a solid box, the rotation of a quaternion and the
// length of vectors whose squares leave the normal numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>

#include "model/Geometry.hpp"

namespace {

using namespace corvane::tools;

Matrix3 product(const Matrix3& a, const Matrix3& b) {
    Matrix3 result{};
    for (std::size_t r = 0; r < 3; ++r) {
        for (std::size_t c = 0; c < 3; ++c) {
            for (std::size_t k = 0; k < 3; ++k) result[r][c] += a[r][k] * b[k][c];
        }
    }
    return result;
}

Matrix3 transposed(const Matrix3& m) {
    Matrix3 result{};
    for (std::size_t r = 0; r < 3; ++r) {
        for (std::size_t c = 0; c < 3; ++c) result[r][c] = m[c][r];
    }
    return result;
}

double determinant(const Matrix3& m) {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
           m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// R diag(d) R^T.
Matrix3 turned(const Rotation& r, const Vector3& d) {
    const Matrix3 diagonal{{{d.x, 0, 0}, {0, d.y, 0}, {0, 0, d.z}}};
    return product(product(r, diagonal), transposed(r));
}

// 30 degrees about z, then 45 about x: no axis of the frame stays put.
Rotation someRotation() {
    const double c1 = std::cos(M_PI / 6), s1 = std::sin(M_PI / 6);
    const double c2 = std::cos(M_PI / 4), s2 = std::sin(M_PI / 4);
    return {{{c1, -s1 * c2, s1 * s2}, {s1, c1 * c2, -c1 * s2}, {0, s2, c2}}};
}

void expectRotation(const Rotation& r, double tolerance) {
    const Matrix3 identity = product(r, transposed(r));
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = 0; j < 3; ++j) EXPECT_NEAR(identity[i][j], i == j ? 1 : 0, tolerance);
    }
    EXPECT_NEAR(determinant(r), 1, tolerance);
}

// Every column i of the axes is an eigenvector of `a` for value i.
void expectEigensystemOf(const Matrix3& a, const Eigensystem& eigen, double tolerance) {
    expectRotation(eigen.axes, tolerance);
    const double values[3] = {eigen.values.x, eigen.values.y, eigen.values.z};
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t r = 0; r < 3; ++r) {
            double image = 0;
            for (std::size_t k = 0; k < 3; ++k) image += a[r][k] * eigen.axes[k][i];
            EXPECT_NEAR(image, values[i] * eigen.axes[r][i], tolerance) << "column " << i;
        }
    }
}

TEST(Eigensystem, ADiagonalTensorIsItsOwnEigensystem) {
    const Matrix3 a{{{3, 0, 0}, {0, 1, 0}, {0, 0, 2}}};
    const Eigensystem eigen = symmetricEigensystem(a);
    EXPECT_EQ(eigen.values.x, 3);
    EXPECT_EQ(eigen.values.y, 1);
    EXPECT_EQ(eigen.values.z, 2);
    expectEigensystemOf(a, eigen, 0);
    EXPECT_EQ(principalMoments(a), (std::array<double, 3>{1, 2, 3}));
}

TEST(Eigensystem, ATurnedTensorGivesBackItsMomentsAndAxes) {
    const Matrix3 a = turned(someRotation(), {1, 2, 3});
    expectEigensystemOf(a, symmetricEigensystem(a), 1e-14);
    const auto moments = principalMoments(a);
    EXPECT_NEAR(moments[0], 1, 1e-14);
    EXPECT_NEAR(moments[1], 2, 1e-14);
    EXPECT_NEAR(moments[2], 3, 1e-14);
}

TEST(Eigensystem, ARepeatedMomentStillGivesAFrame) {
    // A cylinder's tensor: two equal moments, whose eigenvectors are any pair in their plane.
    const Matrix3 a = turned(someRotation(), {2, 5, 2});
    expectEigensystemOf(a, symmetricEigensystem(a), 1e-14);
    const auto moments = principalMoments(a);
    EXPECT_NEAR(moments[0], 2, 1e-14);
    EXPECT_NEAR(moments[1], 2, 1e-14);
    EXPECT_NEAR(moments[2], 5, 1e-14);
    // All three equal (a sphere) and all zero (a point mass) end at once.
    const Matrix3 sphere = turned(someRotation(), {4, 4, 4});
    expectEigensystemOf(sphere, symmetricEigensystem(sphere), 1e-14);
    const Eigensystem zero = symmetricEigensystem(Matrix3{});
    EXPECT_EQ(zero.values.x, 0);
    EXPECT_EQ(zero.values.y, 0);
    EXPECT_EQ(zero.values.z, 0);
    expectRotation(zero.axes, 0);
}

TEST(Eigensystem, MomentsOfVeryDifferentSizesKeepTheSmallOne) {
    // A thin rod: the small moment must not drown in the rounding of the large ones.
    const Matrix3 a = turned(someRotation(), {1e-9, 1, 1});
    const auto moments = principalMoments(a);
    EXPECT_NEAR(moments[0], 1e-9, 1e-15);
    EXPECT_NEAR(moments[2], 1, 1e-14);
}

TEST(Eigensystem, OnlyTheSymmetricPartCounts) {
    const InertiaTensor a{{{1, 0.2, 0}, {0.4, 2, 0}, {0, 0, 3}}};
    const Matrix3 symmetric = symmetricPart(a);
    EXPECT_EQ(symmetric[0][1], 0.30000000000000004);  // (0.2 + 0.4) / 2
    EXPECT_EQ(symmetric[1][0], symmetric[0][1]);
    EXPECT_EQ(symmetric[0][0], 1);
    EXPECT_EQ(principalMoments(a), principalMoments(symmetric));
}

TEST(UniformBox, TheBoxOfASolidBoxHasItsEdges) {
    const double m = 3, a = 0.2, b = 0.5, c = 1.5;
    const Vector3 moments{m * (b * b + c * c) / 12, m * (a * a + c * c) / 12,
                          m * (a * a + b * b) / 12};
    const Vector3 edges = uniformBoxEdges(moments, m);
    EXPECT_NEAR(edges.x, a, 1e-15);
    EXPECT_NEAR(edges.y, b, 1e-15);
    EXPECT_NEAR(edges.z, c, 1e-15);
}

TEST(UniformBox, MomentsBreakingTheTriangleGiveAFlatEdge) {
    const Vector3 edges = uniformBoxEdges({1, 1, 3}, 6);
    EXPECT_EQ(edges.z, 0);
    EXPECT_EQ(edges.x, std::sqrt(3.0));
}

TEST(QuaternionRotation, AQuarterTurnAboutZ) {
    const double h = std::sqrt(0.5);
    const Rotation r = rotationOf({0, 0, h, h});
    const Rotation expected{{{0, -1, 0}, {1, 0, 0}, {0, 0, 1}}};
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = 0; j < 3; ++j) EXPECT_NEAR(r[i][j], expected[i][j], 1e-15);
    }
}

TEST(QuaternionRotation, AnyQuaternionIsNormalisedToARotation) {
    // A quaternion written with three digits, and one scaled by 3: both rotations.
    expectRotation(rotationOf({0.1, -0.5, 0.3, 0.8}), 1e-15);
    const Rotation scaled = rotationOf({0.3, -1.5, 0.9, 2.4});
    const Rotation unit = rotationOf({0.1, -0.5, 0.3, 0.8});
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = 0; j < 3; ++j) EXPECT_NEAR(scaled[i][j], unit[i][j], 1e-15);
    }
    // The same rotation as turning by the matrix of the axis-angle form: 2 acos(w) about (x,y,z).
    const double w = 0.8 / std::sqrt(0.99), angle = 2 * std::acos(w);
    const Vector3 axis{0.1 / std::sqrt(0.35), -0.5 / std::sqrt(0.35), 0.3 / std::sqrt(0.35)};
    const double c = std::cos(angle), s = std::sin(angle), t = 1 - c;
    EXPECT_NEAR(unit[0][1], t * axis.x * axis.y - s * axis.z, 1e-15);
    EXPECT_NEAR(unit[2][0], t * axis.x * axis.z - s * axis.y, 1e-15);
    EXPECT_NEAR(unit[1][1], c + t * axis.y * axis.y, 1e-15);
}

TEST(QuaternionRotation, AZeroOrNonFiniteQuaternionIsTheIdentity) {
    const Rotation identity{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    EXPECT_EQ(rotationOf({0, 0, 0, 0}), identity);
    EXPECT_EQ(rotationOf({HUGE_VAL, 0, 0, 1}), identity);
}

TEST(VectorLength, AlongAnAxisTheLengthIsTheComponent) {
    EXPECT_EQ(length({0, 0, 1.0000011}), 1.0000011);
    EXPECT_EQ(length({-1e-9, 0, 0}), 1e-9);
    EXPECT_EQ(length({3, 4, 12}), 13);
    EXPECT_EQ(length({0, 0, 0}), 0);
}

TEST(VectorLength, TinyAndHugeVectorsKeepTheirLength) {
    // Their squares leave the range of a double: 0 or an infinity would lose the direction.
    EXPECT_DOUBLE_EQ(length({3e-200, 4e-200, 0}), 5e-200);
    EXPECT_DOUBLE_EQ(length({0, 3e200, 4e200}), 5e200);
    EXPECT_TRUE(std::isnan(length({NAN, 0, 0})));
}

}  // namespace
