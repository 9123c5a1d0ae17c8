#include "objectmodel/affine_transform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "math_expect.h"
#include "objectmodel/math_functions.h"

namespace KT {
namespace {

using testing::AllFinite;
using testing::ExpectNear;
using testing::ExpectSameRotation;

CQuaternion Rotation(f32 x, f32 y, f32 z, f32 angle) { return CQuaternion::FromAxisAngle({x, y, z}, angle); }

// U^T diag(k) U R + t: a stretch along rotated axes followed by a rotation.
CMatrix4 Build(const CQuaternion& stretchAxes, const CVector3<float>& k, const CQuaternion& rotation,
               const CVector3<float>& t = {}) {
  const CMatrix3 u = stretchAxes.ToMatrix3();
  CMatrix4 m;
  m.SetRotation3x3(u.Transpose() * CMatrix3::Diagonal(k) * u * rotation.ToMatrix3());
  m.SetTranslation(t);
  return m;
}

f32 MaxAbs(const CMatrix4& m) {
  f32 r = 0;
  for (const auto& row : m.m)
    for (f32 e : row) r = std::max(r, std::fabs(e));
  return r;
}

void ExpectComposesBack(const CMatrix4& m, const AffineParts& parts, f32 relative) {
  ExpectNear(ComposeAffine(parts), m, relative * std::max(1.0f, MaxAbs(m)));
}

TEST(Affine, PureRotationDecomposesToItself) {
  const CQuaternion q = Rotation(1, 2, -1, 1.1f);
  const CMatrix4 m = Build(kQuaternionIdentity, {1, 1, 1}, q, {3, -4, 5});
  AffineParts parts;
  decomp_affine(m, parts);
  EXPECT_EQ(parts.Sign, 1.0f);
  ExpectNear(parts.Scale, {1, 1, 1}, 1e-5f);
  ExpectSameRotation(parts.Stretch, kQuaternionIdentity, 1e-6f);
  ExpectSameRotation(parts.Rotate, q, 1e-6f);
  EXPECT_EQ(parts.Translate, CVector3<float>(3, -4, 5));
  ExpectComposesBack(m, parts, 1e-5f);
}

TEST(Affine, IdentityAndAxisAlignedMatricesComeOutExact) {
  AffineParts parts;
  decomp_affine(kMatrix4Identity, parts);
  EXPECT_EQ(parts, AffineParts::Identity());
  // A 90 degree turn with an axis-aligned scale: rounding noise is cleaned.
  CMatrix4 m;
  m.SetRotation3x3(CMatrix3(0, 2, 0, -3, 0, 0, 0, 0, 4));
  CMatrix3 q, s;
  polar_decomp(m.GetRotation3x3(), q, s);
  EXPECT_EQ(q, CMatrix3(0, 1, 0, -1, 0, 0, 0, 0, 1));
  EXPECT_EQ(s, CMatrix3::Diagonal({2, 3, 4}));
  decomp_affine(m, parts);
  ExpectNear(parts.Scale, {2, 3, 4}, 0.0f);
  ExpectComposesBack(m, parts, 1e-6f);
}

TEST(Affine, MirrorGivesNegativeSignAndPositiveScales) {
  const CQuaternion q = Rotation(0.3f, 1, 0.2f, 2.0f);
  const CVector3<float> mirrors[] = {{-1, 1, 1}, {2, -3, 4}, {-1, -1, -1}, {-2, -2, -3}};
  for (const auto& k : mirrors) {
    SCOPED_TRACE(::testing::Message() << k.x << " " << k.y << " " << k.z);
    const CMatrix4 m = Build(Rotation(1, 1, 0, 0.4f), k, q, {1, 2, 3});
    AffineParts parts;
    decomp_affine(m, parts);
    EXPECT_EQ(parts.Sign, -1.0f);
    EXPECT_GT(parts.Scale.x, 0.0f);
    EXPECT_GT(parts.Scale.y, 0.0f);
    EXPECT_GT(parts.Scale.z, 0.0f);
    ExpectComposesBack(m, parts, 1e-5f);
  }
}

TEST(Affine, NonUniformScaleUnderRotationRoundTrips) {
  // Every branch of the axis choice: all scales distinct, two equal (each
  // pair), all equal; with stretch axes and rotations all over the sphere.
  std::mt19937 random(1234);
  std::uniform_real_distribution<f32> unit(-1.0f, 1.0f);
  std::uniform_real_distribution<f32> size(0.2f, 5.0f);
  for (int i = 0; i < 400; ++i) {
    CVector3<float> k(size(random), size(random), size(random));
    switch (i % 5) {
      case 1: k.y = k.x; break;
      case 2: k.z = k.x; break;
      case 3: k.z = k.y; break;
      case 4: k.y = k.z = k.x; break;
      default: break;
    }
    const CQuaternion u = Rotation(unit(random), unit(random), unit(random), 3.0f * unit(random));
    const CQuaternion q = Rotation(unit(random), unit(random), unit(random), 3.0f * unit(random));
    const CMatrix4 m = Build(u, k, q, {unit(random), unit(random), unit(random)});
    SCOPED_TRACE(::testing::Message() << "case " << i << " k " << k.x << " " << k.y << " " << k.z);
    AffineParts parts;
    decomp_affine(m, parts);
    EXPECT_EQ(parts.Sign, 1.0f);
    ExpectSameRotation(parts.Rotate, q, 1e-5f);
    // The scales come back as a permutation of k.
    EXPECT_NEAR(parts.Scale.x * parts.Scale.y * parts.Scale.z, k.x * k.y * k.z, 1e-4f * k.x * k.y * k.z);
    EXPECT_NEAR(parts.Scale.x + parts.Scale.y + parts.Scale.z, k.x + k.y + k.z, 1e-4f);
    EXPECT_NEAR(parts.Stretch.Dot(parts.Stretch), 1.0f, 1e-5f);
    ExpectComposesBack(m, parts, 2e-5f);
  }
}

TEST(Affine, SnuggleMovesTheStretchNextToTheIdentity) {
  // A stretch along axes turned by 90 degrees about z is the same stretch
  // along the unturned axes with x and y scales swapped.
  const CMatrix4 m = Build(Rotation(0, 0, 1, kHalfPi), {2, 3, 4}, kQuaternionIdentity);
  AffineParts parts;
  decomp_affine(m, parts);
  ExpectSameRotation(parts.Stretch, kQuaternionIdentity, 1e-5f);
  ExpectNear(parts.Scale, {3, 2, 4}, 1e-5f);
}

TEST(Affine, SingularMatricesDecomposeThroughTheRankFallbacks) {
  // Exactly singular: zero rows (a collapsed axis scaled before the
  // rotation) or zero columns (after it), rank 2 and rank 1, with and
  // without a mirrored remaining axis. The iteration stops at once, the
  // rotation is proper, and composing gives the matrix back.
  const CMatrix3 r = Rotation(-1, 0.5f, 2, 2.2f).ToMatrix3();
  const struct {
    const char* name;
    CMatrix3 a;
  } cases[] = {
      {"row, rank 2", CMatrix3::Diagonal({2, 3, 0}) * r},
      {"row, rank 2, mirrored", CMatrix3::Diagonal({-2, 3, 0}) * r},
      {"column, rank 2", r.ScaleColumns({2, 0, 3})},
      {"column, rank 2, mirrored", r.ScaleColumns({2, 0, -3})},
      {"row, rank 1", CMatrix3::Diagonal({2, 0, 0}) * r},
      {"row, rank 1, negative", CMatrix3::Diagonal({-2, 0, 0}) * r},
      {"column, rank 1, negative", r.ScaleColumns({0, 0, -1})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CMatrix3 q, s;
    u32 iterations = 0;
    EXPECT_EQ(polar_decomp(c.a, q, s, &iterations), 0.0f);
    EXPECT_EQ(iterations, 1u);
    EXPECT_NEAR(q.Determinant(), 1.0f, 1e-5f);
    ExpectNear(q * q.Transpose(), kMatrix3Identity, 1e-5f);
    ExpectNear(s * q, c.a, 1e-5f);
    CMatrix4 m;
    m.SetRotation3x3(c.a);
    m.SetTranslation({1, 2, 3});
    AffineParts parts;
    decomp_affine(m, parts);
    EXPECT_EQ(parts.Sign, 1.0f);
    EXPECT_NEAR(parts.Scale.x * parts.Scale.y * parts.Scale.z, 0.0f, 1e-6f);
    ExpectComposesBack(m, parts, 1e-5f);
  }
}

TEST(Affine, NearlySingularMatricesRoundTrip) {
  // Built with a zero scale but rounded, so not exactly singular: the
  // general path must still factor them.
  const CQuaternion u = Rotation(1, 2, 3, 0.7f);
  const CQuaternion q = Rotation(-1, 0.5f, 2, 2.2f);
  const CVector3<float> scales[] = {{2, 3, 0}, {0, 1, 1}, {-2, 3, 0}, {2, 0, 0}, {0, -2, 0}, {1, 1, 1e-4f}};
  for (const auto& k : scales) {
    SCOPED_TRACE(::testing::Message() << k.x << " " << k.y << " " << k.z);
    const CMatrix4 m = Build(u, k, q, {1, 2, 3});
    AffineParts parts;
    decomp_affine(m, parts);
    EXPECT_TRUE(AllFinite(ComposeAffine(parts).GetRotation3x3()));
    ExpectComposesBack(m, parts, 1e-5f);
  }
}

TEST(Affine, ZeroMatrixGivesIdentityRotationAndZeroScale) {
  CMatrix3 q, s;
  EXPECT_EQ(polar_decomp(kMatrix3Zero, q, s), 0.0f);
  EXPECT_EQ(q, kMatrix3Identity);
  EXPECT_EQ(s, kMatrix3Zero);
  AffineParts parts;
  decomp_affine(CMatrix4::Zero(), parts);
  EXPECT_EQ(parts.Scale, kVectorZero);
  EXPECT_EQ(parts.Rotate, kQuaternionIdentity);
}

TEST(Affine, PolarDecompositionFactorsTheMatrix) {
  const CMatrix3 a = Build(Rotation(2, -1, 1, 0.9f), {0.5f, 2, 7}, Rotation(1, 1, 1, -2.4f)).GetRotation3x3();
  CMatrix3 q, s;
  u32 iterations = 0;
  EXPECT_GT(polar_decomp(a, q, s, &iterations), 0.0f);
  EXPECT_LT(iterations, 20u);  // quadratic convergence
  ExpectNear(q * q.Transpose(), kMatrix3Identity, 1e-5f);
  EXPECT_EQ(s, s.Transpose());
  ExpectNear(s * q, a, 1e-5f);
}

TEST(Affine, PolarIterationStopsOnInputThatNeverSettles) {
  const f32 inf = std::numeric_limits<f32>::infinity();
  const f32 nan = std::numeric_limits<f32>::quiet_NaN();
  const CMatrix3 inputs[] = {
      CMatrix3(inf, 0, 0, 0, 1, 0, 0, 0, 1),
      CMatrix3(nan, 1, 0, 0, 1, 0, 0, 0, 1),
      CMatrix3::Diagonal({1e-30f, 1e30f, 1.0f}),
      CMatrix3::Diagonal({1, 1, 1e-38f}),
  };
  for (const CMatrix3& a : inputs) {
    CMatrix3 q, s;
    u32 iterations = 0;
    polar_decomp(a, q, s, &iterations);
    EXPECT_GE(iterations, 1u);
    EXPECT_LE(iterations, kPolarMaxIterations);
    AffineParts parts;
    CMatrix4 m;
    m.SetRotation3x3(a);
    decomp_affine(m, parts);  // returns, whatever it finds
  }
}

TEST(Affine, SpectralDecompositionRebuildsTheSymmetricMatrix) {
  const CMatrix3 u0 = Rotation(1, -2, 0.5f, 1.3f).ToMatrix3();
  const CMatrix3 s = u0.Transpose() * CMatrix3::Diagonal({1, 2, 5}) * u0;
  CMatrix3 u;
  const CVector3<float> k = spect_decomp(s, u);
  ExpectNear(u.Transpose() * CMatrix3::Diagonal(k) * u, s, 1e-5f);
  EXPECT_NEAR(u.Determinant(), 1.0f, 1e-5f);
  EXPECT_NEAR(k.x + k.y + k.z, 8.0f, 1e-5f);
  // A diagonal matrix needs no rotation at all.
  const CVector3<float> d = spect_decomp(CMatrix3::Diagonal({3, 1, 2}), u);
  EXPECT_EQ(d, CVector3<float>(3, 1, 2));
  EXPECT_EQ(u, kMatrix3Identity);
}

TEST(Affine, ComposeFollowsTheStatedProduct) {
  AffineParts parts;
  parts.Sign = -1.0f;
  parts.Scale = {2, 3, 4};
  parts.Stretch = Rotation(0, 1, 0, 0.5f);
  parts.Rotate = Rotation(1, 0, 0, 1.0f);
  parts.Translate = {7, 8, 9};
  const CMatrix3 u = parts.Stretch.ToMatrix3();
  CMatrix4 expected;
  expected.SetRotation3x3(u.Transpose() * CMatrix3::Diagonal({-2, -3, -4}) * u * parts.Rotate.ToMatrix3());
  expected.SetTranslation({7, 8, 9});
  ExpectNear(ComposeAffine(parts), expected, 1e-6f);
  EXPECT_EQ(ComposeAffine(AffineParts::Identity()), kMatrix4Identity);
  ExpectNear(ComposeAffine(AffineParts::MirroredIdentity()).GetRotation3x3(), CMatrix3::Diagonal({-1, -1, -1}),
             0.0f);
}

TEST(Affine, ConstantRecords) {
  const AffineParts identity = AffineParts::Identity();
  EXPECT_EQ(identity.Sign, 1.0f);
  EXPECT_EQ(identity.Scale, kVectorOne);
  EXPECT_EQ(identity.Stretch, kQuaternionIdentity);
  EXPECT_EQ(identity.Rotate, kQuaternionIdentity);
  EXPECT_EQ(identity.Translate, kVectorZero);
  EXPECT_EQ(AffineParts::MirroredIdentity().Sign, -1.0f);
  const AffineParts zero = AffineParts::Zero();
  f32 floats[15];
  std::memcpy(floats, &zero, sizeof floats);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(floats[i], 0.0f) << i;
}

}  // namespace
}  // namespace KT
