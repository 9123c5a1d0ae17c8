// KT::CPath: defaults, the orientation helpers of the path constraints,
// world sampling, control frames, bounds, copies and persistence (current
// and older records, every prefix, hostile counts).
#include "scene/path.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "objectmodel/class_factory.h"
#include "objectmodel/math_expect.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream_test_support.h"
#include "platform/crt_random.h"
#include "scene/node.h"
#include "scene_test_classes.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using testing::ExpectNear;
using testing::ExpectSameRotation;
using Points = std::vector<CVector3<float>>;

class PathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterSceneTestClasses();
    CClassFactory::Register("CPath", &CreateObject<CPath>);
    test::UseTestIds(0);
  }
};

CPointer<CPath> MakePath(const Points& points, u32 type = CPath::PT_Linear) {
  CPointer<CPath> path;
  EXPECT_EQ(CPath::Create(path), kOk);
  path->SetCtrlXYZ(points);
  path->SetPathType(type);
  EXPECT_EQ(path->Rebuild(-1), kOk);
  return path;
}

// World transform of a spatial: rotation about Z by `angle`, then `move`.
void PlaceAt(CSpatial& spatial, f32 angle, const CVector3<float>& move) {
  const CMatrix3 rotate = CQuaternion::FromAxisAngle(kVectorUnitZ, angle).ToMatrix3();
  CMatrix4 world;
  world.SetRotation3x3(rotate);
  world.SetTranslation(move);
  spatial.SetWorld(CMatrix3(), rotate, world);
}

CVector3<float> Rotated(const CVector3<float>& v, const CQuaternion& q) { return v.TransformByMatrix3(q.ToMatrix3()); }

CVector3<float> Unit(CVector3<float> v) {
  v.Normalize();
  return v;
}

// --- defaults -------------------------------------------------------------------------------

TEST_F(PathTest, DefaultsDrawTheColourRedFirst) {
  CrtSrand(11);
  CPointer<CPath> path;
  ASSERT_EQ(CPath::Create(path), kOk);
  CrtSrand(11);
  const f32 red = RandomUnit(0.0f);
  const f32 green = RandomUnit(0.0f);
  const f32 blue = RandomUnit(0.0f);
  EXPECT_EQ(path->GetColor(), CColor(red, green, blue, 1.0f));
  EXPECT_EQ(path->GetPathType(), u32{CPath::PT_Spline});
  EXPECT_EQ(path->GetSampleDensity(), 200.0f);
  EXPECT_FALSE(path->GetProjectToTerrain());
  EXPECT_FALSE(path->GetHasGuidePoints());
  EXPECT_FALSE(path->IsLineValid());
  EXPECT_TRUE(path->GetLineBound().IsEmpty());
}

// --- orientation ------------------------------------------------------------------------------

TEST_F(PathTest, QuaternionFromToUsesTheFallbackWhenTheAxisIsUndefined) {
  struct Case {
    const char* what;
    CVector3<float> a, b, fallback;
    CQuaternion expected;
  };
  const Case cases[] = {
      {"a quarter turn", kVectorUnitX, kVectorUnitY, kVectorUnitX,
       CQuaternion::FromAxisAngle(kVectorUnitZ, kHalfPi)},
      {"no turn", kVectorUnitX, kVectorUnitX, kVectorUnitZ, kQuaternionIdentity},
      {"opposite", kVectorUnitX, -kVectorUnitX, kVectorUnitZ, CQuaternion::FromAxisAngle(kVectorUnitZ, kPi)},
      {"a zero input", kVectorUnitX, kVectorZero, kVectorUnitZ, CQuaternion::FromAxisAngle(kVectorUnitZ, kHalfPi)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectSameRotation(QuaternionFromTo(c.a, c.b, c.fallback), c.expected, 1e-6f);
  }
  EXPECT_TRUE(IsDegenerateAngle(0.0f));
  EXPECT_TRUE(IsDegenerateAngle(kPi));
  EXPECT_FALSE(IsDegenerateAngle(0.001f));
}

TEST_F(PathTest, AlignmentsTurnTheirAxisOntoTheDirection) {
  const CQuaternion expectedTable[6] = {{0, 0, 0, 1},
                                        {0, 0, -0.70710671f, 0.70710677f},
                                        {0.70710671f, 0, 0.70710677f, 0},
                                        {0, 0, 1, 0},
                                        {0, 0, 0.70710671f, 0.70710677f},
                                        {0, -0.70710671f, 0, 0.70710677f}};
  const CVector3<float> axes[6] = {kVectorUnitX, kVectorUnitY, kVectorUnitZ,
                                   -kVectorUnitX, -kVectorUnitY, -kVectorUnitZ};
  CPointer<CPath> path = MakePath({{0, 0, 0}, {1, 0, 0}});
  PlaceAt(*path, 0.7f, {3, 4, 5});
  const CVector3<float> direction = Unit({1.0f, -2.0f, 0.5f});
  const CVector3<float> heading = Unit({1.0f, -2.0f, 0.0f});
  const CQuaternion bank = CQuaternion::FromAxisAngle(kVectorUnitX, 0.4f);
  for (u32 a = 0; a < 6; ++a) {
    SCOPED_TRACE(a);
    EXPECT_EQ(CPath::kAlignAxisRotation[a], expectedTable[a]);
    CQuaternion o;
    ASSERT_EQ(CPath::OrientAlongHeading(direction, bank, a, true, o), kOk);
    ExpectNear(Rotated(axes[a], o), heading, 1e-5f);
    ASSERT_EQ(path->OrientAlongDirection(direction, bank, a, true, o), kOk);
    ExpectNear(Rotated(axes[a], o), direction, 1e-5f);
    ASSERT_EQ(path->OrientAlongDirection(direction, bank, a, false, o), kOk);
    ExpectNear(Rotated(axes[a], o), direction, 1e-5f);
  }
  CQuaternion untouched{1, 2, 3, 4};
  EXPECT_EQ(CPath::OrientAlongHeading(direction, bank, 6, true, untouched), kErrOutOfRange);
  EXPECT_EQ(path->OrientAlongDirection(direction, bank, 6, true, untouched), kErrOutOfRange);
  EXPECT_EQ(untouched, CQuaternion(1, 2, 3, 4));
}

TEST_F(PathTest, BankTurnsAboutTheDirectionAndVerticalDirectionsStayDefined) {
  CPointer<CPath> path = MakePath({{0, 0, 0}, {1, 0, 0}});
  const CQuaternion bank = CQuaternion::FromAxisAngle(kVectorUnitX, kHalfPi);
  CQuaternion o;
  ASSERT_EQ(path->OrientAlongDirection(kVectorUnitX, bank, 0, true, o), kOk);
  ExpectNear(Rotated(kVectorUnitY, o), kVectorUnitZ, 1e-6f);
  ASSERT_EQ(path->OrientAlongDirection(kVectorUnitZ, kQuaternionIdentity, 0, true, o), kOk);
  ExpectNear(Rotated(kVectorUnitX, o), kVectorUnitZ, 1e-6f);
  EXPECT_NEAR(o.Dot(o), 1.0f, 1e-6f);
  ASSERT_EQ(CPath::OrientAlongHeading(kVectorUnitZ, kQuaternionIdentity, 0, false, o), kOk);
  ExpectSameRotation(o, kQuaternionIdentity, 1e-6f);
}

// --- world sampling and frames ---------------------------------------------------------------

TEST_F(PathTest, SampleWorld) {
  CPointer<CPath> path = MakePath({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}});
  PlaceAt(*path, kHalfPi, {5, 0, 0});
  struct Case {
    f32 t;
    CVector3<float> position, tangent;
  };
  // Local X becomes world Y; the corner at t = 0.5.
  const Case cases[] = {
      {0.0f, {5, 0, 0}, {0, 1, 0}},
      {0.25f, {5, 5, 0}, {0, 1, 0}},
      {0.5f, {5, 10, 0}, Unit({-1, 1, 0})},
      {1.0f, {-5, 10, 0}, {-1, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.t);
    CVector3<float> position, tangent;
    CQuaternion up{1, 0, 0, 0};
    ASSERT_EQ(path->SampleWorld(c.t, position, tangent, up), kOk);
    ExpectNear(position, c.position, 1e-4f);
    ExpectNear(tangent, c.tangent, 1e-4f);
    EXPECT_EQ(up, kQuaternionIdentity);
  }
  CPointer<CPath> empty = MakePath({});
  CVector3<float> position{7, 7, 7}, tangent;
  CQuaternion up;
  EXPECT_EQ(empty->SampleWorld(0.5f, position, tangent, up), kErrNotFound);
  EXPECT_EQ(position, CVector3<float>(7, 7, 7));
}

TEST_F(PathTest, UpdateBuildsAWorldFrameAtEveryControl) {
  CPointer<CPath> path = MakePath({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}});
  path->SetCtrlUp({CQuaternion::FromAxisAngle(kVectorUnitX, kHalfPi)});  // the others read as the identity
  PlaceAt(*path, 0.0f, {1, 2, 3});
  ASSERT_EQ(path->Update(0), kOk);
  const std::vector<CMatrix4>& frames = path->GetCtrlWorldMatrix();
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[1].GetTranslation(), CVector3<float>(11, 2, 3));
  EXPECT_EQ(frames[2].GetTranslation(), CVector3<float>(11, 12, 3));
  // Control 0 heads along X, banked a quarter turn: its Y row is Z.
  ExpectNear(kVectorUnitX.TransformByMatrix3(frames[0].GetRotation3x3()), kVectorUnitX, 1e-5f);
  ExpectNear(kVectorUnitY.TransformByMatrix3(frames[0].GetRotation3x3()), kVectorUnitZ, 1e-5f);
  ExpectNear(kVectorUnitX.TransformByMatrix3(frames[2].GetRotation3x3()), kVectorUnitY, 1e-5f);
  ExpectNear(kVectorUnitY.TransformByMatrix3(frames[2].GetRotation3x3()), -kVectorUnitX, 1e-5f);
}

TEST_F(PathTest, ThePathIsUpdatedInEveryDataPass) {
  CPointer<CNode> root;
  ASSERT_EQ(CNode::Create(root), kOk);
  CPointer<CPath> path = MakePath({{0, 0, 0}, {10, 0, 0}});
  root->AddChild(path.Get());
  std::vector<CDorun*> animated;
  ASSERT_EQ(path->CollectAnimated(animated), kOk);
  ASSERT_EQ(path->CollectAnimated(animated), kOk);
  EXPECT_EQ(animated, std::vector<CDorun*>{path.Get()});
  PlaceAt(*path, 0.0f, {0, 0, 7});
  ASSERT_EQ(root->UpdateScene(0, 0, 0.0f, false, nullptr, false), kOk);
  EXPECT_EQ(path->GetCtrlWorldMatrix()[1].GetTranslation(), CVector3<float>(10, 0, 7));
}

TEST_F(PathTest, Bounds) {
  CPointer<CPath> path = MakePath({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}});
  PlaceAt(*path, 0.0f, {1, 1, 1});
  CBound expected;
  expected.SetMinMax({1, 1, 1}, {11, 11, 1});
  CBound bound;
  EXPECT_EQ(path->GetBound(bound), kOk);
  EXPECT_EQ(bound, expected);
  ASSERT_EQ(path->UpdateWorldBound(), kOk);
  EXPECT_EQ(path->GetWorldBound(), expected);

  CBound untouched;
  untouched.SetMinMax({-1, -1, -1}, {1, 1, 1});
  bound = untouched;
  path->SetActive(false);
  EXPECT_EQ(path->GetBound(bound), kDone);
  EXPECT_EQ(bound, untouched);
  CPointer<CPath> empty = MakePath({});
  EXPECT_EQ(empty->GetBound(bound), kDone);
  EXPECT_EQ(bound, CBound());
}

// --- copies ------------------------------------------------------------------------------------

TEST_F(PathTest, CopiesCarryTheRunTimeTables) {
  CPointer<CPath> source = MakePath({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}}, CPath::PT_Spline);
  source->SetCtrlUp({kQuaternionIdentity});
  source->SetColor(0.1f, 0.2f, 0.3f);
  source->SetHasGuidePoints(true);
  CPointer<CBase> instance;
  ASSERT_EQ(source->CreateInstance(instance), kOk);
  CPath* made = DynamicCast<CPath>(instance.Get());
  ASSERT_NE(made, nullptr);
  CPointer<CPath> target = MakePath({{5, 5, 5}});
  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
  for (CPath* copy : {made, target.Get()}) {
    EXPECT_EQ(test::Members(copy), test::Members(source.Get()));
    EXPECT_TRUE(copy->IsLineValid());
    EXPECT_EQ(copy->GetLineBound(), source->GetLineBound());
    EXPECT_EQ(copy->GetSpline(2).size(), 3u);
    EXPECT_TRUE(copy->GetHasGuidePoints());
    CVector3<float> a, b;
    ASSERT_EQ(copy->PositionAtParameter(0.3f, a), kOk);
    ASSERT_EQ(source->PositionAtParameter(0.3f, b), kOk);
    EXPECT_EQ(a, b);
  }

  CPointer<CNode> node;
  ASSERT_EQ(CNode::Create(node), kOk);
  node->SetActive(false);
  EXPECT_EQ(source->CopyTo(node.Get(), displaced, 0), kErrNotFound);
  EXPECT_FALSE(node->IsActive());
  EXPECT_EQ(source->CopyTo(nullptr, displaced, 0), kErrInvalidArg);
}

TEST_F(PathTest, ClearPathKeepsOnlyTheDirections) {
  CPointer<CPath> path = MakePath({{0, 0, 0}, {10, 0, 0}});
  path->SetCtrlUp({kQuaternionIdentity});
  path->SetModified(false);
  path->ClearPath();
  EXPECT_TRUE(path->IsModified());
  EXPECT_TRUE(path->GetCtrlXYZ().empty());
  EXPECT_TRUE(path->GetCtrlUp().empty());
  EXPECT_TRUE(path->GetLength().empty());
  EXPECT_TRUE(path->GetLineXYZ().empty());
  EXPECT_TRUE(path->GetCtrlLocal().empty());
  EXPECT_EQ(path->GetCtrlDir().size(), 2u);
}

// --- persistence -------------------------------------------------------------------------------

TEST_F(PathTest, SaveSizeGrowsWithTheControls) {
  // The fixed part (38 bytes after the spatial's) is checked against the
  // bytes written by SaveLoadSave.
  CPointer<CPath> path = MakePath({});
  const u32 empty = path->GetSaveSize();
  path->SetCtrlXYZ({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
  path->SetCtrlUp({kQuaternionIdentity, kQuaternionIdentity, kQuaternionIdentity});
  EXPECT_EQ(path->GetSaveSize(), empty + 36 + 48);
}

CPointer<CPath> SavedPath() {
  CPointer<CPath> path;
  EXPECT_EQ(CPath::Create(path), kOk);
  path->SetName(u"road");
  path->SetCtrlXYZ({{-20, 5, 0}, {-10, 0, 0}, {0, 0, 0}, {10, 3, 0}, {20, 0, 1}, {30, 0, 0}});
  path->SetCtrlUp({kQuaternionIdentity, CQuaternion::FromAxisAngle(kVectorUnitX, 0.5f)});
  path->SetHasGuidePoints(true);
  path->SetSampleDensity(50.0f);
  path->SetColor(0.25f, 0.5f, 0.75f);
  // As a load does: the line is built without the terrain, then the switch
  // is set.
  path->Rebuild(-1);
  path->SetProjectToTerrain(true);
  return path;
}

TEST_F(PathTest, SaveLoadSave) {
  CPointer<CPath> path = SavedPath();
  const Bytes first = test::SaveRoots({path.Get()});
  EXPECT_EQ(first.size(), 40u + path->GetSaveSize());
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  CPath* loaded = DynamicCast<CPath>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  EXPECT_FALSE(loaded->IsModified());
  EXPECT_TRUE(loaded->GetProjectToTerrain());
  EXPECT_TRUE(loaded->IsLineValid());
  EXPECT_EQ(test::Members(loaded), test::Members(path.Get()));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
}

TEST_F(PathTest, EveryPrefixFailsCleanly) {
  CPointer<CPath> path = SavedPath();
  const Bytes bytes = test::SaveRoots({path.Get()});
  test::ExpectPrefixesFailBetweenRecords(bytes);
}

// A CPath record with the given version: the points, then the bank
// rotations exactly as given (the caller orders their components), then
// the fields that version stores.
ByteWriter PathBody(u64 id, u32 version, const Points& points, const std::vector<CQuaternion>& ups,
                    bool project = false, u32 type = CPath::PT_Linear) {
  ByteWriter w;
  test::ObjectHead(w, id);
  test::SpatialPart206(w);
  w.Pair(version / 100, version % 100).U32(static_cast<u32>(points.size()));
  for (const CVector3<float>& p : points) w.F32(p.x).F32(p.y).F32(p.z);
  w.U32(static_cast<u32>(ups.size()));
  for (const CQuaternion& q : ups) w.F32(q.x).F32(q.y).F32(q.z).F32(q.w);
  w.U32(type).U8(project ? 1 : 0).F32(30.0f);
  if (version >= 101) w.F32(0.5f).F32(0.25f).F32(0.125f);
  if (version >= 102) w.U8(1);
  return w;
}

// (w, x, y, z) as the records before 1.03 store a rotation.
CQuaternion WFirst(const CQuaternion& q) { return {q.w, q.x, q.y, q.z}; }

TEST_F(PathTest, OlderRecordsLoad) {
  const CQuaternion bank = CQuaternion::FromAxisAngle(kVectorUnitX, 0.5f);
  const CQuaternion heading = CQuaternion::FromAxisAngle(kVectorUnitZ, kHalfPi);
  const Points alongX = {{0, 0, 0}, {10, 0, 0}};
  const Points alongY = {{0, 0, 0}, {0, 10, 0}};
  struct Row {
    const char* what;
    u32 version;
    Points points;
    std::vector<CQuaternion> stored;
    std::vector<CQuaternion> expected;
    bool randomColour;
    bool guide;
  };
  const Row rows[] = {
      {"1.00: random colour", 100, alongX, {WFirst(kQuaternionIdentity)}, {kQuaternionIdentity}, true, false},
      {"1.01: stored colour", 101, alongX, {WFirst(bank)}, {bank}, false, false},
      {"1.02: an identity stored as (1, 0, 0, 0)", 102, alongX, {{1, 0, 0, 0}}, {kQuaternionIdentity}, false, true},
      {"1.02: heading taken out of the orientation", 102, alongY, {WFirst(heading * bank)}, {bank}, false, true},
      {"1.02: entries without a direction are only reordered",
       102,
       alongX,
       {WFirst(bank), WFirst(bank), WFirst(heading)},
       {bank, bank, heading},
       false,
       true},
      {"1.03: banks as stored", 103, alongY, {bank, heading}, {bank, heading}, false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CrtSrand(5);
    CStream stream;
    CMemoryIo device;
    const Bytes bytes =
        test::SceneFile().Record("CPath", PathBody(1, row.version, row.points, row.stored), true).Data();
    ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
    CPath* path = DynamicCast<CPath>(stream.GetRootObject(0));
    ASSERT_NE(path, nullptr);
    ASSERT_EQ(path->GetCtrlUp().size(), row.expected.size());
    for (std::size_t i = 0; i < row.expected.size(); ++i) {
      ExpectSameRotation(path->GetCtrlUp()[i], row.expected[i], 1e-5f);
    }
    EXPECT_EQ(path->GetHasGuidePoints(), row.guide);
    EXPECT_EQ(path->GetSampleDensity(), 30.0f);
    EXPECT_EQ(path->GetLength(), (std::vector<f32>{0.0f, 1.0f}));
    if (row.randomColour) {
      // The factory's default path draws three values, the load three more.
      CrtSrand(5);
      CPath skipped;
      const f32 red = RandomUnit(0.0f);
      const f32 green = RandomUnit(0.0f);
      const f32 blue = RandomUnit(0.0f);
      EXPECT_EQ(path->GetColor(), CColor(red, green, blue, 1.0f));
    } else {
      EXPECT_EQ(path->GetColor(), CColor(0.5f, 0.25f, 0.125f, 1.0f));
    }
  }
}

TEST_F(PathTest, AProjectedPathLoadsItsLineWithoutTheTerrain) {
  struct Terrain : CTerrainSampler {
    Result Sample(f32, f32, f32& h, CVector3<float>& n) override {
      h = 9.0f;
      n = kVectorUnitZ;
      return kOk;
    }
  } terrain;
  CPath::SetTerrainSampler(&terrain);
  CStream stream;
  CMemoryIo device;
  const Bytes bytes =
      test::SceneFile().Record("CPath", PathBody(1, 103, {{0, 0, 0}, {100, 0, 0}}, {}, true), true).Data();
  const Result r = test::LoadScene(bytes, stream, device);
  CPath::SetTerrainSampler(nullptr);
  ASSERT_EQ(r, kOk);
  CPath* path = DynamicCast<CPath>(stream.GetRootObject(0));
  ASSERT_NE(path, nullptr);
  EXPECT_TRUE(path->GetProjectToTerrain());
  EXPECT_EQ(path->GetLineXYZ(), (Points{{0, 0, 0}, {100, 0, 0}}));
  EXPECT_TRUE(path->GetLineNormal().empty());
}

TEST_F(PathTest, CountsBeyondTheFileAreRefused) {
  for (bool inUps : {false, true}) {
    SCOPED_TRACE(inUps);
    ByteWriter w;
    test::ObjectHead(w, 1);
    test::SpatialPart206(w);
    w.Pair(1, 3);
    if (inUps) w.U32(1).F32(0).F32(0).F32(0);
    w.U32(0x10000000u);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(test::SceneFile().Record("CPath", w, true).Data(), stream, device), kErrStream);
  }
}

}  // namespace
}  // namespace KT
