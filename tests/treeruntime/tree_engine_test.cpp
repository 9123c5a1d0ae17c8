#include "treeruntime/tree_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "treeruntime/spt_builder.h"
#include "treeruntime/tree_random.h"
#include "treeruntime/tree_test_util.h"

namespace trt {
namespace {

using test::Bytes;
using test::BuildSpt;
using test::CurveText;
using test::InstalledAllocator;
using test::PeakAllocator;
using test::ReaderOf;
using test::SptBillboardLeaf;
using test::SptLeafMap;
using test::SptLevel;
using test::SptTree;
using test::SptVec;
using test::SptWriter;
using test::SmallestLevelRecords;
using test::TreeErrorText;

SptTree SampleTree() {
  SptTree t;
  t.branchTexture = "bark.png";
  t.value2001 = 900.5f;
  t.value2003 = 42.0f;
  t.seed = 31337;
  t.size = 12.5f;
  t.sizeVariance = 2.25f;

  SptLevel trunk;
  trunk.curves[0] = CurveText("0 2 0.1", {"0 0 1 0 0.1", "1 1 1 0 0.1"});
  trunk.curves[5] = CurveText("0.5 3 0", {"0 1 0 1 0.25", "0.5 0.5 1 0 0.2", "1 0 1 0 0.1"});
  trunk.curves[8] = CurveText("-1 1 0", {"0 0.25 1 0 0.3", "1 0.75 0 -1 0.3"});
  trunk.crossSections = 9;
  trunk.segments = 5;
  trunk.firstChild = 0.2f;
  trunk.lastChild = 0.9f;
  trunk.frequency = 7.0f;
  trunk.uScale = 2.0f;
  trunk.vScale = 3.0f;
  trunk.absoluteU = false;
  trunk.absoluteV = true;
  SptLevel twig;
  twig.curves[7] = CurveText("-45 45 5", {"0 0.5 1 0 0.1", "1 0.5 1 0 0.1"});
  twig.frequency = 12.0f;
  t.levels = {trunk, twig};

  t.leaf3000 = 0.5f;
  t.leaf3001 = 3;
  t.leaf3002 = 0.25f;
  t.dimensionFactor = 0.75f;
  t.leaf3008 = 5;
  t.leaf3009 = false;
  t.leaf3010 = 2.5f;
  SptLeafMap maple;
  maple.flag = true;
  maple.color = {0.1f, 0.2f, 0.3f};
  maple.value = 0.6f;
  maple.fileName = "maple.png";
  maple.origin = {0.25f, 0.75f, 0.0f};
  maple.relativeSize = {0.2f, 0.1f, 0.0f};
  maple.absoluteSize = {4.0f, 2.0f, 0.0f};
  SptLeafMap flat;
  flat.fileName = "flat.tga";
  flat.relativeSize = {0.0f, 0.3f, 0.0f};  // no width: the ratio is written as 1.0
  t.leafMaps = {maple, SptLeafMap{}, flat};

  t.windB = {1.0f, 2.0f, 3.0f};
  t.windA = {0.25f, 0.75f, 0.5f};
  t.windValue = 0.6f;

  SptBillboardLeaf a;
  a.color = 0x80402010u;
  a.byteA = 3;
  a.dimming = 200;
  a.corner = {1.0f, -1.0f, 0.5f};
  a.leafMapByte = 5;
  a.fraction = 127;
  a.value = -7;
  a.position = {10.0f, 20.0f, 30.0f};
  SptBillboardLeaf b;
  b.fraction = 255;
  b.leafMapByte = 255;
  t.hasLeafLods = true;
  t.leafLodCount = 3;
  t.leafLods = {{a, b}, {}, {b}};
  return t;
}

Bytes SaveOf(const CTreeEngine& engine, bool withLeafLods) {
  CTreeFileAccess out;
  engine.Save(out, withLeafLods);
  return test::BytesOf(out);
}

class TreeEngineTest : public ::testing::Test {
 protected:
  void SetUp() override { CTreeRandom::Seed(1); }
};

TEST_F(TreeEngineTest, Defaults) {
  const CTreeEngine e(nullptr);
  EXPECT_EQ(e.m_afPosition[0], 0.0f);
  EXPECT_EQ(e.m_afPosition[2], 0.0f);
  EXPECT_EQ(e.m_fOverrideSize, -1.0f);
  EXPECT_EQ(e.m_fOverrideVariance, 0.0f);
  EXPECT_TRUE(e.HasTransientData());
  EXPECT_EQ(e.m_strBranchTexture, "");
  EXPECT_EQ(e.m_fValue2001, 1100.0f);
  EXPECT_EQ(e.m_fValue2003, 100.0f);
  EXPECT_EQ(e.m_nSeed, 1200);
  EXPECT_EQ(e.m_fSize, 50.0f);
  EXPECT_EQ(e.m_fSizeVariance, 0.0f);
  EXPECT_EQ(e.m_nPlacementSeed, 444);
  EXPECT_TRUE(e.m_vBranchLevels.empty());
  EXPECT_EQ(e.m_nNumBranchLods, 6);
  EXPECT_EQ(e.GetNumLeafLods(), 4);
  EXPECT_EQ(e.m_pLeafLods, nullptr);
  EXPECT_FALSE(e.m_bLeafLodsLoaded);
  EXPECT_EQ(e.m_fSmallestBranchLod, 0.5f);
  EXPECT_EQ(e.m_fLargestBranchLod, 1.0f);
  EXPECT_EQ(e.m_fLeafLodKeepThreshold, 0.3f);
  EXPECT_EQ(e.m_fBranchWeightBlend, 0.0f);
  EXPECT_EQ(e.m_fBranchWeightThreshold, 0.05f);
  EXPECT_EQ(e.m_nWindLevel, 1);
  EXPECT_EQ(e.m_cWindInfo.m_vVectorA, stVec3(0.5f, 0.5f, 0.0f));
  EXPECT_EQ(e.m_cWindInfo.m_vVectorB, stVec3(-22.5f, 22.5f, 1.0f));
  EXPECT_EQ(e.m_cWindInfo.m_fValue, 0.25f);
  EXPECT_FALSE(e.m_bFlag22000);
  EXPECT_FALSE(e.m_bFloorEnabled);
  EXPECT_EQ(e.m_fFloorHeight, 0.0f);
  EXPECT_EQ(e.m_nFloorLevel, 1);
  EXPECT_EQ(e.m_fFloorExponent, 1.0f);
  EXPECT_EQ(e.m_fFloorScale, 1.0f);
  EXPECT_EQ(e.m_nClusterLevel, 0);
  ASSERT_NE(e.m_pRootSupport, nullptr);
  EXPECT_EQ(e.m_pRootSupport->m_nValue40002, 1);
  EXPECT_EQ(e.m_pRootSupport->m_fValue40004, 0.15f);
  EXPECT_TRUE(e.m_vMeshes.empty());
  EXPECT_EQ(e.m_fGlobalValue, 0.0f);
}

TEST_F(TreeEngineTest, ADefaultEngineSavesTheDefaultDescription) {
  const CTreeEngine e(nullptr);
  EXPECT_EQ(SaveOf(e, true), BuildSpt(SptTree{}));
}

TEST_F(TreeEngineTest, ParsesWhatTheBuilderWritesAndSavesTheSameBytes) {
  const SptTree tree = SampleTree();
  const Bytes block = BuildSpt(tree);
  CTreeFileAccess in = ReaderOf(block);
  CTreeEngine e(nullptr);
  ASSERT_TRUE(e.Parse(in));
  EXPECT_FALSE(in.DataRemains());

  EXPECT_EQ(e.m_strBranchTexture, "bark.png");
  EXPECT_EQ(e.m_fValue2001, 900.5f);
  EXPECT_EQ(e.m_fValue2003, 42.0f);
  EXPECT_EQ(e.m_nSeed, 31337);
  EXPECT_EQ(e.m_fSize, 12.5f);
  EXPECT_EQ(e.m_fSizeVariance, 2.25f);
  ASSERT_EQ(e.m_vBranchLevels.size(), 2u);
  const STreeBranchInfo& trunk = *e.m_vBranchLevels[0];
  EXPECT_EQ(trunk.m_nCrossSections, 9);
  EXPECT_EQ(trunk.m_nSegments, 5);
  EXPECT_EQ(trunk.m_fFrequency, 7.0f);
  EXPECT_EQ(trunk.m_acTextureLayers[0].m_fVScale, 3.0f);
  EXPECT_FALSE(trunk.m_acTextureLayers[0].m_bAbsoluteU);
  EXPECT_TRUE(trunk.m_acTextureLayers[0].m_bAbsoluteV);
  EXPECT_EQ(trunk.m_sRadius.Positions().size(), 3u);
  EXPECT_EQ(trunk.m_sRadius.m_fMax, 3.0f);
  EXPECT_EQ(trunk.m_sGravityProfile.m_fMin, -1.0f);
  EXPECT_EQ(e.m_vBranchLevels[1]->m_sStartAngle.m_fVariance, 5.0f);

  EXPECT_EQ(e.m_cLeafInfo.m_nValue3001, 3);
  EXPECT_EQ(e.m_cLeafInfo.m_nNormalSmoothingInt, 3);
  EXPECT_EQ(e.m_cLeafInfo.m_fDimensionFactor, 0.75f);
  EXPECT_FALSE(e.m_cLeafInfo.m_bFlag3009);
  ASSERT_EQ(e.m_cLeafInfo.m_vLeafMaps.size(), 3u);
  EXPECT_EQ(e.m_cLeafInfo.m_vLeafMaps[0].m_strFileName, "maple.png");
  EXPECT_EQ(e.m_cLeafInfo.m_vLeafMaps[0].m_vRelativeSize, stVec3(0.2f, 0.1f, 0.0f));
  EXPECT_EQ(e.m_cLeafInfo.m_vLeafMaps[1].m_vColor, stVec3(0.8f, 0.8f, 0.8f));

  EXPECT_EQ(e.m_cWindInfo.m_vVectorA, stVec3(0.25f, 0.75f, 0.5f));
  EXPECT_EQ(e.m_cWindInfo.m_vVectorB, stVec3(1.0f, 2.0f, 3.0f));
  EXPECT_EQ(e.m_cWindInfo.m_fValue, 0.6f);

  EXPECT_TRUE(e.m_bLeafLodsLoaded);
  EXPECT_EQ(e.GetNumLeafLods(), 3);
  ASSERT_EQ(TrackedArrayCount(e.m_pLeafLods), 3u);
  ASSERT_EQ(e.m_pLeafLods[0].size(), 2u);
  EXPECT_TRUE(e.m_pLeafLods[1].empty());
  EXPECT_EQ(e.m_pLeafLods[2].size(), 1u);
  const SBillboardLeaf& leaf = e.m_pLeafLods[0][0];
  EXPECT_EQ(leaf.m_auCornerColors[0], 0x80402010u);
  EXPECT_EQ(leaf.m_ucDimming, 200);
  EXPECT_EQ(leaf.m_ucLeafMapByte, 5);
  EXPECT_EQ(leaf.m_fFraction, static_cast<float>(127 / 255.0));
  EXPECT_EQ(leaf.m_nInt, -7);
  EXPECT_EQ(leaf.m_vPosition, stVec3(10.0f, 20.0f, 30.0f));

  EXPECT_EQ(SaveOf(e, true), block);
  // Without the flag the leaf LODs stay out.
  SptTree core = tree;
  core.hasLeafLods = false;
  EXPECT_EQ(SaveOf(e, false), BuildSpt(core));
}

TEST_F(TreeEngineTest, SaveParseSaveIsAFixedPoint) {
  CTreeEngine e(nullptr);
  e.m_strBranchTexture = "oak.dds";
  e.m_nSeed = -5;
  e.m_fSize = 3.0f;
  e.m_vBranchLevels.push_back(TrackedNew<STreeBranchInfo>("test"));
  e.EditBranchLevel(0).m_sLength.Parse("BezierSpline 1 4 0.5 { 2 0 0 0.6 0.8 0.3 1 1 0.6 0.8 0.3 }");
  e.m_cLeafInfo.m_vLeafMaps.resize(2);
  e.m_cLeafInfo.m_vLeafMaps[0].m_vRelativeSize = {0.3f, 0.7f, 0.0f};
  e.m_pLeafLods = TrackedNewArray<TreeVector<SBillboardLeaf>>(2, "test");
  e.m_cLeafInfo.m_nNumLeafLods = 2;
  e.m_pLeafLods[1].push_back(SBillboardLeaf({1, 2, 3}, 9, 8, 0.3f, 0.0f, 4, 0));

  const Bytes first = SaveOf(e, true);
  CTreeFileAccess in = ReaderOf(first);
  CTreeEngine again(nullptr);
  again.Parse(in);
  EXPECT_EQ(SaveOf(again, true), first);
}

TEST_F(TreeEngineTest, SaveNormalisesWhatTheFormatOnlyCarries) {
  SptTree tree = SampleTree();
  tree.leafMaps[0].fileName = "C:\\textures/leaves\\maple.png";
  tree.leafMaps[1].overrideRatio = true;
  tree.leafMaps[1].ratio = 123.0f;
  tree.dropped.byte2002 = 9;
  tree.dropped.int2004 = 77;
  tree.dropped.byte3003 = 1;
  tree.dropped.float3004 = 5.0f;
  tree.dropped.float3005 = 7.0f;
  tree.dropped.byte3006 = 2;
  tree.dropped.token1006 = 4;
  tree.dropped.token1007 = 5;
  tree.dropped.token1010 = 6;
  tree.dropped.wind5000 = {1.0f, 1.0f, 1.0f};
  tree.dropped.wind5001 = {2.0f, 2.0f, 2.0f};
  tree.dropped.wind5003 = {3.0f, 3.0f, 3.0f};
  tree.dropped.byte5006 = 1;
  tree.leafLods[0][0].colorHigh = 0xdeadbeefu;
  tree.leafLods[0][1].dropped7016 = 4.5f;
  CTreeFileAccess in = ReaderOf(BuildSpt(tree));
  CTreeEngine e(nullptr);
  e.Parse(in);

  SptTree expected = SampleTree();  // every dropped value back to its constant
  EXPECT_EQ(SaveOf(e, true), BuildSpt(expected));
}

TEST_F(TreeEngineTest, FractionBytesTravelUnchanged) {
  SptTree tree;
  tree.hasLeafLods = true;
  tree.leafLodCount = 1;
  tree.leafLods.resize(1);
  for (int b = 0; b < 256; ++b) {
    SptBillboardLeaf leaf;
    leaf.fraction = static_cast<std::uint8_t>(b);
    tree.leafLods[0].push_back(leaf);
  }
  const Bytes block = BuildSpt(tree);
  CTreeFileAccess in = ReaderOf(block);
  CTreeEngine e(nullptr);
  e.Parse(in);
  EXPECT_EQ(e.m_pLeafLods[0][127].m_fFraction, static_cast<float>(127 / 255.0));
  EXPECT_EQ(SaveOf(e, true), block);
}

TEST_F(TreeEngineTest, SectionsComeInAnyOrderAndTheLastOccurrenceWins) {
  const SptTree a = SampleTree();
  SptTree b;
  b.size = 99.0f;
  b.branchTexture = "birch.png";
  b.levels.resize(1);
  b.levels[0].segments = 11;
  b.windValue = 0.125f;
  SptWriter w;
  w.Header().Wind(a).LeafInfo(a).General(a).Wind(b).General(b).Token(1001);
  CTreeFileAccess in = ReaderOf(w.Data());
  CTreeEngine e(nullptr);
  e.Parse(in);
  ASSERT_EQ(e.m_vBranchLevels.size(), 1u);
  EXPECT_EQ(e.m_vBranchLevels[0]->m_nSegments, 11);
  EXPECT_EQ(e.m_fSize, 99.0f);

  SptTree expected = b;
  expected.leaf3000 = a.leaf3000;
  expected.leaf3001 = a.leaf3001;
  expected.leaf3002 = a.leaf3002;
  expected.dimensionFactor = a.dimensionFactor;
  expected.leaf3008 = a.leaf3008;
  expected.leaf3009 = a.leaf3009;
  expected.leaf3010 = a.leaf3010;
  expected.leafMaps = a.leafMaps;
  EXPECT_EQ(SaveOf(e, false), BuildSpt(expected));
}

TEST_F(TreeEngineTest, FieldsASectionOmitsKeepTheirDefaults) {
  SptWriter w;
  w.Header().Token(1002).Token(2006).Float(7.5f).Token(1003).Token(1011).Token(5005).Float(0.5f).Token(1012);
  w.Token(1001);
  CTreeFileAccess in = ReaderOf(w.Data());
  CTreeEngine e(nullptr);
  e.Parse(in);
  SptTree expected;
  expected.size = 7.5f;
  expected.windValue = 0.5f;
  EXPECT_EQ(SaveOf(e, true), BuildSpt(expected));
}

TEST_F(TreeEngineTest, SeedRule) {
  struct Case {
    std::int32_t stored;
    std::int32_t seed;
  };
  const Case cases[] = {{1, 1200}, {2, 2}, {31337, 31337}, {-1, -1}, {-400, -400}};
  for (const Case& c : cases) {
    SptTree tree;
    tree.seed = c.stored;
    CTreeFileAccess in = ReaderOf(BuildSpt(tree));
    CTreeEngine e(nullptr);
    e.Parse(in);
    EXPECT_EQ(e.m_nSeed, c.seed) << c.stored;
  }

  // 0 asks for a fresh seed on every load.
  SptTree fresh;
  fresh.seed = 0;
  const Bytes block = BuildSpt(fresh);
  std::int32_t seeds[2] = {};
  for (std::int32_t& seed : seeds) {
    CTreeFileAccess in = ReaderOf(block);
    CTreeEngine e(nullptr);
    e.Parse(in);
    seed = e.m_nSeed;
    EXPECT_GE(seed, 2);
    EXPECT_LE(seed, 1000000);
  }
  EXPECT_NE(seeds[0], seeds[1]);
}

TEST_F(TreeEngineTest, ASizeOverrideReplacesTheSizeOfEveryLoad) {
  CTreeEngine e(nullptr);
  e.SetTreeSize(80.0f, 5.0f);
  EXPECT_EQ(e.m_fOverrideSize, 80.0f);
  EXPECT_EQ(e.m_fOverrideVariance, 5.0f);
  CTreeFileAccess in = ReaderOf(BuildSpt(SampleTree()));
  e.Parse(in);
  EXPECT_EQ(e.m_fSize, 80.0f);
  EXPECT_EQ(e.m_fSizeVariance, 5.0f);

  CTreeEngine plain(nullptr);
  CTreeFileAccess again = ReaderOf(BuildSpt(SampleTree()));
  plain.Parse(again);
  EXPECT_EQ(plain.m_fSize, 12.5f);
}

TEST_F(TreeEngineTest, WhatFollowsTheCoreIsLeftForTheSupplementalReader) {
  const Bytes core = BuildSpt(SampleTree());
  {
    SptTree tree = SampleTree();
    tree.hasLeafLods = false;
    const Bytes plain = BuildSpt(tree);
    Bytes block = plain;
    SptWriter tail;
    tail.Token(8000).Token(8001);
    block.insert(block.end(), tail.Data().begin(), tail.Data().end());
    CTreeFileAccess in = ReaderOf(block);
    CTreeEngine e(nullptr);
    e.Parse(in);
    EXPECT_EQ(in.GetPosition(), plain.size());
    EXPECT_EQ(in.PeekToken(), 8000);
    EXPECT_EQ(e.m_pLeafLods, nullptr);
    EXPECT_FALSE(e.m_bLeafLodsLoaded);
  }
  {
    Bytes block = core;
    SptWriter tail;
    tail.Token(8000);
    block.insert(block.end(), tail.Data().begin(), tail.Data().end());
    CTreeFileAccess in = ReaderOf(block);
    CTreeEngine e(nullptr);
    e.Parse(in);
    EXPECT_EQ(in.GetPosition(), core.size());
  }
}

TEST_F(TreeEngineTest, LeafLodBlockCounts) {
  struct Case {
    std::int32_t count;
    std::uint32_t lists;
  };
  // A count with 7001 right after it gives that many empty levels.
  const Case cases[] = {{5, 5}, {0, 0}, {-3, 0}, {CTreeEngine::kMaxLeafLodLevels, 1024}};
  for (const Case& c : cases) {
    SptTree tree;
    tree.hasLeafLods = true;
    tree.leafLodCount = c.count;
    const Bytes block = BuildSpt(tree);
    CTreeFileAccess in = ReaderOf(block);
    CTreeEngine e(nullptr);
    e.Parse(in);
    EXPECT_TRUE(e.m_bLeafLodsLoaded) << c.count;
    EXPECT_EQ(e.GetNumLeafLods(), c.count);
    ASSERT_NE(e.m_pLeafLods, nullptr);
    EXPECT_EQ(TrackedArrayCount(e.m_pLeafLods), c.lists);
    // Levels the block left out are written back empty.
    CTreeFileAccess out;
    e.SaveLeafCluster(out);
    SptWriter expected;
    expected.Token(7000).Token(c.count);
    for (std::int32_t l = 0; l < c.count; ++l) expected.Token(7002).Token(7003);
    expected.Token(7001);
    EXPECT_EQ(test::BytesOf(out), expected.Data()) << c.count;
  }
}

TEST_F(TreeEngineTest, TheLeafLodCountRulesTheWrittenLevels) {
  CTreeFileAccess in = ReaderOf(BuildSpt(SampleTree()));
  CTreeEngine e(nullptr);
  e.Parse(in);
  const SptTree tree = SampleTree();
  for (std::int32_t count : {1, 4}) {
    // As when a later section sets the leaf LOD count.
    e.m_cLeafInfo.m_nNumLeafLods = count;
    SptTree expected;
    expected.leafLodCount = count;
    expected.leafLods.resize(static_cast<std::size_t>(count));
    for (std::size_t l = 0; l < expected.leafLods.size() && l < tree.leafLods.size(); ++l) {
      expected.leafLods[l] = tree.leafLods[l];
    }
    SptWriter w;
    w.LeafLods(expected);
    CTreeFileAccess out;
    e.SaveLeafCluster(out);
    EXPECT_EQ(test::BytesOf(out), w.Data()) << count;
  }
}

TEST_F(TreeEngineTest, ErrorMessages) {
  const SptTree tree = SampleTree();
  const Bytes valid = BuildSpt(tree);
  SptTree core = tree;
  core.hasLeafLods = false;
  auto header = [] {
    SptWriter w;
    w.Header();
    return w;
  };
  auto afterCore = [&core] {
    SptWriter w;
    w.Header().General(core).LeafInfo(core).Wind(core).Token(1001);
    return w;
  };
  Bytes badBegin = valid;
  badBegin[0] = 0xe9;  // 1001 instead of 1000
  Bytes badHeader = valid;
  badHeader[8 + 11] = '3';

  struct Case {
    const char* name;
    Bytes data;
    const char* message;
  };
  const Case cases[] = {
      {"begin token", badBegin, "missing begin_file token"},
      {"header string", badHeader, "not a valid SPT tree file"},
      {"short header string", SptWriter().Token(1000).String("__TreSpt_02").Token(1002).Data(),
       "not a valid SPT tree file"},
      {"only the header and 1001", header().Token(1001).Data(), "malformed SPT tree file"},
      {"unknown section", header().Token(1005).Data(), "malformed SPT tree file"},
      {"unknown section after one", header().Wind(core).Token(1003).Data(), "malformed SPT tree file"},
      {"general: end first", header().Token(1002).Token(1003).Token(1001).Data(), "malformed general tree information"},
      {"general: unknown", header().Token(1002).Token(2008).Token(0).Token(1003).Data(),
       "malformed general tree information"},
      {"branch data: no 1016", header().Token(1002).Token(1014).Token(1).Token(1017).Token(1015).Data(),
       "malformed branch data"},
      {"branch data: no 1015", header().Token(1002).Token(1014).Token(1).Level(tree.levels[0]).Token(1003).Data(),
       "malformed branch data"},
      {"branch record: empty", header().Token(1002).Token(1014).Token(1).Token(1016).Token(1017).Token(1015).Data(),
       "malformed general branch information"},
      {"branch record: unknown", header().Token(1002).Token(1014).Token(1).Token(1016).Token(6018).Token(0).Data(),
       "malformed general branch information"},
      {"leaf info: end first", header().Token(1004).Token(1005).Data(), "malformed general leaf information"},
      {"leaf info: unknown", header().Token(1004).Token(3011).Token(0).Data(), "malformed general leaf information"},
      {"leaf info: 129 leaf maps", header().Token(1004).Token(1009).Token(1006).Token(129).Data(),
       "malformed general leaf information"},
      {"leaf map: end first", header().Token(1004).Token(1009).Token(1006).Token(1).Token(1007).Token(1008).Data(),
       "malformed single leaf information"},
      {"leaf map: unknown", header().Token(1004).Token(1009).Token(1006).Token(1).Token(1007).Token(4008).Data(),
       "malformed single leaf information"},
      {"wind: end first", header().Token(1011).Token(1012).Data(), "malformed general wind information"},
      {"wind: unknown", header().Token(1011).Token(5007).Data(), "malformed general wind information"},
      {"leaf lods: a level too many", afterCore().Token(7000).Token(1).Token(7002).Token(7003).Token(7002).Data(),
       "too many leaf lod levels"},
      {"leaf lods: none announced", afterCore().Token(7000).Token(0).Token(7002).Data(), "too many leaf lod levels"},
      {"leaf lods: no 7002", afterCore().Token(7000).Token(2).Token(7003).Data(), "malformed leaf lod data"},
      {"leaf lods: unknown in a level", afterCore().Token(7000).Token(1).Token(7002).Token(7005).Data(),
       "malformed leaf lod data"},
      {"leaf lods: count beyond the limit", afterCore().Token(7000).Token(CTreeEngine::kMaxLeafLodLevels + 1).Data(),
       "malformed leaf lod data"},
      {"leaf lods: huge count", afterCore().Token(7000).Token(0x7fffffff).Token(7001).Data(),
       "malformed leaf lod data"},
      {"billboard leaf: 7009", afterCore().Token(7000).Token(1).Token(7002).Token(7004).Token(7009).Data(),
       "malformed billboard leaf"},
      {"billboard leaf: 7014", afterCore().Token(7000).Token(1).Token(7002).Token(7004).Token(7014).Data(),
       "malformed billboard leaf"},
      {"billboard leaf: unknown", afterCore().Token(7000).Token(1).Token(7002).Token(7004).Token(7017).Data(),
       "malformed billboard leaf"},
  };
  for (const Case& c : cases) {
    // Padding lets the record counts pass their check against the bytes
    // left, so the fault under test is the first one met.
    Bytes data = c.data;
    data.resize(data.size() + 64, 0);
    CTreeFileAccess in = ReaderOf(data);
    CTreeEngine e(nullptr);
    EXPECT_EQ(TreeErrorText([&] { e.Parse(in); }), std::string(c.message) + " []") << c.name;
  }
}

TEST_F(TreeEngineTest, AFailedParseKeepsWhatWasReadBeforeIt) {
  SptTree tree;
  tree.size = 7.0f;
  tree.levels.resize(2);
  SptWriter w;
  w.Header().General(tree).Token(1004).Token(3000).Float(0.125f).Token(3011);
  CTreeFileAccess in = ReaderOf(w.Data());
  CTreeEngine e(nullptr);
  EXPECT_EQ(TreeErrorText([&] { e.Parse(in); }), "malformed general leaf information []");
  EXPECT_EQ(e.m_fSize, 7.0f);
  EXPECT_EQ(e.m_vBranchLevels.size(), 2u);
  EXPECT_EQ(e.m_cLeafInfo.m_fValue3000, 0.125f);
}

TEST_F(TreeEngineTest, EveryPrefixOfAValidBlockFailsCleanly) {
  SptTree tree = SampleTree();
  tree.hasLeafLods = false;
  const std::size_t coreSize = BuildSpt(tree).size();
  const Bytes full = BuildSpt(SampleTree());
  const std::string premature = "premature end of file reached parsing";
  for (std::size_t length = 0; length < full.size(); ++length) {
    // Each prefix lives in a block of exactly its size.
    const Bytes prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
    CTreeFileAccess in = ReaderOf(prefix);
    CTreeEngine e(nullptr);
    const std::string text = TreeErrorText([&] { e.Parse(in); });
    if (length >= coreSize && length < coreSize + 4) {
      // The core alone is complete; the first bytes of the 7000 token that
      // follow it hold no token and stay unread.
      EXPECT_EQ(text, "(no error)") << "cut at " << length;
      EXPECT_EQ(in.GetPosition(), coreSize) << "cut at " << length;
      EXPECT_FALSE(e.m_bLeafLodsLoaded);
    } else {
      ASSERT_EQ(text.rfind(premature, 0), 0u) << "cut at " << length << ": " << text;
    }
  }
}

TEST_F(TreeEngineTest, StrayBytesAfterTheEndTokenAreLeftUnread) {
  SptTree tree = SampleTree();
  tree.hasLeafLods = false;
  const Bytes core = BuildSpt(tree);
  for (std::size_t stray = 1; stray <= 3; ++stray) {
    Bytes block = core;
    block.insert(block.end(), stray, std::uint8_t{0x58});
    CTreeFileAccess in = ReaderOf(block);
    CTreeEngine e(nullptr);
    EXPECT_EQ(TreeErrorText([&] { e.Parse(in); }), "(no error)") << stray;
    EXPECT_EQ(in.GetPosition(), core.size()) << stray;
    EXPECT_EQ(in.BytesRemaining(), stray);
    EXPECT_EQ(SaveOf(e, false), core) << stray;
  }
}

TEST_F(TreeEngineTest, ManyEmptyLevelRecordsTakeMemoryInProportionToTheirBytes) {
  constexpr std::int32_t kLevels = 20000;
  const Bytes block = SmallestLevelRecords(kLevels, 1);

  PeakAllocator peak;
  {
    InstalledAllocator scope(&peak);
    CTreeEngine e(nullptr);
    CTreeFileAccess in = ReaderOf(block);
    e.Parse(in);
    ASSERT_EQ(e.m_vBranchLevels.size(), static_cast<std::size_t>(kLevels));
    EXPECT_TRUE(e.m_vBranchLevels.back()->m_acTextureLayers[0].m_bAbsoluteU);
    EXPECT_TRUE(e.m_vBranchLevels.back()->m_sRadius.Table().empty());
  }
  EXPECT_EQ(peak.current, 0u);
  // The reader's own copy of the block is one times its size; a record that
  // leaves its level at the defaults costs one pointer (8 of its 13 bytes)
  // to the one record such levels share, and the engine's fixed records
  // are a few kilobytes: under 2 times the input. A record of its own per
  // level (about 1 KB) would be over 70 times.
  EXPECT_LT(peak.peak, 2 * block.size()) << "peak " << peak.peak << " for " << block.size() << " bytes";
}

TEST_F(TreeEngineTest, LevelsThatHoldOnlyDefaultsShareOneRecordOthersHaveTheirOwn) {
  const Bytes block = SmallestLevelRecords(3, 0);
  CTreeEngine e(nullptr);
  CTreeFileAccess in = ReaderOf(block);
  e.Parse(in);
  ASSERT_EQ(e.m_vBranchLevels.size(), 3u);
  EXPECT_NE(e.m_vBranchLevels[0], e.m_vBranchLevels[1]);
  for (const STreeBranchInfo* level : e.m_vBranchLevels) EXPECT_FALSE(level->m_acTextureLayers[0].m_bAbsoluteU);

  CTreeEngine d(nullptr);
  const Bytes defaults = SmallestLevelRecords(3, 1);
  CTreeFileAccess again = ReaderOf(defaults);
  d.Parse(again);
  EXPECT_EQ(d.m_vBranchLevels[0], d.m_vBranchLevels[2]);
}

TEST_F(TreeEngineTest, WritingASharedLevelChangesThatLevelAlone) {
  const Bytes block = SmallestLevelRecords(3, 1);
  CTreeEngine e(nullptr);
  CTreeFileAccess in = ReaderOf(block);
  e.Parse(in);

  e.EditBranchLevel(1).m_fTwist = 5.0f;
  EXPECT_EQ(e.m_vBranchLevels[0]->m_fTwist, 0.0f);
  EXPECT_EQ(e.m_vBranchLevels[1]->m_fTwist, 5.0f);
  EXPECT_EQ(e.m_vBranchLevels[2]->m_fTwist, 0.0f);

  // A change that leaves the values as they are keeps the level shared; one
  // that alters them gives the level a record of its own.
  e.ChangeBranchLevel(0, [](STreeBranchInfo& level) { level.m_nSegments = 3; });
  EXPECT_EQ(e.m_vBranchLevels[0], e.m_vBranchLevels[2]);
  e.ChangeBranchLevel(2, [](STreeBranchInfo& level) { level.m_sLength.Parse("BezierSpline 1 2 0"); });
  EXPECT_NE(e.m_vBranchLevels[0], e.m_vBranchLevels[2]);
  EXPECT_EQ(e.m_vBranchLevels[2]->m_sLength.m_fMax, 2.0f);
  EXPECT_EQ(e.m_vBranchLevels[0]->m_sLength.m_fMax, 1.0f);
  // -0 is not the default 0: the level must save what it was given.
  e.ChangeBranchLevel(0, [](STreeBranchInfo& level) { level.m_fRoughness = -0.0f; });
  EXPECT_TRUE(std::signbit(e.m_vBranchLevels[0]->m_fRoughness));
  EXPECT_FALSE(std::signbit(e.m_vBranchLevels[2]->m_fRoughness));

  // The saved levels are the levels as changed.
  CTreeFileAccess saved = ReaderOf(SaveOf(e, false));
  CTreeEngine reread(nullptr);
  reread.Parse(saved);
  ASSERT_EQ(reread.m_vBranchLevels.size(), 3u);
  EXPECT_EQ(reread.m_vBranchLevels[0]->m_sLength.m_fMax, 1.0f);
  EXPECT_EQ(reread.m_vBranchLevels[1]->m_sLength.m_fMax, 1.0f);
  EXPECT_EQ(reread.m_vBranchLevels[2]->m_sLength.m_fMax, 2.0f);
}

TEST_F(TreeEngineTest, AChangeThatFailsKeepsWhatItWroteAndPassesTheFailureOn) {
  const Bytes block = SmallestLevelRecords(2, 1);
  CTreeEngine e(nullptr);
  CTreeFileAccess in = ReaderOf(block);
  e.Parse(in);
  EXPECT_EQ(TreeErrorText([&] {
              e.ChangeBranchLevel(1, [](STreeBranchInfo& level) {
                level.m_nNumFlares = 4;
                throw TreeFileError("cut short");
              });
            }),
            "cut short []");
  EXPECT_EQ(e.m_vBranchLevels[1]->m_nNumFlares, 4);
  EXPECT_EQ(e.m_vBranchLevels[0]->m_nNumFlares, 0);
}

TEST_F(TreeEngineTest, ANegativeZeroIsNotTheDefaultZero) {
  // 6000 with a curve whose minimum is -0: the level holds it and saves it.
  SptWriter w;
  w.Header().Token(1002).Token(1014).Token(2);
  w.Token(1016).Token(6000).String("BezierSpline -0 1 0").Token(1017);
  w.Token(1016).Token(6000).String("BezierSpline 0 1 0").Token(1017);
  w.Token(1015).Token(1003).Token(1001);
  CTreeFileAccess in = ReaderOf(w.Data());
  CTreeEngine e(nullptr);
  e.Parse(in);
  EXPECT_TRUE(std::signbit(e.m_vBranchLevels[0]->m_sDisturbance.m_fMin));
  EXPECT_FALSE(std::signbit(e.m_vBranchLevels[1]->m_sDisturbance.m_fMin));
  const Bytes saved = SaveOf(e, false);
  const std::string text(saved.begin(), saved.end());
  EXPECT_NE(text.find("BezierSpline -0 1 0"), std::string::npos);
}

TEST_F(TreeEngineTest, SaveParseSaveIsAFixedPointForRandomTangents) {
  // 100 levels of nine curves with three control points each: 2,700
  // tangents of random direction and length.
  std::mt19937 random(20261210);
  std::uniform_real_distribution<float> angle(-3.14159265f, 3.14159265f);
  std::uniform_real_distribution<float> scale(0.1f, 10.0f);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  auto number = [](float value) { return FormatCurveNumber(value); };
  SptTree tree;
  tree.levels.resize(100);
  for (SptLevel& level : tree.levels) {
    for (std::string& curve : level.curves) {
      std::vector<std::string> points;
      for (int p = 0; p < 3; ++p) {
        const float a = angle(random);
        const float r = scale(random);
        points.push_back(number(0.5f * p) + " " + number(unit(random)) + " " + number(r * std::cos(a)) + " " +
                         number(r * std::sin(a)) + " " + number(0.1f * unit(random)));
      }
      curve = CurveText("0 1 0", points);
    }
  }
  CTreeFileAccess in = ReaderOf(BuildSpt(tree));
  CTreeEngine first(nullptr);
  first.Parse(in);
  const Bytes saved = SaveOf(first, false);
  CTreeFileAccess again = ReaderOf(saved);
  CTreeEngine second(nullptr);
  second.Parse(again);
  const Bytes resaved = SaveOf(second, false);
  ASSERT_EQ(resaved.size(), saved.size());
  EXPECT_TRUE(resaved == saved);
}

TEST_F(TreeEngineTest, DefaultTextureControlsReachEveryLevel) {
  SptTree tree;
  tree.levels.resize(2);
  tree.levels[0].uScale = 3.0f;
  tree.levels[1].vScale = 5.0f;
  tree.levels[1].absoluteV = true;
  CTreeFileAccess in = ReaderOf(BuildSpt(tree));
  CTreeEngine e(nullptr);
  e.Parse(in);
  e.EditBranchLevel(1).m_acTextureLayers[4].m_bFlag6 = false;
  e.ApplyDefaultTextureControls();
  for (int layer = 1; layer < STreeBranchInfo::kNumTextureLayers; ++layer) {
    EXPECT_EQ(e.m_vBranchLevels[0]->m_acTextureLayers[layer].m_fUScale, 3.0f) << layer;
    if (layer == 4) {
      STreeTextureLayer kept;
      kept.m_bFlag6 = false;
      EXPECT_EQ(e.m_vBranchLevels[1]->m_acTextureLayers[layer], kept) << "flag 6 clear: kept";
      continue;
    }
    EXPECT_EQ(e.m_vBranchLevels[1]->m_acTextureLayers[layer].m_fVScale, 5.0f) << layer;
    EXPECT_TRUE(e.m_vBranchLevels[1]->m_acTextureLayers[layer].m_bAbsoluteV) << layer;
  }
}

TEST_F(TreeEngineTest, MutatedBytesEndInAnErrorOrAResult) {
  const Bytes full = BuildSpt(SampleTree());
  for (std::size_t at = 0; at < full.size(); ++at) {
    for (std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0x80}, std::uint8_t{0xff}}) {
      Bytes mutated = full;
      mutated[at] = value;
      CTreeFileAccess in = ReaderOf(mutated);
      CTreeEngine e(nullptr);
      try {
        e.Parse(in);
      } catch (const TreeFileError&) {
      } catch (const std::exception& ex) {
        ADD_FAILURE() << "byte " << at << " = " << int(value) << ": " << ex.what();
      }
    }
  }
}

TEST_F(TreeEngineTest, FreeTransientDataReleasesOnce) {
  CTreeFileAccess in = ReaderOf(BuildSpt(SampleTree()));
  CTreeEngine e(nullptr);
  e.Parse(in);
  e.m_vMeshes.push_back(TrackedNew<STreeMesh>("test"));
  e.m_vLeaves.resize(3);
  e.FreeTransientData();
  EXPECT_FALSE(e.HasTransientData());
  EXPECT_TRUE(e.m_vBranchLevels.empty());
  EXPECT_EQ(e.m_pLeafLods, nullptr);
  EXPECT_EQ(e.m_pRootSupport, nullptr);
  EXPECT_TRUE(e.m_vMeshes.empty());
  EXPECT_TRUE(e.m_vLeaves.empty());
  // The second call finds nothing to do; values outside the transient data stay.
  e.FreeTransientData();
  EXPECT_EQ(e.m_fSize, 12.5f);
}

TEST_F(TreeEngineTest, GetMesh) {
  CTreeEngine e(nullptr);
  STreeMesh* mesh = TrackedNew<STreeMesh>("test");
  e.m_vMeshes.push_back(mesh);
  EXPECT_EQ(e.GetMesh(0), mesh);
  EXPECT_EQ(e.GetMesh(-1), nullptr);
  EXPECT_EQ(e.GetMesh(1), nullptr);
}

TEST_F(TreeEngineTest, AnEngineReleasesEverythingItTook) {
  const std::uint32_t before = GetTrackedBytes();
  {
    const Bytes block = BuildSpt(SampleTree());
    CTreeEngine e(nullptr);
    // A second load replaces the lists of the first.
    for (int load = 0; load < 2; ++load) {
      CTreeFileAccess in = ReaderOf(block);
      e.Parse(in);
    }
  }
  EXPECT_EQ(GetTrackedBytes(), before);
}

}  // namespace
}  // namespace trt
