#include "treeruntime/wind_matrices.h"

#include <algorithm>
#include <cmath>

#include "treeruntime/tree_memory.h"

namespace trt {
namespace {

struct SharedTable {
  std::int32_t instances = 0;
  std::uint16_t count = 0;
  stMat4* matrices = nullptr;  // counted tracked array
};

SharedTable g_cShared;

// The offset table's index of card index i, for any i.
int OffsetIndex(std::int32_t index) {
  const int i = index % CWindMatrices::kNumAngleOffsets;
  return i < 0 ? i + CWindMatrices::kNumAngleOffsets : i;
}

float TableAngle(const float* table, std::uint32_t count, std::int32_t index, float scale) {
  if (table == nullptr || count == 0) return 0.0f;
  const std::int64_t i = static_cast<std::int64_t>(index) % count;
  return table[i < 0 ? i + count : i] * scale;
}

}  // namespace

CWindMatrices::CWindMatrices() {
  if (g_cShared.matrices == nullptr) Resize(kInitialMatrices);
  ++g_cShared.instances;
}

CWindMatrices::~CWindMatrices() {
  m_pRockingAngles = nullptr;
  m_pRustlingAngles = nullptr;
  if (--g_cShared.instances == 0) {
    g_cShared.count = 0;
    TrackedDeleteArray(g_cShared.matrices);
  }
}

void CWindMatrices::Resize(std::int32_t count) {
  const std::int32_t kept = std::clamp(count, 0, kMaxMatrices);
  TrackedDeleteArray(g_cShared.matrices);
  g_cShared.count = 0;
  g_cShared.matrices = TrackedNewArray<stMat4>(static_cast<std::size_t>(kept), "CWindMatrices::Resize, m_pMatrices");
  g_cShared.count = static_cast<std::uint16_t>(kept);
}

std::uint32_t CWindMatrices::GetNumSharedMatrices() { return g_cShared.count; }

stMat4* CWindMatrices::GetSharedMatrix(std::uint32_t index) {
  return index < g_cShared.count ? &g_cShared.matrices[index] : nullptr;
}

std::int32_t CWindMatrices::GetInstanceCount() { return g_cShared.instances; }

void CWindMatrices::ReleaseUnusedTable() {
  if (g_cShared.instances != 0) return;
  g_cShared.count = 0;
  TrackedDeleteArray(g_cShared.matrices);
}

void CWindMatrices::SetWindInfo(const STreeWindInfo& info) {
  const stVec3& vector = info.m_vVectorA;
  m_fStrength = vector.x;
  m_fSecondComponent = vector.y;
  m_fRate = info.m_fValue * 8.0f * vector.y;
  m_fAmplitude = info.m_fValue * 180.0f * vector.x;
  m_fWindScalar = info.m_fValue;
}

void CWindMatrices::SetMatrixRange(std::uint32_t first, std::uint32_t count) {
  m_uFirstMatrix = first;
  m_uNumMatrices = count;
}

float CWindMatrices::SineAngle(float x) const {
  float s = 0.0f;
  float low = 0.0f;
  float high = 0.0f;
  if (m_bWindEngineFlag) {
    s = (std::sin(x + m_fPhase) + 1.0f) * 0.5f;
    low = -m_fAmplitude;
    high = m_fAmplitude;
  } else {
    s = (std::sin(x) + 1.0f) * 0.5f;
    low = -0.15f * m_fStrength;
    high = 0.15f * m_fStrength;
  }
  return low + (high - low) * s;
}

float CWindMatrices::RockAngle(std::int32_t index) const {
  if (!m_bWindEngineFlag) return 0.0f;
  return TableAngle(m_pRockingAngles, m_uNumLeafAngles, index, m_fRockingScale);
}

float CWindMatrices::RustleAngle(std::int32_t index) const {
  if (!m_bWindEngineFlag) return 0.0f;
  return TableAngle(m_pRustlingAngles, m_uNumLeafAngles, index, m_fRustlingScale);
}

float CWindMatrices::FirstOffset(std::int32_t index) { return kAngleOffsets[OffsetIndex(index)]; }

float CWindMatrices::SecondOffset(std::int32_t index) {
  return kAngleOffsets[kNumAngleOffsets - 1 - OffsetIndex(index)];
}

void CWindMatrices::RotateCard(std::int32_t index, float a1, float a2, float x, stMat3& m) const {
  m.RotateZ(FirstOffset(index) + a1);
  m.RotateY(SecondOffset(index) + a2);
  m.RotateX(SineAngle(x));
}

void CWindMatrices::RotateCardFromTables(std::int32_t index, float a1, float a2, stMat3& m) const {
  m.RotateZ(FirstOffset(index) + a1);
  m.RotateY(SecondOffset(index) + a2);
  m.RotateZ(RustleAngle(index));
  m.RotateX(RockAngle(index));
}

void CWindMatrices::RotateAxis(float x, stMat3& m) const { m.RotateX(SineAngle(x)); }

void CWindMatrices::RotateAxisFromTables(std::int32_t index, stMat3& m) const { m.RotateX(RockAngle(index)); }

}  // namespace trt
