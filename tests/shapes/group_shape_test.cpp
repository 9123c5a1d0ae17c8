// KT::CShapeInstance and KT::CGroupShape: parents, depths, bounds, copies,
// clones and records.
#include <gtest/gtest.h>

#include "shapes_test_support.h"

namespace KT {
namespace {

using test::Bytes;
using Curve = CEdge::EdgeCurve;

class GroupShapeTest : public test::ShapesTest {};

// A shape in plane 1 whose one edge spans (0, 0) to (2, 4).
CPointer<CShape> MakeShape() {
  CPointer<CShape> shape(new CShape());
  shape->Plane = 1;
  CPointer<CEdge> edge(new CEdge());
  const Curve curve{{0, 0}, {2, 4}};
  EXPECT_EQ(edge->SetCurves(&curve, 1), kOk);
  shape->AddEdge(edge.Get());
  return shape;
}

CPointer<CShapeInstance> MakeInstance(u32 shapeId, f32 dx = 0.0f) {
  CPointer<CShapeInstance> instance(new CShapeInstance());
  instance->ShapeID = shapeId;
  CMatrix4 world;
  world.m[3][0] = dx;
  instance->SetWorld(CMatrix3(), CMatrix3(), world);
  return instance;
}

TEST_F(GroupShapeTest, RecordLinksTheInstancesToTheGroup) {
  test::SceneFile file;
  file.Record("CGroupShape", test::GroupBody(1, {0x10}, {0x20, 0x21}), true);
  file.Record("CShape", test::ShapeBody(0x10, {}, {}, {0x40}));
  file.Record("CEdge", test::EdgeBody(0x40, {{0, 0, 2, 4}}));
  file.Record("CShapeInstance", test::InstanceBody(0x20, 0));
  file.Record("CShapeInstance", test::InstanceBody(0x21, 5));
  const Bytes bytes = file.Data();
  CStream stream;
  CMemoryIo device;
  CBase* root = nullptr;
  ASSERT_EQ(test::LoadImage(bytes, stream, device, root), kOk);
  auto* group = DynamicCast<CGroupShape>(root);
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->GroupID, 7u);
  EXPECT_EQ(group->Layer, 4u);
  EXPECT_EQ(group->GetAnimLayer(), 4u);
  ASSERT_EQ(group->GetShapes().size(), 1u);
  ASSERT_EQ(group->GetShapeInstances().size(), 2u);
  EXPECT_EQ(group->GetChildCount(), 0u) << "instances are not node children";
  for (const auto& instance : group->GetShapeInstances()) EXPECT_EQ(instance->GetParent(), group);
  EXPECT_EQ(group->GetShapeInstances()[0]->Depth, 2u);
  EXPECT_EQ(group->GetShapeInstances()[0]->ClipDepth, 3u);

  std::vector<CSpatial*> spatials;
  ASSERT_EQ(group->CollectSpatials(spatials), kOk);
  ASSERT_EQ(spatials.size(), 3u);
  EXPECT_EQ(spatials[0], group);
  EXPECT_EQ(spatials[2], group->GetShapeInstances()[1].Get());

  test::ExpectPrefixesFailBetweenRecords(bytes, test::kFirstRecordOffset);
  test::ExpectRoundTrip({group});

  test::NameRecorder names;
  group->DescribeMembers(names);
  EXPECT_EQ(names.Group(u"CGroupShape Member"),
            (std::vector<std::u16string>{u"Group ID", u"Layer", u"ShapeData", u"Shape Data", u"ShapeInstance",
                                         u"Shape Instance", u"Shape Instance"}));
  test::NameRecorder instanceNames;
  group->GetShapeInstances()[0]->DescribeMembers(instanceNames);
  EXPECT_EQ(instanceNames.Group(u"CShapeInstance Member"),
            (std::vector<std::u16string>{u"ShapeID", u"Depth", u"ClipDepth"}));
}

TEST_F(GroupShapeTest, ListsAreCheckedAtLink) {
  struct Row {
    const char* what;
    std::vector<u64> shapes, instances;
  };
  const Row rows[] = {
      {"an edge among the shapes", {0x40}, {}},
      {"a node among the instances", {}, {0x50}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    test::SceneFile file;
    file.Record("CGroupShape", test::GroupBody(1, row.shapes, row.instances), true);
    file.Record("CEdge", test::EdgeBody(0x40, {}));
    file.Record("CNode", test::NodeBody(0x50, {}));
    CStream stream;
    CMemoryIo device;
    CBase* root = nullptr;
    EXPECT_EQ(test::LoadImage(file.Data(), stream, device, root), kErrNotFound);
  }
}

TEST_F(GroupShapeTest, AddShapeInstanceRefusesAnInstanceWithAParent) {
  CPointer<CGroupShape> first(new CGroupShape());
  CPointer<CGroupShape> second(new CGroupShape());
  CPointer<CShapeInstance> instance = MakeInstance(0);
  ASSERT_EQ(first->AddShapeInstance(instance.Get()), kOk);
  EXPECT_EQ(instance->GetParent(), first.Get());
  EXPECT_EQ(second->AddShapeInstance(instance.Get()), kErrInvalidArg);
  EXPECT_TRUE(second->GetShapeInstances().empty());
  EXPECT_EQ(first->AddShapeInstance(nullptr), kErrInvalidArg);
  first = nullptr;
  EXPECT_EQ(instance->GetParent(), nullptr) << "a destroyed group leaves no parent behind";
}

TEST_F(GroupShapeTest, WorldBounds) {
  CPointer<CGroupShape> group(new CGroupShape());
  ASSERT_EQ(group->UpdateWorldBound(), kOk);
  EXPECT_EQ(group->GetWorldBound().Radius, 0.0f) << "an empty group has an empty world bound";

  group->AddShape(MakeShape().Get());
  group->AddShape(nullptr);
  CPointer<CShapeInstance> placed = MakeInstance(0, 10.0f);
  CPointer<CShapeInstance> inactive = MakeInstance(0, 100.0f);
  CPointer<CShapeInstance> emptySlot = MakeInstance(1, 200.0f);
  CPointer<CShapeInstance> pastTheList = MakeInstance(9, 300.0f);
  inactive->SetActive(false);
  CBound previous;
  previous.SetMinMax({-1, -1, -1}, {1, 1, 1});
  inactive->SetWorldBound(previous);
  for (CShapeInstance* i : {placed.Get(), inactive.Get(), emptySlot.Get(), pastTheList.Get()}) {
    ASSERT_EQ(group->AddShapeInstance(i), kOk);
  }
  ASSERT_EQ(group->UpdateWorldBound(), kOk);
  EXPECT_EQ(placed->GetWorldBound().Min, CVector3<float>(10, 0, 0));
  EXPECT_EQ(placed->GetWorldBound().Max, CVector3<float>(12, 4, 0));
  EXPECT_EQ(inactive->GetWorldBound(), previous) << "an inactive instance keeps its world bound";
  EXPECT_EQ(emptySlot->GetWorldBound().Radius, 0.0f);
  EXPECT_EQ(pastTheList->GetWorldBound().Radius, 0.0f) << "a ShapeID past the list contributes nothing";
  EXPECT_EQ(group->GetWorldBound(), placed->GetWorldBound());

  CBound bound;
  ASSERT_EQ(group->GetBound(bound), kOk);
  EXPECT_EQ(bound, placed->GetWorldBound());

  CMatrix4 space;
  space.m[3][0] = 10.0f;
  CBound local;
  ASSERT_EQ(group->GetShapeBound(space, local), kOk);
  EXPECT_EQ(local.Min, CVector3<float>(0, 0, 0));
  EXPECT_EQ(local.Max, CVector3<float>(2, 4, 0));
}

TEST_F(GroupShapeTest, EmptyGroupLeavesTheCallersBound) {
  CPointer<CGroupShape> group(new CGroupShape());
  CBound bound;
  bound.SetMinMax({1, 2, 3}, {4, 5, 6});
  const CBound before = bound;
  EXPECT_EQ(group->GetBound(bound), kOk);
  EXPECT_EQ(bound, before);
  EXPECT_EQ(group->GetShapeBound(CMatrix4(), bound), kOk);
  EXPECT_EQ(bound, before);
}

TEST_F(GroupShapeTest, OneCachedDepthAnswersBothQuestions) {
  CPointer<CNode> root(new CNode());
  CPointer<CGroupShape> group(new CGroupShape());
  ASSERT_EQ(root->AddChild(group.Get()), kOk);
  CPointer<CShapeInstance> instance = MakeInstance(0);
  ASSERT_EQ(group->AddShapeInstance(instance.Get()), kOk);
  for (CSpatial* s : {static_cast<CSpatial*>(root.Get()), static_cast<CSpatial*>(group.Get()),
                      static_cast<CSpatial*>(instance.Get())}) {
    s->SetDirty();
  }
  i32 depth = 0;
  ASSERT_EQ(instance->GetUpdateDepth(0, depth), kOk);
  EXPECT_EQ(depth, 2) << "root 0, group 1, instance 2";
  EXPECT_FALSE(instance->IsDirty());
  i32 dataDepth = 0;
  ASSERT_EQ(instance->GetDataUpdateDepth(nullptr, dataDepth), kOk);
  EXPECT_EQ(dataDepth, 2) << "the data question reads the same cached depth";
  i32 running = 5;
  ASSERT_EQ(instance->GetUpdateDepth(0, running), kOk);
  EXPECT_EQ(running, 5) << "a deeper running depth stays";
}

TEST_F(GroupShapeTest, CopyToSharesTheListsAndReparents) {
  CPointer<CGroupShape> source(new CGroupShape());
  CPointer<CGroupShape> target(new CGroupShape());
  CPointer<CShape> shape = MakeShape();
  CPointer<CShapeInstance> instance = MakeInstance(0);
  CPointer<CShapeInstance> former = MakeInstance(0);
  source->AddShape(shape.Get());
  ASSERT_EQ(source->AddShapeInstance(instance.Get()), kOk);
  ASSERT_EQ(target->AddShapeInstance(former.Get()), kOk);
  source->GroupID = 3;
  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetShapeInstances()[0].Get(), instance.Get());
  EXPECT_EQ(source->GetShapeInstances()[0].Get(), instance.Get());
  EXPECT_EQ(instance->GetParent(), target.Get()) << "every instance takes the target as parent";
  EXPECT_EQ(former->GetParent(), nullptr);
  EXPECT_EQ(target->GetShapes()[0].Get(), shape.Get());
  EXPECT_EQ(target->GroupID, 3u);
  EXPECT_FALSE(target->IsModified());
  EXPECT_EQ(source->CopyTo(shape.Get(), displaced, 0), kErrNotFound);
}

TEST_F(GroupShapeTest, ClonesKeepASharedShapeShared) {
  CPointer<CShape> shared = MakeShape();
  CPointer<CGroupShape> a(new CGroupShape());
  CPointer<CGroupShape> b(new CGroupShape());
  a->AddShape(shared.Get());
  b->AddShape(shared.Get());
  ASSERT_EQ(a->AddShapeInstance(MakeInstance(0).Get()), kOk);
  CloneMap map;
  CPointer<CBase> ca;
  CPointer<CBase> cb;
  ASSERT_EQ(a->Clone(ca, map, 0), kOk);
  ASSERT_EQ(b->Clone(cb, map, 0), kOk);
  auto* copyA = static_cast<CGroupShape*>(ca.Get());
  auto* copyB = static_cast<CGroupShape*>(cb.Get());
  ASSERT_EQ(copyA->GetShapes().size(), 1u);
  ASSERT_EQ(copyB->GetShapes().size(), 1u);
  EXPECT_EQ(copyA->GetShapes()[0].Get(), copyB->GetShapes()[0].Get()) << "one copy of the shared shape";
  EXPECT_NE(copyA->GetShapes()[0].Get(), shared.Get());
  EXPECT_EQ(copyA->GetShapes()[0]->GetEdges().size(), 1u) << "its lists hold each element once";
  ASSERT_EQ(copyA->GetShapeInstances().size(), 1u);
  EXPECT_EQ(copyA->GetShapeInstances()[0]->GetParent(), copyA);
  EXPECT_EQ(copyB->GetShapeInstances().size(), 0u);
}

}  // namespace
}  // namespace KT
