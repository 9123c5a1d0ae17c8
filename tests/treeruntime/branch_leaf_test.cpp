// Leaf creation on branches: CBranch::AddLeaf called directly with the
// branch builder's shared state set up by hand, and the leaves a computed
// trunk places.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "treeruntime/branch.h"
#include "treeruntime/leafy_trunk.h"
#include "treeruntime/lighting_engine.h"
#include "treeruntime/spt_builder.h"
#include "treeruntime/tree_engine.h"
#include "treeruntime/tree_leaf_info.h"
#include "treeruntime/tree_random.h"

namespace trt {
namespace {

constexpr std::int32_t kSeed = 77;

// How many uniform draws `call` took: the generator's state after it equals
// the state after that many draws from the same seed.
int DrawsTaken(const std::function<void()>& call) {
  CTreeRandom::Seed(kSeed);
  call();
  const std::int32_t after = Random::GetState();
  CTreeRandom::Seed(kSeed);
  for (int draws = 0; draws < 16; ++draws) {
    if (Random::GetState() == after) return draws;
    CTreeRandom::GetUniform(0.0f, 1.0f);
  }
  return -1;
}

float Length(const stVec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

class BranchLeafTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CTreeRandom::Seed(kSeed);
    SBranchSettings& st = CBranch::Settings();
    st.m_pLeafInfo = &info_;
    st.m_pLightingEngine = nullptr;
    for (TreeVector<std::int32_t>& group : st.m_vLeafGroups) group.clear();
    st.m_vPlacedLeaves.clear();
    st.m_nSpinCounter = 0;
    for (int i = 0; i < 1000; ++i) st.m_afTable[i] = static_cast<float>(i % 10) / 10.0f;
    branch_.m_fPercent = 0.5f;
    trunk_.m_fPercent = 0.0f;
  }
  void TearDown() override {
    SBranchSettings& st = CBranch::Settings();
    st.m_pLeafInfo = nullptr;
    for (TreeVector<std::int32_t>& group : st.m_vLeafGroups) FreeVector(group);
    FreeVector(st.m_vPlacedLeaves);
  }
  // `count` leaf maps; the first `flagged` of them go to the first group.
  void Maps(std::size_t count, std::size_t flagged = 0) {
    info_.m_vLeafMaps.resize(count);
    SBranchSettings& st = CBranch::Settings();
    for (std::size_t m = 0; m < count; ++m) {
      info_.m_vLeafMaps[m].m_bFlag = m < flagged;
      TreeVector<std::int32_t>& group = st.m_vLeafGroups[m < flagged ? 0 : 1];
      group.push_back(static_cast<std::int32_t>(2 * m));
      group.push_back(static_cast<std::int32_t>(2 * m + 1));
    }
  }
  // One leaf at `position` with percent `p`, D = (1, 0, 0), R = (0, 1, 0).
  void Add(const stVec3& position, float p = 0.5f, const stVec3& d = {1.0f, 0.0f, 0.0f},
           const stVec3& r = {0.0f, 1.0f, 0.0f}) {
    branch_.AddLeaf(position, p, d, r, 0.25f, 1.5f, 7, 9, leaves_);
  }

  STreeLeafInfo info_;
  CBranch trunk_{nullptr, false};
  CBranch branch_{&trunk_, false};
  TreeVector<SBillboardLeaf> leaves_;
};

TEST_F(BranchLeafTest, WithoutLeafMapsNoLeafAndNoDraw) {
  EXPECT_EQ(DrawsTaken([&] { Add({}); }), 0);
  EXPECT_TRUE(leaves_.empty());
}

TEST_F(BranchLeafTest, TheRecordOfADefaultLeaf) {
  Maps(1);
  // Second group only: the texture pick, the variant and the colour draw.
  EXPECT_EQ(DrawsTaken([&] { Add({1.0f, 2.0f, 3.0f}); }), 3);
  ASSERT_EQ(leaves_.size(), 1u);
  const SBillboardLeaf& leaf = leaves_[0];
  EXPECT_EQ(leaf.m_vPosition, stVec3(1.0f, 2.0f, 3.0f));
  EXPECT_LT(leaf.m_ucLeafMapByte, 2);
  EXPECT_LT(leaf.m_ucByteA, 3);
  EXPECT_EQ(leaf.m_fFraction, 0.25f);
  EXPECT_EQ(leaf.m_fFraction2, 1.0f);  // clamped
  EXPECT_EQ(leaf.m_nInt, 7);
  EXPECT_EQ(leaf.m_uLastValue, 9u);
  // p = 0.5 on a branch of percent 0.5: trunc(0.25 x 255).
  EXPECT_EQ(leaf.m_ucDimming, 63);
  // Spacing mode 2 is the default: no copy kept for the branch.
  EXPECT_TRUE(CBranch::Settings().m_vPlacedLeaves.empty());
}

TEST_F(BranchLeafTest, AGroupOfOneIndexGivesItWithoutADraw) {
  Maps(1);
  CBranch::Settings().m_vLeafGroups[1] = {1};
  EXPECT_EQ(DrawsTaken([&] { Add({}); }), 2);
  ASSERT_EQ(leaves_.size(), 1u);
  EXPECT_EQ(leaves_[0].m_ucLeafMapByte, 1);
}

TEST_F(BranchLeafTest, AcceptanceTest) {
  struct Case {
    float threshold;
    std::int32_t levels;  // leaf value 3001
    float branchPercent;
    float p;
    bool drawTaken;  // the tested percent passes
  };
  const Case cases[] = {
      {0.75f, 1, 0.75f, 0.9f, false},  // the defaults: 0.75 or less never passes
      {0.75f, 1, 0.76f, 0.1f, true},
      {0.75f, 0, 0.1f, 0.9f, true},    // k = 0 tests p itself
      {0.75f, 2, 0.9f, 0.9f, false},   // k = 2 tests the trunk's percent (0)
      {0.0f, 1, 0.0f, 0.5f, false},    // strictly above 0
      {-0.3f, 1, 0.29f, 0.5f, true},   // below 0.3 only
      {-0.3f, 1, 0.3f, 0.5f, false},
  };
  for (const Case& c : cases) {
    leaves_.clear();
    info_.m_vLeafMaps.clear();
    for (TreeVector<std::int32_t>& group : CBranch::Settings().m_vLeafGroups) group.clear();
    Maps(2, 1);
    info_.m_fValue3000 = c.threshold;
    info_.m_nValue3001 = c.levels;
    branch_.m_fPercent = c.branchPercent;
    // Chance 1: a tested percent that passes always takes the first group.
    info_.m_fValue3002 = 1.0f;
    const int draws = DrawsTaken([&] { Add({}, c.p); });
    EXPECT_EQ(draws, c.drawTaken ? 4 : 3) << c.threshold << " " << c.branchPercent;
    ASSERT_EQ(leaves_.size(), 1u);
    EXPECT_EQ(leaves_[0].m_ucLeafMapByte / 2, c.drawTaken ? 0 : 1) << c.threshold << " " << c.branchPercent;
  }
  // With the first group empty the test is not made and draws nothing.
  leaves_.clear();
  CBranch::Settings().m_vLeafGroups[0].clear();
  branch_.m_fPercent = 0.9f;
  info_.m_fValue3000 = 0.0f;
  EXPECT_EQ(DrawsTaken([&] { Add({}); }), 3);
  // Chance 0: a passing percent still falls back to the second group.
  leaves_.clear();
  CBranch::Settings().m_vLeafGroups[0] = {0, 1};
  info_.m_fValue3002 = 0.0f;
  Add({});
  ASSERT_EQ(leaves_.size(), 1u);
  EXPECT_EQ(leaves_[0].m_ucLeafMapByte / 2, 1);
}

TEST_F(BranchLeafTest, AnEmptySecondGroupRefusesAfterTheAcceptanceDraw) {
  Maps(1, 1);
  branch_.m_fPercent = 0.9f;
  info_.m_fValue3002 = -1.0f;  // the draw never passes
  EXPECT_EQ(DrawsTaken([&] { Add({}); }), 1);
  EXPECT_TRUE(leaves_.empty());
}

TEST_F(BranchLeafTest, Spacing) {
  Maps(1);
  STreeLeafMap& map = info_.m_vLeafMaps[0];
  map.m_vAbsoluteSize = stVec3(4.0f, 2.0f, 0.0f);
  info_.m_fDimensionFactor = 0.5f;  // s = 2
  struct Case {
    stVec3 candidate;
    bool placed;
  };
  const Case cases[] = {
      {{2.0f, 0.0f, 0.0f}, true},    // exactly s away along x
      {{0.0f, 0.0f, -2.0f}, true},   // along z
      {{1.9f, 1.9f, 1.9f}, false},   // strictly within on all three
      {{1.9f, 1.9f, 2.5f}, true},
  };
  for (std::int32_t mode : {0, 1, 2, 3}) {
    info_.m_nValue3008 = mode;
    for (const Case& c : cases) {
      leaves_.clear();
      CBranch::Settings().m_vPlacedLeaves.clear();
      Add({});
      ASSERT_EQ(leaves_.size(), 1u);
      if (mode == 1) {
        ASSERT_EQ(CBranch::Settings().m_vPlacedLeaves.size(), 1u);
        // Mode 1 tests the branch's own placed leaves, not the leaf list.
        leaves_.clear();
      }
      const bool tested = mode == 1 || mode == 2;
      const int draws = DrawsTaken([&] { Add(c.candidate); });
      const bool placed = !leaves_.empty() && leaves_.back().m_vPosition == c.candidate;
      EXPECT_EQ(placed, !tested || c.placed) << "mode " << mode << " at " << c.candidate.x << " " << c.candidate.z;
      // A refused leaf took only the texture pick.
      EXPECT_EQ(draws, placed ? 3 : 1) << "mode " << mode;
    }
  }
}

TEST_F(BranchLeafTest, Dimming) {
  Maps(1);
  struct Case {
    bool flag3009;
    float value3010;
    std::int32_t factors;  // normal-smoothing int
    float p;
    std::uint8_t dimming;
  };
  const Case cases[] = {
      {false, 1.0f, 1, 0.5f, 255},
      {true, 1.0f, 1, 0.5f, 63},     // 0.5 x 0.5
      {true, 0.0f, 1, 0.5f, 255},    // strength 0: none
      {true, 0.5f, 1, 0.5f, 159},    // 0.25 + 0.75 x 0.5 = 0.625
      {true, 1.0f, 0, 0.5f, 127},    // p alone
      {true, 1.0f, 2, 0.5f, 0},      // times the trunk's 0
      {true, 1.0f, 5, 0.5f, 0},      // the chain ends at the trunk
      {true, -1.0f, 1, 0.5f, 255},   // 0.25 + 0.75 x 2, clamped
  };
  for (const Case& c : cases) {
    leaves_.clear();
    info_.m_bFlag3009 = c.flag3009;
    info_.m_fValue3010 = c.value3010;
    info_.m_nNormalSmoothingInt = c.factors;
    Add({}, c.p);
    ASSERT_EQ(leaves_.size(), 1u);
    EXPECT_EQ(leaves_[0].m_ucDimming, c.dimming) << c.value3010 << " " << c.factors;
  }
}

TEST_F(BranchLeafTest, ColourAndNormalOfAPlainMap) {
  Maps(1);
  info_.m_bFlag3009 = false;
  info_.m_vLeafMaps[0].m_fValue = 0.0f;  // no colour variation, N = R
  Add({});
  ASSERT_EQ(leaves_.size(), 1u);
  const SBillboardLeaf& leaf = leaves_[0];
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(leaf.m_auCornerColors[c], 0xffccccccu) << c;
    EXPECT_EQ(leaf.m_avCorners1[c], stVec3(0.0f, 1.0f, 0.0f)) << c;
    // T = N x up, B = T x N.
    EXPECT_EQ(leaf.m_avCorners2[c], stVec3(1.0f, 0.0f, 0.0f)) << c;
    EXPECT_EQ(leaf.m_avCorners3[c], stVec3(0.0f, 0.0f, 1.0f)) << c;
  }
  // The dimming scales the colour: 0.8 x 63 / 255, trunc(x 255) = 50.
  leaves_.clear();
  info_.m_bFlag3009 = true;
  Add({});
  EXPECT_EQ(leaves_[0].m_auCornerColors[0], 0xff323232u);
}

TEST_F(BranchLeafTest, TheLeafNormal) {
  Maps(1);
  info_.m_vLeafMaps[0].m_fValue = 0.5f;
  // N = normalise(R + (D - R) x 0.5).
  Add({}, 0.5f, {1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
  const float h = std::sqrt(0.5f);
  EXPECT_NEAR(leaves_[0].m_avCorners1[0].x, h, 1e-5f);
  EXPECT_NEAR(leaves_[0].m_avCorners1[0].y, h, 1e-5f);
  // A direction shorter than 0.0001 leaves R.
  leaves_.clear();
  Add({}, 0.5f, {0.00001f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
  EXPECT_EQ(leaves_[0].m_avCorners1[0], stVec3(0.0f, 1.0f, 0.0f));
}

TEST_F(BranchLeafTest, AVerticalNormalHasNoTangentFrame) {
  Maps(1);
  info_.m_vLeafMaps[0].m_fValue = 0.0f;
  for (bool smoothing : {false, true}) {
    for (float z : {1.0f, -1.0f}) {
      leaves_.clear();
      info_.m_bNormalSmoothing = smoothing;
      Add({}, 0.5f, {}, {0.0f, 0.0f, z});
      ASSERT_EQ(leaves_.size(), 1u);
      for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(leaves_[0].m_avCorners2[c], stVec3()) << smoothing << " " << z << " corner " << c;
        EXPECT_EQ(leaves_[0].m_avCorners3[c], stVec3()) << smoothing << " " << z << " corner " << c;
      }
      if (!smoothing) {
        EXPECT_EQ(leaves_[0].m_avCorners1[0], stVec3(0.0f, 0.0f, z));
      }
    }
  }
}

TEST_F(BranchLeafTest, NormalSmoothingLeansTheCorners) {
  Maps(1);
  info_.m_vLeafMaps[0].m_fValue = 0.0f;
  info_.m_bNormalSmoothing = true;
  info_.m_fNormalSmoothingValue = 30.0f;
  Add({});  // N = (0, 1, 0), T = (1, 0, 0)
  const SBillboardLeaf& leaf = leaves_[0];
  const float tSide[4] = {-1.0f, 1.0f, 1.0f, -1.0f};
  const float up[4] = {1.0f, 1.0f, -1.0f, -1.0f};
  for (int c = 0; c < 4; ++c) {
    const stVec3& n = leaf.m_avCorners1[c];
    EXPECT_NEAR(Length(n), 1.0f, 1e-5f) << c;
    EXPECT_GT(n.z * up[c], 0.1f) << c;
    EXPECT_GT(n.x * tSide[c], 0.1f) << c;
    EXPECT_NEAR(Dot(leaf.m_avCorners2[c], n), 0.0f, 1e-5f) << c;
    EXPECT_NEAR(Dot(leaf.m_avCorners3[c], n), 0.0f, 1e-5f) << c;
  }
  // A mesh leaf keeps one frame for all four corners.
  leaves_.clear();
  info_.m_vLeafMaps[0].m_bUseMesh = true;
  Add({});
  for (int c = 1; c < 4; ++c) EXPECT_EQ(leaves_[0].m_avCorners1[c], leaves_[0].m_avCorners1[0]) << c;
}

TEST_F(BranchLeafTest, MeshLeaves) {
  Maps(1);
  STreeLeafMap& map = info_.m_vLeafMaps[0];
  map.m_fValue = 0.0f;
  map.m_bUseMesh = true;
  // Up-blend of 0.5 from (0, 1, 0) toward (0, 0, 1), without static leaf
  // lighting.
  map.m_fMeshUpBlend = 0.5f;
  Add({});
  const float h = std::sqrt(0.5f);
  EXPECT_NEAR(leaves_[0].m_avCorners1[0].y, h, 1e-5f);
  EXPECT_NEAR(leaves_[0].m_avCorners1[0].z, h, 1e-5f);
  // Static leaf lighting: no blend.
  CLightingEngine lighting;
  lighting.m_nLeafLightingMethod = 1;
  CBranch::Settings().m_pLightingEngine = &lighting;
  leaves_.clear();
  Add({});
  EXPECT_EQ(leaves_[0].m_avCorners1[0], stVec3(0.0f, 1.0f, 0.0f));
  CBranch::Settings().m_pLightingEngine = nullptr;

  // No spin range: the counter stays.
  map.m_fMeshUpBlend = 0.0f;
  CBranch::Settings().m_nSpinCounter = 4;
  leaves_.clear();
  Add({});
  EXPECT_EQ(CBranch::Settings().m_nSpinCounter, 4);
  EXPECT_EQ(leaves_[0].m_avCorners2[0], stVec3(1.0f, 0.0f, 0.0f));
  // Range 20: table[4] = 0.4 turns T and B by 0.4 x 40 - 20 = -4 degrees
  // about N, and the counter moves on.
  map.m_fMeshSpinRange = 20.0f;
  for (std::int32_t k = 4; k < 14; ++k) {
    leaves_.clear();
    Add({});
    EXPECT_EQ(CBranch::Settings().m_nSpinCounter, k + 1);
    const SBillboardLeaf& leaf = leaves_[0];
    const float expected = static_cast<float>(k % 10) / 10.0f * 40.0f - 20.0f;
    const float turned = std::atan2(leaf.m_avCorners2[0].z, leaf.m_avCorners2[0].x) * kRadToDeg;
    EXPECT_NEAR(turned, expected, 1e-3f) << k;
    EXPECT_LE(std::fabs(turned), 20.0f + 1e-3f);
    EXPECT_EQ(leaf.m_avCorners1[0], stVec3(0.0f, 1.0f, 0.0f));
    EXPECT_NEAR(Dot(leaf.m_avCorners2[0], leaf.m_avCorners3[0]), 0.0f, 1e-5f);
  }
  // The spin reads the table, not the generator.
  leaves_.clear();
  EXPECT_EQ(DrawsTaken([&] { Add({}); }), 3);
}

// --- leaves on a computed trunk ------------------------------------------------

TEST(BranchLeavesOnATrunk, EveryLeafChildIsPlacedWithSpacingOff) {
  // Size 4, L = 6; frequency 2 gives trunc(2 / 4 x 6) = 3 leaf children.
  test::SptTree tree = test::LeafyTrunk();
  tree.levels[0].frequency = 2.0f;
  tree.leafMaps.resize(2);  // both in the second group
  tree.leaf3008 = 0;
  tree.leaf3009 = false;
  CTreeEngine engine(nullptr);
  test::ParseAndCompute(tree, engine);
  ASSERT_EQ(engine.m_vLeaves.size(), 3u);
  for (const SBillboardLeaf& leaf : engine.m_vLeaves) {
    EXPECT_EQ(leaf.m_ucDimming, 255);
    EXPECT_LT(leaf.m_ucLeafMapByte, 4);
    // One step of the bearing branch's own level (length 1.5 x 4 over three
    // segments: 2) from the trunk's axis, turned 60 degrees off it.
    const float radial = std::sqrt(leaf.m_vPosition.x * leaf.m_vPosition.x + leaf.m_vPosition.y * leaf.m_vPosition.y);
    EXPECT_NEAR(radial, 2.0f * std::sin(60.0f / kRadToDeg), 1e-4f);
    EXPECT_NEAR(Length(leaf.m_avCorners1[0]), 1.0f, 1e-4f);
  }
  EXPECT_TRUE(CBranch::Settings().m_vPlacedLeaves.empty());
  // They form leaf LOD 0.
  ASSERT_NE(engine.m_pLeafLods, nullptr);
  EXPECT_EQ(engine.m_pLeafLods[0].size(), 3u);
}

}  // namespace
}  // namespace trt
