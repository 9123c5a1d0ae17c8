#include "objectmodel/quaternion.h"

#include <gtest/gtest.h>

#include <cmath>

#include "math_expect.h"
#include "objectmodel/math_functions.h"

namespace KT {
namespace {

using testing::ExpectNear;
using testing::ExpectSameRotation;

TEST(Quaternion, ProductIsHamiltonWithTheLeftOperandFirst) {
  const CQuaternion i(1, 0, 0, 0), j(0, 1, 0, 0), k(0, 0, 1, 0);
  EXPECT_EQ(i * j, k);
  EXPECT_EQ(j * i, CQuaternion(0, 0, -1, 0));
  CQuaternion q = j;
  q *= k;
  EXPECT_EQ(q, i);
  const CQuaternion a(1, 2, 3, 4), b(5, 6, 7, 8);
  // w1 w2 - v1.v2 and w1 v2 + w2 v1 + v1 x v2.
  EXPECT_EQ(a * b, CQuaternion(4 * 5 + 8 * 1 + (2 * 7 - 3 * 6), 4 * 6 + 8 * 2 + (3 * 5 - 1 * 7),
                               4 * 7 + 8 * 3 + (1 * 6 - 2 * 5), 4 * 8 - (5 + 12 + 21)));
}

TEST(Quaternion, ProductMatrixInTheRowVectorConvention) {
  // Row vectors apply the right operand's rotation first:
  // matrix(a (x) b) = matrix(b) x matrix(a).
  const CQuaternion a = CQuaternion::FromAxisAngle({1, 2, 3}, 0.7f);
  const CQuaternion b = CQuaternion::FromAxisAngle({-1, 0, 2}, 1.3f);
  ExpectNear((a * b).ToMatrix3(), b.ToMatrix3() * a.ToMatrix3(), 1e-6f);
}

TEST(Quaternion, ComponentWiseOperationsAndConjugate) {
  const CQuaternion a(1, 2, 3, 4), b(0.5f, 0.5f, 0.5f, 0.5f);
  EXPECT_EQ(a + b, CQuaternion(1.5f, 2.5f, 3.5f, 4.5f));
  EXPECT_EQ(a - b, CQuaternion(0.5f, 1.5f, 2.5f, 3.5f));
  EXPECT_EQ(a.Conjugate(), CQuaternion(-1, -2, -3, 4));
  const CQuaternion r = CQuaternion::FromAxisAngle({0, 1, 0}, 0.6f);
  const CQuaternion identity = r * r.Conjugate();
  EXPECT_NEAR(identity.w, 1.0f, 1e-6f);
  EXPECT_NEAR(identity.y, 0.0f, 1e-6f);
}

TEST(Quaternion, NormalizeReturnsTheLengthAndSkipsZero) {
  CQuaternion q(0, 3, 0, 4);
  EXPECT_EQ(q.Normalize(), 5.0f);
  EXPECT_FLOAT_EQ(q.y, 0.6f);
  EXPECT_FLOAT_EQ(q.w, 0.8f);
  CQuaternion zero = kQuaternionZero;
  EXPECT_EQ(zero.Normalize(), 0.0f);
  EXPECT_EQ(zero, kQuaternionZero);
}

TEST(Quaternion, ToMatrix3FollowsTheStatedFormula) {
  CQuaternion q(0.1f, -0.2f, 0.3f, 0.9f);
  q.Normalize();
  const CMatrix3 m = q.ToMatrix3();
  EXPECT_FLOAT_EQ(m.m[0][1], 2 * (q.x * q.y + q.w * q.z));
  EXPECT_FLOAT_EQ(m.m[1][2], 2 * (q.y * q.z + q.w * q.x));
  EXPECT_FLOAT_EQ(m.m[2][0], 2 * (q.x * q.z + q.w * q.y));
  ExpectNear(m * m.Transpose(), kMatrix3Identity, 1e-6f);
  EXPECT_EQ(kQuaternionIdentity.ToMatrix3(), kMatrix3Identity);
}

TEST(Quaternion, FromMatrix3InvertsToMatrix3) {
  const CQuaternion rotations[] = {
      CQuaternion::FromAxisAngle({1, 2, 3}, 0.5f), CQuaternion::FromAxisAngle({1, 0, 0}, 3.1f),
      CQuaternion::FromAxisAngle({0, 1, 0.1f}, -3.0f), CQuaternion::FromAxisAngle({0.2f, 0, 1}, 2.9f)};
  for (const CQuaternion& q : rotations) {
    ExpectSameRotation(CQuaternion::FromMatrix3(q.ToMatrix3()), q, 1e-6f);
  }
}

TEST(Quaternion, AxisAngleRoundTrip) {
  CQuaternion q;
  q.SetAxisAngle({0, 0, 2}, 1.0f);
  EXPECT_FLOAT_EQ(q.z, std::sin(0.5f));
  EXPECT_FLOAT_EQ(q.w, std::cos(0.5f));
  EXPECT_EQ(q, CQuaternion::FromAxisAngle({0, 0, 1}, 1.0f));
  CVector3<float> axis;
  f32 angle = 0;
  CQuaternion::FromAxisAngle({3, 0, 4}, 2.0f).ToAxisAngle(axis, angle);
  EXPECT_NEAR(angle, 2.0f, 1e-6f);
  ExpectNear(axis, {0.6f, 0, 0.8f}, 1e-6f);
  kQuaternionIdentity.ToAxisAngle(axis, angle);
  EXPECT_EQ(angle, 0.0f);
  EXPECT_EQ(axis, kVectorZero);
}

TEST(Quaternion, SlerpInterpolatesAlongTheShorterArc) {
  const CQuaternion a = kQuaternionIdentity;
  const CQuaternion b = CQuaternion::FromAxisAngle({1, 0, 0}, kHalfPi);
  ExpectSameRotation(QuaternionSlerp(a, b, 0.5f), CQuaternion::FromAxisAngle({1, 0, 0}, kHalfPi / 2), 1e-6f);
  const CQuaternion flipped = b * -1.0f;
  const CQuaternion mid = QuaternionSlerp(a, flipped, 0.5f);
  EXPECT_NEAR(mid.x, std::sin(kHalfPi / 4), 1e-6f);  // not the long way round
  CQuaternion out;
  QuaternionSlerp(out, a, b, 0.0f);
  EXPECT_EQ(out, a);
}

}  // namespace
}  // namespace KT
