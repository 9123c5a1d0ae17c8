#include "treeruntime/branch.h"

#include <gtest/gtest.h>

#include <vector>

#include "treeruntime/indexed_geometry.h"
#include "treeruntime/tree_engine.h"
#include "treeruntime/tree_random.h"

namespace trt {
namespace {

using Indices = std::vector<std::int32_t>;

class BranchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CTreeRandom::Seed(3);
    bytes_ = GetTrackedBytes();
    branches_ = CBranch::GetLiveCount();
  }
  void TearDown() override {
    EXPECT_EQ(GetTrackedBytes(), bytes_) << "the test leaked tracked memory";
    EXPECT_EQ(CBranch::GetLiveCount(), branches_) << "the test leaked branches";
  }

 private:
  std::uint32_t bytes_ = 0;
  std::int32_t branches_ = 0;
};

// A branch of `vertices` spine vertices whose rings have `rings` segments.
void MakeSpine(CBranch& b, std::int32_t vertices, std::int32_t rings, std::int32_t first) {
  b.SetNumVertices(vertices);
  for (std::int32_t i = 0; i < vertices; ++i) b.GetVertices()[i].m_nRingCount = rings;
  b.m_nFirstVertex = first;
}

// Keeps a copy of `child` in `parent`'s list, as the builder does.
CBranch* Keep(CBranch& parent, const CBranch& child) {
  SBranchChild kept;
  kept.m_pBranch = TrackedNew<CBranch>("test", child);
  kept.m_pBranch->m_bOwned = true;
  kept.m_pBranch->m_pParent = &parent;
  parent.m_vChildren.push_back(kept);
  return kept.m_pBranch;
}

Indices Strip(const CIndexedGeometry& g, std::int32_t lod, std::size_t strip) {
  const TreeVector<std::int32_t>& descriptors = *g.GetStripDescriptors(lod);
  const auto first = g.GetStripIndices(lod)->begin() + descriptors[2 * strip];
  return Indices(first, first + descriptors[2 * strip + 1]);
}

TEST_F(BranchTest, SpinesBelowTenVerticesLiveInline) {
  CBranch b(nullptr, false);
  EXPECT_EQ(b.m_nNumVertices, -1);
  EXPECT_EQ(b.m_nFirstVertex, -1);
  const std::uint32_t before = GetTrackedBytes();
  b.SetNumVertices(9);
  EXPECT_TRUE(b.HasInlineVertices());
  EXPECT_EQ(GetTrackedBytes(), before);
  EXPECT_EQ(b.GetVertices()[8].m_mOrientation.m[4], 1.0f);
  b.SetNumVertices(10);
  EXPECT_FALSE(b.HasInlineVertices());
  EXPECT_GT(GetTrackedBytes(), before);
  b.GetVertices()[9].m_fRadius = 2.0f;
  b.SetNumVertices(3);
  EXPECT_TRUE(b.HasInlineVertices());
  EXPECT_EQ(GetTrackedBytes(), before);
}

TEST_F(BranchTest, RingStitching) {
  struct Case {
    const char* name;
    std::vector<std::int32_t> rings;
    std::int32_t first;
    Indices strip;
  };
  const Case cases[] = {
      {"equal rings", {3, 3}, 0, {4, 0, 5, 1, 6, 2, 7, 3, 7, 7}},
      {"a finer ring below", {4, 2}, 10, {15, 10, 16, 11, 16, 12, 17, 13, 17, 14, 17, 17}},
      {"three rings", {2, 2, 2}, 0, {3, 0, 4, 1, 5, 2, 5, 5, 6, 3, 7, 4, 8, 5, 8, 8}},
      {"past 16 bits", {3, 3}, 70000, {70004, 70000, 70005, 70001, 70006, 70002, 70007, 70003, 70007, 70007}},
  };
  for (const Case& c : cases) {
    CBranch b(nullptr, false);
    b.SetNumVertices(static_cast<std::int32_t>(c.rings.size()));
    for (std::size_t i = 0; i < c.rings.size(); ++i) b.GetVertices()[i].m_nRingCount = c.rings[i];
    b.m_nFirstVertex = c.first;
    CIndexedGeometry g(nullptr, false);
    g.SetNumLods(1);
    b.EmitToLod(0, g);
    EXPECT_EQ(Strip(g, 0, 0), c.strip) << c.name;
    EXPECT_EQ(g.GetStripCounter(), 1) << c.name;
  }
}

TEST_F(BranchTest, AStraightSpineGivesOneStripOfClosedLength) {
  for (std::int32_t n : {2, 5, 12}) {
    for (std::int32_t k : {3, 6}) {
      CBranch b(nullptr, false);
      MakeSpine(b, n, k, 0);
      CIndexedGeometry g(nullptr, false);
      g.SetNumLods(3);
      for (std::int32_t v = 0; v < n * (k + 1); ++v) g.AddVertex({0, 0, 0});
      b.EmitToLod(1, g);
      const Indices strip = Strip(g, 1, 0);
      EXPECT_EQ(strip.size(), static_cast<std::size_t>((n - 1) * (2 * k + 4))) << n << " " << k;
      for (std::int32_t index : strip) ASSERT_LT(index, n * (k + 1));
      // The LOD's fade, 1 - (1 + 1) / 3, on every vertex the strip uses.
      for (std::int32_t index : strip) EXPECT_FLOAT_EQ(g.GetLodFades()[static_cast<std::size_t>(index)], 1.0f / 3.0f);
      b.EmitToLod(2, g);
      EXPECT_EQ(g.GetLodFades()[0], -1.0f);  // the last LOD
    }
  }
}

TEST_F(BranchTest, NoStripWithoutAFirstVertexOrASegment) {
  CIndexedGeometry g(nullptr, false);
  g.SetNumLods(1);
  CBranch none(nullptr, false);
  MakeSpine(none, 4, 3, -1);
  none.EmitToLod(0, g);
  CBranch single(nullptr, false);
  MakeSpine(single, 1, 3, 0);
  single.EmitToLod(0, g);
  EXPECT_TRUE(g.GetStripDescriptors(0)->empty());
}

TEST_F(BranchTest, NodesInPreOrderAndDeepCopies) {
  CBranch trunk(nullptr, false);
  MakeSpine(trunk, 12, 3, 0);
  CBranch a(&trunk, false);
  a.m_fPercent = 0.25f;
  CBranch a1(&a, false);
  a1.m_fPercent = 0.5f;
  Keep(a, a1);
  CBranch* keptA = Keep(trunk, a);
  CBranch b(&trunk, false);
  b.m_fPercent = 0.75f;
  Keep(trunk, b);

  TreeVector<CBranch*> nodes;
  trunk.CollectNodes(nodes);
  ASSERT_EQ(nodes.size(), 4u);
  EXPECT_EQ(nodes[0], &trunk);
  EXPECT_EQ(nodes[1], keptA);
  EXPECT_EQ(nodes[2]->m_fPercent, 0.5f);
  EXPECT_EQ(nodes[3]->m_fPercent, 0.75f);
  EXPECT_EQ(nodes[2]->m_pParent, keptA);

  // A copy owns copies of everything.
  const std::int32_t live = CBranch::GetLiveCount();
  {
    CBranch copy(trunk);
    EXPECT_EQ(CBranch::GetLiveCount(), live + 4);
    EXPECT_NE(copy.GetVertices(), trunk.GetVertices());
    EXPECT_EQ(copy.m_nNumVertices, 12);
    ASSERT_EQ(copy.m_vChildren.size(), 2u);
    EXPECT_NE(copy.m_vChildren[0].m_pBranch, keptA);
    EXPECT_TRUE(copy.m_vChildren[0].m_pBranch->m_bOwned);
    EXPECT_EQ(copy.m_vChildren[0].m_pBranch->m_vChildren[0].m_pBranch->m_fPercent, 0.5f);
    CBranch assigned(nullptr, false);
    assigned = copy;
    EXPECT_EQ(CBranch::GetLiveCount(), live + 8);
  }
  EXPECT_EQ(CBranch::GetLiveCount(), live);
}

// The engine's branch LODs over a trunk with three kept children, each of
// two rings of 3 segments (8 vertices) and the given size measure.
class BranchLodTest : public BranchTest {
 protected:
  void Build(CTreeEngine& engine, CIndexedGeometry& geometry, const float (&weights)[4], std::int32_t lods) {
    engine.m_nNumBranchLods = lods;
    geometry.SetNumLods(lods);
    for (int v = 0; v < 32; ++v) geometry.AddVertex({0, 0, 0});
    engine.m_pBranch = TrackedNew<CBranch>("test", nullptr, false);
    MakeSpine(*engine.m_pBranch, 2, 3, 0);
    engine.m_pBranch->m_fSizeMeasure = weights[0];
    // What the builder emitted while growing: the selection replaces it.
    engine.m_pBranch->EmitToLod(0, geometry);
    for (int c = 1; c < 4; ++c) {
      CBranch child(engine.m_pBranch, false);
      MakeSpine(child, 2, 3, 8 * c);
      child.m_fSizeMeasure = weights[c];
      Keep(*engine.m_pBranch, child);
    }
  }
};

TEST_F(BranchLodTest, OneLodTakesEveryNode) {
  CIndexedGeometry geometry(nullptr, false);
  CTreeEngine engine(&geometry);
  Build(engine, geometry, {6, 5, 3, 2}, 1);
  engine.ComputeBranchLods();
  EXPECT_EQ(geometry.GetStripDescriptors(0)->size(), 8u);  // 4 strips, the builder's one gone
  EXPECT_EQ(geometry.GetLodFades()[31], -1.0f);
}

TEST_F(BranchLodTest, SixLodsKeepShrinkingSharesOfTheWeight) {
  CIndexedGeometry geometry(nullptr, false);
  CTreeEngine engine(&geometry);
  // Total 16; the trunk (above 0.95 x 6) leads, then 5, 3, 2. Budgets 16,
  // 14.4, 12.8, 11.2, 9.6 and 8: the node that reaches a budget is taken.
  Build(engine, geometry, {6, 5, 3, 2}, 6);
  engine.ComputeBranchLods();
  const std::size_t strips[6] = {4, 4, 3, 3, 2, 2};
  for (std::int32_t l = 0; l < 6; ++l) EXPECT_EQ(geometry.GetStripDescriptors(l)->size(), 2 * strips[l]) << l;
  EXPECT_EQ(Strip(geometry, 5, 0)[0], 4);   // the trunk first
  EXPECT_EQ(Strip(geometry, 5, 1)[0], 12);  // then the node of weight 5
  // Each vertex keeps the fade of the last LOD that holds its branch.
  EXPECT_EQ(geometry.GetLodFades()[0], -1.0f);
  EXPECT_EQ(geometry.GetLodFades()[8], -1.0f);
  EXPECT_FLOAT_EQ(geometry.GetLodFades()[16], 1.0f - 4.0f / 6.0f);
  EXPECT_FLOAT_EQ(geometry.GetLodFades()[24], 1.0f - 2.0f / 6.0f);
}

TEST_F(BranchLodTest, NoTriangleNoSelection) {
  CIndexedGeometry geometry(nullptr, false);
  CTreeEngine engine(&geometry);
  Build(engine, geometry, {6, 5, 3, 2}, 3);
  geometry.ClearLod(0);  // as if the builder emitted nothing
  engine.ComputeBranchLods();
  EXPECT_EQ(*geometry.GetStripDescriptors(0), (TreeVector<std::int32_t>{0, 0}));
  EXPECT_TRUE(geometry.GetStripDescriptors(1)->empty());
  // Zero and negative weights: nothing reaches a budget of 0.
  CIndexedGeometry other(nullptr, false);
  CTreeEngine weightless(&other);
  Build(weightless, other, {0, -1, 0, 0}, 2);
  weightless.ComputeBranchLods();
  EXPECT_EQ(*other.GetStripDescriptors(0), (TreeVector<std::int32_t>{0, 0}));
  EXPECT_TRUE(other.GetStripDescriptors(1)->empty());
}

}  // namespace
}  // namespace trt
