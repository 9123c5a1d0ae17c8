#include "treeruntime/tree_math.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

#include "treeruntime/tree_file_access.h"

namespace trt {
namespace {

void ExpectRow(const stMat3& m, int row, float x, float y, float z) {
  constexpr float kTolerance = 1e-6f;
  EXPECT_NEAR(m.m[row * 3], x, kTolerance);
  EXPECT_NEAR(m.m[row * 3 + 1], y, kTolerance);
  EXPECT_NEAR(m.m[row * 3 + 2], z, kTolerance);
}

void ExpectMatricesNear(const stMat3& a, const stMat3& b) {
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(a.m[i], b.m[i], 1e-6f) << i;
}

TEST(TreeMath, FastLength) {
  struct Case {
    stVec3 v;
    float expected;
  };
  const Case cases[] = {
      {{3, 4, 0}, 5.125f}, {{2, 0, 0}, 2.0f}, {{1, 1, 0}, 1.5f}, {{0, 0, 4}, 4.0f}, {{0, 0.5f, 0}, 0.5f},
  };
  for (const Case& c : cases) {
    // Exact: the result is a bit pattern, not an approximation to compare.
    EXPECT_EQ(FastLength(c.v), c.expected) << c.v.x << " " << c.v.y << " " << c.v.z;
  }
  EXPECT_EQ(std::bit_cast<std::uint32_t>(FastLength({3, 4, 0})), 0x40a40000u);
  // The bit trick has no special case for zero: it gives the bias alone, a
  // length of about 8e-20.
  EXPECT_EQ(std::bit_cast<std::uint32_t>(FastLength({0, 0, 0})), 0x1fc00000u);
}

TEST(TreeMath, FastDistance) {
  EXPECT_EQ(FastDistance({0, 0, 0}, {3, 4, 0}), 5.125f);
  EXPECT_EQ(FastDistance({1, 1, 1}, {3, 1, 1}), 2.0f);
}

TEST(TreeMath, NormaliseIsGuarded) {
  struct Case {
    stVec3 in;
    stVec3 out;
  };
  const Case cases[] = {
      {{0, 0, 0}, {0, 0, 0}},
      {{0.001f, 0, 0}, {0.1f, 0, 0}},
      {{3, 4, 0}, {0.6f, 0.8f, 0}},
      {{0, -10, 0}, {0, -1, 0}},
  };
  for (const Case& c : cases) {
    stVec3 v = c.in;
    v.Normalize();
    EXPECT_FLOAT_EQ(v.x, c.out.x);
    EXPECT_FLOAT_EQ(v.y, c.out.y);
    EXPECT_FLOAT_EQ(v.z, c.out.z);
  }
}

TEST(TreeMath, RotationBuildersTurnTheGrowthDirection) {
  stMat3 z;
  z.RotateZ(90.0f);
  ExpectRow(z, 0, 0, 1, 0);
  const stVec3 turned = stVec3(1, 0, 0) * z;
  EXPECT_NEAR(turned.y, 1.0f, 1e-6f);

  stMat3 y;
  y.RotateY(90.0f);
  ExpectRow(y, 0, 0, 0, -1);

  stMat3 x;
  x.RotateX(90.0f);
  ExpectRow(x, 0, 1, 0, 0);
  ExpectRow(x, 1, 0, 0, 1);
  ExpectRow(x, 2, 0, -1, 0);
}

TEST(TreeMath, RotationsApplyInTheLocalFrame) {
  // M := R x M: a later builder's rotation is applied first to row vectors.
  stMat3 twoSteps;
  twoSteps.RotateZ(30.0f);
  twoSteps.RotateY(50.0f);
  stMat3 oneStep;
  oneStep.RotateYZ(50.0f, 30.0f);
  ExpectMatricesNear(oneStep, twoSteps);

  stMat3 ry;
  ry.RotateY(50.0f);
  stMat3 rz;
  rz.RotateZ(30.0f);
  ExpectMatricesNear(ry * rz, twoSteps);
}

TEST(TreeMath, AxisAngleAboutZMatchesRz) {
  stMat3 rz;
  rz.RotateZ(37.0f);
  ExpectMatricesNear(stMat3::AxisAngle(37.0f, 0, 0, 1), rz);
  stMat3 m;
  m.RotateAxis(37.0f, 0, 0, 1);
  ExpectMatricesNear(m, rz);
  stMat3 rx;
  rx.RotateX(-20.0f);
  ExpectMatricesNear(stMat3::AxisAngle(-20.0f, 1, 0, 0), rx);
}

TEST(TreeMath, ColumnProductIsTheTransposedRowProduct) {
  stMat3 m;
  for (int i = 0; i < 9; ++i) m.m[i] = static_cast<float>(i + 1);
  const stVec3 column = m.MultiplyColumn({1, 2, 3});
  EXPECT_EQ(column, stVec3(14, 32, 50));
  const stVec3 row = stVec3(1, 2, 3) * m;
  EXPECT_EQ(row, stVec3(30, 36, 42));
}

TEST(TreeMath, PointTimesFourByFourTranslatesByTheFourthRow) {
  stMat4 m;
  m.m[12] = 5;
  m.m[13] = 6;
  m.m[14] = 7;
  EXPECT_EQ(stVec3(1, 2, 3) * m, stVec3(6, 8, 10));
  // The fourth column takes no part: no division by w.
  m.m[3] = 9;
  m.m[7] = -4;
  m.m[15] = 3;
  EXPECT_EQ(stVec3(1, 2, 3) * m, stVec3(6, 8, 10));
}

TEST(TreeMath, VectorOperations) {
  EXPECT_EQ(stVec3(1, 2, 3) + stVec3(4, 5, 6), stVec3(5, 7, 9));
  EXPECT_EQ(stVec3(1, 2, 3) - stVec3(4, 5, 6), stVec3(-3, -3, -3));
  EXPECT_EQ(-stVec3(1, -2, 3), stVec3(-1, 2, -3));
  EXPECT_EQ(stVec3(1, 2, 3) * 2.0f, stVec3(2, 4, 6));
  EXPECT_EQ(Cross({1, 0, 0}, {0, 1, 0}), stVec3(0, 0, 1));
  EXPECT_EQ(Lerp({0, 0, 0}, {2, 4, 8}, 0.5f), stVec3(1, 2, 4));
  EXPECT_FLOAT_EQ(AngleBetween({1, 0, 0}, {0, 1, 0}), kHalfPi);
  // A dot product beyond 1 is clamped rather than giving NaN.
  EXPECT_EQ(AngleBetween({1, 0, 0}, {2, 0, 0}), 0.0f);
  EXPECT_FLOAT_EQ(AngleBetween({1, 0, 0}, {-3, 0, 0}), kPi);
}

TEST(TreeMath, TruncateToIntIsDefinedForEveryValue) {
  EXPECT_EQ(TruncateToInt(-2.7), -2);
  EXPECT_EQ(TruncateToInt(2.9), 2);
  EXPECT_EQ(TruncateToInt(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(TruncateToInt(1e20), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(TruncateToInt(-1e20), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(TruncateToInt(std::numeric_limits<double>::infinity()), std::numeric_limits<std::int32_t>::max());
}

TEST(TreeMath, StripDirectories) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"leaf.png", "leaf.png"},   {"a/b/leaf.png", "leaf.png"}, {"a\\b/leaf.png", "leaf.png"},
      {"a/b\\leaf.png", "leaf.png"}, {"dir/", ""},              {"x/\\y", "y"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(StripDirectories(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace trt
