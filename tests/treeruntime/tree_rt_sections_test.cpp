// The sections that follow the core of tree data: the reading loop, the
// writer order, every section reader's message, the edge cases of the
// format, and every prefix of a block holding every section.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "treeruntime/frond_engine.h"
#include "treeruntime/lighting_engine.h"
#include "treeruntime/projected_shadow.h"
#include "treeruntime/spt_builder.h"
#include "treeruntime/texture_flip.h"
#include "treeruntime/tree_engine.h"
#include "treeruntime/tree_map_bank.h"
#include "treeruntime/tree_model_util.h"
#include "treeruntime/tree_rt.h"
#include "treeruntime/tree_test_util.h"
#include "treeruntime/wind_matrices.h"

namespace trt {
namespace {

using test::Bytes;
using test::Image;
using test::SptTree;
using test::TreeErrorText;

// The start tokens SaveTree writes for every model, in its order.
const std::vector<std::int32_t> kAlwaysWritten = {8000,  9000,  11000, 13000, 15000, 16000, 16013, 16014,
                                                  21000, 21001, 22000, 25000, 26000, 27000, 28000, 29000,
                                                  30000, 40000, 50000, 60000, 71000, 72000, 74000, 75000};

// A core with two branch levels and two leaf maps.
SptTree TwoLevelTree() {
  SptTree tree;
  tree.levels.resize(2);
  tree.leafMaps.resize(2);
  tree.leafMaps[0].fileName = "broad.png";
  tree.leafMaps[1].fileName = "narrow.png";
  return tree;
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

using test::Load;
using test::Save;

std::vector<std::int32_t> Tokens(const CTreeRT& model) {
  return std::vector<std::int32_t>(model.GetSectionTokens().begin(), model.GetSectionTokens().end());
}

// The text the section readers throw for `sections` after TwoLevelTree's
// core, or "(no error)".
std::string SectionError(const Image& sections) {
  CTreeRT model;
  EXPECT_TRUE(Load(model, test::BuildSpt(TwoLevelTree())));
  CTreeFileAccess in = sections.Reader();
  return TreeErrorText([&] { model.ParseSupplementalSections(in); });
}

// A model made in code whose save holds every section, the optional ones
// included, with values away from the defaults.
Bytes FullBlock() {
  CTreeRT model;
  EXPECT_TRUE(Load(model, test::BuildSpt(TwoLevelTree())));
  CTreeEngine& engine = *model.GetEngine();
  engine.m_nPlacementSeed = 99;
  engine.m_fGlobalValue = 12.5f;
  engine.m_nWindLevel = 2;
  engine.EditBranchLevel(1).m_fTwist = 33.0f;
  engine.m_cLeafInfo.m_vLeafMaps[1].m_bUseMesh = true;
  STreeMesh* mesh = TrackedNew<STreeMesh>("test mesh");
  mesh->m_strName = "petal";
  mesh->m_vVertices.resize(3);
  mesh->m_vVertices[1].m_vPosition = stVec3(1.0f, 0.0f, 0.0f);
  mesh->m_vVertices[2].m_afTexCoords[1] = 1.0f;
  mesh->m_vIndices = {0, 1, 2};
  engine.m_vMeshes.push_back(mesh);
  model.GetLightingEngine()->m_nLeafLightingFlags = 3;
  model.GetFrondEngine()->m_vTextures.resize(1);
  model.GetFrondEngine()->m_vTextures[0].m_strFileName = "fern.png";
  SEmbeddedTexCoords& coords = model.MakeEmbeddedTexCoords();
  coords.m_nNumLeafMaps = 2;
  coords.m_pLeafTexCoords = TrackedNewArray<float>(16, "test");
  coords.m_nNumBillboards = 3;
  coords.m_pBillboardTexCoords = TrackedNewArray<float>(24, "test");
  for (int i = 0; i < 24; ++i) coords.m_pBillboardTexCoords[i] = 0.125f * static_cast<float>(i);
  coords.m_strCompositeMap = "composite.png";
  SCollisionObject sphere;
  sphere.m_afDimensions[0] = 2.0f;
  SCollisionObject box;
  box.m_uType = SCollisionObject::kBox;
  box.m_afExtra[2] = 4.0f;
  model.MakeCollisionObjects() = {sphere, box};
  model.MakeProjectedShadow().m_strTexture = "shadow.png";
  model.SetUserData("user words");
  model.m_bHorizontalBillboard = true;
  model.m_fFrondValue75 = 0.25f;
  return Save(model);
}

class TreeSectionsTest : public ::testing::Test {
 protected:
  void SetUp() override { CTreeRT::ResetRuntimeState(); }
  void TearDown() override { CTreeRT::ResetRuntimeState(); }
};

TEST_F(TreeSectionsTest, AMinimalCoreSavesEveryAlwaysWrittenSectionAsAFixedPoint) {
  const Bytes core = test::BuildSpt(SptTree());
  CTreeRT first;
  ASSERT_TRUE(Load(first, core));
  EXPECT_TRUE(first.GetSectionTokens().empty());
  const Bytes saved = Save(first);
  ASSERT_GT(saved.size(), core.size());
  EXPECT_TRUE(std::equal(core.begin(), core.end(), saved.begin())) << "the core comes first, unchanged";

  CTreeRT second;
  ASSERT_TRUE(Load(second, saved));
  EXPECT_EQ(Tokens(second), kAlwaysWritten);
  EXPECT_EQ(Save(second), saved);
}

TEST_F(TreeSectionsTest, TheFullBlockIsAFixedPointOfLoadSaveAndClone) {
  const Bytes full = FullBlock();
  CTreeRT model;
  ASSERT_TRUE(Load(model, full));
  EXPECT_EQ(Tokens(model), (std::vector<std::int32_t>{8000, 9000, 11000, 10000, 12000, 13000, 15000, 16000, 16013,
                                                      16014, 18000, 19000, 20000, 21000, 21001, 22000, 25000, 26000,
                                                      27000, 28000, 29000, 30000, 40000, 50000, 60000, 71000, 72000,
                                                      73000, 74000, 75000}));
  EXPECT_EQ(Save(model), full);
  // What the sections carried arrived.
  EXPECT_EQ(model.GetEngine()->m_nPlacementSeed, 99);
  EXPECT_EQ(model.GetEngine()->m_nWindLevel, 2);
  EXPECT_EQ(model.GetEngine()->m_vBranchLevels[1]->m_fTwist, 33.0f);
  ASSERT_EQ(model.GetEngine()->m_vMeshes.size(), 1u);
  EXPECT_EQ(model.GetEngine()->m_vMeshes[0]->m_strName, "petal");
  EXPECT_EQ(model.GetEngine()->m_vMeshes[0]->m_vIndices, (TreeVector<std::int32_t>{0, 1, 2}));
  EXPECT_TRUE(model.GetEngine()->m_cLeafInfo.m_vLeafMaps[1].m_bUseMesh);
  ASSERT_NE(model.GetCollisionObjects(), nullptr);
  ASSERT_EQ(model.GetCollisionObjects()->size(), 2u);
  EXPECT_EQ((*model.GetCollisionObjects())[1].m_uType, SCollisionObject::kBox);
  EXPECT_EQ((*model.GetCollisionObjects())[1].m_afExtra[2], 4.0f);
  EXPECT_STREQ(model.GetUserData(), "user words");
  EXPECT_EQ(model.GetEmbeddedTexCoords()->m_strCompositeMap, "composite.png");
  EXPECT_EQ(model.GetProjectedShadow()->m_strTexture, "shadow.png");
  EXPECT_EQ(model.GetMapBank()->m_vLeafMaps.size(), 2u);

  CTreeRT* clone = model.Clone();
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(Save(*clone), full);
  delete clone;
}

// Where each section of a block starts: after the core, then at each start
// token in the order the model met them.
std::vector<std::size_t> SectionBoundaries(const Bytes& block) {
  CTreeRT model;
  EXPECT_TRUE(Load(model, block));
  CTreeFileAccess core;
  model.GetEngine()->Save(core);
  std::vector<std::size_t> boundaries = {core.GetData().size()};
  std::size_t at = boundaries[0];
  for (std::size_t k = 1; k < model.GetSectionTokens().size(); ++k) {
    const std::int32_t token = model.GetSectionTokens()[k];
    std::uint8_t pattern[4];
    std::memcpy(pattern, &token, 4);
    const auto found = std::search(block.begin() + static_cast<std::ptrdiff_t>(at) + 4, block.end(), pattern, pattern + 4);
    at = static_cast<std::size_t>(found - block.begin());
    boundaries.push_back(at);
  }
  boundaries.push_back(block.size());
  return boundaries;
}

TEST_F(TreeSectionsTest, EveryPrefixOfTheFullBlockFailsUnlessItEndsASection) {
  const Bytes full = FullBlock();
  const std::vector<std::size_t> boundaries = SectionBoundaries(full);
  for (std::size_t cut = 0; cut <= full.size(); ++cut) {
    CTreeRT model;
    const bool boundary = std::find(boundaries.begin(), boundaries.end(), cut) != boundaries.end();
    EXPECT_EQ(model.LoadTree(full.data(), static_cast<std::int32_t>(cut)), boundary) << cut;
    if (!boundary) {
      EXPECT_EQ(CTreeRT::GetLastError(), "CTreeRT::LoadTree(Memory block) - threw an unknown system exception") << cut;
    }
  }
}

// The most the runtime holds at once while a model loads `block` and
// `check` looks at its branch levels; the model gives all of it back.
template <typename Check>
std::size_t PeakOfLoading(const Bytes& block, Check&& check) {
  test::PeakAllocator peak;
  {
    test::InstalledAllocator scope(&peak);
    CTreeRT model;
    EXPECT_TRUE(Load(model, block));
    check(model.GetEngine()->m_vBranchLevels);
  }
  EXPECT_EQ(peak.current, 0u);
  return peak.peak;
}

TEST_F(TreeSectionsTest, ManyEmptyLevelsLoadInProportionToTheirBytes) {
  // Smallest level records that leave their levels at the defaults, and a
  // texture-controls section that restates the defaults for each level:
  // 26 bytes a level. Loading then gives every level the default curves
  // (each with a table of 500 values) and texture controls.
  constexpr std::int32_t kLevels = 20000;
  test::SptWriter controls;
  controls.Token(15000);
  for (std::int32_t i = 0; i < kLevels; ++i) controls.Token(15002).Byte(0).Token(15003).Float(0.0f);
  controls.Token(15001);
  const Bytes block = Concat(test::SmallestLevelRecords(kLevels, 1), controls.Data());

  const std::size_t peak = PeakOfLoading(block, [&](const TreeVector<const STreeBranchInfo*>& levels) {
    ASSERT_EQ(levels.size(), static_cast<std::size_t>(kLevels));
    EXPECT_EQ(levels.back()->m_sTwistProfile.Table().size(), static_cast<std::size_t>(stBezierSpline::kTableSize));
    EXPECT_FALSE(levels.back()->m_acTextureLayers[0].m_bFlag3);
  });
  // The reader's own copy of the block is one times its size; each level
  // costs one pointer (8 of its 26 bytes) to the record the untouched levels
  // share, which takes the default curves and controls once; the model's
  // own parts are some tens of kilobytes: under 2 times the input. A record
  // of its own per level with six curve tables would be over 500 times.
  EXPECT_LT(peak, 2 * block.size()) << "peak " << peak << " for " << block.size() << " bytes";
}

TEST_F(TreeSectionsTest, LevelsOfTheirOwnShareOneTableOfTheDefaultCurve) {
  // Smallest level records that each clear the first layer's absolute-u
  // flag, so that every level holds a record of its own.
  constexpr std::int32_t kLevels = 20000;
  const Bytes block = test::SmallestLevelRecords(kLevels, 0);

  const std::size_t peak = PeakOfLoading(block, [&](const TreeVector<const STreeBranchInfo*>& levels) {
    ASSERT_EQ(levels.size(), static_cast<std::size_t>(kLevels));
    EXPECT_NE(levels[0], levels[1]);
    EXPECT_EQ(levels[0]->m_sNormalBlend.ToText(), stBezierSpline(STreeBranchInfo::kDefaultCurveText).ToText());
    EXPECT_EQ(&levels[0]->m_sNormalBlend.Table(), &levels[1]->m_sTwistProfile.Table());
  });
  // Each level holds its record (944 bytes, 73 times its 13), the default
  // curves of all of them one table: under 80 times the input. Six tables
  // of 500 values per level would be over 1,000 times.
  EXPECT_LT(peak, 80 * block.size()) << "peak " << peak << " for " << block.size() << " bytes";
}

TEST_F(TreeSectionsTest, AnUnknownStartTokenEndsTheReadingSuccessfully) {
  Image sections;
  sections.Token(8000).Token(8002).Token(1).Token(8006).Float(0.25f).Token(8001);
  sections.Token(99999);
  sections.Token(9000).Token(9002).Token(2).Token(9001);
  CTreeRT model;
  ASSERT_TRUE(Load(model, Concat(test::BuildSpt(TwoLevelTree()), sections.Data())));
  EXPECT_EQ(Tokens(model), (std::vector<std::int32_t>{8000, 99999}));
  EXPECT_EQ(model.GetLightingEngine()->m_nBranchLightingMethod, 1);
  EXPECT_EQ(model.GetLightingEngine()->m_fLeafLightFloor, 0.25f);
  EXPECT_EQ(model.m_nLodMode, 1) << "the LOD section after the unknown token is not read";
  EXPECT_EQ(model.m_fLodValue16014, 0.0f);
}

TEST_F(TreeSectionsTest, SupplementalCoordinatesWithoutEmbeddedOnesStopTheReading) {
  Image sections;
  sections.Token(20000).Token(20003).Byte(1).Token(20001);
  sections.Token(9000).Token(9002).Token(2).Token(9001);
  CTreeRT model;
  ASSERT_TRUE(Load(model, Concat(test::BuildSpt(TwoLevelTree()), sections.Data())));
  EXPECT_EQ(Tokens(model), (std::vector<std::int32_t>{20000, 20003}));
  EXPECT_FALSE(model.m_bHorizontalBillboard);
  EXPECT_EQ(model.m_nLodMode, 1);
  EXPECT_EQ(model.GetEmbeddedTexCoords(), nullptr);
}

TEST_F(TreeSectionsTest, LodModeTwoBecomesOneWithAHalfLodValue) {
  Image sections;
  sections.Token(9000).Token(9002).Token(2).Token(9003).Float(0.1f).Token(9009).Float(0.75f);
  sections.Token(9005).Token(9007).Token(4).Token(9011).Token(2).Token(9013).Float(0.5f).Token(9006).Token(9001);
  CTreeRT model;
  ASSERT_TRUE(Load(model, Concat(test::BuildSpt(TwoLevelTree()), sections.Data())));
  EXPECT_EQ(model.m_nLodMode, 1);
  EXPECT_EQ(model.m_fLodValue16014, 0.5f);
  EXPECT_EQ(model.m_fLodValue9003, 0.1f);
  EXPECT_EQ(model.m_fLeafLodSizeFactor, 0.75f);
  EXPECT_EQ(model.GetEngine()->m_nNumBranchLods, 4);
  EXPECT_EQ(model.GetEngine()->GetNumLeafLods(), 2);
  EXPECT_EQ(model.GetEngine()->m_fBranchWeightBlend, 0.5f);
}

TEST_F(TreeSectionsTest, LightSeamAndLeafPlacementAreReadButNeverWritten) {
  Image sections;
  sections.Token(23000);
  for (int level = 0; level < 2; ++level) sections.Token(23002).Float(2.0f + level).Token(23003).Float(5.0f);
  sections.Token(23001);
  sections.Token(24000).Token(24002).Float(0.75f).Token(24003).Token(6).Token(24001);
  CTreeRT model;
  ASSERT_TRUE(Load(model, Concat(test::BuildSpt(TwoLevelTree()), sections.Data())));
  EXPECT_EQ(model.GetEngine()->m_vBranchLevels[1]->m_afLightSeam[0], 3.0f);
  EXPECT_EQ(model.GetEngine()->m_vBranchLevels[0]->m_afLightSeam[1], 5.0f);
  EXPECT_EQ(model.GetEngine()->m_cLeafInfo.m_fPlacementValue, 0.75f);
  EXPECT_EQ(model.GetEngine()->m_cLeafInfo.m_nPlacementInt, 6);

  CTreeRT reloaded;
  ASSERT_TRUE(Load(reloaded, Save(model)));
  EXPECT_EQ(Tokens(reloaded), kAlwaysWritten);
  EXPECT_EQ(reloaded.GetEngine()->m_vBranchLevels[1]->m_afLightSeam[0], 1.0f);
  EXPECT_EQ(reloaded.GetEngine()->m_cLeafInfo.m_fPlacementValue, 0.0f);

  CTreeRT* clone = model.Clone();
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(clone->GetEngine()->m_vBranchLevels[1]->m_afLightSeam[0], 1.0f);
  EXPECT_EQ(clone->GetEngine()->m_cLeafInfo.m_nPlacementInt, 0);
  const Bytes cloneSave = Save(*clone);
  CTreeRT fromClone;
  ASSERT_TRUE(Load(fromClone, cloneSave));
  EXPECT_EQ(Tokens(fromClone), kAlwaysWritten);
  delete clone;
}

TEST_F(TreeSectionsTest, BillboardCoordinatesAreStoredTheSameUnderTextureFlip) {
  Image sections;
  sections.Token(10000).Token(10003).Token(2);
  for (int i = 0; i < 16; ++i) sections.Float(0.5f + static_cast<float>(i));
  sections.Token(10005).String("maps\\sub/composite.png").Token(10006).Byte(1).Token(10001);
  const Bytes block = Concat(test::BuildSpt(TwoLevelTree()), sections.Data());
  for (bool flip : {false, true}) {
    SetTextureFlipFlag(flip);
    CTreeRT model;
    ASSERT_TRUE(Load(model, block));
    const SEmbeddedTexCoords& coords = *model.GetEmbeddedTexCoords();
    ASSERT_EQ(coords.m_nNumBillboards, 2);
    for (int i = 0; i < 16; ++i) {
      const float stored = 0.5f + static_cast<float>(i);
      EXPECT_EQ(coords.m_pBillboardTexCoords[i], flip && (i % 2) == 1 ? -stored : stored) << flip << " " << i;
    }
    EXPECT_EQ(coords.m_strCompositeMap, "composite.png");
    EXPECT_TRUE(model.m_bHorizontalBillboard);
    // The billboard part of the geometry: one image less with the
    // horizontal billboard.
    CTreeRT::SGeometry geometry;
    model.GetGeometry(geometry, CTreeRT::kBillboardGeometry);
    EXPECT_EQ(geometry.m_sBillboard.m_nNumImages, 1);
    EXPECT_EQ(geometry.m_sBillboard.m_pTexCoordTable, coords.m_pBillboardTexCoords);

    CTreeRT again;
    ASSERT_TRUE(Load(again, Save(model)));
    const SEmbeddedTexCoords& back = *again.GetEmbeddedTexCoords();
    for (int i = 0; i < 16; ++i) EXPECT_EQ(back.m_pBillboardTexCoords[i], coords.m_pBillboardTexCoords[i]) << i;
    EXPECT_EQ(Save(again), Save(model));
  }
  // The bytes written hold the stored values whatever the flag.
  SetTextureFlipFlag(true);
  CTreeRT flipped;
  ASSERT_TRUE(Load(flipped, block));
  SetTextureFlipFlag(false);
  CTreeRT plain;
  ASSERT_TRUE(Load(plain, block));
  SetTextureFlipFlag(true);
  const Bytes flippedSave = Save(flipped);
  SetTextureFlipFlag(false);
  EXPECT_EQ(flippedSave, Save(plain));
}

TEST_F(TreeSectionsTest, EmptyUserDataLeavesNoneAndIsNotWritten) {
  Image sections;
  sections.Token(19000).Token(19005).Token(19002).String("").Token(19001);
  CTreeRT model;
  ASSERT_TRUE(Load(model, Concat(test::BuildSpt(TwoLevelTree()), sections.Data())));
  EXPECT_EQ(model.GetUserData(), nullptr);
  CTreeRT reloaded;
  ASSERT_TRUE(Load(reloaded, Save(model)));
  EXPECT_EQ(Tokens(reloaded), kAlwaysWritten);

  Image text;
  text.Token(19000).Token(19002).String(std::string("words\0hidden", 12)).Token(19001);
  CTreeRT withText;
  ASSERT_TRUE(Load(withText, Concat(test::BuildSpt(TwoLevelTree()), text.Data())));
  EXPECT_STREQ(withText.GetUserData(), "words") << "the text ends at its terminator";
}

TEST_F(TreeSectionsTest, TheMapBankAndTextureControlsGetDefaultsOnlyWhenAbsent) {
  SptTree tree = TwoLevelTree();
  tree.branchTexture = "bark.png";
  CTreeRT model;
  ASSERT_TRUE(Load(model, test::BuildSpt(tree)));
  const STreeMapBank& bank = *model.GetMapBank();
  EXPECT_EQ(bank.m_cBranchMaps.m_astrLayers[0], "bark.png");
  ASSERT_EQ(bank.m_vLeafMaps.size(), 2u);
  EXPECT_EQ(bank.m_vLeafMaps[1].m_astrLayers[0], "narrow.png");
  EXPECT_TRUE(bank.m_vFrondMaps.empty());
  EXPECT_EQ(bank.m_cCompositeMaps.m_astrLayers[0], "");
  // Layers 1 to 6 of each level copy layer 0 by default.
  const STreeBranchInfo& level = *model.GetEngine()->m_vBranchLevels[0];
  EXPECT_EQ(level.m_acTextureLayers[3], level.m_acTextureLayers[0]);

  // With both sections present their values stand.
  Image sections;
  sections.Token(60000).Token(60006).String("self.png").Token(60001);
  sections.Token(50000);
  for (int record = 0; record < 3 * 7; ++record) {
    sections.Token(50002).Token(50004).Float(record == 3 ? 9.0f : 1.0f).Token(50018).Byte(1).Token(50003);
  }
  sections.Token(50001);
  CTreeRT withSections;
  ASSERT_TRUE(Load(withSections, Concat(test::BuildSpt(tree), sections.Data())));
  EXPECT_EQ(withSections.GetMapBank()->m_strSelfShadowMap, "self.png");
  EXPECT_EQ(withSections.GetMapBank()->m_cBranchMaps.m_astrLayers[0], "");
  EXPECT_EQ(withSections.GetEngine()->m_vBranchLevels[0]->m_acTextureLayers[3].m_fUScale, 9.0f);
}

TEST_F(TreeSectionsTest, TheSurplusSectionsOfFrondsAndMeshesLoad) {
  Image sections;
  sections.Token(75000).Token(75009).Token(75004).Byte(1).Token(75005).Float(3.0f).Token(75001);
  sections.Token(72000);
  for (int block = 0; block < 3; ++block) {
    sections.Token(7000).Token(72002).Token(5).Token(72001).Byte(1).Token(72003).Token(block).Token(7001);
  }
  sections.Token(72004);
  CTreeRT model;
  ASSERT_TRUE(Load(model, Concat(test::BuildSpt(TwoLevelTree()), sections.Data())));
  EXPECT_TRUE(model.m_bFrondFlag75);
  EXPECT_EQ(model.GetFrondEngine()->m_ucFullResolution, 1);
  EXPECT_EQ(model.m_fBillboardValue75, 3.0f);
  // The third block has no leaf map: read and dropped.
  EXPECT_EQ(model.GetEngine()->m_cLeafInfo.m_vLeafMaps[1].m_nMeshIndex, 1);
}

struct MalformedCase {
  const char* name;
  std::function<void(Image&)> build;
  const char* text;
};

// Per-level sections of the two-level tree, with one token changed.
void Flare(Image& s, std::int32_t badAt) {
  s.Token(16000);
  for (int level = 0; level < 2; ++level) {
    for (std::int32_t t = 16002; t <= 16012; ++t) {
      s.Token(level == 1 && t == badAt ? 16099 : t);
      if (t == 16003) {
        s.Token(1);
      } else {
        s.Float(1.0f);
      }
    }
  }
  s.Token(16001);
}

std::vector<MalformedCase> MalformedCases() {
  return {
      {"lighting", [](Image& s) { s.Token(8000).Token(8010).Token(1).Token(8001); }, "malformed lighting information []"},
      {"lighting cut inside a value group", [](Image& s) { s.Token(8000).Token(8003).Float(1.0f); },
       "premature end of file reached parsing lighting information []"},
      {"lod", [](Image& s) { s.Token(9000).Token(9006).Token(9001); }, "malformed lod info []"},
      {"lod ending after a value", [](Image& s) { s.Token(9000).Token(9002).Token(1); },
       "premature end of file reached parsing new lod info []"},
      {"engine lod", [](Image& s) { s.Token(9000).Token(9005).Token(9009).Float(1.0f).Token(9006).Token(9001); },
       "malformed engine lod data []"},
      {"negative branch lod count", [](Image& s) { s.Token(9000).Token(9005).Token(9007).Token(-1).Token(9006).Token(9001); },
       "malformed engine lod data []"},
      {"negative leaf lod count", [](Image& s) { s.Token(9000).Token(9005).Token(9011).Token(-5).Token(9006).Token(9001); },
       "malformed engine lod data []"},
      {"absurd leaf lod count",
       [](Image& s) { s.Token(9000).Token(9005).Token(9011).Token(0x7fffffff).Token(9006).Token(9001); },
       "malformed engine lod data []"},
      {"texture coordinates", [](Image& s) { s.Token(10000).Token(10008).Token(10001); }, "malformed texture coord info []"},
      {"texture coordinates ending after a field", [](Image& s) { s.Token(10000).Token(10006).Byte(1); },
       "premature end of file reached parsing texture coordinate info []"},
      {"leaf coordinates beyond the data", [](Image& s) { s.Token(10000).Token(10002).Token(0x7fffffff).Float(1.0f); },
       "premature end of file reached parsing texture coordinate info []"},
      {"billboard coordinates beyond the data", [](Image& s) { s.Token(10000).Token(10003).Token(2).Float(1.0f); },
       "premature end of file reached parsing texture coordinate info []"},
      {"frond coordinates beyond the data", [](Image& s) { s.Token(10000).Token(10004).Token(1 << 28); },
       "premature end of file reached parsing texture coordinate info []"},
      {"new wind", [](Image& s) { s.Token(11000).Token(11003).Token(1).Token(11001); }, "malformed new wind info []"},
      {"new wind ending after the value", [](Image& s) { s.Token(11000).Token(11002).Token(1); },
       "premature end of file reached parsing new wind info []"},
      {"collision type 12005",
       [](Image& s) {
         s.Token(12000).Token(12002).Float(0).Float(0).Float(0).Float(1);
         s.Token(12005).Float(0).Float(0).Float(0).Float(1).Token(12001);
       },
       "malformed collision object info []"},
      {"collision list without objects", [](Image& s) { s.Token(12000).Token(12001); }, "malformed collision object info []"},
      {"collision ending after an object", [](Image& s) { s.Token(12000).Token(12004).Float(0).Float(0).Float(0).Float(1).Float(1).Float(1); },
       "premature end of file reached parsing collision object info []"},
      {"frond texture", [](Image& s) { s.Token(13000).Token(13099).Token(13001); }, "malformed frond info (token 13099) []"},
      {"texture controls",
       [](Image& s) { s.Token(15000).Token(15002).Byte(1).Token(15003).Float(1.0f).Token(15003).Float(1.0f); },
       "malformed texture controls []"},
      {"texture controls ending early", [](Image& s) { s.Token(15000).Token(15002).Byte(1); },
       "premature end of file reached parsing texture controls []"},
      {"flare", [](Image& s) { Flare(s, 16008); }, "malformed flare info []"},
      {"flare end", [](Image& s) { Flare(s, 0); s.Token(16001); }, "(no error)"},
      {"shadow projection", [](Image& s) { s.Token(18000).Token(18009).Token(18001); },
       "malformed shadow projection info (token 18009) []"},
      {"supplemental texture coordinates",
       [](Image& s) { s.Token(10000).Token(10001).Token(20000).Token(20006).Token(20001); },
       "malformed texture coord info []"},
      {"supplemental texture coordinates ending after a field",
       [](Image& s) { s.Token(10000).Token(10001).Token(20000).Token(20003).Byte(1); },
       "premature end of file reached parsing texture coordinate info []"},
      {"light seam", [](Image& s) { s.Token(23000).Token(23003).Float(1.0f); }, "malformed light seam reduction info []"},
      {"leaf placement", [](Image& s) { s.Token(24000).Token(24003).Token(1).Token(24001); },
       "malformed supplemental leaf placement info []"},
      {"supplemental frond", [](Image& s) { s.Token(25000).Token(25001); }, "malformed supplemental frond info (token 25001) []"},
      {"supplemental branch", [](Image& s) { s.Token(26000).Token(26003); }, "malformed supplemental branch info []"},
      {"supplemental branch field of another section",
       [](Image& s) { s.Token(26000).Token(26002).Token(15003).Float(1.0f).Token(26003); },
       "malformed supplemental branch info []"},
      {"floor", [](Image& s) { s.Token(27000).Token(27007).Token(27001); }, "malformed floor info []"},
      {"leaf normal smoothing", [](Image& s) { s.Token(28000).Token(28005).Token(28001); }, "malformed leaf normal smoothing info []"},
      {"cluster", [](Image& s) { s.Token(29000).Token(29003).Token(29001); }, "malformed cluster info []"},
      {"standard shader", [](Image& s) { s.Token(30000).Token(30010).Float(1.0f).Token(30001); },
       "malformed standard shader support info []"},
      {"standard shader ending after a field", [](Image& s) { s.Token(30000).Token(30002).Float(1.0f); },
       "premature end of file reached parsing standard shader support info []"},
      {"root support", [](Image& s) { s.Token(40000).Token(40009).Token(40001); }, "malformed root support info []"},
      {"texture coordinate controls", [](Image& s) { s.Token(50000).Token(50001); }, "malformed tex coord controls []"},
      {"map bank", [](Image& s) { s.Token(60000).Token(60010).Token(60001); }, "malformed map bank []"},
      {"meshes", [](Image& s) { s.Token(71000).Token(71016).Token(71015); }, "malformed mesh info []"},
      {"mesh count beyond the data", [](Image& s) { s.Token(71000).Token(71001).Token(1000).Token(71015); },
       "premature end of file reached parsing mesh info []"},
      {"vertex count beyond the data",
       [](Image& s) { s.Token(71000).Token(71002).Token(71004).Token(0x40000000).Token(71014).Token(71015); },
       "premature end of file reached parsing mesh info []"},
      {"index count beyond the data",
       [](Image& s) { s.Token(71000).Token(71002).Token(71012).Token(0x40000000).Token(71014).Token(71015); },
       "premature end of file reached parsing mesh info []"},
      {"negative vertex count", [](Image& s) { s.Token(71000).Token(71002).Token(71004).Token(-1).Token(71014).Token(71015); },
       "malformed mesh info []"},
      {"a vertex beyond the count",
       [](Image& s) { s.Token(71000).Token(71002).Token(71004).Token(0).Token(71005).Token(71011).Token(71014).Token(71015); },
       "malformed mesh info []"},
      {"leaf mesh", [](Image& s) { s.Token(72000).Token(7000).Token(72007).Token(7001).Token(72004); }, "malformed leaf mesh info []"},
      {"leaf mesh block", [](Image& s) { s.Token(72000).Token(7002).Token(72004); }, "malformed leaf mesh info []"},
      {"supplemental collision",
       [](Image& s) {
         s.Token(12000).Token(12002).Float(0).Float(0).Float(0).Float(1).Token(12001);
         s.Token(73000).Token(73003).Token(73001);
       },
       "malformed supplemental collision object info []"},
      {"surplus supplemental collision block",
       [](Image& s) {
         s.Token(12000).Token(12002).Float(0).Float(0).Float(0).Float(1).Token(12001);
         s.Token(73000).Token(73002).Token(73004).Float(1).Token(73003).Token(73002).Token(73003).Token(73001);
       },
       "too many collision objects specified in supplemental info []"},
      {"supplemental global", [](Image& s) { s.Token(74000).Token(74003).Token(74001); }, "malformed supplemental global info []"},
      {"section 75000 cut", [](Image& s) { s.Token(75000).Token(75002); },
       "premature end of file reached parsing section 75000 []"},
      {"a stray byte after a section", [](Image& s) { s.Token(29000).Token(29001).Byte(7); },
       "premature end of file reached parsing tree data []"},
  };
}

TEST_F(TreeSectionsTest, EverySectionReaderReportsItsMessage) {
  for (const MalformedCase& c : MalformedCases()) {
    Image sections;
    c.build(sections);
    EXPECT_EQ(SectionError(sections), c.text) << c.name;
  }
}

TEST_F(TreeSectionsTest, AMalformedSectionFailsTheLoadWithTheGuardText) {
  Image sections;
  sections.Token(11000).Token(11002).Token(4).Token(11001);
  sections.Token(29000).Token(29003).Token(29001);
  CTreeRT model;
  EXPECT_FALSE(Load(model, Concat(test::BuildSpt(TwoLevelTree()), sections.Data())));
  EXPECT_EQ(CTreeRT::GetLastError(), "CTreeRT::LoadTree(Memory block) - threw an unknown system exception");
  EXPECT_EQ(model.GetEngine()->m_nWindLevel, 4) << "what was read before the failure stays";
}

}  // namespace
}  // namespace trt
