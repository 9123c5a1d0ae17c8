// The node layer and node selection controllers: the step track, the
// selection time of a run of equal keys, the priority pick, copies and
// every record form.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "controllers/keyed/keyed_test_support.h"
#include "controllers/keyed/node_layer_control.h"
#include "controllers/keyed/node_sel_control.h"
#include "objectmodel/class_factory.h"
#include "scene/sel_node.h"

namespace KT {
namespace {

using test::ByteWriter;
using SelKey = CNodeSelControl::CSelKey;
using LayerKey = CNodeLayerControl::CLayerKey;

class NodeStepControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CNodeLayerControl", &CreateObject<CNodeLayerControl>);
    CClassFactory::Register("CNodeSelControl", &CreateObject<CNodeSelControl>);
    CClassFactory::Register("CSelNode", &CreateObject<CSelNode>);
    test::RegisterTestClasses();
    test::UseTestIds(0);
  }
};

// A selection controller with keys (time, Sel) bound to a selection node.
struct Selecting {
  CPointer<CSelNode> node{new CSelNode()};
  CPointer<CNodeSelControl> control{new CNodeSelControl()};
  explicit Selecting(std::initializer_list<std::pair<i32, i32>> keys) {
    EXPECT_EQ(node->AddControl(control.Get()), kOk);
    for (const auto& [time, sel] : keys) {
      SelKey key;
      key.Time = time;
      key.Sel = sel;
      control->EditKeys().MutableKeys().push_back(key);
    }
  }
  // Update; the node's selection and selection time.
  std::pair<i32, i32> At(i32 time, Result expected = kOk) {
    EXPECT_EQ(control->Update(time), expected);
    return {node->GetSelection(), node->GetSelectionTime()};
  }
};

// A layer controller with keys (time, Layer) bound to a selection node of
// stored layer 9.
struct Layering {
  CPointer<CSelNode> node{new CSelNode()};
  CPointer<CNodeLayerControl> control{new CNodeLayerControl()};
  explicit Layering(std::initializer_list<std::pair<i32, u32>> keys) {
    node->SetSelectValue1(9);
    EXPECT_EQ(node->AddControl(control.Get()), kOk);
    for (const auto& [time, layer] : keys) {
      LayerKey key;
      key.Time = time;
      key.Layer = layer;
      control->EditKeys().MutableKeys().push_back(key);
    }
  }
  u32 At(i32 time) {
    EXPECT_EQ(control->Update(time), kOk);
    return node->GetCurrentLayer();
  }
};

using SelectionAt = std::pair<i32, i32>;

TEST_F(NodeStepControlTest, SelectionTimeIsTheStartOfTheRunOfEqualKeys) {
  struct Row {
    const char* what;
    std::initializer_list<std::pair<i32, i32>> keys;
    i32 time;
    SelectionAt expected;
  };
  const Row rows[] = {
      {"a run from the first key starts at 0", {{0, 2}, {1000, 2}, {2000, 3}}, 1500, {2, 0}},
      {"a new run starts at its key", {{0, 2}, {1000, 2}, {2000, 3}}, 2500, {3, 2000}},
      {"a later run keeps its first key's time", {{500, 1}, {1000, 4}, {3000, 4}}, 3500, {4, 1000}},
      {"a run reaching the first key starts at 0", {{500, 4}, {1000, 4}}, 1200, {4, 0}},
      {"before the first key: the first key, time 0", {{500, 1}, {1000, 4}}, 100, {1, 0}},
      {"on a key", {{500, 1}, {1000, 4}}, 1000, {4, 1000}},
      {"just before it", {{500, 1}, {1000, 4}}, 999, {1, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Selecting selecting(row.keys);
    EXPECT_EQ(selecting.At(row.time), row.expected);
  }
}

TEST_F(NodeStepControlTest, SelectionTimeIsScaledNotRepeated) {
  Selecting selecting({{0, 0}, {1000, 1}});
  selecting.control->SetFrequency(2.0f);
  selecting.control->SetRepeat(CControl::RT_WRAP);
  EXPECT_EQ(selecting.At(499), (SelectionAt{0, 0}));
  EXPECT_EQ(selecting.At(500), (SelectionAt{1, 1000}));
  // No folding by the end time.
  EXPECT_EQ(selecting.At(5000), (SelectionAt{1, 1000}));
}

TEST_F(NodeStepControlTest, SelectionWithoutKeysOrInactive) {
  Selecting empty({});
  empty.node->SetSelection(2);
  empty.node->SetSelectionTime(700);
  EXPECT_EQ(empty.At(100, kDone), (SelectionAt{0, 0}));
  EXPECT_EQ(empty.control->GetEndTime(), 0);
  EXPECT_FALSE(empty.control->IsStartedAt(100));

  Selecting idle({{0, 3}});
  idle.control->SetActive(false);
  idle.node->SetSelection(1);
  EXPECT_EQ(idle.At(100, kDone), (SelectionAt{1, 0}));
  EXPECT_EQ(idle.control->Apply(), kDone);

  // Bound to something else: nothing is written, the answer is kOk.
  CPointer<test::CTestDorun> other(new test::CTestDorun());
  CPointer<CNodeSelControl> control(new CNodeSelControl());
  ASSERT_EQ(other->AddControl(control.Get()), kOk);
  control->EditKeys().MutableKeys().resize(1);
  EXPECT_EQ(control->Update(0), kOk);
  EXPECT_EQ(other->value, 0);
}

TEST_F(NodeStepControlTest, LayerFollowsItsKeysOrTheStoredLayer) {
  Layering layering({{0, 2}, {1000, 5}});
  EXPECT_EQ(layering.At(-10), 2u);
  EXPECT_EQ(layering.At(999), 2u);
  EXPECT_EQ(layering.At(1000), 5u);
  Layering empty({});
  empty.node->SetCurrentLayer(4);
  EXPECT_EQ(empty.At(0), 9u);
  // Inactive: kDone, nothing written.
  layering.control->SetActive(false);
  layering.node->SetCurrentLayer(7);
  EXPECT_EQ(layering.control->Update(0), kDone);
  EXPECT_EQ(layering.node->GetCurrentLayer(), 7u);
  EXPECT_EQ(layering.control->Apply(), kDone);
}

TEST_F(NodeStepControlTest, TheNodeTakesItsStoredLayerBeforeItsControllersRun) {
  Layering layering({{0, 2}});
  // The node's own update: CurrentLayer from Layer, then the controller.
  ASSERT_EQ(layering.node->Update(0), kOk);
  EXPECT_EQ(layering.node->GetCurrentLayer(), 2u);
  layering.control->SetActive(false);
  ASSERT_EQ(layering.node->Update(0), kOk);
  EXPECT_EQ(layering.node->GetCurrentLayer(), 9u);
}

TEST_F(NodeStepControlTest, EndTimeAndStartedAt) {
  Selecting selecting({{-800, 1}, {-200, 2}});
  EXPECT_EQ(selecting.control->GetEndTime(), -200);
  EXPECT_FALSE(selecting.control->IsStartedAt(-801));
  EXPECT_TRUE(selecting.control->IsStartedAt(-800));
  selecting.control->SetFrequency(2.0f);
  EXPECT_TRUE(selecting.control->IsStartedAt(-400));
  EXPECT_FALSE(selecting.control->IsStartedAt(-401));
}

TEST_F(NodeStepControlTest, PickByPriorityTakesTheKeyThatBeganLast) {
  // Before the first key: no claim, nothing written.
  Selecting late({{1000, 1}});
  i32 best = -5;
  i32 picked = -7;
  f32 bestPriority = 3.0f;
  EXPECT_EQ(late.control->PickByPriority(900, best, picked, bestPriority), kOk);
  EXPECT_EQ(best, -5);
  EXPECT_EQ(picked, -7);
  Selecting none({});
  EXPECT_EQ(none.control->PickByPriority(900, best, picked, bestPriority), kOk);

  // At Frequency 2 the key at 1000 applies from 500 and claims 500.
  late.control->SetFrequency(2.0f);
  best = 0;
  bestPriority = 0.0f;
  EXPECT_EQ(late.control->PickByPriority(600, best, picked, bestPriority), 2);
  EXPECT_EQ(best, 500);
  EXPECT_EQ(picked, 500);
  // A claim at 500 against a best of 500: only a strictly higher Priority.
  late.control->SetPriority(0.0f);
  EXPECT_EQ(late.control->PickByPriority(600, best, picked, bestPriority), kOk);
  late.control->SetPriority(1.0f);
  EXPECT_EQ(late.control->PickByPriority(600, best, picked, bestPriority), 2);
  EXPECT_EQ(bestPriority, 1.0f);
  // A best later than the claim wins, at any Priority. (The local key time,
  // 1000, would have beaten a best of 700.)
  best = 700;
  late.control->SetPriority(50.0f);
  EXPECT_EQ(late.control->PickByPriority(600, best, picked, bestPriority), kOk);
  EXPECT_EQ(best, 700);

  // Two children under a picker: the later key wins; equal starts go to the
  // strictly higher Priority, equal priorities keep the earlier child.
  struct Row {
    const char* what;
    i32 keyA;
    f32 priorityA;
    i32 keyB;
    f32 priorityB;
    int winner;
  };
  const Row rows[] = {
      {"B began later", 300, 5.0f, 700, 0.0f, 1},
      {"A began later", 700, 0.0f, 300, 5.0f, 0},
      {"same start, B higher", 300, 1.0f, 300, 2.0f, 1},
      {"same start, same priority", 300, 1.0f, 300, 1.0f, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Selecting a({{row.keyA, 1}});
    Selecting b({{row.keyB, 2}});
    a.control->SetPriority(row.priorityA);
    b.control->SetPriority(row.priorityB);
    i32 bestTime = INT32_MIN;
    i32 claim = 0;
    f32 top = -1e9f;
    int winner = -1;
    if (a.control->PickByPriority(800, bestTime, claim, top) == 2) winner = 0;
    if (b.control->PickByPriority(800, bestTime, claim, top) == 2) winner = 1;
    EXPECT_EQ(winner, row.winner);
  }
}

TEST_F(NodeStepControlTest, UnsortedStoredKeysStayInRange) {
  Selecting selecting({{1000, 1}, {1000, 2}, {300, 3}, {-5, 4}});
  for (i32 time : {-100, 0, 300, 1000, 2000, 500, 299}) {
    SCOPED_TRACE(time);
    const SelectionAt at = selecting.At(time);
    EXPECT_GE(at.first, 1);
    EXPECT_LE(at.first, 4);
    EXPECT_LT(selecting.control->GetKeys().GetLastIndex(), 4u);
    i32 best = INT32_MIN;
    i32 picked = 0;
    f32 priority = -1.0f;
    selecting.control->PickByPriority(time, best, picked, priority);
    EXPECT_LT(selecting.control->GetKeys().GetLastIndex(), 4u);
  }
  // A cache past the keys is clamped before the search.
  selecting.control->EditKeys().SetLastIndex(40);
  selecting.At(2000);
  EXPECT_LT(selecting.control->GetKeys().GetLastIndex(), 4u);
}

TEST_F(NodeStepControlTest, CopiesCarryTheKeysNotTheTargetsCache) {
  Selecting selecting({{0, 1}, {100, 2}});
  selecting.At(150);
  CPointer<CBase> instance;
  ASSERT_EQ(selecting.control->CreateInstance(instance), kOk);
  auto* copy = DynamicCast<CNodeSelControl>(instance.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetKeys().Size(), 2u);
  EXPECT_EQ(copy->GetKeys().GetLastIndex(), 1u);
  DisplacedList displaced;
  CPointer<CNodeSelControl> target(new CNodeSelControl());
  target->EditKeys().SetLastIndex(5);
  ASSERT_EQ(selecting.control->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetKeys().Size(), 2u);
  EXPECT_EQ(target->GetKeys().GetLastIndex(), 5u);
  // Each copies only into its own class.
  CPointer<CNodeLayerControl> layer(new CNodeLayerControl());
  EXPECT_EQ(selecting.control->CopyTo(layer.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(layer->CopyTo(target.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(layer->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

TEST_F(NodeStepControlTest, RecordsRoundTripWithTheirMembers) {
  Selecting selecting({{0, 1}, {250, -1}, {900, 3}});
  EXPECT_EQ(SelKey().GetSaveSize(), 24u);
  EXPECT_EQ(selecting.control->GetSaveSize(), selecting.control->CDataControl::GetSaveSize() + 8 + 4 + 3 * 24);
  test::ExpectSceneRoundTrip(*selecting.node);
  Layering layering({{0, 7}, {400, 8}});
  EXPECT_EQ(layering.control->GetSaveSize(), layering.control->CDataControl::GetSaveSize() + 8 + 4 + 2 * 24);
  test::ExpectSceneRoundTrip(*layering.node);

  const std::string layerText = test::Members(layering.control.Get());
  std::size_t at = 0;
  for (const char* name : {"CNodeLayerControl Member", "LastIndex", "LayerKeys", "Time", "Layer", "CControl Member"}) {
    const std::size_t found = layerText.find(name, at);
    ASSERT_NE(found, std::string::npos) << name;
    at = found;
  }
  const std::string selText = test::Members(selecting.control.Get());
  EXPECT_EQ(selText.find("LastIndex"), std::string::npos);
  at = 0;
  for (const char* name : {"CNodeSelControl Member", "SelKeys", "Time", "Sel", "CControl Member"}) {
    const std::size_t found = selText.find(name, at);
    ASSERT_NE(found, std::string::npos) << name;
    at = found;
  }
}

TEST_F(NodeStepControlTest, VersionOneHundredArraysBecomeKeys) {
  ByteWriter sel = test::DataControlHead();
  sel.Pair(1, 0);
  test::FloatArray(sel, {0.0f, 250.9f, -10.5f});
  sel.U32(3).I32(2).I32(-1).I32(4);
  CStream stream;
  CMemoryIo device;
  auto* selControl = test::LoadRoot<CNodeSelControl>("CNodeSelControl", sel, stream, device);
  ASSERT_NE(selControl, nullptr);
  ASSERT_EQ(selControl->GetKeys().Size(), 3u);
  EXPECT_EQ(selControl->GetKeys()[1].Time, 250);
  EXPECT_EQ(selControl->GetKeys()[1].Sel, -1);
  EXPECT_EQ(selControl->GetKeys()[2].Time, -10);

  ByteWriter layer = test::DataControlHead();
  layer.Pair(1, 0);
  test::FloatArray(layer, {100.0f, 1999.9f});
  test::U32Array(layer, {6, 7, 8});  // the extra value is dropped
  CStream layerStream;
  CMemoryIo layerDevice;
  auto* layerControl = test::LoadRoot<CNodeLayerControl>("CNodeLayerControl", layer, layerStream, layerDevice);
  ASSERT_NE(layerControl, nullptr);
  ASSERT_EQ(layerControl->GetKeys().Size(), 2u);
  EXPECT_EQ(layerControl->GetKeys()[1].Time, 1999);
  EXPECT_EQ(layerControl->GetKeys()[1].Layer, 7u);
}

TEST_F(NodeStepControlTest, BadRecordsAreRefused) {
  struct Row {
    const char* what;
    const char* className;
    ByteWriter body;
    Result expected;
  };
  auto shortValues = [] {
    ByteWriter w = test::DataControlHead();
    w.Pair(1, 0);
    test::FloatArray(w, {0.0f, 100.0f});
    return test::U32Array(w, {1});
  };
  ByteWriter newer = test::DataControlHead();
  newer.Pair(1, 2).U32(0);
  ByteWriter newerKey = test::DataControlHead();
  newerKey.Pair(1, 1).U32(1).Pair(1, 0).I32(0).Pair(1, 1).I32(3);
  ByteWriter hugeCount = test::DataControlHead();
  hugeCount.Pair(1, 1).U32(0x10000000);
  const Row rows[] = {
      {"selection 1.02", "CNodeSelControl", newer, kErrNewerVersion},
      {"layer 1.02", "CNodeLayerControl", newer, kErrNewerVersion},
      {"a key pair of 1.1", "CNodeSelControl", newerKey, kErrNewerVersion},
      {"selection 1.00: fewer values than times", "CNodeSelControl", shortValues(), kErrNotFound},
      {"layer 1.00: fewer values than times", "CNodeLayerControl", shortValues(), kErrNotFound},
      {"a key count past the bytes left", "CNodeLayerControl", hugeCount, kErrStream},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadRecord(row.className, row.body, stream, device), row.expected);
  }
}

}  // namespace
}  // namespace KT
