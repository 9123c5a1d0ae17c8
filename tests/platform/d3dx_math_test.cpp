#include "platform/d3dx_math.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr float kPi = 3.14159265f;

D3DXMATRIX Identity() {
  D3DXMATRIX m = {};
  for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
  return m;
}

// Row-vector rotation matrix of a unit quaternion (m01 = 2(xy + wz)).
D3DXMATRIX MatrixOf(const D3DXQUATERNION& q) {
  D3DXMATRIX m = Identity();
  m.m[0][0] = 1 - 2 * (q.y * q.y + q.z * q.z);
  m.m[0][1] = 2 * (q.x * q.y + q.w * q.z);
  m.m[0][2] = 2 * (q.x * q.z - q.w * q.y);
  m.m[1][0] = 2 * (q.x * q.y - q.w * q.z);
  m.m[1][1] = 1 - 2 * (q.x * q.x + q.z * q.z);
  m.m[1][2] = 2 * (q.y * q.z + q.w * q.x);
  m.m[2][0] = 2 * (q.x * q.z + q.w * q.y);
  m.m[2][1] = 2 * (q.y * q.z - q.w * q.x);
  m.m[2][2] = 1 - 2 * (q.x * q.x + q.y * q.y);
  return m;
}

D3DXQUATERNION AxisAngle(float x, float y, float z, float angle) {
  D3DXQUATERNION q;
  const D3DXVECTOR3 axis = {x, y, z};
  D3DXQuaternionRotationAxis(&q, &axis, angle);
  return q;
}

void ExpectMatrixNear(const D3DXMATRIX& a, const D3DXMATRIX& b, float tolerance) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(a.m[i][j], b.m[i][j], tolerance) << "element " << i << j;
}

void ExpectQuaternionNear(const D3DXQUATERNION& a, const D3DXQUATERNION& b, float tolerance) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
  EXPECT_NEAR(a.w, b.w, tolerance);
}

// An affine matrix with rotation, non-uniform scale and translation, and a
// projective one with a non-trivial column 3.
D3DXMATRIX SampleAffine() {
  D3DXMATRIX m = MatrixOf(AxisAngle(1, 2, 3, 0.7f));
  const float scale[3] = {2.0f, 0.5f, 3.0f};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m.m[i][j] *= scale[i];
  m.m[3][0] = 4.0f;
  m.m[3][1] = -5.0f;
  m.m[3][2] = 6.0f;
  return m;
}

D3DXMATRIX SampleProjective() {
  D3DXMATRIX m = SampleAffine();
  m.m[0][3] = 0.25f;
  m.m[1][3] = -0.5f;
  m.m[2][3] = 0.125f;
  m.m[3][3] = 2.0f;
  return m;
}

TEST(D3dxMatrix, MultiplyAppliesLeftOperandFirst) {
  // Scale by 2, then translate by (1, 0, 0): the point (1, 1, 1) goes to (3, 2, 2).
  D3DXMATRIX scale = Identity(), move = Identity(), both;
  scale.m[0][0] = scale.m[1][1] = scale.m[2][2] = 2.0f;
  move.m[3][0] = 1.0f;
  D3DXMatrixMultiply(&both, &scale, &move);
  const D3DXVECTOR3 p = {1, 1, 1};
  D3DXVECTOR3 r;
  D3DXVec3TransformCoord(&r, &p, &both);
  EXPECT_FLOAT_EQ(r.x, 3.0f);
  EXPECT_FLOAT_EQ(r.y, 2.0f);
  EXPECT_FLOAT_EQ(r.z, 2.0f);
}

TEST(D3dxMatrix, MultiplyMayWriteOverEitherInput) {
  const D3DXMATRIX a = SampleAffine(), b = SampleProjective();
  D3DXMATRIX expected, aliasA = a, aliasB = b;
  D3DXMatrixMultiply(&expected, &a, &b);
  EXPECT_EQ(D3DXMatrixMultiply(&aliasA, &aliasA, &b), &aliasA);
  D3DXMatrixMultiply(&aliasB, &a, &aliasB);
  ExpectMatrixNear(aliasA, expected, 0.0f);
  ExpectMatrixNear(aliasB, expected, 0.0f);
}

TEST(D3dxMatrix, InverseTimesMatrixIsIdentity) {
  for (const D3DXMATRIX& m : {SampleAffine(), SampleProjective()}) {
    D3DXMATRIX inverse, product;
    float det = 0.0f;
    ASSERT_EQ(D3DXMatrixInverse(&inverse, &det, &m), &inverse);
    EXPECT_NE(det, 0.0f);
    D3DXMatrixMultiply(&product, &m, &inverse);
    ExpectMatrixNear(product, Identity(), 1e-5f);
    D3DXMatrixMultiply(&product, &inverse, &m);
    ExpectMatrixNear(product, Identity(), 1e-5f);
  }
}

TEST(D3dxMatrix, InverseReportsTheDeterminant) {
  D3DXMATRIX m = Identity(), inverse;
  m.m[0][0] = 2.0f;
  m.m[1][1] = 3.0f;
  m.m[2][2] = -4.0f;
  m.m[3][0] = 7.0f;  // translation does not change the determinant
  float det = 0.0f;
  ASSERT_NE(D3DXMatrixInverse(&inverse, &det, &m), nullptr);
  EXPECT_FLOAT_EQ(det, -24.0f);
  EXPECT_FLOAT_EQ(inverse.m[2][2], -0.25f);
  EXPECT_FLOAT_EQ(inverse.m[3][0], -3.5f);
  // The determinant pointer is optional.
  EXPECT_NE(D3DXMatrixInverse(&inverse, nullptr, &m), nullptr);
}

TEST(D3dxMatrix, SingularInverseFailsAndYieldsIdentity) {
  D3DXMATRIX zeroScale = SampleAffine();
  for (int j = 0; j < 3; ++j) zeroScale.m[1][j] = 0.0f;  // a collapsed axis
  D3DXMATRIX repeatedRow = SampleProjective();
  for (int j = 0; j < 4; ++j) repeatedRow.m[2][j] = repeatedRow.m[0][j];
  const D3DXMATRIX zero = {};
  for (const D3DXMATRIX& m : {zeroScale, repeatedRow, zero}) {
    D3DXMATRIX out = SampleAffine();
    float det = 5.0f;
    EXPECT_EQ(D3DXMatrixInverse(&out, &det, &m), nullptr);
    EXPECT_EQ(det, 0.0f);
    ExpectMatrixNear(out, Identity(), 0.0f);
  }
}

TEST(D3dxMatrix, TransformCoordDividesByW) {
  D3DXMATRIX m = Identity();
  m.m[3][0] = 1.0f;
  m.m[2][3] = 1.0f;  // w = z + 1
  const D3DXVECTOR3 p = {2.0f, 4.0f, 3.0f};
  D3DXVECTOR3 r;
  EXPECT_EQ(D3DXVec3TransformCoord(&r, &p, &m), &r);
  EXPECT_FLOAT_EQ(r.x, 3.0f / 4.0f);
  EXPECT_FLOAT_EQ(r.y, 4.0f / 4.0f);
  EXPECT_FLOAT_EQ(r.z, 3.0f / 4.0f);
  // In place.
  D3DXVECTOR3 q = p;
  D3DXVec3TransformCoord(&q, &q, &m);
  EXPECT_FLOAT_EQ(q.x, r.x);
}

TEST(D3dxMatrix, TransformCoordWithZeroWGivesZero) {
  D3DXMATRIX m = Identity();
  m.m[3][3] = 0.0f;
  m.m[0][3] = 1.0f;  // w = x
  const D3DXVECTOR3 p = {0.0f, 5.0f, 6.0f};
  D3DXVECTOR3 r = {9, 9, 9};
  D3DXVec3TransformCoord(&r, &p, &m);
  EXPECT_EQ(r.x, 0.0f);
  EXPECT_EQ(r.y, 0.0f);
  EXPECT_EQ(r.z, 0.0f);
}

// One rotation per branch of the rule: trace > 0, and each diagonal element
// being the largest when the trace is not positive (rotations near 180 degrees).
struct RotationMatrixCase {
  const char* branch;
  D3DXQUATERNION q;
};

TEST(D3dxQuaternion, RotationMatrixReproducesTheRotationInEveryBranch) {
  const RotationMatrixCase cases[] = {
      {"trace", AxisAngle(1, 2, 3, 0.8f)},
      {"m00", AxisAngle(1, 0.2f, 0.1f, 3.0f)},
      {"m11", AxisAngle(0.1f, 1, -0.3f, 3.0f)},
      {"m22", AxisAngle(-0.2f, 0.1f, 1, 3.0f)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.branch);
    D3DXMATRIX m = MatrixOf(c.q);
    m.m[3][0] = 10.0f;  // translation is ignored
    const float trace = m.m[0][0] + m.m[1][1] + m.m[2][2];
    if (c.branch[0] == 't') {
      EXPECT_GT(trace, 0.0f);
    } else {
      EXPECT_LE(trace, 0.0f);
      const int i = c.branch[2] - '0';
      for (int j = 0; j < 3; ++j) EXPECT_GE(m.m[i][i], m.m[j][j]);
    }
    D3DXQUATERNION r;
    EXPECT_EQ(D3DXQuaternionRotationMatrix(&r, &m), &r);
    EXPECT_NEAR(r.x * r.x + r.y * r.y + r.z * r.z + r.w * r.w, 1.0f, 1e-5f);
    // q and -q are the same rotation.
    const float sign = (r.x * c.q.x + r.y * c.q.y + r.z * c.q.z + r.w * c.q.w) < 0 ? -1.0f : 1.0f;
    ExpectQuaternionNear({sign * r.x, sign * r.y, sign * r.z, sign * r.w}, c.q, 1e-5f);
  }
}

TEST(D3dxQuaternion, RotationMatrixOfANonRotationStaysFinite) {
  D3DXMATRIX m = Identity();
  m.m[0][0] = m.m[1][1] = m.m[2][2] = -1.0f;  // a point reflection
  D3DXQUATERNION r;
  D3DXQuaternionRotationMatrix(&r, &m);
  EXPECT_TRUE(std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.z) && std::isfinite(r.w));
}

TEST(D3dxQuaternion, SlerpEndsAndMiddle) {
  const D3DXQUATERNION a = AxisAngle(0, 0, 1, 0.0f);
  const D3DXQUATERNION b = AxisAngle(0, 0, 1, kPi / 2);
  D3DXQUATERNION r;
  D3DXQuaternionSlerp(&r, &a, &b, 0.0f);
  ExpectQuaternionNear(r, a, 1e-6f);
  D3DXQuaternionSlerp(&r, &a, &b, 1.0f);
  ExpectQuaternionNear(r, b, 1e-6f);
  D3DXQuaternionSlerp(&r, &a, &b, 0.5f);
  ExpectQuaternionNear(r, AxisAngle(0, 0, 1, kPi / 4), 1e-6f);
}

TEST(D3dxQuaternion, SlerpTakesTheShorterArc) {
  // b and -b are the same rotation; both ways give the 45 degree midpoint,
  // not the 225 degree long way round.
  const D3DXQUATERNION a = AxisAngle(0, 0, 1, 0.0f);
  const D3DXQUATERNION b = AxisAngle(0, 0, 1, kPi / 2);
  const D3DXQUATERNION negB = {-b.x, -b.y, -b.z, -b.w};
  D3DXQUATERNION r;
  D3DXQuaternionSlerp(&r, &a, &negB, 0.5f);
  ExpectQuaternionNear(r, AxisAngle(0, 0, 1, kPi / 4), 1e-6f);
  // At t = 1 the result is -b, the end of the shorter arc.
  D3DXQuaternionSlerp(&r, &a, &negB, 1.0f);
  ExpectQuaternionNear(r, b, 1e-6f);
}

TEST(D3dxQuaternion, SlerpOfNearlyEqualInputsIsLinear) {
  const D3DXQUATERNION a = AxisAngle(1, 0, 0, 0.10f);
  const D3DXQUATERNION b = AxisAngle(1, 0, 0, 0.12f);  // 1 - dot is about 5e-5
  D3DXQUATERNION r;
  D3DXQuaternionSlerp(&r, &a, &b, 0.25f);
  EXPECT_FLOAT_EQ(r.x, 0.75f * a.x + 0.25f * b.x);
  EXPECT_FLOAT_EQ(r.w, 0.75f * a.w + 0.25f * b.w);
}

TEST(D3dxQuaternion, SlerpExtrapolatesOutsideTheUnitInterval) {
  const D3DXQUATERNION a = AxisAngle(0, 1, 0, 0.0f);
  const D3DXQUATERNION b = AxisAngle(0, 1, 0, 0.5f);
  D3DXQUATERNION r;
  D3DXQuaternionSlerp(&r, &a, &b, 2.0f);
  ExpectQuaternionNear(r, AxisAngle(0, 1, 0, 1.0f), 1e-6f);
  D3DXQuaternionSlerp(&r, &a, &b, -1.0f);
  ExpectQuaternionNear(r, AxisAngle(0, 1, 0, -0.5f), 1e-6f);
}

TEST(D3dxQuaternion, RotationAxisNormalisesTheAxis) {
  const D3DXQUATERNION unit = AxisAngle(0, 0, 1, 1.0f);
  const D3DXQUATERNION longAxis = AxisAngle(0, 0, 5, 1.0f);
  ExpectQuaternionNear(longAxis, unit, 1e-7f);
  EXPECT_FLOAT_EQ(unit.z, std::sin(0.5f));
  EXPECT_FLOAT_EQ(unit.w, std::cos(0.5f));
  // A zero axis has no direction to normalise: no NaN.
  const D3DXQUATERNION none = AxisAngle(0, 0, 0, 1.0f);
  EXPECT_EQ(none.x, 0.0f);
  EXPECT_FLOAT_EQ(none.w, std::cos(0.5f));
}

TEST(D3dxQuaternion, RotationAxisMatchesTheRowVectorConvention) {
  // 90 degrees about z turns the x axis into the y axis: (1, 0, 0) x M = (0, 1, 0).
  const D3DXMATRIX m = MatrixOf(AxisAngle(0, 0, 1, kPi / 2));
  const D3DXVECTOR3 p = {1, 0, 0};
  D3DXVECTOR3 r;
  D3DXVec3TransformCoord(&r, &p, &m);
  EXPECT_NEAR(r.x, 0.0f, 1e-6f);
  EXPECT_NEAR(r.y, 1.0f, 1e-6f);
}

TEST(D3dxQuaternion, ToAxisAngleInvertsRotationAxis) {
  const D3DXQUATERNION q = AxisAngle(2, -1, 2, 1.25f);
  D3DXVECTOR3 axis;
  float angle = 0.0f;
  D3DXQuaternionToAxisAngle(&q, &axis, &angle);
  EXPECT_NEAR(angle, 1.25f, 1e-6f);
  EXPECT_NEAR(axis.x, 2.0f / 3.0f, 1e-6f);
  EXPECT_NEAR(axis.y, -1.0f / 3.0f, 1e-6f);
  EXPECT_NEAR(axis.z, 2.0f / 3.0f, 1e-6f);
}

TEST(D3dxQuaternion, ToAxisAngleOfIdentityAndRoundedInput) {
  const D3DXQUATERNION identity = {0, 0, 0, 1};
  D3DXVECTOR3 axis = {9, 9, 9};
  float angle = 9.0f;
  D3DXQuaternionToAxisAngle(&identity, &axis, &angle);
  EXPECT_EQ(angle, 0.0f);
  EXPECT_EQ(axis.x, 0.0f);
  EXPECT_EQ(axis.y, 0.0f);
  EXPECT_EQ(axis.z, 0.0f);
  // w a rounding step above 1 is clamped rather than giving NaN.
  const D3DXQUATERNION rounded = {0, 0, 0, 1.0000001f};
  D3DXQuaternionToAxisAngle(&rounded, nullptr, &angle);
  EXPECT_EQ(angle, 0.0f);
}

}  // namespace
