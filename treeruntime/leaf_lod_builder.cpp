#include "treeruntime/leaf_lod_builder.h"

#include "treeruntime/branch.h"
#include "treeruntime/lighting_engine.h"
#include "treeruntime/tree_math.h"
#include "treeruntime/tree_random.h"

namespace trt {
namespace {

float Channel(std::uint32_t color, int shift) { return static_cast<float>((color >> shift) & 0xffu) / 255.0f; }

}  // namespace

CLeafLodBuilder::CLeafLodBuilder(const STreeLeafInfo& info, float distanceLimit, float keepThreshold,
                                 float levelScale)
    : m_cInfo(info), m_fDistanceLimit(distanceLimit), m_fKeepThreshold(keepThreshold), m_fLevelScale(levelScale) {}

void CLeafLodBuilder::FindPairs(const TreeVector<SBillboardLeaf>& leaves) {
  m_vPairs.clear();
  const std::size_t count = leaves.size();
  TreeVector<std::uint8_t> taken(count, 0);
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t partner = count;
    float nearest = 0.0f;
    std::size_t j = i + 1;
    for (; j < count && taken[j] == 0; ++j) {
      const float d = FastDistance(leaves[i].m_vPosition, leaves[j].m_vPosition);
      if (d < m_fDistanceLimit && (partner == count || d < nearest)) {
        partner = j;
        nearest = d;
      }
    }
    ChargeComputeWork(j - i);
    if (partner == count) continue;
    taken[partner] = 1;
    m_vPairs.emplace_back(static_cast<std::int32_t>(i), static_cast<std::int32_t>(partner));
  }
}

void CLeafLodBuilder::BuildLevel(const TreeVector<SBillboardLeaf>& leaves, TreeVector<SBillboardLeaf>& level) const {
  const CTreeRandom random;
  level.reserve(level.size() + m_vPairs.size());
  for (const auto& [first, second] : m_vPairs) {
    if (!(random.GetUniform(0.0f, 1.0f) > m_fKeepThreshold)) continue;
    const SBillboardLeaf& a = leaves[static_cast<std::size_t>(first)];
    const SBillboardLeaf& b = leaves[static_cast<std::size_t>(second)];
    SBillboardLeaf merged = a;
    merged.m_vPosition = (a.m_vPosition + b.m_vPosition) * 0.5f;
    const std::size_t map = a.m_ucLeafMapByte / 2u;
    if (map < m_cInfo.m_vLeafMaps.size()) {
      // Card tops run along z: the larger leaf keeps its origin where the
      // pair's was.
      const STreeLeafMap& m = m_cInfo.m_vLeafMaps[map];
      merged.m_vPosition.z += (m.m_vOrigin.y - 0.5f) * m.m_vAbsoluteSize.y * m_fLevelScale * 0.5f;
    }
    const float dimming = static_cast<float>(merged.m_ucDimming) / 255.0f;
    for (int c = 0; c < 4; ++c) {
      float rgb[3];
      for (int k = 0; k < 3; ++k) {
        const float average = (Channel(a.m_auCornerColors[c], 8 * k) + Channel(b.m_auCornerColors[c], 8 * k)) * 0.5f;
        rgb[k] = average * dimming;
      }
      merged.m_auCornerColors[c] = PackColor(rgb[0], rgb[1], rgb[2]);
    }
    level.push_back(merged);
  }
}

}  // namespace trt
