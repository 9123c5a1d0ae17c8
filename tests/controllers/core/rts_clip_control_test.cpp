// The transform clip controller: playing clips in sequence, blending into
// the next clip, the clip in force when a child has not started, priority,
// copies, and the record in its current and older forms.
#include "controllers/core/rts_clip_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "controllers/core/transform_test_support.h"
#include "objectmodel/stream_test_support.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::CTestSpatial;
using CRtsKey = CKeyframeControl::CRtsKey;
using CStickyKey = CKeyframeControl::CStickyKey;

class RtsClipControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTransformTestClasses();
    CClassFactory::Register("CRTSClipControl", &CreateObject<CRTSClipControl>);
    test::UseTestIds(0);
  }
};

// A keyframe child holding one pose from 0 to 1000 ms.
CPointer<CKeyframeControl> Pose(const char16_t* name, f32 x, f32 y) {
  CPointer<CKeyframeControl> child(new CKeyframeControl());
  child->SetName(name);
  CRtsTransform t;
  t.Translate = {x, y, 0};
  EXPECT_EQ(child->SetRtsKeys({CRtsKey(0, t), CRtsKey(1000, t)}), kOk);
  return child;
}

// A child that reports, through IsStartedAt, whether it has begun.
class CWaitingControl : public CKeyframeControl {
 public:
  bool IsStartedAt(i32) const override { return started; }
  bool started = false;
};

struct Character {
  CPointer<CTestSpatial> node{new CTestSpatial()};
  CPointer<CRTSClipControl> clips{new CRTSClipControl()};
  CPointer<CKeyframeControl> walk = Pose(u"walk", 1, 0);
  CPointer<CKeyframeControl> run = Pose(u"run", 0, 5);

  Character() {
    EXPECT_EQ(node->AddControl(clips.Get()), kOk);
    EXPECT_EQ(clips->AddChild(walk.Get()), kOk);
    EXPECT_EQ(clips->AddChild(run.Get()), kOk);
  }
  void AddClip(i32 time, i32 child, f32 range = 200.0f, u32 type = TT_LINEAR) {
    CClipKey key(time, child);
    key.TransitionRange = range;
    key.TransitionType = type;
    EXPECT_EQ(clips->AddClipKey(key, 1000.0f), kOk);
  }
  CVector3<float> At(i32 time, Result expected = kOk) {
    EXPECT_EQ(clips->UpdateTransform(time), expected) << "at " << time;
    return clips->GetLocal().Translate;
  }
};

TEST_F(RtsClipControlTest, WithoutClipsTheSlaveModeGivesTheTransform) {
  Character c;
  c.clips->SetSlaveMode(CRTSControl::SM_IDENTITY_LOCAL);
  test::ExpectNear(c.At(500, kDone), {0, 0, 0});
  EXPECT_EQ(c.clips->GetEndTime(), 0);
}

TEST_F(RtsClipControlTest, RefusesToEvaluateUnboundOrInactive) {
  CPointer<CRTSClipControl> loose(new CRTSClipControl());
  EXPECT_EQ(loose->UpdateTransform(0), kErrInvalidArg);
  Character c;
  c.clips->SetActive(false);
  EXPECT_EQ(c.clips->UpdateTransform(0), kDone);
}

// Clips at 0 and 1000 ms, the second with a range of 200: the walk pose
// until 800, half of each at 900, the run pose from 1000 on.
TEST_F(RtsClipControlTest, BlendsIntoTheNextClipOverItsRange) {
  struct Case {
    i32 time;
    u32 type;
    CVector3<float> expected;
    Result result;
  };
  const Case cases[] = {
      {-100, TT_LINEAR, {1, 0, 0}, kDone},   {0, TT_LINEAR, {1, 0, 0}, kOk},      {799, TT_LINEAR, {1, 0, 0}, kOk},
      {800, TT_LINEAR, {1, 0, 0}, kOk},      {900, TT_LINEAR, {0.5f, 2.5f, 0}, kOk}, {950, TT_LINEAR, {0.25f, 3.75f, 0}, kOk},
      {1000, TT_LINEAR, {0, 5, 0}, kOk},     {1700, TT_LINEAR, {0, 5, 0}, kOk},
      {900, TT_EASE_IN, {0.25f, 3.75f, 0}, kOk},  // eased: 1 - 0.5^2 of the run pose
  };
  for (const Case& k : cases) {
    Character c;
    c.AddClip(0, 0);
    c.AddClip(1000, 1, 200.0f, k.type);
    test::ExpectNear(c.At(k.time, k.result), k.expected);
    test::ExpectNear(c.clips->GetWorldMatrix().GetTranslation(), k.expected);
  }
  Character c;
  c.AddClip(0, 0);
  c.AddClip(1000, 1);
  EXPECT_EQ(c.clips->GetEndTime(), 2000);
  // Played backward in time the cache walks back.
  for (i32 t : {1500, 900, 300}) c.At(t);
  test::ExpectNear(c.clips->GetLocal().Translate, {1, 0, 0});
  EXPECT_EQ(c.clips->GetLastIndex(), 0u);
}

TEST_F(RtsClipControlTest, TheRangeIsLimitedByTheDistanceOfTheStarts) {
  Character c;
  c.AddClip(0, 0);
  c.AddClip(100, 1, 200.0f);
  test::ExpectNear(c.At(50), {0.5f, 2.5f, 0});
}

TEST_F(RtsClipControlTest, AClipOfNoChildIsAbsent) {
  Character c;
  c.clips->SetSlaveMode(CRTSControl::SM_IDENTITY_LOCAL);
  c.AddClip(0, 0);
  c.AddClip(1000, -1);  // the exporter's clip of no child
  c.AddClip(2000, 9);
  test::ExpectNear(c.At(900), {1, 0, 0});  // nothing to blend toward
  test::ExpectNear(c.At(1500, kDone), {0, 0, 0});
  test::ExpectNear(c.At(2500, kDone), {0, 0, 0});
  EXPECT_EQ(c.clips->UpdatePriority(1500), kDone);
  EXPECT_EQ(c.clips->GetPriority(), 0.0f);
  std::vector<i32> times;
  std::vector<f32> priorities;
  std::vector<f32> spans;
  ASSERT_EQ(c.clips->CollectTimeSpans(1200, 5000, times, priorities, spans), kOk);
  EXPECT_TRUE(times.empty());
}

TEST_F(RtsClipControlTest, AChildThatHasNotStartedLeavesTheEarlierClipPlaying) {
  Character c;
  CPointer<CWaitingControl> waiting(new CWaitingControl());
  CRtsTransform t;
  t.Translate = {7, 7, 7};
  ASSERT_EQ(waiting->SetRtsKeys({CRtsKey(0, t), CRtsKey(1000, t)}), kOk);
  ASSERT_EQ(c.clips->AddChild(waiting.Get()), kOk);
  c.AddClip(0, 0);
  c.AddClip(1000, 2);
  test::ExpectNear(c.At(1500), {1, 0, 0});
  EXPECT_EQ(c.clips->GetLastIndex(), 0u);
  waiting->started = true;
  test::ExpectNear(c.At(1500), {7, 7, 7});
  EXPECT_EQ(c.clips->GetLastIndex(), 1u);
}

TEST_F(RtsClipControlTest, StickyRangeMovesToTheClipAndEndsAtTheNextOne) {
  Character c;
  ASSERT_EQ(c.run->SetStickyKeys({CStickyKey(0, true), CStickyKey(300, false)}), kOk);
  c.AddClip(1000, 1);
  c.At(1100);
  EXPECT_TRUE(c.clips->IsStickyEnabled());
  EXPECT_EQ(c.clips->GetStickyStart(), 1000);
  EXPECT_EQ(c.clips->GetStickyEnd(), 1300);
  c.AddClip(1200, 0, 0.0f);
  c.At(1100);
  EXPECT_EQ(c.clips->GetStickyEnd(), 1200);
  ASSERT_EQ(c.clips->ApplyTransform(), kOk);
  test::ExpectNear(c.node->GetLocal().Translate, {0, 5, 0});
}

TEST_F(RtsClipControlTest, PriorityFollowsTheClipInForce) {
  Character c;
  c.walk->SetPriority(1.0f);
  CClipKey key(0, 0);
  key.Priority = 2.0f;
  ASSERT_EQ(c.clips->AddClipKey(key, 1000.0f), kOk);
  c.clips->SetModified(false);
  ASSERT_EQ(c.clips->UpdatePriority(500), kOk);
  EXPECT_EQ(c.clips->GetPriority(), 3.0f);
  EXPECT_FALSE(c.clips->IsModified());
  ASSERT_EQ(c.clips->UpdatePriority(1500), kOk);
  EXPECT_EQ(c.clips->GetPriority(), 0.0f);
  EXPECT_FALSE(c.clips->IsActiveAt(500));

  // A next clip within 8 ms of both the time and the clip's end keeps it.
  ASSERT_EQ(c.clips->AddClipKey(CClipKey(1004, 1), 1000.0f), kOk);
  ASSERT_EQ(c.clips->UpdatePriority(1002), kOk);
  EXPECT_EQ(c.clips->GetPriority(), 3.0f);

  key.Persist = true;
  ASSERT_EQ(c.clips->AddClipKey(key, 1000.0f), kOk);
  ASSERT_EQ(c.clips->RemoveChild(c.run.Get()), kOk);
  ASSERT_EQ(c.clips->UpdatePriority(5000), kOk);
  EXPECT_EQ(c.clips->GetPriority(), 3.0f);
  EXPECT_TRUE(c.clips->IsActiveAt(5000));
  c.clips->SetActive(false);
  EXPECT_EQ(c.clips->UpdatePriority(500), kDone);
  EXPECT_EQ(c.clips->GetPriority(), 0.0f);
}

// A child whose priority at a time is that time: the controller's
// priority at a time then shows which child time reached the child.
class CTimePriorityControl : public CKeyframeControl {
 public:
  using CKeyframeControl::GetPriority;
  f32 GetPriority(i32 time) const override { return static_cast<f32>(time); }
};

TEST_F(RtsClipControlTest, PriorityAtATimeIsTheClipsPlusTheChildsAtItsSourceTime) {
  Character c;
  CPointer<CTimePriorityControl> timed(new CTimePriorityControl());
  CRtsTransform pose;
  ASSERT_EQ(timed->SetRtsKeys({CRtsKey(0, pose), CRtsKey(1000, pose)}), kOk);
  ASSERT_EQ(c.clips->AddChild(timed.Get()), kOk);
  c.clips->SetPriority(7.0f);
  CClipKey first(0, 2);
  first.Priority = 2.0f;
  CClipKey second(1000, 2);
  second.Priority = 4.0f;
  ASSERT_EQ(c.clips->AddClipKey(first, 1000.0f), kOk);
  ASSERT_EQ(c.clips->AddClipKey(second, 1000.0f), kOk);
  c.At(1500);
  ASSERT_EQ(c.clips->GetLastIndex(), 1u);
  struct Row {
    i32 time;
    f32 priority;
  };
  // Before the first clip the controller's own priority stands.
  for (const Row& row : {Row{-10, 7.0f}, Row{300, 302.0f}, Row{1250, 254.0f}, Row{1999, 1003.0f}}) {
    EXPECT_EQ(c.clips->GetPriority(row.time), row.priority) << row.time;
  }
  // The search starts at clip 0 and caches nothing; the frame's Priority
  // is the controller's own.
  EXPECT_EQ(c.clips->GetLastIndex(), 1u);
  EXPECT_EQ(c.clips->GetPriority(), 7.0f);
  // A controller that is not a clip controller answers its Priority.
  c.walk->SetPriority(1.5f);
  EXPECT_EQ(c.walk->GetPriority(300), 1.5f);
}

// A child standing for a constraint or simulation: its world quantities
// do not follow from its Local, and it reports the time it was asked for
// its update depth.
class CWorldChild : public CRTSControl {
 public:
  explicit CWorldChild(f32 x) {
    local.Translate = {x, 0, 0};
    matrix.SetTranslation({x, 10, 20});
    scale.m[0][0] = 3.0f;
  }
  i32 GetEndTime() const override { return 1000; }
  Result UpdateTransform(i32) override {
    SetTransform(local, scale, CMatrix3(), matrix);
    return kOk;
  }
  Result GetUpdateDepth(i32 time, i32& depth) override {
    askedTime = time;
    depth = std::max(depth, 5);
    return kOk;
  }
  bool IsSimulated() const override { return simulated; }
  CRtsTransform local;
  CMatrix3 scale;
  CMatrix4 matrix;
  bool simulated = false;
  i32 askedTime = -1;
};

TEST_F(RtsClipControlTest, TheWorldQuantitiesAreTheChildsOwn) {
  Character c;
  CPointer<CWorldChild> first(new CWorldChild(1));
  CPointer<CWorldChild> second(new CWorldChild(2));
  ASSERT_EQ(c.clips->AddChild(first.Get()), kOk);
  ASSERT_EQ(c.clips->AddChild(second.Get()), kOk);
  c.AddClip(1000, 2);
  c.AddClip(2000, 3);
  // Before the first clip, in a clip and at the next clip's start.
  struct Row {
    i32 time;
    const CWorldChild* shown;
  };
  for (const Row& row : {Row{500, first.Get()}, Row{1500, first.Get()}, Row{2000, second.Get()}}) {
    c.clips->UpdateTransform(row.time);
    test::ExpectNear(c.clips->GetLocal().Translate, row.shown->local.Translate);
    test::ExpectNear(c.clips->GetWorldMatrix(), row.shown->matrix);
    test::ExpectNear(c.clips->GetWorldScale(), row.shown->scale);
  }
  // A simulated first child before its clip: the spatial's own values.
  first->simulated = true;
  CMatrix4 standing;
  standing.SetTranslation({-4, -5, -6});
  CMatrix3 standingScale;
  standingScale.m[1][1] = 2.0f;
  c.node->SetWorld(standingScale, CMatrix3(), standing);
  EXPECT_EQ(c.clips->UpdateTransform(500), kDone);
  test::ExpectNear(c.clips->GetWorldMatrix(), standing);
  test::ExpectNear(c.clips->GetWorldScale(), standingScale);
}

TEST_F(RtsClipControlTest, TheUpdateDepthAsksTheChildAtTheSourceTimeOfTheLocalTime) {
  Character c;
  CPointer<CWorldChild> child(new CWorldChild(1));
  ASSERT_EQ(c.clips->AddChild(child.Get()), kOk);
  CClipKey clip(1300, 2);
  clip.LoopCount = 3;
  ASSERT_EQ(c.clips->AddClipKey(clip, 1000.0f), kOk);
  i32 depth = 0;
  // The source time of 1500 itself (500 into its cycle of 1000), not of
  // the 200 ms since the clip's start.
  EXPECT_EQ(c.clips->GetUpdateDepth(1500, depth), kOk);
  EXPECT_EQ(child->askedTime, 500);
  EXPECT_EQ(depth, 5);
  EXPECT_EQ(c.clips->GetUpdateDepth(2250, depth), kOk);
  EXPECT_EQ(child->askedTime, 250);
  CPointer<CRTSClipControl> empty(new CRTSClipControl());
  child->askedTime = -1;
  EXPECT_EQ(empty->GetUpdateDepth(500, depth), kOk);
  EXPECT_EQ(child->askedTime, -1);
}

// Clip controllers nested in each other, each playing the next from time
// 0, the deepest playing a depth-reporting child: evaluation passes from
// each container into the one it plays. Within the bound it reaches the
// child; 100,000 levels are refused at the bound instead of exhausting the
// stack (the sanitizers' build would fail on an overflow).
TEST_F(RtsClipControlTest, NestedContainersEvaluateWithinTheBoundAndStopAtIt) {
  struct Case {
    u32 levels;
    bool reaches;
  };
  for (const Case& c : {Case{8, true}, Case{100000, false}}) {
    SCOPED_TRACE(c.levels);
    CPointer<CTestSpatial> node(new CTestSpatial());
    CPointer<CRTSClipControl> top(new CRTSClipControl());
    ASSERT_EQ(node->AddControl(top.Get()), kOk);
    CRTSClipControl* last = top.Get();
    for (u32 i = 1; i < c.levels; ++i) {
      CPointer<CRTSClipControl> next(new CRTSClipControl());
      ASSERT_EQ(last->AddChild(next.Get()), kOk);
      ASSERT_EQ(last->AddClipKey(CClipKey(0, 0), 1000.0f), kOk);
      last = next.Get();
    }
    CPointer<CWorldChild> child(new CWorldChild(7));
    ASSERT_EQ(last->AddChild(child.Get()), kOk);
    ASSERT_EQ(last->AddClipKey(CClipKey(0, 0), 1000.0f), kOk);

    const Result evaluated = top->UpdateTransform(500);
    i32 depth = 0;
    const Result depthAnswer = top->GetUpdateDepth(500, depth);
    const Result priority = top->UpdatePriority(500);
    if (c.reaches) {
      EXPECT_EQ(evaluated, kOk);
      EXPECT_FLOAT_EQ(top->GetLocal().Translate.x, 7.0f);
      EXPECT_EQ(depthAnswer, kOk);
      EXPECT_EQ(depth, 5);
      EXPECT_EQ(child->askedTime, 500);
      EXPECT_TRUE(Succeeded(priority));
      EXPECT_EQ(top->GetEndTime(), 1000);
    } else {
      EXPECT_EQ(evaluated, kErrInvalidArg);
      EXPECT_EQ(depthAnswer, kErrInvalidArg);
      EXPECT_EQ(child->askedTime, -1);
      // Past the bound the end times lack the child part, so the clips
      // near it have ended: the priority pass stops there.
      (void)priority;
      EXPECT_GE(top->GetEndTime(), 0);
    }
    // The remaining evaluation passes end as well.
    EXPECT_FALSE(top->IsActiveAt(500));
    EXPECT_EQ(top->GetPriority(500), top->GetPriority(500));
    std::vector<i32> times;
    std::vector<f32> priorities, spans;
    top->CollectTimeSpans(0, 2000, times, priorities, spans);
    i32 bestTime = 0, pickedTime = 0;
    f32 bestPriority = -1.0f;
    top->PickByPriority(500, bestTime, pickedTime, bestPriority);
    // Marking, finding, collecting and resolving pass through every level.
    EXPECT_FALSE(top->UpdateMarked({child.Get()}));
    EXPECT_TRUE(child->IsMarked());
    top->ClearMarked();
    EXPECT_FALSE(child->IsMarked());
    child->SetName(u"bottom");
    EXPECT_EQ(top->Find(u"bottom", nullptr, false, false), child.Get());
    std::vector<CBase*> containers;
    top->Collect(containers, nullptr, &CRTSClipControl::StaticClassRecord(), false, false);
    EXPECT_EQ(containers.size(), c.levels);
    EXPECT_EQ(top->ResolveReferences(top.Get()), kOk);
    // Saved, loaded (the test child's unknown record skipped) and dropped.
    const Bytes bytes = test::SaveRoots({node.Get()});
    ASSERT_FALSE(bytes.empty());
    {
      CStream stream;
      CMemoryIo device;
      ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
      EXPECT_EQ(stream.GetLoadedObjects().size(), c.levels + 1);
    }
    node.Release();
    top.Release();  // nested containers are released in a loop
  }
}

// 100,000 clip controllers nested in each other are cloned level by level
// in bounded stack (the sanitizers' build would fail on an overflow): the
// copy holds its own nested containers down to a copy of the deepest.
TEST_F(RtsClipControlTest, NestedContainersAreClonedInBoundedStack) {
  constexpr u32 kLevels = 100000;
  CPointer<CRTSClipControl> top(new CRTSClipControl());
  CRTSClipControl* last = top.Get();
  for (u32 i = 1; i < kLevels; ++i) {
    CPointer<CRTSClipControl> next(new CRTSClipControl());
    ASSERT_EQ(last->AddChild(next.Get()), kOk);
    ASSERT_EQ(last->AddClipKey(CClipKey(0, 0), 1000.0f), kOk);
    last = next.Get();
  }
  last->SetName(u"deepest");
  CloneMap map;
  CPointer<CBase> copy;
  ASSERT_EQ(CloneObject(copy, map, top.Get(), 0), kOk);
  auto* copyTop = DynamicCast<CRTSClipControl>(copy.Get());
  ASSERT_NE(copyTop, nullptr);
  EXPECT_EQ(map.size(), kLevels);
  std::vector<CBase*> copies;
  copyTop->Collect(copies, nullptr, &CRTSClipControl::StaticClassRecord(), false, false);
  EXPECT_EQ(copies.size(), kLevels);
  CBase* deepest = copyTop->Find(u"deepest", nullptr, false, false);
  ASSERT_NE(deepest, nullptr);
  EXPECT_NE(deepest, last);
  EXPECT_EQ(map.at(last).Get(), deepest);
  // Each copied container plays its copied child, as the source does.
  auto* second = DynamicCast<CRTSClipControl>(copyTop->GetChild(0));
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->GetOwners(), std::vector<CControl*>{copyTop});
  EXPECT_EQ(copyTop->GetClips().size(), 1u);
  EXPECT_EQ(copyTop->GetStatic(), std::vector<bool>{false});
}

TEST_F(RtsClipControlTest, PicksInItsScaledTime) {
  Character c;
  CClipKey key(100, 0);
  key.Priority = 2.0f;
  ASSERT_EQ(c.clips->AddClipKey(key, 1000.0f), kOk);
  c.clips->SetFrequency(2.0f);
  i32 best = 0;
  i32 picked = kMaxKeyTime;
  f32 priority = 0.0f;
  EXPECT_EQ(c.clips->PickByPriority(100, best, picked, priority), 3);
  EXPECT_EQ(priority, 2.0f);
  EXPECT_EQ(best, 50);  // the clip's start, 100 in scaled time
  EXPECT_EQ(picked, kMaxKeyTime);
}

TEST_F(RtsClipControlTest, CloneCopiesChildrenFlagsAndBindings) {
  Character c;
  c.AddClip(0, 0);
  c.AddClip(1000, 1);
  ASSERT_EQ(c.clips->SetStatic(1, true), kOk);
  CloneMap map;
  CPointer<CBase> out;
  ASSERT_EQ(CloneObject(out, map, c.node.Get(), 0), kOk);
  auto* node = DynamicCast<CTestSpatial>(out.Get());
  ASSERT_NE(node, nullptr);
  auto* clips = DynamicCast<CRTSClipControl>(node->GetFirstControl());
  ASSERT_NE(clips, nullptr);
  ASSERT_EQ(clips->GetChildCount(), 2u);
  EXPECT_NE(clips->GetChild(0), c.walk.Get());
  EXPECT_EQ(clips->GetChild(0)->GetObject(), node);
  EXPECT_EQ(clips->GetChild(1)->GetOwners(), std::vector<CControl*>{clips});
  EXPECT_EQ(clips->GetStatic(), (std::vector<bool>{false, true}));
  EXPECT_EQ(clips->GetClips().size(), 2u);
  ASSERT_EQ(clips->UpdateTransform(900), kOk);
  test::ExpectNear(clips->GetLocal().Translate, c.At(900));

  // A plain copy holds no children.
  CPointer<CBase> copy;
  ASSERT_EQ(c.clips->CreateInstance(copy), kOk);
  EXPECT_EQ(DynamicCast<CRTSClipControl>(copy.Get())->GetChildCount(), 0u);
  EXPECT_EQ(c.walk->GetOwners().size(), 1u);
}

TEST_F(RtsClipControlTest, CopyToMovesTheChildrenWithTheirOwners) {
  Character c;
  c.AddClip(0, 0);
  CPointer<CRTSClipControl> target(new CRTSClipControl());
  auto former = Pose(u"former", 3, 3);
  ASSERT_EQ(target->AddChild(former.Get()), kOk);
  DisplacedList displaced;
  ASSERT_EQ(c.clips->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(c.clips->GetChildCount(), 0u);
  ASSERT_EQ(target->GetChildCount(), 2u);
  EXPECT_EQ(target->GetChild(0), c.walk.Get());
  EXPECT_EQ(c.walk->GetOwners(), std::vector<CControl*>{target.Get()});
  EXPECT_EQ(target->GetClips().size(), 1u);
  EXPECT_EQ(target->GetStatic().size(), 2u);
  EXPECT_FALSE(former->HasOwners());
  bool formerDisplaced = false;
  for (const CPointer<CBase>& d : displaced) formerDisplaced = formerDisplaced || d.Get() == former.Get();
  EXPECT_TRUE(formerDisplaced);

  // Into one of its own children: refused, nothing moved.
  CPointer<CRTSClipControl> inner(new CRTSClipControl());
  ASSERT_EQ(target->AddChild(inner.Get()), kOk);
  DisplacedList none;
  EXPECT_EQ(target->CopyTo(inner.Get(), none, 0), kErrInvalidArg);
  EXPECT_EQ(target->GetChildCount(), 3u);
  EXPECT_EQ(c.clips->CopyTo(c.walk.Get(), none, 0), kErrNotFound);
}

TEST_F(RtsClipControlTest, RecordLayoutAndSizes) {
  Character c;
  c.AddClip(0, 0);
  ASSERT_EQ(c.clips->SetStatic(1, true), kOk);
  CMemoryIo device;
  CStream stream;
  stream.SetDevice(&device);
  ASSERT_EQ(c.clips->Save(stream, 0), kOk);
  const Bytes saved = device.GetData();
  ASSERT_EQ(saved.size(), c.clips->GetSaveSize());
  EXPECT_EQ(c.clips->GetSaveSize(), c.clips->CRTSControl::GetSaveSize() + 12 + 2 + (4 + 82) + (4 + 16));
  const std::size_t tail = c.clips->CRTSControl::GetSaveSize();
  ByteWriter expected;
  expected.Pair(2, 6).U32(2).U64(c.walk->GetUniqueId()).U64(c.run->GetUniqueId()).U32(2).U8(0).U8(1).U32(1);
  EXPECT_EQ(Bytes(saved.begin() + static_cast<std::ptrdiff_t>(tail),
                  saved.begin() + static_cast<std::ptrdiff_t>(tail + expected.Size())),
            expected.Data());
  EXPECT_EQ(c.clips->GetMemorySize(), c.clips->CRTSControl::GetMemorySize() + 2 + 8 + 68 + 96);
  const std::string members = test::Members(c.clips.Get());
  for (const char* name : {"CRTSClipControl Member", "LastIndex", "Static", "CClip Member", "ClipID"}) {
    EXPECT_NE(members.find(name), std::string::npos) << name;
  }
  EXPECT_LT(members.find("CClip Member"), members.find("CRTSControl Member"));
}

// A character with walk and run clips, saved, loaded, evaluated and saved
// again: the same poses and the same bytes.
TEST_F(RtsClipControlTest, RoundTripsThroughAFile) {
  Character c;
  c.AddClip(0, 0);
  c.AddClip(1000, 1, 200.0f, TT_EASE_IN_OUT);
  ASSERT_EQ(c.clips->SetStatic(0, true), kOk);
  const Bytes first = test::SaveRoots({c.node.Get()});
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  auto* node = DynamicCast<CTestSpatial>(stream.GetRootObject(0));
  ASSERT_NE(node, nullptr);
  auto* clips = DynamicCast<CRTSClipControl>(node->GetFirstControl());
  ASSERT_NE(clips, nullptr);
  ASSERT_EQ(clips->GetChildCount(), 2u);
  EXPECT_EQ(clips->GetChild(1)->GetObject(), node);
  EXPECT_EQ(clips->GetChild(1)->GetOwners(), std::vector<CControl*>{clips});
  EXPECT_EQ(test::Members(clips), test::Members(c.clips.Get()));
  for (i32 t : {-50, 0, 850, 900, 1000, 1600}) {
    const CVector3<float> before = c.At(t, t < 0 ? kDone : kOk);
    ASSERT_EQ(clips->UpdateTransform(t), t < 0 ? kDone : kOk);
    test::ExpectNear(clips->GetLocal().Translate, before);
  }
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
}

// --- older records ------------------------------------------------------------------------

// A keyframe child record without keys.
ByteWriter KeyframeBody(u64 id, std::vector<u64> owners = {}) {
  ByteWriter w;
  test::BasePart(w, id);
  test::DorunPart(w, 0);
  test::ControlFields fields;
  fields.owners = std::move(owners);
  test::ControlPart(w, fields);
  test::RtsControlPart(w);
  w.Pair(3, 0).U32(0).U32(0);
  return w;
}

// A file with the clip controller (id 0x20, a root) and keyframe children
// 0x21 and 0x22. `controlMinor` 2 writes a controller part from before
// owner lists.
Bytes ClipFile(const ByteWriter& clipPart, u32 controlMinor = 4) {
  ByteWriter body;
  test::BasePart(body, 0x20);
  test::DorunPart(body, 0);
  if (controlMinor == 4) {
    test::ControlPart(body, test::ControlFields());
  } else {
    body.Pair(2, 2).U32(0).F32(0.0f).F32(1.0f).F32(1.0f).U8(1).U64(0).U64(0);
  }
  test::RtsControlPart(body);
  body.Bytes(clipPart.Data());
  test::SceneImage image;
  image.Record("CRTSClipControl", body, true);
  image.Record("CKeyframeControl", KeyframeBody(0x21));
  image.Record("CKeyframeControl", KeyframeBody(0x22));
  return image.Data();
}

ByteWriter& ChildIds(ByteWriter& w, bool wide, std::vector<u64> ids = {0x21, 0x22}) {
  w.U32(static_cast<u32>(ids.size()));
  for (u64 id : ids) {
    if (wide) {
      w.U64(id);
    } else {
      w.U32(static_cast<u32>(id));
    }
  }
  return w;
}

// One legacy clip at 100.7 ms naming child 1, in the form of version 2.minor.
ByteWriter LegacyPart(u32 minor) {
  ByteWriter w;
  w.Pair(2, minor);
  ChildIds(w, minor >= 3);
  if (minor == 0) {
    w.U32(1).F32(100.7f).F32(120.0f).I32(1).U32(0).F32(10.0f).F32(20.0f);
    return w;
  }
  w.U32(1);
  if (minor == 5) {
    w.I32(100);
  } else {
    w.F32(100.7f);
  }
  w.U32(1);
  if (minor >= 4) {
    w.Pair(2, 1).F32(1.0f).I32(1).U32(2).I32(10).I32(20).F32(120.0f).F32(0.0f).I32(0).U8(0).U32(0).U8(0);
  } else {
    w.F32(1.0f).I32(1).U32(2).F32(10.0f).F32(20.0f).F32(120.0f).F32(0.0f).U32(0).U8(0).U8(0).U8(0).U8(0);
  }
  if (minor >= 2) w.U32(2).U8(1).U8(0);
  return w;
}

CRTSClipControl* LoadedClips(CStream& stream) {
  return stream.GetRootObjectCount() > 0 ? DynamicCast<CRTSClipControl>(stream.GetRootObject(0)) : nullptr;
}

TEST_F(RtsClipControlTest, EveryOlderVersionBuildsItsClips) {
  for (u32 minor = 0; minor <= 5; ++minor) {
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(ClipFile(LegacyPart(minor)), stream, device), kOk) << minor;
    CRTSClipControl* clips = LoadedClips(stream);
    ASSERT_NE(clips, nullptr);
    ASSERT_EQ(clips->GetChildCount(), 2u) << minor;
    EXPECT_EQ(clips->GetChild(1)->GetOwners(), std::vector<CControl*>{clips}) << minor;
    ASSERT_EQ(clips->GetClips().size(), 1u) << minor;
    const CClipKey& clip = clips->GetClips()[0];
    EXPECT_EQ(clip.Time, 100) << minor;
    EXPECT_EQ(clip.ClipID, 1) << minor;
    EXPECT_EQ(clip.TransitionRange, 120.0f) << minor;
    EXPECT_EQ(clip.BeginTime, 10) << minor;
    EXPECT_EQ(clip.EndTime, 20) << minor;
    EXPECT_EQ(clip.LoopCount, minor == 0 ? 1u : 2u) << minor;
    const std::vector<bool> flags = minor >= 2 ? std::vector<bool>{true, false} : std::vector<bool>{false, false};
    EXPECT_EQ(clips->GetStatic(), flags) << minor;
  }
}

TEST_F(RtsClipControlTest, OldFilesFoldAChildListedTwice) {
  ByteWriter part;
  part.Pair(2, 6);
  ChildIds(part, true, {0x21, 0x22, 0x21});
  part.U32(3).U8(0).U8(1).U8(0).U32(3);
  CMemoryIo keys;
  CStream keyStream;
  keyStream.SetDevice(&keys);
  for (i32 i = 0; i < 3; ++i) ASSERT_EQ(CClipKey(100 * i, i).Save(keyStream), kOk);
  part.Bytes(keys.GetData());

  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(ClipFile(part, 2), stream, device), kOk);
  CRTSClipControl* clips = LoadedClips(stream);
  ASSERT_NE(clips, nullptr);
  ASSERT_EQ(clips->GetChildCount(), 2u);
  std::vector<i32> ids;
  for (const CClipKey& clip : clips->GetClips()) ids.push_back(clip.ClipID);
  EXPECT_EQ(ids, (std::vector<i32>{0, 1, 0}));
  EXPECT_EQ(clips->GetStatic(), (std::vector<bool>{false, true}));
  EXPECT_EQ(clips->GetChild(0)->GetOwners(), std::vector<CControl*>{clips});

  // The same list in a file with owner lists is refused.
  CStream current;
  CMemoryIo currentDevice;
  EXPECT_EQ(test::LoadScene(ClipFile(part), current, currentDevice), kErrNotFound);
}

TEST_F(RtsClipControlTest, HostileRecordsAreRefused) {
  struct Case {
    const char* name;
    Bytes bytes;
    Result expected;
  };
  ByteWriter newer;
  newer.Pair(2, 7);
  ChildIds(newer, true).U32(0).U32(0);
  ByteWriter self;
  self.Pair(2, 6);
  ChildIds(self, true, {0x20}).U32(0).U32(0);
  ByteWriter fewTimes;
  fewTimes.Pair(2, 5);
  ChildIds(fewTimes, true).U32(0).U32(1);
  for (int i = 0; i < 46; ++i) fewTimes.U8(0);
  ByteWriter hugeCount;
  hugeCount.Pair(2, 6);
  ChildIds(hugeCount, true).U32(0).U32(0x10000000);
  const Case cases[] = {
      {"newer version", ClipFile(newer), kErrNewerVersion},
      {"its own child", ClipFile(self), kErrNotFound},
      {"clips without times", ClipFile(fewTimes), kErrNotFound},
      {"clip count beyond the file", ClipFile(hugeCount), kErrStream},
  };
  for (const Case& c : cases) {
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(c.bytes, stream, device), c.expected) << c.name;
  }
}

TEST_F(RtsClipControlTest, EveryPrefixOfEachVersionFailsCleanly) {
  std::vector<Bytes> files;
  for (u32 minor = 0; minor <= 5; ++minor) files.push_back(ClipFile(LegacyPart(minor)));
  Character c;
  c.AddClip(0, 0);
  c.AddClip(500, 1);
  files.push_back(test::SaveRoots({c.node.Get()}));
  for (const Bytes& bytes : files) {
    test::ExpectPrefixesFailBetweenRecords(bytes);
  }
}

}  // namespace
}  // namespace KT
