// The node attribute controller: the opacity track, its time mapping, what
// Apply writes, copies and every record form.
#include "controllers/keyed/node_attribute_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controllers/keyed/keyed_test_support.h"
#include "objectmodel/class_factory.h"
#include "scene/sel_node.h"

namespace KT {
namespace {

using test::ByteWriter;
using AttributeKey = CNodeAttributeControl::CAttributeKey;

class NodeAttributeControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CNodeAttributeControl", &CreateObject<CNodeAttributeControl>);
    CClassFactory::Register("CSelNode", &CreateObject<CSelNode>);
    test::RegisterTestClasses();
    test::UseTestIds(0);
  }
};

AttributeKey Key(i32 time, f32 opacity, u32 transition = TT_LINEAR, f32 strength = 50.0f) {
  AttributeKey key;
  key.Time = time;
  key.Opacity = opacity;
  key.TransitionType = transition;
  key.TransitionStrength = strength;
  return key;
}

// A controller with `keys` bound to a selection node.
struct Bound {
  CPointer<CSelNode> node{new CSelNode()};
  CPointer<CNodeAttributeControl> control{new CNodeAttributeControl()};
  explicit Bound(const std::vector<AttributeKey>& keys = {}) {
    EXPECT_EQ(node->AddControl(control.Get()), kOk);
    EXPECT_EQ(control->EditKeys().Assign(keys), kOk);
  }
  // Update then Apply; the node's opacity.
  f32 Evaluate(i32 time) {
    EXPECT_EQ(control->Update(time), kOk);
    EXPECT_EQ(control->Apply(), kOk);
    return node->GetOpacity();
  }
};

TEST_F(NodeAttributeControlTest, OpacityAtAndAroundEachKey) {
  Bound bound({Key(0, 0.2f), Key(1000, 0.6f, TT_EASE_IN), Key(2000, 1.0f, TT_STEP)});
  const f32 eased = 0.2f + 0.4f * EaseTransition(0.25f, TT_EASE_IN, 50.0f);
  struct Row {
    i32 time;
    f32 opacity;
  };
  const Row rows[] = {
      {-100, 0.2f}, {0, 0.2f},     {250, eased},   {1000, 0.6f},
      {1999, 0.6f},  // the step key holds the earlier value up to its time
      {2000, 1.0f}, {5000, 1.0f}, {999, 0.2f + 0.4f * EaseTransition(0.999f, TT_EASE_IN, 50.0f)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.time);
    EXPECT_FLOAT_EQ(bound.Evaluate(row.time), row.opacity);
  }
}

TEST_F(NodeAttributeControlTest, TimeIsMappedThroughRepeatAndFrequency) {
  Bound bound({Key(0, 0.0f), Key(1000, 1.0f)});
  bound.control->SetFrequency(2.0f);
  EXPECT_FLOAT_EQ(bound.Evaluate(250), 0.5f);
  bound.control->SetFrequency(1.0f);
  bound.control->SetRepeat(CControl::RT_WRAP);
  EXPECT_FLOAT_EQ(bound.Evaluate(1250), 0.25f);
  bound.control->SetRepeat(CControl::RT_CYCLE);
  EXPECT_FLOAT_EQ(bound.Evaluate(1250), 0.75f);
}

TEST_F(NodeAttributeControlTest, WithoutKeysOrInactive) {
  Bound bound;
  bound.node->SetOpacity(0.3f);
  EXPECT_FLOAT_EQ(bound.Evaluate(500), 1.0f);
  EXPECT_EQ(bound.control->GetEndTime(), 0);

  // Inactive: Update answers kDone and keeps the value; Apply still writes it.
  Bound held({Key(0, 0.4f)});
  EXPECT_FLOAT_EQ(held.Evaluate(0), 0.4f);
  held.control->SetActive(false);
  held.node->SetOpacity(0.9f);
  EXPECT_EQ(held.control->Update(0), kDone);
  EXPECT_EQ(held.control->Apply(), kOk);
  EXPECT_FLOAT_EQ(held.node->GetOpacity(), 0.4f);
  // A fresh inactive controller holds 1.
  CPointer<CSelNode> node(new CSelNode());
  node->SetOpacity(0.5f);
  CPointer<CNodeAttributeControl> idle(new CNodeAttributeControl());
  idle->SetActive(false);
  ASSERT_EQ(node->AddControl(idle.Get()), kOk);
  EXPECT_EQ(idle->Apply(), kOk);
  EXPECT_FLOAT_EQ(node->GetOpacity(), 1.0f);
}

TEST_F(NodeAttributeControlTest, EndTimeIsNeverNegativeAndOtherObjectsAreLeftAlone) {
  Bound bound({Key(-500, 0.0f), Key(-100, 1.0f)});
  EXPECT_EQ(bound.control->GetEndTime(), 0);
  ASSERT_EQ(bound.control->EditKeys().SetKey(Key(700, 1.0f)), kOk);
  EXPECT_EQ(bound.control->GetEndTime(), 700);

  CPointer<test::CTestDorun> other(new test::CTestDorun());
  CPointer<CNodeAttributeControl> control(new CNodeAttributeControl());
  ASSERT_EQ(other->AddControl(control.Get()), kOk);
  EXPECT_EQ(control->Update(0), kOk);
  EXPECT_EQ(control->Apply(), kOk);
  EXPECT_EQ(other->value, 0);
}

TEST_F(NodeAttributeControlTest, UnsortedStoredKeysStayInRange) {
  // Equal and decreasing times, as a file may hold them.
  Bound bound({Key(1000, 0.1f), Key(1000, 0.5f), Key(200, 0.9f)});
  for (i32 time : {-50, 0, 200, 500, 1000, 1500, 300, 100}) {
    SCOPED_TRACE(time);
    const f32 opacity = bound.Evaluate(time);
    EXPECT_GE(opacity, 0.1f);
    EXPECT_LE(opacity, 0.9f);
    EXPECT_LT(bound.control->GetKeys().GetLastIndex(), 3u);
  }
}

TEST_F(NodeAttributeControlTest, CopiesCarryKeysAndValueNotTheTargetsCache) {
  Bound bound({Key(0, 0.0f), Key(1000, 1.0f)});
  bound.Evaluate(500);
  ASSERT_EQ(bound.control->GetKeys().GetLastIndex(), 1u);
  CPointer<CBase> instance;
  ASSERT_EQ(bound.control->CreateInstance(instance), kOk);
  auto* copy = DynamicCast<CNodeAttributeControl>(instance.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetKeys().GetLastIndex(), 1u);
  EXPECT_FLOAT_EQ(copy->GetCurrentOpacity(), 0.5f);

  CPointer<CNodeAttributeControl> target(new CNodeAttributeControl());
  target->EditKeys().SetLastIndex(7);
  DisplacedList displaced;
  ASSERT_EQ(bound.control->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetKeys().Size(), 2u);
  EXPECT_EQ(target->GetKeys().GetLastIndex(), 7u);
  EXPECT_FLOAT_EQ(target->GetCurrentOpacity(), 0.5f);
  CPointer<test::CTestControl> wrong(new test::CTestControl());
  EXPECT_EQ(bound.control->CopyTo(wrong.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(bound.control->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

TEST_F(NodeAttributeControlTest, RecordRoundTripAndMembers) {
  Bound bound({Key(0, 0.25f), Key(500, 0.75f, TT_EASE_OUT_IN, 80.0f)});
  EXPECT_EQ(bound.control->GetSaveSize(), bound.control->CDataControl::GetSaveSize() + 8 + 4 + 2 * 40);
  EXPECT_EQ(AttributeKey().GetSaveSize(), 40u);
  test::ExpectSceneRoundTrip(*bound.node);
  // The controller reports the data controller's members only.
  const std::string text = test::Members(bound.control.Get());
  EXPECT_EQ(text.find("CNodeAttributeControl Member"), std::string::npos);
  EXPECT_EQ(text.find("Opacity"), std::string::npos);
  EXPECT_NE(text.find("CControl Member"), std::string::npos);
}

TEST_F(NodeAttributeControlTest, VersionOneHundredArraysBecomeKeys) {
  ByteWriter w = test::DataControlHead();
  w.Pair(1, 0);
  test::FloatArray(w, {0.5f, 1999.9f, 3000.0f});
  test::FloatArray(w, {0.1f, 0.2f, 0.3f});
  test::FloatArray(w, {1.0f, 0.0f, 1.0f});
  test::U32Array(w, {TT_EASE_IN, TT_EASE_OUT, 7});
  CStream stream;
  CMemoryIo device;
  auto* control = test::LoadRoot<CNodeAttributeControl>("CNodeAttributeControl", w, stream, device);
  ASSERT_NE(control, nullptr);
  ASSERT_EQ(control->GetKeys().Size(), 3u);
  const AttributeKey expected[] = {Key(0, 0.1f, TT_EASE_IN), Key(1999, 0.2f, TT_STEP), Key(3000, 0.3f, 7)};
  for (u32 i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(control->GetKeys()[i].Time, expected[i].Time);
    EXPECT_EQ(control->GetKeys()[i].Opacity, expected[i].Opacity);
    EXPECT_EQ(control->GetKeys()[i].TransitionType, expected[i].TransitionType);
    EXPECT_EQ(control->GetKeys()[i].TransitionStrength, 50.0f);
  }
}

TEST_F(NodeAttributeControlTest, BadRecordsAreRefused) {
  struct Row {
    const char* what;
    ByteWriter body;
    Result expected;
  };
  auto oldForm = [](std::initializer_list<f32> opacities, std::initializer_list<f32> flags,
                    std::initializer_list<u32> types) {
    ByteWriter w = test::DataControlHead();
    w.Pair(1, 0);
    test::FloatArray(w, {0.0f, 100.0f});
    test::FloatArray(w, opacities);
    test::FloatArray(w, flags);
    test::U32Array(w, types);
    return w;
  };
  ByteWriter newer = test::DataControlHead();
  newer.Pair(1, 2).U32(0);
  ByteWriter newerKey = test::DataControlHead();
  newerKey.Pair(1, 1).U32(1).Pair(1, 0).I32(0).Pair(1, 0).U32(0).F32(50).Pair(1, 1).F32(1);
  ByteWriter extra = oldForm({1, 1, 1}, {1, 1, 1}, {0, 0, 0});
  const Row rows[] = {
      {"class version 1.02", newer, kErrNewerVersion},
      {"a key pair of 1.1", newerKey, kErrNewerVersion},
      {"1.00: fewer opacities than times", oldForm({1}, {1, 1}, {0, 0}), kErrNotFound},
      {"1.00: fewer flags than times", oldForm({1, 1}, {1}, {0, 0}), kErrNotFound},
      {"1.00: fewer types than times", oldForm({1, 1}, {1, 1}, {0}), kErrNotFound},
      {"1.00: extra entries are dropped", extra, kOk},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadRecord("CNodeAttributeControl", row.body, stream, device), row.expected);
    if (row.expected == kOk) {
      auto* control = DynamicCast<CNodeAttributeControl>(stream.GetRootObject(0));
      ASSERT_NE(control, nullptr);
      EXPECT_EQ(control->GetKeys().Size(), 2u);
    }
  }
}

}  // namespace
}  // namespace KT
