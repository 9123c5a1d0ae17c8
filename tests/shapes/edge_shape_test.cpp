// KT::CEdge and KT::CShape: animated copies, bounds, the plane mapping,
// shared elements, clones and records.
#include <gtest/gtest.h>

#include "shapes_test_support.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using Curve = CEdge::EdgeCurve;

class EdgeShapeTest : public test::ShapesTest {};

CPointer<CEdge> MakeEdge(std::initializer_list<Curve> curves, CVector2 start = {}) {
  CPointer<CEdge> edge(new CEdge());
  const std::vector<Curve> list(curves);
  EXPECT_EQ(edge->SetCurves(list.data(), static_cast<u32>(list.size())), kOk);
  edge->StartPoint = start;
  return edge;
}

TEST_F(EdgeShapeTest, EdgeRecordAndAnimatedCopy) {
  test::SceneFile file;
  file.Record("CEdge", test::EdgeBody(1, {{1, 2, 3, 4}, {5, 6, 7, 8}}), true);
  const Bytes bytes = file.Data();
  CStream stream;
  CMemoryIo device;
  CBase* root = nullptr;
  ASSERT_EQ(test::LoadImage(bytes, stream, device, root), kOk);
  auto* edge = DynamicCast<CEdge>(root);
  ASSERT_NE(edge, nullptr);
  ASSERT_EQ(edge->GetCurveCount(), 2u);
  EXPECT_EQ(edge->GetCurves()[1].AnchorPoint, CVector2(7, 8));
  EXPECT_EQ(edge->StartPoint, CVector2(1, 2));
  EXPECT_EQ(edge->FillStyleID0, 3);
  EXPECT_EQ(edge->FillStyleID1, 4);
  EXPECT_EQ(edge->LineStyleID, 5);
  EXPECT_TRUE(edge->NewShape);
  ASSERT_EQ(edge->GetAnimCurves().GetCount(), 2u) << "the load refreshes the animated copy";
  EXPECT_EQ(edge->GetAnimCurves()[0].ControlPoint, CVector2(1, 2));
  EXPECT_EQ(edge->AnimStartPoint, CVector2(1, 2));
  EXPECT_FALSE(edge->IsAnimReset());
  test::ExpectPrefixesFailBetweenRecords(bytes, test::kFirstRecordOffset);
  test::ExpectRoundTrip({edge});

  test::NameRecorder names;
  edge->DescribeMembers(names);
  EXPECT_EQ(names.Group(u"CEdge Member"),
            (std::vector<std::u16string>{u"NewShape", u"FillStyleID0", u"FillStyleID1", u"LineStyleID ",
                                         u"StartPoint", u"Curves", u"ControlPoint", u"AnchorPoint ", u"ControlPoint",
                                         u"AnchorPoint "}));
}

TEST_F(EdgeShapeTest, EmptyEdgeSaves27BytesAndKeepsAnEmptyBound) {
  CPointer<CEdge> edge(new CEdge());
  EXPECT_EQ(edge->GetSaveSize(), edge->CDorun::GetSaveSize() + 27);
  EXPECT_EQ(edge->UpdateBound(), kOk);
  EXPECT_EQ(edge->GetBound().Radius, 0.0f);
  test::ExpectRoundTrip({edge.Get()});
}

TEST_F(EdgeShapeTest, EdgeBounds) {
  // Coinciding points: radius 1 around them.
  CPointer<CEdge> point = MakeEdge({{{3, 4}, {3, 4}}}, {100, 100});
  ASSERT_EQ(point->UpdateBound(), kOk);
  EXPECT_EQ(point->GetBound().Radius, 1.0f);
  EXPECT_EQ(point->GetBound().Center, CVector2(3, 4));
  EXPECT_FALSE(point->IsBoundDirty());

  // The start point is not part of the bound.
  CPointer<CEdge> edge = MakeEdge({{{0, 0}, {6, 8}}}, {-100, -100});
  ASSERT_EQ(edge->UpdateBound(), kOk);
  EXPECT_EQ(edge->GetBound().Min, CVector2(0, 0));
  EXPECT_EQ(edge->GetBound().Max, CVector2(6, 8));
  EXPECT_EQ(edge->GetBound().Radius, 5.0f);
}

TEST_F(EdgeShapeTest, EdgeUpdateRestoresTheStoredCurves) {
  CPointer<CEdge> edge = MakeEdge({{{1, 1}, {2, 2}}}, {5, 5});
  ASSERT_EQ(edge->Update(0), kOk);
  edge->EditAnimCurves()[0].AnchorPoint = CVector2(9, 9);
  edge->AnimStartPoint = CVector2(0, 0);
  edge->SetAnimReset(true);
  ASSERT_EQ(edge->Update(0), kOk);
  EXPECT_EQ(edge->GetAnimCurves()[0].AnchorPoint, CVector2(2, 2));
  EXPECT_EQ(edge->AnimStartPoint, CVector2(5, 5));
  EXPECT_FALSE(edge->IsAnimReset());
}

TEST_F(EdgeShapeTest, EdgeCopies) {
  CPointer<CEdge> source = MakeEdge({{{1, 1}, {2, 2}}, {{3, 3}, {4, 4}}}, {5, 5});
  source->LineStyleID = 7;
  source->UpdateBound();
  CPointer<CBase> copy;
  ASSERT_EQ(source->CreateInstance(copy), kOk);
  auto* c = static_cast<CEdge*>(copy.Get());
  EXPECT_EQ(c->GetCurveCount(), 2u);
  EXPECT_NE(c->GetCurves().GetData(), source->GetCurves().GetData());
  EXPECT_TRUE(c->IsBoundDirty());
  EXPECT_TRUE(c->IsAnimReset());
  EXPECT_EQ(c->GetBound().Radius, 0.0f);

  CPointer<CEdge> target(new CEdge());
  target->SetAnimReset(false);
  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetCurveCount(), 2u);
  EXPECT_EQ(target->GetCurves()[1].ControlPoint, CVector2(3, 3));
  EXPECT_EQ(target->LineStyleID, 7);
  EXPECT_TRUE(target->IsAnimReset());
  EXPECT_TRUE(target->IsBoundDirty());
  CShape shape;
  EXPECT_EQ(source->CopyTo(&shape, displaced, 0), kErrNotFound);
}

TEST_F(EdgeShapeTest, PlaneMapping) {
  struct Row {
    u32 plane;
    CVector2 direction;
    CVector3<float> expected;
  };
  const Row rows[] = {
      {0, {1, 1}, {3, 0, 4}},  {1, {1, 1}, {3, 4, 0}},  {2, {1, 1}, {0, 4, 3}},
      {7, {1, 1}, {3, 0, 4}},  {2, {2, -1}, {0, -4, 6}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.plane);
    CShape shape;
    shape.Plane = row.plane;
    shape.Direction = row.direction;
    EXPECT_EQ(shape.MapPoint({3, 4}), row.expected);
  }
}

TEST_F(EdgeShapeTest, ShapeBound) {
  CPointer<CShape> shape(new CShape());
  ASSERT_EQ(shape->UpdateBound(), kOk);
  EXPECT_EQ(shape->GetBound().Radius, 0.0f) << "no edges: empty";

  shape->AddEdge(CPointer<CEdge>(new CEdge()).Get());
  ASSERT_EQ(shape->UpdateBound(), kOk);
  EXPECT_EQ(shape->GetBound().Radius, 0.0f) << "only empty edges: empty";

  shape->Plane = 2;
  shape->AddEdge(MakeEdge({{{0, 0}, {2, 2}}}).Get());
  shape->AddEdge(MakeEdge({{{4, 6}, {4, 6}}}).Get());
  ASSERT_EQ(shape->UpdateBound(), kOk);
  EXPECT_EQ(shape->GetBound().Min, CVector3<float>(0, 0, 0));
  EXPECT_EQ(shape->GetBound().Max, CVector3<float>(0, 6, 4));
  EXPECT_EQ(shape->GetBound().Center, CVector3<float>(0, 3, 2));
}

TEST_F(EdgeShapeTest, ShapeRecordAndLinks) {
  test::SceneFile file;
  file.Record("CShape", test::ShapeBody(1, {0x20}, {0x30}, {0x40, 0x41}), true);
  ByteWriter fill;
  test::ObjectHead(fill, 0x20);
  test::TexturePart(fill);
  test::FillPart(fill, 102, CColor(1, 0, 0, 1), 1.0f);
  file.Record("CFillStyle", fill);
  ByteWriter line;
  test::ObjectHead(line, 0x30);
  line.Pair(1, 2).U64(0).F32(1);
  test::ColorBytes(line, CColor()).F32(1).U32(0).U32(0).U32(0).U8(0).F32(0);
  file.Record("CLineStyle", line);
  file.Record("CEdge", test::EdgeBody(0x40, {{1, 2, 3, 4}}));
  file.Record("CEdge", test::EdgeBody(0x41, {}));
  const Bytes bytes = file.Data();
  CStream stream;
  CMemoryIo device;
  CBase* root = nullptr;
  ASSERT_EQ(test::LoadImage(bytes, stream, device, root), kOk);
  auto* shape = DynamicCast<CShape>(root);
  ASSERT_NE(shape, nullptr);
  ASSERT_EQ(shape->GetFillStyles().size(), 1u);
  ASSERT_EQ(shape->GetLineStyles().size(), 1u);
  ASSERT_EQ(shape->GetEdges().size(), 2u);
  EXPECT_NE(shape->GetEdges()[1].Get(), nullptr);
  EXPECT_EQ(shape->TextureScale, 100.0f);
  EXPECT_EQ(shape->GradientUnit, 2.0f);
  EXPECT_EQ(shape->Plane, 2u);
  EXPECT_EQ(shape->Direction, CVector2(1, -1));
  EXPECT_EQ(shape->Reserved(), kErrNotImplemented);
  test::ReferenceRecorder refs;
  shape->EnumReferences(refs);
  ASSERT_GE(refs.seen.size(), 4u);
  EXPECT_EQ(refs.seen[0], shape->GetFillStyles()[0].Get());
  EXPECT_EQ(refs.seen[3], shape->GetEdges()[1].Get());
  test::ExpectPrefixesFailBetweenRecords(bytes, test::kFirstRecordOffset);
  test::ExpectRoundTrip({shape});

  test::NameRecorder names;
  shape->DescribeMembers(names);
  EXPECT_EQ(names.Group(u"CShape Member"),
            (std::vector<std::u16string>{u"Direction", u"TextureScale", u"GradientUnit", u"FillStyles", u"FillStyle",
                                         u"LineStyles", u"LineStyles", u"Edges", u"Edge", u"Edge"}));
}

// A list element of another class than its list is refused at link.
TEST_F(EdgeShapeTest, ShapeListsAreCheckedAtLink) {
  struct Row {
    const char* what;
    std::vector<u64> fills, lines, edges;
  };
  const Row rows[] = {
      {"an edge among the fill styles", {0x40}, {}, {}},
      {"an edge among the line styles", {}, {0x40}, {}},
      {"a node among the edges", {}, {}, {0x50}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    test::SceneFile file;
    file.Record("CShape", test::ShapeBody(1, row.fills, row.lines, row.edges), true);
    file.Record("CEdge", test::EdgeBody(0x40, {}));
    file.Record("CNode", test::NodeBody(0x50, {}));
    CStream stream;
    CMemoryIo device;
    CBase* root = nullptr;
    EXPECT_EQ(test::LoadImage(file.Data(), stream, device, root), kErrNotFound);
  }
}

TEST_F(EdgeShapeTest, ShapeCopiesShareAndClonesStayShared) {
  CPointer<CShape> shape(new CShape());
  CPointer<CFillStyle> fill(new CFillStyle());
  CPointer<CEdge> edge = MakeEdge({{{1, 1}, {2, 2}}});
  shape->AddFillStyle(fill.Get());
  shape->AddEdge(edge.Get());
  shape->AddEdge(edge.Get());
  shape->Plane = 1;

  CShape target;
  CPointer<CEdge> former(new CEdge());
  target.AddEdge(former.Get());
  DisplacedList displaced;
  ASSERT_EQ(shape->CopyTo(&target, displaced, 0), kOk);
  EXPECT_EQ(target.GetEdges()[0].Get(), edge.Get()) << "both shapes refer to the same edge";
  EXPECT_EQ(target.GetFillStyles()[0].Get(), fill.Get());
  EXPECT_EQ(target.Plane, 1u);
  ASSERT_EQ(displaced.size(), 1u);
  EXPECT_EQ(displaced[0].Get(), former.Get());

  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_EQ(shape->Clone(clone, map, 0), kOk);
  auto* cloned = static_cast<CShape*>(clone.Get());
  ASSERT_EQ(cloned->GetEdges().size(), 2u);
  EXPECT_NE(cloned->GetEdges()[0].Get(), edge.Get());
  EXPECT_EQ(cloned->GetEdges()[0].Get(), cloned->GetEdges()[1].Get()) << "a shared edge is cloned once";
  CPointer<CBase> again;
  ASSERT_EQ(shape->Clone(again, map, 0), kDone);
  EXPECT_EQ(again.Get(), clone.Get());
  EXPECT_EQ(cloned->GetEdges().size(), 2u) << "a second clone adds nothing";
}

}  // namespace
}  // namespace KT
