#include "objectmodel/vector.h"

#include <gtest/gtest.h>

#include "objectmodel/matrix3.h"

namespace KT {
namespace {

TEST(Vector3, CrossFollowsTheRightHandRule) {
  EXPECT_EQ(kVectorUnitX.Cross(kVectorUnitY), kVectorUnitZ);
  EXPECT_EQ(kVectorUnitY.Cross(kVectorUnitZ), kVectorUnitX);
  EXPECT_EQ(kVectorUnitZ.Cross(kVectorUnitX), kVectorUnitY);
  const CVector3<float> a(1, 2, 3), b(4, 5, 6);
  EXPECT_EQ(a.Cross(b), CVector3<float>(2 * 6 - 3 * 5, 3 * 4 - 1 * 6, 1 * 5 - 2 * 4));
  EXPECT_EQ(a.Dot(a.Cross(b)), 0.0f);
}

TEST(Vector3, ArithmeticIsComponentWise) {
  const CVector3<float> a(1, 2, 3), b(4, 5, 6);
  EXPECT_EQ(a.Dot(b), 32.0f);
  EXPECT_EQ(b - a, CVector3<float>(3, 3, 3));
  EXPECT_EQ(a + b, CVector3<float>(5, 7, 9));
  EXPECT_EQ(b / a, CVector3<float>(4, 2.5f, 2));
  EXPECT_EQ(a * 2.0f, CVector3<float>(2, 4, 6));
  CVector3<float> c = a;
  c *= 3.0f;
  EXPECT_EQ(c, CVector3<float>(3, 6, 9));
  c.Set(7, 8, 9);
  EXPECT_EQ(c, CVector3<float>(7, 8, 9));
  EXPECT_FALSE(c == a);
}

TEST(Vector3, NormalizeReturnsTheLength) {
  CVector3<float> v(3, 0, 4);
  EXPECT_EQ(v.Length(), 5.0f);
  EXPECT_EQ(v.Normalize(), 5.0f);
  EXPECT_FLOAT_EQ(v.x, 0.6f);
  EXPECT_FLOAT_EQ(v.z, 0.8f);
}

TEST(Vector3, NormalizeLeavesAZeroVectorAlone) {
  CVector3<float> v;
  EXPECT_EQ(v.Normalize(), 0.0f);
  EXPECT_EQ(v, kVectorZero);
}

TEST(Vector3, TransformByMatrix3IsARowVectorProduct) {
  const CMatrix3 m(1, 2, 3, 4, 5, 6, 7, 8, 9);
  const CVector3<float> v(1, 0, -1);
  // (1, 0, -1) x M = row 0 - row 2.
  EXPECT_EQ(v.TransformByMatrix3(m), CVector3<float>(-6, -6, -6));
}

TEST(Vector3, ConstantsHoldTheirValues) {
  EXPECT_EQ(kVectorZero, CVector3<float>(0, 0, 0));
  EXPECT_EQ(kVectorXY, CVector3<float>(1, 1, 0));
  EXPECT_EQ(kVectorYZ, CVector3<float>(0, 1, 1));
  EXPECT_EQ(kVectorXZ, CVector3<float>(1, 0, 1));
  EXPECT_EQ(kVectorOne, CVector3<float>(1, 1, 1));
}

TEST(Vector2, NormalizeReturnsTheLengthAndSkipsZero) {
  CVector2 v(-3, 4);
  EXPECT_EQ(v.Normalize(), 5.0f);
  EXPECT_FLOAT_EQ(v.x, -0.6f);
  EXPECT_FLOAT_EQ(v.y, 0.8f);
  CVector2 zero;
  EXPECT_EQ(zero.Normalize(), 0.0f);
  EXPECT_EQ(zero, CVector2(0, 0));
}

}  // namespace
}  // namespace KT
