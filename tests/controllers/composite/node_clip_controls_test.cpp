// The node layer and node selection clip controllers: what they write into
// the selection node around the data clip controller's evaluation, their
// records and copies.
#include <gtest/gtest.h>

#include <string>

#include "controllers/composite/node_layer_clip_control.h"
#include "controllers/composite/node_sel_data_clip_control.h"
#include "controllers/core/clip_key.h"
#include "controllers/keyed/keyed_test_support.h"
#include "controllers/keyed/node_layer_control.h"
#include "controllers/keyed/node_sel_control.h"
#include "objectmodel/class_factory.h"
#include "scene/sel_node.h"

namespace KT {
namespace {

using test::ByteWriter;

class NodeClipControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CNodeLayerClipControl", &CreateObject<CNodeLayerClipControl>);
    CClassFactory::Register("CNodeSelDataClipControl", &CreateObject<CNodeSelDataClipControl>);
    CClassFactory::Register("CNodeLayerControl", &CreateObject<CNodeLayerControl>);
    CClassFactory::Register("CNodeSelControl", &CreateObject<CNodeSelControl>);
    CClassFactory::Register("CSelNode", &CreateObject<CSelNode>);
    test::RegisterTestClasses();
    test::UseTestIds(0);
  }
};

CPointer<CNodeSelControl> SelChild(i32 time, i32 sel) {
  CPointer<CNodeSelControl> child(new CNodeSelControl());
  CNodeSelControl::CSelKey key;
  key.Time = time;
  key.Sel = sel;
  EXPECT_EQ(child->EditKeys().SetKey(key), kOk);
  return child;
}

CPointer<CNodeLayerControl> LayerChild(u32 layer) {
  CPointer<CNodeLayerControl> child(new CNodeLayerControl());
  CNodeLayerControl::CLayerKey key;
  key.Layer = layer;
  EXPECT_EQ(child->EditKeys().SetKey(key), kOk);
  return child;
}

// A selection node (stored layer 4) with a selection clip controller.
struct SelClips {
  CPointer<CSelNode> node{new CSelNode()};
  CPointer<CNodeSelDataClipControl> clips{new CNodeSelDataClipControl()};
  SelClips() {
    node->SetSelectValue1(4);
    EXPECT_EQ(node->AddControl(clips.Get()), kOk);
  }
  std::pair<i32, i32> At(i32 time) {
    EXPECT_EQ(clips->Update(time), kOk);
    return {node->GetSelection(), node->GetSelectionTime()};
  }
};

using SelectionAt = std::pair<i32, i32>;

TEST_F(NodeClipControlsTest, SelectionTimeMovesFromClipTimeToTheContainersTime) {
  SelClips set;
  ASSERT_EQ(set.clips->AddChild(SelChild(0, 2).Get()), kOk);
  ASSERT_EQ(set.clips->AddClipKey(CClipKey(3000, 0), 30.0f), kOk);
  EXPECT_EQ(set.At(3500), (SelectionAt{2, 3000}));
  // Before the first clip, the first clip's child at its start.
  EXPECT_EQ(set.At(100), (SelectionAt{2, 3000}));
  // A child that selects at its 200 in a clip from 1000 reports 1200.
  SelClips later;
  ASSERT_EQ(later.clips->AddChild(SelChild(0, 1).Get()), kOk);
  CPointer<CNodeSelControl> second = SelChild(0, 1);
  CNodeSelControl::CSelKey key;
  key.Time = 200;
  key.Sel = 3;
  ASSERT_EQ(second->EditKeys().SetKey(key), kOk);
  ASSERT_EQ(later.clips->AddChild(second.Get()), kOk);
  CClipKey clip(1000, 1);
  clip.Padding = 1000;
  ASSERT_EQ(later.clips->AddClipKey(CClipKey(0, 0), 30.0f), kOk);
  ASSERT_EQ(later.clips->AddClipKey(clip, 30.0f), kOk);
  EXPECT_EQ(later.At(1500), (SelectionAt{3, 1200}));
  EXPECT_EQ(later.At(500), (SelectionAt{1, 0}));
}

TEST_F(NodeClipControlsTest, UncoveredTimeClearsTheSelection) {
  // No clips.
  SelClips empty;
  ASSERT_EQ(empty.clips->AddChild(SelChild(0, 2).Get()), kOk);
  empty.node->SetSelection(2);
  empty.node->SetSelectionTime(900);
  EXPECT_EQ(empty.At(100), (SelectionAt{0, 0}));
  // A clip of no child in force: the clip evaluation answers kDone.
  SelClips gap;
  ASSERT_EQ(gap.clips->AddChild(SelChild(0, 2).Get()), kOk);
  ASSERT_EQ(gap.clips->AddClipKey(CClipKey(0, 0), 30.0f), kOk);
  ASSERT_EQ(gap.clips->AddClipKey(CClipKey(1000, -1), 30.0f), kOk);
  EXPECT_EQ(gap.At(500), (SelectionAt{2, 0}));
  EXPECT_EQ(gap.At(1500), (SelectionAt{0, 0}));
  // A child that evaluates nothing (inactive, or without keys) leaves the
  // time uncovered too; an inactive one wrote nothing, so nothing is moved.
  SelClips idleChild;
  CPointer<CNodeSelControl> idle = SelChild(0, 2);
  idle->SetActive(false);
  ASSERT_EQ(idleChild.clips->AddChild(idle.Get()), kOk);
  ASSERT_EQ(idleChild.clips->AddChild(CPointer<CNodeSelControl>(new CNodeSelControl()).Get()), kOk);
  ASSERT_EQ(idleChild.clips->AddClipKey(CClipKey(1000, 0), 30.0f), kOk);
  ASSERT_EQ(idleChild.clips->AddClipKey(CClipKey(2000, 1), 30.0f), kOk);
  idleChild.node->SetSelectionTime(50);
  for (int frame = 0; frame < 3; ++frame) EXPECT_EQ(idleChild.At(1500), (SelectionAt{0, 0}));
  EXPECT_EQ(idleChild.At(2500), (SelectionAt{0, 0}));
  // Inactive: the node is left alone.
  gap.clips->SetActive(false);
  gap.node->SetSelection(1);
  gap.node->SetSelectionTime(77);
  EXPECT_EQ(gap.At(1500), (SelectionAt{1, 77}));
}

TEST_F(NodeClipControlsTest, LayerClipsGiveBackTheStoredLayerWhereNoClipPlays) {
  CPointer<CSelNode> node(new CSelNode());
  node->SetSelectValue1(4);
  CPointer<CNodeLayerClipControl> clips(new CNodeLayerClipControl());
  ASSERT_EQ(node->AddControl(clips.Get()), kOk);
  ASSERT_EQ(clips->AddChild(LayerChild(8).Get()), kOk);
  // No clips: the stored layer.
  node->SetCurrentLayer(6);
  EXPECT_EQ(clips->Update(0), kOk);
  EXPECT_EQ(node->GetCurrentLayer(), 4u);
  ASSERT_EQ(clips->AddClipKey(CClipKey(0, 0), 30.0f), kOk);
  ASSERT_EQ(clips->AddClipKey(CClipKey(400, -1), 30.0f), kOk);
  EXPECT_EQ(clips->Update(100), kOk);
  EXPECT_EQ(node->GetCurrentLayer(), 8u);
  EXPECT_EQ(clips->Update(500), kOk);
  EXPECT_EQ(node->GetCurrentLayer(), 4u);
  // Inactive: untouched.
  clips->SetActive(false);
  node->SetCurrentLayer(6);
  EXPECT_EQ(clips->Update(500), kOk);
  EXPECT_EQ(node->GetCurrentLayer(), 6u);
}

TEST_F(NodeClipControlsTest, OtherObjectsAndFailuresAreSwallowed) {
  // Unbound: the clip evaluation fails, Update still answers kOk.
  CPointer<CNodeLayerClipControl> layers(new CNodeLayerClipControl());
  CPointer<CNodeSelDataClipControl> shows(new CNodeSelDataClipControl());
  EXPECT_EQ(layers->Update(0), kOk);
  EXPECT_EQ(shows->Update(0), kOk);
  // Bound to an object that is not a selection node: nothing written.
  CPointer<test::CTestDorun> other(new test::CTestDorun());
  ASSERT_EQ(other->AddControl(layers.Get()), kOk);
  ASSERT_EQ(other->AddControl(shows.Get()), kOk);
  const std::string before = test::Members(other.Get());
  EXPECT_EQ(layers->Update(0), kOk);
  EXPECT_EQ(shows->Update(0), kOk);
  EXPECT_EQ(test::Members(other.Get()), before);
}

TEST_F(NodeClipControlsTest, RecordsRoundTripWithChildrenAndMembers) {
  SelClips set;
  ASSERT_EQ(set.clips->AddChild(SelChild(0, 2).Get()), kOk);
  ASSERT_EQ(set.clips->AddChild(SelChild(100, 1).Get()), kOk);
  ASSERT_EQ(set.clips->AddClipKey(CClipKey(0, 0), 30.0f), kOk);
  ASSERT_EQ(set.clips->AddClipKey(CClipKey(1000, 1), 30.0f), kOk);
  CPointer<CNodeLayerClipControl> layers(new CNodeLayerClipControl());
  ASSERT_EQ(layers->AddChild(LayerChild(3).Get()), kOk);
  ASSERT_EQ(layers->AddClipKey(CClipKey(0, 0), 30.0f), kOk);
  ASSERT_EQ(set.node->AddControl(layers.Get()), kOk);
  EXPECT_EQ(set.clips->GetSaveSize(), set.clips->CDataClipControl::GetSaveSize() + 8);
  EXPECT_EQ(layers->GetSaveSize(), layers->CDataClipControl::GetSaveSize() + 8);
  test::ExpectSceneRoundTrip(*set.node);
  for (CControl* control : {static_cast<CControl*>(set.clips.Get()), static_cast<CControl*>(layers.Get())}) {
    const std::string text = test::Members(control);
    const std::string group = std::string(control->GetClassRecord().name) + " Member";
    ASSERT_NE(text.find(group), std::string::npos) << group;
    EXPECT_LT(text.find(group), text.find("CDataClipControl Member"));
  }
}

TEST_F(NodeClipControlsTest, CopiesKeepTheirClassAndClips) {
  SelClips set;
  ASSERT_EQ(set.clips->AddChild(SelChild(0, 2).Get()), kOk);
  ASSERT_EQ(set.clips->AddClipKey(CClipKey(3000, 0), 30.0f), kOk);
  CPointer<CBase> instance;
  ASSERT_EQ(set.clips->CreateInstance(instance), kOk);
  auto* copy = DynamicCast<CNodeSelDataClipControl>(instance.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetClips().size(), 1u);
  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_EQ(set.node->Clone(clone, map, 0), kOk);
  auto* clonedNode = DynamicCast<CSelNode>(clone.Get());
  ASSERT_NE(clonedNode, nullptr);
  auto* clonedClips = DynamicCast<CNodeSelDataClipControl>(clonedNode->GetFirstControl());
  ASSERT_NE(clonedClips, nullptr);
  EXPECT_EQ(clonedClips->GetChildren().size(), 1u);
  EXPECT_EQ(clonedClips->Update(3500), kOk);
  EXPECT_EQ(clonedNode->GetSelection(), 2);
  EXPECT_EQ(clonedNode->GetSelectionTime(), 3000);
  CPointer<CNodeLayerClipControl> layers(new CNodeLayerClipControl());
  ASSERT_EQ(layers->CreateInstance(instance), kOk);
  EXPECT_NE(DynamicCast<CNodeLayerClipControl>(instance.Get()), nullptr);
}

TEST_F(NodeClipControlsTest, NewerRecordsAreRefused) {
  for (const char* name : {"CNodeLayerClipControl", "CNodeSelDataClipControl"}) {
    SCOPED_TRACE(name);
    ByteWriter w = test::DataControlHead();
    // The data clip part: 2.02, no children, no flags, no clips; then 1.01.
    w.Pair(2, 2).U32(0).U32(0).U32(0).Pair(1, 1);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadRecord(name, w, stream, device), kErrNewerVersion);
    ByteWriter ok = test::DataControlHead();
    ok.Pair(2, 2).U32(0).U32(0).U32(0).Pair(1, 0);
    CStream okStream;
    CMemoryIo okDevice;
    EXPECT_NE(test::LoadRoot<CControl>(name, ok, okStream, okDevice), nullptr);
  }
}

}  // namespace
}  // namespace KT
