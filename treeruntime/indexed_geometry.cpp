#include "treeruntime/indexed_geometry.h"

#include "treeruntime/lighting_engine.h"
#include "treeruntime/texture_flip.h"
#include "treeruntime/wind_matrices.h"

namespace trt {
namespace {

// The tag of a vertex that got layer-0 coordinates without a tag.
constexpr std::uint8_t kNoTag = 0xff;

void Append(TreeVector<float>& target, const stVec3& v) {
  target.push_back(v.x);
  target.push_back(v.y);
  target.push_back(v.z);
}

stVec3 Read(const TreeVector<float>& source, std::size_t vertex) {
  return stVec3(source[3 * vertex], source[3 * vertex + 1], source[3 * vertex + 2]);
}

void Write(TreeVector<float>& target, std::size_t vertex, const stVec3& v) {
  target[3 * vertex] = v.x;
  target[3 * vertex + 1] = v.y;
  target[3 * vertex + 2] = v.z;
}

// clamp(1 - value, 0, 1) in the order the weight has always been formed:
// at most 1, then 0 unless greater than 0 (so NaN gives 0).
float WindWeight(float value) {
  float weight = 1.0f - value;
  if (weight > 1.0f) weight = 1.0f;
  if (!(weight > 0.0f)) weight = 0.0f;
  return weight;
}

// p + (M p - p) w, with M the shared wind matrix `index` (the identity when
// the table does not hold it).
stVec3 Bend(const stVec3& p, std::uint8_t index, float weight) {
  const stMat4* matrix = CWindMatrices::GetSharedMatrix(index);
  if (matrix == nullptr) return p;
  return p + (p * *matrix - p) * weight;
}

}  // namespace

stVec3 ClosestPointOnLine(const stVec3& a, const stVec3& b, const stVec3& p) {
  if (a == b) return a;
  stVec3 direction = b - a;
  direction.Normalize();
  return a + direction * Dot(direction, p - a);
}

CIndexedGeometry::CIndexedGeometry(CWindMatrices* pWindEngine, bool bTextureTags)
    : m_bTextureTags(bTextureTags), m_pWindEngine(pWindEngine) {}

CIndexedGeometry::~CIndexedGeometry() {
  TrackedDeleteArray(m_pVertexWindComputed);
  DeleteIndexData();
}

// --- LODs and strips ------------------------------------------------------------

void CIndexedGeometry::SetNumLods(std::int32_t count) {
  DeleteIndexData();
  const std::size_t lods = count > 0 ? static_cast<std::size_t>(count) : 0;
  m_vStripDescriptors.resize(lods);
  m_vStripIndices.resize(lods);
  m_vTriangleCounts.assign(lods, 0);
  m_nNumLods = static_cast<std::int32_t>(lods);
}

void CIndexedGeometry::AddStrip(std::int32_t lod, const std::int32_t* indices, std::int32_t count) {
  if (!ValidLod(lod)) return;
  // The strip start table points into the index lists: any change to them
  // makes it stale, so it goes until the next Finish.
  FreeFinishTables();
  TreeVector<std::int32_t>& descriptors = m_vStripDescriptors[static_cast<std::size_t>(lod)];
  TreeVector<std::int32_t>& list = m_vStripIndices[static_cast<std::size_t>(lod)];
  if (indices == nullptr) {
    descriptors.assign({0, 0});
    m_vTriangleCounts[static_cast<std::size_t>(lod)] = 0;
    FreeVector(list);
    return;
  }
  if (count < 0) return;
  descriptors.push_back(static_cast<std::int32_t>(list.size()));
  descriptors.push_back(count);
  list.insert(list.end(), indices, indices + count);
}

void CIndexedGeometry::ClearLod(std::int32_t lod) {
  if (!ValidLod(lod)) return;
  FreeFinishTables();
  FreeVector(m_vStripDescriptors[static_cast<std::size_t>(lod)]);
  FreeVector(m_vStripIndices[static_cast<std::size_t>(lod)]);
}

// --- vertex attributes ----------------------------------------------------------

void CIndexedGeometry::AddVertex(const stVec3& position) {
  Append(m_vPositions, position);
  m_vLodFades.push_back(1.0f);
  if (m_bWindData && m_nWindMethod == 1) Append(m_vRestPositions, position);
}

void CIndexedGeometry::AddColor(float r, float g, float b) { m_vColors.push_back(PackColor(r, g, b)); }

void CIndexedGeometry::AddNormal(const stVec3& normal) { Append(m_vNormals, normal); }

void CIndexedGeometry::AddBinormal(const stVec3& binormal) { Append(m_vBinormals, binormal); }

void CIndexedGeometry::AddTangent(const stVec3& tangent) { Append(m_vTangents, tangent); }

std::uint8_t CIndexedGeometry::MatrixByte(std::int32_t matrixIndex) const {
  if (m_pWindEngine == nullptr || m_pWindEngine->m_uNumMatrices == 0) return static_cast<std::uint8_t>(matrixIndex);
  const std::int64_t count = m_pWindEngine->m_uNumMatrices;
  std::int64_t index = matrixIndex % count;
  if (index < 0) index += count;
  return static_cast<std::uint8_t>(index + m_pWindEngine->m_uFirstMatrix);
}

void CIndexedGeometry::AddWindData1(float value, std::int32_t matrixIndex) {
  m_vWindWeights1.push_back(WindWeight(value));
  m_vWindMatrices1.push_back(MatrixByte(matrixIndex));
}

void CIndexedGeometry::AddWindData2(float value, std::int32_t matrixIndex) {
  m_vWindWeights2.push_back(WindWeight(value));
  m_vWindMatrices2.push_back(MatrixByte(matrixIndex));
}

void CIndexedGeometry::AddTexCoord(std::int32_t layer, float u, float v, std::int32_t tag) {
  if (layer < 0 || layer >= kNumTexLayers) return;
  const bool flip = GetTextureFlipFlag();
  TreeVector<float>& coords = m_avTexLayers[layer];
  if (layer != 0) {
    coords.push_back(u);
    coords.push_back(flip ? -v : v);
    return;
  }
  if (m_nVertexCursor < 0) return;
  const std::size_t vertex = static_cast<std::size_t>(m_nVertexCursor);
  const bool tagged = tag >= 0 && m_bTextureTags;
  // The layer grows at its end; a cursor beyond the end (a builder that
  // skipped a vertex) fills the gap with zeros instead of writing past it.
  if (coords.size() < 2 * (vertex + 1)) coords.resize(2 * (vertex + 1), 0.0f);
  if (tagged) {
    if (m_vRelativeTexCoords.size() < 2 * (vertex + 1)) m_vRelativeTexCoords.resize(2 * (vertex + 1), 0.0f);
    if (m_vTextureTags.size() < vertex + 1) m_vTextureTags.resize(vertex + 1, kNoTag);
    m_vTextureTags[vertex] = static_cast<std::uint8_t>(tag);
    m_vRelativeTexCoords[2 * vertex] = u;
    m_vRelativeTexCoords[2 * vertex + 1] = v;
  }
  coords[2 * vertex] = u;
  coords[2 * vertex + 1] = flip ? -v : v;
}

void CIndexedGeometry::SetLodFade(std::int32_t vertex, float value) {
  if (vertex < 0 || static_cast<std::size_t>(vertex) >= m_vLodFades.size()) return;
  m_vLodFades[static_cast<std::size_t>(vertex)] = value;
}

const float* CIndexedGeometry::GetVertex(std::int32_t i) const {
  if (i < 0 || i >= GetVertexCount()) return nullptr;
  return &m_vPositions[3 * static_cast<std::size_t>(i)];
}

const float* CIndexedGeometry::GetTexCoord(std::int32_t layer, std::int32_t i) const {
  if (layer < 0 || layer >= kNumTexLayers || i < 0) return nullptr;
  const TreeVector<float>& coords = m_avTexLayers[layer];
  if (2 * static_cast<std::size_t>(i) + 1 >= coords.size()) return nullptr;
  return &coords[2 * static_cast<std::size_t>(i)];
}

const TreeVector<float>& CIndexedGeometry::GetTexLayer(std::int32_t layer) const {
  static const TreeVector<float> empty;
  return layer >= 0 && layer < kNumTexLayers ? m_avTexLayers[layer] : empty;
}

std::int32_t CIndexedGeometry::GetTriangleCount(std::int32_t lod) const {
  return ValidLod(lod) ? m_vTriangleCounts[static_cast<std::size_t>(lod)] : 0;
}

const TreeVector<std::int32_t>* CIndexedGeometry::GetStripDescriptors(std::int32_t lod) const {
  return ValidLod(lod) ? &m_vStripDescriptors[static_cast<std::size_t>(lod)] : nullptr;
}

const TreeVector<std::int32_t>* CIndexedGeometry::GetStripIndices(std::int32_t lod) const {
  return ValidLod(lod) ? &m_vStripIndices[static_cast<std::size_t>(lod)] : nullptr;
}

// --- finishing ------------------------------------------------------------------

std::int32_t CIndexedGeometry::GetCompositeStripLength(std::int32_t lod, bool keepWinding) const {
  if (!ValidLod(lod)) return 0;
  const TreeVector<std::int32_t>& descriptors = m_vStripDescriptors[static_cast<std::size_t>(lod)];
  const std::size_t strips = descriptors.size() / 2;
  std::int64_t length = 0;
  for (std::size_t k = 0; k < strips; ++k) {
    const std::int32_t len = descriptors[2 * k + 1];
    length += len;
    if (k + 1 < strips) length += keepWinding && (len % 2) != 0 ? 3 : 2;
  }
  return static_cast<std::int32_t>(length);
}

void CIndexedGeometry::CombineStrips(bool keepWinding) {
  if (GetVertexCount() == 0) return;
  FreeFinishTables();
  for (std::size_t lod = 0; lod < m_vStripDescriptors.size(); ++lod) {
    TreeVector<std::int32_t>& descriptors = m_vStripDescriptors[lod];
    TreeVector<std::int32_t>& list = m_vStripIndices[lod];
    const std::int32_t composite = GetCompositeStripLength(static_cast<std::int32_t>(lod), keepWinding);
    if (composite <= 0) {
      FreeVector(descriptors);
      m_vTriangleCounts[lod] = 0;
      continue;
    }
    TreeVector<std::int32_t> joined;
    joined.reserve(static_cast<std::size_t>(composite));
    const std::size_t strips = descriptors.size() / 2;
    for (std::size_t k = 0; k < strips; ++k) {
      const std::int32_t first = descriptors[2 * k];
      const std::int32_t len = descriptors[2 * k + 1];
      if (len <= 0) continue;
      const std::size_t begin = static_cast<std::size_t>(first);
      const std::size_t end = begin + static_cast<std::size_t>(len);
      joined.insert(joined.end(), list.begin() + static_cast<std::ptrdiff_t>(begin),
                    list.begin() + static_cast<std::ptrdiff_t>(end));
      if (k + 1 == strips) continue;
      // The degenerate join: the last index again (twice for an odd strip
      // when the winding must be kept), then the next strip's first.
      joined.push_back(list[end - 1]);
      if (keepWinding && (len % 2) != 0) joined.push_back(list[end - 1]);
      if (end < list.size()) joined.push_back(list[end]);
    }
    const std::int32_t length = static_cast<std::int32_t>(joined.size());
    descriptors.assign({0, length});
    m_vTriangleCounts[lod] = length < 3 ? 0 : length - 2;
    list.swap(joined);
  }
}

void CIndexedGeometry::Finish() {
  FreeFinishTables();
  const std::size_t lods = m_vStripDescriptors.size();
  m_pNumStrips = TrackedNewArray<std::int32_t>(lods, "CIndexedGeometry::Finish, m_pNumStrips");
  m_pStripLengths = TrackedNewArray<std::int32_t*>(lods, "CIndexedGeometry::Finish, m_pStripLengths");
  m_pStripStarts = TrackedNewArray<const std::int32_t**>(lods, "CIndexedGeometry::Finish, m_pStripStarts");
  for (std::size_t lod = 0; lod < lods; ++lod) {
    const TreeVector<std::int32_t>& descriptors = m_vStripDescriptors[lod];
    const TreeVector<std::int32_t>& list = m_vStripIndices[lod];
    const std::size_t strips = descriptors.size() / 2;
    m_pNumStrips[lod] = static_cast<std::int32_t>(strips);
    m_pStripLengths[lod] = TrackedNewArray<std::int32_t>(strips, "CIndexedGeometry::Finish, m_pStripLengths");
    m_pStripStarts[lod] = TrackedNewArray<const std::int32_t*>(strips, "CIndexedGeometry::Finish, m_pStripStarts");
    std::int32_t triangles = 0;
    for (std::size_t k = 0; k < strips; ++k) {
      const std::int64_t first = descriptors[2 * k];
      const std::int64_t len = descriptors[2 * k + 1];
      m_pStripLengths[lod][k] = static_cast<std::int32_t>(len);
      if (len > 2) triangles += static_cast<std::int32_t>(len - 2);
      const std::int64_t size = static_cast<std::int64_t>(list.size());
      const std::int64_t last = first + len - 1;
      const bool inside = first >= 0 && first < size && last >= 0 && last < size;
      m_pStripStarts[lod][k] = inside ? &list[static_cast<std::size_t>(first)] : nullptr;
    }
    m_vTriangleCounts[lod] = triangles;
  }
}

bool CIndexedGeometry::ComputeWindEffect(std::int32_t lod) {
  if (m_nWindEffectDone != 0) return false;
  const std::size_t vertices = static_cast<std::size_t>(GetVertexCount());
  if (TrackedArrayCount(m_pVertexWindComputed) != vertices) {
    TrackedDeleteArray(m_pVertexWindComputed);
    m_pVertexWindComputed =
        TrackedNewArray<std::uint8_t>(vertices, "CIndexedGeometry::ComputeWindEffect, m_pVertexWindComputed");
  }
  for (std::size_t v = 0; v < vertices; ++v) m_pVertexWindComputed[v] = 0;

  if (ValidLod(lod)) {
    const TreeVector<std::int32_t>& descriptors = m_vStripDescriptors[static_cast<std::size_t>(lod)];
    const TreeVector<std::int32_t>& list = m_vStripIndices[static_cast<std::size_t>(lod)];
    for (std::size_t k = 0; k + 1 < descriptors.size(); k += 2) {
      const std::int64_t first = descriptors[k];
      const std::int64_t end = first + descriptors[k + 1];
      for (std::int64_t at = first < 0 ? 0 : first; at < end && at < static_cast<std::int64_t>(list.size()); ++at) {
        const std::int32_t index = list[static_cast<std::size_t>(at)];
        if (index < 0 || static_cast<std::size_t>(index) >= vertices) continue;
        const std::size_t v = static_cast<std::size_t>(index);
        if (m_pVertexWindComputed[v] != 0) continue;
        m_pVertexWindComputed[v] = 1;
        // Only a vertex with its rest position and both wind entries can be
        // bent; any other keeps its position.
        if (3 * v + 2 >= m_vRestPositions.size() || v >= m_vWindWeights1.size() || v >= m_vWindMatrices1.size() ||
            v >= m_vWindWeights2.size() || v >= m_vWindMatrices2.size()) {
          continue;
        }
        const stVec3 rest = Read(m_vRestPositions, v);
        const stVec3 p1 = Bend(rest, m_vWindMatrices1[v], m_vWindWeights1[v]);
        Write(m_vPositions, v, Bend(p1, m_vWindMatrices2[v], m_vWindWeights2[v]));
      }
    }
  }
  m_nWindEffectDone = 1;
  return true;
}

void CIndexedGeometry::Transform(const stMat4& matrix) {
  for (std::size_t v = 0; 3 * v + 2 < m_vPositions.size(); ++v) Write(m_vPositions, v, Read(m_vPositions, v) * matrix);
  if (!m_bWindData) return;
  for (std::size_t v = 0; 3 * v + 2 < m_vRestPositions.size(); ++v) {
    Write(m_vRestPositions, v, Read(m_vRestPositions, v) * matrix);
  }
}

void CIndexedGeometry::ExtendBounds(stRegion& box) const {
  if (m_vStripIndices.empty()) return;
  const std::size_t vertices = static_cast<std::size_t>(GetVertexCount());
  for (const std::int32_t index : m_vStripIndices[0]) {
    if (index < 0 || static_cast<std::size_t>(index) >= vertices) continue;
    box = box + Read(m_vPositions, static_cast<std::size_t>(index));
  }
}

void CIndexedGeometry::ApplyTexCoords(std::int32_t tag, const float rect[8], bool flip) {
  float corners[8];
  for (int i = 0; i < 8; ++i) corners[i] = rect[i];
  if (flip) {
    for (int i = 1; i < 8; i += 2) corners[i] = -corners[i];
  }
  const std::int32_t count = GetVertexCount();
  for (m_nVertexCursor = 0; m_nVertexCursor < count; ++m_nVertexCursor) RemapTexCoord(tag, corners);
}

void CIndexedGeometry::RemapTexCoord(std::int32_t tag, const float rect[8]) {
  if (m_nVertexCursor < 0) return;
  const std::size_t vertex = static_cast<std::size_t>(m_nVertexCursor);
  if (vertex >= m_vTextureTags.size() || m_vTextureTags[vertex] != tag) return;
  if (2 * vertex + 1 >= m_vRelativeTexCoords.size()) return;
  const float s = m_vRelativeTexCoords[2 * vertex];
  const float t = m_vRelativeTexCoords[2 * vertex + 1];
  const float u = rect[2] + (rect[0] - rect[2]) * s;
  float v = rect[5] + (rect[1] - rect[5]) * t;
  // AddTexCoord negates v again under texture flip.
  if (GetTextureFlipFlag()) v = -v;
  AddTexCoord(0, u, v, -1);
}

void CIndexedGeometry::ComputeShadowTexCoords(const stVec3& axisA, const stVec3& axisB, const stVec3& centre,
                                              float size, const float* rect) {
  const stVec3 a0 = centre - axisA * size;
  const stVec3 a1 = centre + axisA * size;
  const stVec3 b0 = centre - axisB * size;
  const stVec3 b1 = centre + axisB * size;
  const float span = 2.0f * size;
  m_nVertexCursor = 0;
  // One pair per vertex: a second call replaces the first one's pairs.
  FreeVector(m_avTexLayers[kShadowLayer]);
  const std::int32_t count = GetVertexCount();
  for (std::int32_t i = 0; i < count; ++i) {
    const stVec3 p = Read(m_vPositions, static_cast<std::size_t>(i));
    float u = 0.0f;
    float v = 0.0f;
    // A tree of no extent has nothing to spread the map over.
    if (span != 0.0f) {
      u = FastDistance(a0, ClosestPointOnLine(a0, a1, p)) / span;
      v = FastDistance(b0, ClosestPointOnLine(b0, b1, p)) / span;
    }
    if (rect != nullptr) {
      u = rect[2] + (rect[0] - rect[2]) * u;
      v = rect[5] + (rect[1] - rect[5]) * v;
    }
    AddTexCoord(kShadowLayer, u, v, -1);
  }
}

void CIndexedGeometry::FreeFinishTables() {
  if (m_pStripLengths != nullptr) {
    const std::uint32_t lods = TrackedArrayCount(m_pStripLengths);
    for (std::uint32_t lod = 0; lod < lods; ++lod) TrackedDeleteArray(m_pStripLengths[lod]);
    TrackedDeleteArray(m_pStripLengths);
  }
  if (m_pStripStarts != nullptr) {
    const std::uint32_t lods = TrackedArrayCount(m_pStripStarts);
    for (std::uint32_t lod = 0; lod < lods; ++lod) TrackedDeleteArray(m_pStripStarts[lod]);
    TrackedDeleteArray(m_pStripStarts);
  }
  TrackedDeleteArray(m_pNumStrips);
}

void CIndexedGeometry::DeleteIndexData() {
  FreeFinishTables();
  FreeVector(m_vStripDescriptors);
  FreeVector(m_vStripIndices);
  FreeVector(m_vTriangleCounts);
  m_nNumLods = 0;
}

std::uint32_t CIndexedGeometry::PackColor(float r, float g, float b) { return trt::PackColor(r, g, b); }

}  // namespace trt
