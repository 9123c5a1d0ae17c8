#include "objectmodel/matrix3.h"

#include <gtest/gtest.h>

#include <cmath>

#include "math_expect.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/quaternion.h"

namespace KT {
namespace {

using testing::ExpectNear;

CMatrix3 Rx(f32 a) { return CMatrix3(1, 0, 0, 0, std::cos(a), std::sin(a), 0, -std::sin(a), std::cos(a)); }
CMatrix3 Ry(f32 a) { return CMatrix3(std::cos(a), 0, -std::sin(a), 0, 1, 0, std::sin(a), 0, std::cos(a)); }
CMatrix3 Rz(f32 a) { return CMatrix3(std::cos(a), std::sin(a), 0, -std::sin(a), std::cos(a), 0, 0, 0, 1); }

TEST(Matrix3, ProductAppliesTheLeftFactorFirst) {
  // Rotate x to y about z, then scale y by 3: x ends at (0, 3, 0).
  const CMatrix3 m = Rz(kHalfPi) * CMatrix3::Diagonal({1, 3, 1});
  ExpectNear(kVectorUnitX.TransformByMatrix3(m), {0, 3, 0}, 1e-6f);
  CMatrix3 n = Rz(kHalfPi);
  n *= CMatrix3::Diagonal({1, 3, 1});
  EXPECT_EQ(n, m);
}

TEST(Matrix3, InverseUndoesTheMatrix) {
  const CMatrix3 m = Rx(0.3f) * CMatrix3::Diagonal({2, -0.5f, 3}) * Rz(1.1f);
  ExpectNear(m * m.Inverse(), kMatrix3Identity, 1e-5f);
  ExpectNear(m.Inverse() * m, kMatrix3Identity, 1e-5f);
  EXPECT_EQ(m.InverseTranspose(), m.Inverse().Transpose());
}

TEST(Matrix3, InverseOfANearlySingularMatrixIsZero) {
  // |det| = 1e-5 still inverts; just below gives the zero matrix.
  const CMatrix3 edge = CMatrix3::Diagonal({1, 1, 1e-5f});
  EXPECT_EQ(edge.Inverse().m[2][2], 1.0f / 1e-5f);
  const CMatrix3 below = CMatrix3::Diagonal({1, 1, 0.99e-5f});
  EXPECT_EQ(below.Inverse(), kMatrix3Zero);
  EXPECT_EQ(below.InverseTranspose(), kMatrix3Zero);
  EXPECT_EQ(kMatrix3Zero.Inverse(), kMatrix3Zero);
}

TEST(Matrix3, CofactorsDeterminantAndDivision) {
  const CMatrix3 m(2, 0, 1, 1, 3, 0, 0, 1, 4);
  EXPECT_EQ(m.Determinant(), 2 * 12 - 0 + 1 * 1);
  // M x cofactors^T = det x I.
  ExpectNear(m * m.Cofactors().Transpose(), CMatrix3::Diagonal({25, 25, 25}), 0.0f);
  EXPECT_EQ(m / 2.0f, CMatrix3(1, 0, 0.5f, 0.5f, 1.5f, 0, 0, 0.5f, 2));
}

TEST(Matrix3, ScaleColumnsMultipliesByADiagonalOnTheRight) {
  const CMatrix3 m(1, 2, 3, 4, 5, 6, 7, 8, 9);
  EXPECT_EQ(m.ScaleColumns({1, 10, 100}), m * CMatrix3::Diagonal({1, 10, 100}));
  EXPECT_EQ(m, CMatrix3(1, 2, 3, 4, 5, 6, 7, 8, 9));  // unchanged
}

TEST(Matrix3, Norms) {
  const CMatrix3 m(1, -2, 3, -4, 5, -6, 7, -8, 0);
  EXPECT_EQ(m.NormOne(), 15.0f);  // column 1: 2 + 5 + 8
  EXPECT_EQ(m.NormInf(), 15.0f);  // row 1 and row 2 both 15
  EXPECT_EQ(CMatrix3(1, 0, 0, 0, 1, 0, 5, 0, 0).NormOne(), 6.0f);
  EXPECT_EQ(CMatrix3(1, 0, 0, 0, 1, 0, 5, 0, 0).NormInf(), 5.0f);
}

TEST(Matrix3, FindMaxColTakesTheFirstLargestElement) {
  EXPECT_EQ(CMatrix3(1, 0, 0, 0, -9, 0, 0, 0, 2).FindMaxCol(), 1);
  EXPECT_EQ(CMatrix3(0, 0, 4, 4, 0, 0, 0, 0, 0).FindMaxCol(), 2);  // row 0 is scanned first
  EXPECT_EQ(kMatrix3Zero.FindMaxCol(), -1);
}

TEST(Matrix3, AxisAngleRotationAgreesWithTheQuaternion) {
  CVector3<float> axis(1, -2, 2);
  axis.Normalize();
  CMatrix3 m;
  m.SetRotationAxisAngle(axis, 0.9f);
  ExpectNear(m, CQuaternion::FromAxisAngle(axis, 0.9f).ToMatrix3(), 1e-6f);
  // 90 degrees about z turns x into y.
  m.SetRotationAxisAngle(kVectorUnitZ, kHalfPi);
  ExpectNear(kVectorUnitX.TransformByMatrix3(m), kVectorUnitY, 1e-6f);
}

TEST(Matrix3, ToQuaternionOfARotation) {
  const CMatrix3 m = Rx(0.4f) * Ry(-1.2f) * Rz(2.5f);
  const CQuaternion q = m.ToQuaternion();
  EXPECT_NEAR(q.Dot(q), 1.0f, 1e-6f);
  ExpectNear(q.ToMatrix3(), m, 1e-6f);
}

TEST(Matrix3, ConstantsHoldTheirValues) {
  EXPECT_EQ(kMatrix3Identity, CMatrix3(1, 0, 0, 0, 1, 0, 0, 0, 1));
  EXPECT_EQ(kMatrix3Zero, CMatrix3(0, 0, 0, 0, 0, 0, 0, 0, 0));
  EXPECT_EQ(CMatrix3(), kMatrix3Identity);
}

// --- Euler angles ------------------------------------------------------------

CMatrix3 ExpectedEuler(u32 order, f32 x, f32 y, f32 z) {
  switch (order) {
    case kEulerXYZ: return Rx(x) * Ry(y) * Rz(z);
    case kEulerZYX: return Rz(z) * Ry(y) * Rx(x);
    case kEulerXZY: return Rx(x) * Rz(z) * Ry(y);
    case kEulerYZX: return Ry(y) * Rz(z) * Rx(x);
    case kEulerYXZ: return Ry(y) * Rx(x) * Rz(z);
    default: return Rz(z) * Rx(x) * Ry(y);
  }
}

// The middle angle of each order: the one that ToEuler finds from the pivot.
f32& MiddleAngle(u32 order, f32& x, f32& y, f32& z) {
  switch (order) {
    case kEulerXYZ:
    case kEulerZYX: return y;
    case kEulerXZY:
    case kEulerYZX: return z;
    default: return x;
  }
}

TEST(Euler, FromEulerIsTheProductOfTheOrder) {
  for (u32 order = 0; order < 6; ++order) {
    CMatrix3 m;
    const CMatrix3 copy = m.FromEuler(order, 0.3f, -0.7f, 1.9f);
    EXPECT_EQ(copy, m);
    ExpectNear(m, ExpectedEuler(order, 0.3f, -0.7f, 1.9f), 1e-6f);
  }
  // Order 5 in closed form: m12 = sz sy + cz sx cy.
  CMatrix3 m;
  m.FromEuler(kEulerZXY, 0.3f, -0.7f, 1.9f);
  EXPECT_NEAR(m.m[1][2],
              std::sin(1.9f) * std::sin(-0.7f) + std::cos(1.9f) * std::sin(0.3f) * std::cos(-0.7f), 1e-6f);
}

TEST(Euler, UnknownOrderChangesNothing) {
  const CMatrix3 start(1, 2, 3, 4, 5, 6, 7, 8, 9);
  CMatrix3 m = start;
  EXPECT_EQ(m.FromEuler(6, 0.1f, 0.2f, 0.3f), start);
  EXPECT_EQ(m, start);
  f32 x = 7, y = 8, z = 9;
  m.ToEuler(6, x, y, z);
  EXPECT_EQ(x, 7);
  EXPECT_EQ(y, 8);
  EXPECT_EQ(z, 9);
}

// Fills the angles of an order from (first outer, middle, second outer),
// the outer ones in x, y, z order.
void PlaceAngles(u32 order, f32 outer1, f32 middleValue, f32 outer2, f32 (&a)[3]) {
  f32& middle = MiddleAngle(order, a[0], a[1], a[2]);
  const f32 outer[2] = {outer1, outer2};
  int k = 0;
  for (f32& angle : a) {
    if (&angle != &middle) angle = outer[k++];
  }
  middle = middleValue;
}

TEST(Euler, RoundTripReturnsTheAnglesInEveryOrder) {
  // (outer, middle, outer): outer angles anywhere in (-pi, pi), the middle
  // one inside (-pi/2, pi/2).
  const f32 sets[][3] = {
      {0.3f, -0.7f, 1.9f}, {-2.5f, 1.2f, -0.4f}, {0.0f, 0.0f, 0.0f}, {3.0f, -1.5f, -3.0f}, {kHalfPi, 0.2f, -kHalfPi},
  };
  for (u32 order = 0; order < 6; ++order) {
    for (const auto& set : sets) {
      f32 a[3];
      PlaceAngles(order, set[0], set[1], set[2], a);
      SCOPED_TRACE(::testing::Message() << "order " << order << " angles " << a[0] << " " << a[1] << " " << a[2]);
      CMatrix3 m;
      m.FromEuler(order, a[0], a[1], a[2]);
      f32 x = 0, y = 0, z = 0;
      m.ToEuler(order, x, y, z);
      EXPECT_NEAR(x, a[0], 2e-4f);
      EXPECT_NEAR(y, a[1], 2e-4f);
      EXPECT_NEAR(z, a[2], 2e-4f);
    }
  }
}

TEST(Euler, MiddleAngleNearItsLimitStillRoundTrips) {
  // Close to +-pi/2 but outside the gimbal tolerance; the first angle also
  // sits at pi/2, where the middle cosine comes from the sine quotient.
  for (u32 order = 0; order < 6; ++order) {
    for (f32 sign : {1.0f, -1.0f}) {
      f32 a[3];
      PlaceAngles(order, kHalfPi, sign * 1.55f, kHalfPi, a);
      SCOPED_TRACE(::testing::Message() << "order " << order << " sign " << sign);
      CMatrix3 m;
      m.FromEuler(order, a[0], a[1], a[2]);
      f32 x = 0, y = 0, z = 0;
      m.ToEuler(order, x, y, z);
      CMatrix3 back;
      back.FromEuler(order, x, y, z);
      ExpectNear(back, m, 2e-6f);
    }
  }
}

TEST(Euler, GimbalLockReproducesTheMatrixInEveryOrder) {
  // Middle angle exactly +-pi/2: the outer rotations share an axis, one of
  // them comes back 0 and the matrix must still be reproduced.
  const f32 outer[][2] = {{0.4f, 0.0f}, {0.0f, 0.4f}, {0.7f, -1.1f}, {-2.0f, 2.9f}, {3.0f, 3.0f}};
  for (u32 order = 0; order < 6; ++order) {
    for (f32 sign : {1.0f, -1.0f}) {
      for (const auto& o : outer) {
        f32 a[3];
        PlaceAngles(order, o[0], sign * kHalfPi, o[1], a);
        SCOPED_TRACE(::testing::Message() << "order " << order << " angles " << a[0] << " " << a[1] << " " << a[2]);
        CMatrix3 m;
        m.FromEuler(order, a[0], a[1], a[2]);
        f32 x = 9, y = 9, z = 9;
        m.ToEuler(order, x, y, z);
        EXPECT_EQ(MiddleAngle(order, x, y, z), sign * kHalfPi);
        // One of the outer angles is 0.
        const int zeros = (x == 0.0f) + (y == 0.0f) + (z == 0.0f);
        EXPECT_GE(zeros, 1);
        CMatrix3 back;
        back.FromEuler(order, x, y, z);
        ExpectNear(back, m, 2e-6f);
      }
    }
  }
}

}  // namespace
}  // namespace KT
