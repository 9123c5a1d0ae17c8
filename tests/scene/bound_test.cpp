#include "scene/bound.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "objectmodel/math_expect.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/matrix4.h"
#include "scene/member_text_writer.h"
#include "objectmodel/quaternion.h"

namespace KT {
namespace {

using Vec = CVector3<float>;
using KT::testing::ExpectNear;

CBound Box(Vec min, Vec max) {
  CBound b;
  b.SetMinMax(min, max);
  return b;
}

void ExpectBoundNear(const CBound& actual, const CBound& expected, float tolerance) {
  EXPECT_NEAR(actual.Radius, expected.Radius, tolerance);
  ExpectNear(actual.Center, expected.Center, tolerance);
  ExpectNear(actual.Min, expected.Min, tolerance);
  ExpectNear(actual.Max, expected.Max, tolerance);
}

// Centre halfway between the corners and the radius the half diagonal.
void ExpectInvariant(const CBound& b) {
  ExpectNear(b.Center, (b.Min + b.Max) * 0.5f, 1e-6f);
  EXPECT_FLOAT_EQ(b.Radius, (b.Min - b.Center).Length());
}

TEST(BoundTest, DefaultAndClearGiveTheEmptyBound) {
  CBound b;
  EXPECT_EQ(b.Radius, 0.0f);
  EXPECT_EQ(b.Center, kVectorZero);
  EXPECT_EQ(b.Min, kVectorZero);
  EXPECT_EQ(b.Max, kVectorZero);
  EXPECT_TRUE(b.IsEmpty());

  b = Box({-1, -2, -3}, {4, 5, 6});
  EXPECT_FALSE(b.IsEmpty());
  b.Clear();
  EXPECT_EQ(b, CBound());
}

TEST(BoundTest, SetMinMaxDerivesCentreAndRadius) {
  const CBound b = Box({-1, -2, -2}, {1, 2, 2});
  EXPECT_EQ(b.Min, Vec(-1, -2, -2));
  EXPECT_EQ(b.Max, Vec(1, 2, 2));
  EXPECT_EQ(b.Center, Vec(0, 0, 0));
  EXPECT_FLOAT_EQ(b.Radius, 3.0f);  // sqrt(1 + 4 + 4)
  EXPECT_EQ(b.GetCenter(), &b.Center);

  const CBound offset = Box({2, 2, 2}, {4, 6, 8});
  EXPECT_EQ(offset.Center, Vec(3, 4, 5));
  ExpectInvariant(offset);
}

TEST(BoundTest, CopyTakesAllTenFloats) {
  CBound source = Box({-1, 0, 1}, {2, 3, 4});
  CBound copy;
  copy = source;
  EXPECT_EQ(copy, source);
  const CBound constructed(source);
  EXPECT_EQ(constructed, source);
}

struct MergeCase {
  const char* name;
  CBound target;
  CBound other;
  CBound expected;
};

TEST(BoundTest, MergeTable) {
  const CBound unit = Box({-1, -1, -1}, {1, 1, 1});
  CBound point;
  point.FromPoints(1, &kVectorOne);  // radius 0: treated as empty
  const MergeCase cases[] = {
      {"empty into a box leaves it", unit, CBound(), unit},
      {"a box into empty copies it", CBound(), unit, unit},
      {"two empties stay empty", CBound(), CBound(), CBound()},
      {"identical boxes", unit, unit, unit},
      {"a single-point bound is ignored", unit, point, unit},
      {"a box replaces a single-point bound", point, unit, unit},
      {"disjoint boxes", Box({0, 0, 0}, {1, 1, 1}), Box({2, 3, 4}, {3, 5, 6}), Box({0, 0, 0}, {3, 5, 6})},
      {"overlapping boxes", Box({-2, 0, 0}, {1, 1, 1}), Box({0, -1, 0}, {3, 0.5f, 2}),
       Box({-2, -1, 0}, {3, 1, 2})},
      {"a contained box changes nothing", unit, Box({-0.5f, 0, 0}, {0.5f, 0.5f, 0.5f}), unit},
  };
  for (const MergeCase& c : cases) {
    SCOPED_TRACE(c.name);
    CBound b = c.target;
    b.Merge(c.other);
    EXPECT_EQ(b, c.expected);
  }
}

TEST(BoundTest, MergeWithItselfKeepsTheBound) {
  CBound b = Box({-1, 2, 3}, {4, 5, 9});
  const CBound before = b;
  b.Merge(b);
  EXPECT_EQ(b, before);
}

TEST(BoundTest, MergeRecomputesTheSphereFromTheUnionBox) {
  CBound b = Box({0, 0, 0}, {2, 0, 0.5f});
  b.Merge(Box({-2, -1, 0}, {0, 1, 0.5f}));
  EXPECT_EQ(b.Min, Vec(-2, -1, 0));
  EXPECT_EQ(b.Max, Vec(2, 1, 0.5f));
  ExpectInvariant(b);
}

struct PointsCase {
  const char* name;
  std::vector<Vec> points;
  i32 count;  // passed as the count (may differ from points.size())
  CBound expected;
};

TEST(BoundTest, FromPointsTable) {
  CBound onePoint;
  onePoint.Min = onePoint.Max = onePoint.Center = Vec(1, 2, 3);
  const PointsCase cases[] = {
      {"count 0", {{1, 2, 3}}, 0, CBound()},
      {"negative count", {{1, 2, 3}}, -4, CBound()},
      {"one point", {{1, 2, 3}}, 1, onePoint},
      {"identical points", {{1, 2, 3}, {1, 2, 3}, {1, 2, 3}}, 3, onePoint},
      {"box around points", {{1, -1, 0}, {-3, 2, 5}, {0, 0, -1}, {2, 1, 1}}, 4, Box({-3, -1, -1}, {2, 2, 5})},
      {"count below the vector size", {{0, 0, 0}, {1, 1, 1}, {9, 9, 9}}, 2, Box({0, 0, 0}, {1, 1, 1})},
  };
  for (const PointsCase& c : cases) {
    SCOPED_TRACE(c.name);
    CBound b = Box({-7, -7, -7}, {7, 7, 7});  // whatever was there goes
    b.FromPoints(c.count, c.points.data());
    EXPECT_EQ(b, c.expected);
  }
}

TEST(BoundTest, FromPointsWithoutDataIsEmpty) {
  CBound b = Box({0, 0, 0}, {1, 1, 1});
  b.FromPoints(3, nullptr);
  EXPECT_EQ(b, CBound());
}

TEST(BoundTest, FromPointsVectorForm) {
  CBound b = Box({0, 0, 0}, {1, 1, 1});
  b.FromPoints(std::vector<Vec>{});
  EXPECT_EQ(b, CBound());

  const std::vector<Vec> points = {{3, 0, 0}, {-1, 4, 2}, {0, -2, 1}};
  b.FromPoints(points);
  CBound arrayForm;
  arrayForm.FromPoints(3, points.data());
  EXPECT_EQ(b, arrayForm);
  EXPECT_EQ(b.Min, Vec(-1, -2, 0));
  EXPECT_EQ(b.Max, Vec(3, 4, 2));
}

TEST(BoundTest, BoxCornersOrder) {
  std::vector<Vec> corners(20, Vec(9, 9, 9));
  BoxCorners(corners, {1, 2, 3}, {4, 5, 6});
  const std::vector<Vec> expected = {{1, 2, 3}, {4, 2, 3}, {4, 5, 3}, {1, 5, 3},
                                     {1, 2, 6}, {4, 2, 6}, {4, 5, 6}, {1, 5, 6}};
  EXPECT_EQ(corners, expected);
}

TEST(BoundTest, BoxCornersAreEightAlsoForADegenerateBox) {
  std::vector<Vec> corners;
  BoxCorners(corners, {2, 2, 2}, {2, 2, 2});
  ASSERT_EQ(corners.size(), 8u);
  for (const Vec& c : corners) EXPECT_EQ(c, Vec(2, 2, 2));
}

CMatrix4 RotationZ(float radians) {
  CMatrix4 m;
  m.m[0][0] = std::cos(radians);
  m.m[0][1] = std::sin(radians);
  m.m[1][0] = -std::sin(radians);
  m.m[1][1] = std::cos(radians);
  return m;
}

CMatrix4 Translation(Vec t) {
  CMatrix4 m;
  m.SetTranslation(t);
  return m;
}

CMatrix4 Scale(Vec s) {
  CMatrix4 m;
  m.m[0][0] = s.x;
  m.m[1][1] = s.y;
  m.m[2][2] = s.z;
  return m;
}

struct TransformCase {
  const char* name;
  CBound source;
  CMatrix4 matrix;
  CBound expected;
};

TEST(BoundTest, TransformTable) {
  const CBound unit = Box({-0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f});
  const float h = std::sqrt(0.5f);  // half diagonal of the unit square's side
  CMatrix4 projective;              // w = z + 1: divides each corner by its own w
  projective.m[2][3] = 1.0f;
  const TransformCase cases[] = {
      {"identity", unit, CMatrix4(), unit},
      {"translation moves the box", unit, Translation({1, 2, 3}), Box({0.5f, 1.5f, 2.5f}, {1.5f, 2.5f, 3.5f})},
      {"45 degrees about z", unit, RotationZ(kPi / 4), Box({-h, -h, -0.5f}, {h, h, 0.5f})},
      {"negative scale flips the corners into order", Box({1, 2, 3}, {2, 4, 6}), Scale({-1, 2, 1}),
       Box({-2, 4, 3}, {-1, 8, 6})},
      {"rotation then translation (row vectors)", Box({0, 0, 0}, {2, 1, 1}),
       RotationZ(kPi / 2) * Translation({10, 0, 0}), Box({9, 0, 0}, {10, 2, 1})},
      {"divide by w", Box({-1, -1, 0}, {1, 1, 1}), projective, Box({-1, -1, 0}, {1, 1, 0.5f})},
  };
  for (const TransformCase& c : cases) {
    SCOPED_TRACE(c.name);
    CBound out = Box({-9, -9, -9}, {9, 9, 9});
    c.source.Transform(out, c.matrix);
    ExpectBoundNear(out, c.expected, 1e-5f);
    ExpectInvariant(out);
  }
}

TEST(BoundTest, TransformUsesTheBoxNotTheRadius) {
  // A single-point bound has radius 0 but still transforms its box.
  CBound point;
  point.Min = point.Max = point.Center = Vec(1, 1, 1);
  CBound out = Box({0, 0, 0}, {5, 5, 5});
  point.Transform(out, Translation({1, 0, 0}));
  EXPECT_EQ(out.Min, Vec(2, 1, 1));
  EXPECT_EQ(out.Max, Vec(2, 1, 1));
  EXPECT_EQ(out.Radius, 0.0f);

  // The rotated box's sphere is recomputed from the new box, so it grows.
  const CBound unit = Box({-0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f});
  unit.Transform(out, RotationZ(kPi / 4));
  EXPECT_GT(out.Radius, unit.Radius);
}

TEST(BoundTest, TransformIntoItself) {
  CBound b = Box({0, 0, 0}, {1, 2, 3});
  CBound expected;
  b.Transform(expected, Translation({5, 5, 5}));
  b.Transform(b, Translation({5, 5, 5}));
  EXPECT_EQ(b, expected);
  EXPECT_EQ(b.Min, Vec(5, 5, 5));
}

TEST(Bound2DTest, DefaultIsZero) {
  const CBound2D b;
  EXPECT_EQ(b.Radius, 0.0f);
  EXPECT_EQ(b.Center, CVector2());
  EXPECT_EQ(b.Min, CVector2());
  EXPECT_EQ(b.Max, CVector2());
}

TEST(Bound2DTest, FromPointsFormsAgree) {
  const f32 pairs[] = {1, -1, -3, 2, 0, 5};
  const CVector2 points[] = {{1, -1}, {-3, 2}, {0, 5}};
  CBound2D fromPairs;
  fromPairs.FromPoints(3, pairs);
  CBound2D fromPoints;
  fromPoints.FromPoints(3, points);
  EXPECT_EQ(fromPairs, fromPoints);
  EXPECT_EQ(fromPairs.Min, CVector2(-3, -1));
  EXPECT_EQ(fromPairs.Max, CVector2(1, 5));
  EXPECT_EQ(fromPairs.Center, CVector2(-1, 2));
  EXPECT_FLOAT_EQ(fromPairs.Radius, std::sqrt(4.0f + 9.0f));
}

TEST(Bound2DTest, NoPointsGiveZero) {
  const f32 pairs[] = {1, 2};
  for (i32 count : {0, -1}) {
    SCOPED_TRACE(count);
    CBound2D b;
    b.FromPoints(1, pairs);
    b.FromPoints(count, pairs);
    EXPECT_EQ(b, CBound2D());
  }
  CBound2D b;
  b.FromPoints(1, pairs);
  EXPECT_EQ(b.Radius, 0.0f);
  EXPECT_EQ(b.Center, CVector2(1, 2));
  b.FromPoints(2, static_cast<const f32*>(nullptr));
  EXPECT_EQ(b, CBound2D());
}

TEST(BoundTest, MemberTextShowsTheValues) {
  CMemberTextWriter writer;
  const CBound b = Box({-1, -2, -2}, {1, 2, 2});
  writer.Bound(u"WorldBound", &b);
  EXPECT_EQ(writer.GetText(), "WorldBound = radius 3 center (0, 0, 0) min (-1, -2, -2) max (1, 2, 2)\n");
}

}  // namespace
}  // namespace KT
