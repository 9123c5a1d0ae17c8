#include "treeruntime/leaf_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "treeruntime/texture_flip.h"
#include "treeruntime/tree_engine.h"
#include "treeruntime/tree_leaf_info.h"
#include "treeruntime/tree_mesh.h"
#include "treeruntime/wind_matrices.h"

namespace trt {
namespace {

constexpr std::int32_t kFloatsPerMeshVertex = 14;
constexpr std::int32_t kFloatsPerCard = 16;

float LodScale(std::int32_t lod, float factor) {
  return lod == 0 ? 1.0f : static_cast<float>(lod) * factor + 1.0f;
}

stVec3 ReadVec(const float* p) { return stVec3(p[0], p[1], p[2]); }

void WriteVec(float* p, const stVec3& v) {
  p[0] = v.x;
  p[1] = v.y;
  p[2] = v.z;
}

// p + (q - p) x w per component.
stVec3 Blend(const stVec3& p, const stVec3& q, float w) {
  return stVec3(p.x + (q.x - p.x) * w, p.y + (q.y - p.y) * w, p.z + (q.z - p.z) * w);
}

std::uint8_t WindMatrixByte(const CWindMatrices& wind, std::int32_t number) {
  if (wind.m_uNumMatrices == 0) return static_cast<std::uint8_t>(number);
  const std::int64_t count = wind.m_uNumMatrices;
  std::int64_t index = number % count;
  if (index < 0) index += count;
  return static_cast<std::uint8_t>(wind.m_uFirstMatrix + static_cast<std::uint64_t>(index));
}

}  // namespace

CLeafGeometry::SLodGeometry::~SLodGeometry() {
  float* block = m_pOrigCenterCoords != nullptr ? m_pOrigCenterCoords : m_pCenterCoords;
  TrackedDeleteArray(block);
  TrackedDeleteArray(m_pLeafMapIndices);
  TrackedDeleteArray(m_pLeafClusterIndices);
  TrackedDeleteArray(m_pColors);
  TrackedDeleteArray(m_pWindMatrixIndices1);
  TrackedDeleteArray(m_pWindMatrixIndices2);
  TrackedDeleteArray(m_pCards);
  for (SCardMesh& mesh : m_vCardMeshes) {
    TrackedDeleteArray(mesh.m_pCoords);
    mesh = SCardMesh();
  }
  FreeVector(m_vCardMeshes);
  m_pOrigCenterCoords = nullptr;
  static_cast<SLeaf&>(*this) = SLeaf();
}

CLeafGeometry::CLeafGeometry(CWindMatrices* pWindEngine) : m_pWindEngine(pWindEngine) {}

CLeafGeometry::~CLeafGeometry() {
  TrackedDeleteArray(m_pLeafOrigins);
  TrackedDeleteArray(m_pLeafDimensions);
  TrackedDeleteArray(m_pLods);
  TrackedDeleteArray(m_pVertexProgramTable);
}

void CLeafGeometry::Init(std::int32_t numLods, const TreeVector<SBillboardLeaf>* pLeafLods, const STreeLeafInfo& info,
                         float fLodSizeFactor) {
  TrackedDeleteArray(m_pLeafOrigins);
  TrackedDeleteArray(m_pLeafDimensions);
  TrackedDeleteArray(m_pVertexProgramTable);
  m_nNumTimeOffsets = std::max(info.m_nNumTimeOffsets, 0);
  m_pTimeOffsets = info.m_pTimeOffsets;
  m_ppCornerTables = info.m_ppLodTables;
  m_pTexCoords = info.m_pTexCoords;
  m_nNumLeafMaps = static_cast<std::int32_t>(info.m_vLeafMaps.size());

  const std::size_t maps = static_cast<std::size_t>(m_nNumLeafMaps);
  m_pLeafOrigins = TrackedNewArray<float>(3 * maps, "CLeafGeometry::Init, m_pLeafOrigins");
  m_pLeafDimensions = TrackedNewArray<float>(3 * maps, "CLeafGeometry::Init, m_pLeafDimensions");
  for (std::size_t m = 0; m < maps; ++m) {
    WriteVec(m_pLeafOrigins + 3 * m, info.m_vLeafMaps[m].m_vOrigin);
    WriteVec(m_pLeafDimensions + 3 * m, info.m_vLeafMaps[m].m_vAbsoluteSize);
  }
  m_pVertexProgramTable = TrackedNewArray<float>(maps * static_cast<std::size_t>(m_nNumTimeOffsets) * 32,
                                                 "CLeafGeometry::Init, m_pVertexProgramTable");
  InitLods(numLods, pLeafLods, fLodSizeFactor);
}

void CLeafGeometry::InitLods(std::int32_t numLods, const TreeVector<SBillboardLeaf>* pLeafLods,
                             float fLodSizeFactor) {
  if (pLeafLods == nullptr || m_ppCornerTables == nullptr || m_pWindEngine == nullptr || m_pTexCoords == nullptr) {
    return;
  }
  TrackedDeleteArray(m_pLods);
  m_nNumLods = 0;
  const std::int32_t count = std::max(numLods, 0);
  m_pLods = TrackedNewArray<SLodGeometry>(static_cast<std::size_t>(count), "CLeafGeometry::InitLods, m_pLods");
  m_nNumLods = count;

  try {
    for (std::int32_t l = 0; l < m_nNumLods; ++l) FillLod(m_pLods[l], l, pLeafLods[l], fLodSizeFactor);
  } catch (...) {
    // No half-made LOD stays behind for ComputeLod to read.
    TrackedDeleteArray(m_pLods);
    m_nNumLods = 0;
    throw;
  }
}

void CLeafGeometry::FillLod(SLodGeometry& lod, std::int32_t l, const TreeVector<SBillboardLeaf>& leaves,
                            float fLodSizeFactor) {
  const std::int32_t numTextures = 2 * m_nNumLeafMaps;
  // Leaves loaded from a file may name a texture or variant that has no
  // card; they are left out rather than read past the cards.
  TreeVector<const SBillboardLeaf*> kept;
  for (const SBillboardLeaf& leaf : leaves) {
    if (leaf.m_ucLeafMapByte < numTextures && leaf.m_ucByteA < m_nNumTimeOffsets) kept.push_back(&leaf);
  }
  const std::size_t n = kept.size();
  lod.m_nLodIndex = l;
  lod.m_nLeafCount = static_cast<std::int32_t>(n);
  lod.m_fRockingScale = m_pWindEngine->m_fRockingScale;
  lod.m_fRustlingScale = m_pWindEngine->m_fRustlingScale;

  std::size_t floats = 3 * n;
  if (m_bLeafWind) floats += 5 * n;
  if (!m_bStaticLighting) floats += 37 * n;
  float* block = TrackedNewArray<float>(floats, "CLeafGeometry::InitLods, pLod->m_pOrigCenterCoords (shared)");
  float* cursor = block;
  if (m_bLeafWind) {
    lod.m_pOrigCenterCoords = cursor;
    cursor += 3 * n;
    lod.m_pWindWeights1 = cursor;
    cursor += n;
    lod.m_pWindWeights2 = cursor;
    cursor += n;
  }
  lod.m_pCenterCoords = cursor;
  cursor += 3 * n;
  if (!m_bStaticLighting) {
    lod.m_pNormals = cursor;
    cursor += 12 * n;
    lod.m_pTangents = cursor;
    cursor += 12 * n;
    lod.m_pBinormals = cursor;
    cursor += 12 * n;
    lod.m_pDimming = cursor;
  }
  lod.m_pLeafMapIndices = TrackedNewArray<std::uint8_t>(n, "CLeafGeometry::InitLods, pLod->m_pLeafMapIndices");
  lod.m_pLeafClusterIndices =
      TrackedNewArray<std::uint8_t>(n, "CLeafGeometry::InitLods, pLod->m_pLeafClusterIndices");
  lod.m_pColors = TrackedNewArray<std::uint32_t>(4 * n, "CLeafGeometry::InitLods, pLod->m_pColors");
  if (m_bLeafWind) {
    lod.m_pWindMatrixIndices1 =
        TrackedNewArray<std::uint8_t>(n, "CLeafGeometry::InitLods, pLod->m_pWindMatrixIndices1");
    lod.m_pWindMatrixIndices2 =
        TrackedNewArray<std::uint8_t>(n, "CLeafGeometry::InitLods, pLod->m_pWindMatrixIndices2");
  }

  for (std::size_t i = 0; i < n; ++i) {
    const SBillboardLeaf& leaf = *kept[i];
    lod.m_pLeafMapIndices[i] = leaf.m_ucLeafMapByte;
    lod.m_pLeafClusterIndices[i] =
        static_cast<std::uint8_t>(m_nNumTimeOffsets * leaf.m_ucLeafMapByte + leaf.m_ucByteA);
    WriteVec(lod.m_pCenterCoords + 3 * i, leaf.m_vPosition);
    for (int c = 0; c < 4; ++c) lod.m_pColors[4 * i + c] = leaf.m_auCornerColors[c];
    if (!m_bStaticLighting) {
      lod.m_pDimming[i] = static_cast<float>(leaf.m_ucDimming) / 255.0f;
      for (int c = 0; c < 4; ++c) {
        WriteVec(lod.m_pNormals + 12 * i + 3 * c, leaf.m_avCorners1[c]);
        WriteVec(lod.m_pBinormals + 12 * i + 3 * c, leaf.m_avCorners3[c]);
        WriteVec(lod.m_pTangents + 12 * i + 3 * c, leaf.m_avCorners2[c]);
      }
    }
    if (m_bLeafWind) {
      WriteVec(lod.m_pOrigCenterCoords + 3 * i, leaf.m_vPosition);
      lod.m_pWindWeights1[i] = 1.0f - leaf.m_fFraction;
      lod.m_pWindWeights2[i] = 1.0f - leaf.m_fFraction2;
      lod.m_pWindMatrixIndices1[i] = WindMatrixByte(*m_pWindEngine, leaf.m_nInt);
      lod.m_pWindMatrixIndices2[i] = WindMatrixByte(*m_pWindEngine, static_cast<std::int32_t>(leaf.m_uLastValue));
    }
  }
  InitClusters(lod, fLodSizeFactor);
}

const STreeMesh* CLeafGeometry::MeshOf(std::int32_t map) const {
  if (m_pEngine == nullptr || map < 0 || map >= static_cast<std::int32_t>(m_pEngine->m_cLeafInfo.m_vLeafMaps.size())) {
    return nullptr;
  }
  const STreeLeafMap& leafMap = m_pEngine->m_cLeafInfo.m_vLeafMaps[static_cast<std::size_t>(map)];
  return leafMap.m_bUseMesh ? m_pEngine->GetMesh(leafMap.m_nMeshIndex) : nullptr;
}

void CLeafGeometry::InitClusters(SLodGeometry& lod, float fLodSizeFactor) {
  const std::int32_t cards = NumCards();
  const float scale = LodScale(lod.m_nLodIndex, fLodSizeFactor);
  lod.m_pCards = TrackedNewArray<SCard>(static_cast<std::size_t>(cards), "CLeafGeometry::InitClusters, m_pCards[0]");

  float* table = nullptr;
  std::uint32_t tableFloats = 0;
  if (m_ppCornerTables != nullptr && static_cast<std::uint32_t>(lod.m_nLodIndex) < TrackedArrayCount(m_ppCornerTables)) {
    table = m_ppCornerTables[lod.m_nLodIndex];
    tableFloats = TrackedArrayCount(table);
  }
  const std::uint32_t texCoordRecords = TrackedArrayCount(m_pTexCoords) / 8;

  // The mesh records are made first so that the cards can point into a
  // vector that no longer grows.
  std::size_t meshCards = 0;
  for (std::int32_t t = 0; t < 2 * m_nNumLeafMaps; ++t) {
    if (MeshOf(t / 2) != nullptr) meshCards += static_cast<std::size_t>(m_nNumTimeOffsets);
  }
  lod.m_vCardMeshes.resize(meshCards);
  std::size_t nextMesh = 0;

  for (std::int32_t t = 0; t < 2 * m_nNumLeafMaps; ++t) {
    const std::int32_t map = t / 2;
    const float* dims = m_pLeafDimensions + 3 * map;
    const float* origin = m_pLeafOrigins + 3 * map;
    const std::int32_t k = (m_nNumTimeOffsets * t) % CWindMatrices::kNumAngleOffsets;
    const STreeMesh* mesh = MeshOf(map);
    for (std::int32_t a = 0; a < m_nNumTimeOffsets; ++a) {
      const std::int32_t c = t * m_nNumTimeOffsets + a;
      SCard& card = lod.m_pCards[c];
      card.m_fWidth = dims[0] * scale;
      card.m_fHeight = dims[1] * scale;
      card.m_afPivotPoint[0] = t % 2 == 0 ? 1.0f - origin[0] : origin[0];
      card.m_afPivotPoint[1] = origin[1];
      card.m_afAngleOffsets[0] = CWindMatrices::kAngleOffsets[k];
      card.m_afAngleOffsets[1] = CWindMatrices::kAngleOffsets[CWindMatrices::kNumAngleOffsets - 1 - k];
      if (static_cast<std::uint32_t>(t) < texCoordRecords) card.m_pTexCoords = m_pTexCoords + 8 * t;
      if (table != nullptr && static_cast<std::uint64_t>(c + 1) * kFloatsPerCard <= tableFloats) {
        card.m_pCoords = table + kFloatsPerCard * c;
      }
      if (mesh == nullptr) continue;

      SCardMesh& record = lod.m_vCardMeshes[nextMesh++];
      const std::size_t vertices = mesh->m_vVertices.size();
      record.m_nNumVertices = static_cast<std::int32_t>(vertices);
      float* block = TrackedNewArray<float>(kFloatsPerMeshVertex * vertices,
                                            "CLeafGeometry::InitClusters, pMesh->m_pCoords (shared)");
      record.m_pCoords = block;
      record.m_pTexCoords = block + 3 * vertices;
      record.m_pNormals = block + 5 * vertices;
      record.m_pBinormals = block + 8 * vertices;
      record.m_pTangents = block + 11 * vertices;
      const float size = std::max(dims[0], dims[1]);
      for (std::size_t v = 0; v < vertices; ++v) {
        const STreeMeshVertex& vertex = mesh->m_vVertices[v];
        WriteVec(record.m_pCoords + 3 * v, vertex.m_vPosition * size);
        record.m_pTexCoords[2 * v] = vertex.m_afTexCoords[0];
        record.m_pTexCoords[2 * v + 1] = vertex.m_afTexCoords[1];
        WriteVec(record.m_pNormals + 3 * v, vertex.m_vNormal);
        WriteVec(record.m_pBinormals + 3 * v, vertex.m_vBinormal);
        WriteVec(record.m_pTangents + 3 * v, vertex.m_vTangent);
      }
      record.m_nNumIndices = static_cast<std::int32_t>(mesh->m_vIndices.size());
      record.m_pIndices = reinterpret_cast<const std::uint32_t*>(mesh->m_vIndices.data());
      card.m_pMesh = &record;
    }
  }
}

const CLeafGeometry::SLodGeometry* CLeafGeometry::GetLod(std::int32_t lod) const {
  if (m_pLods == nullptr || lod < 0 || lod >= m_nNumLods) return nullptr;
  return m_pLods + lod;
}

void CLeafGeometry::BendCenters(SLodGeometry& lod) const {
  if (!m_bLeafWind || lod.m_pOrigCenterCoords == nullptr || lod.m_pCenterCoords == nullptr) return;
  for (std::int32_t i = 0; i < lod.m_nLeafCount; ++i) {
    const stVec3 p = ReadVec(lod.m_pOrigCenterCoords + 3 * i);
    const stMat4* m1 = CWindMatrices::GetSharedMatrix(lod.m_pWindMatrixIndices1[i]);
    const stMat4* m2 = CWindMatrices::GetSharedMatrix(lod.m_pWindMatrixIndices2[i]);
    // A matrix outside the shared table leaves the point where it is.
    const stVec3 p1 = m1 != nullptr ? Blend(p, p * *m1, lod.m_pWindWeights1[i]) : p;
    const stVec3 p2 = m2 != nullptr ? Blend(p1, p1 * *m2, lod.m_pWindWeights2[i]) : p1;
    WriteVec(lod.m_pCenterCoords + 3 * i, p2);
  }
}

void CLeafGeometry::ComputeLod(std::int32_t lodIndex, SLeaf& out, float fAngle1, float fAngle2,
                               float fLodSizeFactor) {
  if (m_pLods == nullptr || lodIndex < 0 || lodIndex >= m_nNumLods) return;
  if (m_ppCornerTables == nullptr || m_pLeafDimensions == nullptr || m_pLeafOrigins == nullptr ||
      m_pWindEngine == nullptr || m_pTimeOffsets == nullptr) {
    return;
  }
  SLodGeometry& lod = m_pLods[lodIndex];
  if (!lod.m_bCardsComputed) {
    if (m_pWindEngine->m_nLeafWindMethod == 1) BendCenters(lod);
    const float scale = LodScale(lodIndex, fLodSizeFactor);
    const std::uint32_t offsets = TrackedArrayCount(m_pTimeOffsets);
    for (std::int32_t t = 0; t < 2 * m_nNumLeafMaps; ++t) {
      const std::int32_t map = t / 2;
      const float w = m_pLeafDimensions[3 * map];
      const float h = m_pLeafDimensions[3 * map + 1];
      float ox = m_pLeafOrigins[3 * map];
      const float oy = m_pLeafOrigins[3 * map + 1];
      if (t % 2 == 1) ox = 1.0f - ox;
      const float right = (1.0f - ox) * scale * w;
      const float left = -(ox * w * scale);
      const float top = (1.0f - oy) * scale * h;
      const float bottom = -(oy * h * scale);
      const stVec3 corners[4] = {stVec3(0.0f, right, top), stVec3(0.0f, left, top), stVec3(0.0f, left, bottom),
                                 stVec3(0.0f, right, bottom)};
      const STreeMesh* mesh = MeshOf(map);
      for (std::int32_t a = 0; a < m_nNumTimeOffsets; ++a) {
        const std::int32_t c = t * m_nNumTimeOffsets + a;
        // A variant without a time offset has no angle to rock by.
        const float x = static_cast<std::uint32_t>(a) < offsets ? m_pTimeOffsets[a] * static_cast<float>(t + 1) : 0.0f;
        SCard& card = lod.m_pCards[c];
        if (card.m_pCoords != nullptr) {
          stMat3 rock;
          if (m_pWindEngine->m_uNumLeafAngles == 0) {
            m_pWindEngine->RotateCard(c, fAngle1, fAngle2, x, rock);
          } else {
            m_pWindEngine->RotateCardFromTables(c, fAngle1, fAngle2, rock);
          }
          for (int corner = 0; corner < 4; ++corner) WriteVec(card.m_pCoords + 4 * corner, corners[corner] * rock);
        }
        if (mesh == nullptr || card.m_pMesh == nullptr) continue;
        stMat3 turn;
        if (m_pWindEngine->m_uNumLeafAngles == 0) {
          m_pWindEngine->RotateAxis(x, turn);
        } else {
          m_pWindEngine->RotateAxisFromTables(c, turn);
        }
        const SCardMesh& record = *card.m_pMesh;
        const float size = std::max(card.m_fWidth, card.m_fHeight);
        const std::size_t vertices =
            std::min(mesh->m_vVertices.size(), static_cast<std::size_t>(std::max(record.m_nNumVertices, 0)));
        for (std::size_t v = 0; v < vertices; ++v) {
          const STreeMeshVertex& vertex = mesh->m_vVertices[v];
          WriteVec(record.m_pCoords + 3 * v, (vertex.m_vPosition * size) * turn);
          WriteVec(record.m_pNormals + 3 * v, vertex.m_vNormal * turn);
          WriteVec(record.m_pBinormals + 3 * v, vertex.m_vBinormal * turn);
          WriteVec(record.m_pTangents + 3 * v, vertex.m_vTangent * turn);
        }
      }
    }
    lod.m_bCardsComputed = true;
  }
  out = static_cast<const SLeaf&>(lod);
  out.m_nLodIndex = lodIndex;
}

void CLeafGeometry::SetTextureCoords(std::int32_t map, const float uv[8]) {
  if (map < 0 || map >= m_nNumLeafMaps || m_pTexCoords == nullptr) return;
  if (TrackedArrayCount(m_pTexCoords) < static_cast<std::uint32_t>(16 * (map + 1))) return;
  const float f = GetTextureFlipFlag() ? -1.0f : 1.0f;
  float* plain = m_pTexCoords + 16 * map;
  float* mirrored = plain + 8;
  const float pairs[2][8] = {
      {uv[0], f * uv[1], uv[2], f * uv[3], uv[4], f * uv[5], uv[6], f * uv[7]},
      {uv[2], f * uv[1], uv[0], f * uv[3], uv[6], f * uv[5], uv[4], f * uv[7]},
  };
  std::memcpy(plain, pairs[0], sizeof(pairs[0]));
  std::memcpy(mirrored, pairs[1], sizeof(pairs[1]));

  const STreeMesh* mesh = MeshOf(map);
  if (mesh == nullptr || m_pLods == nullptr) return;
  for (std::int32_t l = 0; l < m_nNumLods; ++l) {
    for (std::int32_t side = 0; side < 2; ++side) {
      const std::int32_t t = 2 * map + side;
      const float* s = pairs[side];
      // U_a and U_b: the first and third u for the plain texture, swapped
      // for the mirrored one.
      const float ua = side == 0 ? s[0] : s[4];
      const float ub = side == 0 ? s[4] : s[0];
      for (std::int32_t a = 0; a < m_nNumTimeOffsets; ++a) {
        const SCardMesh* record = m_pLods[l].m_pCards[t * m_nNumTimeOffsets + a].m_pMesh;
        if (record == nullptr) continue;
        const std::size_t vertices =
            std::min(mesh->m_vVertices.size(), static_cast<std::size_t>(std::max(record->m_nNumVertices, 0)));
        for (std::size_t v = 0; v < vertices; ++v) {
          const float mu = mesh->m_vVertices[v].m_afTexCoords[0];
          const float mv = mesh->m_vVertices[v].m_afTexCoords[1];
          record->m_pTexCoords[2 * v] = ub + (ua - ub) * mu;
          record->m_pTexCoords[2 * v + 1] = s[5] + (s[1] - s[5]) * mv;
        }
      }
    }
  }
}

void CLeafGeometry::ExtendBounds(stRegion& box) const {
  if (m_pLeafDimensions == nullptr || m_pLeafOrigins == nullptr || m_pLods == nullptr || m_nNumLods == 0) return;
  TreeVector<float> radii(static_cast<std::size_t>(m_nNumLeafMaps), 0.0f);
  for (std::int32_t m = 0; m < m_nNumLeafMaps; ++m) {
    const float w = m_pLeafDimensions[3 * m];
    const float h = m_pLeafDimensions[3 * m + 1];
    float radius = 0.0f;
    if (const STreeMesh* mesh = MeshOf(m)) {
      for (const STreeMeshVertex& vertex : mesh->m_vVertices) {
        radius = std::max(radius, FastLength(vertex.m_vPosition) * std::max(w, h));
      }
    } else {
      const stVec3 pivot(w * m_pLeafOrigins[3 * m], h * m_pLeafOrigins[3 * m + 1], 0.0f);
      const stVec3 corners[4] = {stVec3(0.0f, 0.0f, 0.0f), stVec3(w, 0.0f, 0.0f), stVec3(w, h, 0.0f),
                                 stVec3(0.0f, h, 0.0f)};
      for (const stVec3& corner : corners) radius = std::max(radius, FastDistance(pivot, corner));
    }
    radii[static_cast<std::size_t>(m)] = radius;
  }
  const SLodGeometry& lod = m_pLods[0];
  for (std::int32_t i = 0; i < lod.m_nLeafCount; ++i) {
    const stVec3 centre = ReadVec(lod.m_pCenterCoords + 3 * i);
    const float r = radii[lod.m_pLeafMapIndices[i] / 2u];
    stRegion leafBox;
    const stVec3 offsets[3] = {stVec3(r, 0.0f, 0.0f), stVec3(0.0f, r, 0.0f), stVec3(0.0f, 0.0f, r)};
    for (const stVec3& offset : offsets) {
      leafBox = leafBox + (centre + offset);
      leafBox = leafBox + (centre - offset);
    }
    box = box + leafBox;
  }
}

void CLeafGeometry::Transform(const stMat4& matrix) {
  if (m_pLods == nullptr || m_pLeafDimensions == nullptr) return;
  for (std::int32_t l = 0; l < m_nNumLods; ++l) {
    SLodGeometry& lod = m_pLods[l];
    for (std::int32_t i = 0; i < lod.m_nLeafCount; ++i) {
      WriteVec(lod.m_pCenterCoords + 3 * i, ReadVec(lod.m_pCenterCoords + 3 * i) * matrix);
      if (m_bLeafWind && lod.m_pOrigCenterCoords != nullptr) {
        WriteVec(lod.m_pOrigCenterCoords + 3 * i, ReadVec(lod.m_pOrigCenterCoords + 3 * i) * matrix);
      }
    }
  }
  // The length of the first row is the matrix's scale along x whatever its
  // rotation (its first element alone shrinks or flips under rotation).
  const float scale = std::sqrt(matrix.m[0] * matrix.m[0] + matrix.m[1] * matrix.m[1] + matrix.m[2] * matrix.m[2]);
  for (std::int32_t i = 0; i < 3 * m_nNumLeafMaps; ++i) m_pLeafDimensions[i] *= scale;
}

}  // namespace trt
