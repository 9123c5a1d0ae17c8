#include "treeruntime/leaf_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "treeruntime/leafy_trunk.h"
#include "treeruntime/texture_flip.h"
#include "treeruntime/tree_engine.h"
#include "treeruntime/tree_leaf_info.h"
#include "treeruntime/tree_mesh.h"
#include "treeruntime/tree_random.h"
#include "treeruntime/wind_matrices.h"

namespace trt {
namespace {

SBillboardLeaf Leaf(std::uint8_t texture, std::uint8_t variant, const stVec3& position = stVec3()) {
  SBillboardLeaf leaf;
  leaf.m_ucLeafMapByte = texture;
  leaf.m_ucByteA = variant;
  leaf.m_vPosition = position;
  leaf.m_ucDimming = 51;
  return leaf;
}

void ExpectVec(const float* p, const stVec3& v, float tolerance = 1e-5f) {
  EXPECT_NEAR(p[0], v.x, tolerance);
  EXPECT_NEAR(p[1], v.y, tolerance);
  EXPECT_NEAR(p[2], v.z, tolerance);
}

// Two leaf maps of four time-offset variants each, three leaf LODs.
class LeafGeometryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CTreeRandom::Seed(5);
    SetTextureFlipFlag(false);
    info_.m_nNumTimeOffsets = 4;
    info_.m_nNumLeafLods = 3;
    info_.m_vLeafMaps.resize(2);
    info_.m_vLeafMaps[0].m_vOrigin = stVec3(0.5f, 0.0f, 0.0f);
    info_.m_vLeafMaps[0].m_vAbsoluteSize = stVec3(2.0f, 1.0f, 0.0f);
    info_.m_vLeafMaps[1].m_vOrigin = stVec3(0.25f, 0.75f, 0.0f);
    info_.m_vLeafMaps[1].m_vAbsoluteSize = stVec3(3.0f, 5.0f, 0.5f);
    info_.InitTables(2);
  }
  void TearDown() override { SetTextureFlipFlag(false); }

  void Init(CLeafGeometry& geometry, float factor = 0.25f) { geometry.Init(3, lods_, info_, factor); }

  STreeLeafInfo info_;
  CWindMatrices wind_;
  TreeVector<SBillboardLeaf> lods_[3];
};

TEST_F(LeafGeometryTest, ACardPerTextureAndVariant) {
  lods_[0] = {Leaf(3, 1)};
  CLeafGeometry geometry(&wind_);
  Init(geometry);
  const CLeafGeometry::SLodGeometry* lod = geometry.GetLod(0);
  ASSERT_NE(lod, nullptr);
  EXPECT_EQ(TrackedArrayCount(lod->m_pCards), 16u);
  ASSERT_EQ(lod->m_nLeafCount, 1);
  EXPECT_EQ(lod->m_pLeafMapIndices[0], 3);
  EXPECT_EQ(lod->m_pLeafClusterIndices[0], 13);
  // Card 13: texture 3 (map 1, mirrored), variant 1.
  const CLeafGeometry::SCard& card = lod->m_pCards[13];
  EXPECT_EQ(card.m_fWidth, 3.0f);
  EXPECT_EQ(card.m_fHeight, 5.0f);
  EXPECT_EQ(card.m_afPivotPoint[0], 0.25f);  // odd: the origin as it is
  EXPECT_EQ(card.m_afPivotPoint[1], 0.75f);
  EXPECT_EQ(card.m_afAngleOffsets[0], CWindMatrices::kAngleOffsets[12]);
  EXPECT_EQ(card.m_afAngleOffsets[1], CWindMatrices::kAngleOffsets[17]);
  EXPECT_EQ(card.m_pTexCoords, info_.m_pTexCoords + 3 * 8);
  EXPECT_EQ(card.m_pCoords, info_.m_ppLodTables[0] + 13 * 16);
  EXPECT_EQ(card.m_pMesh, nullptr);
  // Even texture 2 of the same map: the pivot mirrored.
  EXPECT_EQ(lod->m_pCards[8].m_afPivotPoint[0], 0.75f);
  // LOD 2 with factor 0.25 scales the cards by 1.5.
  EXPECT_EQ(geometry.GetLod(2)->m_pCards[13].m_fWidth, 4.5f);
  EXPECT_EQ(geometry.GetLod(2)->m_nLodIndex, 2);
  EXPECT_EQ(geometry.GetLod(3), nullptr);
}

TEST_F(LeafGeometryTest, TheFieldsOfALeaf) {
  SBillboardLeaf leaf = Leaf(1, 2, stVec3(1.0f, 2.0f, 3.0f));
  leaf.m_auCornerColors[2] = 0x11223344u;
  leaf.m_avCorners1[1] = stVec3(0.0f, 0.0f, 1.0f);
  leaf.m_avCorners2[3] = stVec3(1.0f, 0.0f, 0.0f);
  leaf.m_avCorners3[0] = stVec3(0.0f, 1.0f, 0.0f);
  leaf.m_fFraction = 0.25f;
  leaf.m_fFraction2 = 1.0f;
  leaf.m_nInt = 6;
  leaf.m_uLastValue = 3;
  lods_[0] = {leaf};
  wind_.SetMatrixRange(10, 4);
  wind_.m_fRockingScale = 0.5f;
  CLeafGeometry geometry(&wind_);
  geometry.SetLeafWind(true);
  Init(geometry);
  const CLeafGeometry::SLodGeometry& lod = *geometry.GetLod(0);
  EXPECT_EQ(lod.m_fRockingScale, 0.5f);
  EXPECT_EQ(lod.m_fRustlingScale, 1.0f);
  EXPECT_EQ(lod.m_pLeafClusterIndices[0], 6);
  ExpectVec(lod.m_pCenterCoords, stVec3(1.0f, 2.0f, 3.0f));
  ExpectVec(lod.m_pOrigCenterCoords, stVec3(1.0f, 2.0f, 3.0f));
  EXPECT_EQ(lod.m_pColors[2], 0x11223344u);
  EXPECT_EQ(lod.m_pDimming[0], 51.0f / 255.0f);
  ExpectVec(lod.m_pNormals + 3, stVec3(0.0f, 0.0f, 1.0f));
  ExpectVec(lod.m_pTangents + 9, stVec3(1.0f, 0.0f, 0.0f));
  ExpectVec(lod.m_pBinormals, stVec3(0.0f, 1.0f, 0.0f));
  EXPECT_EQ(lod.m_pWindWeights1[0], 0.75f);
  EXPECT_EQ(lod.m_pWindWeights2[0], 0.0f);
  EXPECT_EQ(lod.m_pWindMatrixIndices1[0], 12);  // 10 + 6 mod 4
  EXPECT_EQ(lod.m_pWindMatrixIndices2[0], 13);
}

TEST_F(LeafGeometryTest, FloatBlockLayouts) {
  lods_[0] = {Leaf(0, 0), Leaf(1, 1)};
  const std::size_t n = 2;
  struct Case {
    bool staticLighting;
    bool leafWind;
    std::size_t floats;
  };
  const Case cases[] = {{false, true, 45 * n}, {false, false, 40 * n}, {true, true, 8 * n}, {true, false, 3 * n}};
  for (const Case& c : cases) {
    CLeafGeometry geometry(&wind_);
    geometry.SetStaticLighting(c.staticLighting);
    geometry.SetLeafWind(c.leafWind);
    Init(geometry);
    const CLeafGeometry::SLodGeometry& lod = *geometry.GetLod(0);
    const float* block = c.leafWind ? lod.m_pOrigCenterCoords : lod.m_pCenterCoords;
    SCOPED_TRACE(testing::Message() << c.staticLighting << c.leafWind);
    EXPECT_EQ(TrackedArrayCount(block), c.floats);
    const float* next = block;
    if (c.leafWind) {
      EXPECT_EQ(lod.m_pWindWeights1, block + 3 * n);
      EXPECT_EQ(lod.m_pWindWeights2, block + 4 * n);
      EXPECT_EQ(lod.m_pCenterCoords, block + 5 * n);
      next = block + 8 * n;
      EXPECT_NE(lod.m_pWindMatrixIndices1, nullptr);
    } else {
      EXPECT_EQ(lod.m_pWindWeights1, nullptr);
      EXPECT_EQ(lod.m_pWindWeights2, nullptr);
      EXPECT_EQ(lod.m_pWindMatrixIndices1, nullptr);
      EXPECT_EQ(lod.m_pWindMatrixIndices2, nullptr);
      next = block + 3 * n;
    }
    if (c.staticLighting) {
      EXPECT_EQ(lod.m_pNormals, nullptr);
      EXPECT_EQ(lod.m_pTangents, nullptr);
      EXPECT_EQ(lod.m_pBinormals, nullptr);
      EXPECT_EQ(lod.m_pDimming, nullptr);
    } else {
      EXPECT_EQ(lod.m_pNormals, next);
      EXPECT_EQ(lod.m_pTangents, next + 12 * n);
      EXPECT_EQ(lod.m_pBinormals, next + 24 * n);
      EXPECT_EQ(lod.m_pDimming, next + 36 * n);
    }
  }
}

TEST_F(LeafGeometryTest, LeavesWithoutACardAreLeftOut) {
  // Texture 4 needs a third leaf map and variant 4 a fifth time offset.
  lods_[0] = {Leaf(4, 0), Leaf(2, 3, stVec3(7.0f, 0.0f, 0.0f)), Leaf(0, 4), Leaf(255, 255)};
  CLeafGeometry geometry(&wind_);
  Init(geometry);
  const CLeafGeometry::SLodGeometry& lod = *geometry.GetLod(0);
  ASSERT_EQ(lod.m_nLeafCount, 1);
  EXPECT_EQ(lod.m_pLeafClusterIndices[0], 11);
  EXPECT_EQ(lod.m_pCenterCoords[0], 7.0f);
  stRegion box;
  geometry.ExtendBounds(box);
  EXPECT_FALSE(box.IsEmpty());
}

TEST_F(LeafGeometryTest, CardCornersBeforeAndAfterRocking) {
  lods_[0] = {Leaf(0, 0)};
  lods_[2] = {Leaf(0, 0)};
  CLeafGeometry geometry(&wind_);
  Init(geometry);
  // Texture 0: origin (0.5, 0), size 2 x 1.
  const stVec3 flat[4] = {stVec3(0, 1, 1), stVec3(0, -1, 1), stVec3(0, -1, 0), stVec3(0, 1, 0)};
  for (const auto& [lodIndex, scale] : {std::pair{0, 1.0f}, std::pair{2, 1.5f}}) {
    CTreeRT::SGeometry::SLeaf out;
    geometry.ComputeLod(lodIndex, out, 0.0f, 0.0f, 0.25f);
    EXPECT_EQ(out.m_nLodIndex, lodIndex);
    for (std::int32_t a = 0; a < 4; ++a) {
      stMat3 rock;
      wind_.RotateCard(a, 0.0f, 0.0f, info_.m_pTimeOffsets[a], rock);
      const float* corners = out.m_pCards[a].m_pCoords;
      for (int c = 0; c < 4; ++c) {
        SCOPED_TRACE(testing::Message() << "lod " << lodIndex << " variant " << a << " corner " << c);
        ExpectVec(corners + 4 * c, (flat[c] * scale) * rock);
      }
    }
  }
  // The mirrored texture 1 swaps the sides of the pivot (here the same).
  CTreeRT::SGeometry::SLeaf out;
  geometry.ComputeLod(0, out, 0.0f, 0.0f, 0.25f);
  stMat3 rock;
  wind_.RotateCard(4, 0.0f, 0.0f, info_.m_pTimeOffsets[0] * 2.0f, rock);
  ExpectVec(out.m_pCards[4].m_pCoords, flat[0] * rock);
}

TEST_F(LeafGeometryTest, WithLeafAnglesTheTablesTurnTheCards) {
  const float rocking[3] = {5.0f, -10.0f, 20.0f};
  const float rustling[3] = {1.0f, 2.0f, 3.0f};
  wind_.m_uNumLeafAngles = 3;
  wind_.m_pRockingAngles = rocking;
  wind_.m_pRustlingAngles = rustling;
  lods_[0] = {Leaf(0, 0)};
  CLeafGeometry geometry(&wind_);
  Init(geometry);
  CTreeRT::SGeometry::SLeaf out;
  geometry.ComputeLod(0, out, 10.0f, -20.0f, 0.25f);
  // Cards 0 and 2 (texture 0) and 5 (texture 1, variant 1); a centred
  // origin gives both textures of map 0 the same corners.
  const stVec3 flat[4] = {stVec3(0, 1, 1), stVec3(0, -1, 1), stVec3(0, -1, 0), stVec3(0, 1, 0)};
  for (std::int32_t c : {0, 2, 5}) {
    stMat3 rock;
    wind_.RotateCardFromTables(c, 10.0f, -20.0f, rock);
    for (int corner = 0; corner < 4; ++corner) {
      SCOPED_TRACE(testing::Message() << "card " << c << " corner " << corner);
      ExpectVec(out.m_pCards[c].m_pCoords + 4 * corner, flat[corner] * rock);
    }
  }
  wind_.m_uNumLeafAngles = 0;
  wind_.m_pRockingAngles = nullptr;
  wind_.m_pRustlingAngles = nullptr;
}

TEST_F(LeafGeometryTest, ASecondComputeOnlyCopies) {
  lods_[1] = {Leaf(0, 0), Leaf(1, 0)};
  CLeafGeometry geometry(&wind_);
  Init(geometry);
  CTreeRT::SGeometry::SLeaf first;
  geometry.ComputeLod(1, first, 0.0f, 0.0f, 0.25f);
  EXPECT_TRUE(geometry.GetLod(1)->m_bCardsComputed);
  EXPECT_FALSE(geometry.GetLod(0)->m_bCardsComputed);
  info_.m_ppLodTables[1][0] = 99.0f;
  CTreeRT::SGeometry::SLeaf second;
  geometry.ComputeLod(1, second, 30.0f, 30.0f, 0.25f);
  EXPECT_EQ(info_.m_ppLodTables[1][0], 99.0f);
  EXPECT_EQ(second.m_nLeafCount, 2);
  EXPECT_EQ(second.m_pCenterCoords, first.m_pCenterCoords);
  EXPECT_EQ(second.m_pCards, first.m_pCards);
  // A LOD that does not exist leaves the record alone.
  CTreeRT::SGeometry::SLeaf none;
  geometry.ComputeLod(3, none, 0.0f, 0.0f, 0.25f);
  geometry.ComputeLod(-1, none, 0.0f, 0.0f, 0.25f);
  EXPECT_EQ(none.m_nLodIndex, -1);
  EXPECT_EQ(none.m_pCards, nullptr);
}

TEST_F(LeafGeometryTest, LeafWindBendsTheCentres) {
  SBillboardLeaf leaf = Leaf(0, 0, stVec3(1.0f, 2.0f, 3.0f));
  leaf.m_fFraction = 0.5f;   // weight 0.5
  leaf.m_nInt = 1;
  leaf.m_uLastValue = 2;     // weight 1
  leaf.m_fFraction2 = 0.0f;
  lods_[0] = {leaf};
  stMat4 shift;
  shift.m[12] = 4.0f;
  *CWindMatrices::GetSharedMatrix(1) = shift;
  stMat4 lift;
  lift.m[14] = 1.0f;
  *CWindMatrices::GetSharedMatrix(2) = lift;
  for (std::int32_t method : {1, 2}) {
    wind_.m_nLeafWindMethod = method;
    CLeafGeometry geometry(&wind_);
    geometry.SetLeafWind(true);
    Init(geometry);
    CTreeRT::SGeometry::SLeaf out;
    geometry.ComputeLod(0, out, 0.0f, 0.0f, 0.25f);
    const stVec3 expected = method == 1 ? stVec3(3.0f, 2.0f, 4.0f) : stVec3(1.0f, 2.0f, 3.0f);
    ExpectVec(out.m_pCenterCoords, expected);
    ExpectVec(geometry.GetLod(0)->m_pOrigCenterCoords, stVec3(1.0f, 2.0f, 3.0f));
  }
  *CWindMatrices::GetSharedMatrix(1) = stMat4();
  *CWindMatrices::GetSharedMatrix(2) = stMat4();
}

TEST_F(LeafGeometryTest, TextureCoordinatesMirrorAndFlip) {
  const float uv[8] = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f};
  for (bool flip : {false, true}) {
    SetTextureFlipFlag(flip);
    CLeafGeometry geometry(&wind_);
    Init(geometry);
    geometry.SetTextureCoords(1, uv);
    geometry.SetTextureCoords(2, uv);  // no such map: nothing
    geometry.SetTextureCoords(-1, uv);
    const float f = flip ? -1.0f : 1.0f;
    const float plain[8] = {0.1f, f * 0.2f, 0.3f, f * 0.4f, 0.5f, f * 0.6f, 0.7f, f * 0.8f};
    const float mirrored[8] = {0.3f, f * 0.2f, 0.1f, f * 0.4f, 0.7f, f * 0.6f, 0.5f, f * 0.8f};
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(info_.m_pTexCoords[16 + i], plain[i]) << flip << " " << i;
      EXPECT_EQ(info_.m_pTexCoords[24 + i], mirrored[i]) << flip << " " << i;
    }
    // Map 0 keeps the record InitTables made before the option was set.
    EXPECT_EQ(info_.m_pTexCoords[1], 1.0f);
  }
}

TEST_F(LeafGeometryTest, BoundsReachTheCardRadius) {
  lods_[0] = {Leaf(1, 0, stVec3(10.0f, 0.0f, 0.0f))};
  lods_[1] = {Leaf(0, 0, stVec3(100.0f, 0.0f, 0.0f))};  // only LOD 0 counts
  CLeafGeometry geometry(&wind_);
  Init(geometry);
  stRegion box;
  box = box + stVec3(0.0f, 0.0f, 0.0f);
  geometry.ExtendBounds(box);
  // Pivot (1, 0, 0) of the 2 x 1 card; its farthest corner (2, 1, 0) is at
  // fast distance 1.5.
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(box.m_cMin[i], i == 0 ? 0.0f : -1.5f) << i;
    EXPECT_EQ(box.m_cMax[i], i == 0 ? 11.5f : 1.5f) << i;
  }
}

TEST_F(LeafGeometryTest, TransformMovesCentresAndScalesByTheFirstRow) {
  lods_[0] = {Leaf(0, 0, stVec3(1.0f, 0.0f, 0.0f))};
  lods_[2] = {Leaf(2, 0, stVec3(0.0f, 1.0f, 0.0f))};
  CLeafGeometry geometry(&wind_);
  geometry.SetLeafWind(true);
  Init(geometry);
  // A quarter turn about z, scaled by 2, moved by (0, 0, 5): its first
  // element is 0, the length of its first row 2.
  stMat4 m;
  m.m[0] = 0.0f;
  m.m[1] = 2.0f;
  m.m[4] = -2.0f;
  m.m[5] = 0.0f;
  m.m[10] = 2.0f;
  m.m[14] = 5.0f;
  geometry.Transform(m);
  ExpectVec(geometry.GetLod(0)->m_pCenterCoords, stVec3(0.0f, 2.0f, 5.0f));
  ExpectVec(geometry.GetLod(0)->m_pOrigCenterCoords, stVec3(0.0f, 2.0f, 5.0f));
  ExpectVec(geometry.GetLod(2)->m_pCenterCoords, stVec3(-2.0f, 0.0f, 5.0f));
  ExpectVec(geometry.GetLeafDimensions(0), stVec3(4.0f, 2.0f, 0.0f));
  ExpectVec(geometry.GetLeafDimensions(1), stVec3(6.0f, 10.0f, 1.0f));
  // The card records keep the sizes Init gave them; the corners follow the
  // scaled dimensions.
  EXPECT_EQ(geometry.GetLod(0)->m_pCards[0].m_fWidth, 2.0f);
  CTreeRT::SGeometry::SLeaf out;
  wind_.m_fStrength = 0.0f;
  wind_.m_bWindEngineFlag = false;
  geometry.ComputeLod(0, out, 0.0f, 0.0f, 0.25f);
  stMat3 rock;
  wind_.RotateCard(0, 0.0f, 0.0f, info_.m_pTimeOffsets[0], rock);
  ExpectVec(out.m_pCards[0].m_pCoords, stVec3(0.0f, 2.0f, 2.0f) * rock);
}

TEST_F(LeafGeometryTest, MeshLeaves) {
  CTreeEngine engine(nullptr);
  engine.m_cLeafInfo.m_vLeafMaps.resize(2);
  engine.m_cLeafInfo.m_vLeafMaps[1].m_bUseMesh = true;
  engine.m_cLeafInfo.m_vLeafMaps[1].m_nMeshIndex = 0;
  engine.m_cLeafInfo.m_vLeafMaps[0].m_bUseMesh = true;
  engine.m_cLeafInfo.m_vLeafMaps[0].m_nMeshIndex = 5;  // no such mesh: a card
  STreeMesh* mesh = TrackedNew<STreeMesh>("test mesh");
  STreeMeshVertex vertex;
  vertex.m_vPosition = stVec3(0.0f, 1.0f, 0.0f);
  vertex.m_vNormal = stVec3(1.0f, 0.0f, 0.0f);
  vertex.m_vBinormal = stVec3(0.0f, 0.0f, 1.0f);
  vertex.m_vTangent = stVec3(0.0f, 1.0f, 0.0f);
  vertex.m_afTexCoords[0] = 0.0f;
  vertex.m_afTexCoords[1] = 1.0f;
  mesh->m_vVertices = {vertex, vertex};
  mesh->m_vVertices[1].m_vPosition = stVec3(0.0f, 0.0f, 2.0f);
  mesh->m_vIndices = {0, 1, 0};
  engine.m_vMeshes.push_back(mesh);

  lods_[0] = {Leaf(2, 0, stVec3(0.0f, 0.0f, 0.0f))};
  CLeafGeometry geometry(&wind_);
  geometry.SetEngine(&engine);
  Init(geometry);
  const CLeafGeometry::SLodGeometry& lod = *geometry.GetLod(0);
  EXPECT_EQ(lod.m_vCardMeshes.size(), 8u);
  EXPECT_EQ(lod.m_pCards[0].m_pMesh, nullptr);
  for (std::int32_t c = 8; c < 16; ++c) {
    const CLeafGeometry::SCardMesh* record = lod.m_pCards[c].m_pMesh;
    ASSERT_NE(record, nullptr) << c;
    EXPECT_EQ(record->m_nNumVertices, 2);
    EXPECT_EQ(record->m_nNumIndices, 3);
    EXPECT_EQ(record->m_pTexCoords, record->m_pCoords + 6);
    // Map size 3 x 5: positions times 5, not LOD-scaled.
    ExpectVec(record->m_pCoords + 3, stVec3(0.0f, 0.0f, 10.0f));
  }
  // LOD 2 cards are 1.5 times larger; the meshes are not.
  ExpectVec(geometry.GetLod(2)->m_pCards[8].m_pMesh->m_pCoords, stVec3(0.0f, 5.0f, 0.0f));

  const float uv[8] = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f};
  geometry.SetTextureCoords(1, uv);
  // u = U_b + (U_a - U_b) mu with (a, b) = (0, 2) for the plain texture and
  // (2, 0) for the mirrored one (whose U0 is the given U1); v = V2 + (V0 -
  // V2) mv. The vertex has (mu, mv) = (0, 1).
  for (std::int32_t a = 0; a < 4; ++a) {
    EXPECT_FLOAT_EQ(lod.m_pCards[8 + a].m_pMesh->m_pTexCoords[0], 0.5f);
    EXPECT_FLOAT_EQ(lod.m_pCards[12 + a].m_pMesh->m_pTexCoords[0], 0.3f);
    EXPECT_FLOAT_EQ(lod.m_pCards[8 + a].m_pMesh->m_pTexCoords[1], 0.2f);
    EXPECT_FLOAT_EQ(lod.m_pCards[12 + a].m_pMesh->m_pTexCoords[1], 0.2f);
    EXPECT_FLOAT_EQ(geometry.GetLod(2)->m_pCards[12 + a].m_pMesh->m_pTexCoords[0], 0.3f);
  }

  CTreeRT::SGeometry::SLeaf out;
  geometry.ComputeLod(0, out, 0.0f, 0.0f, 0.25f);
  stMat3 turn;
  wind_.RotateAxis(info_.m_pTimeOffsets[1] * 4.0f, turn);
  const CLeafGeometry::SCardMesh& record = *out.m_pCards[13].m_pMesh;
  ExpectVec(record.m_pCoords, stVec3(0.0f, 5.0f, 0.0f) * turn);
  ExpectVec(record.m_pNormals + 3, stVec3(1.0f, 0.0f, 0.0f) * turn);

  // A mesh leaf's radius: the farthest vertex times max(w, h).
  stRegion box;
  geometry.ExtendBounds(box);
  EXPECT_NEAR(box.m_cMax[0], 10.0f, 1e-5f);
}

TEST_F(LeafGeometryTest, WithoutTablesNothingIsMade) {
  STreeLeafInfo bare;
  bare.m_vLeafMaps.resize(1);
  CLeafGeometry geometry(&wind_);
  geometry.Init(3, lods_, bare, 0.25f);
  EXPECT_EQ(geometry.GetNumLods(), 0);
  CTreeRT::SGeometry::SLeaf out;
  geometry.ComputeLod(0, out, 0.0f, 0.0f, 0.25f);
  EXPECT_EQ(out.m_nLodIndex, -1);
  stRegion box;
  geometry.ExtendBounds(box);
  EXPECT_TRUE(box.IsEmpty());
  geometry.Transform(stMat4());
}

TEST_F(LeafGeometryTest, AllocationsAreGivenBack) {
  lods_[0] = {Leaf(0, 0), Leaf(3, 3)};
  const std::uint32_t before = GetTrackedBytes();
  {
    CLeafGeometry geometry(&wind_);
    geometry.SetLeafWind(true);
    Init(geometry);
    EXPECT_GT(GetTrackedBytes(), before);
  }
  EXPECT_EQ(GetTrackedBytes(), before);
}

// Serves the first `budget` requests, then fails every one.
class CountdownAllocator : public CTreeAllocator {
 public:
  explicit CountdownAllocator(int budget) : budget_(budget) {}
  void* Alloc(std::size_t size, std::size_t alignment) override {
    if (budget_-- <= 0) return nullptr;
    return std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
  }
  void Free(void* block) override { std::free(block); }

 private:
  int budget_;
};

TEST_F(LeafGeometryTest, AFailedAllocationLeavesNothingBehind) {
  CTreeEngine engine(nullptr);
  engine.m_cLeafInfo.m_vLeafMaps.resize(2);
  engine.m_cLeafInfo.m_vLeafMaps[1].m_bUseMesh = true;
  STreeMesh* mesh = TrackedNew<STreeMesh>("test mesh");
  mesh->m_vVertices.resize(3);
  engine.m_vMeshes.push_back(mesh);
  for (auto& lod : lods_) lod = {Leaf(0, 0), Leaf(3, 2)};
  bool completed = false;
  for (int budget = 0; !completed; ++budget) {
    SCOPED_TRACE(budget);
    const std::uint32_t before = GetTrackedBytes();
    {
      CountdownAllocator countdown(budget);
      test::InstalledAllocator scope(&countdown);
      CLeafGeometry geometry(&wind_);
      geometry.SetEngine(&engine);
      geometry.SetLeafWind(true);
      try {
        Init(geometry);
        completed = true;
      } catch (const BadAllocation&) {
        EXPECT_EQ(geometry.GetNumLods(), 0);
        EXPECT_EQ(geometry.GetLod(0), nullptr);
      }
      CTreeRT::SGeometry::SLeaf out;
      geometry.ComputeLod(0, out, 0.0f, 0.0f, 0.25f);
      EXPECT_EQ(out.m_nLodIndex, completed ? 0 : -1);
    }
    EXPECT_EQ(GetTrackedBytes(), before);
    ASSERT_LT(budget, 1000);
  }
}

TEST(LeafGeometryOfAComputedTree, SixLeafMaps) {
  test::SptTree tree = test::LeafyTrunk();
  tree.levels[0].frequency = 12.0f;
  tree.leafMaps.resize(6);
  tree.leaf3008 = 0;
  CTreeEngine engine(nullptr);
  test::ParseAndCompute(tree, engine);
  ASSERT_GT(engine.m_vLeaves.size(), 0u);
  engine.m_cLeafInfo.InitTables(6);

  CWindMatrices wind;
  wind.m_nLeafWindMethod = 1;
  CLeafGeometry geometry(&wind);
  geometry.SetEngine(&engine);
  geometry.SetLeafWind(true);
  geometry.Init(engine.GetNumLeafLods(), engine.m_pLeafLods, engine.m_cLeafInfo, 0.25f);
  const float uv[8] = {0, 1, 1, 1, 1, 0, 0, 0};
  for (std::int32_t m = 0; m < 6; ++m) geometry.SetTextureCoords(m, uv);
  stRegion box;
  geometry.ExtendBounds(box);
  EXPECT_FALSE(box.IsEmpty());
  ASSERT_EQ(geometry.GetNumLods(), engine.GetNumLeafLods());
  EXPECT_EQ(static_cast<std::size_t>(geometry.GetLod(0)->m_nLeafCount), engine.m_pLeafLods[0].size());
  for (std::int32_t l = 0; l < geometry.GetNumLods(); ++l) {
    CTreeRT::SGeometry::SLeaf out;
    geometry.ComputeLod(l, out, 0.0f, 0.0f, 0.25f);
    EXPECT_EQ(out.m_nLodIndex, l);
    EXPECT_EQ(TrackedArrayCount(out.m_pCards), 36u);
    for (std::int32_t i = 0; i < out.m_nLeafCount; ++i) {
      EXPECT_LT(out.m_pLeafClusterIndices[i], 36);
      EXPECT_TRUE(std::isfinite(out.m_pCenterCoords[3 * i]));
    }
  }
}

}  // namespace
}  // namespace trt
