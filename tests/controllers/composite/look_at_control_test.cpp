// The look-at constraint: its two solvers and their limits, the fade-in and
// the blend between keys, the update depth it asks for, its references
// through clones, names and links, and every record form.
#include "controllers/composite/look_at_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "controllers/core/keyframe_control.h"
#include "controllers/composite/constraint_test_support.h"
#include "controllers/core/transform_test_support.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/stream_test_support.h"
#include "render/lights/light_test_support.h"
#include "scene/node.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::kFirstRecordOffset;
using Vec3 = CVector3<float>;
using LookKey = CLookAtControl::CLookKey;

class LookAtControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTransformTestClasses();
    CClassFactory::Register("CLookAtControl", &CreateObject<CLookAtControl>);
    CClassFactory::Register("CNode", &CreateObject<CNode>);
    test::UseTestIds(0);
  }
};

CMatrix3 TurnZ(f32 angle) { return CQuaternion::FromAxisAngle({0.0f, 0.0f, 1.0f}, angle).ToMatrix3(); }

LookKey Key(i32 time, CSpatial* target, const Vec3& lookDir, f32 weight = 1.0f) {
  LookKey key;
  key.Time = time;
  key.TargetObject.Set(target);
  key.LookDir = lookDir;
  key.UpDir = {0.0f, 1.0f, 0.0f};
  key.Weight = weight;
  return key;
}

// A looker at the origin with a look-at control of `keys`.
struct Looker {
  CPointer<CNode> node = test::Placed(u"looker", {0, 0, 0});
  CPointer<CLookAtControl> control{new CLookAtControl()};
  explicit Looker(std::initializer_list<LookKey> keys) {
    EXPECT_EQ(node->AddControl(control.Get()), kOk);
    for (const LookKey& key : keys) EXPECT_EQ(control->EditKeys().SetKey(key), kOk);
  }
  const CMatrix3& Rotate(i32 time) {
    EXPECT_EQ(control->UpdateTransform(time), kOk);
    return control->GetWorldRotate();
  }
};

TEST_F(LookAtControlTest, TheBasicAxisTurnIsLimitedBySide) {
  const f32 thirty = 30.0f * kDegreesToRadians;
  struct Row {
    const char* name;
    f32 targetAngle;
    Vec3 axis;
    f32 left;
    f32 right;
    f32 expected;
  };
  const Row rows[] = {
      {"unlimited", thirty, {0, 0, 1}, kTwoPi, kTwoPi, thirty},
      {"left limit on a positive turn", thirty, {0, 0, 1}, 0.2618f, kTwoPi, 0.2618f},
      {"right limit on a negative turn", -thirty, {0, 0, 1}, kTwoPi, 0.2618f, -0.2618f},
      {"left limit ignored on a negative turn", -thirty, {0, 0, 1}, 0.2618f, kTwoPi, -thirty},
      {"an axis of length 2 limits as a unit one", thirty, {0, 0, 2}, 0.2618f, kTwoPi, 0.2618f},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CPointer<CNode> target = test::Placed(u"target", {5 * std::cos(row.targetAngle), 5 * std::sin(row.targetAngle), 0});
    LookKey key = Key(0, target.Get(), {1, 0, 0});
    key.LeftLimit = row.left;
    key.RightLimit = row.right;
    Looker looker{key};
    looker.control->SetBasicAxis(row.axis);
    test::ExpectNear(looker.Rotate(0), TurnZ(row.expected));
  }
}

TEST_F(LookAtControlTest, ALookDirectionAlongTheBasicAxisTakesItsSideFromLookCrossUp) {
  CPointer<CNode> target = test::Placed(u"target", {5, 0, 0});
  Looker looker{Key(0, target.Get(), {0, 0, 1})};
  // The side axis LookDir x UpDir = -X turns to the target's side -Y (a
  // quarter turn about Z), then the look axis tilts onto the target.
  test::ExpectNear(looker.Rotate(0), CMatrix3(0, 1, 0, 0, 0, 1, 1, 0, 0));
}

TEST_F(LookAtControlTest, WeightAndOffsetShapeTheBasicAxisRotation) {
  CPointer<CNode> target = test::Placed(u"target", {0, 5, 0});
  LookKey half = Key(0, target.Get(), {1, 0, 0}, 0.5f);
  Looker weighted{half};
  test::ExpectNear(weighted.Rotate(0), TurnZ(kHalfPi * 0.5f));
  LookKey offset = Key(0, target.Get(), {1, 0, 0}, 0.0f);
  offset.Offset = CQuaternion::FromAxisAngle({1, 0, 0}, 0.5f);
  Looker still{offset};
  test::ExpectNear(still.Rotate(0), offset.Offset.ToMatrix3());
}

TEST_F(LookAtControlTest, WithAReferenceAtWeightZeroTheZAxisStaysAndTheRollFollows) {
  CPointer<CNode> target = test::Placed(u"target", {5, 0, 0});
  CPointer<CNode> reference = test::Placed(u"reference", {0, -3, 0}, TurnZ(0.5f));
  LookKey key = Key(0, target.Get(), {0, 0, 1}, 0.0f);
  key.RefObject.Set(reference.Get());
  Looker looker{key};
  const CMatrix3& r = looker.Rotate(0);
  test::ExpectNear(Vec3(r.m[2][0], r.m[2][1], r.m[2][2]), {0, 0, 1});
  const CMatrix3& up = reference->GetWorldRotate();
  test::ExpectNear(Vec3(r.m[1][0], r.m[1][1], r.m[1][2]), {up.m[1][0], up.m[1][1], up.m[1][2]});
}

TEST_F(LookAtControlTest, WithAReferenceTheZAxisPointsAtTheTargetOrAwayFromIt) {
  CPointer<CNode> target = test::Placed(u"target", {5, 0, 0});
  CPointer<CNode> reference = test::Placed(u"reference", {0, 0, 0});
  for (const f32 z : {1.0f, -1.0f}) {
    SCOPED_TRACE(z);
    LookKey key = Key(0, target.Get(), {0, 0, z});
    key.RefObject.Set(reference.Get());
    Looker looker{key};
    const CMatrix3& r = looker.Rotate(0);
    test::ExpectNear(Vec3(r.m[2][0], r.m[2][1], r.m[2][2]), {z, 0, 0});
    test::ExpectNear(Vec3(r.m[1][0], r.m[1][1], r.m[1][2]), {0, 1, 0});
  }
}

TEST_F(LookAtControlTest, TheReferenceLimitTurnsTheFrameBackTowardTheForwardAxis) {
  CPointer<CNode> target = test::Placed(u"target", {5, 0, 0});
  CPointer<CNode> reference = test::Placed(u"reference", {0, 0, 0});
  LookKey key = Key(0, target.Get(), {0, 0, 1});
  key.RefObject.Set(reference.Get());
  key.LeftLimit = 0.5f;
  key.UpLimit = 1.0f;
  Looker looker{key};
  // The target lies a quarter turn from the forward axis; the frame turns
  // back about the reference's up axis until 0.5 rad remain.
  const CMatrix3& r = looker.Rotate(0);
  test::ExpectNear(Vec3(r.m[2][0], r.m[2][1], r.m[2][2]), {std::sin(0.5f), 0, std::cos(0.5f)});
  key.UpLimit = 0.0f;
  Looker unlimited{key};
  const CMatrix3& u = unlimited.Rotate(0);
  test::ExpectNear(Vec3(u.m[2][0], u.m[2][1], u.m[2][2]), {1, 0, 0});
}

TEST_F(LookAtControlTest, ZeroVectorsGiveTheIdentityAndNoNaN) {
  CPointer<CNode> onTop = test::Placed(u"on top", {0, 0, 0});
  CPointer<CNode> above = test::Placed(u"above", {0, 5, 0});
  CPointer<CNode> upAlong = test::Placed(u"up along", {0, 0, 0}, CMatrix3(1, 0, 0, 0, 0, 1, 0, -1, 0));
  LookKey atPosition = Key(0, onTop.Get(), {1, 0, 0});
  LookKey zeroLook = Key(0, above.Get(), {0, 0, 0});
  LookKey parallelUp = Key(0, above.Get(), {0, 0, 1});
  parallelUp.RefObject.Set(upAlong.Get());  // its up axis is +Z
  LookKey referenceOnTop = Key(0, onTop.Get(), {0, 0, 1});
  referenceOnTop.RefObject.Set(above.Get());
  const LookKey* keys[] = {&atPosition, &zeroLook, &parallelUp, &referenceOnTop};
  for (const LookKey* key : keys) {
    Looker looker{*key};
    if (key == &parallelUp) {
      // The up axis along the look direction leaves no side axis.
      looker.control->EditKeys()[0].LookDir = {0, 0, 1};
      looker.control->EditKeys()[0].Weight = 0.0f;
    }
    const CMatrix3& r = looker.Rotate(0);
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) ASSERT_FALSE(std::isnan(r.m[i][j]));
    }
    if (key != &zeroLook) test::ExpectNear(r, kMatrix3Identity);
  }
  // A zero "Basic Axis" turns about nothing, but the tilt still aims.
  CPointer<CNode> side = test::Placed(u"side", {0, 5, 0});
  Looker tilted{Key(0, side.Get(), {1, 0, 0})};
  tilted.control->SetBasicAxis({0, 0, 0});
  test::ExpectNear(tilted.Rotate(0), TurnZ(kHalfPi));
}

TEST_F(LookAtControlTest, FadesInBeforeTheFirstKeyAndBlendsBetweenKeys) {
  CPointer<CNode> left = test::Placed(u"left", {0, 5, 0});
  CPointer<CNode> ahead = test::Placed(u"ahead", {5, 0, 0});
  LookKey second = Key(2000, ahead.Get(), {1, 0, 0});
  Looker looker{Key(1000, left.Get(), {1, 0, 0}), second};
  struct Row {
    i32 time;
    f32 angle;
  };
  for (const Row& row : {Row{-100, 0.0f}, Row{0, 0.0f}, Row{500, kHalfPi * 0.5f}, Row{1000, kHalfPi},
                         Row{1500, kHalfPi * 0.5f}, Row{2000, 0.0f}, Row{9000, 0.0f}}) {
    SCOPED_TRACE(row.time);
    test::ExpectNear(looker.Rotate(row.time), TurnZ(row.angle));
  }
  // A stepped transition holds the earlier key until the later one.
  looker.control->EditKeys()[1].TransitionType = TT_STEP;
  test::ExpectNear(looker.Rotate(1999), TurnZ(kHalfPi));
  EXPECT_EQ(looker.control->GetEndTime(), 2000);
}

TEST_F(LookAtControlTest, TheRotationMultipliesTheObjectsCurrentWorld) {
  CPointer<CNode> target = test::Placed(u"target", {0, 5, 7});
  Looker looker{Key(0, target.Get(), {1, 0, 0})};
  CMatrix4 world;
  world.SetTranslation({0, 0, 7});
  looker.node->SetWorld(CMatrix3::Diagonal({2, 2, 2}), kMatrix3Identity, world);
  ASSERT_EQ(looker.control->UpdateTransform(0), kOk);
  test::ExpectNear(looker.control->GetWorldRotate(), TurnZ(kHalfPi));
  test::ExpectNear(looker.control->GetWorldMatrix().GetRotation3x3(), TurnZ(kHalfPi));
  test::ExpectNear(looker.control->GetWorldMatrix().GetTranslation(), {0, 0, 7});
  test::ExpectNear(looker.control->GetWorldScale(), CMatrix3::Diagonal({2, 2, 2}));
}

TEST_F(LookAtControlTest, UpdateAnswers) {
  CPointer<CLookAtControl> loose(new CLookAtControl());
  EXPECT_EQ(loose->GetSlaveMode(), u32{CRTSControl::SM_CURRENT_WORLD});
  EXPECT_EQ(loose->UpdateTransform(0), kErrInvalidArg);
  CPointer<test::CTestDorun> notSpatial(new test::CTestDorun());
  ASSERT_EQ(notSpatial->AddControl(loose.Get()), kOk);
  EXPECT_EQ(loose->UpdateTransform(0), kErrNotFound);
  Looker empty{};
  EXPECT_EQ(empty.control->UpdateTransform(0), kDone);
  EXPECT_EQ(empty.control->GetEndTime(), 0);
  CPointer<CLookAtControl> unbound(new CLookAtControl());
  EXPECT_FALSE(unbound->HasSubObjects());
  ASSERT_EQ(unbound->EditKeys().SetKey(Key(0, nullptr, {1, 0, 0})), kOk);
  EXPECT_TRUE(unbound->HasSubObjects());
  Looker keyed{Key(0, nullptr, {1, 0, 0})};
  test::ExpectNear(keyed.Rotate(0), kMatrix3Identity);
  keyed.control->SetActive(false);
  EXPECT_EQ(keyed.control->UpdateTransform(0), kDone);
}

TEST_F(LookAtControlTest, TheDepthRisesAboveTheTargetsInEffectOnly) {
  // Targets at depth 0 (a root) or 2 (a grandchild); the reference deep too.
  CPointer<CNode> shallow = test::Placed(u"shallow", {1, 0, 0});
  CPointer<CNode> grand = test::Placed(u"grand", {0, 0, 0});
  CPointer<CNode> child = test::Placed(u"child", {0, 0, 0});
  CPointer<CNode> deep = test::Placed(u"deep", {0, 1, 0});
  ASSERT_EQ(grand->AddChild(child.Get()), kOk);
  ASSERT_EQ(child->AddChild(deep.Get()), kOk);
  // Depths are recomputed for dirty spatials, as the update driver marks them.
  for (CNode* node : {shallow.Get(), grand.Get(), child.Get(), deep.Get()}) node->SetDirty();
  LookKey first = Key(0, shallow.Get(), {1, 0, 0});
  first.RefObject.Set(deep.Get());
  Looker looker{first, Key(1000, shallow.Get(), {1, 0, 0}), Key(2000, deep.Get(), {1, 0, 0})};
  struct Row {
    i32 time;
    i32 depth;
  };
  for (const Row& row : {Row{-5, 1}, Row{500, 1}, Row{1500, 3}, Row{2500, 3}}) {
    SCOPED_TRACE(row.time);
    i32 depth = 0;
    EXPECT_EQ(looker.control->GetUpdateDepth(row.time, depth), kOk);
    EXPECT_EQ(depth, row.depth);
  }
}

TEST_F(LookAtControlTest, TheSceneUpdatesALookerListedBeforeItsTargetAfterTheTarget) {
  CPointer<CNode> scene(new CNode());
  CPointer<CNode> looker = test::Placed(u"looker", {0, 0, 0});
  CPointer<CNode> mover = test::Placed(u"mover", {5, 0, 0});
  CPointer<CKeyframeControl> hold(new CKeyframeControl());
  ASSERT_EQ(hold->AddRtsKey(0, 1000.0f, kIdentityTransform), kOk);
  ASSERT_EQ(looker->AddControl(hold.Get()), kOk);
  CPointer<CLookAtControl> look(new CLookAtControl());
  ASSERT_EQ(look->EditKeys().SetKey(Key(0, mover.Get(), {1, 0, 0})), kOk);
  ASSERT_EQ(looker->AddControl(look.Get()), kOk);
  CRtsTransform start = kIdentityTransform;
  start.Translate = {5, 0, 0};
  CRtsTransform end = kIdentityTransform;
  end.Translate = {0, 5, 0};
  CPointer<CKeyframeControl> slide(new CKeyframeControl());
  ASSERT_EQ(slide->AddRtsKey(0, 1000.0f, start), kOk);
  ASSERT_EQ(slide->AddRtsKey(1000, 1000.0f, end), kOk);
  ASSERT_EQ(mover->AddControl(slide.Get()), kOk);
  ASSERT_EQ(scene->AddChild(looker.Get()), kOk);
  ASSERT_EQ(scene->AddChild(mover.Get()), kOk);
  for (const i32 time : {0, 1000, 0}) {
    SCOPED_TRACE(time);
    ASSERT_EQ(scene->UpdateScene(time, 0, 0.0f, true, nullptr, false), kOk);
    test::ExpectNear(looker->GetWorldRotate(), TurnZ(time == 1000 ? kHalfPi : 0.0f));
  }
}

// --- references ----------------------------------------------------------------------------

TEST_F(LookAtControlTest, ReferencesFollowClonesAndNamesButAreNeverCloned) {
  CPointer<CNode> scene(new CNode());
  CPointer<CNode> target = test::Placed(u"target", {0, 5, 0});
  CPointer<CNode> reference = test::Placed(u"reference", {0, 0, 0});
  Looker looker{Key(0, target.Get(), {1, 0, 0})};
  looker.control->EditKeys()[0].RefObject.Set(reference.Get());
  ASSERT_EQ(scene->AddChild(looker.node.Get()), kOk);
  ASSERT_EQ(scene->AddChild(target.Get()), kOk);

  // Cloning the tree: the target is cloned with it, the reference is not.
  CloneMap map;
  CPointer<CBase> copy;
  ASSERT_GE(scene->Clone(copy, map, 0), 0);
  ASSERT_EQ(copy->RemapAllReferences(map), kOk);
  auto* copiedLooker = DynamicCast<CNode>(copy->Find(u"looker", &CNode::StaticClassRecord(), true, false));
  ASSERT_NE(copiedLooker, nullptr);
  auto* copied = DynamicCast<CLookAtControl>(copiedLooker->GetFirstControl());
  ASSERT_NE(copied, nullptr);
  EXPECT_EQ(copied->GetKeys()[0].TargetObject.Get(), map.at(target.Get()).Get());
  EXPECT_EQ(copied->GetKeys()[0].RefObject.Get(), reference.Get());
  EXPECT_EQ(map.count(reference.Get()), 0u);

  // Re-bound by name and class under a root; a name not found empties.
  CPointer<CNode> other(new CNode());
  CPointer<CNode> renamed = test::Placed(u"target", {0, 0, 1});
  ASSERT_EQ(other->AddChild(renamed.Get()), kOk);
  EXPECT_EQ(looker.control->ResolveReferences(nullptr), kErrInvalidArg);
  ASSERT_EQ(looker.control->ResolveReferences(other.Get()), kOk);
  EXPECT_EQ(looker.control->GetKeys()[0].TargetObject.Get(), renamed.Get());
  EXPECT_EQ(looker.control->GetKeys()[0].RefObject.Get(), nullptr);
}

TEST_F(LookAtControlTest, CopiesKeepTheKeysAndTheirTargets) {
  CPointer<CNode> target = test::Placed(u"target", {0, 5, 0});
  Looker looker{Key(0, target.Get(), {1, 0, 0}), Key(100, target.Get(), {0, 1, 0})};
  looker.control->SetBasicAxis({0, 1, 0});
  CPointer<CLookAtControl> copy(new CLookAtControl());
  DisplacedList displaced;
  ASSERT_EQ(looker.control->CopyTo(copy.Get(), displaced, 0), kOk);
  EXPECT_EQ(copy->GetKeys().Size(), 2u);
  EXPECT_EQ(copy->GetKeys()[1].TargetObject.Get(), target.Get());
  test::ExpectNear(copy->GetBasicAxis(), {0, 1, 0});
  EXPECT_EQ(looker.control->CopyTo(target.Get(), displaced, 0), kErrNotFound);
  CPointer<CBase> instance;
  ASSERT_EQ(looker.control->CreateInstance(instance), kOk);
  auto* made = DynamicCast<CLookAtControl>(instance.Get());
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->GetKeys().Size(), 2u);
  EXPECT_EQ(made->GetObject(), nullptr);
}

// --- records ---------------------------------------------------------------------------------

TEST_F(LookAtControlTest, SavesLoadsAndSavesTheSameBytes) {
  CPointer<CNode> scene(new CNode());
  scene->SetName(u"scene");
  CPointer<CNode> target = test::Placed(u"target", {0, 5, 0});
  CPointer<CNode> reference = test::Placed(u"reference", {0, 0, 1});
  Looker looker{Key(0, target.Get(), {1, 0, 0}), Key(500, target.Get(), {0, 0, 1}, 0.25f)};
  LookKey& key = looker.control->EditKeys()[1];
  key.RefObject.Set(reference.Get());
  key.Offset = CQuaternion::FromAxisAngle({0, 1, 0}, 0.3f);
  key.LeftLimit = 0.1f;
  key.DownLimit = 0.4f;
  key.TransitionType = TT_EASE_IN;
  looker.control->SetBasicAxis({0, 1, 0});
  for (CNode* child : {looker.node.Get(), target.Get(), reference.Get()}) ASSERT_EQ(scene->AddChild(child), kOk);
  EXPECT_EQ(looker.control->GetSaveSize(), looker.control->CRTSControl::GetSaveSize() + 24 + 2 * 112);
  const Bytes first = test::SaveRoots({scene.Get()});
  const Bytes keyImage = ByteWriter().Pair(1, 2).F32(0).F32(0).F32(1).F32(0).F32(1).F32(0).Data();
  EXPECT_NE(std::search(first.begin(), first.end(), keyImage.begin(), keyImage.end()), first.end());

  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  EXPECT_EQ(test::LoadedRecordBytes(stream) + kFirstRecordOffset, first.size());
  CBase* loaded = stream.GetRootObject(0);
  EXPECT_EQ(test::Members(loaded), test::Members(scene.Get()));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
  auto* control = DynamicCast<CLookAtControl>(
      DynamicCast<CNode>(loaded->Find(u"looker", &CNode::StaticClassRecord(), true, false))->GetFirstControl());
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->GetKeys()[1].RefObject->GetName(), u"reference");
  EXPECT_EQ(control->GetKeys()[0].TargetObject->GetName(), u"target");

  test::ExpectNamesInOrder(test::Members(looker.control.Get()),
                           {"CLookAtControl Member", "Time", "LookDir", "UpDir", "Offset", "Weight", "Left Constriant",
                            "Right Constriant", "Up Constriant", "Down Constriant", "RefObject", "TargetObject",
                            "TransitionType", "TransitionStrength", "Basic Axis", "CRTSControl Member"});
}

// --- older record forms -------------------------------------------------------------------------

constexpr u64 kControlId = 0x10;
constexpr u64 kLookerId = 0x20;
constexpr u64 kTargetId = 0x30;
constexpr u64 kReferenceId = 0x40;
constexpr u64 kNotSpatialId = 0x50;

// The control's record up to its own version pair 2.`minor`.
ByteWriter Head(u32 minor, f32 frequency = 1.0f, u32 rtsMinor = 2, u32 slaveMode = 2) {
  return test::TransformControlHead(kControlId, kLookerId, rtsMinor, slaveMode, frequency).Pair(2, minor);
}

ByteWriter& Vec(ByteWriter& w, const Vec3& v) { return w.F32(v.x).F32(v.y).F32(v.z); }

// A look key record of version 1.`minor`: the transition part, LookDir
// (1, 0, 0), UpDir (0, 1, 0), the offset in the version's form, Weight
// 0.5, the limits in the version's form, then both ids.
ByteWriter& KeyRecord(ByteWriter& w, u32 minor, i32 time, u64 target, u64 reference) {
  w.Pair(1, 0).I32(time).Pair(1, 0).U32(TT_EASE_OUT).F32(60).Pair(1, minor);
  Vec(Vec(w, {1, 0, 0}), {0, 1, 0});
  if (minor == 0) {
    Vec(w, {0, 0, kHalfPi}).F32(0.5f).F32(0.25f);  // Euler angles, Weight, limit scale
  } else {
    w.F32(0).F32(0).F32(0).F32(1).F32(0.5f);  // Offset, Weight
    if (minor == 1) w.F32(0.1f).F32(0.2f).F32(0.3f);
    if (minor == 2) w.F32(0.1f).F32(0.2f).F32(0.3f).F32(0.4f);
  }
  return w.U64(target).U64(reference);
}

// The name of a reference's target ("-" when empty).
std::u16string NameOf(const CTargetRef<CSpatial>& ref) { return ref ? ref->GetName() : u"-"; }

// The file: the looker (a root), the control, the target and the
// reference (roots), and an object that is no spatial (a root).
Bytes File(const ByteWriter& control) {
  return test::SceneImage()
      .Record("CTestSpatial", test::NamedSpatialBody(kLookerId, kControlId, u"looker"), true)
      .Record("CLookAtControl", control)
      .Record("CTestSpatial", test::NamedSpatialBody(kTargetId, 0, u"target"), true)
      .Record("CTestSpatial", test::NamedSpatialBody(kReferenceId, 0, u"reference"), true)
      .Record("CTestDorun", test::TestDorunBody(kNotSpatialId, 0), true)
      .Data();
}

// Loads `control` and answers the code; on success the control is in
// `out`, and every cut of the file between record boundaries fails.
Result Load(const ByteWriter& control, CStream& stream, CMemoryIo& device, CLookAtControl*& out) {
  return test::LoadFirstControl(File(control), kFirstRecordOffset, stream, device, out);
}

TEST_F(LookAtControlTest, CurrentRecordsFoldFrequencyIntoTheKeyTimes) {
  struct Row {
    u32 minor;
    f32 frequency;
    i32 expected;
  };
  for (const Row& row : {Row{5, 2.0f, 500}, Row{4, 2.0f, 500}, Row{5, 1.0f, 1000}, Row{5, 0.0f, 1000},
                         Row{5, -2.0f, 1000}, Row{5, INFINITY, 1000}, Row{5, NAN, 1000}}) {
    SCOPED_TRACE(testing::Message() << row.minor << " at " << row.frequency);
    ByteWriter w = Head(row.minor, row.frequency);
    KeyRecord(w.U32(1), 2, 1000, kTargetId, 0);
    if (row.minor == 5) Vec(w, {0, 1, 0});
    CStream stream;
    CMemoryIo device;
    CLookAtControl* control = nullptr;
    ASSERT_EQ(Load(w, stream, device, control), kOk);
    ASSERT_NE(control, nullptr);
    ASSERT_EQ(control->GetKeys().Size(), 1u);
    EXPECT_EQ(control->GetKeys()[0].Time, row.expected);
    EXPECT_EQ(control->GetFrequency(), 1.0f);
    test::ExpectNear(control->GetBasicAxis(), row.minor == 5 ? Vec3{0, 1, 0} : Vec3{0, 0, 1});
    EXPECT_EQ(NameOf(control->GetKeys()[0].TargetObject), u"target");
  }
}

TEST_F(LookAtControlTest, OlderKeyRecordsLoad) {
  ByteWriter w = Head(5);
  w.U32(3);
  KeyRecord(w, 0, 0, kTargetId, 0);
  KeyRecord(w, 1, 10, 0, kReferenceId);
  KeyRecord(w, 2, 20, kTargetId, kReferenceId);
  Vec(w, {0, 0, 1});
  CStream stream;
  CMemoryIo device;
  CLookAtControl* control = nullptr;
  ASSERT_EQ(Load(w, stream, device, control), kOk);
  ASSERT_EQ(control->GetKeys().Size(), 3u);
  const LookKey& v100 = control->GetKeys()[0];
  test::ExpectSameRotation(v100.Offset, CQuaternion::FromAxisAngle({0, 0, 1}, kHalfPi));
  EXPECT_EQ(v100.Weight, 0.5f);
  for (const f32 limit : {v100.LeftLimit, v100.RightLimit, v100.UpLimit, v100.DownLimit}) {
    EXPECT_FLOAT_EQ(limit, 0.25f * kPi);
  }
  EXPECT_EQ(v100.TransitionType, u32{TT_EASE_OUT});
  EXPECT_EQ(NameOf(v100.TargetObject), u"target");
  EXPECT_EQ(v100.RefObject.Get(), nullptr);
  const LookKey& v101 = control->GetKeys()[1];
  EXPECT_EQ(v101.Offset, kQuaternionIdentity);
  EXPECT_EQ(v101.LeftLimit, 0.1f);
  EXPECT_EQ(v101.RightLimit, 0.1f);
  EXPECT_EQ(v101.UpLimit, 0.2f);
  EXPECT_EQ(v101.DownLimit, 0.2f);
  EXPECT_EQ(NameOf(v101.RefObject), u"reference");
  const LookKey& v102 = control->GetKeys()[2];
  EXPECT_EQ(v102.DownLimit, 0.4f);
  EXPECT_EQ(NameOf(v102.TargetObject), u"target");
  EXPECT_EQ(NameOf(v102.RefObject), u"reference");
}

// An inline-key control record of 2.`minor` (1 to 3): two keys at 0 and
// 99.9, the first with Euler offset (0, 0, pi/2) and limit scale 0.5, the
// second with limit scale 0; the ids per key at 2.03, else in lists of
// `idCount` ids after the keys.
ByteWriter InlineRecord(u32 minor, u32 timeCount = 2, u32 idCount = 2) {
  ByteWriter w = Head(minor);
  w.U32(timeCount).F32(0.0f);
  if (timeCount > 1) w.F32(99.9f);
  w.U32(2);
  const u64 targets[2] = {kTargetId, 0};
  const u64 references[2] = {0, kReferenceId};
  for (int k = 0; k < 2; ++k) {
    Vec(Vec(w, {1, 0, 0}), {0, 1, 0});
    Vec(w, {0, 0, k == 0 ? kHalfPi : 0.0f}).F32(7.0f).F32(0.75f).F32(k == 0 ? 0.5f : 0.0f);
    if (minor == 3) w.U32(TT_STEP).U64(targets[k]).U64(references[k]);
  }
  if (minor < 3) {
    for (const u64* ids : {targets, references}) {
      w.U32(idCount);
      for (u32 k = 0; k < idCount; ++k) {
        if (minor == 2) w.U64(ids[k % 2]);
        if (minor == 1) w.U32(static_cast<u32>(ids[k % 2]));
      }
    }
    w.U32(1).U32(5).U32(0);  // the two arrays nothing reads
  }
  return w;
}

TEST_F(LookAtControlTest, InlineKeyRecordsLoadAndLinkInOrder) {
  for (const u32 minor : {1u, 2u, 3u}) {
    SCOPED_TRACE(minor);
    CStream stream;
    CMemoryIo device;
    CLookAtControl* control = nullptr;
    ASSERT_EQ(Load(InlineRecord(minor), stream, device, control), kOk);
    ASSERT_EQ(control->GetKeys().Size(), 2u);
    const LookKey& first = control->GetKeys()[0];
    const LookKey& second = control->GetKeys()[1];
    EXPECT_EQ(first.Time, 0);
    EXPECT_EQ(second.Time, 99);
    test::ExpectSameRotation(first.Offset, CQuaternion::FromAxisAngle({0, 0, 1}, kHalfPi));
    EXPECT_EQ(first.Weight, 0.75f);
    EXPECT_FLOAT_EQ(first.UpLimit, 0.5f * kPi);
    EXPECT_EQ(second.LeftLimit, kTwoPi);
    EXPECT_EQ(first.TransitionType, u32{minor == 3 ? TT_STEP : TT_LINEAR});
    EXPECT_EQ(NameOf(first.TargetObject), u"target");
    EXPECT_EQ(first.RefObject.Get(), nullptr);
    EXPECT_EQ(second.TargetObject.Get(), nullptr);
    EXPECT_EQ(NameOf(second.RefObject), u"reference");
    EXPECT_EQ(control->GetSlaveMode(), u32{CRTSControl::SM_CURRENT_WORLD});
  }
}

TEST_F(LookAtControlTest, MalformedAndNewerRecordsAreRefused) {
  ByteWriter v200 = Head(0);
  ByteWriter v206 = Head(6);
  ByteWriter newerKey = Head(5);
  KeyRecord(newerKey.U32(1), 3, 0, 0, 0);
  struct Case {
    const char* name;
    ByteWriter record;
    Result expected;
  };
  const Case cases[] = {
      {"2.00", v200, kErrNewerVersion},
      {"2.06", v206, kErrNewerVersion},
      {"key version 1.03", newerKey, kErrNewerVersion},
      {"fewer times than keys", InlineRecord(2, 1), kErrNotFound},
      {"short id lists at 2.02", InlineRecord(2, 2, 1), kErrNotFound},
      {"short id lists at 2.01", InlineRecord(1, 2, 0), kErrNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CStream stream;
    CMemoryIo device;
    CLookAtControl* control = nullptr;
    EXPECT_EQ(Load(c.record, stream, device, control), c.expected);
  }
}

TEST_F(LookAtControlTest, AnOldTransformPartForcesTheCurrentWorldSlaveMode) {
  for (const u32 rtsMinor : {0u, 1u}) {
    ByteWriter w = Head(5, 1.0f, rtsMinor, 1);
    w.U32(0);
    Vec(w, {0, 0, 1});
    CStream stream;
    CMemoryIo device;
    CLookAtControl* control = nullptr;
    ASSERT_EQ(Load(w, stream, device, control), kOk);
    EXPECT_EQ(control->GetSlaveMode(), u32{CRTSControl::SM_CURRENT_WORLD});
  }
}

TEST_F(LookAtControlTest, LinkKeepsOnlySpatialsTheRootsHold) {
  ByteWriter w = Head(5);
  KeyRecord(w.U32(1), 2, 0, kNotSpatialId, kTargetId);
  Vec(w, {0, 0, 1});
  CStream stream;
  CMemoryIo device;
  CLookAtControl* control = nullptr;
  ASSERT_EQ(Load(w, stream, device, control), kOk);
  EXPECT_EQ(control->GetKeys()[0].TargetObject.Get(), nullptr);
  EXPECT_EQ(NameOf(control->GetKeys()[0].RefObject), u"target");

  // A target that no delivered root holds goes with the stream: the
  // reference is emptied.
  const Bytes file = test::SceneImage()
                         .Record("CTestSpatial", test::NamedSpatialBody(kLookerId, kControlId, u"looker"), true)
                         .Record("CLookAtControl", w)
                         .Record("CTestSpatial", test::NamedSpatialBody(kTargetId, 0, u"target"))
                         .Data();
  CStream alone;
  ASSERT_EQ(test::LoadScene(file, alone, device), kOk);
  auto* held = test::FirstControlOfRoot<CLookAtControl>(alone);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->GetKeys()[0].RefObject.Get(), nullptr);
}

}  // namespace
}  // namespace KT
