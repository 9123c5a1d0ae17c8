#include "objectmodel/math_functions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/crt_random.h"

namespace KT {
namespace {

TEST(MathFunctions, ConstantsDeriveFromSinglePrecisionPi) {
  EXPECT_EQ(kPi, static_cast<f32>(std::atan(1.0) * 4.0));
  EXPECT_EQ(kTwoPi, kPi * 2.0f);
  EXPECT_EQ(kHalfPi, kPi * 0.5f);
  EXPECT_EQ(kDegreesToRadians, kPi / 180.0f);
}

TEST(MathFunctions, MinAndMaxReturnTheSecondOfEqualArguments) {
  // +0 and -0 compare equal, so the sign tells which argument came back.
  EXPECT_TRUE(std::signbit(Min(0.0f, -0.0f)));
  EXPECT_FALSE(std::signbit(Min(-0.0f, 0.0f)));
  EXPECT_TRUE(std::signbit(Max(0.0f, -0.0f)));
  EXPECT_FALSE(std::signbit(Max(-0.0f, 0.0f)));
  EXPECT_EQ(Min(1, 2), 1);
  EXPECT_EQ(Min(2, 1), 1);
  EXPECT_EQ(Max(1, 2), 2);
  EXPECT_EQ(Max(2, 1), 2);
  EXPECT_EQ(Abs(-3.5f), 3.5f);
}

TEST(MathFunctions, RoundTakesHalvesAwayFromZero) {
  const struct {
    f32 in;
    i32 out;
  } cases[] = {{0.5f, 1},   {1.49f, 1},  {2.5f, 3},     {-0.5f, -1},  {-2.5f, -3},
               {-1.49f, -1}, {0.0f, 0}, {1e10f, INT32_MIN}, {-1e10f, INT32_MIN}};
  for (const auto& c : cases) EXPECT_EQ(Round(c.in), c.out) << c.in;
  EXPECT_EQ(Round(std::numeric_limits<f32>::quiet_NaN()), INT32_MIN);
}

TEST(MathFunctions, TruncationIsDefinedForEveryInput) {
  EXPECT_EQ(TruncateToI32(-2.9), -2);
  EXPECT_EQ(TruncateToI32(3e9), INT32_MIN);
  EXPECT_EQ(TruncateToI32(2147483647.9), INT32_MAX);
  EXPECT_EQ(TruncateToI32(-2147483648.9), INT32_MIN);
  EXPECT_EQ(TruncateToI32(-3e9), INT32_MIN);
  EXPECT_EQ(TruncateToI32(std::numeric_limits<f64>::quiet_NaN()), INT32_MIN);
  EXPECT_EQ(TruncateToU32(4294967295.5), UINT32_MAX);
  EXPECT_EQ(TruncateToU32(-1.0), 0u);
  EXPECT_EQ(TruncateToU32(std::numeric_limits<f64>::infinity()), UINT32_MAX);
}

TEST(MathFunctions, SafeAcosClampsItsDomain) {
  EXPECT_EQ(SafeAcos(1.0000001f), 0.0f);
  EXPECT_EQ(SafeAcos(1.0f), 0.0f);
  EXPECT_EQ(SafeAcos(-1.0f), kPi);
  EXPECT_EQ(SafeAcos(-7.0f), kPi);
  EXPECT_FLOAT_EQ(SafeAcos(0.5f), std::acos(0.5f));
}

TEST(MathFunctions, RandomUnitReseedsOnlyForPositiveSeeds) {
  // Seed 1 starts the classic sequence 41, 18467, 6334, ...
  EXPECT_EQ(RandomUnit(1.0f), static_cast<f32>(41 / 32767.0));
  EXPECT_EQ(RandomUnit(0.0f), static_cast<f32>(18467 / 32767.0));
  EXPECT_EQ(RandomUnit(-5.0f), static_cast<f32>(6334 / 32767.0));
  EXPECT_EQ(RandomUnit(std::numeric_limits<f32>::quiet_NaN()), static_cast<f32>(26500 / 32767.0));
  // Seeds are truncated: 1.9 restarts as 1.
  EXPECT_EQ(RandomUnit(1.9f), static_cast<f32>(41 / 32767.0));
  // A seed beyond the 32-bit range saturates instead of overflowing.
  const f32 big = RandomUnit(1e20f);
  CrtSrand(UINT32_MAX);
  EXPECT_EQ(big, static_cast<f32>(CrtRand() / 32767.0));
}

TEST(MathFunctions, RandomUnitStaysInTheUnitInterval) {
  RandomUnit(7.0f);
  for (int i = 0; i < 1000; ++i) {
    const f32 v = RandomUnit(0.0f);
    ASSERT_GE(v, 0.0f);
    ASSERT_LE(v, 1.0f);
  }
}

TEST(MathFunctions, AreStaticFloatsValidRejectsAnyNaN) {
  const f32 nan = std::numeric_limits<f32>::quiet_NaN();
  const f32 good[4] = {0.0f, -1.0f, 1e30f, std::numeric_limits<f32>::infinity()};
  EXPECT_TRUE(AreStaticFloatsValid(good));
  for (int i = 0; i < 4; ++i) {
    f32 bad[4] = {1, 2, 3, 4};
    bad[i] = nan;
    EXPECT_FALSE(AreStaticFloatsValid(bad)) << i;
  }
}

// Triangle in the z = 0 plane, counter-clockwise seen from +z: its normal is +z.
const CVector3<float> kP0(0, 0, 0), kP1(1, 0, 0), kP2(0, 1, 0);

struct RayCase {
  const char* name;
  CVector3<float> origin;
  CVector3<float> direction;
  bool twoSided;
  bool hits;
};

TEST(MathFunctionsRayTriangle, Cases) {
  const RayCase cases[] = {
      {"front face, inside", {0.25f, 0.25f, 1}, {0, 0, -1}, false, true},
      {"back face, one-sided", {0.25f, 0.25f, -1}, {0, 0, 1}, false, false},
      {"back face, two-sided", {0.25f, 0.25f, -1}, {0, 0, 1}, true, true},
      {"outside the triangle", {0.75f, 0.75f, 1}, {0, 0, -1}, false, false},
      {"exactly on an edge", {0.5f, 0, 1}, {0, 0, -1}, false, false},
      {"exactly on a corner", {0, 0, 1}, {0, 0, -1}, false, false},
      {"triangle behind the origin", {0.25f, 0.25f, 1}, {0, 0, 1}, true, false},
      {"origin in the plane", {0.25f, 0.25f, 0}, {0, 0, -1}, false, true},
      {"parallel, one-sided", {0.25f, 0.25f, 1}, {1, 0, 0}, false, false},
      {"parallel, two-sided", {0.25f, 0.25f, 0}, {1, 0, 0}, true, false},
  };
  for (const RayCase& c : cases) {
    CVector3<float> hit(9, 9, 9), normal;
    EXPECT_EQ(IntersectRayTriangle(kP0, kP1, kP2, c.origin, c.direction, c.twoSided, hit, normal), c.hits)
        << c.name;
    EXPECT_EQ(normal, kVectorUnitZ) << c.name;
    if (c.hits) {
      EXPECT_EQ(hit, CVector3<float>(c.origin.x, c.origin.y, 0)) << c.name;
    }
  }
}

TEST(MathFunctionsRayTriangle, HitPointAndNormalOfAnOblique) {
  const CVector3<float> p0(0, 0, 2), p1(2, 0, 2), p2(0, 2, 2);
  CVector3<float> hit, normal;
  ASSERT_TRUE(IntersectRayTriangle(p0, p1, p2, {0, 0, 0}, {0.25f, 0.25f, 1}, true, hit, normal));
  EXPECT_FLOAT_EQ(hit.x, 0.5f);
  EXPECT_FLOAT_EQ(hit.y, 0.5f);
  EXPECT_FLOAT_EQ(hit.z, 2.0f);
  // The ray comes from below a triangle whose normal points up: two-sided only.
  EXPECT_FALSE(IntersectRayTriangle(p0, p1, p2, {0, 0, 0}, {0.25f, 0.25f, 1}, false, hit, normal));
}

TEST(MathFunctionsRayTriangle, DegenerateTriangleIsNeverHit) {
  CVector3<float> hit(9, 9, 9), normal;
  EXPECT_FALSE(IntersectRayTriangle(kP0, kP1, kP1 * 2.0f, {0.5f, 0, 1}, {0, 0, -1}, true, hit, normal));
  EXPECT_EQ(normal, kVectorZero);
  EXPECT_EQ(hit, CVector3<float>(9, 9, 9));
}

}  // namespace
}  // namespace KT
