// CIndexedGeometry: strip-based tree geometry (branches or fronds) over all
// of its levels of detail.
//
// Vertices are shared by every LOD; each LOD has its own strips. Builders
// append vertices attribute by attribute (keeping the attribute vectors in
// step and advancing the vertex cursor after each vertex) and append
// strips per LOD. The owner may then join each LOD's strips into one
// (CombineStrips), builds the flat strip tables (Finish) and may transform
// the positions.
//
// Per-vertex attributes, in the order a reader of the geometry takes them:
// colours (one packed u32, only with static lighting), normals, binormals,
// tangents, positions (3 floats each), wind weights 1 and 2 (1 float),
// wind matrix indices 1 and 2 (1 byte), LOD fade values (1 float), then
// eight texture layers (2 floats each; layer 0 the diffuse map, remappable
// through tags; layer 7 the projected-shadow coordinates). Rest positions
// are recorded only with wind data and wind method 1; texture tags and the
// relative layer-0 coordinates only with the texture-tag flag.
//
// Every allocation is tracked; an allocation failure throws BadAllocation.
// Indices that point outside the vertices are skipped by every reader here.
#pragma once

#include <cstdint>

#include "treeruntime/tree_math.h"
#include "treeruntime/tree_memory.h"
#include "treeruntime/vec.h"

namespace trt {

class CWindMatrices;

// The point of the line through `a` and `b` closest to `p`: `a` when the
// two line points are equal, else a + d (d . (p - a)) with d the
// normalised direction from a to b.
stVec3 ClosestPointOnLine(const stVec3& a, const stVec3& b, const stVec3& p);

class CIndexedGeometry {
 public:
  static constexpr int kNumTexLayers = 8;
  static constexpr int kShadowLayer = 7;

  // `pWindEngine` (not owned, may be null) gives the matrix range of the
  // wind matrix indices; `bTextureTags` is set for fronds: layer-0
  // coordinates then also record a tag and the relative coordinates.
  CIndexedGeometry(CWindMatrices* pWindEngine, bool bTextureTags);
  ~CIndexedGeometry();
  CIndexedGeometry(const CIndexedGeometry&) = delete;
  CIndexedGeometry& operator=(const CIndexedGeometry&) = delete;

  // --- LODs and strips ------------------------------------------------------
  // Frees every LOD's strips and makes `count` empty LODs with triangle
  // counts of 0 (a negative count makes none).
  void SetNumLods(std::int32_t count);
  std::int32_t GetNumLods() const { return m_nNumLods; }
  // Appends a strip of `count` indices to `lod`. With null indices the LOD
  // becomes a single empty strip (0, 0) with a triangle count of 0. A LOD
  // outside the list or a negative count adds nothing.
  void AddStrip(std::int32_t lod, const std::int32_t* indices, std::int32_t count);
  // Frees the LOD's strip descriptors and indices.
  void ClearLod(std::int32_t lod);

  // --- vertex attributes ----------------------------------------------------
  // Appends the position and a LOD fade value of 1.0; with wind data and
  // wind method 1 also the rest position.
  void AddVertex(const stVec3& position);
  // Appends PackColor(r, g, b) with alpha 255.
  void AddColor(float r, float g, float b);
  void AddNormal(const stVec3& normal);
  void AddBinormal(const stVec3& binormal);
  void AddTangent(const stVec3& tangent);
  // Append the weight clamp(1 - value, 0, 1) (NaN gives 0) and the matrix
  // byte (index mod the wind engine's matrix count) + its first matrix
  // (the index itself without a wind engine or with a count of 0).
  void AddWindData1(float value, std::int32_t matrixIndex);
  void AddWindData2(float value, std::int32_t matrixIndex);
  // Layers 1 to 7: appends (u, v), v negated under the texture-flip option.
  // Layer 0: writes the pair of the vertex at the cursor (the layer grows
  // when the cursor is at its end); with a tag >= 0 and the texture-tag
  // flag, the tag and the unflipped (u, v) become that vertex's tag and
  // relative coordinates. Layers outside 0 to 7 are ignored.
  void AddTexCoord(std::int32_t layer, float u, float v, std::int32_t tag);
  // Overwrites one LOD fade value (ignored outside the vertices).
  void SetLodFade(std::int32_t vertex, float value);

  std::int32_t GetVertexCount() const { return static_cast<std::int32_t>(m_vPositions.size() / 3); }
  // Address of position i or of pair i of a layer; null outside.
  const float* GetVertex(std::int32_t i) const;
  const float* GetTexCoord(std::int32_t layer, std::int32_t i) const;

  std::int32_t GetVertexCursor() const { return m_nVertexCursor; }
  void SetVertexCursor(std::int32_t cursor) { m_nVertexCursor = cursor; }
  void AdvanceVertexCursor() { ++m_nVertexCursor; }
  std::int32_t GetStripCounter() const { return m_nStripCounter; }
  void ResetStripCounter() { m_nStripCounter = 0; }
  void AdvanceStripCounter() { ++m_nStripCounter; }

  // --- finishing and use ----------------------------------------------------
  // With n strips of summed length S: keepWinding false gives S + 2(n - 1)
  // (S for no strip); true gives S plus 3 for each odd strip and 2 for each
  // even strip except the last. 0 for a LOD outside the list.
  std::int32_t GetCompositeStripLength(std::int32_t lod, bool keepWinding) const;
  // Joins each LOD's strips into one: after each strip but the last its last
  // index is repeated (twice for an odd strip with keepWinding), then the
  // next strip's first index follows. The LOD's triangle count becomes
  // length - 2 (0 below 3); a LOD of composite length 0 is left without
  // strips. Nothing without vertices.
  void CombineStrips(bool keepWinding);
  // Builds the strip tables: strips per LOD, each strip's length, and each
  // strip's first index address (null when the strip does not lie inside
  // its LOD's index list); recomputes the triangle counts as the sum of
  // (length - 2) over strips longer than 2.
  void Finish();
  // Bends each vertex of the LOD's strips once: p1 = p + (M(i1) p - p) w1,
  // p2 = p1 + (M(i2) p1 - p1) w2 from its rest position p, its wind matrix
  // indices into the shared wind matrix table and its wind weights. False,
  // with nothing changed, once done until re-armed (ArmWindEffect). A vertex
  // without a rest position or wind data, or whose matrix lies outside the
  // shared table, is left as it is (that matrix counts as the identity).
  bool ComputeWindEffect(std::int32_t lod);
  void ArmWindEffect() { m_nWindEffectDone = 0; }
  bool IsWindEffectDone() const { return m_nWindEffectDone != 0; }
  // Transforms every position, and with wind data every rest position, by
  // the point x 4x4 matrix operation.
  void Transform(const stMat4& matrix);
  // Grows the box by every vertex the strips of LOD 0 use.
  void ExtendBounds(stRegion& box) const;
  // Copies the rect (U0 V0 U1 V1 U2 V2 U3 V3), negates its V values when
  // `flip` is set, and remaps every vertex (RemapTexCoord with the cursor
  // running over all vertices).
  void ApplyTexCoords(std::int32_t tag, const float rect[8], bool flip);
  // For the vertex at the cursor whose tag is `tag`: with its relative
  // coordinates (s, t), u = U1 + (U0 - U1) s and v = V2 + (V0 - V2) t,
  // stored through AddTexCoord(0, ...) with v negated first under texture
  // flip (so that the two negations cancel).
  void RemapTexCoord(std::int32_t tag, const float rect[8]);
  // Fills layer 7 for every vertex: u and v are the fast distances of the
  // vertex's closest points on the lines centre -+ size x axisA and centre
  // -+ size x axisB from their first points, over 2 x size (0 when size is
  // 0); with a rect of 6 floats, u = r2 + (r0 - r2) u and v = r5 + (r1 -
  // r5) v. Resets the vertex cursor.
  void ComputeShadowTexCoords(const stVec3& axisA, const stVec3& axisB, const stVec3& centre, float size,
                              const float* rect);
  // Frees the strip tables and every LOD's strips.
  void DeleteIndexData();

  // Red, green, blue in the lowest three bytes and alpha 255.
  static std::uint32_t PackColor(float r, float g, float b);

  // --- flags the owner sets ----------------------------------------------------
  void SetWindData(bool bWindData) { m_bWindData = bWindData; }
  bool HasWindData() const { return m_bWindData; }
  void SetStaticLighting(bool bStatic) { m_bStaticLighting = bStatic; }
  bool HasStaticLighting() const { return m_bStaticLighting; }
  void SetWindMethod(std::int32_t method) { m_nWindMethod = method; }
  std::int32_t GetWindMethod() const { return m_nWindMethod; }
  bool HasTextureTags() const { return m_bTextureTags; }

  // --- what readers take ----------------------------------------------------------
  std::int32_t GetTriangleCount(std::int32_t lod) const;
  // (first index, length) pairs of the LOD's strips, and its indices.
  const TreeVector<std::int32_t>* GetStripDescriptors(std::int32_t lod) const;
  const TreeVector<std::int32_t>* GetStripIndices(std::int32_t lod) const;
  // The Finish tables (null before Finish): strips per LOD, per LOD the
  // strip lengths, per LOD each strip's first index address.
  const std::int32_t* GetNumStrips() const { return m_pNumStrips; }
  std::int32_t* const* GetStripLengths() const { return m_pStripLengths; }
  const std::int32_t* const* const* GetStripStarts() const { return m_pStripStarts; }

  const TreeVector<std::uint32_t>& GetColors() const { return m_vColors; }
  const TreeVector<float>& GetPositions() const { return m_vPositions; }
  const TreeVector<float>& GetRestPositions() const { return m_vRestPositions; }
  const TreeVector<float>& GetNormals() const { return m_vNormals; }
  const TreeVector<float>& GetBinormals() const { return m_vBinormals; }
  const TreeVector<float>& GetTangents() const { return m_vTangents; }
  const TreeVector<float>& GetRelativeTexCoords() const { return m_vRelativeTexCoords; }
  const TreeVector<std::uint8_t>& GetTextureTags() const { return m_vTextureTags; }
  const TreeVector<float>& GetWindWeights1() const { return m_vWindWeights1; }
  const TreeVector<std::uint8_t>& GetWindMatrices1() const { return m_vWindMatrices1; }
  const TreeVector<float>& GetWindWeights2() const { return m_vWindWeights2; }
  const TreeVector<std::uint8_t>& GetWindMatrices2() const { return m_vWindMatrices2; }
  const TreeVector<float>& GetLodFades() const { return m_vLodFades; }
  const TreeVector<float>& GetTexLayer(std::int32_t layer) const;

 private:
  bool ValidLod(std::int32_t lod) const { return lod >= 0 && lod < static_cast<std::int32_t>(m_vStripDescriptors.size()); }
  std::uint8_t MatrixByte(std::int32_t matrixIndex) const;
  void FreeFinishTables();

  bool m_bTextureTags;
  CWindMatrices* m_pWindEngine;
  bool m_bWindData = false;
  bool m_bStaticLighting = false;
  std::uint8_t* m_pVertexWindComputed = nullptr;  // counted array, one mark per vertex
  std::int32_t m_nWindEffectDone = 1;
  std::int32_t m_nWindMethod = 2;
  std::int32_t m_nNumLods = 0;
  std::int32_t m_nVertexCursor = 0;
  std::int32_t m_nStripCounter = 0;
  TreeVector<std::int32_t> m_vTriangleCounts;
  TreeVector<TreeVector<std::int32_t>> m_vStripDescriptors;
  TreeVector<TreeVector<std::int32_t>> m_vStripIndices;
  std::int32_t* m_pNumStrips = nullptr;                 // counted arrays made by Finish
  std::int32_t** m_pStripLengths = nullptr;
  const std::int32_t*** m_pStripStarts = nullptr;
  TreeVector<std::uint32_t> m_vColors;
  TreeVector<float> m_vPositions;
  TreeVector<float> m_vRestPositions;
  TreeVector<float> m_vNormals;
  TreeVector<float> m_vBinormals;
  TreeVector<float> m_vTangents;
  TreeVector<float> m_vRelativeTexCoords;
  TreeVector<std::uint8_t> m_vTextureTags;
  TreeVector<float> m_vWindWeights1;
  TreeVector<std::uint8_t> m_vWindMatrices1;
  TreeVector<float> m_vWindWeights2;
  TreeVector<std::uint8_t> m_vWindMatrices2;
  TreeVector<float> m_vLodFades;
  TreeVector<float> m_avTexLayers[kNumTexLayers];
};

}  // namespace trt
