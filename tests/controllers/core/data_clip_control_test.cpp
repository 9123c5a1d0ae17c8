// The data and UVW clip controllers: switching at once at clip times,
// clips of no child, the clip in force when a child has not started,
// priority and picks, copies, and the records in their current and older
// forms.
#include "controllers/core/data_clip_control.h"
#include "objectmodel/test_class_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controllers/core/test_classes.h"
#include "controllers/core/uvw_map_control.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream_test_support.h"
#include "scene/uvw_map.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::CTestDorun;
using Vec = CVector3<float>;
using Set = std::vector<Vec>;

// A data controller that remembers the time of its last Update and writes
// `output` into a bound CTestDorun on Apply. Its own record part: version
// pair 1.0, EndTime (i32), Output (i32).
class CTestData : public CDataControl {
  KT_TEST_CLASS(CTestData, CDataControl, 1, 0)

 public:
  CTestData() = default;
  CTestData(const char16_t* name, i32 out) : output(out) { SetName(name); }
  CTestData(const CTestData& other)
      : CDataControl(other), endTime(other.endTime), output(other.output), started(other.started) {}
  Result CreateInstance(CPointer<CBase>& out) const override { return CreateCopy(*this, out); }

  i32 GetEndTime() const override { return endTime; }
  Result Update(i32 time) override {
    lastTime = time;
    return updateResult;
  }
  Result Apply() override {
    if (auto* target = DynamicCast<CTestDorun>(GetObject())) target->value = output;
    return kOk;
  }
  bool IsStartedAt(i32) const override { return started; }

  Result Save(CStream& stream, u32 flags) override {
    Result r = CDataControl::Save(stream, flags);
    if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
    if (Succeeded(r)) r = WriteI32(stream, endTime);
    if (Succeeded(r)) r = WriteI32(stream, output);
    return r;
  }
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override {
    Result r = CDataControl::Load(stream, record, flags);
    if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
    if (Succeeded(r)) r = ReadU32(stream, endTime);
    if (Succeeded(r)) r = ReadU32(stream, output);
    return r;
  }
  u32 GetSaveSize() const override { return CDataControl::GetSaveSize() + 16; }
  void DescribeMembers(CMemberVisitor& visitor) override {
    visitor.BeginGroup(u"CTestData Member");
    visitor.OpenGroup();
    visitor.Int(u"EndTime", &endTime);
    visitor.Int(u"Output", &output);
    visitor.EndGroup();
    CDataControl::DescribeMembers(visitor);
  }

  i32 endTime = 1000;
  i32 output = 0;
  bool started = true;
  Result updateResult = kOk;
  i32 lastTime = -1;
};

class DataClipControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTestClasses();
    CClassFactory::Register("CTestData", &CreateObject<CTestData>);
    CClassFactory::Register("CDataClipControl", &CreateObject<CDataClipControl>);
    CClassFactory::Register("CUvwMap", &CreateObject<CUvwMap>);
    CClassFactory::Register("CUvwMapData", &CreateObject<CUvwMapData>);
    CClassFactory::Register("CUvwMapControl", &CreateObject<CUvwMapControl>);
    CClassFactory::Register("CUvwMapClipControl", &CreateObject<CUvwMapClipControl>);
    test::UseTestIds(0);
  }
};

CClipKey Clip(i32 time, i32 child, f32 priority = 0.0f, bool persist = false) {
  CClipKey key(time, child);
  key.Priority = priority;
  key.Persist = persist;
  return key;
}

// An object whose value the children "a" (writes 1) and "b" (writes 2)
// set, through a data clip controller with clips at 0 (a) and 1000 (b, a
// transition range of 200 that must not matter).
struct Switch {
  CPointer<CTestDorun> object{new CTestDorun()};
  CPointer<CDataClipControl> clips{new CDataClipControl()};
  CPointer<CTestData> a{new CTestData(u"a", 1)};
  CPointer<CTestData> b{new CTestData(u"b", 2)};

  explicit Switch(bool withClips = true) {
    EXPECT_EQ(object->AddControl(clips.Get()), kOk);
    EXPECT_EQ(clips->AddChild(a.Get()), kOk);
    EXPECT_EQ(clips->AddChild(b.Get()), kOk);
    if (!withClips) return;
    EXPECT_EQ(clips->AddClipKey(Clip(0, 0), 1000.0f), kOk);
    EXPECT_EQ(clips->AddClipKey(Clip(1000, 1), 1000.0f), kOk);
  }
  // The object's Update (the controller's Update, then its Apply).
  i32 At(i32 time) {
    object->value = 0;
    a->lastTime = b->lastTime = -1;
    EXPECT_EQ(object->Update(time), kOk) << "at " << time;
    return object->value;
  }
};

TEST_F(DataClipControlTest, SwitchesAtOnceAtTheClipTime) {
  struct Case {
    i32 time;
    i32 value;     // 1: child a wrote, 2: child b
    i32 aTime;     // -1: not updated
    i32 bTime;
  };
  const Case cases[] = {
      {-100, 1, 0, -1},   // before the first clip: its child at its start
      {0, 1, 0, -1},      {900, 1, 900, -1},  {999, 1, 999, -1},
      {1000, 2, -1, 0},   // no blend, whatever TransitionRange says
      {1500, 2, -1, 500}, {2600, 2, -1, 1000},  // held at the end of its one cycle
  };
  Switch s;
  for (const Case& c : cases) {
    EXPECT_EQ(s.At(c.time), c.value) << c.time;
    EXPECT_EQ(s.a->lastTime, c.aTime) << c.time;
    EXPECT_EQ(s.b->lastTime, c.bTime) << c.time;
  }
  EXPECT_EQ(s.clips->GetEndTime(), 2000);
  EXPECT_EQ(s.clips->GetCurrentClipTime(), 1000);
  // Played backward the search walks back; before the first clip the
  // first clip is the current one.
  s.At(300);
  EXPECT_EQ(s.clips->GetLastIndex(), 0u);
  s.At(1200);
  s.At(-5);
  EXPECT_EQ(s.clips->GetLastIndex(), 0u);
  EXPECT_EQ(s.clips->GetCurrentClipTime(), 0);
  // Frequency scales the controller's time, with no repeat folding.
  s.clips->SetFrequency(2.0f);
  s.clips->SetRepeat(CControl::RT_WRAP);
  EXPECT_EQ(s.At(600), 2);
  EXPECT_EQ(s.b->lastTime, 200);
}

TEST_F(DataClipControlTest, RefusalsAndNothingToDo) {
  CPointer<CDataClipControl> loose(new CDataClipControl());
  EXPECT_EQ(loose->Update(0), kErrInvalidArg);
  EXPECT_EQ(loose->Apply(), kDone);
  CPointer<CUvwMapClipControl> looseUv(new CUvwMapClipControl());
  EXPECT_EQ(looseUv->Update(0), kErrInvalidArg);

  Switch empty(false);
  EXPECT_EQ(empty.clips->Update(100), kDone);
  EXPECT_EQ(empty.clips->Apply(), kDone);
  EXPECT_EQ(empty.clips->GetCurrentClipTime(), 0);

  Switch s;
  s.a->updateResult = kErrStream;
  EXPECT_EQ(s.clips->Update(100), kErrStream);
  s.clips->SetActive(false);
  EXPECT_EQ(s.clips->Update(100), kDone);
  EXPECT_EQ(s.clips->Apply(), kDone);
  EXPECT_EQ(s.object->value, 0);
}

// The exporter's clip of no child (ClipID -1) and a clip naming a child
// past the end are kept, but write nothing and claim no time or priority.
TEST_F(DataClipControlTest, AClipOfNoChildIsAbsent) {
  for (i32 id : {-1, 9}) {
    SCOPED_TRACE(id);
    Switch s(false);
    ASSERT_EQ(s.clips->AddClipKey(Clip(0, id, 5.0f), 1000.0f), kOk);
    ASSERT_EQ(s.clips->AddClipKey(Clip(1000, 0), 1000.0f), kOk);
    ASSERT_EQ(s.clips->AddClipKey(Clip(2000, id, 5.0f, true), 1000.0f), kOk);
    for (i32 t : {-50, 500, 2500}) {
      s.object->value = 0;
      EXPECT_EQ(s.clips->Update(t), kDone) << t;
      EXPECT_EQ(s.clips->Apply(), kDone) << t;
      EXPECT_EQ(s.object->value, 0) << t;
      EXPECT_EQ(s.a->lastTime, -1) << t;
      EXPECT_EQ(s.clips->UpdatePriority(t), kDone) << t;
      EXPECT_EQ(s.clips->GetPriority(), 0.0f) << t;
    }
    EXPECT_FALSE(s.clips->IsActiveAt(2500));
    EXPECT_EQ(s.At(1500), 1);
    std::vector<i32> times;
    std::vector<f32> priorities;
    std::vector<f32> spans;
    ASSERT_EQ(s.clips->CollectTimeSpans(2100, 5000, times, priorities, spans), kOk);
    EXPECT_TRUE(times.empty());
    i32 best = 0;
    i32 picked = kMaxKeyTime;
    f32 priority = 0.0f;
    EXPECT_EQ(s.clips->PickByPriority(2500, best, picked, priority), kOk);
    EXPECT_EQ(priority, 0.0f);
    EXPECT_EQ(s.clips->GetClips().size(), 3u);  // kept
  }
}

TEST_F(DataClipControlTest, AChildThatHasNotStartedLeavesTheEarlierClipPlaying) {
  Switch s;
  s.b->started = false;
  EXPECT_EQ(s.At(1500), 1);
  EXPECT_EQ(s.a->lastTime, 1000);
  EXPECT_EQ(s.clips->GetLastIndex(), 0u);
  s.b->started = true;
  EXPECT_EQ(s.At(1500), 2);
  EXPECT_EQ(s.clips->GetLastIndex(), 1u);
}

TEST_F(DataClipControlTest, PriorityEndsWithTheClipUnlessItPersists) {
  Switch s(false);
  s.a->SetPriority(1.0f);
  ASSERT_EQ(s.clips->AddClipKey(Clip(0, 0, 2.0f), 1000.0f), kOk);
  s.clips->SetModified(false);
  struct Case {
    i32 time;
    Result result;
    f32 priority;
  };
  // The clip ends at 1000: from there on a clip that does not persist has
  // no priority.
  const Case cases[] = {{-10, kDone, 0.0f}, {500, kOk, 3.0f}, {999, kOk, 3.0f}, {1000, kOk, 0.0f}, {1500, kOk, 0.0f}};
  for (const Case& c : cases) {
    EXPECT_EQ(s.clips->UpdatePriority(c.time), c.result) << c.time;
    EXPECT_EQ(s.clips->GetPriority(), c.priority) << c.time;
  }
  EXPECT_FALSE(s.clips->IsModified());
  EXPECT_FALSE(s.clips->IsActiveAt(500));

  // A next clip within 8 ms of both the time and the end keeps it.
  ASSERT_EQ(s.clips->AddClipKey(Clip(1004, 1), 1000.0f), kOk);
  ASSERT_EQ(s.clips->UpdatePriority(1002), kOk);
  EXPECT_EQ(s.clips->GetPriority(), 3.0f);

  Switch persisting(false);
  ASSERT_EQ(persisting.clips->AddClipKey(Clip(0, 0, 2.0f, true), 1000.0f), kOk);
  ASSERT_EQ(persisting.clips->UpdatePriority(5000), kOk);
  EXPECT_EQ(persisting.clips->GetPriority(), 2.0f);
  EXPECT_TRUE(persisting.clips->IsActiveAt(5000));
  EXPECT_FALSE(persisting.clips->IsActiveAt(-5));
  persisting.clips->SetActive(false);
  EXPECT_EQ(persisting.clips->UpdatePriority(500), kDone);
  EXPECT_EQ(persisting.clips->GetPriority(), 0.0f);
}

// A child whose priority at a time is that time: the controller's
// priority at a time then shows which child time reached the child.
class CTimePriorityData : public CTestData {
 public:
  using CTestData::CTestData;
  using CTestData::GetPriority;
  f32 GetPriority(i32 time) const override { return static_cast<f32>(time); }
};

TEST_F(DataClipControlTest, PriorityAtATimeIsTheClipsPlusTheChildsAtItsSourceTime) {
  CPointer<CTestDorun> object(new CTestDorun());
  CPointer<CDataClipControl> clips(new CDataClipControl());
  CPointer<CTimePriorityData> child(new CTimePriorityData(u"timed", 1));
  ASSERT_EQ(object->AddControl(clips.Get()), kOk);
  ASSERT_EQ(clips->AddChild(child.Get()), kOk);
  clips->SetPriority(7.0f);
  clips->SetFrequency(2.0f);
  ASSERT_EQ(clips->AddClipKey(Clip(0, 0, 2.0f), 1000.0f), kOk);
  ASSERT_EQ(clips->AddClipKey(Clip(2000, 0, 4.0f), 1000.0f), kOk);
  struct Row {
    i32 time;  // scaled by Frequency 2 before the search
    f32 priority;
  };
  // Before the first clip the controller's own priority stands; a clip
  // past its end (1000) still answers, with the child's last time.
  for (const Row& row : {Row{-10, 7.0f}, Row{150, 302.0f}, Row{750, 1002.0f}, Row{1125, 254.0f}}) {
    EXPECT_EQ(clips->GetPriority(row.time), row.priority) << row.time;
  }
  EXPECT_EQ(clips->GetLastIndex(), 0u);
  EXPECT_EQ(clips->GetPriority(), 7.0f);

  // The UVW clip controller keeps the base answer.
  CPointer<CUvwMapClipControl> uvw(new CUvwMapClipControl());
  uvw->SetPriority(3.0f);
  ASSERT_EQ(uvw->AddClipKey(Clip(0, 0, 2.0f), 1000.0f), kOk);
  EXPECT_EQ(uvw->GetPriority(500), 3.0f);
}

TEST_F(DataClipControlTest, PicksAndSpansInItsScaledTime) {
  Switch s(false);
  ASSERT_EQ(s.clips->AddClipKey(Clip(100, 0, 2.0f), 1000.0f), kOk);
  s.clips->SetFrequency(2.0f);
  i32 best = 0;
  i32 picked = kMaxKeyTime;
  f32 priority = 0.0f;
  EXPECT_EQ(s.clips->PickByPriority(100, best, picked, priority), 3);
  EXPECT_EQ(priority, 2.0f);
  EXPECT_EQ(best, 50);  // the clip's start, 100 in scaled time
  EXPECT_EQ(picked, kMaxKeyTime);

  std::vector<i32> times;
  std::vector<f32> priorities;
  std::vector<f32> spans;
  ASSERT_EQ(s.clips->CollectTimeSpans(0, 1000, times, priorities, spans), kOk);
  // From the clip's start (at its priority) to its end, in scaled time.
  ASSERT_FALSE(times.empty());
  EXPECT_EQ(times.front(), 100);
  EXPECT_EQ(priorities.front(), 2.0f);
  EXPECT_EQ(times.back(), 1100);
  EXPECT_EQ(priorities.back(), 0.0f);
  s.clips->SetActive(false);
  times.clear();
  ASSERT_EQ(s.clips->CollectTimeSpans(0, 1000, times, priorities, spans), kOk);
  EXPECT_TRUE(times.empty());
}

TEST_F(DataClipControlTest, CloneCopiesChildrenFlagsAndBindings) {
  Switch s;
  ASSERT_EQ(s.clips->SetStatic(1, true), kOk);
  CloneMap map;
  CPointer<CBase> out;
  ASSERT_EQ(CloneObject(out, map, s.object.Get(), 0), kOk);
  auto* object = DynamicCast<CTestDorun>(out.Get());
  ASSERT_NE(object, nullptr);
  auto* clips = DynamicCast<CDataClipControl>(object->GetFirstControl());
  ASSERT_NE(clips, nullptr);
  ASSERT_EQ(clips->GetChildCount(), 2u);
  EXPECT_NE(clips->GetChild(0), s.a.Get());
  EXPECT_EQ(clips->GetChild(1)->GetObject(), object);
  EXPECT_EQ(clips->GetChild(1)->GetOwners(), std::vector<CControl*>{clips});
  EXPECT_EQ(clips->GetStatic(), (std::vector<bool>{false, true}));
  ASSERT_EQ(object->Update(1200), kOk);
  EXPECT_EQ(object->value, 2);

  // A plain copy holds no children.
  CPointer<CBase> copy;
  ASSERT_EQ(s.clips->CreateInstance(copy), kOk);
  EXPECT_EQ(DynamicCast<CDataClipControl>(copy.Get())->GetChildCount(), 0u);
  EXPECT_EQ(DynamicCast<CDataClipControl>(copy.Get())->GetClips().size(), 2u);
  EXPECT_EQ(s.a->GetOwners().size(), 1u);
}

TEST_F(DataClipControlTest, CopyToMovesTheChildrenIntoItsOwnClassOnly) {
  Switch s;
  CPointer<CDataClipControl> target(new CDataClipControl());
  CPointer<CTestData> former(new CTestData(u"former", 3));
  ASSERT_EQ(target->AddChild(former.Get()), kOk);
  DisplacedList displaced;
  ASSERT_EQ(s.clips->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(s.clips->GetChildCount(), 0u);
  ASSERT_EQ(target->GetChildCount(), 2u);
  EXPECT_EQ(target->GetChild(0), s.a.Get());
  EXPECT_EQ(s.a->GetOwners(), std::vector<CControl*>{target.Get()});
  EXPECT_EQ(target->GetClips().size(), 2u);
  EXPECT_EQ(target->GetStatic().size(), 2u);
  EXPECT_FALSE(former->HasOwners());

  DisplacedList none;
  CPointer<CUvwMapClipControl> other(new CUvwMapClipControl());
  EXPECT_EQ(target->CopyTo(other.Get(), none, 0), kErrNotFound);
  EXPECT_EQ(other->CopyTo(target.Get(), none, 0), kErrNotFound);
  EXPECT_EQ(target->GetChildCount(), 2u);
}

// The children move only where they can be bound as their new container
// is: a child held for another object stays, and a moved child takes the
// target's binding.
TEST_F(DataClipControlTest, CopyToRebindsTheChildrenAndRefusesOnesHeldForAnotherObject) {
  Switch s;
  CPointer<CDataClipControl> second(new CDataClipControl());
  ASSERT_EQ(s.object->AddControl(second.Get()), kOk);
  ASSERT_EQ(second->AddChild(s.a.Get()), kOk);
  // Unbinding the clip controller leaves "a" bound for the second one.
  ASSERT_EQ(s.object->RemoveControl(s.clips.Get()), kOk);
  ASSERT_EQ(s.a->GetObject(), s.object.Get());
  ASSERT_EQ(s.b->GetObject(), nullptr);

  CPointer<CDataClipControl> target(new CDataClipControl());
  DisplacedList displaced;
  EXPECT_EQ(s.clips->CopyTo(target.Get(), displaced, 0), kErrInvalidArg);
  EXPECT_EQ(s.clips->GetChildCount(), 2u);
  EXPECT_EQ(target->GetChildCount(), 0u);
  EXPECT_TRUE(target->GetClips().empty());
  EXPECT_EQ(s.a->GetOwners(), (std::vector<CControl*>{s.clips.Get(), second.Get()}));

  // Released by the second controller, "a" is still bound for the first;
  // moved to the unbound target it is unbound too.
  ASSERT_EQ(second->RemoveChild(s.a.Get()), kOk);
  ASSERT_EQ(s.a->GetObject(), s.object.Get());
  ASSERT_EQ(s.clips->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(s.a->GetObject(), nullptr);
  EXPECT_EQ(s.a->GetOwners(), std::vector<CControl*>{target.Get()});
  EXPECT_EQ(target->GetClips().size(), 2u);
}

// --- the UVW clip controller ----------------------------------------------------------------

const Set kA = {{0, 0, 0}, {1, 0, 0}};
const Set kB = {{10, 20, 0}, {11, 20, 1}};
const Set kC = {{-4, 8, 2}, {5, 6, 7}};
const Set kStart = {{7, 7, 7}, {7, 7, 7}};

Set Coordinates(const CUvwMap& map) { return Set(map.GetUVW().begin(), map.GetUVW().end()); }

void Show(CUvwMap& map, const Set& set) { std::copy(set.begin(), set.end(), map.GetUVW().begin()); }

void ExpectNear(const Set& actual, const Set& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    EXPECT_NEAR(actual[i].x, expected[i].x, 1e-5f) << i;
    EXPECT_NEAR(actual[i].y, expected[i].y, 1e-5f) << i;
    EXPECT_NEAR(actual[i].z, expected[i].z, 1e-5f) << i;
  }
}

Set Lerp(const Set& a, const Set& b, f32 f) {
  Set out;
  for (std::size_t i = 0; i < a.size(); ++i) out.push_back(a[i] + (b[i] - a[i]) * f);
  return out;
}

// A map of two coordinates animated by a UVW clip controller with the
// children "scroll" (kA to kB over 1000 ms) and "still" (kC), played by
// clips at 500 (scroll) and 1500 (still).
struct UvSwitch {
  CPointer<CUvwMap> map{new CUvwMap()};
  CPointer<CUvwMapClipControl> clips{new CUvwMapClipControl()};
  CPointer<CUvwMapControl> scroll{new CUvwMapControl()};
  CPointer<CUvwMapControl> still{new CUvwMapControl()};

  UvSwitch() {
    map->SetName(u"uv");
    EXPECT_EQ(map->AllocateUvw(2), kOk);
    EXPECT_EQ(map->AddControl(clips.Get()), kOk);
    scroll->SetName(u"scroll");
    still->SetName(u"still");
    EXPECT_EQ(clips->AddChild(scroll.Get()), kOk);
    EXPECT_EQ(clips->AddChild(still.Get()), kOk);
    Key(*scroll, 0, kA);
    Key(*scroll, 1000, kB);
    Key(*still, 0, kC);
    Key(*still, 1000, kC);
    EXPECT_EQ(clips->AddClipKey(Clip(500, 0), 1000.0f), kOk);
    EXPECT_EQ(clips->AddClipKey(Clip(1500, 1), 1000.0f), kOk);
    Show(*map, kStart);
  }
  void Key(CUvwMapControl& child, i32 time, const Set& set) {
    Show(*map, set);
    EXPECT_EQ(child.SetKey(time, 1000.0f, map.Get(), TT_LINEAR), kOk);
  }
  Set At(i32 time, Result expected = kOk) {
    EXPECT_EQ(clips->Update(time), expected) << "at " << time;
    EXPECT_EQ(clips->Apply(), kDone);
    return Coordinates(*map);
  }
};

TEST_F(DataClipControlTest, UvwClipsSwitchAtTheClipTimeAndWriteNothingBefore) {
  UvSwitch u;
  ExpectNear(u.At(0, kDone), kStart);  // before the first clip: untouched
  ExpectNear(u.At(499, kDone), kStart);
  ExpectNear(u.At(500), kA);
  ExpectNear(u.At(750), Lerp(kA, kB, 0.25f));
  ExpectNear(u.At(1499), Lerp(kA, kB, 0.999f));
  ExpectNear(u.At(1500), kC);  // at once, whatever TransitionRange says
  EXPECT_EQ(u.clips->GetEndTime(), 2500);
  // The repeat mode folds the whole sequence (2500 ms long).
  u.clips->SetRepeat(CControl::RT_WRAP);
  ExpectNear(u.At(3750), Lerp(kA, kB, 0.75f));
  u.clips->SetActive(false);
  Show(*u.map, kStart);
  ExpectNear(u.At(750, kDone), kStart);
}

TEST_F(DataClipControlTest, UvwPriorityIsOnePastTheEndOfAClip) {
  UvSwitch u;
  struct Case {
    i32 time;
    Result result;
    f32 priority;
  };
  // The second clip ends at 2500; a data clip controller would say 0
  // there, the UVW one says 1.
  const Case cases[] = {{100, kDone, 0.0f}, {700, kOk, 0.0f}, {2400, kOk, 0.0f}, {2500, kOk, 1.0f}, {9000, kOk, 1.0f}};
  for (const Case& c : cases) {
    EXPECT_EQ(u.clips->UpdatePriority(c.time), c.result) << c.time;
    EXPECT_EQ(u.clips->GetPriority(), c.priority) << c.time;
  }
}

TEST_F(DataClipControlTest, UvwPickTakesAHigherPriorityAndNarrowsAtTheClipEnd) {
  struct Case {
    const char* name;
    i32 time;
    f32 clipPriority;
    i32 bestTime;
    f32 bestPriority;
    Result result;
    i32 newBest;
    i32 newPicked;
    f32 newPriority;
  };
  const Case cases[] = {
      {"before the first clip", 100, 2.0f, 0, 0.0f, kOk, 0, -1, 0.0f},
      {"higher priority", 700, 2.0f, 0, 0.0f, 2, 700, 700, 2.0f},
      {"lower priority", 700, 2.0f, 0, 3.0f, kOk, 0, -1, 3.0f},
      // past the end of the second clip (2500) the priority is 1
      {"equal, narrowed to the end", 3000, 2.0f, 0, 1.0f, 1, 2500, 2500, 1.0f},
      {"equal, best already past the end", 3000, 2.0f, 2600, 1.0f, kOk, 2600, -1, 1.0f},
  };
  for (const Case& c : cases) {
    UvSwitch u;
    ASSERT_EQ(u.clips->AddClipKey(Clip(500, 0, c.clipPriority), 1000.0f), kOk);
    i32 best = c.bestTime;
    i32 picked = -1;
    f32 priority = c.bestPriority;
    EXPECT_EQ(u.clips->PickByPriority(c.time, best, picked, priority), c.result) << c.name;
    EXPECT_EQ(best, c.newBest) << c.name;
    EXPECT_EQ(picked, c.newPicked) << c.name;
    EXPECT_EQ(priority, c.newPriority) << c.name;
  }
}

TEST_F(DataClipControlTest, UvwClipsOfNoChildWriteNothing) {
  UvSwitch u;
  ASSERT_EQ(u.clips->AddClipKey(Clip(1000, -1, 4.0f), 1000.0f), kOk);
  ASSERT_EQ(u.clips->AddClipKey(Clip(3000, 7, 4.0f), 1000.0f), kOk);
  for (i32 t : {1200, 3200}) {
    Show(*u.map, kStart);
    ExpectNear(u.At(t, kDone), kStart);
    EXPECT_EQ(u.clips->UpdatePriority(t), kDone);
    EXPECT_EQ(u.clips->GetPriority(), 0.0f);
    i32 best = 0;
    i32 picked = -1;
    f32 priority = -1.0f;
    EXPECT_EQ(u.clips->PickByPriority(t, best, picked, priority), kOk);
    EXPECT_EQ(priority, -1.0f);
  }
}

// --- records ------------------------------------------------------------------------------------

Bytes KeyBytes(const std::vector<CClipKey>& keys) {
  CMemoryIo device;
  CStream stream;
  stream.SetDevice(&device);
  for (const CClipKey& key : keys) EXPECT_EQ(CClipKey(key).Save(stream), kOk);
  return device.GetData();
}

Bytes Tail(const Bytes& saved, std::size_t from) {
  return Bytes(saved.begin() + static_cast<std::ptrdiff_t>(from), saved.end());
}

TEST_F(DataClipControlTest, RecordLayoutsAndSizes) {
  Switch s(false);
  const CClipKey key = Clip(0, 0, 2.0f);
  ASSERT_EQ(s.clips->AddClipKey(key, 1000.0f), kOk);
  ASSERT_EQ(s.clips->SetStatic(1, true), kOk);
  UvSwitch u;
  ASSERT_EQ(u.clips->SetStatic(0, true), kOk);

  struct Case {
    const char* name;
    CControl* control;
    u32 baseSize;
    u32 baseMemory;
    Bytes tail;
  };
  ByteWriter dataTail;
  dataTail.Pair(2, 2).U32(2).U64(s.a->GetUniqueId()).U64(s.b->GetUniqueId()).U32(2).U8(0).U8(1).U32(1);
  dataTail.Bytes(KeyBytes({key}));
  ByteWriter uvTail;
  uvTail.Pair(2, 6).U32(2).U64(u.scroll->GetUniqueId()).U64(u.still->GetUniqueId()).U32(2);
  uvTail.Bytes(KeyBytes(u.clips->GetClips())).U32(2).U8(1).U8(0);  // the clips before the flags
  const Case cases[] = {
      {"data", s.clips.Get(), s.clips->CDataControl::GetSaveSize(), s.clips->CDataControl::GetMemorySize(),
       dataTail.Data()},
      {"uvw", u.clips.Get(), u.clips->CUvwMapDataControl::GetSaveSize(),
       u.clips->CUvwMapDataControl::GetMemorySize(), uvTail.Data()},
  };
  for (const Case& c : cases) {
    CMemoryIo device;
    CStream stream;
    stream.SetDevice(&device);
    ASSERT_EQ(c.control->Save(stream, 0), kOk) << c.name;
    const Bytes saved = device.GetData();
    EXPECT_EQ(saved.size(), c.control->GetSaveSize()) << c.name;
    EXPECT_EQ(Tail(saved, c.baseSize), c.tail) << c.name;
    const u32 clips = c.control == s.clips.Get() ? 1 : 2;
    EXPECT_EQ(c.control->GetMemorySize(), c.baseMemory + 2 + 8 + 68 * clips + 96) << c.name;
  }
  const std::string data = test::Members(s.clips.Get());
  for (const char* name : {"CDataClipControl Member", "LastIndex", "Static", "CClip Member", "ClipID"}) {
    EXPECT_NE(data.find(name), std::string::npos) << name;
  }
  const std::string uv = test::Members(u.clips.Get());
  EXPECT_NE(uv.find("CUvwMapClipControl Member"), std::string::npos);
  EXPECT_NE(uv.find("LastIndex"), std::string::npos);
  EXPECT_EQ(uv.find("Static"), std::string::npos);
  EXPECT_LT(uv.find("CClip Member"), uv.find("CControl Member"));
}

// Each controller saved, loaded, evaluated and saved again: the same
// values and the same bytes.
TEST_F(DataClipControlTest, BothRoundTripThroughAFile) {
  Switch s;
  ASSERT_EQ(s.clips->SetStatic(0, true), kOk);
  const Bytes dataFile = test::SaveRoots({s.object.Get()});
  UvSwitch u;
  ASSERT_EQ(u.clips->SetStatic(1, true), kOk);
  const Bytes uvFile = test::SaveRoots({u.map.Get()});
  test::UseTestIds(1);

  CStream dataStream;
  CMemoryIo dataDevice;
  ASSERT_EQ(test::LoadScene(dataFile, dataStream, dataDevice), kOk);
  auto* object = DynamicCast<CTestDorun>(dataStream.GetRootObject(0));
  ASSERT_NE(object, nullptr);
  auto* clips = DynamicCast<CDataClipControl>(object->GetFirstControl());
  ASSERT_NE(clips, nullptr);
  ASSERT_EQ(clips->GetChildCount(), 2u);
  EXPECT_EQ(clips->GetChild(1)->GetObject(), object);
  EXPECT_EQ(clips->GetChild(1)->GetOwners(), std::vector<CControl*>{clips});
  EXPECT_EQ(test::Members(clips), test::Members(s.clips.Get()));
  // (Saved before evaluating: the object stores the value written.)
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(dataStream)), test::RenumberIds(dataFile));
  for (i32 t : {-50, 0, 900, 1000, 2500}) {
    ASSERT_EQ(object->Update(t), kOk);
    EXPECT_EQ(object->value, s.At(t)) << t;
  }

  CStream uvStream;
  CMemoryIo uvDevice;
  ASSERT_EQ(test::LoadScene(uvFile, uvStream, uvDevice), kOk);
  auto* map = DynamicCast<CUvwMap>(uvStream.GetRootObject(0));
  ASSERT_NE(map, nullptr);
  auto* uvClips = DynamicCast<CUvwMapClipControl>(map->GetFirstControl());
  ASSERT_NE(uvClips, nullptr);
  EXPECT_EQ(uvClips->GetStatic(), (std::vector<bool>{false, true}));
  EXPECT_EQ(test::Members(uvClips), test::Members(u.clips.Get()));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(uvStream)), test::RenumberIds(uvFile));
  for (i32 t : {600, 1499, 1500, 2000}) {
    ASSERT_EQ(uvClips->Update(t), kOk);
    ExpectNear(Coordinates(*map), u.At(t));
  }
}

// --- older records ------------------------------------------------------------------------------

// A UVW-map controller record without keys (the children of every image).
ByteWriter UvwChildBody(u64 id) {
  ByteWriter w;
  test::BasePart(w, id);
  test::DorunPart(w, 0);
  test::ControlPart(w, test::ControlFields());
  w.Pair(2, 0).Pair(2, 0).Pair(2, 3).U32(0).U32(0).U32(0);
  return w;
}

// A file with the clip controller (id 0x20, a root) of class `className`
// and UVW-map children 0x21 and 0x22. `controlMinor` 2 writes a controller
// part from before owner lists.
Bytes ClipFile(const std::string& className, const ByteWriter& clipPart, u32 controlMinor = 4) {
  ByteWriter body;
  test::BasePart(body, 0x20);
  test::DorunPart(body, 0);
  if (controlMinor == 4) {
    test::ControlPart(body, test::ControlFields());
  } else {
    body.Pair(2, 2).U32(0).F32(0.0f).F32(1.0f).F32(1.0f).U8(1).U64(0).U64(0);
  }
  body.Pair(2, 0);                                         // CDataControl
  if (className == "CUvwMapClipControl") body.Pair(2, 0);  // CUvwMapDataControl
  body.Bytes(clipPart.Data());
  test::SceneImage image;
  image.Record(className, body, true);
  image.Record("CUvwMapControl", UvwChildBody(0x21));
  image.Record("CUvwMapControl", UvwChildBody(0x22));
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

// The clip every image holds: at 100 ms, child 1, two cycles, BeginTime 10,
// EndTime 20, TransitionRange 120.
CClipKey StoredClip() {
  CClipKey key(100, 1);
  key.LoopCount = 2;
  key.BeginTime = 10;
  key.EndTime = 20;
  key.TransitionRange = 120.0f;
  return key;
}

// One time (100.7 as f32, or 100 as i32) and one legacy record in block or
// field form, as StoredClip.
ByteWriter& LegacyClips(ByteWriter& w, bool integerTimes, bool fieldForm) {
  w.U32(1);
  if (integerTimes) {
    w.I32(100);
  } else {
    w.F32(100.7f);
  }
  w.U32(1);
  if (fieldForm) {
    w.Pair(2, 1).F32(1.0f).I32(1).U32(2).I32(10).I32(20).F32(120.0f).F32(0.0f).I32(0).U8(0).U32(0).U8(0);
  } else {
    w.F32(1.0f).I32(1).U32(2).F32(10.0f).F32(20.0f).F32(120.0f).F32(0.0f).U32(0).U8(0).U8(0).U8(0).U8(0);
  }
  return w;
}

// The part of CDataClipControl 2.minor: Static {true, false}.
ByteWriter DataPart(u32 minor) {
  ByteWriter w;
  w.Pair(2, minor);
  ChildIds(w, true);
  if (minor >= 2) {
    w.U32(2).U8(1).U8(0).U32(1).Bytes(KeyBytes({StoredClip()}));
    return w;
  }
  LegacyClips(w, minor >= 1, true).U32(2).U8(1).U8(0);
  return w;
}

// The part of CUvwMapClipControl 2.minor (Static {true, false} in 2.06).
ByteWriter UvwPart(u32 minor) {
  ByteWriter w;
  w.Pair(2, minor);
  ChildIds(w, minor >= 2);
  if (minor == 0) {
    // 20-byte records: f32 time, ClipID, LoopCount (0 read as 1), f32
    // BeginTime and EndTime.
    w.U32(1).F32(100.7f).I32(1).U32(0).F32(10.0f).F32(20.0f);
  } else if (minor <= 4) {
    LegacyClips(w, minor >= 4, minor >= 3);
  } else {
    w.U32(1).Bytes(KeyBytes({StoredClip()}));
    if (minor >= 6) w.U32(2).U8(1).U8(0);
  }
  return w;
}

struct VersionCase {
  std::string className;
  u32 minor;
  Bytes file;
  u32 loopCount;
  f32 transitionRange;
  std::vector<bool> flags;
};

std::vector<VersionCase> VersionCases() {
  std::vector<VersionCase> cases;
  for (u32 minor = 0; minor <= 2; ++minor) {
    cases.push_back({"CDataClipControl", minor, ClipFile("CDataClipControl", DataPart(minor)), 2, 120.0f,
                     {true, false}});
  }
  for (u32 minor = 0; minor <= 6; ++minor) {
    cases.push_back({"CUvwMapClipControl", minor, ClipFile("CUvwMapClipControl", UvwPart(minor)),
                     minor == 0 ? 1u : 2u, minor == 0 ? 200.0f : 120.0f,
                     minor == 6 ? std::vector<bool>{true, false} : std::vector<bool>{false, false}});
  }
  return cases;
}

// The loaded root as a clip controller of either class: its clips, flags
// and children.
struct Loaded {
  CControl* control = nullptr;
  const std::vector<CClipKey>* clips = nullptr;
  const std::vector<bool>* flags = nullptr;
  CLayerBase* layer = nullptr;
};
Loaded LoadedClips(CStream& stream) {
  Loaded out;
  if (stream.GetRootObjectCount() == 0) return out;
  if (auto* d = DynamicCast<CDataClipControl>(stream.GetRootObject(0))) {
    out = {d, &d->GetClips(), &d->GetStatic(), d};
  } else if (auto* u = DynamicCast<CUvwMapClipControl>(stream.GetRootObject(0))) {
    out = {u, &u->GetClips(), &u->GetStatic(), u};
  }
  return out;
}

TEST_F(DataClipControlTest, EveryStoredVersionBuildsItsClips) {
  for (const VersionCase& c : VersionCases()) {
    SCOPED_TRACE(c.className + " 2." + std::to_string(c.minor));
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(c.file, stream, device), kOk);
    const Loaded loaded = LoadedClips(stream);
    ASSERT_NE(loaded.control, nullptr);
    ASSERT_EQ(loaded.layer->GetChildCount(), 2u);
    EXPECT_EQ(loaded.layer->GetChildControl(1)->GetOwners(), std::vector<CControl*>{loaded.control});
    ASSERT_EQ(loaded.clips->size(), 1u);
    const CClipKey& clip = (*loaded.clips)[0];
    EXPECT_EQ(clip.Time, 100);
    EXPECT_EQ(clip.ClipID, 1);
    EXPECT_EQ(clip.BeginTime, 10);
    EXPECT_EQ(clip.EndTime, 20);
    EXPECT_EQ(clip.LoopCount, c.loopCount);
    EXPECT_EQ(clip.TransitionRange, c.transitionRange);
    EXPECT_EQ(*loaded.flags, c.flags);
  }
}

TEST_F(DataClipControlTest, OldFilesFoldAChildListedTwice) {
  ByteWriter part;
  part.Pair(2, 2);
  ChildIds(part, true, {0x21, 0x22, 0x21});
  part.U32(3).U8(0).U8(1).U8(0).U32(3).Bytes(KeyBytes({CClipKey(0, 0), CClipKey(100, 1), CClipKey(200, 2)}));
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(ClipFile("CDataClipControl", part, 2), stream, device), kOk);
  const Loaded loaded = LoadedClips(stream);
  ASSERT_NE(loaded.control, nullptr);
  ASSERT_EQ(loaded.layer->GetChildCount(), 2u);
  std::vector<i32> ids;
  for (const CClipKey& clip : *loaded.clips) ids.push_back(clip.ClipID);
  EXPECT_EQ(ids, (std::vector<i32>{0, 1, 0}));
  EXPECT_EQ(*loaded.flags, (std::vector<bool>{false, true}));

  // The same list in a file with owner lists is refused.
  CStream current;
  CMemoryIo currentDevice;
  EXPECT_EQ(test::LoadScene(ClipFile("CDataClipControl", part), current, currentDevice), kErrNotFound);
}

TEST_F(DataClipControlTest, HostileRecordsAreRefused) {
  struct Case {
    const char* name;
    Bytes bytes;
    Result expected;
  };
  ByteWriter newerData;
  newerData.Pair(2, 3);
  ChildIds(newerData, true).U32(0).U32(0);
  ByteWriter newerUv;
  newerUv.Pair(2, 7);
  ChildIds(newerUv, true).U32(0).U32(0);
  ByteWriter self;
  self.Pair(2, 2);
  ChildIds(self, true, {0x20}).U32(0).U32(0);
  ByteWriter hugeCount;
  hugeCount.Pair(2, 6);
  ChildIds(hugeCount, true).U32(0x10000000);
  ByteWriter hugeRecords;
  hugeRecords.Pair(2, 0);
  ChildIds(hugeRecords, false).U32(0x08000000);
  ByteWriter fewTimes;
  fewTimes.Pair(2, 1);
  ChildIds(fewTimes, true).U32(0).U32(1);
  for (int i = 0; i < 46; ++i) fewTimes.U8(0);
  const Case cases[] = {
      {"newer data version", ClipFile("CDataClipControl", newerData), kErrNewerVersion},
      {"newer UVW version", ClipFile("CUvwMapClipControl", newerUv), kErrNewerVersion},
      {"its own child", ClipFile("CDataClipControl", self), kErrNotFound},
      {"clip count beyond the file", ClipFile("CUvwMapClipControl", hugeCount), kErrStream},
      {"record count beyond the file", ClipFile("CUvwMapClipControl", hugeRecords), kErrStream},
      {"clips without times", ClipFile("CDataClipControl", fewTimes), kErrNotFound},
  };
  for (const Case& c : cases) {
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(c.bytes, stream, device), c.expected) << c.name;
  }
}

TEST_F(DataClipControlTest, EveryPrefixOfEachVersionFailsCleanly) {
  std::vector<Bytes> files;
  for (const VersionCase& c : VersionCases()) files.push_back(c.file);
  Switch s;
  files.push_back(test::SaveRoots({s.object.Get()}));
  UvSwitch u;
  files.push_back(test::SaveRoots({u.map.Get()}));
  for (const Bytes& bytes : files) {
    test::ExpectPrefixesFailBetweenRecords(bytes);
  }
}

}  // namespace
}  // namespace KT
