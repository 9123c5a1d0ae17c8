// The edge and gradient morph controllers: weights, offsets, stored forms.
#include <gtest/gtest.h>

#include "shapes_test_support.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using Curve = CEdge::EdgeCurve;
using Rec = CGradientFillStyle::_KTGradientRec;

class MorphControlsTest : public test::ShapesTest {};

// An edge with two segments and start point (1, 1), updated once.
CPointer<CEdge> MakeEdge() {
  CPointer<CEdge> edge(new CEdge());
  const Curve curves[] = {{{0, 0}, {2, 2}}, {{4, 4}, {6, 6}}};
  EXPECT_EQ(edge->SetCurves(curves, 2), kOk);
  edge->StartPoint = CVector2(1, 1);
  return edge;
}

// A morph moving every point by (4, 8) and the start by (4, 0) at full
// weight, keyed 0 at 0 and 1 at 1000.
CPointer<CEdgeMorphControl> MakeMorph(u32 deltas = 2) {
  CPointer<CEdgeMorphControl> morph(new CEdgeMorphControl());
  const Curve offsets[] = {{{4, 8}, {4, 8}}, {{4, 8}, {4, 8}}, {{4, 8}, {4, 8}}};
  EXPECT_EQ(morph->SetDeltas(offsets, deltas), kOk);
  morph->SetStartOffset(CVector2(4, 0));
  EXPECT_EQ(morph->SetWeightKey(0, 0.0f, 0.0f, TT_LINEAR), kOk);
  EXPECT_EQ(morph->SetWeightKey(1000, 1.0f, 0.0f, TT_LINEAR), kOk);
  return morph;
}

TEST_F(MorphControlsTest, WeightAtAQuarterMovesAQuarterOfTheOffsets) {
  CPointer<CEdge> edge = MakeEdge();
  CPointer<CEdgeMorphControl> morph = MakeMorph();
  ASSERT_EQ(edge->AddControl(morph.Get()), kOk);
  ASSERT_EQ(edge->Update(250), kOk);
  EXPECT_FLOAT_EQ(morph->GetCurrentWeight(), 0.25f);
  EXPECT_EQ(edge->GetAnimCurves()[0].ControlPoint, CVector2(1, 2));
  EXPECT_EQ(edge->GetAnimCurves()[1].AnchorPoint, CVector2(7, 8));
  EXPECT_EQ(edge->AnimStartPoint, CVector2(2, 1));
  EXPECT_TRUE(edge->IsAnimReset());
  EXPECT_TRUE(edge->IsBoundDirty());
  EXPECT_EQ(edge->GetCurves()[0].ControlPoint, CVector2(0, 0)) << "the stored curves stay";

  // The next frame starts from the stored curves again.
  ASSERT_EQ(edge->Update(500), kOk);
  EXPECT_EQ(edge->GetAnimCurves()[0].ControlPoint, CVector2(2, 4));
}

TEST_F(MorphControlsTest, WeightOutsideTheKeys) {
  CPointer<CEdge> edge = MakeEdge();
  CPointer<CEdgeMorphControl> morph(new CEdgeMorphControl());
  ASSERT_EQ(edge->AddControl(morph.Get()), kOk);
  ASSERT_EQ(morph->SetWeightKey(100, 0.3f, 0.0f, TT_LINEAR), kOk);
  ASSERT_EQ(morph->SetWeightKey(200, 0.7f, 0.0f, TT_EASE_IN_OUT), kOk);
  ASSERT_EQ(morph->Update(0), kOk);
  EXPECT_FLOAT_EQ(morph->GetCurrentWeight(), 0.3f) << "before the first key: its weight";
  ASSERT_EQ(morph->Update(900), kOk);
  EXPECT_FLOAT_EQ(morph->GetCurrentWeight(), 0.7f) << "after the last key: its weight";
  EXPECT_EQ(morph->GetEndTime(), 200);
}

TEST_F(MorphControlsTest, TwoMorphsAtFullWeightAddUp) {
  CPointer<CEdge> edge = MakeEdge();
  CPointer<CEdgeMorphControl> first = MakeMorph();
  CPointer<CEdgeMorphControl> second = MakeMorph();
  ASSERT_EQ(edge->AddControl(first.Get()), kOk);
  ASSERT_EQ(edge->AddControl(second.Get()), kOk);
  ASSERT_EQ(edge->Update(1000), kOk);
  EXPECT_EQ(edge->GetAnimCurves()[0].ControlPoint, CVector2(8, 16));
  EXPECT_EQ(edge->AnimStartPoint, CVector2(9, 1));
  ASSERT_EQ(edge->UpdateBound(), kOk);
}

TEST_F(MorphControlsTest, InactiveMorphLeavesTheStoredValues) {
  CPointer<CEdge> edge = MakeEdge();
  CPointer<CEdgeMorphControl> morph = MakeMorph();
  ASSERT_EQ(edge->AddControl(morph.Get()), kOk);
  ASSERT_EQ(edge->Update(1000), kOk);
  morph->SetActive(false);
  EXPECT_EQ(morph->Update(1000), kDone);
  EXPECT_EQ(morph->Apply(), kDone);
  ASSERT_EQ(edge->Update(1000), kOk);
  EXPECT_EQ(edge->GetAnimCurves()[0].ControlPoint, CVector2(0, 0));
  EXPECT_EQ(edge->AnimStartPoint, CVector2(1, 1));
}

TEST_F(MorphControlsTest, NoOffsetsStillMovesTheStartAndMarksTheEdge) {
  CPointer<CEdge> edge = MakeEdge();
  CPointer<CEdgeMorphControl> morph = MakeMorph(0);
  ASSERT_EQ(edge->AddControl(morph.Get()), kOk);
  ASSERT_EQ(edge->UpdateBound(), kOk);
  ASSERT_EQ(edge->Update(1000), kOk);
  EXPECT_EQ(edge->GetAnimCurves()[0].ControlPoint, CVector2(0, 0));
  EXPECT_EQ(edge->AnimStartPoint, CVector2(5, 1));
  EXPECT_TRUE(edge->IsBoundDirty());
  EXPECT_TRUE(edge->IsAnimReset());
}

// More offsets than the edge has segments: only the segments are moved.
TEST_F(MorphControlsTest, OffsetsBeyondTheTargetAreNotApplied) {
  CPointer<CEdge> edge(new CEdge());
  const Curve one{{0, 0}, {1, 1}};
  ASSERT_EQ(edge->SetCurves(&one, 1), kOk);
  CPointer<CEdgeMorphControl> morph = MakeMorph(3);
  ASSERT_EQ(edge->AddControl(morph.Get()), kOk);
  ASSERT_EQ(edge->Update(1000), kOk);
  ASSERT_EQ(edge->GetAnimCurves().GetCount(), 1u);
  EXPECT_EQ(edge->GetAnimCurves()[0].AnchorPoint, CVector2(5, 9));
}

TEST_F(MorphControlsTest, MorphOnAnotherClassWritesNothing) {
  CPointer<CEdgeMorphControl> morph = MakeMorph();
  EXPECT_EQ(morph->Update(500), kErrInvalidArg) << "no object";
  CPointer<CGradientFillStyle> gradient(new CGradientFillStyle());
  ASSERT_EQ(gradient->AddControl(morph.Get()), kOk);
  ASSERT_EQ(morph->Update(500), kOk);
  EXPECT_EQ(morph->Apply(), kErrNotFound);
}

TEST_F(MorphControlsTest, GradientMorphAndItsColourAdjustment) {
  CPointer<CGradientFillStyle> gradient(new CGradientFillStyle());
  const Rec recs[] = {{0.0f, CColor(0.2f, 0.2f, 0.2f, 1)}, {1.0f, CColor(1, 1, 1, 1)}};
  ASSERT_EQ(gradient->SetGradientRecords(recs, 2), kOk);
  CPointer<CGradientMorphControl> morph(new CGradientMorphControl());
  const Rec deltas[] = {{0.5f, CColor(0.4f, 0.2f, 0.0f, -0.5f)}};
  ASSERT_EQ(morph->SetDeltas(deltas, 1), kOk);
  ASSERT_EQ(morph->SetWeightKey(0, 0.5f, 0.0f, TT_LINEAR), kOk);
  ASSERT_EQ(gradient->AddControl(morph.Get()), kOk);
  ASSERT_EQ(gradient->Update(0), kOk);
  const auto& anim = gradient->GetAnimGradientRecs();
  EXPECT_FLOAT_EQ(anim[0].Ratio, 0.25f);
  EXPECT_FLOAT_EQ(anim[0].Color.r, 0.4f);
  EXPECT_FLOAT_EQ(anim[0].Color.g, 0.3f);
  EXPECT_FLOAT_EQ(anim[0].Color.a, 0.75f);
  EXPECT_EQ(anim[1].Color, CColor(1, 1, 1, 1)) << "records beyond DeltaCount keep their values";
  EXPECT_TRUE(gradient->IsAnimReset());

  // Invert: the target colour a + d is inverted, the offset becomes
  // inverted(a + d) - a in red, green and blue.
  ASSERT_EQ(gradient->RefreshAnimated(), kOk);
  ASSERT_EQ(morph->AdjustColor(0, 0, 0, 0, true), kOk);
  const Rec& d = morph->GetDeltas()[0];
  EXPECT_NEAR(d.Color.r, (1.0f - 0.6f) - 0.2f, 1e-6);
  EXPECT_NEAR(d.Color.g, (1.0f - 0.4f) - 0.2f, 1e-6);
  EXPECT_NEAR(d.Color.b, (1.0f - 0.2f) - 0.2f, 1e-6);
  EXPECT_EQ(d.Color.a, -0.5f) << "alpha and Ratio offsets stay";
  EXPECT_EQ(d.Ratio, 0.5f);

  CGradientMorphControl unbound;
  EXPECT_EQ(unbound.AdjustColor(0, 0, 0, 0, true), kErrInvalidArg);
}

// --- records -------------------------------------------------------------------------------

// An edge morph record of `version`: one offset, start offset (3, 4), keys
// at 0 and 99.7 (f32 below 1.01, else 0 and 99).
ByteWriter EdgeMorphBody(u64 id, u32 version) {
  ByteWriter w;
  test::ControllerHead(w, id).Pair(version / 100, version % 100);
  w.U32(1).F32(1).F32(2).F32(3).F32(4).F32(3).F32(4);
  if (version >= 101) {
    test::Counted(w, std::vector<i32>{0, 99});
  } else {
    test::Counted(w, std::vector<f32>{0.0f, 99.7f});
  }
  test::Counted(w, std::vector<f32>{0.0f, 1.0f});
  test::Counted(w, std::vector<f32>{0.0f, 0.0f});
  return test::Counted(w, std::vector<u32>{TT_LINEAR, TT_LINEAR});
}

TEST_F(MorphControlsTest, EdgeMorphStoredForms) {
  for (const u32 version : {100u, 101u}) {
    SCOPED_TRACE(version);
    test::SceneFile file;
    file.Record("CEdgeMorphControl", EdgeMorphBody(1, version), true);
    const Bytes bytes = file.Data();
    CStream stream;
    CMemoryIo device;
    CBase* root = nullptr;
    ASSERT_EQ(test::LoadImage(bytes, stream, device, root), kOk);
    auto* morph = DynamicCast<CEdgeMorphControl>(root);
    ASSERT_NE(morph, nullptr);
    EXPECT_EQ(morph->GetDeltaCount(), 1u);
    EXPECT_EQ(morph->GetDeltas()[0].AnchorPoint, CVector2(3, 4));
    EXPECT_EQ(morph->GetStartOffset(), CVector2(3, 4));
    ASSERT_EQ(morph->GetTrack().Size(), 2u);
    EXPECT_EQ(morph->GetTrack().Times()[1], 99) << "99.7 truncates to 99";
    test::ExpectPrefixesFailBetweenRecords(bytes, test::kFirstRecordOffset);
    test::ExpectRoundTrip({morph});
  }
}

TEST_F(MorphControlsTest, GradientMorphStoredForms) {
  for (const u32 version : {100u, 101u}) {
    SCOPED_TRACE(version);
    ByteWriter w;
    test::ControllerHead(w, 1).Pair(version / 100, version % 100);
    w.U32(1).F32(0.5f).F32(1).F32(0).F32(0).F32(0);
    if (version >= 101) {
      test::Counted(w, std::vector<i32>{99});
    } else {
      test::Counted(w, std::vector<f32>{99.7f});
    }
    test::Counted(w, std::vector<f32>{1.0f});
    test::Counted(w, std::vector<f32>{0.0f});
    test::Counted(w, std::vector<u32>{TT_LINEAR});
    test::SceneFile file;
    file.Record("CGradientMorphControl", w, true);
    const Bytes bytes = file.Data();
    CStream stream;
    CMemoryIo device;
    CBase* root = nullptr;
    ASSERT_EQ(test::LoadImage(bytes, stream, device, root), kOk);
    auto* morph = DynamicCast<CGradientMorphControl>(root);
    ASSERT_NE(morph, nullptr);
    ASSERT_EQ(morph->GetDeltaCount(), 1u);
    EXPECT_EQ(morph->GetDeltas()[0].Ratio, 0.5f);
    EXPECT_EQ(morph->GetDeltas()[0].Color, CColor(1, 0, 0, 0));
    EXPECT_EQ(morph->GetTrack().Times()[0], 99);
    test::ExpectPrefixesFailBetweenRecords(bytes, test::kFirstRecordOffset);
    test::ExpectRoundTrip({morph});
  }
}

TEST_F(MorphControlsTest, GradientMorphRecordAndSizes) {
  CPointer<CGradientFillStyle> gradient(new CGradientFillStyle());
  const Rec recs[] = {{0.0f, CColor(1, 0, 0, 1)}};
  ASSERT_EQ(gradient->SetGradientRecords(recs, 1), kOk);
  CPointer<CGradientMorphControl> morph(new CGradientMorphControl());
  ASSERT_EQ(morph->SetDeltas(recs, 1), kOk);
  ASSERT_EQ(morph->SetWeightKey(0, 0.0f, 5.0f, TT_EASE_IN), kOk);
  ASSERT_EQ(gradient->AddControl(morph.Get()), kOk);
  EXPECT_EQ(morph->GetSaveSize(), morph->CDataControl::GetSaveSize() + 28 + 20 * 1 + 4 * 4);
  CPointer<CEdgeMorphControl> edgeMorph = MakeMorph();
  EXPECT_EQ(edgeMorph->GetSaveSize(), edgeMorph->CDataControl::GetSaveSize() + 36 + 16 * 2 + 4 * 8);
  const Bytes file = test::ExpectRoundTrip({gradient.Get(), edgeMorph.Get()});
  test::ExpectPrefixesFailBetweenRecords(file, test::kFirstRecordOffset);

  test::NameRecorder names;
  edgeMorph->DescribeMembers(names);
  EXPECT_EQ(names.Group(u"CEdgeMorphControl Member"),
            (std::vector<std::u16string>{u"LastIndex", u"StartOffset", u"Keys", u"Time", u"Weight",
                                         u"TransitionTime", u"0", u"Time", u"Weight", u"TransitionTime", u"1"}));
}

TEST_F(MorphControlsTest, TrackVectorsOfDifferentLengthsAreRefused) {
  ByteWriter w;
  test::ControllerHead(w, 1).Pair(1, 1).U32(0);
  test::Counted(w, std::vector<i32>{0, 10});
  test::Counted(w, std::vector<f32>{0.0f, 1.0f});
  test::Counted(w, std::vector<f32>{0.0f});
  test::Counted(w, std::vector<u32>{0, 0});
  test::SceneFile file;
  file.Record("CGradientMorphControl", w, true);
  CStream stream;
  CMemoryIo device;
  CBase* root = nullptr;
  EXPECT_EQ(test::LoadImage(file.Data(), stream, device, root), kErrNotFound);
}

TEST_F(MorphControlsTest, CopiesKeepTheirOwnCache) {
  CPointer<CEdgeMorphControl> source = MakeMorph();
  CPointer<CEdge> edge = MakeEdge();
  ASSERT_EQ(edge->AddControl(source.Get()), kOk);
  ASSERT_EQ(edge->Update(1500), kOk);
  CPointer<CBase> copy;
  ASSERT_EQ(source->CreateInstance(copy), kOk);
  auto* c = static_cast<CEdgeMorphControl*>(copy.Get());
  EXPECT_EQ(c->GetDeltaCount(), 2u);
  EXPECT_NE(c->GetDeltas().GetData(), source->GetDeltas().GetData()) << "a deep copy";
  EXPECT_EQ(c->GetLastIndex(), source->GetLastIndex());
  EXPECT_EQ(c->GetCurrentWeight(), 0.0f);
  CEdgeMorphControl target;
  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(&target, displaced, 0), kOk);
  EXPECT_EQ(target.GetLastIndex(), 0u);
  EXPECT_EQ(target.GetStartOffset(), CVector2(4, 0));
  EXPECT_EQ(target.GetTrack().Size(), 2u);
  CGradientMorphControl other;
  EXPECT_EQ(source->CopyTo(&other, displaced, 0), kErrNotFound);
}

}  // namespace
}  // namespace KT
