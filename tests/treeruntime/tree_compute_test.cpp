// The tree engine's compute over trees described with the test-side
// tree-data builder: closed forms for a straight trunk, the rules of the
// branch builder, and invariants over a small gallery of trees.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "treeruntime/branch.h"
#include "treeruntime/frond_engine.h"
#include "treeruntime/indexed_geometry.h"
#include "treeruntime/spt_builder.h"
#include "treeruntime/tree_engine.h"
#include "treeruntime/tree_random.h"
#include "treeruntime/tree_test_util.h"

namespace trt {
namespace {

using test::CurveText;
using test::SptLevel;
using test::SptTree;

// A curve of constant value v (minimum = maximum).
std::string Flat(float v, float variance = 0.0f) {
  const std::string number = FormatCurveNumber(v);
  return CurveText(number + " " + number + " " + FormatCurveNumber(variance), {"0 1 1 0 0.1", "1 1 1 0 0.1"});
}

// A level with every curve flat: no disturbance, gravity or wind, constant
// length, radius and start angle.
SptLevel FlatLevel(float length, float radius, float startAngle) {
  SptLevel level;
  level.curves[0] = Flat(0.0f);        // disturbance
  level.curves[1] = Flat(0.0f);        // gravity
  level.curves[2] = Flat(0.0f);        // flexibility
  level.curves[3] = Flat(0.0f);        // flexibility profile
  level.curves[4] = Flat(length);      // length
  level.curves[5] = Flat(radius);      // radius
  level.curves[6] = Flat(1.0f);        // radius profile
  level.curves[7] = Flat(startAngle);  // start angle
  level.curves[8] = Flat(0.5f);        // gravity profile: none
  return level;
}

// A computed tree: the engine parsed from the description, with the
// default supplemental curves the tree model gives after loading.
struct Computed {
  explicit Computed(const SptTree& tree, void (*adjust)(CTreeEngine&) = nullptr) : geometry(nullptr, false), engine(&geometry) {
    const test::Bytes block = test::BuildSpt(tree);
    CTreeFileAccess in = test::ReaderOf(block);
    engine.Parse(in);
    engine.ApplyDefaultCurves();
    if (adjust != nullptr) adjust(engine);
    engine.Compute(1.0f);
  }
  stVec3 Vertex(std::int32_t i) const {
    const float* p = geometry.GetVertex(i);
    return stVec3(p[0], p[1], p[2]);
  }
  CIndexedGeometry geometry;
  CTreeEngine engine;
};

class TreeComputeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CBranch::Settings().m_pFrondEngine = nullptr;
    CBranch::Settings().m_pLightingEngine = nullptr;
    CTreeRandom::Seed(5);
  }
};

SptTree Branchy(float frequency, float childStartAngle = 45.0f, float disturbance = 0.0f);

// Size 4, length 1.5 (L = 6, under 5 x size: no root support), radius
// 0.125 (R = 0.5), start angle -90: the spine runs up z.
SptTree StraightTrunk() {
  SptTree tree;
  tree.size = 4.0f;
  tree.levels = {FlatLevel(1.5f, 0.125f, -90.0f)};
  return tree;
}

TEST_F(TreeComputeTest, AStraightTrunkComputesToClosedForms) {
  for (float exponent : {1.0f, 2.0f}) {
    static float s_exponent;
    s_exponent = exponent;
    const Computed tree(StraightTrunk(), [](CTreeEngine& e) { e.EditBranchLevel(0).m_fSegmentExponent = s_exponent; });
    const std::int32_t n = 4;  // 3 segments
    const std::int32_t k = 6;  // 6 ring segments
    const float r = 0.5f;
    const float l = 6.0f;
    ASSERT_EQ(tree.geometry.GetVertexCount(), n * (k + 1)) << exponent;
    for (std::int32_t i = 0; i < n; ++i) {
      const float height = std::pow(static_cast<float>(i) / (n - 1), exponent) * l;
      for (std::int32_t j = 0; j <= k; ++j) {
        const stVec3 v = tree.Vertex(i * (k + 1) + j);
        EXPECT_NEAR(std::sqrt(v.x * v.x + v.y * v.y), r, 1e-5f) << i << " " << j;
        EXPECT_NEAR(v.z, height, 1e-5f) << i << " " << j;
      }
      EXPECT_EQ(tree.Vertex(i * (k + 1) + k), tree.Vertex(i * (k + 1))) << "seam of ring " << i;
    }
    // LOD 0 is one strip over every ring.
    const TreeVector<std::int32_t>& descriptors = *tree.geometry.GetStripDescriptors(0);
    ASSERT_EQ(descriptors.size(), 2u);
    EXPECT_EQ(descriptors[1], (n - 1) * (2 * k + 4));
    for (std::int32_t index : *tree.geometry.GetStripIndices(0)) ASSERT_LT(index, n * (k + 1));
    // The box lies in [-R, R]^2 x [0, L] and spans the height.
    stRegion box;
    tree.geometry.ExtendBounds(box);
    for (int axis = 0; axis < 2; ++axis) {
      EXPECT_GE(box.m_cMin[axis], -r - 1e-5f) << axis;
      EXPECT_LE(box.m_cMax[axis], r + 1e-5f) << axis;
    }
    EXPECT_NEAR(box.m_cMin[2], 0.0f, 1e-5f);
    EXPECT_NEAR(box.m_cMax[2], l, 1e-5f);
  }
  // Segments of length 2: (R + R) x 2 per segment.
  const Computed tree(StraightTrunk());
  EXPECT_NEAR(tree.engine.m_pBranch->m_fSizeMeasure, 4.0f * 0.5f * 3.0f, 1e-4f);
  EXPECT_TRUE(tree.engine.m_pBranch->m_vChildren.empty());
  // Unit normals pointing away from the axis (normal blend 1 at the top).
  const TreeVector<float>& normals = tree.geometry.GetNormals();
  ASSERT_EQ(normals.size(), 3u * 28u);
  for (std::size_t v = 0; v < 28; ++v) {
    EXPECT_NEAR(normals[3 * v] * normals[3 * v] + normals[3 * v + 1] * normals[3 * v + 1] +
                    normals[3 * v + 2] * normals[3 * v + 2],
                1.0f, 1e-4f)
        << v;
  }
}

TEST_F(TreeComputeTest, AComputedTreeGivesBackEverythingItTook) {
  const std::uint32_t before = GetTrackedBytes();
  const std::int32_t branches = CBranch::GetLiveCount();
  {
    SptTree tree = Branchy(3.0f);
    tree.leafMaps.resize(2);  // the leaf-map groups are filled too
    const Computed computed(tree);
    EXPECT_GT(GetTrackedBytes(), before);
  }
  EXPECT_EQ(GetTrackedBytes(), before);
  EXPECT_EQ(CBranch::GetLiveCount(), branches);
  EXPECT_TRUE(CBranch::Settings().m_vLevels.empty());
  EXPECT_EQ(CBranch::Settings().m_pRootSupport, nullptr);
}

TEST_F(TreeComputeTest, ATreeWithoutBranchLevelsBuildsNothing) {
  SptTree tree;
  const Computed computed(tree);
  EXPECT_EQ(computed.geometry.GetVertexCount(), 0);
  ASSERT_NE(computed.engine.m_pBranch, nullptr);
  EXPECT_EQ(computed.engine.m_pBranch->m_nNumVertices, -1);
  EXPECT_EQ(*computed.geometry.GetStripDescriptors(0), (TreeVector<std::int32_t>{0, 0}));
}

TEST_F(TreeComputeTest, ReductionKeepsTwoSpineVerticesAndThreeRingSegments) {
  SptTree tree = StraightTrunk();
  // Length and radius at the bottom of their ranges, full reduction.
  tree.levels[0].curves[4] = CurveText("0 1.5 0", {"0 0 1 0 0.1", "1 0 1 0 0.1"});
  tree.levels[0].curves[5] = CurveText("0 0.125 0", {"0 0 1 0 0.1", "1 0 1 0 0.1"});
  tree.levels[0].segments = 9;
  tree.levels[0].crossSections = 8;
  const Computed computed(tree, [](CTreeEngine& e) {
    e.EditBranchLevel(0).m_fSegmentReduction = 0.0f;
    e.EditBranchLevel(0).m_fCrossSectionReduction = 0.0f;
  });
  EXPECT_EQ(computed.engine.m_pBranch->m_nNumVertices, 2);
  EXPECT_EQ(computed.engine.m_pBranch->m_nNumCrossSections, 3);
  EXPECT_EQ(computed.geometry.GetVertexCount(), 2 * 4);
}

TEST_F(TreeComputeTest, ACrossSectionCountBelowOneStillClosesTheRings) {
  SptTree tree = StraightTrunk();
  tree.levels[0].crossSections = -5;
  const Computed computed(tree);
  // trunc(1 x (-5 - 3) + 3) is below 1: one segment per ring.
  EXPECT_EQ(computed.geometry.GetVertexCount(), 4 * 2);
  for (std::int32_t index : *computed.geometry.GetStripIndices(0)) ASSERT_LT(index, 8);
}

// A trunk with `frequency` children per unit of length relative to the size,
// children of a second level, and a third (leaf) level.
SptTree Branchy(float frequency, float childStartAngle, float disturbance) {
  SptTree tree = StraightTrunk();
  tree.levels[0].frequency = frequency;
  tree.levels[0].curves[0] = Flat(disturbance, disturbance);
  SptLevel child = FlatLevel(0.5f, 0.1f, childStartAngle);  // radius 0.4, under the cap only by 0.85 x parent
  child.curves[0] = Flat(disturbance, disturbance);
  child.frequency = 4.0f;
  tree.levels.push_back(child);
  tree.levels.push_back(FlatLevel(0.1f, 0.01f, 30.0f));
  return tree;
}

TEST_F(TreeComputeTest, ChildrenCountAndRadiusCap) {
  // trunc(2 / 4 x 6) = 3 children; the root-support level is 1, and
  // trunc(0.2 / 4 x 6) adds none.
  const Computed computed(Branchy(2.0f));
  const CBranch& trunk = *computed.engine.m_pBranch;
  ASSERT_EQ(trunk.m_vChildren.size(), 3u);
  for (const SBranchChild& child : trunk.m_vChildren) {
    const SBranchVertex& a = trunk.GetVertices()[child.m_nVertex];
    const SBranchVertex& b = trunk.GetVertices()[child.m_nVertex + 1];
    const float parentRadius = a.m_fRadius + (b.m_fRadius - a.m_fRadius) * child.m_fFraction;
    EXPECT_LE(child.m_pBranch->GetVertices()[0].m_fRadius, 0.85f * parentRadius + 1e-6f);
    EXPECT_GE(child.m_pBranch->m_fPercent, 0.0f);
    EXPECT_LE(child.m_pBranch->m_fPercent, 1.0f);
    EXPECT_EQ(child.m_pBranch->m_pParent, &trunk);
    // Children of the second level are leaves, which are not grown here.
    EXPECT_TRUE(child.m_pBranch->m_vChildren.empty());
  }
  TreeVector<CBranch*> nodes;
  computed.engine.m_pBranch->CollectNodes(nodes);
  EXPECT_EQ(nodes.size(), 4u);
}

TEST_F(TreeComputeTest, DataAskingForTooMuchWorkFailsTheComputeAndTheNextComputeRuns) {
  // Tree data may ask for any number of children or ring vertices; the
  // compute stops at its work budget instead of running for hours or
  // asking for terabytes.
  struct Case {
    const char* what;
    SptTree tree;
  };
  SptTree rings = StraightTrunk();
  rings.levels[0].segments = 100000;
  rings.levels[0].crossSections = 100000;
  const Case cases[] = {
      {"children by the billion", Branchy(1e12f)},
      {"ten billion ring vertices", rings},
  };
  for (const Case& c : cases) {
    EXPECT_THROW(Computed computed(c.tree), std::length_error) << c.what;
    // The budget belongs to one compute: the next one starts afresh.
    const Computed next(Branchy(2.0f));
    EXPECT_EQ(next.engine.m_pBranch->m_vChildren.size(), 3u) << c.what;
  }
  // Outside an engine's compute nothing is charged.
  EXPECT_FALSE(CBranch::Settings().m_bWorkBudget);
  EXPECT_NO_THROW(ChargeComputeWork(kComputeWorkBudget + 1));
}

std::vector<float> Positions(const CIndexedGeometry& g) { return std::vector<float>(g.GetPositions().begin(), g.GetPositions().end()); }

TEST_F(TreeComputeTest, RootSupportsComeOnTopOfTheRegularChildren) {
  // A trunk of L = 6 at size 4: trunc(2 / 4 x 6) = 3 regular children and,
  // with a root-support frequency of 2 for level 1, 3 root supports in its
  // window [0, 0.15]; flat density, no kinks, no filter: all are kept.
  const Computed computed(Branchy(2.0f), [](CTreeEngine& e) { e.m_pRootSupport->m_fValue40005 = 2.0f; });
  const CBranch& trunk = *computed.engine.m_pBranch;
  ASSERT_EQ(trunk.m_vChildren.size(), 6u);
  for (std::size_t c = 3; c < 6; ++c) {
    const CBranch& support = *trunk.m_vChildren[c].m_pBranch;
    // Placed low on the trunk, and growing no children of their own.
    EXPECT_LE(support.GetVertices()[0].m_vPosition.z, 0.15f * 6.0f + 1e-4f) << c;
    EXPECT_TRUE(support.m_vChildren.empty()) << c;
  }
}

TEST_F(TreeComputeTest, IndicesStayWholePast65535Vertices) {
  // 301 rings of 250 segments: 75,551 vertices in one strip.
  SptTree tree = StraightTrunk();
  tree.levels[0].segments = 300;
  tree.levels[0].crossSections = 250;
  const Computed computed(tree);
  const std::int32_t vertices = 301 * 251;
  ASSERT_EQ(computed.geometry.GetVertexCount(), vertices);
  const TreeVector<std::int32_t>& indices = *computed.geometry.GetStripIndices(0);
  ASSERT_EQ(indices.size(), 300u * (2 * 250 + 4));
  std::int32_t largest = 0;
  for (std::size_t i = 0; i < indices.size(); ++i) {
    ASSERT_GE(indices[i], 0) << i;
    ASSERT_LT(indices[i], vertices) << i;
    largest = std::max(largest, indices[i]);
  }
  EXPECT_EQ(largest, vertices - 1);
  // The last pair of the last segment (its seam vertices, past 16 bits),
  // then the join repeating the next ring's index.
  const std::size_t n = indices.size();
  EXPECT_EQ(indices[n - 4], vertices - 1);
  EXPECT_EQ(indices[n - 3], vertices - 252);
  EXPECT_EQ(indices[n - 2], vertices - 1);
  EXPECT_EQ(indices[n - 1], vertices - 1);
}

TEST_F(TreeComputeTest, ASeedAtTheTopOfItsRangeWrapsAndStaysReproducible) {
  // seed + 3 for the first child passes 2^31: it wraps as an unsigned value
  // and reseeds as data would, never from the clock.
  SptTree tree = Branchy(3.0f, 45.0f, 5.0f);
  tree.seed = 2147483647;
  std::vector<float> first;
  {
    const Computed a(tree);
    ASSERT_EQ(a.engine.m_pBranch->m_vChildren.size(), 4u);
    first = Positions(a.geometry);
  }
  const Computed b(tree);
  EXPECT_EQ(Positions(b.geometry), first);
}

// Invariants every computed geometry keeps: every recorded per-vertex array
// holds one entry per vertex (two floats in each texture layer it fills),
// unit normals, indices within the vertices, and no
// LOD holds more strips than the one before.
void ExpectSoundGeometry(const CIndexedGeometry& g, const std::string& name) {
  const std::size_t vertices = static_cast<std::size_t>(g.GetVertexCount());
  ASSERT_GT(vertices, 0u) << name;
  EXPECT_EQ(g.GetPositions().size(), 3 * vertices) << name;
  EXPECT_EQ(g.GetNormals().size(), 3 * vertices) << name;
  EXPECT_EQ(g.GetBinormals().size(), 3 * vertices) << name;
  EXPECT_EQ(g.GetTangents().size(), 3 * vertices) << name;
  EXPECT_EQ(g.GetLodFades().size(), vertices) << name;
  for (int layer = 0; layer < 7; ++layer) {
    const std::size_t size = g.GetTexLayer(layer).size();
    if (layer == 0 || size != 0) {
      EXPECT_EQ(size, 2 * vertices) << name << " layer " << layer;
    }
  }
  for (std::size_t v = 0; v < vertices; ++v) {
    const float* n = &g.GetNormals()[3 * v];
    ASSERT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0f, 1e-3f) << name << " vertex " << v;
  }
  std::size_t previous = SIZE_MAX;
  for (std::int32_t lod = 0; lod < g.GetNumLods(); ++lod) {
    for (std::int32_t index : *g.GetStripIndices(lod)) {
      ASSERT_GE(index, 0) << name;
      ASSERT_LT(static_cast<std::size_t>(index), vertices) << name;
    }
    const std::size_t strips = g.GetStripDescriptors(lod)->size() / 2;
    EXPECT_LE(strips, previous) << name << " LOD " << lod;
    previous = strips;
  }
}

// What one computation of a gallery tree gave: branch, frond and leaf
// positions.
struct GalleryResult {
  std::vector<float> branches;
  std::vector<float> fronds;
  std::vector<float> leaves;
  bool operator==(const GalleryResult&) const = default;
};

GalleryResult ComputeGalleryTree(const SptTree& tree, bool withFronds, const std::string& name) {
  GalleryResult result;
  CFrondEngine fronds;
  if (withFronds) {
    // Every branch of level 1 becomes a frond.
    fronds.m_ucFrondsEnabled = 1;
    fronds.m_nFirstFrondLevel = 1;
    fronds.m_fKindThreshold = 0.0f;
    fronds.m_nUpperKind = 0;
    fronds.m_nLowerKind = 0;
    CBranch::Settings().m_pFrondEngine = &fronds;
  }
  {
    const Computed computed(tree);
    CBranch::Settings().m_pFrondEngine = nullptr;
    ExpectSoundGeometry(computed.geometry, name);
    result.branches = Positions(computed.geometry);
    for (const SBillboardLeaf& leaf : computed.engine.m_vLeaves) {
      EXPECT_NEAR(FastLength(leaf.m_avCorners1[0]), 1.0f, 0.07f) << name;
      EXPECT_LT(leaf.m_ucLeafMapByte, 2 * tree.leafMaps.size()) << name;
      result.leaves.insert(result.leaves.end(), {leaf.m_vPosition.x, leaf.m_vPosition.y, leaf.m_vPosition.z});
    }
  }
  if (withFronds) {
    EXPECT_FALSE(fronds.m_vFronds.empty()) << name;
    CIndexedGeometry frondGeometry(nullptr, true);
    fronds.Compute(&frondGeometry, nullptr);
    ExpectSoundGeometry(frondGeometry, name + " fronds");
    result.fronds = Positions(frondGeometry);
  }
  return result;
}

TEST_F(TreeComputeTest, GalleryKeepsItsInvariantsAndItsSeed) {
  struct Case {
    const char* name;
    SptTree tree;
    bool fronds;
  };
  SptTree conifer = Branchy(6.0f, 80.0f, 5.0f);
  conifer.levels[0].crossSections = 8;
  conifer.leafMaps.resize(1);
  SptTree broadleaf = Branchy(3.0f, 40.0f, 10.0f);
  broadleaf.levels[0].segments = 6;
  broadleaf.leafMaps.resize(3);
  broadleaf.leafMaps[0].flag = true;
  SptTree bush = Branchy(4.0f, 20.0f, 20.0f);
  bush.levels[0].curves[4] = Flat(0.4f);
  bush.leafMaps.resize(2);
  bush.leaf3008 = 1;  // spacing against each branch's own leaves
  // A bare trunk crowned with fronds near its top, and leaves on them.
  SptTree palm = Branchy(3.0f, 70.0f, 3.0f);
  palm.levels[0].firstChild = 0.85f;
  palm.levels[1].frequency = 30.0f;
  palm.leafMaps.resize(1);
  SptTree leafless = Branchy(2.0f, 60.0f, 2.0f);
  leafless.levels.pop_back();
  const Case cases[] = {{"conifer", conifer, false},
                        {"broadleaf", broadleaf, false},
                        {"bush", bush, false},
                        {"frond palm", palm, true},
                        {"leafless", leafless, false}};
  for (const Case& c : cases) {
    const GalleryResult first = ComputeGalleryTree(c.tree, c.fronds, c.name);
    EXPECT_EQ(first.leaves.empty(), c.tree.leafMaps.empty()) << c.name;
    SptTree other = c.tree;
    other.seed = c.tree.seed + 17;
    const GalleryResult second = ComputeGalleryTree(other, c.fronds, c.name);
    EXPECT_NE(second.branches, first.branches) << c.name << ": another seed";
    EXPECT_TRUE(ComputeGalleryTree(c.tree, c.fronds, c.name) == first) << c.name << ": A, B, A";
  }
}

TEST_F(TreeComputeTest, FrondBranchesGoToTheFrondEngine) {
  CFrondEngine fronds;
  fronds.m_ucFrondsEnabled = 1;
  fronds.m_nFirstFrondLevel = 1;
  fronds.m_fKindThreshold = 0.0f;  // every percent is above: the upper kind
  fronds.m_nUpperKind = 0;
  CBranch::Settings().m_pFrondEngine = &fronds;
  const Computed computed(Branchy(2.0f));
  CBranch::Settings().m_pFrondEngine = nullptr;
  // The trunk stays a branch; its three children became fronds.
  EXPECT_EQ(computed.geometry.GetVertexCount(), 4 * 7);
  ASSERT_EQ(fronds.m_vFronds.size(), 3u);
  EXPECT_EQ(fronds.m_vFronds[0].m_nNumFrames, 4);
  EXPECT_TRUE(computed.engine.m_pBranch->m_vChildren.empty());
}

TEST_F(TreeComputeTest, Flares) {
  SFlare flare;
  flare.m_fAngle = 1.0f;
  flare.m_fWidth = 0.5f;
  flare.m_fRadialExponent = 1.0f;
  flare.m_fHeight = 0.25f;
  flare.m_fVerticalExponent = 1.0f;
  flare.m_fMagnitude = 2.0f;
  EXPECT_EQ(CBranch::FlareValue(flare, 1.0f, 0.0f), 2.0f);  // full magnitude at its own angle, at height 0
  EXPECT_EQ(CBranch::FlareValue(flare, 1.5f, 0.0f), 0.0f);  // at its width
  EXPECT_EQ(CBranch::FlareValue(flare, 0.4f, 0.1f), 0.0f);  // beyond it
  EXPECT_EQ(CBranch::FlareValue(flare, 1.0f, 0.25f), 0.0f);  // at its height
  EXPECT_FLOAT_EQ(CBranch::FlareValue(flare, 1.25f, 0.125f), 2.0f * 0.5f * 0.5f);
  // Measured the short way round the trunk.
  flare.m_fAngle = 0.1f;
  EXPECT_GT(CBranch::FlareValue(flare, kTwoPi - 0.1f, 0.0f), 0.0f);
}

TEST_F(TreeComputeTest, FlareGeneratorSequence) {
  CFlareRandom::Seed(1);
  EXPECT_EQ(CFlareRandom::Next(), 41);
  EXPECT_EQ(CFlareRandom::Next(), 18467);
  EXPECT_EQ(CFlareRandom::Next(), 6334);
}

}  // namespace
}  // namespace trt
