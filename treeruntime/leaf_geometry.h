// CLeafGeometry: the leaves of every leaf level of detail turned into the
// per-LOD arrays the tree model hands out (CTreeRT::SGeometry::SLeaf).
//
// Each leaf is drawn by a card, a quad around a pivot in the plane x = 0
// (or a small mesh when its leaf map uses one). Cards exist once per leaf
// texture t and time-offset variant a, numbered t x time-offset count + a;
// leaf map m has the plain texture 2m and the mirrored texture 2m + 1.
//
// LOD scale: 1.0 for LOD 0, else LOD x the LOD size factor + 1.0.
//
// Every allocation is tracked; an allocation failure throws BadAllocation.
#pragma once

#include <cstdint>

#include "treeruntime/billboard_leaf.h"
#include "treeruntime/tree_memory.h"
#include "treeruntime/tree_rt.h"
#include "treeruntime/vec.h"

namespace trt {

class CTreeEngine;
class CWindMatrices;
struct STreeLeafInfo;
struct STreeMesh;

class CLeafGeometry {
 public:
  using SLeaf = CTreeRT::SGeometry::SLeaf;
  using SCard = SLeaf::SCard;
  using SCardMesh = SLeaf::SCardMesh;

  // One LOD: the SLeaf part handed out, plus what only the geometry needs.
  // It owns its arrays: one float block (rest centres and wind weights with
  // leaf wind, centres, then normals, tangents, binormals and dimming
  // without static lighting; it starts at the rest centres when they
  // exist), the byte and colour arrays, the cards and the mesh blocks.
  struct SLodGeometry : SLeaf {
    SLodGeometry() = default;
    ~SLodGeometry() override;
    SLodGeometry(const SLodGeometry&) = delete;
    SLodGeometry& operator=(const SLodGeometry&) = delete;

    bool m_bCardsComputed = false;
    // 3 per leaf, with leaf wind only (the centres before wind bends them).
    float* m_pOrigCenterCoords = nullptr;
    TreeVector<SCardMesh> m_vCardMeshes;
  };

  // Both flags clear, no engine, 3 time offsets, nothing else.
  explicit CLeafGeometry(CWindMatrices* pWindEngine);
  ~CLeafGeometry();
  CLeafGeometry(const CLeafGeometry&) = delete;
  CLeafGeometry& operator=(const CLeafGeometry&) = delete;

  // The tree engine gives the leaf maps' meshes (null: every leaf a card).
  void SetEngine(const CTreeEngine* pEngine) { m_pEngine = pEngine; }
  // Static lighting: no per-leaf normals, binormals, tangents or dimming.
  void SetStaticLighting(bool bStatic) { m_bStaticLighting = bStatic; }
  bool HasStaticLighting() const { return m_bStaticLighting; }
  // Leaf wind: rest centres, wind weights and wind matrix indices.
  void SetLeafWind(bool bLeafWind) { m_bLeafWind = bLeafWind; }
  bool HasLeafWind() const { return m_bLeafWind; }

  // Takes the time-offset count, time offsets, per-LOD corner tables and
  // texture-coordinate records of `info` (which must outlive this object or
  // the next Init), each leaf map's origin and size (absolute width, height
  // and third value), makes the vertex program table and runs InitLods.
  // `pLeafLods` holds `numLods` leaf lists (null: no LODs). Init once.
  void Init(std::int32_t numLods, const TreeVector<SBillboardLeaf>* pLeafLods, const STreeLeafInfo& info,
            float fLodSizeFactor);
  // Nothing unless the leaf lists, corner tables, wind engine and texture
  // coordinates exist. Per LOD: the SLeaf fields from the LOD's leaves and
  // the cards (InitClusters). A leaf whose texture index is not below twice
  // the leaf-map count, or whose variant (byte A) is not below the
  // time-offset count, has no card and is left out of the LOD's arrays.
  // Wind matrix index = the wind engine's first matrix + (number mod its
  // matrix count), the number itself with a count of 0, kept in a byte. An
  // allocation failure releases every LOD record before it is rethrown.
  void InitLods(std::int32_t numLods, const TreeVector<SBillboardLeaf>* pLeafLods, float fLodSizeFactor);
  // The LOD's cards, one per texture and variant: size = map size x LOD
  // scale, pivot (1 - origin x for even textures, origin x for odd ones,
  // origin y), angle offsets from the wind engine's table at (time-offset
  // count x t) mod 30, the texture's uv pairs and its corners in the LOD's
  // corner table (null when the table is too small for it). A mesh leaf
  // whose mesh exists gets a mesh record: positions = mesh positions x
  // max(map width, height), the other attributes copied, indices shared.
  void InitClusters(SLodGeometry& lod, float fLodSizeFactor);

  // Fills `out` with LOD `lod` (arrays shared) and sets its LOD index; the
  // first call for a LOD also bends the centres by the shared wind matrices
  // (leaf wind method 1 with leaf wind), writes each card's corners turned
  // by the leaf-card evaluator and each mesh's vertices turned by the
  // single-axis one. Later calls only copy. Leaves `out` alone when the LOD
  // does not exist or the tables are missing.
  void ComputeLod(std::int32_t lod, SLeaf& out, float fAngle1, float fAngle2, float fLodSizeFactor);

  // Leaf map `map` gets the uv pairs `uv` (v negated under the texture-flip
  // option) for its plain texture and their mirror for the odd one; the
  // mesh texture coordinates of both textures are remapped into them.
  // Nothing for a map outside the list.
  void SetTextureCoords(std::int32_t map, const float uv[8]);

  // Grows `box` by a box around each leaf of LOD 0 reaching the radius of
  // its leaf map's card (or mesh) in every axis direction.
  void ExtendBounds(stRegion& box) const;

  // Centres (and rest centres with leaf wind) of every LOD times `matrix`;
  // the leaf dimensions scale by the length of the matrix's first row.
  void Transform(const stMat4& matrix);

  std::int32_t GetNumLods() const { return m_nNumLods; }
  // The LOD record, or null outside the list.
  const SLodGeometry* GetLod(std::int32_t lod) const;
  std::int32_t GetNumLeafMaps() const { return m_nNumLeafMaps; }
  // Width, height and third value of a leaf map (no bounds check).
  const float* GetLeafDimensions(std::int32_t map) const { return m_pLeafDimensions + 3 * map; }

 private:
  std::int32_t NumCards() const { return 2 * m_nNumLeafMaps * m_nNumTimeOffsets; }
  // The mesh of leaf map `map`, or null when it has none.
  const STreeMesh* MeshOf(std::int32_t map) const;
  void BendCenters(SLodGeometry& lod) const;
  // The SLeaf fields and cards of LOD `l` from its leaves.
  void FillLod(SLodGeometry& lod, std::int32_t l, const TreeVector<SBillboardLeaf>& leaves, float fLodSizeFactor);

  bool m_bStaticLighting = false;
  bool m_bLeafWind = false;
  const CTreeEngine* m_pEngine = nullptr;
  CWindMatrices* m_pWindEngine = nullptr;
  std::int32_t m_nNumTimeOffsets = 3;
  const float* m_pTimeOffsets = nullptr;
  float* const* m_ppCornerTables = nullptr;
  float* m_pTexCoords = nullptr;
  float* m_pVertexProgramTable = nullptr;
  std::int32_t m_nNumLeafMaps = 0;
  float* m_pLeafDimensions = nullptr;
  float* m_pLeafOrigins = nullptr;
  std::int32_t m_nNumLods = 0;
  SLodGeometry* m_pLods = nullptr;
};

}  // namespace trt
