// Path sampling: the natural spline, the linear and spline samplers, the
// lookups by path parameter, bank rotations, terrain projection through a
// test sampler, and the guards that keep sampling finite.
#include "scene/path_sampling.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "objectmodel/math_expect.h"
#include "objectmodel/math_functions.h"
#include "scene/path.h"

namespace KT {
namespace {

using testing::ExpectNear;
using testing::ExpectSameRotation;
using Points = std::vector<CVector3<float>>;

// A flat terrain at `height` whose normal is `normal`; counts its calls.
class CTestTerrain : public CTerrainSampler {
 public:
  Result Sample(f32, f32, f32& h, CVector3<float>& n) override {
    ++calls;
    h = height;
    n = normal;
    return kOk;
  }
  f32 height = 5.0f;
  CVector3<float> normal = kVectorUnitZ;
  int calls = 0;
};

// Installs a terrain for the duration of a test.
class TerrainScope {
 public:
  explicit TerrainScope(CTerrainSampler* sampler) { CPath::SetTerrainSampler(sampler); }
  ~TerrainScope() { CPath::SetTerrainSampler(nullptr); }
};

CPointer<CPath> MakePath(const Points& points, u32 type, bool guide = false) {
  CPointer<CPath> path;
  EXPECT_EQ(CPath::Create(path), kOk);
  path->SetCtrlXYZ(points);
  path->SetPathType(type);
  path->SetHasGuidePoints(guide);
  EXPECT_EQ(path->Rebuild(-1), kOk);
  return path;
}

CVector3<float> At(const CPath& path, f32 t) {
  CVector3<float> p{-99.0f, -99.0f, -99.0f};
  EXPECT_EQ(path.PositionAtParameter(t, p), kOk) << t;
  return p;
}

// --- spline ----------------------------------------------------------------------------

TEST(PathSplineTest, BuildRefusesOtherAxesAndSinglePoints) {
  std::vector<SplineCoef> table(2);
  table[0].A = 7.0f;
  EXPECT_EQ(BuildSplineAxis(table, {{0, 0, 0}, {1, 1, 1}}, 3, 0), kErrInvalidArg);
  EXPECT_EQ(BuildSplineAxis(table, {{0, 0, 0}, {1, 1, 1}}, -1, 0), kErrInvalidArg);
  EXPECT_EQ(BuildSplineAxis(table, {{4, 4, 4}}, 0, 0), kDone);
  EXPECT_EQ(table.size(), 2u);
  EXPECT_EQ(table[0].A, 7.0f);
}

TEST(PathSplineTest, EvenlySpacedCollinearPointsGiveAStraightLine) {
  std::vector<SplineCoef> table;
  ASSERT_EQ(BuildSplineAxis(table, {{0, 0, 0}, {10, 0, 0}, {20, 0, 0}}, 0, 0), kOk);
  ASSERT_EQ(table.size(), 3u);
  EXPECT_FLOAT_EQ(table[0].Gamma, 0.5f);
  EXPECT_FLOAT_EQ(table[1].Gamma, 1.0f / 3.5f);
  for (int i = 0; i < 2; ++i) {
    EXPECT_FLOAT_EQ(table[i].A, 10.0f * i);
    EXPECT_NEAR(table[i].B, 10.0f, 1e-5f);
    EXPECT_NEAR(table[i].C, 0.0f, 1e-5f);
    EXPECT_NEAR(table[i].D, 0.0f, 1e-5f);
  }
}

TEST(PathSplineTest, PassesThroughEveryPointAndClampsItsParameter) {
  const Points points = {{0, 0, 0}, {3, 4, 1}, {-2, 6, 2}, {5, 5, -1}, {9, 0, 0}};
  std::vector<SplineCoef> x, y, z;
  BuildSplineAxis(x, points, 0, 0);
  BuildSplineAxis(y, points, 1, 0);
  BuildSplineAxis(z, points, 2, 0);
  for (std::size_t i = 0; i < points.size(); ++i) {
    ExpectNear(EvaluateSpline(x, y, z, points, static_cast<f32>(i)), points[i], 1e-4f);
  }
  ExpectNear(EvaluateSpline(x, y, z, points, 17.0f), points.back(), 1e-4f);
  ExpectNear(EvaluateSpline(x, y, z, points, -3.0f), points.front(), 0.0f);
  ExpectNear(EvaluateSpline(x, y, z, points, std::numeric_limits<f32>::quiet_NaN()), points.front(), 0.0f);
  ExpectNear(EvaluateSpline(x, y, z, {{1, 2, 3}}, 2.5f), {1, 2, 3}, 0.0f);
}

TEST(PathSplineTest, RebuildingOverAnOlderTableMatchesAFreshBuild) {
  const Points shortList = {{0, 0, 0}, {3, 4, 1}, {-2, 6, 2}, {5, 5, -1}};
  Points longList = shortList;
  longList.push_back({9, 0, 0});
  longList.push_back({12, -3, 2});
  longList.push_back({14, 1, 1});
  struct Case {
    const char* what;
    Points before;
    u32 firstChanged;
  };
  const Case cases[] = {
      {"grown from four points", shortList, 0},
      {"grown, only the new points changed", shortList, 4},
      {"shrunk from a longer list", longList, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Points& after = c.before.size() < longList.size() ? longList : shortList;
    std::vector<SplineCoef> reused;
    BuildSplineAxis(reused, c.before, 1, 0);
    ASSERT_EQ(BuildSplineAxis(reused, after, 1, c.firstChanged), kOk);
    std::vector<SplineCoef> fresh;
    BuildSplineAxis(fresh, after, 1, 0);
    ASSERT_EQ(reused.size(), fresh.size());
    for (std::size_t i = 0; i + 1 < fresh.size(); ++i) {
      EXPECT_FLOAT_EQ(reused[i].A, fresh[i].A);
      EXPECT_FLOAT_EQ(reused[i].B, fresh[i].B);
      EXPECT_FLOAT_EQ(reused[i].C, fresh[i].C);
      EXPECT_FLOAT_EQ(reused[i].D, fresh[i].D);
    }
  }
}

// --- sampling ---------------------------------------------------------------------------

TEST(PathSamplingTest, TwoPointLine) {
  CPointer<CPath> path = MakePath({{0, 0, 0}, {10, 0, 0}}, CPath::PT_Linear);
  EXPECT_EQ(path->GetLength(), (std::vector<f32>{0.0f, 1.0f}));
  EXPECT_EQ(path->GetCtrlAtLength(), (std::vector<u32>{0, 1}));
  EXPECT_TRUE(path->GetSampleRatio().empty());
  EXPECT_EQ(At(*path, 0.25f), CVector3<float>(2.5f, 0.0f, 0.0f));
  EXPECT_TRUE(path->IsLineValid());
  EXPECT_EQ(path->GetCtrlLocal(), (Points{{0, 0, 0}, {10, 0, 0}}));
  ExpectNear(path->GetCtrlDir()[0], kVectorUnitX, 1e-6f);
  ExpectNear(path->GetCtrlDir()[1], kVectorUnitX, 1e-6f);
}

TEST(PathSamplingTest, SplineSampleCounts) {
  struct Case {
    const char* what;
    Points points;
    std::vector<u32> ctrlAtLength;
  };
  const Case cases[] = {
      // Step 20 / 10 = 2, then 20 / 20 = 1: no interior samples.
      {"three points 10 apart", {{0, 0, 0}, {10, 0, 0}, {20, 0, 0}}, {0, 1, 2}},
      // Step 20 / 100 = 0.2 gives four interior samples, then the
      // cumulative 200 gives step 0.1 and nine.
      {"three points 100 apart", {{0, 0, 0}, {100, 0, 0}, {200, 0, 0}}, {0, 5, 15}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CPointer<CPath> path = MakePath(c.points, CPath::PT_Spline);
    EXPECT_EQ(path->GetCtrlAtLength(), c.ctrlAtLength);
    const std::size_t samples = c.ctrlAtLength.back() + 1;
    EXPECT_EQ(path->GetLength().size(), samples);
    EXPECT_EQ(path->GetLineXYZ().size(), samples);
    ASSERT_EQ(path->GetSampleRatio().size(), samples);
    EXPECT_EQ(path->GetLength().front(), 0.0f);
    EXPECT_FLOAT_EQ(path->GetLength().back(), 1.0f);
    for (u32 j = 0; j < c.ctrlAtLength.size(); ++j) {
      EXPECT_EQ(path->GetSampleRatio()[c.ctrlAtLength[j]], static_cast<f32>(j));
    }
    for (std::size_t i = 1; i < samples; ++i) EXPECT_GE(path->GetLength()[i], path->GetLength()[i - 1]);
    ExpectNear(At(*path, 0.5f), c.points[1], 1e-3f);
  }
}

TEST(PathSamplingTest, SinglePointPaths) {
  for (u32 type : {u32{CPath::PT_Linear}, u32{CPath::PT_Spline}}) {
    SCOPED_TRACE(type);
    CPointer<CPath> path = MakePath({{1, 2, 3}}, type);
    EXPECT_EQ(path->GetLength(), (std::vector<f32>{0.0f}));
    EXPECT_EQ(path->GetCtrlAtLength(), (std::vector<u32>{0}));
    EXPECT_EQ(At(*path, 0.0f), CVector3<float>(1, 2, 3));
    EXPECT_EQ(At(*path, 0.7f), CVector3<float>(1, 2, 3));
    // Rebuilding does not let the tables grow.
    ASSERT_EQ(path->Rebuild(-1), kOk);
    EXPECT_LE(path->GetSampleRatio().size(), 1u);
  }
}

TEST(PathSamplingTest, GuidePointsShapeTheSplineOnly) {
  const Points points = {{-20, 5, 0}, {-10, 0, 0}, {0, 0, 0}, {10, 3, 0}, {20, 0, 0}, {30, 0, 0}};
  CPointer<CPath> path = MakePath(points, CPath::PT_Spline, true);
  EXPECT_EQ(path->GetSampleRatio().front(), 0.0f);
  EXPECT_EQ(path->GetCtrlAtLength().size(), 3u);
  EXPECT_EQ(path->GetCtrlDir().size(), 3u);
  EXPECT_EQ(path->GetCtrlLocal(), (Points{points[2], points[3]}));
  EXPECT_EQ(path->GetCtrlWorldMatrix().size(), 2u);
  ExpectNear(At(*path, 0.0f), points[2], 1e-4f);
  ExpectNear(At(*path, 1.0f), points[4], 1e-4f);
  // Sample i lies at spline parameter SampleRatio + 2.
  const u32 middle = path->GetCtrlAtLength()[1];
  ExpectNear(At(*path, path->GetLength()[middle]), path->EvaluateSpline(path->GetSampleRatio()[middle] + 2.0f),
             0.0f);
}

TEST(PathSamplingTest, GuideFlagIsIgnoredBelowFourPoints) {
  const Points points = {{0, 0, 0}, {10, 0, 0}, {20, 0, 0}};
  CPointer<CPath> path = MakePath(points, CPath::PT_Spline, true);
  EXPECT_TRUE(path->GetHasGuidePoints());
  EXPECT_FALSE(path->UsesGuidePoints());
  EXPECT_EQ(path->GetCtrlLocal(), points);
  EXPECT_EQ(path->GetCtrlDir().size(), 3u);
  ExpectNear(At(*path, 0.0f), points[0], 1e-4f);
  ExpectNear(At(*path, 1.0f), points[2], 1e-4f);
}

TEST(PathSamplingTest, ParameterOfControl) {
  CPointer<CPath> path = MakePath({{0, 0, 0}, {10, 0, 0}, {40, 0, 0}}, CPath::PT_Linear);
  const struct {
    i32 j;
    f32 t;
  } cases[] = {{-1, 0.0f}, {0, 0.0f}, {1, 0.25f}, {2, 1.0f}, {3, 1.0f}, {1000, 1.0f}};
  for (const auto& c : cases) EXPECT_EQ(path->ParameterOfControl(c.j), c.t) << c.j;
}

TEST(PathSamplingTest, LookupsOutsideTheRangeAndOnZeroLengthPaths) {
  CPointer<CPath> three = MakePath({{0, 0, 0}, {10, 0, 0}, {20, 0, 0}}, CPath::PT_Linear);
  CPointer<CPath> two = MakePath({{0, 0, 0}, {10, 0, 0}}, CPath::PT_Linear);
  CPointer<CPath> still = MakePath({{4, 4, 4}, {4, 4, 4}}, CPath::PT_Linear);
  const struct {
    const char* what;
    const CPath* path;
    f32 t;
    CVector3<float> expected;
  } cases[] = {
      {"past the end extrapolates along the last interval", three.Get(), 1.5f, {30, 0, 0}},
      {"before the start extrapolates along the first", three.Get(), -0.5f, {-10, 0, 0}},
      {"past the end of one interval stays at its end", two.Get(), 1.5f, {10, 0, 0}},
      {"zero length", still.Get(), 0.5f, {4, 4, 4}},
      {"zero length at the end", still.Get(), 1.0f, {4, 4, 4}},
      {"NaN", two.Get(), std::numeric_limits<f32>::quiet_NaN(), {10, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectNear(At(*c.path, c.t), c.expected, 1e-5f);
  }
  EXPECT_EQ(still->GetLength(), (std::vector<f32>{0.0f, 0.0f}));
}

TEST(PathSamplingTest, PathsWithoutSamplesAnswerNotFound) {
  CPointer<CPath> empty = MakePath({}, CPath::PT_Spline);
  // A kind the path does not know samples nothing; the rebuild then fails
  // on the directions of its controls.
  CPointer<CPath> unknownKind;
  ASSERT_EQ(CPath::Create(unknownKind), kOk);
  unknownKind->SetCtrlXYZ({{0, 0, 0}, {1, 0, 0}});
  unknownKind->SetPathType(7);
  EXPECT_EQ(unknownKind->Rebuild(-1), kErrNotFound);
  for (const CPath* path : {empty.Get(), unknownKind.Get()}) {
    CVector3<float> p{1, 1, 1};
    EXPECT_EQ(path->PositionAtParameter(0.5f, p), kErrNotFound);
    EXPECT_EQ(p, CVector3<float>(1, 1, 1));
    CQuaternion up{1, 0, 0, 0};
    EXPECT_EQ(path->UpAtParameter(0.5f, up), kErrNotFound);
    EXPECT_EQ(up, kQuaternionIdentity);
  }
}

// --- bank rotations ------------------------------------------------------------------------

TEST(PathSamplingTest, BanksAreInterpolatedBetweenControls) {
  const CQuaternion quarter = CQuaternion::FromAxisAngle(kVectorUnitX, kHalfPi);
  const CQuaternion half = CQuaternion::FromAxisAngle(kVectorUnitX, kPi * 0.25f);
  const CQuaternion identity = kQuaternionIdentity;
  CPointer<CPath> path = MakePath({{0, 0, 0}, {10, 0, 0}, {20, 0, 0}, {30, 0, 0}}, CPath::PT_Linear);
  const f32 atControl1 = path->GetLength()[1];
  struct Case {
    const char* what;
    std::vector<CQuaternion> ups;
    f32 t;
    CQuaternion expected;
  };
  const Case cases[] = {
      {"halfway along the first interval", {identity, quarter, quarter, quarter}, 1.0f / 6.0f, half},
      {"on a control", {identity, quarter, identity, identity}, atControl1, quarter},
      {"a single entry stands everywhere", {quarter}, 0.8f, quarter},
      {"the entry after the last is the first", {identity, quarter}, 0.5f, half},
      {"entries past a short list read as the identity", {quarter, quarter}, 5.0f / 6.0f, identity},
      {"no entries", {}, 0.4f, identity},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    path->SetCtrlUp(c.ups);
    CQuaternion up;
    ASSERT_EQ(path->UpAtParameter(c.t, up), kOk);
    ExpectSameRotation(up, c.expected, 1e-5f);
  }
}

// --- terrain ------------------------------------------------------------------------------

TEST(PathSamplingTest, ProjectionDropsTheLineOntoTheTerrain) {
  CTestTerrain terrain;
  const f32 s = std::sin(0.3f);
  terrain.normal = {0.0f, s, std::cos(0.3f)};
  TerrainScope scope(&terrain);
  CPointer<CPath> path;
  ASSERT_EQ(CPath::Create(path), kOk);
  path->SetCtrlXYZ({{0, 0, 0}, {100, 0, 0}, {100, 100, 0}});
  path->SetPathType(CPath::PT_Linear);
  path->SetProjectToTerrain(true);
  path->SetSampleDensity(25.0f);
  ASSERT_EQ(path->Rebuild(-1), kOk);
  // Steps 25 / 100 and 25 / 200 along the two segments.
  EXPECT_EQ(path->GetCtrlAtLength(), (std::vector<u32>{0, 4, 12}));
  ASSERT_EQ(path->GetLineNormal().size(), path->GetLineXYZ().size());
  for (const CVector3<float>& p : path->GetLineXYZ()) EXPECT_FLOAT_EQ(p.z, 5.0f);
  for (const CVector3<float>& p : path->GetCtrlLocal()) EXPECT_FLOAT_EQ(p.z, 5.0f);
  EXPECT_EQ(terrain.calls, 3 + static_cast<int>(path->GetLineXYZ().size()));
  ExpectNear(kVectorUnitZ.TransformByMatrix3(path->GetLineNormal()[3].ToMatrix3()), terrain.normal, 1e-5f);
  CQuaternion up;
  ASSERT_EQ(path->UpAtParameter(0.3f, up), kOk);
  ExpectSameRotation(up, CPath::QuaternionFromNormal(terrain.normal), 1e-5f);

  // The tilts are gone when the path is rebuilt without a terrain and one
  // is installed afterwards.
  CPath::SetTerrainSampler(nullptr);
  EXPECT_EQ(path->UpAtParameter(0.3f, up), kOk);
  EXPECT_EQ(up, kQuaternionIdentity);
  CPointer<CPath> flat;
  ASSERT_EQ(CPath::Create(flat), kOk);
  flat->SetCtrlXYZ({{0, 0, 0}, {100, 0, 0}});
  flat->SetPathType(CPath::PT_Linear);
  flat->SetProjectToTerrain(true);
  ASSERT_EQ(flat->Rebuild(-1), kOk);
  EXPECT_EQ(flat->GetCtrlLocal(), (Points{{0, 0, 0}, {100, 0, 0}}));
  CPath::SetTerrainSampler(&terrain);
  up = CQuaternion(1, 0, 0, 0);
  EXPECT_EQ(flat->UpAtParameter(0.5f, up), kDone);
  EXPECT_EQ(up, kQuaternionIdentity);
}

TEST(PathSamplingTest, UnusableStepsAddNoInteriorSamples) {
  CTestTerrain terrain;
  TerrainScope scope(&terrain);
  const f32 densities[] = {0.0f, -5.0f, std::numeric_limits<f32>::quiet_NaN(),
                           std::numeric_limits<f32>::infinity(), 1e30f};
  for (u32 type : {u32{CPath::PT_Linear}, u32{CPath::PT_Spline}}) {
    for (f32 density : densities) {
      SCOPED_TRACE(::testing::Message() << "type " << type << " density " << density);
      CPointer<CPath> path;
      ASSERT_EQ(CPath::Create(path), kOk);
      path->SetCtrlXYZ({{0, 0, 0}, {10, 0, 0}, {20, 0, 0}});
      path->SetPathType(type);
      path->SetProjectToTerrain(true);
      path->SetSampleDensity(density);
      ASSERT_EQ(path->Rebuild(-1), kOk);
      EXPECT_EQ(path->GetCtrlAtLength(), (std::vector<u32>{0, 1, 2}));
    }
  }
}

TEST(PathSamplingTest, TinyStepsCannotExhaustMemory) {
  CTestTerrain terrain;
  TerrainScope scope(&terrain);
  CPointer<CPath> path;
  ASSERT_EQ(CPath::Create(path), kOk);
  path->SetCtrlXYZ({{0, 0, 0}, {10, 0, 0}, {20, 0, 0}});
  path->SetPathType(CPath::PT_Linear);
  path->SetProjectToTerrain(true);
  path->SetSampleDensity(1e-30f);
  ASSERT_EQ(path->Rebuild(-1), kOk);
  EXPECT_LE(path->GetLineXYZ().size(), kMaxLineSamples + 3);
  EXPECT_EQ(path->GetCtrlAtLength().size(), 3u);
  EXPECT_EQ(path->GetLineXYZ().back(), CVector3<float>(20, 0, 5));
}

TEST(PathSamplingTest, QuaternionFromNormalTurnsZOntoTheNormal) {
  const CVector3<float> normals[] = {{0, 0, 1}, {1, 0, 0}, {0, 3, 4}, {0, 0, -1}, {1, 1, -0.2f}};
  for (const CVector3<float>& n : normals) {
    CVector3<float> unit = n;
    unit.Normalize();
    ExpectNear(kVectorUnitZ.TransformByMatrix3(CPath::QuaternionFromNormal(n).ToMatrix3()), unit, 1e-5f);
  }
  EXPECT_EQ(CPath::QuaternionFromNormal(kVectorZero), kQuaternionIdentity);
}

}  // namespace
}  // namespace KT
