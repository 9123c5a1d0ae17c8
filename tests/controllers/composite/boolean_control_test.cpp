// The boolean controller: the on/off track, the parent reference with its
// data-update depth, the priority pick, copies and every record form.
#include "controllers/composite/boolean_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controllers/keyed/keyed_test_support.h"
#include "objectmodel/class_factory.h"
#include "scene/node.h"

namespace KT {
namespace {

using test::ByteWriter;

class BooleanControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CBooleanControl", &CreateObject<CBooleanControl>);
    CClassFactory::Register("CNode", &CreateObject<CNode>);
    test::RegisterTestClasses();
    test::UseTestIds(0);
  }
};

// A parent node with a child node switched by a boolean controller.
struct Switched {
  CPointer<CNode> parent{new CNode()};
  CPointer<CNode> child{new CNode()};
  CPointer<CBooleanControl> control{new CBooleanControl()};
  Switched(const std::vector<i32>& times, const std::vector<bool>& states, bool referenceParent = false) {
    EXPECT_EQ(parent->AddChild(child.Get()), kOk);
    EXPECT_EQ(child->AddControl(control.Get()), kOk);
    EXPECT_EQ(control->SetKeys(times, states), kOk);
    control->SetReferenceParent(referenceParent);
  }
  bool At(i32 time, Result expected = kOk) {
    EXPECT_EQ(control->Update(time), expected);
    return child->IsActive();
  }
};

TEST_F(BooleanControlTest, TheKeyInForceSwitchesTheObject) {
  Switched switched({0, 500}, {false, true});
  struct Row {
    i32 time;
    bool on;
  };
  for (const Row& row : {Row{-100, false}, Row{0, false}, Row{499, false}, Row{500, true}, Row{9000, true}}) {
    SCOPED_TRACE(row.time);
    EXPECT_EQ(switched.At(row.time), row.on);
  }
  EXPECT_EQ(switched.control->Apply(), kDone);
  EXPECT_EQ(switched.control->GetEndTime(), 500);
  // The time is mapped: at Frequency 2 the key at 500 is reached at 250,
  // and RT_WRAP folds it over the end time.
  switched.control->SetFrequency(2.0f);
  EXPECT_FALSE(switched.At(249));
  EXPECT_TRUE(switched.At(250));
  switched.control->SetFrequency(1.0f);
  switched.control->SetRepeat(CControl::RT_WRAP);
  EXPECT_FALSE(switched.At(700));
}

TEST_F(BooleanControlTest, ReferenceParentAndsWithTheParent) {
  Switched switched({0}, {true}, true);
  switched.parent->SetActive(false);
  EXPECT_FALSE(switched.At(100));
  switched.parent->SetActive(true);
  EXPECT_TRUE(switched.At(100));
  // Without a parent the keys alone decide.
  CPointer<CNode> alone(new CNode());
  CPointer<CBooleanControl> control(new CBooleanControl());
  ASSERT_EQ(alone->AddControl(control.Get()), kOk);
  ASSERT_EQ(control->SetKeys({0}, {false}), kOk);
  control->SetReferenceParent(true);
  EXPECT_EQ(control->Update(0), kOk);
  EXPECT_FALSE(alone->IsActive());
}

TEST_F(BooleanControlTest, WithoutKeys) {
  // No ReferenceParent: kDone, nothing written.
  Switched plain({}, {});
  plain.child->SetActive(false);
  EXPECT_FALSE(plain.At(0, kDone));
  EXPECT_EQ(plain.control->GetEndTime(), 0);
  EXPECT_FALSE(plain.control->IsStartedAt(0));
  // ReferenceParent: the parent's flag every frame, on without a parent.
  Switched following({}, {}, true);
  following.parent->SetActive(false);
  EXPECT_FALSE(following.At(0));
  following.parent->SetActive(true);
  EXPECT_TRUE(following.At(0));
  CPointer<CNode> alone(new CNode());
  alone->SetActive(false);
  CPointer<CBooleanControl> control(new CBooleanControl());
  control->SetReferenceParent(true);
  ASSERT_EQ(alone->AddControl(control.Get()), kOk);
  EXPECT_EQ(control->Update(0), kOk);
  EXPECT_TRUE(alone->IsActive());
}

TEST_F(BooleanControlTest, InactiveUnboundOrNotASpatial) {
  Switched switched({0}, {false});
  switched.control->SetActive(false);
  EXPECT_TRUE(switched.At(0, kDone));

  CPointer<CBooleanControl> unbound(new CBooleanControl());
  EXPECT_EQ(unbound->Update(0), kErrInvalidArg);
  // A file can bind the controller to an object that is not a spatial.
  CPointer<test::CTestDorun> other(new test::CTestDorun());
  CPointer<CBooleanControl> misplaced(new CBooleanControl());
  ASSERT_EQ(misplaced->SetKeys({0}, {true}), kOk);
  misplaced->SetReferenceParent(true);
  ASSERT_EQ(other->AddControl(misplaced.Get()), kOk);
  const std::string before = test::Members(other.Get());
  EXPECT_EQ(misplaced->Update(0), kErrNotFound);
  EXPECT_EQ(test::Members(other.Get()), before);
  i32 depth = 4;
  EXPECT_EQ(misplaced->GetDataUpdateDepth(nullptr, depth), kDone);
  EXPECT_EQ(depth, 4);
}

TEST_F(BooleanControlTest, ReferenceParentUpdatesAfterTheParent) {
  Switched switched({0}, {true}, true);
  CPointer<test::CTestControl> parentData(new test::CTestControl());
  parentData->isData = true;
  parentData->dataDepth = 3;
  ASSERT_EQ(switched.parent->AddControl(parentData.Get()), kOk);
  switched.parent->SetDirty(true);
  i32 depth = 0;
  EXPECT_EQ(switched.control->GetDataUpdateDepth(nullptr, depth), kOk);
  EXPECT_EQ(depth, 4);
  // The object's own depth follows.
  switched.child->SetDirty(true);
  i32 childDepth = 0;
  ASSERT_EQ(switched.child->GetDataUpdateDepth(nullptr, childDepth), kOk);
  EXPECT_EQ(childDepth, 4);
  // Not when inactive, without ReferenceParent or without a parent.
  struct Row {
    const char* what;
    bool active;
    bool reference;
  };
  for (const Row& row : {Row{"inactive", false, true}, Row{"no reference", true, false}}) {
    SCOPED_TRACE(row.what);
    switched.control->SetActive(row.active);
    switched.control->SetReferenceParent(row.reference);
    i32 unchanged = 0;
    EXPECT_EQ(switched.control->GetDataUpdateDepth(nullptr, unchanged), kDone);
    EXPECT_EQ(unchanged, 0);
  }
}

TEST_F(BooleanControlTest, PickByPriorityTakesTheMostRecentKey) {
  struct Row {
    const char* what;
    i32 lastA;
    f32 priorityA;
    i32 lastB;
    f32 priorityB;
    int winner;
  };
  const Row rows[] = {
      {"last keys at 300 and 700: the one at 700", 300, 9.0f, 700, 0.0f, 1},
      {"equal last keys: the higher Priority", 300, 1.0f, 300, 2.0f, 1},
      {"equal last keys and Priority: the earlier child", 300, 1.0f, 300, 1.0f, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Switched a({0, row.lastA}, {false, true});
    Switched b({0, row.lastB}, {false, true});
    a.control->SetPriority(row.priorityA);
    b.control->SetPriority(row.priorityB);
    i32 best = INT32_MIN;
    i32 picked = 0;
    f32 top = -1e9f;
    int winner = -1;
    if (a.control->PickByPriority(800, best, picked, top) == 2) winner = 0;
    if (b.control->PickByPriority(800, best, picked, top) == 2) winner = 1;
    EXPECT_EQ(winner, row.winner);
  }
  // The claim is the key's start in the caller's time: at Frequency 2 the
  // key at 1000 claims 500; before the first key there is no claim.
  Switched scaled({1000}, {true});
  scaled.control->SetFrequency(2.0f);
  i32 best = 0;
  i32 picked = 0;
  f32 top = 0.0f;
  EXPECT_EQ(scaled.control->PickByPriority(499, best, picked, top), kOk);
  EXPECT_EQ(scaled.control->PickByPriority(600, best, picked, top), 2);
  EXPECT_EQ(best, 500);
  EXPECT_EQ(picked, 500);
  best = 700;
  EXPECT_EQ(scaled.control->PickByPriority(600, best, picked, top), kOk);
  EXPECT_EQ(best, 700);
  EXPECT_TRUE(scaled.control->IsStartedAt(500));
  EXPECT_FALSE(scaled.control->IsStartedAt(499));
}

TEST_F(BooleanControlTest, SetKeysAndCopies) {
  CPointer<CBooleanControl> control(new CBooleanControl());
  EXPECT_EQ(control->SetKeys({0, 1}, {true}), kErrInvalidArg);
  EXPECT_TRUE(control->GetShareTime().Empty());
  Switched switched({0, 100}, {true, false}, true);
  switched.At(150);
  CPointer<CBase> instance;
  ASSERT_EQ(switched.control->CreateInstance(instance), kOk);
  auto* copy = DynamicCast<CBooleanControl>(instance.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetShareTime().GetLastIndex(), 1u);
  EXPECT_TRUE(copy->GetReferenceParent());
  CPointer<CBooleanControl> target(new CBooleanControl());
  DisplacedList displaced;
  ASSERT_EQ(switched.control->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetShareTime().Size(), 2u);
  EXPECT_EQ(target->GetActiveKeys(), (std::vector<bool>{true, false}));
  EXPECT_TRUE(target->GetReferenceParent());
  EXPECT_EQ(target->GetShareTime().GetLastIndex(), 0u);
  CPointer<test::CTestControl> wrong(new test::CTestControl());
  EXPECT_EQ(switched.control->CopyTo(wrong.Get(), displaced, 0), kErrNotFound);
}

TEST_F(BooleanControlTest, RecordRoundTripAndMembers) {
  Switched switched({-20, 0, 500}, {true, false, true}, true);
  EXPECT_EQ(switched.control->GetSaveSize(),
            switched.control->CDataControl::GetSaveSize() + 8 + (4 + 3 * 4) + (4 + 3) + 1);
  test::ExpectSceneRoundTrip(*switched.parent);
  const std::string text = test::Members(switched.control.Get());
  std::size_t at = 0;
  for (const char* name : {"CBooleanControl Member", "LastIndex", "ReferenceParent", "ShareTime", "ActiveKeys",
                           "ShareTime", "ActiveKeys", "CControl Member"}) {
    const std::size_t found = text.find(name, at);
    ASSERT_NE(found, std::string::npos) << name;
    at = found + 1;
  }
}

// A boolean record at version 2.`minor` with the given time and flag parts.
ByteWriter BooleanRecord(u32 minor, bool floatTimes, std::initializer_list<f32> times,
                         std::initializer_list<u8> flags, bool withReference, u8 reference = 1) {
  ByteWriter w = test::DataControlHead();
  w.Pair(2, minor).U32(static_cast<u32>(times.size()));
  for (f32 t : times) {
    if (floatTimes) {
      w.F32(t);
    } else {
      w.I32(static_cast<i32>(t));
    }
  }
  w.U32(static_cast<u32>(flags.size()));
  for (u8 f : flags) w.U8(f);
  if (withReference) w.U8(reference);
  return w;
}

TEST_F(BooleanControlTest, EveryStoredVersionLoads) {
  struct Row {
    const char* what;
    ByteWriter body;
    std::vector<i32> times;
    std::vector<bool> states;
    bool reference;
  };
  const Row rows[] = {
      {"2.01: float times", BooleanRecord(1, true, {0.0f, 250.9f}, {0, 7}, false), {0, 250}, {false, true}, false},
      {"2.02: integer times", BooleanRecord(2, false, {-5, 400}, {1, 0}, false), {-5, 400}, {true, false}, false},
      {"2.03: ReferenceParent", BooleanRecord(3, false, {10}, {1}, true, 2), {10}, {true}, true},
      {"2.03: extra flags are dropped", BooleanRecord(3, false, {10}, {0, 1, 1}, true, 0), {10}, {false}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    auto* control = test::LoadRoot<CBooleanControl>("CBooleanControl", row.body, stream, device);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->GetShareTime().Times(), row.times);
    EXPECT_EQ(control->GetActiveKeys(), row.states);
    EXPECT_EQ(control->GetReferenceParent(), row.reference);
  }
}

TEST_F(BooleanControlTest, BadRecordsAreRefused) {
  struct Row {
    const char* what;
    ByteWriter body;
    Result expected;
  };
  const Row rows[] = {
      {"2.00", BooleanRecord(0, true, {0}, {1}, false), kErrNewerVersion},
      {"2.04", BooleanRecord(4, false, {0}, {1}, true), kErrNewerVersion},
      {"fewer flags than times", BooleanRecord(3, false, {0, 100}, {1}, true), kErrNotFound},
      {"2.01: fewer flags than times", BooleanRecord(1, true, {0, 100}, {}, false), kErrNotFound},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadRecord("CBooleanControl", row.body, stream, device), row.expected);
  }
}

}  // namespace
}  // namespace KT
