// KT::CSelNode: the selection rules, the Active flags of the subtrees, the
// local clock of the selected subtree (keyframe-animated children through
// the scene update), copies and persistence.
#include "scene/sel_node.h"

#include <gtest/gtest.h>

#include <string>

#include "controllers/core/keyframe_control.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream_test_support.h"
#include "scene_test_classes.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using test::CLogControl;
using test::CTestLeaf;
using Log = std::vector<std::string>;

class SelNodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterSceneTestClasses();
    CClassFactory::Register("CSelNode", &CreateObject<CSelNode>);
    test::UseTestIds(0);
    test::SceneLog().clear();
  }
};

CPointer<CSelNode> MakeSel() {
  CPointer<CSelNode> sel;
  EXPECT_EQ(CSelNode::Create(sel), kOk);
  sel->SetName(u"sel");
  return sel;
}

CPointer<CNode> MakeNode(const char16_t* name) {
  CPointer<CNode> node;
  EXPECT_EQ(CNode::Create(node), kOk);
  node->SetName(name);
  return node;
}

// A selection node with three groups g0..g2, each holding a leaf l0..l2.
struct ThreeGroups {
  CPointer<CSelNode> sel = MakeSel();
  CPointer<CNode> groups[3] = {MakeNode(u"g0"), MakeNode(u"g1"), MakeNode(u"g2")};
  CPointer<CTestLeaf> leaves[3] = {CPointer<CTestLeaf>(new CTestLeaf(u"l0")),
                                   CPointer<CTestLeaf>(new CTestLeaf(u"l1")),
                                   CPointer<CTestLeaf>(new CTestLeaf(u"l2"))};
  ThreeGroups() {
    for (int i = 0; i < 3; ++i) {
      sel->AddChild(groups[i].Get());
      groups[i]->AddChild(leaves[i].Get());
    }
  }
  std::string ActiveLeaves() const {
    std::string active;
    for (const auto& leaf : leaves) active += leaf->IsActive() ? "1" : "0";
    return active;
  }
};

TEST_F(SelNodeTest, Defaults) {
  CPointer<CSelNode> sel = MakeSel();
  EXPECT_EQ(sel->GetSelectedChild(), 0);
  EXPECT_EQ(sel->GetStartTime(), 0);
  EXPECT_EQ(sel->GetReserved0(), 1.0f);
  EXPECT_EQ(sel->GetSelectValue0(), 0u);
  EXPECT_EQ(sel->GetSelectValue1(), 0u);
}

TEST_F(SelNodeTest, ControllerNamesReachTheSameFields) {
  CPointer<CSelNode> sel = MakeSel();
  sel->SetSelection(2);
  sel->SetSelectionTime(300);
  sel->SetOpacity(0.25f);
  sel->SetSelectValue1(6);
  sel->SetModified(false);
  sel->SetCurrentLayer(4);
  EXPECT_EQ(sel->GetSelectedChild(), 2);
  EXPECT_EQ(sel->GetStartTime(), 300);
  EXPECT_EQ(sel->GetReserved0(), 0.25f);
  EXPECT_EQ(sel->GetLayer(), 6u);
  EXPECT_EQ(sel->GetCurrentLayer(), 4u);
  // The controllers' writes are run-time state: not a modification.
  EXPECT_FALSE(sel->IsModified());
  // The node's update starts from the stored layer.
  ASSERT_EQ(sel->Update(0), kOk);
  EXPECT_EQ(sel->GetCurrentLayer(), 6u);
  EXPECT_EQ(sel->GetPreviousValue1(), 6u);
}

TEST_F(SelNodeTest, SelectionRules) {
  struct Case {
    const char* what;
    i32 selected;
    i32 selectedAfter;
    i32 used;
    std::string active;
  };
  const Case cases[] = {
      {"the selected child", 1, 1, 1, "010"},
      {"past the last child", 5, 0, 0, "100"},
      {"a negative selection shows nothing", -1, -1, -1, "000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ThreeGroups scene;
    scene.sel->SetSelectedChild(c.selected);
    ASSERT_EQ(scene.sel->Update(0), kOk);
    EXPECT_EQ(scene.sel->GetSelectedChild(), c.selectedAfter);
    EXPECT_EQ(scene.sel->GetUsedChild(), c.used);
    EXPECT_EQ(scene.ActiveLeaves(), c.active);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(scene.groups[i]->IsActive(), c.active[i] == '1');
  }
}

TEST_F(SelNodeTest, WithoutChildrenTheSelectionIsMinusOne) {
  CPointer<CSelNode> sel = MakeSel();
  sel->SetSelectedChild(2);
  EXPECT_EQ(sel->Update(0), kOk);
  EXPECT_EQ(sel->GetSelectedChild(), -1);
}

TEST_F(SelNodeTest, AChildWithoutChildrenGivesWayToTheFirstChild) {
  ThreeGroups scene;
  CPointer<CNode> empty = MakeNode(u"empty");
  scene.sel->AddChild(empty.Get());
  scene.sel->SetSelectedChild(3);
  ASSERT_EQ(scene.sel->Update(0), kOk);
  EXPECT_EQ(scene.sel->GetSelectedChild(), 3);
  EXPECT_EQ(scene.sel->GetUsedChild(), 0);
  EXPECT_EQ(scene.ActiveLeaves(), "100");
  EXPECT_FALSE(empty->IsActive());

  // A leaf (a spatial that holds no children at all) gives way as well.
  CPointer<CSelNode> leaves = MakeSel();
  CPointer<CTestLeaf> a(new CTestLeaf(u"a"));
  CPointer<CTestLeaf> b(new CTestLeaf(u"b"));
  leaves->AddChild(a.Get());
  leaves->AddChild(b.Get());
  leaves->SetSelectedChild(1);
  ASSERT_EQ(leaves->Update(0), kOk);
  EXPECT_EQ(leaves->GetSelectedChild(), 1);
  EXPECT_EQ(leaves->GetUsedChild(), 0);
  EXPECT_TRUE(a->IsActive());
  EXPECT_FALSE(b->IsActive());
}

TEST_F(SelNodeTest, TheSelectedSubtreeRunsOnItsLocalClock) {
  ThreeGroups scene;
  CPointer<CNode> root = MakeNode(u"root");
  root->AddChild(scene.sel.Get());
  CLogControl* controls[3];
  for (int i = 0; i < 3; ++i) {
    CPointer<CLogControl> control(new CLogControl(scene.leaves[i]->GetName().c_str()));
    control->isData = true;
    ASSERT_EQ(scene.leaves[i]->AddControl(control.Get()), kOk);
    controls[i] = control.Get();
  }
  scene.sel->SetSelectedChild(2);
  scene.sel->SetStartTime(1000);

  std::vector<CSpatial*> spatials;
  ASSERT_EQ(root->CollectSpatials(spatials), kOk);
  EXPECT_EQ(spatials, (std::vector<CSpatial*>{root.Get(), scene.sel.Get()}));
  std::vector<CDorun*> animated;
  ASSERT_EQ(root->CollectAnimated(animated), kOk);
  EXPECT_EQ(animated, std::vector<CDorun*>{scene.sel.Get()});

  ASSERT_EQ(root->UpdateScene(1500, 0, 0.0f, false, nullptr, false), kOk);
  EXPECT_EQ(test::SceneLog(), (Log{"T:l2@500", "P:l2", "D:l2@500"}));
  EXPECT_EQ(scene.ActiveLeaves(), "001");

  controls[2]->transformResult = kErrInvalidArg;
  EXPECT_EQ(scene.sel->Update(1500), kErrInvalidArg);
}

TEST_F(SelNodeTest, OnlyTheSelectedAnimatedChildMoves) {
  ThreeGroups scene;
  CPointer<CNode> root = MakeNode(u"root");
  root->AddChild(scene.sel.Get());
  for (int i = 0; i < 3; ++i) {
    CPointer<CKeyframeControl> keys(new CKeyframeControl());
    CRtsTransform start = kIdentityTransform;
    CRtsTransform end = kIdentityTransform;
    end.Translate = {100.0f * static_cast<f32>(i + 1), 0.0f, 0.0f};
    ASSERT_EQ(keys->AddRtsKey(0, 1000.0f, start), kOk);
    ASSERT_EQ(keys->AddRtsKey(1000, 1000.0f, end), kOk);
    ASSERT_EQ(scene.groups[i]->AddControl(keys.Get()), kOk);
  }
  scene.sel->SetSelectedChild(1);
  scene.sel->SetStartTime(200);
  ASSERT_EQ(root->UpdateScene(700, 0, 0.0f, false, nullptr, false), kOk);
  // Local time 500: halfway to (200, 0, 0).
  EXPECT_NEAR(scene.groups[1]->GetWorldMatrix().m[3][0], 100.0f, 1e-3f);
  EXPECT_EQ(scene.groups[0]->GetWorldMatrix().m[3][0], 0.0f);
  EXPECT_EQ(scene.groups[2]->GetWorldMatrix().m[3][0], 0.0f);
  EXPECT_EQ(scene.ActiveLeaves(), "010");
}

TEST_F(SelNodeTest, NestingIsBounded) {
  struct Case {
    i32 depth;
    Result result;
  };
  for (const Case& c : {Case{CSelNode::kMaxNesting, kOk}, Case{CSelNode::kMaxNesting + 1, kErrInvalidArg}}) {
    SCOPED_TRACE(c.depth);
    CPointer<CSelNode> top = MakeSel();
    CSelNode* last = top.Get();
    for (i32 i = 1; i < c.depth; ++i) {
      CPointer<CSelNode> next = MakeSel();
      ASSERT_EQ(last->AddChild(next.Get()), kOk);
      last = next.Get();
    }
    last->AddChild(CPointer<CTestLeaf>(new CTestLeaf(u"bottom")).Get());
    EXPECT_EQ(top->Update(0), c.result);
  }
}

TEST_F(SelNodeTest, CopiesAndMembers) {
  ThreeGroups scene;
  scene.sel->SetSelectValue0(4);
  scene.sel->SetSelectValue1(9);
  scene.sel->SetSelectedChild(2);
  scene.sel->SetStartTime(30);
  CPointer<CBase> instance;
  ASSERT_EQ(scene.sel->CreateInstance(instance), kOk);
  CSelNode* made = DynamicCast<CSelNode>(instance.Get());
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->GetChildCount(), 0u);
  EXPECT_EQ(made->GetSelectedChild(), 2);
  EXPECT_EQ(made->GetStartTime(), 30);
  EXPECT_EQ(made->GetSelectValue0(), 4u);
  EXPECT_EQ(made->GetSelectValue1(), 9u);

  DisplacedList displaced;
  CPointer<CNode> node = MakeNode(u"node");
  EXPECT_EQ(scene.sel->CopyTo(node.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(scene.sel->CopyTo(nullptr, displaced, 0), kErrNotFound);
  EXPECT_EQ(scene.sel->GetChildCount(), 3u);
  CPointer<CSelNode> target = MakeSel();
  ASSERT_EQ(scene.sel->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetChildCount(), 3u);
  EXPECT_EQ(target->GetSelectValue0(), 4u);
  EXPECT_EQ(target->GetSelectValue1(), 9u);
  EXPECT_EQ(target->GetSelectedChild(), 0);

  const std::string members = test::Members(target.Get());
  EXPECT_LT(members.find("CSelNode Member"), members.find("CNode Member"));
}

TEST_F(SelNodeTest, SaveLoadSave) {
  ThreeGroups scene;
  scene.sel->SetSelectValue0(4);
  scene.sel->SetSelectValue1(9);
  const Bytes first = test::SaveRoots({scene.sel.Get()});
  u32 records = scene.sel->GetSaveSize();
  for (int i = 0; i < 3; ++i) records += scene.groups[i]->GetSaveSize() + scene.leaves[i]->GetSaveSize();
  EXPECT_EQ(first.size(), 40u + records);
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  CSelNode* loaded = DynamicCast<CSelNode>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->GetChildCount(), 3u);
  EXPECT_EQ(loaded->GetSelectValue0(), 4u);
  EXPECT_EQ(loaded->GetSelectValue1(), 9u);
  EXPECT_EQ(test::Members(loaded), test::Members(scene.sel.Get()));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));

  test::ExpectPrefixesFailBetweenRecords(first);
}

TEST_F(SelNodeTest, OlderRecordsLoad) {
  struct Row {
    u32 version;
    u32 value0, value1;
  };
  for (const Row& row : {Row{101, 0, 0}, Row{102, 3, 8}}) {
    SCOPED_TRACE(row.version);
    ByteWriter body = test::NodeBody(1, {5});
    body.Pair(1, row.version % 100);
    if (row.version >= 102) body.U32(8).U32(3);
    const Bytes bytes =
        test::SceneFile().Record("CSelNode", body, true).Record("CTestLeaf", test::LeafBody(5, u"five")).Data();
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
    CSelNode* sel = DynamicCast<CSelNode>(stream.GetRootObject(0));
    ASSERT_NE(sel, nullptr);
    EXPECT_EQ(sel->GetChildCount(), 1u);
    EXPECT_EQ(sel->GetSelectValue0(), row.value0);
    EXPECT_EQ(sel->GetSelectValue1(), row.value1);
  }
}

}  // namespace
}  // namespace KT
