// The containers of child controllers: binding and owner lists kept in
// step, the clip bookkeeping of the container operations, the clip
// arithmetic and the clip search.
#include "controllers/core/layer.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "controllers/core/test_classes.h"
#include "objectmodel/time_helpers.h"

namespace KT {
namespace {

using test::CTestControl;
using test::CTestDorun;

// A clip container over plain test controllers: the smallest controller
// that is also a CClip.
class CTestClipContainer : public CTestControl, public CClip<CControl> {
 public:
  CTestClipContainer() = default;
  ~CTestClipContainer() override { DestroyChildren(); }
  CControl& GetLayerControl() override { return *this; }
  const CControl& GetLayerControl() const override { return *this; }
  Result SetObject(CDorun* object) override {
    const Result r = CTestControl::SetObject(object);
    if (r != kOk) return r;
    return BindChildren(object);
  }
  using CClip<CControl>::GetChild;
};

using Container = CPointer<CTestClipContainer>;
using Child = CPointer<CTestControl>;

Container MakeContainer() { return Container(new CTestClipContainer()); }
Child MakeChild(i32 endTime = 1000) {
  Child child(new CTestControl());
  child->endTime = endTime;
  return child;
}

std::vector<i32> ClipIds(const CTestClipContainer& c) {
  std::vector<i32> ids;
  for (const CClipKey& clip : c.GetClips()) ids.push_back(clip.ClipID);
  return ids;
}

bool Owns(const CControl& child, const CControl* owner) {
  for (const CControl* o : child.GetOwners()) {
    if (o == owner) return true;
  }
  return false;
}

// --- the container operations -------------------------------------------------------------

TEST(LayerTest, AddChildBindsListsTheOwnerAndAppendsAFlag) {
  CPointer<CTestDorun> object(new CTestDorun());
  auto container = MakeContainer();
  ASSERT_EQ(object->AddControl(container.Get()), kOk);
  auto child = MakeChild();
  container->SetModified(false);
  ASSERT_EQ(container->AddChild(child.Get()), kOk);
  EXPECT_EQ(child->GetObject(), object.Get());
  EXPECT_TRUE(Owns(*child, container.Get()));
  EXPECT_EQ(container->GetChildCount(), 1u);
  EXPECT_EQ(container->GetStatic(), std::vector<bool>{false});
  EXPECT_TRUE(container->IsModified());
  EXPECT_TRUE(container->HasSubObjects());
}

TEST(LayerTest, AddChildRefusesWhatWouldBreakTheInvariants) {
  CPointer<CTestDorun> object(new CTestDorun());
  CPointer<CTestDorun> other(new CTestDorun());
  auto container = MakeContainer();
  ASSERT_EQ(object->AddControl(container.Get()), kOk);

  auto chained = MakeChild();
  auto behind = MakeChild();
  ASSERT_EQ(chained->SetNext(behind.Get()), kOk);
  auto inAChain = MakeChild();  // bound by an object's chain, owned by no container
  ASSERT_EQ(object->AddControl(inAChain.Get()), kOk);
  auto foreign = MakeChild();  // held by a container of another object
  auto otherContainer = MakeContainer();
  ASSERT_EQ(other->AddControl(otherContainer.Get()), kOk);
  ASSERT_EQ(otherContainer->AddChild(foreign.Get()), kOk);
  auto held = MakeChild();
  ASSERT_EQ(container->AddChild(held.Get()), kOk);
  // A container that holds this one would close a loop.
  auto outer = MakeContainer();
  ASSERT_EQ(outer->AddChild(MakeContainer().Get()), kOk);
  auto* inner = static_cast<CTestClipContainer*>(outer->GetChild(0));
  auto loose = MakeContainer();
  ASSERT_EQ(inner->AddChild(loose.Get()), kOk);

  struct Case {
    const char* name;
    CTestClipContainer* into;
    CControl* child;
    Result expected;
  };
  const Case cases[] = {
      {"null", container.Get(), nullptr, kErrInvalidArg},
      {"chained", container.Get(), chained.Get(), kErrInvalidArg},
      {"in an object's chain", container.Get(), inAChain.Get(), kErrInvalidArg},
      {"bound to another object", container.Get(), foreign.Get(), kErrInvalidArg},
      {"held already", container.Get(), held.Get(), kErrNotFound},
      {"itself", container.Get(), container.Get(), kErrInvalidArg},
      {"its own holder", loose.Get(), outer.Get(), kErrInvalidArg},
      {"a holder further up", loose.Get(), inner, kErrInvalidArg},
  };
  for (const Case& c : cases) {
    const u32 count = c.into->GetChildCount();
    const std::size_t flags = c.into->GetStatic().size();
    EXPECT_EQ(c.into->AddChild(c.child), c.expected) << c.name;
    EXPECT_EQ(c.into->GetChildCount(), count) << c.name;
    EXPECT_EQ(c.into->GetStatic().size(), flags) << c.name;
  }
  EXPECT_EQ(foreign->GetObject(), other.Get());
  EXPECT_EQ(held->GetOwners().size(), 1u);
}

// Children 0, 1, 2 with clips naming 0, 1, 2 and 1: removing child 1 drops
// both clips naming it and renumbers the clip of child 2.
TEST(LayerTest, RemoveChildRenumbersTheClipsAndFlags) {
  auto container = MakeContainer();
  std::vector<Child> children = {MakeChild(), MakeChild(), MakeChild()};
  for (const Child& c : children) ASSERT_EQ(container->AddChild(c.Get()), kOk);
  ASSERT_EQ(container->SetStatic(0, true), kOk);
  ASSERT_EQ(container->SetStatic(2, true), kOk);
  for (i32 i = 0; i < 4; ++i) ASSERT_EQ(container->AddClipKey(CClipKey(1000 * i, i == 3 ? 1 : i), 1000.0f), kOk);

  ASSERT_EQ(container->RemoveChild(children[1].Get()), kOk);
  EXPECT_EQ(ClipIds(*container), (std::vector<i32>{0, 1}));
  EXPECT_EQ(container->GetClips()[1].Time, 2000);
  EXPECT_EQ(container->GetStatic(), (std::vector<bool>{true, true}));
  EXPECT_EQ(container->GetChild(1), children[2].Get());
  EXPECT_FALSE(children[1]->HasOwners());

  // Refusals change nothing.
  EXPECT_EQ(container->RemoveChild(nullptr), kErrInvalidArg);
  EXPECT_EQ(container->RemoveChild(children[1].Get()), kErrInvalidArg);
  EXPECT_EQ(container->GetChildCount(), 2u);
  EXPECT_EQ(container->SetStatic(2, true), kErrOutOfRange);
  auto empty = MakeContainer();
  EXPECT_EQ(empty->RemoveChild(children[0].Get()), kErrInvalidArg);
}

TEST(LayerTest, SetChildReplacesAndClearsTheFlag) {
  CPointer<CTestDorun> object(new CTestDorun());
  auto container = MakeContainer();
  ASSERT_EQ(object->AddControl(container.Get()), kOk);
  auto first = MakeChild();
  auto second = MakeChild();
  ASSERT_EQ(container->AddChild(first.Get()), kOk);
  ASSERT_EQ(container->SetStatic(0, true), kOk);
  EXPECT_EQ(container->SetChild(1, second.Get()), kErrInvalidArg);
  EXPECT_EQ(container->SetChild(0, first.Get()), kErrNotFound);
  ASSERT_EQ(container->SetChild(0, second.Get()), kOk);
  EXPECT_EQ(container->GetChild(0), second.Get());
  EXPECT_EQ(container->GetStatic(), std::vector<bool>{false});
  EXPECT_EQ(second->GetObject(), object.Get());
  EXPECT_EQ(first->GetObject(), nullptr);
  EXPECT_FALSE(first->HasOwners());
}

TEST(LayerTest, SharedChildStaysBoundUntilBothContainersReleaseIt) {
  CPointer<CTestDorun> object(new CTestDorun());
  auto a = MakeContainer();
  auto b = MakeContainer();
  ASSERT_EQ(object->AddControl(a.Get()), kOk);
  ASSERT_EQ(object->AddControl(b.Get()), kOk);
  auto child = MakeChild();
  ASSERT_EQ(a->AddChild(child.Get()), kOk);
  ASSERT_EQ(b->AddChild(child.Get()), kOk);
  EXPECT_EQ(child->GetOwners().size(), 2u);

  ASSERT_EQ(a->RemoveChild(child.Get()), kOk);
  EXPECT_EQ(child->GetObject(), object.Get());
  ASSERT_EQ(b->RemoveAllChildren(), kOk);
  EXPECT_EQ(child->GetObject(), nullptr);
  EXPECT_FALSE(child->HasOwners());
  EXPECT_TRUE(b->GetStatic().empty());

  // The same when the first container is destroyed instead.
  ASSERT_EQ(a->AddChild(child.Get()), kOk);
  ASSERT_EQ(b->AddChild(child.Get()), kOk);
  ASSERT_EQ(object->RemoveControl(a.Get()), kOk);
  a.Release();
  EXPECT_EQ(child->GetOwners(), std::vector<CControl*>{b.Get()});
  EXPECT_EQ(child->GetObject(), object.Get());
}

TEST(LayerTest, BindingTheContainerBindsItsChildren) {
  CPointer<CTestDorun> object(new CTestDorun());
  auto container = MakeContainer();
  auto child = MakeChild();
  ASSERT_EQ(container->AddChild(child.Get()), kOk);
  EXPECT_EQ(child->GetObject(), nullptr);
  ASSERT_EQ(object->AddControl(container.Get()), kOk);
  EXPECT_EQ(child->GetObject(), object.Get());
  ASSERT_EQ(object->RemoveControl(container.Get()), kOk);
  EXPECT_EQ(child->GetObject(), nullptr);
}

TEST(LayerTest, DeeplyNestedContainersAreTornDownWithoutRecursion) {
  auto root = MakeContainer();
  CTestClipContainer* last = root.Get();
  for (int i = 0; i < 50000; ++i) {
    auto next = MakeContainer();
    ASSERT_EQ(last->AddChild(next.Get()), kOk);
    last = next.Get();
  }
  auto leaf = MakeChild();
  ASSERT_EQ(last->AddChild(leaf.Get()), kOk);
  EXPECT_TRUE(root->HoldsInSubtree(leaf.Get()));
  root.Release();
  EXPECT_FALSE(leaf->HasOwners());
}

TEST(LayerTest, AddClipKeySnapsAndOverwrites) {
  auto container = MakeContainer();
  CClipKey key(1010, 0);
  ASSERT_EQ(container->AddClipKey(key, 30.0f), kOk);
  key.Time = 1000;
  key.Priority = 5.0f;
  ASSERT_EQ(container->AddClipKey(key, 30.0f), kOk);
  ASSERT_EQ(container->GetClips().size(), 1u);
  EXPECT_EQ(container->GetClips()[0].Priority, 5.0f);
  // The exporter's clip of no child is taken as it is.
  ASSERT_EQ(container->AddClipKey(CClipKey(0, -1), 30.0f), kOk);
  ASSERT_EQ(container->GetClips().size(), 2u);
  EXPECT_EQ(container->GetClips()[0].ClipID, -1);
  EXPECT_EQ(container->GetClipChild(container->GetClips()[0]), nullptr);
}

// --- clip arithmetic -----------------------------------------------------------------------

struct SourceCase {
  const char* name;
  i32 begin;
  i32 end;
  u32 loops;
  bool reverse;
  f32 frequency;
  i32 t;
  i32 expected;
};

TEST(LayerTest, SourceTimeFollowsBeginLoopsAndReversal) {
  auto container = MakeContainer();
  auto child = MakeChild(1000);
  ASSERT_EQ(container->AddChild(child.Get()), kOk);
  const SourceCase cases[] = {
      {"held at BeginTime", 100, 0, 1, false, 1.0f, 50, 100},
      {"held at BeginTime (reverse)", 100, 0, 1, true, 1.0f, 100, 900},
      {"inside the cycle", 100, 0, 1, false, 1.0f, 300, 300},
      {"inside the cycle (reverse)", 0, 0, 1, true, 1.0f, 250, 750},
      {"second cycle", 0, 0, 2, false, 1.0f, 1250, 250},
      {"past the last cycle", 0, 0, 2, false, 1.0f, 2000, 1000},
      {"past the last cycle (reverse)", 0, 0, 2, true, 1.0f, 5000, 0},
      {"end cut", 0, 100, 1, false, 1.0f, 950, 900},
      {"endless", 0, 0, 0, false, 1.0f, 123456, 456},
      {"scaled", 0, 0, 1, false, 2.0f, 300, 600},
  };
  for (const SourceCase& c : cases) {
    CClipKey clip(0, 0);
    clip.BeginTime = c.begin;
    clip.EndTime = c.end;
    clip.LoopCount = c.loops;
    clip.Reverse = c.reverse;
    clip.Frequency = c.frequency;
    EXPECT_EQ(container->GetSourceTime(clip, c.t), c.expected) << c.name;
  }
}

TEST(LayerTest, EndlessClipOverAChildOfLengthZeroShowsItsStart) {
  auto container = MakeContainer();
  ASSERT_EQ(container->AddChild(MakeChild(0).Get()), kOk);
  CClipKey clip(0, 0);
  clip.LoopCount = 0;
  clip.BeginTime = 10;
  EXPECT_EQ(container->GetCycleLength(clip), 0);
  EXPECT_EQ(container->GetSourceTime(clip, 500), 10);
  clip.Reverse = true;
  EXPECT_EQ(container->GetSourceTime(clip, 500), -10);
  EXPECT_EQ(container->ApplyTimeWarp(clip, 500), 0);
}

TEST(LayerTest, DurationsStartsAndCycles) {
  auto container = MakeContainer();
  auto child = MakeChild(1000);
  child->SetFrequency(2.0f);  // the child's own animation lasts 500 ms
  ASSERT_EQ(container->AddChild(child.Get()), kOk);
  CClipKey clip(100, 0);
  clip.Padding = 100;
  clip.LoopCount = 3;
  clip.EndTime = 200;
  clip.BeginTime = 50;
  clip.Frequency = 0.5f;
  ASSERT_EQ(container->AddClipKey(clip, 1000.0f), kOk);
  EXPECT_EQ(container->GetCycleLength(clip), 600);
  EXPECT_EQ(container->GetClipDuration(clip), 3 * 600 - 400);
  EXPECT_EQ(container->GetClipStart(0), 200);
  EXPECT_EQ(container->GetClipEnd(0), 1500);
  EXPECT_EQ(container->GetClipsEndTime(), 1500);
  // Cycles of 1200 controller ms; the last cycle stands from the third on.
  EXPECT_EQ(container->GetCycleStart(clip, 1199), 0);
  EXPECT_EQ(container->GetCycleStart(clip, 1200), 1200);
  EXPECT_EQ(container->GetCycleStart(clip, 99999), 2400);
  clip.LoopCount = 0;
  EXPECT_EQ(container->GetClipDuration(clip), 1073741823);
  EXPECT_EQ(container->GetCycleStart(clip, 99999), 99600);
}

TEST(LayerTest, TimeWarpBendsInsideTheCycleThroughTheFraction) {
  auto container = MakeContainer();
  ASSERT_EQ(container->AddChild(MakeChild(1000).Get()), kOk);
  CClipKey clip(0, 0);
  // The linear warp goes through s / L in single precision and back, so a
  // few times come back one below themselves.
  struct Row {
    i32 s;
    i32 warped;
  };
  for (const Row& row : {Row{0, 0}, Row{1, 1}, Row{251, 250}, Row{299, 299}, Row{700, 700}, Row{999, 999},
                         Row{1000, 1000}}) {
    EXPECT_EQ(container->ApplyTimeWarp(clip, row.s), row.warped) << row.s;
  }
  clip.TimeWarpType = TT_EASE_IN;
  clip.TimeWarpStrength = 50.0f;  // squares the fraction
  EXPECT_EQ(container->ApplyTimeWarp(clip, 500), 250);
  EXPECT_EQ(container->ApplyTimeWarp(clip, 1000), 1000);
}

TEST(LayerTest, ArithmeticStaysDefinedForHostileFields) {
  auto container = MakeContainer();
  ASSERT_EQ(container->AddChild(MakeChild(std::numeric_limits<i32>::max()).Get()), kOk);
  const f32 frequencies[] = {0.0f, -1.0f, std::numeric_limits<f32>::quiet_NaN(), 1e30f};
  const i32 values[] = {std::numeric_limits<i32>::min(), -1, 0, std::numeric_limits<i32>::max()};
  for (f32 frequency : frequencies) {
    for (i32 v : values) {
      CClipKey clip(v, 0);
      clip.Frequency = frequency;
      clip.BeginTime = v;
      clip.EndTime = ~v;
      clip.Padding = v;
      clip.LoopCount = 0xFFFFFFFFu;
      for (bool reverse : {false, true}) {
        clip.Reverse = reverse;
        container->GetSourceTime(clip, v);
        container->ApplyTimeWarp(clip, v);
        container->GetClipDuration(clip);
        container->GetCycleStart(clip, v);
        GetClipEndTime(clip, container->GetChild(0));
      }
    }
  }
}

// --- the clip search -------------------------------------------------------------------------

std::vector<CClipKey> ClipsAt(std::initializer_list<i32> times) {
  std::vector<CClipKey> clips;
  for (i32 t : times) clips.emplace_back(t, 0);
  return clips;
}

TEST(LayerTest, FindActiveClipsWalksFromTheCache) {
  const std::vector<CClipKey> clips = ClipsAt({100, 500, 900});
  struct Case {
    i32 t;
    u32 start;
    i32 code;
    u32 current;
    u32 next;
    i32 untilNext;
  };
  const Case cases[] = {
      {50, 0, 1, 0, 0, 0},    {100, 0, 3, 0, 0, 0},  {300, 0, 4, 0, 1, 200}, {600, 0, 4, 1, 2, 300},
      {300, 2, 2, 0, 1, 200}, {500, 1, 3, 1, 1, 0},  {900, 0, 5, 2, 2, 0},   {5000, 1, 5, 2, 2, 0},
      {300, 7, 4, 0, 1, 200},
  };
  for (const Case& c : cases) {
    const ActiveClips found = FindActiveClips(clips, c.t, c.start);
    EXPECT_EQ(found.code, c.code) << c.t << " from " << c.start;
    EXPECT_EQ(found.current, c.current) << c.t << " from " << c.start;
    EXPECT_EQ(found.next, c.next) << c.t << " from " << c.start;
    EXPECT_EQ(found.untilNext, c.untilNext) << c.t << " from " << c.start;
  }
  EXPECT_EQ(FindActiveClips({}, 10, 0).code, 0);
}

TEST(LayerTest, FindActiveClipsNeverWalksPastTheLastClip) {
  // A negative BeginTime puts the last start before the time, while the
  // time is still before the last clip's Time.
  std::vector<CClipKey> clips = ClipsAt({0, 1000});
  clips[1].BeginTime = -800;
  const ActiveClips found = FindActiveClips(clips, 500, 0);
  EXPECT_EQ(found.code, 5);
  EXPECT_EQ(found.current, 1u);
  EXPECT_EQ(found.next, 1u);
  clips[1].Frequency = -1.0f;
  clips[1].BeginTime = 900;
  EXPECT_LT(FindActiveClips(clips, 500, 1).current, 2u);
}

// --- spans and picks --------------------------------------------------------------------------

TEST(LayerTest, ClipSpansClaimTheClipAndReleaseItAtItsEnd) {
  auto container = MakeContainer();
  ASSERT_EQ(container->AddChild(MakeChild(1000).Get()), kOk);
  CClipKey clip(100, 0);
  clip.Priority = 2.0f;
  ASSERT_EQ(container->AddClipKey(clip, 1000.0f), kOk);
  ASSERT_EQ(container->AddClipKey(CClipKey(1500, 7), 1000.0f), kOk);  // no child: no span
  std::vector<i32> times;
  std::vector<f32> priorities;
  std::vector<f32> spans;
  CollectClipSpans(*container, container->GetClips(), 100, 3000, times, priorities, spans, 0);
  EXPECT_EQ(times, (std::vector<i32>{100, 1100}));
  EXPECT_EQ(priorities, (std::vector<f32>{2.0f, 0.0f}));
  EXPECT_EQ(spans, (std::vector<f32>{200.0f, 200.0f}));
}

TEST(LayerTest, PickClipByPriorityTakesAHigherClip) {
  auto container = MakeContainer();
  ASSERT_EQ(container->AddChild(MakeChild(1000).Get()), kOk);
  CClipKey clip(100, 0);
  clip.Priority = 2.0f;
  ASSERT_EQ(container->AddClipKey(clip, 1000.0f), kOk);
  ASSERT_EQ(container->AddClipKey(CClipKey(5000, 3), 1000.0f), kOk);
  const auto& clips = container->GetClips();

  i32 best = 0;
  i32 picked = kMaxKeyTime;
  f32 priority = 0.0f;
  // Before the clip: only the pick time is narrowed.
  EXPECT_EQ(PickClipByPriority(*container, clips, 50, 0, best, picked, priority), 1);
  EXPECT_EQ(picked, 100);
  // Inside it: taken, with its priority.
  picked = kMaxKeyTime;
  EXPECT_EQ(PickClipByPriority(*container, clips, 300, 0, best, picked, priority), 3);
  EXPECT_EQ(priority, 2.0f);
  EXPECT_EQ(best, 100);
  // A clip of no child takes nothing.
  f32 none = 0.0f;
  EXPECT_EQ(PickClipByPriority(*container, clips, 6000, 1, best, picked, none), 0);
  EXPECT_EQ(PickClipByPriority(*container, clips, 6000, 9, best, picked, none), 0);
}

}  // namespace
}  // namespace KT
