// The path constraint: the wrap of path parameters, the place and turn it
// gives along one or two paths, the divisor, the parent's space, its
// answers without keys or object, the update depth, copies, and every
// record form.
#include "controllers/composite/path_control.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "controllers/composite/constraint_test_support.h"
#include "controllers/composite/share_control.h"
#include "controllers/core/transform_test_support.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/stream_test_support.h"
#include "render/lights/light_test_support.h"
#include "scene/node.h"
#include "scene/path.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::kFirstRecordOffset;
using Vec3 = CVector3<float>;
using PathKey = CPathControl::CPathKey;

class PathControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTransformTestClasses();
    CClassFactory::Register("CPathControl", &CreateObject<CPathControl>);
    CClassFactory::Register("CPath", &CreateObject<CPath>);
    CClassFactory::Register("CNode", &CreateObject<CNode>);
    test::UseTestIds(0);
  }
};

// A straight path from `from` to `to`, named `name`.
CPointer<CPath> Line(const char16_t* name, const Vec3& from, const Vec3& to) {
  CPointer<CPath> path;
  EXPECT_EQ(CPath::Create(path), kOk);
  path->SetName(name);
  path->SetCtrlXYZ({from, to});
  path->SetPathType(CPath::PT_Linear);
  EXPECT_EQ(path->Rebuild(-1), kOk);
  return path;
}

PathKey Key(i32 time, CPath* path, f32 pathTime, bool follow = false, u32 align = CPathControl::XAxis) {
  PathKey key;
  key.Time = time;
  key.RefPath.Set(path);
  key.PathTime = pathTime;
  key.Follow = follow;
  key.AlignAxis = align;
  return key;
}

CMatrix3 TurnZ(f32 angle) { return CQuaternion::FromAxisAngle({0.0f, 0.0f, 1.0f}, angle).ToMatrix3(); }

// A rider at the origin (turned by `rotate`) with a path control of `keys`.
struct Rider {
  CPointer<CNode> node;
  CPointer<CPathControl> control{new CPathControl()};
  explicit Rider(std::initializer_list<PathKey> keys, const CMatrix3& rotate = kMatrix3Identity)
      : node(test::Placed(u"rider", {0, 0, 0}, rotate)) {
    EXPECT_EQ(node->AddControl(control.Get()), kOk);
    for (const PathKey& key : keys) EXPECT_EQ(control->EditKeys().SetKey(key), kOk);
  }
  Vec3 At(i32 time) {
    EXPECT_EQ(control->UpdateTransform(time), kOk);
    return control->GetWorldMatrix().GetTranslation();
  }
};

TEST_F(PathControlTest, WrapFoldsParametersIntoTheUnitIntervalKeepingTheEnd) {
  struct Row {
    f32 x;
    f32 expected;
  };
  for (const Row& row : {Row{1.0f, 1.0f}, Row{2.5f, 0.5f}, Row{-0.25f, 0.75f}, Row{3.0f, 1.0f}, Row{0.0f, 0.0f},
                         Row{0.3f, 0.3f}, Row{-1.0f, 1.0f}}) {
    SCOPED_TRACE(row.x);
    EXPECT_FLOAT_EQ(CPathControl::WrapPathTime(row.x), row.expected);
  }
  EXPECT_TRUE(std::isnan(CPathControl::WrapPathTime(NAN)));
}

TEST_F(PathControlTest, OnePathBlendsTheParameter) {
  CPointer<CPath> line = Line(u"line", {0, 0, 0}, {10, 0, 0});
  Rider rider{Key(0, line.Get(), 0.2f), Key(1000, line.Get(), 0.8f)};
  struct Row {
    i32 time;
    f32 x;
  };
  for (const Row& row : {Row{0, 2}, Row{500, 5}, Row{750, 6.5f}, Row{1000, 8}, Row{5000, 8}}) {
    SCOPED_TRACE(row.time);
    test::ExpectNear(rider.At(row.time), {row.x, 0, 0}, 1e-4f);
  }
  // The later key's easing, clamped: a step holds the earlier key.
  rider.control->EditKeys()[1].TransitionType = TT_STEP;
  test::ExpectNear(rider.At(999), {2, 0, 0}, 1e-4f);
}

TEST_F(PathControlTest, ParametersPastTheEndWrapAndOneIsTheEnd) {
  CPointer<CPath> line = Line(u"line", {0, 0, 0}, {10, 0, 0});
  struct Row {
    f32 pathTime;
    f32 x;
  };
  for (const Row& row : {Row{1.25f, 2.5f}, Row{1.0f, 10.0f}, Row{-0.25f, 7.5f}}) {
    SCOPED_TRACE(row.pathTime);
    Rider rider{Key(0, line.Get(), row.pathTime)};
    test::ExpectNear(rider.At(0), {row.x, 0, 0}, 1e-4f);
  }
  // A parameter that is no number evaluates without reading past the path.
  for (const f32 odd : {NAN, INFINITY, -INFINITY}) {
    Rider rider{Key(0, line.Get(), odd, true)};
    EXPECT_EQ(rider.control->UpdateTransform(0), kOk);
  }
}

TEST_F(PathControlTest, TwoPathsBlendTheirPointsInAStraightLine) {
  CPointer<CPath> low = Line(u"low", {0, 0, 0}, {10, 0, 0});
  CPointer<CPath> high = Line(u"high", {0, 10, 0}, {10, 10, 0});
  Rider rider{Key(0, low.Get(), 0.0f), Key(1000, high.Get(), 1.0f)};
  for (const i32 time : {0, 250, 500, 1000}) {
    SCOPED_TRACE(time);
    const f32 f = static_cast<f32>(time) / 1000.0f;
    test::ExpectNear(rider.At(time), {10 * f, 10 * f, 0}, 1e-4f);
  }
}

TEST_F(PathControlTest, ANextKeyWithoutPathStaysOnTheEarlierPath) {
  CPointer<CPath> line = Line(u"line", {0, 0, 0}, {10, 0, 0});
  Rider rider{Key(0, line.Get(), 0.0f), Key(1000, nullptr, 1.0f)};
  test::ExpectNear(rider.At(500), {5, 0, 0}, 1e-4f);
}

TEST_F(PathControlTest, FollowOffKeepsTheRotation) {
  CPointer<CPath> line = Line(u"line", {0, 0, 0}, {0, 10, 0});
  Rider rider{{Key(0, line.Get(), 0.5f)}, TurnZ(0.3f)};
  rider.At(0);
  test::ExpectNear(rider.control->GetWorldRotate(), TurnZ(0.3f));
  test::ExpectNear(rider.control->GetWorldMatrix().GetRotation3x3(), TurnZ(0.3f));
}

TEST_F(PathControlTest, EachAlignAxisLaysItsAxisAlongThePath) {
  const f32 s = 0.70710677f;
  const CQuaternion expected[6] = {{0, 0, 0, 1}, {0, 0, -s, s}, {s, 0, s, 0},
                                   {0, 0, 1, 0}, {0, 0, s, s},  {0, -s, 0, s}};
  CPointer<CPath> line = Line(u"line", {0, 0, 0}, {10, 0, 0});
  for (u32 align = 0; align < 6; ++align) {
    SCOPED_TRACE(align);
    // Whatever the rider's turn was, following sets it.
    Rider rider{{Key(0, line.Get(), 0.5f, true, align)}, TurnZ(0.7f)};
    rider.At(0);
    test::ExpectSameRotation(rider.control->GetWorldRotate().ToQuaternion(), expected[align]);
    test::ExpectSameRotation(rider.control->GetLocal().Rotate, expected[align]);
  }
}

TEST_F(PathControlTest, FollowingTurnsWithThePathAndSlerpsBetweenKeys) {
  CPointer<CPath> east = Line(u"east", {0, 0, 0}, {10, 0, 0});
  CPointer<CPath> north = Line(u"north", {0, 0, 0}, {0, 10, 0});
  Rider rider{Key(0, east.Get(), 0.5f, true), Key(1000, north.Get(), 0.5f, true)};
  struct Row {
    i32 time;
    f32 angle;
  };
  for (const Row& row : {Row{0, 0.0f}, Row{500, kHalfPi * 0.5f}, Row{1000, kHalfPi}}) {
    SCOPED_TRACE(row.time);
    rider.At(row.time);
    test::ExpectNear(rider.control->GetWorldRotate(), TurnZ(row.angle));
  }
}

TEST_F(PathControlTest, ThePositionDividesByThePositionDivisor) {
  CPointer<CPath> line = Line(u"line", {0, 0, 0}, {10, 4, -6});
  Rider rider{Key(0, line.Get(), 1.0f)};
  rider.control->SetPositionDivisor({2, 2, 2});
  test::ExpectNear(rider.At(0), {5, 2, -3}, 1e-4f);
  rider.control->SetPositionDivisor({1, 4, -2});
  test::ExpectNear(rider.At(0), {10, 1, 3}, 1e-4f);
}

TEST_F(PathControlTest, LocalIsThePlaceInTheParentsSpace) {
  CPointer<CNode> parent = test::Placed(u"parent", {0, 5, 0}, TurnZ(kHalfPi));
  CPointer<CPath> line = Line(u"line", {0, 0, 0}, {10, 0, 0});
  Rider rider{Key(0, line.Get(), 0.5f)};
  ASSERT_EQ(parent->AddChild(rider.node.Get()), kOk);
  CRtsTransform own = kIdentityTransform;
  own.Scale = {2, 2, 2};
  rider.node->SetLocal(own);
  rider.At(0);
  // (5, 0, 0) in the world is (-5, -5, 0) before the parent's quarter turn.
  test::ExpectNear(rider.control->GetLocal().Translate, {-5, -5, 0}, 1e-4f);
  // The world rotation stays, so Local undoes the parent's turn.
  test::ExpectSameRotation(rider.control->GetLocal().Rotate, CQuaternion::FromAxisAngle({0, 0, 1}, -kHalfPi));
  test::ExpectNear(rider.control->GetLocal().Scale, {2, 2, 2});
  ASSERT_EQ(rider.control->ApplyTransform(), kOk);
  test::ExpectNear(rider.node->GetWorldMatrix().GetTranslation(), {5, 0, 0}, 1e-4f);
}

TEST_F(PathControlTest, WithoutAPlaceToGoTheSlaveModeDecides) {
  CPointer<CPath> line = Line(u"line", {0, 0, 0}, {10, 0, 0});
  Rider none{};
  EXPECT_EQ(none.control->GetSlaveMode(), u32{CRTSControl::SM_CURRENT_WORLD});
  EXPECT_EQ(none.control->GetEndTime(), 0);
  CMatrix4 world;
  world.SetTranslation({1, 2, 3});
  none.node->SetWorld(kMatrix3Identity, kMatrix3Identity, world);
  test::ExpectNear(none.At(0), {1, 2, 3});

  Rider before{Key(100, line.Get(), 0.5f)};
  before.node->SetWorld(kMatrix3Identity, kMatrix3Identity, world);
  test::ExpectNear(before.At(99), {1, 2, 3});
  test::ExpectNear(before.At(100), {5, 0, 0}, 1e-4f);

  Rider pathless{Key(0, nullptr, 0.5f), Key(1000, line.Get(), 0.5f)};
  pathless.node->SetWorld(kMatrix3Identity, kMatrix3Identity, world);
  test::ExpectNear(pathless.At(500), {1, 2, 3});
  EXPECT_EQ(pathless.control->GetEndTime(), 1000);

  // A path without samples counts as the origin.
  CPointer<CPath> empty;
  ASSERT_EQ(CPath::Create(empty), kOk);
  Rider lost{Key(0, empty.Get(), 0.5f, true)};
  lost.node->SetWorld(kMatrix3Identity, TurnZ(0.4f), world);
  test::ExpectNear(lost.At(0), {0, 0, 0});
}

TEST_F(PathControlTest, UnboundInactiveAndForeignObjectsAreAnswered) {
  CPointer<CPath> line = Line(u"line", {0, 0, 0}, {10, 0, 0});
  CPointer<CPathControl> loose(new CPathControl());
  ASSERT_EQ(loose->EditKeys().SetKey(Key(0, line.Get(), 0.5f)), kOk);
  EXPECT_EQ(loose->UpdateTransform(0), kErrInvalidArg);
  EXPECT_EQ(kErrInvalidArg, static_cast<Result>(0x80000003));
  CPointer<test::CTestDorun> notSpatial(new test::CTestDorun());
  ASSERT_EQ(notSpatial->AddControl(loose.Get()), kOk);
  EXPECT_EQ(loose->UpdateTransform(0), kErrNotFound);
  Rider rider{Key(0, line.Get(), 0.5f)};
  rider.control->SetActive(false);
  EXPECT_EQ(rider.control->UpdateTransform(0), kDone);
  test::ExpectNear(rider.control->GetWorldMatrix().GetTranslation(), {0, 0, 0});
}

TEST_F(PathControlTest, TheDepthRisesAboveThePathsInEffectAndNext) {
  CPointer<CNode> grand(new CNode());
  CPointer<CNode> child(new CNode());
  CPointer<CPath> deep = Line(u"deep", {0, 0, 0}, {1, 0, 0});
  CPointer<CPath> shallow = Line(u"shallow", {0, 0, 0}, {1, 0, 0});
  ASSERT_EQ(grand->AddChild(child.Get()), kOk);
  ASSERT_EQ(child->AddChild(deep.Get()), kOk);
  for (CSpatial* s : std::initializer_list<CSpatial*>{grand.Get(), child.Get(), deep.Get(), shallow.Get()}) {
    s->SetDirty();
  }
  Rider rider{Key(0, shallow.Get(), 0), Key(1000, shallow.Get(), 0), Key(2000, deep.Get(), 0)};
  struct Row {
    i32 time;
    i32 depth;
  };
  for (const Row& row : {Row{-5, 0}, Row{500, 1}, Row{1500, 3}, Row{2500, 3}}) {
    SCOPED_TRACE(row.time);
    i32 depth = 0;
    EXPECT_EQ(rider.control->GetUpdateDepth(row.time, depth), kOk);
    EXPECT_EQ(depth, row.depth);
  }
}

TEST_F(PathControlTest, CopiesTakeKeysAndDivisorAndRefuseOtherClasses) {
  CPointer<CPath> line = Line(u"line", {0, 0, 0}, {10, 0, 0});
  Rider rider{Key(0, line.Get(), 0.1f), Key(100, line.Get(), 0.9f, true)};
  rider.control->SetPositionDivisor({2, 3, 4});
  rider.At(50);
  EXPECT_EQ(rider.control->GetKeys().GetLastIndex(), 1u);
  CPointer<CPathControl> copy(new CPathControl());
  DisplacedList displaced;
  ASSERT_EQ(rider.control->CopyTo(copy.Get(), displaced, 0), kOk);
  ASSERT_EQ(copy->GetKeys().Size(), 2u);
  EXPECT_EQ(copy->GetKeys()[1].RefPath.Get(), line.Get());
  EXPECT_TRUE(copy->GetKeys()[1].Follow);
  EXPECT_EQ(copy->GetKeys().GetLastIndex(), 0u);
  test::ExpectNear(copy->GetPositionDivisor(), {2, 3, 4});

  // A transform control of another class gets nothing, not even the base
  // part.
  CPointer<CShareControl> other(new CShareControl());
  rider.control->SetFrequency(3.0f);
  EXPECT_EQ(rider.control->CopyTo(other.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(other->GetFrequency(), 1.0f);
  EXPECT_EQ(rider.control->CopyTo(nullptr, displaced, 0), kErrNotFound);

  CPointer<CBase> instance;
  ASSERT_EQ(rider.control->CreateInstance(instance), kOk);
  auto* made = DynamicCast<CPathControl>(instance.Get());
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->GetKeys().Size(), 2u);
  EXPECT_EQ(made->GetKeys().GetLastIndex(), 0u);
  EXPECT_TRUE(made->HasSubObjects());
}

TEST_F(PathControlTest, PathsFollowClonesAndNamesButAreNeverCloned) {
  CPointer<CNode> scene(new CNode());
  CPointer<CPath> inside = Line(u"inside", {0, 0, 0}, {10, 0, 0});
  CPointer<CPath> outside = Line(u"outside", {0, 0, 0}, {10, 0, 0});
  Rider rider{Key(0, inside.Get(), 0.1f), Key(100, outside.Get(), 0.9f)};
  ASSERT_EQ(scene->AddChild(rider.node.Get()), kOk);
  ASSERT_EQ(scene->AddChild(inside.Get()), kOk);
  CloneMap map;
  CPointer<CBase> copy;
  ASSERT_GE(scene->Clone(copy, map, 0), 0);
  ASSERT_EQ(copy->RemapAllReferences(map), kOk);
  auto* copiedRider = DynamicCast<CNode>(copy->Find(u"rider", &CNode::StaticClassRecord(), true, false));
  ASSERT_NE(copiedRider, nullptr);
  auto* copied = DynamicCast<CPathControl>(copiedRider->GetFirstControl());
  ASSERT_NE(copied, nullptr);
  EXPECT_EQ(copied->GetKeys()[0].RefPath.Get(), map.at(inside.Get()).Get());
  EXPECT_EQ(copied->GetKeys()[1].RefPath.Get(), outside.Get());

  CPointer<CNode> other(new CNode());
  CPointer<CPath> renamed = Line(u"inside", {0, 0, 0}, {1, 0, 0});
  ASSERT_EQ(other->AddChild(renamed.Get()), kOk);
  EXPECT_EQ(rider.control->ResolveReferences(nullptr), kErrInvalidArg);
  ASSERT_EQ(rider.control->ResolveReferences(other.Get()), kOk);
  EXPECT_EQ(rider.control->GetKeys()[0].RefPath.Get(), renamed.Get());
  EXPECT_EQ(rider.control->GetKeys()[1].RefPath.Get(), nullptr);
}

// --- records ---------------------------------------------------------------------------------

TEST_F(PathControlTest, SavesLoadsAndSavesTheSameBytes) {
  CPointer<CNode> scene(new CNode());
  scene->SetName(u"scene");
  CPointer<CPath> line = Line(u"line", {0, 0, 0}, {10, 0, 0});
  PathKey second = Key(500, line.Get(), 0.75f, true, CPathControl::NZAxis);
  second.FollowTerrain = true;
  second.TransitionType = TT_EASE_IN;
  Rider rider{Key(0, line.Get(), 0.25f), second};
  rider.control->SetPositionDivisor({1, 2, 3});
  for (CSpatial* child : std::initializer_list<CSpatial*>{rider.node.Get(), line.Get()}) {
    ASSERT_EQ(scene->AddChild(child), kOk);
  }
  EXPECT_EQ(rider.control->GetSaveSize(), rider.control->CRTSControl::GetSaveSize() + 24 + 2 * 54);
  const Bytes first = test::SaveRoots({scene.Get()});
  // The second key's own part: the pair 1.00, the path id, PathTime,
  // AlignAxis and both flags.
  const Bytes keyImage =
      ByteWriter().Pair(1, 0).U64(line->GetUniqueId()).F32(0.75f).U32(CPathControl::NZAxis).U8(1).U8(1).Data();
  EXPECT_NE(std::search(first.begin(), first.end(), keyImage.begin(), keyImage.end()), first.end());

  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  EXPECT_EQ(test::LoadedRecordBytes(stream) + kFirstRecordOffset, first.size());
  CBase* loaded = stream.GetRootObject(0);
  EXPECT_EQ(test::Members(loaded), test::Members(scene.Get()));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
  auto* control = DynamicCast<CPathControl>(
      DynamicCast<CNode>(loaded->Find(u"rider", &CNode::StaticClassRecord(), true, false))->GetFirstControl());
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->GetKeys()[1].RefPath->GetName(), u"line");
  test::ExpectNear(control->GetPositionDivisor(), {1, 2, 3});
  test::ExpectPrefixesFailBetweenRecords(first, kFirstRecordOffset);

  const std::string members = test::Members(rider.control.Get());
  test::ExpectNamesInOrder(members, {"CPathControl Member", "LastIndex", "Time", "RefPath", "PathTime", "AlignAxis",
                                     "NZAxis", "Follow", "FollowTerrain", "TransitionType", "TransitionStrength",
                                     "CRTSControl Member"});
  EXPECT_EQ(members.find("PositionDivisor"), std::string::npos);
}

// --- older record forms -------------------------------------------------------------------------

constexpr u64 kControlId = 0x10;
constexpr u64 kRiderId = 0x20;
constexpr u64 kNotPathId = 0x50;

ByteWriter Head(u32 minor, u32 rtsMinor = 2, u32 slaveMode = 0) {
  return test::TransformControlHead(kControlId, kRiderId, rtsMinor, slaveMode).Pair(1, minor);
}

// A path key record of key version 1.`keyMinor`.
ByteWriter& KeyRecord(ByteWriter& w, i32 time, u64 path, f32 pathTime, u32 keyMinor = 0) {
  w.Pair(1, 0).I32(time).Pair(1, 0).U32(TT_EASE_OUT).F32(70).Pair(1, keyMinor);
  return w.U64(path).F32(pathTime).U32(CPathControl::YAxis).U8(1).U8(0);
}

// The record body of a path `line` (id `path->GetUniqueId()`), as saved.
ByteWriter PathBody(CPath& path) {
  const Bytes record = test::SaveObjectRecord(path);
  u32 nameLength = 0;
  std::memcpy(&nameLength, record.data(), 4);
  return ByteWriter().Bytes(Bytes(record.begin() + 8 + nameLength, record.end()));
}

struct OldFile {
  CPointer<CPath> line = Line(u"line", {0, 0, 0}, {10, 0, 0});
  u64 pathId = line->GetUniqueId();
  Bytes Data(const ByteWriter& control) {
    return test::SceneImage()
        .Record("CTestSpatial", test::NamedSpatialBody(kRiderId, kControlId, u"rider"), true)
        .Record("CPathControl", control)
        .Record("CPath", PathBody(*line), true)
        .Record("CTestDorun", test::TestDorunBody(kNotPathId, 0), true)
        .Data();
  }
};

// Loads the file of `control` and answers the code; on success the control
// is in `out`, and every cut of the file between record boundaries fails.
Result Load(OldFile& file, const ByteWriter& control, CStream& stream, CMemoryIo& device, CPathControl*& out) {
  return test::LoadFirstControl(file.Data(control), kFirstRecordOffset, stream, device, out);
}

TEST_F(PathControlTest, TheOldestRecordsKeepTheirKeysInline) {
  OldFile file;
  ByteWriter w = Head(0);
  w.U32(2).F32(0.0f).F32(99.9f).U32(2);
  w.U64(file.pathId).F32(0.25f).U32(TT_STEP).U32(CPathControl::NXAxis).U8(1).U8(2);
  w.U64(kNotPathId).F32(0.5f).U32(TT_EASE_IN).U32(CPathControl::ZAxis).U8(0).U8(0);
  CStream stream;
  CMemoryIo device;
  CPathControl* control = nullptr;
  ASSERT_EQ(Load(file, w, stream, device, control), kOk);
  ASSERT_NE(control, nullptr);
  ASSERT_EQ(control->GetKeys().Size(), 2u);
  const PathKey& a = control->GetKeys()[0];
  const PathKey& b = control->GetKeys()[1];
  EXPECT_EQ(a.Time, 0);
  EXPECT_EQ(b.Time, 99);
  EXPECT_EQ(a.RefPath->GetName(), u"line");
  EXPECT_EQ(b.RefPath.Get(), nullptr);  // not a path
  EXPECT_EQ(a.PathTime, 0.25f);
  EXPECT_EQ(a.TransitionType, u32{TT_STEP});
  EXPECT_EQ(b.TransitionType, u32{TT_EASE_IN});
  EXPECT_EQ(a.TransitionStrength, 50.0f);
  EXPECT_EQ(b.TransitionStrength, 50.0f);
  EXPECT_EQ(a.AlignAxis, u32{CPathControl::NXAxis});
  EXPECT_TRUE(a.Follow);
  EXPECT_TRUE(a.FollowTerrain);
  EXPECT_FALSE(b.Follow);
  test::ExpectNear(control->GetPositionDivisor(), {1, 1, 1});
  EXPECT_EQ(control->GetSlaveMode(), u32{CRTSControl::SM_DEFAULT_BASIS});
}

TEST_F(PathControlTest, KeyRecordsLoadWithAndWithoutTheDivisor) {
  for (const u32 minor : {1u, 2u}) {
    SCOPED_TRACE(minor);
    OldFile file;
    ByteWriter w = Head(minor);
    KeyRecord(w.U32(1), 40, file.pathId, 0.5f);
    if (minor == 2) w.F32(2).F32(4).F32(8);
    CStream stream;
    CMemoryIo device;
    CPathControl* control = nullptr;
    ASSERT_EQ(Load(file, w, stream, device, control), kOk);
    ASSERT_EQ(control->GetKeys().Size(), 1u);
    const PathKey& key = control->GetKeys()[0];
    EXPECT_EQ(key.Time, 40);
    EXPECT_EQ(key.TransitionStrength, 70.0f);
    EXPECT_EQ(key.AlignAxis, u32{CPathControl::YAxis});
    EXPECT_EQ(key.RefPath->GetName(), u"line");
    test::ExpectNear(control->GetPositionDivisor(), minor == 2 ? Vec3{2, 4, 8} : Vec3{1, 1, 1});
  }
}

TEST_F(PathControlTest, AnOldTransformPartForcesTheCurrentWorldSlaveMode) {
  for (const u32 rtsMinor : {0u, 1u}) {
    SCOPED_TRACE(rtsMinor);
    OldFile file;
    ByteWriter w = Head(2, rtsMinor, 1);
    w.U32(0).F32(1).F32(1).F32(1);
    CStream stream;
    CMemoryIo device;
    CPathControl* control = nullptr;
    ASSERT_EQ(Load(file, w, stream, device, control), kOk);
    EXPECT_EQ(control->GetSlaveMode(), u32{CRTSControl::SM_CURRENT_WORLD});
  }
}

TEST_F(PathControlTest, MalformedAndNewerRecordsAreRefused) {
  OldFile file;
  ByteWriter shortTimes = Head(0);
  shortTimes.U32(1).F32(0.0f).U32(2);
  for (int k = 0; k < 2; ++k) shortTimes.U64(0).F32(0).U32(0).U32(0).U8(0).U8(0);
  ByteWriter newer = Head(3);
  ByteWriter newerKey = Head(2);
  KeyRecord(newerKey.U32(1), 0, 0, 0.0f, 1).F32(1).F32(1).F32(1);
  ByteWriter hugeCount = Head(0);
  hugeCount.U32(0).U32(0x10000000);
  struct Case {
    const char* name;
    ByteWriter record;
    Result expected;
  };
  const Case cases[] = {
      {"1.00 with fewer times than keys", shortTimes, kErrNotFound},
      {"1.03", newer, kErrNewerVersion},
      {"key version 1.01", newerKey, kErrNewerVersion},
      {"a key count past the record", hugeCount, kErrStream},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CStream stream;
    CMemoryIo device;
    CPathControl* control = nullptr;
    EXPECT_EQ(Load(file, c.record, stream, device, control), c.expected);
  }
}

}  // namespace
}  // namespace KT
