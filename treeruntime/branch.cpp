#include "treeruntime/branch.h"

#include <algorithm>

#include "treeruntime/frond_engine.h"
#include "treeruntime/indexed_geometry.h"

namespace trt {
namespace {

std::int32_t g_nLiveBranches = 0;

// +0.5, then truncation: the nearest index of a ring position.
std::int32_t Nearest(float value) { return TruncateToInt(value + 0.5f); }

}  // namespace

CBranch::CBranch(CBranch* pParent, bool bOwned) : m_pParent(pParent), m_bOwned(bOwned) {
  m_pVertices = m_acInlineVertices;
  ++g_nLiveBranches;
}

CBranch::~CBranch() {
  FreeVertices();
  FreeChildren();
  --g_nLiveBranches;
}

CBranch::CBranch(const CBranch& other) : m_bOwned(other.m_bOwned) {
  m_pVertices = m_acInlineVertices;
  ++g_nLiveBranches;
  CopyFrom(other);
}

CBranch& CBranch::operator=(const CBranch& other) {
  if (this != &other) CopyFrom(other);
  return *this;
}

std::int32_t CBranch::GetLiveCount() { return g_nLiveBranches; }

void CBranch::CopyFrom(const CBranch& other) {
  FreeChildren();
  m_pParent = other.m_pParent;
  m_fPercent = other.m_fPercent;
  m_nNumCrossSections = other.m_nNumCrossSections;
  m_nFirstVertex = other.m_nFirstVertex;
  m_fSizeMeasure = other.m_fSizeMeasure;
  m_vFlares = other.m_vFlares;
  SetNumVertices(other.m_nNumVertices);
  m_nNumVertices = other.m_nNumVertices;
  for (std::int32_t i = 0; i < m_nNumVertices; ++i) m_pVertices[i] = other.m_pVertices[i];
  m_vChildren.reserve(other.m_vChildren.size());
  for (const SBranchChild& child : other.m_vChildren) {
    SBranchChild copy = child;
    copy.m_pBranch = nullptr;
    if (child.m_pBranch != nullptr) {
      copy.m_pBranch = TrackedNew<CBranch>("CBranch copy", *child.m_pBranch);
      copy.m_pBranch->m_bOwned = true;
      copy.m_pBranch->m_pParent = this;
    }
    m_vChildren.push_back(copy);
  }
}

void CBranch::SetNumVertices(std::int32_t count) {
  FreeVertices();
  m_nNumVertices = count;
  if (count < kInlineVertices) {
    for (SBranchVertex& vertex : m_acInlineVertices) vertex = SBranchVertex{};
    return;
  }
  m_pVertices = TrackedNewArray<SBranchVertex>(static_cast<std::size_t>(count), "CBranch::Compute, m_pVertices");
  m_bInlineVertices = false;
}

void CBranch::FreeVertices() {
  if (!m_bInlineVertices) TrackedDeleteArray(m_pVertices);
  m_pVertices = m_acInlineVertices;
  m_bInlineVertices = true;
}

void CBranch::FreeChildren() {
  // Whatever holds a child list owns the copies in it. The descendants are
  // freed from a list, not by recursion: a description may nest deeply.
  TreeVector<CBranch*> doomed;
  for (const SBranchChild& child : m_vChildren) doomed.push_back(child.m_pBranch);
  FreeVector(m_vChildren);
  while (!doomed.empty()) {
    CBranch* branch = doomed.back();
    doomed.pop_back();
    if (branch == nullptr) continue;
    for (const SBranchChild& child : branch->m_vChildren) doomed.push_back(child.m_pBranch);
    FreeVector(branch->m_vChildren);
    TrackedDelete(branch);
  }
}

void CBranch::CollectNodes(TreeVector<CBranch*>& list) {
  // Pre-order without recursion: a hostile description may nest deeply.
  TreeVector<CBranch*> pending;
  pending.push_back(this);
  while (!pending.empty()) {
    CBranch* node = pending.back();
    pending.pop_back();
    list.push_back(node);
    for (auto child = node->m_vChildren.rbegin(); child != node->m_vChildren.rend(); ++child) {
      if (child->m_pBranch != nullptr) pending.push_back(child->m_pBranch);
    }
  }
}

void CBranch::EmitToLod(std::int32_t lod, CIndexedGeometry& geometry) const {
  if (m_nFirstVertex < 0 || m_nNumVertices < 2) return;
  TreeVector<std::int32_t> strip;
  strip.reserve(200);
  std::int32_t base = 0;
  for (std::int32_t i = 0; i + 1 < m_nNumVertices; ++i) {
    const std::int32_t ci = m_pVertices[i].m_nRingCount;
    const std::int32_t cj = m_pVertices[i + 1].m_nRingCount;
    const std::int32_t m = std::max(ci, cj) + 1;
    for (std::int32_t k = 0; k < m; ++k) {
      const float f = m > 1 ? static_cast<float>(k) / static_cast<float>(m - 1) : 0.0f;
      strip.push_back(m_nFirstVertex + base + (ci + 1) + Nearest(f * static_cast<float>(cj)));
      strip.push_back(m_nFirstVertex + base + Nearest(f * static_cast<float>(ci)));
    }
    // A degenerate join to the next segment.
    const std::int32_t join = strip[strip.size() - 2];
    strip.push_back(join);
    strip.push_back(join);
    base += ci + 1;
  }
  geometry.AddStrip(lod, strip.data(), static_cast<std::int32_t>(strip.size()));
  geometry.AdvanceStripCounter();
  const float fade = CFrondEngine::LodFade(lod, geometry.GetNumLods());
  for (const std::int32_t vertex : strip) geometry.SetLodFade(vertex, fade);
}

}  // namespace trt
