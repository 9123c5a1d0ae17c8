#include "treeruntime/leaf_lod_builder.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "treeruntime/spt_builder.h"
#include "treeruntime/tree_engine.h"
#include "treeruntime/tree_random.h"

namespace trt {
namespace {

using Pairs = std::vector<std::pair<std::int32_t, std::int32_t>>;

SBillboardLeaf LeafAt(float x, float y = 0.0f, float z = 0.0f) {
  SBillboardLeaf leaf;
  leaf.m_vPosition = stVec3(x, y, z);
  leaf.m_ucDimming = 255;
  return leaf;
}

Pairs PairsOf(const CLeafLodBuilder& pass) { return Pairs(pass.GetPairs().begin(), pass.GetPairs().end()); }

class LeafLodBuilderTest : public ::testing::Test {
 protected:
  void SetUp() override { CTreeRandom::Seed(11); }
  STreeLeafInfo info_;
};

TEST_F(LeafLodBuilderTest, Pairing) {
  struct Case {
    const char* name;
    std::vector<float> xs;  // leaves along x, in order
    Pairs pairs;
  };
  const Case cases[] = {
      {"two close leaves", {0.0f, 1.0f}, {{0, 1}}},
      {"a lone leaf stays unpaired", {0.0f, 1.0f, 50.0f}, {{0, 1}}},
      // Leaf 1 was taken by leaf 0, yet scans on and takes leaf 2.
      {"three in a row", {0.0f, 1.0f, 2.0f}, {{0, 1}, {1, 2}}},
      // Leaf 0 takes its nearest, leaf 2; leaf 1's scan meets leaf 2 first
      // and stops there, finding nobody.
      {"a taken leaf stops the scan", {0.0f, 3.0f, 1.0f}, {{0, 2}}},
      // Only a strictly nearer later candidate replaces the best.
      {"ties keep the first", {0.0f, 1.0f, -1.0f}, {{0, 1}, {1, 2}}},
      {"nobody within the limit", {0.0f, 16.0f, 32.0f}, {}},
  };
  for (const Case& c : cases) {
    TreeVector<SBillboardLeaf> leaves;
    for (float x : c.xs) leaves.push_back(LeafAt(x));
    CLeafLodBuilder pass(info_, 10.0f, 0.3f, 1.0f);
    pass.FindPairs(leaves);
    EXPECT_EQ(PairsOf(pass), c.pairs) << c.name;
  }
}

TEST_F(LeafLodBuilderTest, AMergedLeafSitsHalfwayWithAveragedColours) {
  STreeLeafMap map;
  map.m_vOrigin = stVec3(0.5f, 1.0f, 0.0f);
  map.m_vAbsoluteSize = stVec3(3.0f, 4.0f, 0.0f);
  info_.m_vLeafMaps = {map, map};
  TreeVector<SBillboardLeaf> leaves = {LeafAt(0.0f, 2.0f, 4.0f), LeafAt(2.0f, 0.0f, 6.0f)};
  leaves[0].m_ucLeafMapByte = 3;  // map 1, mirrored
  leaves[0].m_ucByteA = 2;
  for (int c = 0; c < 4; ++c) {
    leaves[0].m_auCornerColors[c] = 0x00ff00ffu;  // red 255, green 0, blue 255, alpha 0
    leaves[1].m_auCornerColors[c] = 0xff0000ffu;  // red 255, green 0, blue 0, alpha 255
  }
  leaves[1].m_auCornerColors[3] = 0xff000000u;  // black
  // Level 2 with spacing 0.5: scale 2.
  CLeafLodBuilder pass(info_, 10.0f, 0.0f, 2.0f);
  pass.FindPairs(leaves);
  TreeVector<SBillboardLeaf> level;
  pass.BuildLevel(leaves, level);
  ASSERT_EQ(level.size(), 1u);
  const SBillboardLeaf& merged = level[0];
  // Midpoint (1, 1, 5), raised by (1 - 0.5) x 4 x 2 x 0.5 = 2.
  EXPECT_EQ(merged.m_vPosition, stVec3(1.0f, 1.0f, 7.0f));
  EXPECT_EQ(merged.m_ucLeafMapByte, 3);
  EXPECT_EQ(merged.m_ucByteA, 2);
  EXPECT_EQ(merged.m_ucDimming, 255);
  // Channel averages, packed with alpha 255: red 1, blue 0.5 (127); red and
  // blue 0.5 for the black corner.
  EXPECT_EQ(merged.m_auCornerColors[0], 0xff7f00ffu);
  EXPECT_EQ(merged.m_auCornerColors[3], 0xff7f007fu);
  // The merged leaf's dimming scales its colours.
  leaves[0].m_ucDimming = 0;
  level.clear();
  pass.BuildLevel(leaves, level);
  ASSERT_EQ(level.size(), 1u);
  EXPECT_EQ(level[0].m_auCornerColors[0], 0xff000000u);
}

TEST_F(LeafLodBuilderTest, TheKeepThresholdDecidesEveryPair) {
  TreeVector<SBillboardLeaf> leaves;
  for (int i = 0; i < 2000; ++i) leaves.push_back(LeafAt(static_cast<float>(i / 2) * 100.0f + static_cast<float>(i % 2)));
  struct Case {
    float threshold;
    std::size_t low;
    std::size_t high;
  };
  // 1000 pairs; a pair survives when its draw exceeds the threshold.
  const Case cases[] = {{0.0f, 1000, 1000}, {0.3f, 650, 750}, {1.0f, 0, 0}};
  for (const Case& c : cases) {
    CLeafLodBuilder pass(info_, 10.0f, c.threshold, 1.0f);
    pass.FindPairs(leaves);
    ASSERT_EQ(pass.GetPairs().size(), 1000u);
    TreeVector<SBillboardLeaf> level;
    const std::int32_t state = Random::GetState();
    pass.BuildLevel(leaves, level);
    EXPECT_NE(Random::GetState(), state);
    EXPECT_GE(level.size(), c.low) << c.threshold;
    EXPECT_LE(level.size(), c.high) << c.threshold;
  }
}

class EngineLeafLodTest : public LeafLodBuilderTest {
 protected:
  // An engine with `levels` leaf LOD lists and the given leaves.
  void Prepare(CTreeEngine& engine, std::int32_t levels, const std::vector<float>& xs) {
    engine.m_cLeafInfo.m_nNumLeafLods = levels;
    engine.m_pLeafLods = TrackedNewArray<TreeVector<SBillboardLeaf>>(static_cast<std::size_t>(levels), "test");
    for (float x : xs) engine.m_vLeaves.push_back(LeafAt(x));
  }
};

TEST_F(EngineLeafLodTest, TheDistanceLimitFollowsTheLargestLeafMap) {
  struct Case {
    const char* name;
    std::vector<stVec3> sizes;  // absolute sizes of the leaf maps
    float apart;
    std::size_t merged;
  };
  // Fast distances are exact at powers of two.
  const Case cases[] = {
      {"no maps: limit 100", {}, 64.0f, 1},
      {"no maps: limit 100, too far", {}, 128.0f, 0},
      {"largest 4 x 0.5 x 10", {{1.0f, 4.0f, 0.0f}, {2.0f, 1.0f, 0.0f}}, 16.0f, 1},
      {"largest 4 x 0.5 x 10, too far", {{1.0f, 4.0f, 0.0f}, {2.0f, 1.0f, 0.0f}}, 32.0f, 0},
  };
  for (const Case& c : cases) {
    CTreeEngine engine(nullptr);
    engine.m_fLeafLodKeepThreshold = 0.0f;
    for (const stVec3& size : c.sizes) {
      STreeLeafMap map;
      map.m_vAbsoluteSize = size;
      map.m_vOrigin = stVec3(0.5f, 0.5f, 0.0f);  // no shift
      engine.m_cLeafInfo.m_vLeafMaps.push_back(map);
    }
    Prepare(engine, 2, {0.0f, c.apart});
    engine.ComputeLeafLods(0.25f);
    EXPECT_EQ(engine.m_pLeafLods[0].size(), 2u) << c.name;
    EXPECT_EQ(engine.m_pLeafLods[1].size(), c.merged) << c.name;
  }
}

TEST_F(EngineLeafLodTest, EachLevelIsBuiltFromTheOneBefore) {
  CTreeEngine engine(nullptr);
  engine.m_fLeafLodKeepThreshold = 0.0f;
  // Four leaves in a row and a lone one far off. A leaf taken as a partner
  // still looks for its own: level 1 holds the midpoints of (0, 1), (1, 2)
  // and (2, 3); the lone leaf is gone.
  Prepare(engine, 4, {0.0f, 1.0f, 3.0f, 4.0f, 500.0f});
  engine.ComputeLeafLods(1.0f);
  EXPECT_EQ(engine.m_pLeafLods[0].size(), 5u);
  auto xs = [&engine](int l) {
    std::vector<float> values;
    for (const SBillboardLeaf& leaf : engine.m_pLeafLods[l]) values.push_back(leaf.m_vPosition.x);
    return values;
  };
  EXPECT_EQ(xs(1), (std::vector<float>{0.5f, 2.0f, 3.5f}));
  EXPECT_EQ(xs(2), (std::vector<float>{1.25f, 2.75f}));
  EXPECT_EQ(xs(3), (std::vector<float>{2.0f}));
  // A keep threshold of 1.0 leaves every level above 0 empty.
  engine.m_fLeafLodKeepThreshold = 1.0f;
  engine.ComputeLeafLods(1.0f);
  EXPECT_EQ(engine.m_pLeafLods[0].size(), 5u);
  for (int l = 1; l < 4; ++l) EXPECT_TRUE(engine.m_pLeafLods[l].empty()) << l;
}

TEST_F(EngineLeafLodTest, ALeafLodCountAboveTheArrayStopsAtTheArray) {
  CTreeEngine engine(nullptr);
  Prepare(engine, 2, {0.0f, 1.0f});
  engine.m_cLeafInfo.m_nNumLeafLods = 6;  // changed after the array was made
  engine.ComputeLeafLods(1.0f);
  EXPECT_EQ(engine.m_pLeafLods[0].size(), 2u);
  // Without an array nothing is built.
  CTreeEngine bare(nullptr);
  bare.m_vLeaves.push_back(LeafAt(0.0f));
  bare.ComputeLeafLods(1.0f);
  EXPECT_EQ(bare.m_pLeafLods, nullptr);
}

TEST_F(EngineLeafLodTest, LeafLevelsLoadedFromTheDataAreKept) {
  test::SptTree tree;
  tree.levels.resize(2);
  tree.leafMaps.resize(1);
  test::SptBillboardLeaf a;
  a.position = {1.0f, 2.0f, 3.0f};
  test::SptBillboardLeaf b;
  b.position = {1.5f, 2.0f, 3.0f};
  tree.hasLeafLods = true;
  tree.leafLodCount = 2;
  tree.leafLods = {{a, b}, {}};
  const test::Bytes block = test::BuildSpt(tree);
  CTreeFileAccess in = test::ReaderOf(block);
  CTreeEngine engine(nullptr);
  engine.Parse(in);
  engine.Compute(1.0f);
  // No leaves were placed, and the loaded levels were not rebuilt.
  EXPECT_TRUE(engine.m_vLeaves.empty());
  ASSERT_EQ(engine.m_pLeafLods[0].size(), 2u);
  EXPECT_EQ(engine.m_pLeafLods[0][1].m_vPosition, stVec3(1.5f, 2.0f, 3.0f));
  EXPECT_TRUE(engine.m_pLeafLods[1].empty());
}

}  // namespace
}  // namespace trt
