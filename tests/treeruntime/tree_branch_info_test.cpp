#include "treeruntime/tree_branch_info.h"

#include <gtest/gtest.h>

#include <string>

#include "treeruntime/spt_builder.h"
#include "treeruntime/tree_test_util.h"

namespace trt {
namespace {

using test::Image;
using test::ReaderOf;
using test::TreeErrorText;

TEST(TreeBranchInfo, Defaults) {
  const STreeBranchInfo b;
  EXPECT_EQ(b.m_nCrossSections, 6);
  EXPECT_EQ(b.m_nSegments, 3);
  EXPECT_EQ(b.m_fFirstChild, 0.3f);
  EXPECT_EQ(b.m_fLastChild, 1.0f);
  EXPECT_EQ(b.m_fFrequency, 0.3f);
  EXPECT_EQ(b.m_fSegmentExponent, 1.0f);
  EXPECT_EQ(b.m_nNumFlares, 0);
  const float flare[] = {1.0f, 30.0f, 10.0f, 1.0f, 0.5f, 0.25f, 0.3f, 0.1f, 1.0f};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(b.m_afFlareValues[i], flare[i]) << i;
  EXPECT_EQ(b.m_afLightSeam[0], 1.0f);
  EXPECT_EQ(b.m_afLightSeam[1], 1.0f);
  EXPECT_EQ(b.m_fRoughness, 0.0f);
  EXPECT_EQ(b.m_fRoughnessFreqAlong, 30.0f);
  EXPECT_EQ(b.m_fRoughnessFreqAround, 5.0f);
  EXPECT_EQ(b.m_fRandomRoughness, 0.0f);
  EXPECT_EQ(b.m_fSegmentReduction, 1.0f);
  EXPECT_EQ(b.m_fCrossSectionReduction, 1.0f);
  EXPECT_EQ(b.m_fParentFilter, 0.0f);
  EXPECT_EQ(b.m_nParentFilterLevel, 0);
  EXPECT_FALSE(b.m_bSnapToKinks);
  EXPECT_EQ(b.m_fSnapChance, 1.0f);
  EXPECT_EQ(b.m_fKinkAngle, 0.0f);
  EXPECT_EQ(b.m_nMaxChildrenPerVertex, 1);
  EXPECT_EQ(b.m_fTwist, 0.0f);
  EXPECT_FALSE(b.m_bTwistFixed);
  EXPECT_TRUE(b.m_sDisturbance.Positions().empty());
  EXPECT_EQ(b.m_sTwistProfile.m_fMax, 1.0f);

  const STreeTextureLayer& layer = b.m_acTextureLayers[6];
  EXPECT_EQ(layer.m_fUScale, 1.0f);
  EXPECT_EQ(layer.m_fVScale, 1.0f);
  EXPECT_TRUE(layer.m_bAbsoluteU);
  EXPECT_FALSE(layer.m_bAbsoluteV);
  EXPECT_FALSE(layer.m_bFlag3);
  EXPECT_EQ(layer.m_fValue3, 0.0f);
  EXPECT_EQ(layer.m_fValue4, 0.0f);
  EXPECT_EQ(layer.m_fValue5, 0.0f);
  EXPECT_FALSE(layer.m_bFlag4);
  EXPECT_FALSE(layer.m_bFlag5);
  EXPECT_EQ(layer.m_afRect[0], 0.0f);
  EXPECT_EQ(layer.m_afRect[1], 1.0f);
  EXPECT_EQ(layer.m_afRect[2], 0.0f);
  EXPECT_EQ(layer.m_afRect[3], 1.0f);
  EXPECT_TRUE(layer.m_bFlag6);

  const STreeRootSupport root;
  EXPECT_EQ(root.m_nValue40002, 1);
  EXPECT_EQ(root.m_fValue40003, 0.0f);
  EXPECT_EQ(root.m_fValue40004, 0.15f);
  EXPECT_EQ(root.m_fValue40005, 0.2f);
}

TEST(TreeBranchInfo, FreshRecordWritesItsDefaults) {
  CTreeFileAccess out;
  STreeBranchInfo().Save(out);
  // The test-side builder's level record with every default.
  EXPECT_EQ(test::BytesOf(out), Image().Level(test::SptLevel{}).Data());
}

TEST(TreeBranchInfo, RecordRoundTrip) {
  STreeBranchInfo b;
  b.m_nCrossSections = 9;
  b.m_nSegments = 12;
  b.m_fFirstChild = 0.1f;
  b.m_fLastChild = 0.9f;
  b.m_fFrequency = 2.5f;
  b.m_acTextureLayers[0].m_fUScale = 4.0f;
  b.m_acTextureLayers[0].m_fVScale = 0.5f;
  b.m_acTextureLayers[0].m_bAbsoluteU = false;
  b.m_acTextureLayers[0].m_bAbsoluteV = true;
  b.m_sLength.Parse("BezierSpline 1 3 0.5 { 2 0 0 1 1 0.1 1 1 1 1 0.1 }");
  b.m_sGravityProfile.Parse(STreeBranchInfo::kDefaultCurveText);

  CTreeFileAccess out;
  b.Save(out);
  CTreeFileAccess in = ReaderOf(out);
  STreeBranchInfo* copy = STreeBranchInfo::Parse(in);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->m_nCrossSections, 9);
  EXPECT_EQ(copy->m_nSegments, 12);
  EXPECT_EQ(copy->m_fFrequency, 2.5f);
  EXPECT_EQ(copy->m_acTextureLayers[0], b.m_acTextureLayers[0]);
  EXPECT_EQ(copy->m_sLength.m_fVariance, 0.5f);
  EXPECT_EQ(copy->m_sGravityProfile.Evaluate(0.5f), 1.0f);
  CTreeFileAccess again;
  copy->Save(again);
  EXPECT_EQ(test::BytesOf(again), test::BytesOf(out));
  TrackedDelete(copy);
}

TEST(TreeBranchInfo, FailedParseLeaksNothing) {
  CTreeFileAccess in = Image().Token(1016).Token(6008).Token(4).Token(99).Reader();
  const std::uint32_t before = GetTrackedBytes();
  EXPECT_EQ(TreeErrorText([&] { STreeBranchInfo::Parse(in); }), "malformed general branch information []");
  EXPECT_EQ(GetTrackedBytes(), before);
}

TEST(TreeBranchInfo, RecordErrors) {
  struct Case {
    const char* name;
    test::Bytes data;
    const char* text;
  };
  const Case cases[] = {
      {"no 1016", Image().Token(1017).Data(), "malformed branch data []"},
      {"empty record", Image().Token(1016).Token(1017).Data(), "malformed general branch information []"},
      {"unknown token", Image().Token(1016).Token(6018).Float(1).Token(1017).Data(),
       "malformed general branch information []"},
      {"no end", Image().Token(1016).Token(6008).Token(4).Data(),
       "premature end of file reached parsing general branch information []"},
  };
  for (const Case& c : cases) {
    CTreeFileAccess in = test::ReaderOf(c.data);
    STreeBranchInfo b;
    EXPECT_EQ(TreeErrorText([&] { b.ParseInto(in); }), c.text) << c.name;
  }
}

TEST(TreeBranchInfo, SupplementalFieldsWriteInTheirOrder) {
  STreeBranchInfo b;
  CTreeFileAccess out;
  b.SaveSupplemental(out);
  CTreeFileAccess in = ReaderOf(out);
  std::vector<std::int32_t> tokens;
  for (;;) {
    const std::int32_t token = in.ParseToken();
    tokens.push_back(token);
    if (token == 40008) break;
    if (token == 40007) continue;
    if (token == 15002 || token == 26009 || token == 26023) {
      in.ParseByte();
    } else if (token == 26013 || token == 26014 || (token >= 26018 && token <= 26020) || token == 26022) {
      in.ParseString();
    } else {
      in.ParseToken();
    }
  }
  const std::vector<std::int32_t> expected = {
      40007, 15003, 15002, 16002, 16003, 16004, 16005, 16006, 16007, 16008, 16009, 16010, 16011, 16012,
      26004, 26015, 26016, 26017, 26005, 26006, 26007, 26008, 26009, 26010, 26011, 26012, 26013, 26014,
      26018, 26019, 26020, 26022, 26021, 26023, 40008};
  EXPECT_EQ(tokens, expected);
  EXPECT_FALSE(in.DataRemains());
}

TEST(TreeBranchInfo, SupplementalRoundTrip) {
  STreeBranchInfo b;
  b.m_acTextureLayers[0].m_bFlag3 = true;
  b.m_acTextureLayers[0].m_fValue3 = 0.75f;
  b.m_fSegmentExponent = 2.0f;
  b.m_nNumFlares = 3;
  b.m_afFlareValues[8] = 7.0f;
  b.m_fRoughness = 0.4f;
  b.m_nParentFilterLevel = 2;
  b.m_bSnapToKinks = true;
  b.m_nMaxChildrenPerVertex = 4;
  b.m_fTwist = 33.0f;
  b.m_bTwistFixed = true;
  b.m_sChildDensity.Parse("BezierSpline 0 5 0 { 2 0 0 1 1 0.1 1 1 1 1 0.1 }");

  CTreeFileAccess out;
  b.SaveSupplemental(out);
  CTreeFileAccess in = ReaderOf(out);
  ASSERT_EQ(in.ParseToken(), 40007);
  STreeBranchInfo copy;
  copy.ParseSupplemental(in);
  EXPECT_FALSE(in.DataRemains());
  CTreeFileAccess again;
  copy.SaveSupplemental(again);
  EXPECT_EQ(test::BytesOf(again), test::BytesOf(out));
  EXPECT_TRUE(copy.m_acTextureLayers[0].m_bFlag3);
  EXPECT_EQ(copy.m_afFlareValues[8], 7.0f);
  EXPECT_EQ(copy.m_sChildDensity.Evaluate(1.0f), 5.0f);
}

TEST(TreeBranchInfo, SupplementalReadsLightSeamsAndPassesOverALeadingEnd) {
  CTreeFileAccess in =
      Image().Token(40008).Token(23002).Float(0.5f).Token(23003).Float(0.25f).Token(40008).Reader();
  STreeBranchInfo b;
  b.ParseSupplemental(in);
  EXPECT_EQ(b.m_afLightSeam[0], 0.5f);
  EXPECT_EQ(b.m_afLightSeam[1], 0.25f);
  EXPECT_FALSE(in.DataRemains());

  CTreeFileAccess bad = Image().Token(26003).Token(40008).Reader();
  EXPECT_EQ(TreeErrorText([&] { STreeBranchInfo().ParseSupplemental(bad); }),
            "malformed supplemental branch information []");
}

TEST(TreeBranchInfo, DefaultCurvesFillOnlyEmptySupplementalCurves) {
  STreeBranchInfo b;
  b.m_sNormalBlend.Parse("BezierSpline 0 3 0 { 2 0 0 1 0 0.1 1 0 1 0 0.1 }");
  b.ApplyDefaultCurves();
  const std::string defaultText = stBezierSpline(STreeBranchInfo::kDefaultCurveText).ToText();
  for (const stBezierSpline* curve : {&b.m_sCrossSectionProfile, &b.m_sRoughnessProfile, &b.m_sChildDensity,
                                      &b.m_sNormalBlendBase, &b.m_sTwistProfile}) {
    EXPECT_EQ(curve->ToText(), defaultText);
    EXPECT_EQ(curve->Evaluate(0.3f), 1.0f);
  }
  EXPECT_EQ(b.m_sNormalBlend.m_fMax, 3.0f);
  EXPECT_EQ(b.m_sNormalBlend.Evaluate(0.5f), 0.0f);
  EXPECT_TRUE(b.m_sLength.Positions().empty());  // core curves are not touched
}

TEST(TreeBranchInfo, DefaultTextureControlsCopyLayerZero) {
  STreeBranchInfo b;
  b.m_acTextureLayers[0].m_fUScale = 8.0f;
  b.m_acTextureLayers[0].m_afRect[3] = 0.5f;
  b.m_acTextureLayers[3].m_bFlag6 = false;
  b.m_acTextureLayers[3].m_fVScale = 2.0f;
  b.ApplyDefaultTextureControls();
  for (int layer : {1, 2, 4, 5, 6}) EXPECT_EQ(b.m_acTextureLayers[layer], b.m_acTextureLayers[0]) << layer;
  EXPECT_EQ(b.m_acTextureLayers[3].m_fUScale, 1.0f);
  EXPECT_EQ(b.m_acTextureLayers[3].m_fVScale, 2.0f);
}

TEST(TreeTextureLayer, RoundTripAndErrors) {
  STreeTextureLayer layer;
  layer.m_fUScale = 2.0f;
  layer.m_bAbsoluteU = false;
  layer.m_bFlag3 = true;
  layer.m_fValue3 = 0.1f;
  layer.m_fValue4 = 0.2f;
  layer.m_fValue5 = 0.3f;
  layer.m_bFlag4 = true;
  layer.m_afRect[2] = 0.25f;
  layer.m_bFlag6 = false;
  CTreeFileAccess out;
  layer.Save(out);
  CTreeFileAccess in = ReaderOf(out);
  STreeTextureLayer copy;
  copy.Parse(in);
  EXPECT_EQ(copy, layer);
  EXPECT_FALSE(in.DataRemains());

  CTreeFileAccess noStart = Image().Token(50004).Float(1).Token(50003).Reader();
  EXPECT_EQ(TreeErrorText([&] { STreeTextureLayer().Parse(noStart); }), "malformed tex coord controls []");
  CTreeFileAccess unknown = Image().Token(50002).Token(50019).Token(50003).Reader();
  EXPECT_EQ(TreeErrorText([&] { STreeTextureLayer().Parse(unknown); }), "malformed tex coord controls []");
}

TEST(TreeRootSupport, RoundTripAndErrors) {
  STreeRootSupport root;
  root.m_nValue40002 = 5;
  root.m_fValue40005 = 0.9f;
  root.m_sBranch.m_nSegments = 7;
  root.m_sBranch.m_fTwist = 12.0f;
  CTreeFileAccess out;
  root.Save(out);
  CTreeFileAccess in = ReaderOf(out);
  ASSERT_EQ(in.ParseToken(), 40000);
  STreeRootSupport copy;
  copy.Parse(in);
  EXPECT_FALSE(in.DataRemains());
  EXPECT_EQ(copy.m_nValue40002, 5);
  EXPECT_EQ(copy.m_fValue40005, 0.9f);
  EXPECT_EQ(copy.m_sBranch.m_nSegments, 7);
  EXPECT_EQ(copy.m_sBranch.m_fTwist, 12.0f);

  CTreeFileAccess bad = Image().Token(40009).Token(40001).Reader();
  EXPECT_EQ(TreeErrorText([&] { STreeRootSupport().Parse(bad); }), "malformed root support info []");
}

}  // namespace
}  // namespace trt
