#include "objectmodel/matrix4.h"

#include <gtest/gtest.h>

#include <cmath>

#include "math_expect.h"
#include "objectmodel/quaternion.h"

namespace KT {
namespace {

using testing::AllFinite;
using testing::ExpectNear;

CMatrix4 Translation(f32 x, f32 y, f32 z) {
  CMatrix4 m;
  m.SetTranslation({x, y, z});
  return m;
}

CMatrix3 SampleRotation() { return CQuaternion::FromAxisAngle({1, -2, 0.5f}, 0.8f).ToMatrix3(); }

TEST(Matrix4, ProductAppliesTheLeftFactorFirst) {
  CMatrix4 scale;
  scale.ScaleColumns({2, 2, 2});
  const CMatrix4 m = scale * Translation(1, 0, 0);
  ExpectNear(TransformCoord({1, 1, 1}, m), {3, 2, 2}, 0.0f);
  CMatrix4 product;
  MatrixMultiply(product, scale, Translation(1, 0, 0));
  EXPECT_EQ(product, m);
  MatrixMultiply(product, product, product);  // aliasing is allowed
  ExpectNear(TransformCoord({1, 1, 1}, product), {7, 4, 4}, 0.0f);
}

TEST(Matrix4, ProductWithA3x3HasNoTranslation) {
  const CMatrix4 m = Translation(1, 2, 3) * CMatrix3::Diagonal({2, 3, 4});
  ExpectNear(m.GetTranslation(), {2, 6, 12}, 0.0f);
  EXPECT_EQ(m.GetRotation3x3(), CMatrix3::Diagonal({2, 3, 4}));
}

TEST(Matrix4, ScaleColumnsScalesTheFirstThreeColumnsOfEveryRow) {
  CMatrix4 m = Translation(1, 2, 3);
  m.m[0][3] = 5.0f;
  m.ScaleColumns({10, 100, 1000});
  EXPECT_EQ(m.GetTranslation(), CVector3<float>(10, 200, 3000));
  EXPECT_EQ(m.m[0][0], 10.0f);
  EXPECT_EQ(m.m[0][3], 5.0f);  // column 3 untouched
}

TEST(Matrix4, ComposeAndDecomposeRoundTrip) {
  const CMatrix3 r = SampleRotation();
  CMatrix4 m;
  m.Compose(r, {4, 5, 6}, {2, 0.5f, 3});
  for (int i = 0; i < 3; ++i) EXPECT_EQ(m.m[i][3], 0.0f);
  EXPECT_EQ(m.m[3][3], 1.0f);
  CMatrix3 rotation;
  CVector3<float> translation, scale;
  m.Decompose(rotation, translation, scale);
  EXPECT_EQ(translation, CVector3<float>(4, 5, 6));
  ExpectNear(scale, {2, 0.5f, 3}, 1e-6f);
  ExpectNear(rotation, r, 1e-6f);
  ExpectNear(m.ExtractRotation(), r, 1e-6f);
}

TEST(Matrix4, DecomposeOfAMirrorGivesNegativeScalesAndAProperRotation) {
  CMatrix4 m;
  m.Compose(SampleRotation() * CMatrix3::Diagonal({1, -1, 1}), {0, 0, 0}, {2, 3, 4});
  CMatrix3 rotation;
  CVector3<float> translation, scale;
  m.Decompose(rotation, translation, scale);
  ExpectNear(scale, {-2, -3, -4}, 1e-6f);
  EXPECT_NEAR(rotation.Determinant(), 1.0f, 1e-5f);
  CMatrix4 back;
  back.Compose(rotation, translation, scale);
  ExpectNear(back, m, 1e-6f);
}

TEST(Matrix4, DecomposeOfASingularMatrixGivesZeroScalesWithoutNaN) {
  // One collapsed axis, and the zero matrix: the determinant is 0, every
  // scale is 0 and the rotation rows stay zero.
  CMatrix4 collapsed;
  collapsed.Compose(SampleRotation(), {1, 2, 3}, {2, 0, 3});
  CMatrix4 zero = CMatrix4::Zero();
  for (const CMatrix4& m : {collapsed, zero}) {
    CMatrix3 rotation;
    CVector3<float> translation, scale(9, 9, 9);
    m.Decompose(rotation, translation, scale);
    EXPECT_EQ(scale, kVectorZero);
    EXPECT_TRUE(AllFinite(rotation));
    EXPECT_EQ(rotation, kMatrix3Zero);
    EXPECT_EQ(translation, m.GetTranslation());
  }
}

TEST(Matrix4, InverseWrapper) {
  CMatrix4 m;
  m.Compose(SampleRotation(), {4, 5, 6}, {2, 0.5f, 3});
  CMatrix4 inverse;
  f32 det = 0.0f;
  ASSERT_TRUE(MatrixInverse(inverse, &det, m));
  EXPECT_NEAR(det, 3.0f, 1e-5f);
  ExpectNear(m * inverse, kMatrix4Identity, 1e-5f);
  CMatrix4 singular;
  singular.Compose(SampleRotation(), {4, 5, 6}, {2, 0, 3});
  EXPECT_FALSE(MatrixInverse(inverse, nullptr, singular));
  EXPECT_EQ(inverse, kMatrix4Identity);
}

TEST(Matrix4, TransformCoordDividesByW) {
  CMatrix4 m = Translation(1, 0, 0);
  m.m[2][3] = 1.0f;  // w = z + 1
  CVector3<float> out;
  Vec3TransformCoord(out, {2, 4, 3}, m);
  EXPECT_EQ(out, CVector3<float>(0.75f, 1.0f, 0.75f));
  EXPECT_EQ(TransformCoord({2, 4, 3}, m), out);
}

TEST(Matrix4, MultiplyRotationPartKeepsTheSecondTranslation) {
  CMatrix4 a, b;
  a.Compose(SampleRotation(), {7, 8, 9}, {1, 2, 3});
  b.Compose(CMatrix3::Diagonal({1, 1, 1}), {1, 2, 3}, {4, 5, 6});
  b.m[1][3] = 0.5f;
  const CMatrix4 r = MultiplyRotationPart(a, b);
  EXPECT_EQ(r.GetRotation3x3(), a.GetRotation3x3() * b.GetRotation3x3());
  EXPECT_EQ(r.GetTranslation(), CVector3<float>(1, 2, 3));
  EXPECT_EQ(r.m[1][3], 0.5f);
  EXPECT_EQ(r.m[3][3], 1.0f);
}

TEST(Matrix4, ConstantsHoldTheirValues) {
  EXPECT_EQ(CMatrix4(), kMatrix4Identity);
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      EXPECT_EQ(kMatrix4Zero.m[i][j], 0.0f);
      EXPECT_EQ(kMatrix4dZero.m[i][j], 0.0);
      EXPECT_EQ(kMatrix4dIdentity.m[i][j], i == j ? 1.0 : 0.0);
    }
  }
  CMatrix4d d;
  d.Set(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
  EXPECT_EQ(d.m[1][2], 7.0);  // row by row
  EXPECT_EQ(d.m[3][0], 13.0);
}

}  // namespace
}  // namespace KT
