// The controller base: time mapping, priorities, binding, owners, the Next
// chain and its operations, copies, and the record in every stored version.
#include "controllers/core/control.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "controllers/core/test_classes.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/custom_data.h"
#include "objectmodel/stream_test_support.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::CTestControl;
using test::CTestDorun;

constexpr f32 kNaN = std::numeric_limits<f32>::quiet_NaN();
constexpr i32 kIndefinite = std::numeric_limits<i32>::min();

class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTestClasses();
    RegisterCustomDataClasses();
    test::UseTestIds(0);
    test::CallLog().clear();
  }
};

// A chain of `count` controllers named c0, c1, ... linked through Next.
std::vector<CPointer<CTestControl>> MakeChain(int count) {
  std::vector<CPointer<CTestControl>> chain;
  for (int i = 0; i < count; ++i) {
    std::u16string name(u"c");
    name.push_back(static_cast<char16_t>(u'0' + i));
    chain.emplace_back(new CTestControl(name.c_str()));
    if (i > 0) {
      EXPECT_EQ(chain[i - 1]->SetNext(chain[i].Get()), kOk);
    }
  }
  return chain;
}

// --- time ----------------------------------------------------------------------

TEST_F(ControlTest, MapTimeThroughRepeatModesAndFrequency) {
  struct Case {
    u32 repeat;
    f32 frequency;
    i32 time;
    i32 length;
    i32 expected;
    i32 cycles;
  };
  const u32 C = CControl::RT_CLAMP, W = CControl::RT_WRAP, Y = CControl::RT_CYCLE;
  const Case cases[] = {
      // The worked examples, length 1000.
      {W, 1.0f, 2500, 1000, 500, 2},
      {Y, 1.0f, 1250, 1000, 750, 1},
      {Y, 1.0f, 2250, 1000, 250, 2},
      {C, 1.0f, 2500, 1000, 2500, 0},
      {C, 1.0f, -300, 1000, -300, 0},
      {W, 1.0f, -300, 1000, -300, 0},
      {Y, 1.0f, -300, 1000, -300, 0},
      // Around the period.
      {C, 2.0f, 700, 1000, 1400, 0},
      {W, 1.0f, 999, 1000, 999, 0},
      {W, 1.0f, 1000, 1000, 0, 1},
      {Y, 1.0f, 500, 1000, 500, 0},
      {Y, 1.0f, 1000, 1000, 1000, 1},
      {Y, 1.0f, 2000, 1000, 0, 2},
      {C, 1.0f, 0, 1000, 0, 0},
      {W, 1.0f, 0, 1000, 0, 0},
      {Y, 1.0f, 0, 1000, 0, 0},
      // No keys: every positive time folds to 0.
      {W, 1.0f, 5000, 0, 0, 0},
      {Y, 1.0f, 5000, -7, 0, 0},
      // Any other repeat value behaves as RT_CYCLE.
      {7, 1.0f, 1250, 1000, 750, 1},
      // Frequency scales before folding.
      {W, 0.5f, 2500, 1000, 250, 1},
      {Y, 3.0f, 500, 1000, 500, 1},
      // The remainder is computed in single precision and may come out one
      // less than the integer remainder.
      {W, 1.0f, 251, 1000, 250, 0},
      {W, 1.0f, 5, 3, 1, 1},
      {Y, 1.0f, 5, 3, 2, 1},
      // The product is rounded to single precision before truncation.
      {C, 1.0f, 16777217, 1000, 16777216, 0},
      {C, 0.1f, 1000, 1000, 100, 0},
      // Values a file can hold: Frequency 0, NaN, and out-of-range products.
      {W, 0.0f, 2500, 1000, 0, 0},
      {W, kNaN, 2500, 1000, kIndefinite, 0},
      {Y, 1e10f, 2500, 1000, kIndefinite, 0},
      {C, -1e10f, 2500, 1000, kIndefinite, 0},
  };
  for (const Case& c : cases) {
    CTestControl control;
    control.SetRepeat(c.repeat);
    control.SetFrequency(c.frequency);
    i32 cycles = -1;
    EXPECT_EQ(control.MapTime(c.time, c.length, cycles), c.expected)
        << "repeat " << c.repeat << " freq " << c.frequency << " time " << c.time << " length " << c.length;
    EXPECT_EQ(cycles, c.cycles) << "repeat " << c.repeat << " time " << c.time << " length " << c.length;
  }
}

TEST_F(ControlTest, ScaleAndUnscaleTruncateTowardZero) {
  struct Case {
    f32 frequency;
    i32 time;
    i32 scaled;
    i32 unscaled;
  };
  const Case cases[] = {
      {2.0f, 701, 1402, 350},     {2.0f, -701, -1402, -350}, {0.3f, 10, 3, 33},
      {1.0f, 0, 0, 0},            {0.0f, 500, 0, kIndefinite}, {0.0f, 0, 0, kIndefinite},
      {kNaN, 500, kIndefinite, kIndefinite}, {1e-10f, 500, 0, kIndefinite},
  };
  for (const Case& c : cases) {
    CTestControl control;
    control.SetFrequency(c.frequency);
    EXPECT_EQ(control.ScaleTime(c.time), c.scaled) << c.frequency << " " << c.time;
    EXPECT_EQ(control.UnscaleTime(c.time), c.unscaled) << c.frequency << " " << c.time;
  }
}

TEST_F(ControlTest, CollectTimeSpansReportsStartsInsideTheWindow) {
  struct Case {
    f32 frequency;
    i32 start;
    i32 duration;
    i32 endTime;
    bool appended;
    i32 time;
  };
  const Case cases[] = {
      {1.0f, 0, 100, 1000, true, 0},
      {1.0f, 999, 100, 1000, true, 999},
      {1.0f, 1000, 100, 1000, false, 0},    // starts at the end
      {2.0f, 600, 100, 1000, false, 0},     // 1200 is past the end
      {2.0f, 400, 100, 1000, true, 400},    // the global start is reported
      {1.0f, -50, 100, 1000, true, 0},      // window reaches into the animation
      {1.0f, -100, 100, 1000, false, 0},    // window ends at 0
      {1.0f, -100, 50, 1000, false, 0},
      {kNaN, 100, 100, 1000, false, 0},     // an unusable frequency reports nothing
      {1.0f, -2000000000, -2000000000, 1000, false, 0},  // no overflow
      {1.0f, 2000000000, 2000000000, 2100000000, true, 2000000000},
  };
  for (const Case& c : cases) {
    CTestControl control;
    control.SetFrequency(c.frequency);
    control.SetPriority(3.5f);
    control.endTime = c.endTime;
    std::vector<i32> times;
    std::vector<f32> priorities, spans;
    EXPECT_EQ(control.CollectTimeSpans(c.start, c.duration, times, priorities, spans), kOk);
    ASSERT_EQ(times.size(), c.appended ? 1u : 0u) << c.start << " " << c.duration;
    ASSERT_EQ(priorities.size(), times.size());
    ASSERT_EQ(spans.size(), times.size());
    if (c.appended) {
      EXPECT_EQ(times[0], c.time);
      EXPECT_EQ(priorities[0], 3.5f);
      EXPECT_EQ(spans[0], 200.0f);
    }
  }
}

TEST_F(ControlTest, PickByPriorityTakesOnlyAStrictlyHigherActivePriority) {
  struct Case {
    const char* name;
    f32 priority;
    bool active;
    i32 time;
    Result expected;
  };
  const Case cases[] = {
      {"higher", 2.0f, true, 10, 2},
      {"equal keeps the earlier winner", 1.0f, true, 10, kOk},
      {"lower", 0.5f, true, 10, kOk},
      {"inactive", 9.0f, false, 10, kOk},
      {"NaN never wins", kNaN, true, 10, kOk},
      {"earlier than the best time", 2.0f, true, 4, kOk},
      {"at the best time", 2.0f, true, 5, 2},
  };
  for (const Case& c : cases) {
    CTestControl control;
    control.SetPriority(c.priority);
    control.SetActive(c.active);
    i32 bestTime = 5, picked = -1;
    f32 best = 1.0f;
    EXPECT_EQ(control.PickByPriority(c.time, bestTime, picked, best), c.expected) << c.name;
    if (c.expected == 2) {
      EXPECT_EQ(bestTime, c.time) << c.name;
      EXPECT_EQ(picked, c.time) << c.name;
      EXPECT_EQ(best, c.priority) << c.name;
    } else {
      EXPECT_EQ(bestTime, 5) << c.name;
      EXPECT_EQ(picked, -1) << c.name;
      EXPECT_EQ(best, 1.0f) << c.name;
    }
  }
}

TEST_F(ControlTest, DefaultsAndBaseAnswers) {
  CTestControl control;
  EXPECT_EQ(control.GetRepeat(), CControl::RT_CLAMP);
  EXPECT_EQ(control.GetFrequency(), 1.0f);
  EXPECT_EQ(control.GetWeight(), 1.0f);
  EXPECT_EQ(control.GetPriority(), 0.0f);
  EXPECT_TRUE(control.IsActive());
  EXPECT_EQ(control.CheckActive(), kOk);
  control.SetActive(false);
  EXPECT_EQ(control.CheckActive(), kDone);
  EXPECT_FALSE(control.NeedsSubSteps());
  EXPECT_TRUE(control.IsStartedAt(5));
  EXPECT_TRUE(control.IsActiveAt(5));
  EXPECT_EQ(control.UpdatePriority(5), kDone);
  i32 depth = 4;
  EXPECT_EQ(control.GetUpdateDepth(0, depth), kDone);
  EXPECT_EQ(depth, 4);
  std::vector<CDorun*> animated;
  EXPECT_EQ(control.CControl::CollectAnimated(animated), kDone);
  EXPECT_TRUE(animated.empty());
  CPointer<CBase> instance;
  EXPECT_EQ(CControl::StaticClassRecord().Version(), 204u);
  EXPECT_EQ(control.CControl::CreateInstance(instance), kErrInvalidArg);
}

// --- binding and owners -------------------------------------------------------------

TEST_F(ControlTest, SetObjectBindsOneObjectAtATime) {
  CPointer<CTestDorun> a(new CTestDorun()), b(new CTestDorun());
  CTestControl control;
  EXPECT_EQ(control.SetObject(nullptr), kDone);
  EXPECT_FALSE(control.IsModified());
  EXPECT_EQ(control.SetObject(a.Get()), kOk);
  EXPECT_TRUE(control.IsModified());
  EXPECT_EQ(control.SetObject(a.Get()), kDone);
  EXPECT_EQ(control.SetObject(b.Get()), kErrNotFound);
  EXPECT_EQ(control.GetObject(), a.Get());
  EXPECT_EQ(control.SetObject(nullptr), kOk);
  EXPECT_EQ(control.GetObject(), nullptr);
}

TEST_F(ControlTest, AnOwnerBoundElsewhereMakesSetObjectANoOp) {
  CPointer<CTestDorun> a(new CTestDorun());
  CPointer<CTestControl> owner(new CTestControl()), child(new CTestControl());
  ASSERT_EQ(child->AddOwner(owner.Get()), kOk);
  // The owner is unbound, so the child may not be bound to a.
  EXPECT_EQ(child->SetObject(a.Get()), kDone);
  EXPECT_EQ(child->GetObject(), nullptr);
  ASSERT_EQ(owner->SetObject(a.Get()), kOk);
  EXPECT_EQ(child->SetObject(a.Get()), kOk);
  // Unbinding waits for the owner in the same way.
  EXPECT_EQ(child->SetObject(nullptr), kDone);
  EXPECT_EQ(child->GetObject(), a.Get());
}

TEST_F(ControlTest, OwnersAreListedOnce) {
  CPointer<CTestControl> first(new CTestControl()), second(new CTestControl());
  CTestControl child;
  EXPECT_FALSE(child.HasOwners());
  EXPECT_EQ(child.AddOwner(nullptr), kErrInvalidArg);
  EXPECT_EQ(child.AddOwner(first.Get()), kOk);
  EXPECT_TRUE(child.IsModified());
  EXPECT_EQ(child.AddOwner(first.Get()), kErrNotFound);
  EXPECT_EQ(child.AddOwner(second.Get()), kOk);
  EXPECT_EQ(child.GetOwners(), (std::vector<CControl*>{first.Get(), second.Get()}));
  EXPECT_EQ(child.RemoveOwner(first.Get()), kOk);
  EXPECT_EQ(child.RemoveOwner(first.Get()), kErrNotFound);
  EXPECT_EQ(child.GetOwners(), (std::vector<CControl*>{second.Get()}));
  EXPECT_TRUE(child.HasOwners());
}

// --- the Next chain --------------------------------------------------------------------

TEST_F(ControlTest, SetNextRefusesALoop) {
  auto chain = MakeChain(3);
  EXPECT_EQ(chain[0]->SetNext(chain[0].Get()), kErrInvalidArg);
  EXPECT_EQ(chain[2]->SetNext(chain[0].Get()), kErrInvalidArg);
  EXPECT_EQ(chain[2]->SetNext(chain[1].Get()), kErrInvalidArg);
  EXPECT_EQ(chain[2]->GetNext(), nullptr);
  EXPECT_EQ(chain[0]->SetNext(nullptr), kOk);
  EXPECT_EQ(chain[0]->GetNext(), nullptr);
}

TEST_F(ControlTest, ChainOperationsPassAlongNext) {
  auto chain = MakeChain(3);
  // c1 carries a controller of its own, searched as part of c1.
  CPointer<CTestControl> inner(new CTestControl(u"inner"));
  ASSERT_EQ(chain[1]->AddControl(inner.Get()), kOk);

  EXPECT_EQ(chain[0]->Find(u"c2", nullptr, false, false), chain[2].Get());
  EXPECT_EQ(chain[0]->Find(u"inner", nullptr, false, false), inner.Get());
  EXPECT_EQ(chain[1]->Find(u"c0", nullptr, false, false), nullptr);
  std::vector<CBase*> found;
  chain[0]->Collect(found, nullptr, &CControl::StaticClassRecord(), true, false);
  EXPECT_EQ(found, (std::vector<CBase*>{chain[0].Get(), chain[1].Get(), inner.Get(), chain[2].Get()}));

  // Each controller is marked when it or a controller behind it is.
  EXPECT_TRUE(chain[0]->UpdateMarked(ObjectSet{inner.Get()}));
  EXPECT_TRUE(chain[0]->IsMarked());
  EXPECT_TRUE(chain[1]->IsMarked());
  EXPECT_FALSE(chain[2]->IsMarked());
  EXPECT_EQ(chain[0]->Find(nullptr, nullptr, false, true), chain[0].Get());
  chain[0]->ClearMarked();
  EXPECT_FALSE(chain[0]->IsMarked() || chain[1]->IsMarked() || inner->IsMarked());

  EXPECT_EQ(chain[0]->ResolveReferences(nullptr), kErrInvalidArg);
  EXPECT_EQ(chain[0]->ResolveReferences(chain[0].Get()), kOk);
  EXPECT_TRUE(chain[0]->HasSubObjects());
  EXPECT_FALSE(chain[2]->HasSubObjects());
}

TEST_F(ControlTest, EnumReferencesReportsNextThenTheChains) {
  struct Recorder : CReferenceVisitor {
    std::vector<std::pair<CBase*, u32>> seen;
    void Visit(CBase* object, u32 owned) override { seen.emplace_back(object, owned); }
  };
  auto chain = MakeChain(2);
  CPointer<CTestDorun> object(new CTestDorun());
  ASSERT_EQ(object->AddControl(chain[0].Get()), kOk);
  Recorder recorder;
  chain[0]->EnumReferences(recorder);
  const std::vector<std::pair<CBase*, u32>> expected = {
      {chain[1].Get(), 1}, {nullptr, 1}, {nullptr, 1}, {nullptr, 1}};
  EXPECT_EQ(recorder.seen, expected);
}

TEST_F(ControlTest, CloneCopiesTheWholeChainUnbound) {
  auto chain = MakeChain(3);
  chain[1]->SetRepeat(CControl::RT_WRAP);
  chain[2]->SetFrequency(2.5f);
  CPointer<CTestDorun> object(new CTestDorun());
  ASSERT_EQ(object->AddControl(chain[0].Get()), kOk);

  CloneMap map;
  CPointer<CBase> out;
  ASSERT_EQ(chain[0]->Clone(out, map, 0), kOk);
  CControl* copy = DynamicCast<CControl>(out.Get());
  ASSERT_NE(copy, nullptr);
  for (int i = 0; i < 3; ++i) {
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, chain[i].Get());
    EXPECT_EQ(copy->GetName(), chain[i]->GetName());
    EXPECT_EQ(copy->GetRepeat(), chain[i]->GetRepeat());
    EXPECT_EQ(copy->GetFrequency(), chain[i]->GetFrequency());
    EXPECT_EQ(copy->GetObject(), nullptr);
    EXPECT_EQ(map.at(chain[i].Get()).Get(), copy);
    copy = copy->GetNext();
  }
  EXPECT_EQ(copy, nullptr);
  // A second clone through the same map answers the first.
  CPointer<CBase> again;
  EXPECT_EQ(chain[0]->Clone(again, map, 0), kDone);
  EXPECT_EQ(again.Get(), out.Get());
}

TEST_F(ControlTest, CopyConstructorKeepsSettingsOnly) {
  auto chain = MakeChain(2);
  CPointer<CTestDorun> object(new CTestDorun());
  ASSERT_EQ(object->AddControl(chain[0].Get()), kOk);
  CPointer<CTestControl> owner(new CTestControl());
  chain[0]->SetRepeat(CControl::RT_CYCLE);
  chain[0]->SetFrequency(0.5f);
  chain[0]->SetWeight(0.25f);
  chain[0]->SetPriority(7.0f);
  chain[0]->SetActive(false);
  ASSERT_EQ(chain[0]->AddOwner(owner.Get()), kOk);
  CTestControl copy(*chain[0]);
  EXPECT_EQ(copy.GetRepeat(), CControl::RT_CYCLE);
  EXPECT_EQ(copy.GetFrequency(), 0.5f);
  EXPECT_EQ(copy.GetWeight(), 0.25f);
  EXPECT_EQ(copy.GetPriority(), 7.0f);
  EXPECT_FALSE(copy.IsActive());
  EXPECT_EQ(copy.GetObject(), nullptr);
  EXPECT_EQ(copy.GetNext(), nullptr);
  EXPECT_FALSE(copy.HasOwners());
}

TEST_F(ControlTest, CopyToSharesNextAndDisplacesTheFormerOne) {
  auto source = MakeChain(2);
  CPointer<CTestDorun> object(new CTestDorun());
  ASSERT_EQ(object->AddControl(source[0].Get()), kOk);
  CPointer<CTestControl> owner(new CTestControl());
  source[0]->SetRepeat(CControl::RT_WRAP);
  source[0]->SetPriority(4.0f);
  source[0]->SetWeight(0.5f);
  source[0]->SetFrequency(3.0f);
  source[0]->SetActive(false);
  ASSERT_EQ(source[0]->AddOwner(owner.Get()), kOk);
  auto target = MakeChain(2);

  DisplacedList displaced;
  ASSERT_EQ(source[0]->CopyTo(target[0].Get(), displaced, 0), kOk);
  EXPECT_EQ(target[0]->GetNext(), source[1].Get());
  EXPECT_EQ(target[0]->GetRepeat(), CControl::RT_WRAP);
  EXPECT_EQ(target[0]->GetPriority(), 4.0f);
  EXPECT_EQ(target[0]->GetWeight(), 0.5f);
  EXPECT_EQ(target[0]->GetFrequency(), 3.0f);
  EXPECT_FALSE(target[0]->IsActive());
  EXPECT_EQ(target[0]->GetObject(), object.Get());
  EXPECT_EQ(target[0]->GetOwners(), source[0]->GetOwners());
  ASSERT_EQ(displaced.size(), 1u);
  EXPECT_EQ(displaced[0].Get(), target[1].Get());
}

TEST_F(ControlTest, CopyToRefusesOtherKindsAndLoops) {
  auto chain = MakeChain(3);
  DisplacedList displaced;
  CPointer<CTestDorun> plain(new CTestDorun());
  EXPECT_EQ(chain[0]->CopyTo(nullptr, displaced, 0), kErrNotFound);
  EXPECT_EQ(chain[0]->CopyTo(plain.Get(), displaced, 0), kErrNotFound);
  // c2 is behind c0: sharing c0's Next would make c2 its own successor.
  EXPECT_EQ(chain[0]->CopyTo(chain[2].Get(), displaced, 0), kErrInvalidArg);
  EXPECT_EQ(chain[2]->GetNext(), nullptr);
  EXPECT_TRUE(displaced.empty());
}

TEST_F(ControlTest, DescribeMembersNamesTheFields) {
  CPointer<CTestDorun> object(new CTestDorun());
  object->SetName(u"target");
  CPointer<CTestControl> control(new CTestControl());
  control->SetRepeat(CControl::RT_CYCLE);
  control->SetWeight(0.5f);
  ASSERT_EQ(object->AddControl(control.Get()), kOk);
  const std::string text = test::Members(control.Get());
  for (const char* line : {"CControl Member\n", "Repeat = 2 RT_CYCLE\n", "Object = CTestDorun \"target\"\n",
                           "Frequency = 1\n", "Weight = 0.5\n", "Priority = 0\n", "Active = true\n",
                           "CDorun Member\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
  }
  EXPECT_LT(text.find("CControl Member"), text.find("CDorun Member"));
}

// --- persistence -------------------------------------------------------------------------

// An object holding a chain of two controllers, the second with an owner
// list; saved, loaded and saved again.
TEST_F(ControlTest, ChainRoundTripsThroughAFile) {
  CPointer<CTestDorun> object(new CTestDorun());
  object->SetName(u"node");
  auto chain = MakeChain(2);
  ASSERT_EQ(object->AddControl(chain[0].Get()), kOk);
  chain[0]->SetRepeat(CControl::RT_WRAP);
  chain[0]->SetPriority(2.5f);
  chain[0]->SetWeight(0.75f);
  chain[0]->SetFrequency(1.5f);
  chain[0]->SetActive(false);
  chain[0]->endTime = 4321;
  chain[0]->isData = true;
  // An owner that is itself saved (held by the object's sub-object chain).
  CPointer<CTestControl> container(new CTestControl(u"container"));
  ASSERT_EQ(object->AddSubObject(container.Get()), kOk);
  ASSERT_EQ(chain[1]->AddOwner(container.Get()), kOk);
  EXPECT_EQ(chain[1]->GetSaveSize(), 130u + 2 * 2 + 8);

  const Bytes first = test::SaveRoots({object.Get()});
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  CTestDorun* loaded = DynamicCast<CTestDorun>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  CTestControl* head = DynamicCast<CTestControl>(loaded->GetFirstControl());
  ASSERT_NE(head, nullptr);
  CTestControl* second = DynamicCast<CTestControl>(head->GetNext());
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(head->GetObject(), loaded);
  EXPECT_EQ(second->GetObject(), loaded);
  EXPECT_EQ(second->GetOwners(), (std::vector<CControl*>{DynamicCast<CControl>(loaded->GetFirstSubObject())}));
  EXPECT_EQ(head->endTime, 4321);
  EXPECT_TRUE(head->isData);
  EXPECT_EQ(test::Members(head), test::Members(chain[0].Get()));
  EXPECT_EQ(test::Members(second), test::Members(chain[1].Get()));
  EXPECT_EQ(test::Members(loaded), test::Members(object.Get()));

  const Bytes again = test::SaveLoaded(stream);
  EXPECT_EQ(test::RenumberIds(again), test::RenumberIds(first));
}

// One record of each stored version of the controller part: an object whose
// chain holds a controller (id 0x20) and a second controller (id 0x30)
// behind it, listed as owner in the versions that store owners.
struct VersionCase {
  u32 minor;
  Result expected;
};

Bytes ControllerFileOfVersion(u32 minor) {
  ByteWriter body;
  test::BasePart(body, 0x20);
  test::DorunPart(body, 0);
  body.Pair(2, minor).U32(CControl::RT_WRAP);
  if (minor >= 1) {
    body.F32(6.0f).F32(0.25f);  // Priority, Weight
  } else {
    body.F32(6.0f).F32(0.25f).U32(99);  // held until link, then reset
  }
  body.F32(2.0f).U8(0);  // Frequency, Active
  if (minor >= 2) {
    body.U64(0x10).U64(0x30);
  } else {
    body.U32(0x10).U32(0x30);
  }
  if (minor == 3) body.U32(0xDEADBEEF);
  if (minor >= 4) body.U32(3).U64(0x30).U64(0x30).U64(0x77);
  body.Pair(1, 0).I32(800).U8(1);

  test::ControlFields plain;
  plain.object = 0x10;
  return test::SceneImage()
      .Record("CTestDorun", test::TestDorunBody(0x10, 0x20), true)
      .Record("CTestControl", body)
      .Record("CTestControl", test::TestControlBody(0x30, plain))
      .Data();
}

TEST_F(ControlTest, EveryStoredVersionLoads) {
  struct Case {
    u32 minor;
    f32 priority;
    f32 weight;
    std::size_t owners;
  };
  const Case cases[] = {{0, 0.0f, 1.0f, 0}, {1, 6.0f, 0.25f, 0}, {2, 6.0f, 0.25f, 0},
                        {3, 6.0f, 0.25f, 0}, {4, 6.0f, 0.25f, 1}};
  for (const Case& c : cases) {
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(ControllerFileOfVersion(c.minor), stream, device), kOk) << c.minor;
    CTestDorun* object = DynamicCast<CTestDorun>(stream.GetRootObject(0));
    ASSERT_NE(object, nullptr);
    CTestControl* control = DynamicCast<CTestControl>(object->GetFirstControl());
    ASSERT_NE(control, nullptr) << c.minor;
    EXPECT_EQ(control->GetRepeat(), CControl::RT_WRAP) << c.minor;
    EXPECT_EQ(control->GetPriority(), c.priority) << c.minor;
    EXPECT_EQ(control->GetWeight(), c.weight) << c.minor;
    EXPECT_EQ(control->GetFrequency(), 2.0f) << c.minor;
    EXPECT_FALSE(control->IsActive()) << c.minor;
    EXPECT_EQ(control->GetObject(), object) << c.minor;
    ASSERT_NE(control->GetNext(), nullptr) << c.minor;
    EXPECT_EQ(control->GetNext()->GetObject(), object) << c.minor;
    // Repeated and unresolved owners are dropped.
    ASSERT_EQ(control->GetOwners().size(), c.owners) << c.minor;
    if (c.owners == 1) {
      EXPECT_EQ(control->GetOwners()[0], control->GetNext());
    }
    EXPECT_EQ(control->endTime, 800) << c.minor;
    EXPECT_TRUE(control->isData) << c.minor;
  }
  CStream stream;
  CMemoryIo device;
  EXPECT_EQ(test::LoadScene(ControllerFileOfVersion(5), stream, device), kErrNewerVersion);
}

TEST_F(ControlTest, EveryPrefixOfEachVersionFailsCleanly) {
  for (u32 minor = 0; minor <= 4; ++minor) {
    const Bytes bytes = ControllerFileOfVersion(minor);
    test::ExpectPrefixesFailBetweenRecords(bytes);
  }
}

TEST_F(ControlTest, ABindingTheObjectDoesNotConfirmIsDropped) {
  // 0x20 is in 0x10's chain and names 0x10; 0x30 names 0x10 but is only a
  // root of its own; 0x40 names an object that is not a CDorun.
  test::ControlFields bound, stray, odd;
  bound.object = 0x10;
  stray.object = 0x10;
  odd.object = 0x50;
  const Bytes bytes = test::SceneImage()
                          .Record("CTestDorun", test::TestDorunBody(0x10, 0x20), true)
                          .Record("CTestControl", test::TestControlBody(0x20, bound))
                          .Record("CTestControl", test::TestControlBody(0x30, stray), true)
                          .Record("CTestControl", test::TestControlBody(0x40, odd), true)
                          .Record("CCustomData", test::CustomDataBody(0x50, 0), true)
                          .Data();
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
  ASSERT_EQ(stream.GetRootObjectCount(), 4u);
  auto* object = DynamicCast<CTestDorun>(stream.GetRootObject(0));
  EXPECT_EQ(DynamicCast<CControl>(object->GetFirstControl())->GetObject(), object);
  EXPECT_EQ(DynamicCast<CControl>(stream.GetRootObject(1))->GetObject(), nullptr);
  EXPECT_EQ(DynamicCast<CControl>(stream.GetRootObject(2))->GetObject(), nullptr);
}

TEST_F(ControlTest, NextChainsThatOwnThemselvesAreRefused) {
  struct Case {
    const char* name;
    std::vector<std::pair<u64, u64>> nextOf;  // controller id, its Next
    u64 holderHead;                           // head of a holding object's chain (0: no holder)
  };
  const Case cases[] = {
      {"Next is itself", {{0x20, 0x20}}, 0},
      {"two in a loop", {{0x20, 0x30}, {0x30, 0x20}}, 0},
      {"three in a loop", {{0x20, 0x30}, {0x30, 0x40}, {0x40, 0x20}}, 0},
      {"loop behind a holder", {{0x20, 0x30}, {0x30, 0x20}}, 0x20},
      // 0x30 is held by the object and by 0x20, and its Next leads back to 0x20.
      {"loop through a shared element", {{0x20, 0x30}, {0x30, 0x20}}, 0x30},
      {"loop through a shared element, other order", {{0x40, 0x30}, {0x30, 0x40}}, 0x30},
  };
  for (const Case& c : cases) {
    test::SceneImage image;
    image.Record("CTestDorun", test::TestDorunBody(0x10, c.holderHead), true);
    for (const auto& [id, next] : c.nextOf) {
      test::ControlFields f;
      f.next = next;
      image.Record("CTestControl", test::TestControlBody(id, f), true);
    }
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(image.Data(), stream, device), kErrNotFound) << c.name;
  }
}

TEST_F(ControlTest, SharedTailsAreNotLoops) {
  // 0x20 and 0x30 both continue into 0x40 (as after CopyTo); the object
  // holds 0x20.
  test::ControlFields a, b, tail;
  a.next = 0x40;
  b.next = 0x40;
  const Bytes bytes = test::SceneImage()
                          .Record("CTestDorun", test::TestDorunBody(0x10, 0x20), true)
                          .Record("CTestControl", test::TestControlBody(0x20, a))
                          .Record("CTestControl", test::TestControlBody(0x30, b), true)
                          .Record("CTestControl", test::TestControlBody(0x40, tail))
                          .Data();
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
  auto* object = DynamicCast<CTestDorun>(stream.GetRootObject(0));
  auto* other = DynamicCast<CControl>(stream.GetRootObject(1));
  ASSERT_NE(object->GetFirstControl(), nullptr);
  EXPECT_EQ(object->GetFirstControl()->GetChainNext(), other->GetNext());
}

// --- long chains ------------------------------------------------------------------------------

TEST_F(ControlTest, ALongChainCostsNoStack) {
  constexpr int kCount = 200000;
  CPointer<CTestDorun> object(new CTestDorun());
  {
    // Built front to back behind one head, then attached at once.
    CPointer<CTestControl> head(new CTestControl(u"first"));
    CTestControl* last = head.Get();
    for (int i = 1; i < kCount; ++i) {
      CPointer<CTestControl> next(new CTestControl(i == kCount - 1 ? u"last" : u""));
      ASSERT_EQ(last->SetNext(next.Get()), kOk);
      last = next.Get();
    }
    ASSERT_EQ(object->AddControl(head.Get()), kOk);
  }
  EXPECT_NE(object->Find(u"last", nullptr, false, false), nullptr);
  std::vector<CBase*> all;
  object->Collect(all, nullptr, &CControl::StaticClassRecord(), true, false);
  EXPECT_EQ(all.size(), static_cast<std::size_t>(kCount));
  EXPECT_TRUE(object->UpdateMarked(ObjectSet{all.back()}));
  object->ClearMarked();
  EXPECT_EQ(object->ResolveReferences(object.Get()), kOk);

  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_EQ(object->Clone(clone, map, 0), kOk);
  EXPECT_EQ(map.size(), static_cast<std::size_t>(kCount) + 1);

  const Bytes bytes = test::SaveRoots({object.Get()});
  ASSERT_FALSE(bytes.empty());
  {
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
    auto* loaded = DynamicCast<CTestDorun>(stream.GetRootObject(0));
    ASSERT_NE(loaded, nullptr);
    CBase* last = loaded->Find(u"last", nullptr, false, false);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(DynamicCast<CControl>(last)->GetObject(), loaded);
  }
  clone = nullptr;
  object = nullptr;  // the chain goes with its object
}

}  // namespace
}  // namespace KT
