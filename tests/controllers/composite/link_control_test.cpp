// The link constraint: the pose before the first key, the adjustment, the
// target under its inherit mask and share ratio, the parent's space, the
// time protocols (start, spans, pick), the update depth, references and
// their lifetime, copies and every record form.
#include "controllers/composite/link_control.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "controllers/composite/constraint_test_support.h"
#include "controllers/composite/path_control.h"
#include "controllers/core/keyframe_control.h"
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
using LinkKey = CLinkControl::CLinkKey;

class LinkControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTransformTestClasses();
    CClassFactory::Register("CLinkControl", &CreateObject<CLinkControl>);
    CClassFactory::Register("CNode", &CreateObject<CNode>);
    test::UseTestIds(0);
  }
};

CMatrix3 TurnZ(f32 angle) { return CQuaternion::FromAxisAngle({0.0f, 0.0f, 1.0f}, angle).ToMatrix3(); }

CRtsTransform Moved(const Vec3& translate, f32 turnZ = 0.0f) {
  CRtsTransform t = kIdentityTransform;
  t.Translate = translate;
  t.Rotate = CQuaternion::FromAxisAngle({0, 0, 1}, turnZ);
  return t;
}

LinkKey Key(i32 time, CSpatial* target, const CRtsTransform& adjust = kIdentityTransform, u32 inherited = 0) {
  return {time, target, adjust, inherited};
}

// A follower whose Local is `local` (its world says the same), with a link
// control of `keys`.
struct Follower {
  CPointer<CNode> node;
  CPointer<CLinkControl> control{new CLinkControl()};
  Follower(std::initializer_list<LinkKey> keys, const Vec3& at = {1, 0, 0}) : node(test::Placed(u"follower", at)) {
    EXPECT_EQ(node->AddControl(control.Get()), kOk);
    EXPECT_EQ(control->SetKeys(keys), kOk);
  }
  const CMatrix4& World(i32 time) {
    EXPECT_EQ(control->UpdateTransform(time), kOk);
    return control->GetWorldMatrix();
  }
};

// A target at `at`, turned a quarter about Z and scaled by `scale`.
CPointer<CNode> Target(const Vec3& at, f32 scale = 1.0f) {
  CPointer<CNode> node = test::Placed(u"target", at, TurnZ(kHalfPi));
  const CMatrix3 scaled = CMatrix3::Diagonal({scale, scale, scale});
  CMatrix4 world;
  world.SetRotation3x3(scaled * TurnZ(kHalfPi));
  world.SetTranslation(at);
  node->SetWorld(scaled, TurnZ(kHalfPi), world);
  return node;
}

TEST_F(LinkControlTest, BeforeTheFirstKeyThePoseStays) {
  CPointer<CNode> target = Target({0, 5, 0});
  CPointer<CNode> parent = test::Placed(u"parent", {0, 0, 0});
  Follower follower{Key(1000, target.Get())};
  ASSERT_EQ(parent->AddChild(follower.node.Get()), kOk);
  EXPECT_EQ(follower.control->UpdateTransform(999), kDone);
  test::ExpectNear(follower.control->GetWorldMatrix().GetTranslation(), {1, 0, 0});
  EXPECT_EQ(follower.control->GetLastIndex(), -1);
  EXPECT_EQ(follower.control->GetLastLinkObject(), parent.Get());
  // On the key itself the link is in force.
  follower.World(1000);
  EXPECT_EQ(follower.control->GetLastIndex(), 0);
  EXPECT_EQ(follower.control->GetLastLinkObject(), target.Get());

  Follower none{};
  EXPECT_EQ(none.control->UpdateTransform(0), kDone);
  EXPECT_EQ(none.control->GetEndTime(), 0);
  EXPECT_FALSE(none.control->IsStartedAt(1000000));
  // A key counts as a sub-object even without a target.
  CPointer<CLinkControl> bare(new CLinkControl());
  EXPECT_FALSE(bare->HasSubObjects());
  ASSERT_EQ(bare->SetKeys({Key(0, nullptr)}), kOk);
  EXPECT_TRUE(bare->HasSubObjects());
}

TEST_F(LinkControlTest, ANullTargetLeavesTheLocalUnderTheAdjustmentOnly) {
  Follower follower{Key(0, nullptr, Moved({0, 2, 0}, kHalfPi))};
  const CMatrix4& world = follower.World(0);
  // (1, 0, 0) turned a quarter about Z, then moved up 2.
  test::ExpectNear(world.GetTranslation(), {0, 3, 0});
  test::ExpectNear(follower.control->GetWorldRotate(), TurnZ(kHalfPi));
  EXPECT_EQ(follower.control->GetLastLinkObject(), nullptr);
  test::ExpectNear(follower.control->GetLocal().Translate, {0, 3, 0});
}

TEST_F(LinkControlTest, TheObjectMovesWithTheTargetAndLocalLeadsBackThere) {
  CPointer<CNode> target = Target({0, 5, 0});
  CPointer<CNode> parent = test::Placed(u"parent", {10, 0, 0});
  Follower follower{Key(0, target.Get())};
  ASSERT_EQ(parent->AddChild(follower.node.Get()), kOk);
  const CMatrix4& world = follower.World(0);
  // (1, 0, 0) in the target's turned space is (0, 1, 0) from it.
  test::ExpectNear(world.GetTranslation(), {0, 6, 0});
  test::ExpectNear(follower.control->GetWorldRotate(), TurnZ(kHalfPi));
  test::ExpectNear(follower.control->GetLocal().Translate, {-10, 6, 0});
  test::ExpectSameRotation(follower.control->GetLocal().Rotate, CQuaternion::FromAxisAngle({0, 0, 1}, kHalfPi));
  ASSERT_EQ(follower.control->ApplyTransform(), kOk);
  test::ExpectNear(follower.node->GetWorldMatrix().GetTranslation(), {0, 6, 0});
}

TEST_F(LinkControlTest, TheShareRatioDividesTheTargetsTranslation) {
  CPointer<CNode> target = Target({4, 6, 8});
  struct Row {
    Vec3 ratio;
    Vec3 expected;
  };
  for (const Row& row : {Row{{1, 1, 1}, {4, 7, 8}}, Row{{2, 2, 2}, {2, 4, 4}}, Row{{4, 1, 2}, {1, 7, 4}}}) {
    for (const u32 mask : {0u, 0x1C0u}) {
      SCOPED_TRACE(testing::Message() << row.ratio.x << " mask " << mask);
      Follower follower{Key(0, target.Get(), kIdentityTransform, mask)};
      follower.control->SetShareRatio(row.ratio);
      test::ExpectNear(follower.World(0).GetTranslation(), row.expected);
    }
  }
}

TEST_F(LinkControlTest, MaskScaleLeftOutIgnoresTheTargetsScale) {
  CPointer<CNode> target = Target({0, 5, 0}, 3.0f);
  Follower scaled{Key(0, target.Get())};
  test::ExpectNear(scaled.World(0).GetTranslation(), {0, 8, 0});
  test::ExpectNear(scaled.control->GetWorldScale(), CMatrix3::Diagonal({3, 3, 3}));
  Follower unscaled{Key(0, target.Get(), kIdentityTransform, 0x1C0)};
  const CMatrix4& world = unscaled.World(0);
  test::ExpectNear(world.GetTranslation(), {0, 6, 0});
  test::ExpectNear(world.GetRotation3x3(), TurnZ(kHalfPi));
  test::ExpectNear(unscaled.control->GetWorldScale(), kMatrix3Identity);
  // Other masks go through the general composition: with the translation
  // left out the target's position drops away.
  Follower still{Key(0, target.Get(), kIdentityTransform, 0x007)};
  test::ExpectNear(still.World(0).GetTranslation(), {0, 3, 0});
}

TEST_F(LinkControlTest, TheKeyInForceFollowsTheScaledTime) {
  CPointer<CNode> a = Target({0, 10, 0});
  CPointer<CNode> b = Target({0, 20, 0});
  Follower follower{Key(0, a.Get()), Key(1000, nullptr), Key(2000, b.Get())};
  follower.control->SetFrequency(2.0f);
  struct Row {
    i32 time;
    f32 y;
  };
  for (const Row& row : {Row{0, 11}, Row{499, 11}, Row{500, 0}, Row{999, 0}, Row{1000, 21}, Row{400, 11}, Row{5000, 21}}) {
    SCOPED_TRACE(row.time);
    test::ExpectNear(follower.World(row.time).GetTranslation(), {row.y == 0 ? 1.0f : 0.0f, row.y, 0});
  }
  EXPECT_EQ(follower.control->GetEndTime(), 2000);
  EXPECT_TRUE(follower.control->IsStartedAt(0));
  EXPECT_TRUE(follower.control->NeedsSubSteps());
  EXPECT_TRUE(follower.control->IsSimulated());
}

TEST_F(LinkControlTest, StartsSpansAndPicksUseTheLocalTime) {
  Follower follower{Key(100, nullptr), Key(400, nullptr), Key(800, nullptr)};
  follower.control->SetFrequency(2.0f);
  follower.control->SetPriority(3.0f);
  EXPECT_FALSE(follower.control->IsStartedAt(49));
  EXPECT_TRUE(follower.control->IsStartedAt(50));

  std::vector<i32> times;
  std::vector<f32> priorities;
  std::vector<f32> spans;
  // Local window [100, 900): keys after 100 and before 900.
  EXPECT_EQ(follower.control->CollectTimeSpans(50, 400, times, priorities, spans), 3);
  EXPECT_EQ(times, (std::vector<i32>{200, 400}));
  EXPECT_EQ(priorities, (std::vector<f32>{3.0f, 3.0f}));
  EXPECT_EQ(spans, (std::vector<f32>{200.0f, 200.0f}));
  times.clear();
  EXPECT_EQ(follower.control->CollectTimeSpans(0, 1000, times, priorities, spans), kOk);
  EXPECT_TRUE(times.empty());

  // The claim is the key's start in the caller's time: key 400 starts at
  // 200, not 400.
  struct Row {
    i32 bestTime;
    f32 bestPriority;
    Result expected;
  };
  for (const Row& row : {Row{199, 9.0f, 2}, Row{200, 2.0f, 2}, Row{200, 3.0f, kOk}, Row{201, 0.0f, kOk},
                         Row{300, 0.0f, kOk}}) {
    SCOPED_TRACE(row.bestTime);
    i32 best = row.bestTime;
    i32 picked = -7;
    f32 priority = row.bestPriority;
    EXPECT_EQ(follower.control->PickByPriority(300, best, picked, priority), row.expected);
    if (row.expected == 2) {
      EXPECT_EQ(best, 200);
      EXPECT_EQ(picked, 200);
      EXPECT_EQ(priority, 3.0f);
    } else {
      EXPECT_EQ(best, row.bestTime);
    }
  }
  i32 best = -100;
  i32 picked = 0;
  f32 priority = 0.0f;
  EXPECT_EQ(follower.control->PickByPriority(49, best, picked, priority), kOk);
  EXPECT_EQ(best, -100);
}

TEST_F(LinkControlTest, UpdateAnswers) {
  CPointer<CLinkControl> loose(new CLinkControl());
  EXPECT_EQ(loose->GetSlaveMode(), u32{CRTSControl::SM_CURRENT_WORLD});
  EXPECT_EQ(loose->UpdateTransform(0), kErrInvalidArg);
  CPointer<test::CTestDorun> notSpatial(new test::CTestDorun());
  ASSERT_EQ(notSpatial->AddControl(loose.Get()), kOk);
  EXPECT_EQ(loose->UpdateTransform(0), kErrNotFound);
  Follower follower{Key(0, nullptr, Moved({5, 0, 0}))};
  follower.control->SetActive(false);
  EXPECT_EQ(follower.control->UpdateTransform(0), kDone);
  test::ExpectNear(follower.control->GetWorldMatrix().GetTranslation(), {0, 0, 0});
}

TEST_F(LinkControlTest, TheDepthRisesAboveTheTargetsInForceAndNext) {
  CPointer<CNode> grand(new CNode());
  CPointer<CNode> child(new CNode());
  CPointer<CNode> deep(new CNode());
  CPointer<CNode> shallow(new CNode());
  ASSERT_EQ(grand->AddChild(child.Get()), kOk);
  ASSERT_EQ(child->AddChild(deep.Get()), kOk);
  for (CNode* node : {grand.Get(), child.Get(), deep.Get(), shallow.Get()}) node->SetDirty();
  Follower follower{Key(0, shallow.Get()), Key(1000, nullptr), Key(2000, deep.Get())};
  struct Row {
    i32 time;
    i32 depth;
  };
  for (const Row& row : {Row{-5, 0}, Row{500, 1}, Row{1500, 3}, Row{2500, 3}}) {
    SCOPED_TRACE(row.time);
    i32 depth = 0;
    EXPECT_EQ(follower.control->GetUpdateDepth(row.time, depth), kOk);
    EXPECT_EQ(depth, row.depth);
  }
}

TEST_F(LinkControlTest, TheSceneUpdatesAFollowerWithItsTarget) {
  CPointer<CNode> scene(new CNode());
  CPointer<CNode> follower = test::Placed(u"follower", {1, 0, 0});
  CPointer<CKeyframeControl> hold(new CKeyframeControl());
  ASSERT_EQ(hold->AddRtsKey(0, 1000.0f, Moved({1, 0, 0})), kOk);
  ASSERT_EQ(follower->AddControl(hold.Get()), kOk);
  CPointer<CNode> mover = test::Placed(u"mover", {0, 0, 0});
  CPointer<CKeyframeControl> slide(new CKeyframeControl());
  ASSERT_EQ(slide->AddRtsKey(0, 1000.0f, Moved({0, 0, 0})), kOk);
  ASSERT_EQ(slide->AddRtsKey(1000, 1000.0f, Moved({0, 10, 0}, kHalfPi)), kOk);
  ASSERT_EQ(mover->AddControl(slide.Get()), kOk);
  CPointer<CLinkControl> link(new CLinkControl());
  ASSERT_EQ(link->SetKeys({Key(0, nullptr), Key(500, mover.Get())}), kOk);
  ASSERT_EQ(follower->AddControl(link.Get()), kOk);
  ASSERT_EQ(scene->AddChild(follower.Get()), kOk);
  ASSERT_EQ(scene->AddChild(mover.Get()), kOk);
  struct Row {
    i32 time;
    Vec3 at;
  };
  for (const Row& row : {Row{0, {1, 0, 0}}, Row{1000, {0, 11, 0}}, Row{0, {1, 0, 0}}, Row{1000, {0, 11, 0}}}) {
    SCOPED_TRACE(row.time);
    ASSERT_EQ(scene->UpdateScene(row.time, 0, 0.0f, true, nullptr, false), kOk);
    test::ExpectNear(follower->GetWorldMatrix().GetTranslation(), row.at, 1e-4f);
  }
}

// --- references ----------------------------------------------------------------------------

TEST_F(LinkControlTest, ALinkToAnAncestorHoldsNothingAlive) {
  // The ancestor owns the follower, which owns the link: a counted link
  // back would make a cycle that is never freed (the sanitizers' leak
  // check would report it when this test ends).
  CPointer<CNode> ancestor = test::Placed(u"ancestor", {0, 1, 0});
  CPointer<CNode> follower = test::Placed(u"follower", {1, 0, 0});
  ASSERT_EQ(ancestor->AddChild(follower.Get()), kOk);
  CPointer<CLinkControl> link(new CLinkControl());
  ASSERT_EQ(link->SetKeys({Key(0, ancestor.Get())}), kOk);
  ASSERT_EQ(follower->AddControl(link.Get()), kOk);
  EXPECT_EQ(ancestor->GetReferences(), 1u);
  EXPECT_EQ(link->UpdateTransform(0), kOk);
  test::ExpectNear(link->GetWorldMatrix().GetTranslation(), {1, 1, 0});
}

TEST_F(LinkControlTest, TargetsFollowClonesAndNamesCopiesRefuseOtherClasses) {
  CPointer<CNode> scene(new CNode());
  CPointer<CNode> inside = test::Placed(u"inside", {0, 0, 0});
  CPointer<CNode> outside = test::Placed(u"outside", {0, 0, 0});
  Follower follower{Key(0, inside.Get()), Key(10, nullptr), Key(20, outside.Get())};
  ASSERT_EQ(scene->AddChild(follower.node.Get()), kOk);
  ASSERT_EQ(scene->AddChild(inside.Get()), kOk);
  CloneMap map;
  CPointer<CBase> copy;
  ASSERT_GE(scene->Clone(copy, map, 0), 0);
  ASSERT_EQ(copy->RemapAllReferences(map), kOk);
  auto* copied = DynamicCast<CLinkControl>(
      DynamicCast<CNode>(copy->Find(u"follower", &CNode::StaticClassRecord(), true, false))->GetFirstControl());
  ASSERT_NE(copied, nullptr);
  EXPECT_EQ(copied->GetKey(0).LinkObject, map.at(inside.Get()).Get());
  EXPECT_EQ(copied->GetKey(1).LinkObject, nullptr);
  EXPECT_EQ(copied->GetKey(2).LinkObject, outside.Get());
  EXPECT_EQ(copied->GetLastIndex(), -1);

  CPointer<CNode> other(new CNode());
  CPointer<CNode> renamed = test::Placed(u"outside", {0, 0, 0});
  ASSERT_EQ(other->AddChild(renamed.Get()), kOk);
  EXPECT_EQ(follower.control->ResolveReferences(nullptr), kErrInvalidArg);
  ASSERT_EQ(follower.control->ResolveReferences(other.Get()), kOk);
  EXPECT_EQ(follower.control->GetKey(0).LinkObject, nullptr);
  EXPECT_EQ(follower.control->GetKey(2).LinkObject, renamed.Get());

  follower.control->SetShareRatio({2, 3, 4});
  follower.World(25);
  EXPECT_EQ(follower.control->GetLastLinkObject(), renamed.Get());
  CPointer<CLinkControl> target(new CLinkControl());
  DisplacedList displaced;
  ASSERT_EQ(follower.control->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetKeys().Size(), 3u);
  EXPECT_EQ(target->GetLastIndex(), 2);
  // What the source followed is not the copy's.
  EXPECT_EQ(target->GetLastLinkObject(), nullptr);
  test::ExpectNear(target->GetShareRatio(), {2, 3, 4});
  CPointer<CPathControl> path(new CPathControl());
  follower.control->SetFrequency(5.0f);
  EXPECT_EQ(follower.control->CopyTo(path.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(path->GetFrequency(), 1.0f);
  CPointer<CBase> instance;
  ASSERT_EQ(follower.control->CreateInstance(instance), kOk);
  auto* made = DynamicCast<CLinkControl>(instance.Get());
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->GetKeys().Size(), 3u);
  EXPECT_EQ(made->GetLastIndex(), -1);
}

// --- records ---------------------------------------------------------------------------------

TEST_F(LinkControlTest, SavesLoadsAndSavesTheSameBytes) {
  CPointer<CNode> scene(new CNode());
  scene->SetName(u"scene");
  CPointer<CNode> target = test::Placed(u"target", {0, 5, 0});
  Follower follower{Key(0, nullptr), Key(300, target.Get(), Moved({1, 2, 3}, 0.5f), 0x1C0)};
  follower.control->SetShareRatio({1, 2, 4});
  for (CNode* child : {follower.node.Get(), target.Get()}) ASSERT_EQ(scene->AddChild(child), kOk);
  EXPECT_EQ(follower.control->GetSaveSize(), follower.control->CRTSControl::GetSaveSize() + 36 + 2 * 76);
  const Bytes first = test::SaveRoots({scene.Get()});
  const Bytes lists = ByteWriter().U32(2).U64(0).U64(target->GetUniqueId()).U32(2).I32(0).I32(300).U32(2).U32(0)
                          .U32(0x1C0).F32(1).F32(2).F32(4).Data();
  EXPECT_NE(std::search(first.begin(), first.end(), lists.begin(), lists.end()), first.end());

  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  EXPECT_EQ(test::LoadedRecordBytes(stream) + kFirstRecordOffset, first.size());
  CBase* loaded = stream.GetRootObject(0);
  EXPECT_EQ(test::Members(loaded), test::Members(scene.Get()));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
  test::ExpectPrefixesFailBetweenRecords(first, kFirstRecordOffset);
  test::ExpectNamesInOrder(test::Members(follower.control.Get()),
                           {"CLinkControl Member", "LastIndex", "LastLinkObject", "ShareRatio", "LinkTime",
                            "Adjust.D", "Adjust.S", "Adjust.U", "Adjust.R", "Adjust.T", "LinkObject", "Inherited",
                            "CRTSControl Member"});
}

// --- older record forms -------------------------------------------------------------------------

constexpr u64 kControlId = 0x10;
constexpr u64 kFollowerId = 0x20;
constexpr u64 kTargetId = 0x30;

ByteWriter Head(u32 minor, u32 rtsMinor = 2, u32 slaveMode = 0) {
  return test::TransformControlHead(kControlId, kFollowerId, rtsMinor, slaveMode).Pair(2, minor);
}

// A 4x4 matrix: a quarter turn about Z scaled by 2, moved to (1, 2, 3).
ByteWriter& Matrix(ByteWriter& w) {
  const f32 m[16] = {0, 2, 0, 0, -2, 0, 0, 0, 0, 0, 2, 0, 1, 2, 3, 1};
  for (const f32 f : m) w.F32(f);
  return w;
}

// A record of version 2.`minor` below 2.06 with two keys (times 0 and
// 99.9, the second linked to the target); `counts` overrides the four list
// counts (adjust, ids, times, flags).
ByteWriter OlderRecord(u32 minor, std::array<u32, 4> counts = {2, 2, 2, 2}) {
  ByteWriter w = Head(minor);
  w.U32(counts[0]);
  for (u32 i = 0; i < counts[0]; ++i) Matrix(w);
  w.U32(counts[1]);
  for (u32 i = 0; i < counts[1]; ++i) minor >= 4 ? w.U64(i == 1 ? kTargetId : 0) : w.U32(i == 1 ? kTargetId : 0);
  w.U32(counts[2]);
  for (u32 i = 0; i < counts[2]; ++i) w.F32(i == 0 ? 0.0f : 99.9f);
  if (minor >= 3) {
    w.U32(counts[3]);
    for (u32 i = 0; i < counts[3]; ++i) w.U8(i == 1 ? 2 : 0);
  }
  if (minor >= 1) {
    w.U32(2).U32(7).U32(8);
    Matrix(w.U32(1));
  }
  return w;
}

Bytes File(const ByteWriter& control) {
  return test::SceneImage()
      .Record("CTestSpatial", test::NamedSpatialBody(kFollowerId, kControlId, u"follower"), true)
      .Record("CLinkControl", control)
      .Record("CTestSpatial", test::NamedSpatialBody(kTargetId, 0, u"target"), true)
      .Data();
}

Result Load(const ByteWriter& control, CStream& stream, CMemoryIo& device, CLinkControl*& out) {
  return test::LoadFirstControl(File(control), kFirstRecordOffset, stream, device, out);
}

TEST_F(LinkControlTest, OlderRecordsDecomposeTheirMatricesAndInheritByVersion) {
  // Masks of the two keys by version (the second key's flag is set from
  // 2.03 on, the first key's is not).
  struct Row {
    u32 minor;
    u32 first;
    u32 second;
  };
  for (const Row& row : {Row{5, 0, 0x1C0}, Row{4, 0, 0x1C0}, Row{3, 0, 0x1C0}, Row{2, 0x1C0, 0x1C0},
                         Row{1, 0x1C0, 0x1C0}, Row{0, 0x1C0, 0x1C0}}) {
    SCOPED_TRACE(row.minor);
    CStream stream;
    CMemoryIo device;
    CLinkControl* control = nullptr;
    ASSERT_EQ(Load(OlderRecord(row.minor), stream, device, control), kOk);
    ASSERT_EQ(control->GetKeys().Size(), 2u);
    const LinkKey a = control->GetKey(0);
    const LinkKey b = control->GetKey(1);
    EXPECT_EQ(a.LinkTime, 0);
    EXPECT_EQ(b.LinkTime, 99);
    EXPECT_EQ(a.LinkObject, nullptr);
    ASSERT_NE(b.LinkObject, nullptr);
    EXPECT_EQ(b.LinkObject->GetName(), u"target");
    EXPECT_EQ(a.Inherited, row.first);
    EXPECT_EQ(b.Inherited, row.second);
    test::ExpectNear(b.Adjust.Scale * b.Adjust.Sign, {2, 2, 2});
    test::ExpectSameRotation(b.Adjust.Rotate, CQuaternion::FromAxisAngle({0, 0, 1}, kHalfPi));
    test::ExpectNear(b.Adjust.Translate, {1, 2, 3});
    test::ExpectNear(control->GetShareRatio(), {1, 1, 1});
  }
}

TEST_F(LinkControlTest, RecordsBeforeTwoHundredInheritEverything) {
  CStream stream;
  CMemoryIo device;
  CLinkControl* control = nullptr;
  ByteWriter w = test::TransformControlHead(kControlId, kFollowerId).Pair(1, 99);
  Matrix(w.U32(1)).U32(1).U32(kTargetId).U32(1).F32(5.5f);
  ASSERT_EQ(Load(w, stream, device, control), kOk);
  ASSERT_EQ(control->GetKeys().Size(), 1u);
  EXPECT_EQ(control->GetKey(0).Inherited, 0u);
  EXPECT_EQ(control->GetKey(0).LinkTime, 5);
}

TEST_F(LinkControlTest, CurrentRecordsWithAndWithoutTheShareRatio) {
  for (const u32 minor : {6u, 7u}) {
    SCOPED_TRACE(minor);
    ByteWriter w = Head(minor, 1, 0);
    w.U32(1);
    const CRtsTransform adjust = Moved({4, 5, 6});
    w.Raw(&adjust, sizeof(adjust));
    w.U32(1).U64(kTargetId).U32(1).I32(-20).U32(1).U32(0x038);
    if (minor == 7) w.F32(2).F32(4).F32(8);
    CStream stream;
    CMemoryIo device;
    CLinkControl* control = nullptr;
    ASSERT_EQ(Load(w, stream, device, control), kOk);
    ASSERT_EQ(control->GetKeys().Size(), 1u);
    EXPECT_EQ(control->GetKey(0).LinkTime, -20);
    EXPECT_EQ(control->GetKey(0).Inherited, 0x038u);
    EXPECT_EQ(control->GetKey(0).Adjust, adjust);
    EXPECT_EQ(control->GetKey(0).LinkObject->GetName(), u"target");
    test::ExpectNear(control->GetShareRatio(), minor == 7 ? Vec3{2, 4, 8} : Vec3{1, 1, 1});
    // An old transform part: the current world.
    EXPECT_EQ(control->GetSlaveMode(), u32{CRTSControl::SM_CURRENT_WORLD});
    EXPECT_EQ(control->GetLastIndex(), -1);
  }
}

TEST_F(LinkControlTest, MalformedAndNewerRecordsAreRefused) {
  ByteWriter current = Head(7);
  current.U32(0).U32(1).U64(0).U32(1).I32(0).U32(1).U32(0).F32(1).F32(1).F32(1);
  ByteWriter hugeCount = Head(7);
  hugeCount.U32(0x10000000);
  struct Case {
    const char* name;
    ByteWriter record;
    Result expected;
  };
  const Case cases[] = {
      {"2.07 without adjustments", current, kErrNotFound},
      {"2.05 with fewer ids", OlderRecord(5, {2, 1, 2, 2}), kErrNotFound},
      {"2.05 with more times", OlderRecord(5, {2, 2, 3, 2}), kErrNotFound},
      {"2.04 with fewer flags", OlderRecord(4, {2, 2, 2, 1}), kErrNotFound},
      {"2.02 with fewer times than adjustments", OlderRecord(2, {2, 2, 1, 0}), kErrNotFound},
      {"2.08", Head(8), kErrNewerVersion},
      {"an adjustment count past the record", hugeCount, kErrStream},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CStream stream;
    CMemoryIo device;
    CLinkControl* control = nullptr;
    EXPECT_EQ(Load(c.record, stream, device, control), c.expected);
  }
}

}  // namespace
}  // namespace KT
