// The tree model: its lifecycle and process-wide state, the guarded
// operations and their refusals, computing, and the geometry it hands out.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "treeruntime/branch.h"
#include "treeruntime/frond_engine.h"
#include "treeruntime/indexed_geometry.h"
#include "treeruntime/leaf_geometry.h"
#include "treeruntime/leafy_trunk.h"
#include "treeruntime/lighting_engine.h"
#include "treeruntime/spt_builder.h"
#include "treeruntime/tree_engine.h"
#include "treeruntime/tree_model_util.h"
#include "treeruntime/tree_rt.h"
#include "treeruntime/tree_test_util.h"
#include "treeruntime/wind_matrices.h"

namespace trt {
namespace {

using test::Bytes;
using test::SptTree;

using test::Load;
using test::Save;

// A trunk whose branches are drawn as fronds and bear leaves of two leaf
// maps.
Bytes LeafyFrondBlock() {
  SptTree tree = test::LeafyTrunk();
  tree.levels[0].frequency = 3.0f;
  tree.levels[1] = test::FlatLevel(0.5f, 0.1f, 45.0f);
  tree.levels[1].frequency = 4.0f;
  tree.levels.push_back(test::FlatLevel(0.1f, 0.01f, 30.0f));
  tree.leafMaps.resize(2);
  CTreeRT model;
  EXPECT_TRUE(Load(model, test::BuildSpt(tree)));
  CFrondEngine& fronds = *model.GetFrondEngine();
  fronds.m_ucFrondsEnabled = 1;
  fronds.m_nFirstFrondLevel = 1;
  fronds.m_nFrondType = 0;
  fronds.m_fLodFractionLast = 0.5f;
  return Save(model);
}

// Everything of the geometry record's parts that can be compared by value.
struct Snapshot {
  std::vector<float> branchCoords;
  std::vector<float> frondCoords;
  std::vector<std::int32_t> branchStrips;
  std::vector<std::int32_t> leafCounts;
  std::vector<float> leafCentres;
  std::vector<float> sizes;

  bool operator==(const Snapshot&) const = default;
};

Snapshot Take(CTreeRT& model) {
  CTreeRT::SGeometry g;
  model.GetGeometry(g, 15);
  Snapshot s;
  s.branchCoords.assign(g.m_sBranches.m_pCoords, g.m_sBranches.m_pCoords + 3 * g.m_sBranches.m_nNumVertices);
  if (g.m_sFronds.m_pCoords != nullptr) {
    s.frondCoords.assign(g.m_sFronds.m_pCoords, g.m_sFronds.m_pCoords + 3 * g.m_sFronds.m_nNumVertices);
  }
  for (std::int32_t l = 0; l < g.m_sBranches.m_nNumLods; ++l) {
    for (std::int32_t k = 0; k < g.m_sBranches.m_pNumStrips[l]; ++k) {
      const std::int32_t length = g.m_sBranches.m_pStripLengths[l][k];
      s.branchStrips.insert(s.branchStrips.end(), g.m_sBranches.m_pStrips[l][k], g.m_sBranches.m_pStrips[l][k] + length);
    }
  }
  for (std::int32_t l = 0; l < g.m_nNumLeafLods; ++l) {
    s.leafCounts.push_back(g.m_pLeaves[l].m_nLeafCount);
    s.leafCentres.insert(s.leafCentres.end(), g.m_pLeaves[l].m_pCenterCoords,
                         g.m_pLeaves[l].m_pCenterCoords + 3 * g.m_pLeaves[l].m_nLeafCount);
  }
  s.sizes.assign(model.GetTreeSizes(), model.GetTreeSizes() + 7);
  return s;
}

class TreeModelTest : public ::testing::Test {
 protected:
  void SetUp() override { CTreeRT::ResetRuntimeState(); }
  void TearDown() override { CTreeRT::ResetRuntimeState(); }
};

TEST_F(TreeModelTest, ModelsAreListedCountedAndFreedToTheLastByte) {
  const std::uint32_t before = GetTrackedBytes();
  ASSERT_EQ(CTreeRT::GetNumTrees(), 0);
  ASSERT_EQ(CTreeRT::GetUniqueTrees(), nullptr);
  {
    CTreeRT* a = new CTreeRT;
    CTreeRT* b = new CTreeRT;
    EXPECT_EQ(CTreeRT::GetNumTrees(), 2);
    ASSERT_NE(CTreeRT::GetUniqueTrees(), nullptr);
    EXPECT_EQ(*CTreeRT::GetUniqueTrees(), (TreeVector<CTreeRT*>{a, b}));
    // The newest model's lighting engine is the current one.
    EXPECT_EQ(CTreeRT::GetCurrentLightingEngine(), b->GetLightingEngine());
    EXPECT_TRUE(Load(*a, LeafyFrondBlock()));
    EXPECT_TRUE(a->Compute(nullptr, 1, true));
    CTreeRT::SetNumWindMatrices(12);
    delete a;
    EXPECT_EQ(*CTreeRT::GetUniqueTrees(), (TreeVector<CTreeRT*>{b}));
    EXPECT_EQ(CTreeRT::GetNumTrees(), 1);
    delete b;
  }
  EXPECT_EQ(CTreeRT::GetNumTrees(), 0);
  EXPECT_EQ(CTreeRT::GetUniqueTrees(), nullptr);
  EXPECT_EQ(CWindMatrices::GetNumSharedMatrices(), 0u) << "the shared wind table goes with the last model";
  EXPECT_EQ(CTreeRT::GetCurrentLightingEngine(), nullptr);
  EXPECT_EQ(CTreeRT::GetCurrentFrondEngine(), nullptr);
  EXPECT_EQ(GetTrackedBytes(), before);
}

TEST_F(TreeModelTest, TheTestTreesAreFixedPointsOfLoadAndSaveBeforeAndAfterCompute) {
  for (const Bytes& block : {LeafyFrondBlock(), test::BuildSpt(test::LeafyTrunk()), test::BuildSpt(SptTree())}) {
    CTreeRT model;
    ASSERT_TRUE(Load(model, block));
    const Bytes saved = Save(model);
    CTreeRT again;
    ASSERT_TRUE(Load(again, saved));
    EXPECT_EQ(Save(again), saved);
    // Computing with the data's seed changes nothing that is saved once the
    // leaf maps' absolute sizes follow the tree size.
    ASSERT_TRUE(again.Compute(nullptr, 1, true));
    CTreeRT computed;
    ASSERT_TRUE(Load(computed, Save(again)));
    EXPECT_EQ(Save(computed), Save(again));
  }
}

TEST_F(TreeModelTest, ANewModelHoldsItsDefaults) {
  CTreeRT model;
  EXPECT_FALSE(model.IsComputed());
  float box[6];
  model.GetBoundingBox(box);
  EXPECT_EQ(std::vector<float>(box, box + 6), (std::vector<float>{0, 0, 0, 1, 1, 1}));
  EXPECT_EQ(std::vector<float>(model.GetTreeSizes(), model.GetTreeSizes() + 7),
            (std::vector<float>{0, 0, 0, 1, 1, 1, 1}));
  EXPECT_EQ(model.m_nLodMode, 1);
  EXPECT_EQ(model.m_fLeafLodSizeFactor, 0.5f);
  EXPECT_EQ(model.m_afStandardShader[7], 0.5f);
  EXPECT_EQ(model.GetNumBranchLodLevels(), 6);
  EXPECT_EQ(model.GetNumFrondLodLevels(), 0);
  model.GetBoundingBox(nullptr);
  EXPECT_EQ(CTreeRT::GetLastError(), "GetBoundingBox() expects a non-NULL parameter");
  // The geometry record's constructed state.
  CTreeRT::SGeometry g;
  EXPECT_EQ(g.m_sBillboard.m_nNumImages, -1);
  EXPECT_EQ(g.m_sBillboard.m_afLimits[1], 255.0f);
  EXPECT_EQ(g.m_afTrailing[CTreeRT::SGeometry::kNumTrailingWords - 1], 255.0f);
  const CTreeRT::SLodSelection selection;
  EXPECT_EQ(selection.m_nBranchLod, -1);
  EXPECT_EQ(selection.m_fLeafFade2, -1.0f);
}

TEST_F(TreeModelTest, ASecondComputeChangesNothing) {
  CTreeRT model;
  ASSERT_TRUE(Load(model, LeafyFrondBlock()));
  ASSERT_TRUE(model.Compute(nullptr, 1, true));
  const Snapshot first = Take(model);
  ASSERT_FALSE(first.branchCoords.empty());
  ASSERT_FALSE(first.frondCoords.empty());
  ASSERT_FALSE(first.leafCounts.empty());
  ASSERT_GT(first.leafCounts[0], 0);
  EXPECT_TRUE(model.Compute(nullptr, 77, false));
  EXPECT_EQ(CTreeRT::GetLastError(), "Compute() called more than once for single tree model (ignored)");
  EXPECT_EQ(Take(model), first);
}

TEST_F(TreeModelTest, TreeSizesThatAreNotAboveZeroAreRefused) {
  CTreeRT model;
  for (float size : {0.0f, -2.0f, std::numeric_limits<float>::quiet_NaN()}) {
    model.SetTreeSize(size, 1.0f);
    EXPECT_EQ(CTreeRT::GetLastError(), "SetTreeSize() is only valid for size values greater than 0.0") << size;
    EXPECT_EQ(model.GetEngine()->m_fOverrideSize, -1.0f) << size;
  }
  model.SetTreeSize(8.0f, 0.5f);
  EXPECT_EQ(model.GetEngine()->m_fOverrideSize, 8.0f);
  EXPECT_EQ(model.GetEngine()->m_fOverrideVariance, 0.5f);
}

TEST_F(TreeModelTest, ATreeSizeSetAfterLoadingIsTheSizeComputed) {
  const Bytes block = test::BuildSpt(test::LeafyTrunk());  // size 4, trunk 1.5 x size
  for (float size : {4.0f, 8.0f}) {
    CTreeRT model;
    ASSERT_TRUE(Load(model, block));
    model.SetTreeSize(size, 0.0f);
    ASSERT_TRUE(model.Compute(nullptr, 1, true));
    EXPECT_EQ(model.GetEngine()->m_fSize, size);
    EXPECT_NEAR(model.GetTreeSizes()[5], 1.5f * size, 0.2f * size) << size;
  }
}

TEST_F(TreeModelTest, SettersWorkBeforeComputeAndAreRefusedAfter) {
  CTreeRT model;
  ASSERT_TRUE(Load(model, LeafyFrondBlock()));
  model.SetLeafWindMethod(1);
  EXPECT_TRUE(model.GetLeafGeometry()->HasLeafWind());
  model.SetLeafWindMethod(2);
  EXPECT_FALSE(model.GetLeafGeometry()->HasLeafWind());
  EXPECT_EQ(model.GetWindEngine()->m_nLeafWindMethod, 2);
  model.SetLeafLightingMethod(1);
  EXPECT_TRUE(model.GetLeafGeometry()->HasStaticLighting());
  model.SetBranchLightingMethod(1);
  EXPECT_TRUE(model.GetBranchGeometry()->HasStaticLighting());
  model.SetFrondLightingMethod(0);
  EXPECT_FALSE(model.GetFrondGeometry()->HasStaticLighting());

  // Branch wind 1, then 2: the bend is undone (the geometry's wind effect
  // runs once more from the rest positions) and the wind data goes.
  model.SetBranchWindMethod(1);
  EXPECT_TRUE(model.GetBranchGeometry()->HasWindData());
  EXPECT_EQ(model.GetBranchGeometry()->GetWindMethod(), 1);
  model.GetBranchGeometry()->ArmWindEffect();
  model.SetBranchWindMethod(2);
  EXPECT_TRUE(model.GetBranchGeometry()->IsWindEffectDone());
  EXPECT_FALSE(model.GetBranchGeometry()->HasWindData());
  EXPECT_EQ(model.GetWindEngine()->m_nBranchWindMethod, 2);
  model.SetFrondWindMethod(1);
  EXPECT_EQ(model.GetWindEngine()->m_nFrondWindMethod, 1);
  EXPECT_TRUE(model.GetFrondGeometry()->HasWindData());

  ASSERT_TRUE(model.Compute(nullptr, 1, true));
  const struct {
    void (CTreeRT::*setter)(std::int32_t);
    const char* text;
  } refusals[] = {
      {&CTreeRT::SetBranchLightingMethod, "SetBranchLightingMethod() has no effect after Compute() has been called"},
      {&CTreeRT::SetLeafLightingMethod, "SetLeafLightingMethod() has no effect after Compute() has been called"},
      {&CTreeRT::SetFrondLightingMethod, "SetFrondLightingMethod() has no effect after Compute() has been called"},
      {&CTreeRT::SetBranchWindMethod, "SetBranchWindMethod() has no effect after Compute() has been called"},
      {&CTreeRT::SetLeafWindMethod, "SetLeafWindMethod() has no effect after Compute() has been called"},
      {&CTreeRT::SetFrondWindMethod, "SetFrondWindMethod() has no effect after Compute() has been called"},
  };
  for (const auto& refusal : refusals) {
    (model.*refusal.setter)(1);
    EXPECT_EQ(CTreeRT::GetLastError(), refusal.text);
  }
  EXPECT_EQ(model.GetWindEngine()->m_nLeafWindMethod, 2);
  EXPECT_FALSE(model.GetLeafGeometry()->HasLeafWind());
  EXPECT_EQ(model.GetWindEngine()->m_nBranchWindMethod, 2);
}

TEST_F(TreeModelTest, WindMatrixCountsBelowTwoGiveOneIdentity) {
  CTreeRT model;
  for (std::int32_t count : {0, -5, 1}) {
    CTreeRT::SetNumWindMatrices(count);
    ASSERT_EQ(CWindMatrices::GetNumSharedMatrices(), 1u) << count;
    EXPECT_EQ(*CWindMatrices::GetSharedMatrix(0), stMat4()) << count;
  }
  CTreeRT::SetNumWindMatrices(10);
  EXPECT_EQ(CWindMatrices::GetNumSharedMatrices(), 10u);
  // Loading takes the range of the current table.
  ASSERT_TRUE(Load(model, test::BuildSpt(SptTree())));
  EXPECT_EQ(model.GetWindEngine()->m_uNumMatrices, 10u);
}

TEST_F(TreeModelTest, GeometryRequestsFillOnlyTheirParts) {
  CTreeRT model;
  ASSERT_TRUE(Load(model, LeafyFrondBlock()));
  // Before Compute the leaf part is empty (no records to hand out).
  CTreeRT::SGeometry early;
  model.GetGeometry(early, CTreeRT::kLeafGeometry);
  EXPECT_EQ(early.m_nNumLeafLods, 0);
  EXPECT_EQ(early.m_pLeaves, nullptr);

  ASSERT_TRUE(model.Compute(nullptr, 1, true));
  CTreeRT::SGeometry g;
  g.m_sBranches.m_nNumVertices = 1234;
  model.GetGeometry(g, 0);
  EXPECT_EQ(g.m_sBranches.m_nNumVertices, 1234);
  EXPECT_EQ(g.m_nNumLeafLods, 0);

  model.GetGeometry(g, CTreeRT::kFrondGeometry);
  EXPECT_EQ(g.m_sBranches.m_nNumVertices, 1234) << "only the frond part was asked for";
  EXPECT_EQ(g.m_sFronds.m_nNumLods, model.GetNumFrondLodLevels());
  EXPECT_EQ(g.m_sFronds.m_nNumVertices, model.GetFrondGeometry()->GetVertexCount());

  model.GetGeometry(g, CTreeRT::kBranchGeometry | CTreeRT::kLeafGeometry | CTreeRT::kBillboardGeometry);
  const CIndexedGeometry& branches = *model.GetBranchGeometry();
  EXPECT_EQ(g.m_sBranches.m_nNumLods, model.GetNumBranchLodLevels());
  EXPECT_EQ(g.m_sBranches.m_nNumVertices, branches.GetVertexCount());
  EXPECT_EQ(g.m_sBranches.m_pCoords, branches.GetPositions().data());
  EXPECT_EQ(g.m_sBranches.m_pNumStrips, branches.GetNumStrips());
  EXPECT_EQ(g.m_sBranches.m_pColors, nullptr) << "no static lighting";
  EXPECT_NE(g.m_sBranches.m_pNormals, nullptr);
  // Strips were combined: one per LOD.
  for (std::int32_t l = 0; l < g.m_sBranches.m_nNumLods; ++l) EXPECT_LE(g.m_sBranches.m_pNumStrips[l], 1) << l;
  ASSERT_EQ(g.m_nNumLeafLods, model.GetEngine()->GetNumLeafLods());
  for (std::int32_t l = 0; l < g.m_nNumLeafLods; ++l) EXPECT_EQ(g.m_pLeaves[l].m_nLodIndex, l);
  EXPECT_EQ(g.m_sBillboard.m_fWidth, model.GetTreeSizes()[6]);
  EXPECT_EQ(g.m_sBillboard.m_fHeight, model.GetTreeSizes()[5]);
  EXPECT_EQ(g.m_sBillboard.m_nNumImages, -1) << "no embedded coordinates";
}

TEST_F(TreeModelTest, TheBoxAndFootprintOfAComputedTree) {
  CTreeRT model;
  ASSERT_TRUE(Load(model, LeafyFrondBlock()));
  ASSERT_TRUE(model.Compute(nullptr, 1, true));
  const float* s = model.GetTreeSizes();
  EXPECT_LT(s[0], s[3]);
  EXPECT_LT(s[2], s[5]);
  float largest = 0.0f;
  for (float x : {s[0], s[3]}) {
    for (float y : {s[1], s[4]}) largest = std::max(largest, FastLength(stVec3(x, y, 0.0f)));
  }
  EXPECT_EQ(s[6], 2.0f * largest);
  float box[6];
  model.GetBoundingBox(box);
  EXPECT_EQ(std::vector<float>(box, box + 6), std::vector<float>(s, s + 6));
}

TEST_F(TreeModelTest, ATreeWithNothingInItKeepsTheInitialSizes) {
  CTreeRT model;
  ASSERT_TRUE(Load(model, test::BuildSpt(SptTree())));
  ASSERT_TRUE(model.Compute(nullptr, 1, true));
  EXPECT_EQ(std::vector<float>(model.GetTreeSizes(), model.GetTreeSizes() + 7),
            (std::vector<float>{0, 0, 0, 1, 1, 1, 1}));
}

TEST_F(TreeModelTest, CollisionSizesFollowTheLengthsOfTheTransformRows) {
  struct Case {
    const char* name;
    float matrix[16];
    float position[3];
    float sphere;
    float box[3];
  };
  const Case cases[] = {
      {"x scaled by 2", {2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, {2, 2, 3}, 2.0f, {2, 2, 3}},
      // 90 degrees about z: the diagonal is (0, 0, 1), the rows keep length 1.
      {"turned about z", {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 5, 0, 0, 1}, {3, 1, 3}, 1.0f, {1, 2, 3}},
  };
  for (const Case& c : cases) {
    CTreeRT model;
    ASSERT_TRUE(Load(model, test::BuildSpt(test::LeafyTrunk())));
    SCollisionObject sphere;
    sphere.m_afPosition[0] = 1.0f;
    sphere.m_afPosition[1] = 2.0f;
    sphere.m_afPosition[2] = 3.0f;
    sphere.m_afDimensions[0] = 1.0f;
    SCollisionObject box;
    box.m_uType = SCollisionObject::kBox;
    box.m_afDimensions[0] = 1.0f;
    box.m_afDimensions[1] = 2.0f;
    box.m_afDimensions[2] = 3.0f;
    model.MakeCollisionObjects() = {sphere, box};
    ASSERT_TRUE(model.Compute(c.matrix, 1, false));
    const SCollisionObject& s = (*model.GetCollisionObjects())[0];
    for (int k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(s.m_afPosition[k], c.position[k]) << c.name << " " << k;
    EXPECT_FLOAT_EQ(s.m_afDimensions[0], c.sphere) << c.name;
    const SCollisionObject& b = (*model.GetCollisionObjects())[1];
    for (int k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(b.m_afDimensions[k], c.box[k]) << c.name << " " << k;
  }
}

TEST_F(TreeModelTest, ComputeUsesItsOwnLightingEngineNotTheNewestModels) {
  CTreeRT older;
  ASSERT_TRUE(Load(older, test::BuildSpt(test::LeafyTrunk())));
  CTreeRT newer;
  EXPECT_EQ(CTreeRT::GetCurrentLightingEngine(), newer.GetLightingEngine());
  ASSERT_TRUE(older.Compute(nullptr, 1, true));
  EXPECT_EQ(CTreeRT::GetCurrentLightingEngine(), older.GetLightingEngine());
  EXPECT_EQ(CTreeRT::GetCurrentFrondEngine(), older.GetFrondEngine());
}

TEST_F(TreeModelTest, TheSeedFollowsTheRuleOfTheSeedToken) {
  const Bytes block = test::BuildSpt(test::LeafyTrunk());
  auto computed = [&](std::uint32_t seed) {
    CTreeRT model;
    EXPECT_TRUE(Load(model, block));
    EXPECT_TRUE(model.Compute(nullptr, seed, true));
    return std::make_pair(model.GetEngine()->m_nSeed, Take(model));
  };
  EXPECT_EQ(computed(1).first, 1200) << "1 keeps the data's seed";
  EXPECT_EQ(computed(5).first, 5);
  // 0xFFFFFFFF is a seed like any other, never the clock: two computes agree.
  const auto all = computed(0xFFFFFFFFu);
  EXPECT_EQ(all.first, -1);
  EXPECT_EQ(computed(0xFFFFFFFFu).second, all.second);
  const std::int32_t fromClock = computed(0).first;
  EXPECT_GE(fromClock, 2);
  EXPECT_LE(fromClock, 1000000);
}

TEST_F(TreeModelTest, ACloneComputesToTheSameGeometry) {
  CTreeRT model;
  ASSERT_TRUE(Load(model, LeafyFrondBlock()));
  CTreeRT* clone = model.Clone();
  ASSERT_NE(clone, nullptr);
  EXPECT_FALSE(clone->IsComputed());
  EXPECT_EQ(CTreeRT::GetNumTrees(), 2);
  ASSERT_TRUE(model.Compute(nullptr, 3, true));
  ASSERT_TRUE(clone->Compute(nullptr, 3, true));
  EXPECT_EQ(Take(*clone), Take(model));
  // A computed model clones too.
  CTreeRT* second = model.Clone();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(Save(*second), Save(model));
  delete second;
  delete clone;
}

TEST_F(TreeModelTest, WithoutTransientDataTheModelRefuses) {
  const std::uint32_t before = GetTrackedBytes();
  {
    CTreeRT model;
    ASSERT_TRUE(Load(model, test::BuildSpt(test::LeafyTrunk())));
    model.GetEngine()->FreeTransientData();
    std::uint32_t size = 7;
    EXPECT_EQ(model.SaveTree(size, false), nullptr);
    EXPECT_EQ(CTreeRT::GetLastError(), "cannot Save() after DeleteTransientData() is called");
    model.SetTreeSize(3.0f, 0.0f);
    EXPECT_EQ(CTreeRT::GetLastError(), "SetTreeSize() has no effect after DeleteTransientData() has been called");
    EXPECT_EQ(model.Clone(), nullptr);
  }
  EXPECT_EQ(CTreeRT::GetLastError(), "DeleteTransientData() called with no intact transient data");
  EXPECT_EQ(GetTrackedBytes(), before);
}

TEST_F(TreeModelTest, MalformedDataFailsTheLoadWithTheGuardText) {
  CTreeRT model;
  const std::uint8_t garbage[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_FALSE(model.LoadTree(garbage, 8));
  EXPECT_EQ(CTreeRT::GetLastError(), "CTreeRT::LoadTree(Memory block) - threw an unknown system exception");
  CTreeRT::ResetRuntimeState();
  EXPECT_FALSE(model.LoadTree(nullptr, 100));
  EXPECT_EQ(CTreeRT::GetLastError(), "CTreeRT::LoadTree(Memory block) - threw an unknown system exception");
  EXPECT_FALSE(model.LoadTree(garbage, -8));
}

// Passes every call to malloc until armed, then refuses the next ones;
// with a countdown, it arms itself after that many more calls.
class FailingWhenArmed : public CTreeAllocator {
 public:
  void* Alloc(std::size_t size, std::size_t) override {
    if (countdown > 0 && --countdown == 0) armed = true;
    return armed ? nullptr : std::malloc(size);
  }
  void Free(void* block) override { std::free(block); }
  bool armed = false;
  int countdown = 0;
};

TEST_F(TreeModelTest, AFailingAllocationFailsTheComputeAndLeaksNothing) {
  const std::uint32_t before = GetTrackedBytes();
  FailingWhenArmed allocator;
  {
    test::InstalledAllocator installed(&allocator);
    // The object itself comes from the installed allocator too.
    allocator.armed = true;
    EXPECT_THROW(delete new CTreeRT, std::bad_alloc);
    allocator.armed = false;
    CTreeRT* model = new CTreeRT;
    ASSERT_TRUE(Load(*model, LeafyFrondBlock()));
    allocator.armed = true;
    EXPECT_FALSE(model->Compute(nullptr, 1, true));
    EXPECT_EQ(CTreeRT::GetLastError(), "CTreeRT::Compute - failed [bad allocation]");
    EXPECT_FALSE(model->IsComputed());
    std::uint32_t size = 0;
    EXPECT_EQ(model->SaveTree(size, false), nullptr);
    EXPECT_EQ(CTreeRT::GetLastError(), "CTreeRT::SaveTree - failed [bad allocation]");
    allocator.armed = false;
    delete model;
  }
  EXPECT_EQ(GetTrackedBytes(), before);
}

TEST_F(TreeModelTest, AModelWhoseConstructionFailedRefusesEverything) {
  const std::uint32_t before = GetTrackedBytes();
  FailingWhenArmed allocator;
  {
    test::InstalledAllocator installed(&allocator);
    CTreeRT* keeper = new CTreeRT;
    // The object and its first three parts are made, the fourth part fails.
    allocator.countdown = 5;
    CTreeRT* model = new CTreeRT;
    allocator.armed = false;
    {
      EXPECT_EQ(CTreeRT::GetLastError(), "CTreeRT::CTreeRT( ) - failed [bad allocation]");
      const Bytes block = test::BuildSpt(SptTree());
      EXPECT_FALSE(Load(*model, block));
      EXPECT_EQ(CTreeRT::GetLastError(), "CTreeRT::LoadTree(Memory block) - failed [incomplete tree model]");
      EXPECT_FALSE(model->Compute(nullptr, 1, true));
      delete model;
    }
    EXPECT_EQ(CTreeRT::GetNumTrees(), 1);
    delete keeper;
  }
  EXPECT_EQ(CTreeRT::GetNumTrees(), 0);
  EXPECT_EQ(GetTrackedBytes(), before);
}

TEST_F(TreeModelTest, StaticLeafLightingRunsWithTheLeafMethodOne) {
  CTreeRT model;
  ASSERT_TRUE(Load(model, LeafyFrondBlock()));
  stLight light;
  light.m_fKind = 0.0f;
  light.m_afPosition[2] = 1.0f;
  ASSERT_TRUE(CLightingEngine::SetLight(0, light, true));
  model.GetLightingEngine()->m_nLeafLightingFlags = CLightingEngine::kStoreCornerColors;
  model.SetLeafLightingMethod(1);
  ASSERT_TRUE(model.Compute(nullptr, 1, true));
  const TreeVector<SBillboardLeaf>& leaves = model.GetEngine()->m_pLeafLods[0];
  ASSERT_FALSE(leaves.empty());
  bool lit = false;
  for (const SBillboardLeaf& leaf : leaves) lit = lit || leaf.m_auCornerColors[0] != 0xffffffffu;
  EXPECT_TRUE(lit);
  CLightingEngine::SetLight(0, stLight(), false);
}

TEST_F(TreeModelTest, StaticOptionAndTextureFlipAreProcessWide) {
  CTreeRT::SetStaticOption(true);
  CTreeRT::SetTextureFlip(true);
  EXPECT_TRUE(CTreeRT::GetStaticOption());
  EXPECT_TRUE(CTreeRT::GetTextureFlip());
  CTreeRT::ResetRuntimeState();
  EXPECT_FALSE(CTreeRT::GetStaticOption());
  EXPECT_FALSE(CTreeRT::GetTextureFlip());
  EXPECT_EQ(CTreeRT::GetLastError(), "");
}

}  // namespace
}  // namespace trt
