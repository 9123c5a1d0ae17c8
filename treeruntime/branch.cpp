#include "treeruntime/branch.h"

#include <algorithm>

#include <cmath>
#include <stdexcept>

#include "treeruntime/frond_engine.h"
#include "treeruntime/indexed_geometry.h"
#include "treeruntime/lighting_engine.h"
#include "treeruntime/tree_branch_info.h"
#include "treeruntime/tree_leaf_info.h"
#include "treeruntime/tree_random.h"

namespace trt {
namespace {

std::int32_t g_nLiveBranches = 0;
std::uint32_t g_uFlareState = 0;
SBranchSettings g_cSettings;

const stVec3 kDown{0.0f, 0.0f, -1.0f};
constexpr std::uint32_t kTableSize = 1000;

stVec3 Row(const stMat3& m, int row) { return stVec3(m.m[3 * row], m.m[3 * row + 1], m.m[3 * row + 2]); }

float Clamp01(float value) { return value > 0.0f ? (value < 1.0f ? value : 1.0f) : 0.0f; }

// A uniform draw in [low, high] from the shared generator.
float Draw(float low, float high) { return CTreeRandom::GetUniform(low, high); }

// The ring segment count of a vertex: trunc(c (K - 3) + 3), c the cross
// section profile clamped to [0, 1]; at least 1, so a ring always closes.
std::int32_t RingCount(const STreeBranchInfo& info, std::int32_t crossSections, float t) {
  const float c = Clamp01(info.m_sCrossSectionProfile.Evaluate(t));
  return std::max(TruncateToInt(c * static_cast<float>(crossSections - 3) + 3.0f), 1);
}

// Gravity bends the orientation about the world axis across the direction
// and down, most where the branch is horizontal.
void ApplyGravity(stMat3& orientation, float profile, float gravity) {
  const stVec3 direction = Row(orientation, 0);
  const float d = AngleBetween(direction, kDown) * kRadToDeg;
  const float h = 1.0f - std::fabs(90.0f - d) * kOneOver90;
  stVec3 axis = Cross(direction, kDown);
  axis.Normalize();
  const float angle = (profile - 0.5f) * 2.0f * -1.0f * gravity * d * h;
  orientation = orientation * stMat3::AxisAngle(angle, axis.x, axis.y, axis.z);
}

void ApplyTwist(stMat3& orientation, float degrees) {
  stMat3 twist;
  twist.RotateZ(degrees);
  orientation = orientation * twist;
}

// Wind weights of a vertex at t with scale w, from the incoming pair.
void WindWeights(SBranchVertex& vertex, float in1, float in2, std::int32_t level, float t, float w) {
  const SBranchSettings& st = g_cSettings;
  vertex.m_fWindWeight1 = in1;
  vertex.m_fWindWeight2 = in2;
  if (level < st.m_nWindLevel) {
    vertex.m_fWindWeight1 = 1.0f;
    vertex.m_fWindWeight2 = 1.0f;
  } else if (level == st.m_nWindLevel) {
    vertex.m_fWindWeight1 = 1.0f - t * w;
    vertex.m_fWindWeight2 = 1.0f;
  } else if (level - 1 == st.m_nWindLevel) {
    vertex.m_fWindWeight2 = 1.0f - t * w;
  } else if (st.m_bWindFalloff) {
    vertex.m_fWindWeight2 = in2 * (1.0f - w);
  }
}

float TableValue(std::uint32_t& counter) { return g_cSettings.m_afTable[counter++ % kTableSize]; }

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

SBranchSettings& CBranch::Settings() { return g_cSettings; }

void ChargeComputeWork(std::uint64_t units) {
  SBranchSettings& st = g_cSettings;
  if (!st.m_bWorkBudget) return;
  if (units > st.m_uWorkLeft) {
    st.m_uWorkLeft = 0;
    throw std::length_error("the tree data asks for more work than one compute is given");
  }
  st.m_uWorkLeft -= units;
}

void CFlareRandom::Seed(std::uint32_t seed) { g_uFlareState = seed; }

std::int32_t CFlareRandom::Next() {
  g_uFlareState = g_uFlareState * 214013u + 2531011u;
  return static_cast<std::int32_t>((g_uFlareState >> 16) & 0x7fffu);
}

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

namespace trt {

float CBranch::FlareValue(const SFlare& flare, float a, float t) {
  float first = a;
  float second = flare.m_fAngle;
  float d = std::fabs(first - second);
  if (d > kPi) {
    // Measured the short way round.
    if (first < second) {
      first += kTwoPi;
    } else {
      second += kTwoPi;
    }
    d = std::fabs(first - second);
  }
  if (d >= flare.m_fWidth || t >= flare.m_fHeight) return 0.0f;
  return flare.m_fMagnitude * std::pow(1.0f - d / flare.m_fWidth, flare.m_fRadialExponent) *
         std::pow((flare.m_fHeight - t) / flare.m_fHeight, flare.m_fVerticalExponent);
}

void CBranch::BuildFlares(const STreeBranchInfo& info) {
  const float* v = info.m_afFlareValues;
  auto draw = [] { return static_cast<float>(CFlareRandom::Next()) / 32767.0f; };
  const float start = kTwoPi * draw();
  const float step = kTwoPi / static_cast<float>(info.m_nNumFlares);
  for (std::int32_t i = 0; i < info.m_nNumFlares; ++i) {
    SFlare flare;
    flare.m_fAngle = static_cast<float>(i) * (step * v[0] + (step - step * v[0]) * draw()) + start;
    if (flare.m_fAngle > kTwoPi) flare.m_fAngle -= kTwoPi;
    flare.m_fWidth = (v[1] + (v[2] - v[1]) * draw()) / kRadToDeg;
    flare.m_fRadialExponent = v[3];
    flare.m_fHeight = v[6] + (v[7] - v[6]) * draw();
    flare.m_fMagnitude = v[4] + (v[5] - v[4]) * draw();
    flare.m_fVerticalExponent = v[8];
    m_vFlares.push_back(flare);
  }
}

void CBranch::EmitRing(CIndexedGeometry& g, const STreeBranchInfo& info, const SBranchVertex& vertex, float t,
                       float size, float length, float cap, float texOffset, bool negativeTwist,
                       std::int32_t group1, std::int32_t group2) {
  const std::int32_t c = vertex.m_nRingCount;
  const stVec3 r1 = Row(vertex.m_mOrientation, 1);
  const stVec3 r2 = Row(vertex.m_mOrientation, 2);
  const float share = cap > 0.0f ? vertex.m_fRadius / cap : 0.0f;
  const float roughProfile = info.m_sRoughnessProfile.Evaluate(t);
  stVec3 seam;
  for (std::int32_t j = 0; j <= c; ++j) {
    const float u = static_cast<float>(j) / static_cast<float>(c);
    const float a = kTwoPi * u;
    const stVec3 n = r1 * std::cos(a) + r2 * std::sin(a);
    const stVec3 b = r1 * std::cos(a + kHalfPi) + r2 * std::sin(a + kHalfPi);
    stVec3 position = seam;
    if (j < c) {
      float flare = 1.0f;
      for (const SFlare& f : m_vFlares) flare += FlareValue(f, a, t);
      float r = vertex.m_fRadius + info.m_fRoughness * share * size * roughProfile *
                                       std::sin(t * info.m_fRoughnessFreqAlong) *
                                       std::sin(t * info.m_fRoughnessFreqAround) *
                                       std::cos(a * info.m_fRoughnessFreqAround);
      if (r > cap) r = cap;
      r += share * size * roughProfile * (TableValue(g_cSettings.m_uRoughnessCounter) - 0.5f) * 2.0f *
           info.m_fRandomRoughness;
      position = vertex.m_vPosition + n * (r * flare);
      if (j == 0) seam = position;
    }
    g.AddVertex(position);
    g.AddBinormal(b);
    g.AddTangent(Cross(n, b));
    for (int layer = 0; layer < STreeBranchInfo::kNumTextureLayers; ++layer) {
      const STreeTextureLayer& rec = info.m_acTextureLayers[layer];
      const float vScale = rec.m_fVScale * (rec.m_bAbsoluteV ? 1.0f : (size != 0.0f ? length / size : 0.0f));
      const float uScale = rec.m_bAbsoluteU ? rec.m_fUScale : kTwoPi * m_fRadius0 * rec.m_fUScale;
      float sCoord = 0.0f;
      if (rec.m_bFlag4) {
        // Spiral: from a start angle of value 3 x 90 degrees.
        float angle = rec.m_fValue3 * 90.0f;
        if (!(angle > 0.0f)) angle = 0.0f;
        angle = std::fmod(angle, 360.0f);
        sCoord = uScale * u + angle / 360.0f;
      } else {
        const float twist = negativeTwist ? -rec.m_fValue5 : rec.m_fValue5;
        sCoord = uScale * u + rec.m_fValue3 + twist * t;
      }
      float tCoord = (t + (rec.m_bFlag3 ? texOffset : 0.0f)) * vScale - rec.m_fValue4;
      if (rec.m_bFlag5) tCoord = rec.m_afRect[0] + (rec.m_afRect[1] - rec.m_afRect[0]) * Clamp01(tCoord);
      g.AddTexCoord(layer, sCoord, tCoord, -1);
    }
    if (g.HasWindData()) {
      g.AddWindData1(vertex.m_fWindWeight1, group1);
      g.AddWindData2(vertex.m_fWindWeight2, group2);
    }
    g.AdvanceVertexCursor();
  }
}

void CBranch::ComputeNormals(CIndexedGeometry& g, const STreeBranchInfo& info, std::int32_t /*kind*/) {
  const CLightingEngine* lighting = g_cSettings.m_pLightingEngine;
  const bool lit = lighting != nullptr && lighting->m_nBranchLightingMethod == 1;
  const float w0 = info.m_sNormalBlendBase.Evaluate(m_fPercent);
  // First vertex of each ring.
  TreeVector<std::int32_t> starts;
  std::int32_t at = m_nFirstVertex;
  for (std::int32_t i = 0; i < m_nNumVertices; ++i) {
    starts.push_back(at);
    at += m_pVertices[i].m_nRingCount + 1;
  }
  auto point = [&g](std::int32_t index) {
    const float* p = g.GetVertex(index);
    return stVec3(p[0], p[1], p[2]);
  };
  for (std::int32_t i = 0; i < m_nNumVertices; ++i) {
    const SBranchVertex& vertex = m_pVertices[i];
    const std::int32_t c = vertex.m_nRingCount;
    const float v = m_nNumVertices > 1 ? static_cast<float>(i) / static_cast<float>(m_nNumVertices - 1) : 0.0f;
    const float w = info.m_sNormalBlend.Evaluate(v) * (std::sqrt(v) * (1.0f - w0) + w0);
    const std::int32_t previous = i > 0 ? i - 1 : i;
    const std::int32_t next = i + 1 < m_nNumVertices ? i + 1 : i;
    for (std::int32_t j = 0; j <= c; ++j) {
      const std::int32_t jj = j % c;  // the seam vertex takes the first one's normal
      // 1. Around the ring, without its seam vertex.
      stVec3 tangent = point(starts[i] + (jj + 1) % c) - point(starts[i] + (jj + c - 1) % c);
      tangent.Normalize();
      // 2. Along the branch, at the same relative place of the neighbours.
      auto same = [&](std::int32_t ring) {
        const std::int32_t cr = m_pVertices[ring].m_nRingCount;
        return point(starts[ring] + TruncateToInt(static_cast<float>(cr) * static_cast<float>(jj) / static_cast<float>(c)));
      };
      stVec3 along = same(next) - same(previous);
      along.Normalize();
      // 3., 4. The surface normal blended toward the spine direction.
      stVec3 surface = Cross(tangent, along);
      if (surface == stVec3()) surface = vertex.m_vDirection;
      stVec3 normal = vertex.m_vDirection + (surface - vertex.m_vDirection) * w;
      normal.Normalize();
      // 5.
      if (lit) {
        const stColor4 color = lighting->LightVertex(point(starts[i] + j), normal, CLightingEngine::kBranch);
        g.AddColor(color.r, color.g, color.b);
      } else {
        g.AddNormal(normal);
      }
    }
  }
}

std::int32_t CBranch::Compute(std::uint32_t seed, float size, std::int32_t level, const stVec3& start, float percent,
                              const stMat3& parentOrientation, const stVec3& parentAxis, CIndexedGeometry* geometry,
                              TreeVector<SBillboardLeaf>& leaves, float windWeight1, float windWeight2,
                              std::int32_t windGroup1, std::int32_t windGroup2, float parentRadius,
                              bool isRootSupport) {
  SBranchSettings& st = g_cSettings;
  const std::int32_t numLevels = static_cast<std::int32_t>(st.m_vLevels.size());
  const STreeBranchInfo* record = nullptr;
  if (isRootSupport) {
    record = st.m_pRootSupport != nullptr ? &st.m_pRootSupport->m_sBranch : nullptr;
  } else if (level >= 0 && level < numLevels) {
    record = st.m_vLevels[static_cast<std::size_t>(level)];
  }
  // A tree without branch levels builds nothing; nor does a level deeper
  // than any real tree (a hostile description could chain levels until the
  // recursion exhausts the stack).
  if (record == nullptr || level > kMaxLevel) return 2;
  const STreeBranchInfo& info = *record;
  m_fPercent = percent;
  const std::uint32_t initialSeed = seed;
  st.m_nSpinCounter = 0;

  if (level == 0) {
    // The leaf-map groups leaf creation picks from.
    for (TreeVector<std::int32_t>& group : st.m_vLeafGroups) group.clear();
    FreeVector(st.m_vPlacedLeaves);
    if (st.m_pLeafInfo != nullptr) {
      const auto& maps = st.m_pLeafInfo->m_vLeafMaps;
      for (std::size_t m = 0; m < maps.size(); ++m) {
        TreeVector<std::int32_t>& group = st.m_vLeafGroups[maps[m].m_bFlag ? 0 : 1];
        group.push_back(static_cast<std::int32_t>(2 * m));
        group.push_back(static_cast<std::int32_t>(2 * m + 1));
      }
    }
  }

  // Geometry kind.
  std::int32_t kind = 1;
  CFrondEngine* fronds = st.m_pFrondEngine;
  const bool frondsEnabled = fronds != nullptr && fronds->GetFrondFlag() != 0;
  if (frondsEnabled && level >= fronds->GetFrondLevel()) {
    float threshold = 0.0f;
    std::int32_t levels = 0;
    std::int32_t upper = 0;
    std::int32_t lower = 0;
    fronds->GetSupplemental(threshold, levels, upper, lower);
    float p = percent;
    if (levels != 0) {
      const CBranch* ancestor = this;
      for (std::int32_t up = 0; up < levels && ancestor->m_pParent != nullptr; ++up) ancestor = ancestor->m_pParent;
      p = ancestor->m_fPercent;
    }
    if (threshold >= 0.0f) {
      kind = p >= threshold ? upper : lower;
    } else {
      kind = p > -threshold ? lower : upper;
    }
  }
  if (kind == 2) return 2;
  if (isRootSupport && kind == 0) kind = 1;

  // Per-branch parameters.
  // The counter starts at the seed, which may sit at the top of its range:
  // it wraps as an unsigned value.
  auto nextWindGroup = [&st] {
    st.m_nWindGroupCounter = static_cast<std::int32_t>(static_cast<std::uint32_t>(st.m_nWindGroupCounter) + 1u);
    return st.m_nWindGroupCounter;
  };
  if (level == st.m_nWindLevel) windGroup1 = nextWindGroup();
  if (level - 1 == st.m_nWindLevel) windGroup2 = nextWindGroup();
  if (kind == 1 && info.m_nNumFlares > 0) BuildFlares(info);
  const float x = percent;
  const float length = info.m_sLength.EvaluateWithVariance(x, false) * size;
  const float roll = Draw(-180.0f, 180.0f);
  const float startAngle = info.m_sStartAngle.EvaluateWithVariance(x, false);
  const float gravity = info.m_sGravity.EvaluateWithVariance(x, false);
  float radius = std::fabs(info.m_sRadius.EvaluateWithVariance(x, false) * size);
  const float flexibility = info.m_sFlexibility.EvaluateWithVariance(x, false);
  float cap = info.m_sRadius.m_fMax * size;
  if (level > st.m_nClusterLevel && parentRadius > 0.0f) cap = std::min(cap, 0.85f * parentRadius);
  radius = std::min(radius, cap);
  const float radius0 = info.m_sRadiusProfile.EvaluateWithVariance(0.0f, false) * radius;
  const float texOffset = (roll + 180.0f) / 360.0f + x;

  std::int32_t n = info.m_nSegments + 1;
  std::int32_t k = info.m_nCrossSections;
  if (kind == 0 && fronds != nullptr && fronds->m_ucSegmentCountFlag != 0) {
    n = fronds->m_nFrondSegments + 1;
  } else {
    const float lmin = info.m_sLength.m_fMin * size;
    const float lmax = info.m_sLength.m_fMax * size;
    if (info.m_fSegmentReduction < 1.0f && lmax > lmin) {
      const float f = Clamp01((length - lmin) / (lmax - lmin));
      const float r = info.m_fSegmentReduction;
      const float fn = static_cast<float>(n);
      n = std::max(TruncateToInt((fn - fn * r) * f + fn * r), 2);
    }
    const float rmin = info.m_sRadius.m_fMin * size;
    const float rmax = info.m_sRadius.m_fMax * size;
    if (info.m_fCrossSectionReduction < 1.0f && rmax > rmin) {
      const float f = Clamp01((radius - rmin) / (rmax - rmin));
      const float r = info.m_fCrossSectionReduction;
      const float fk = static_cast<float>(k);
      k = std::max(TruncateToInt((fk - fk * r) * f + fk * r), 3);
    }
  }
  m_nNumCrossSections = k;
  if (n < 2) return kind;

  // Each spine vertex and the ring around it.
  ChargeComputeWork(static_cast<std::uint64_t>(n) * (static_cast<std::uint64_t>(std::max(k, 0)) + 1) *
                    kComputeWorkPerItem);
  SetNumVertices(n);
  const bool makesRings = kind == 1 && level >= st.m_nClusterLevel && geometry != nullptr;
  bool aboveFloor = start.z >= st.m_fFloorHeight;
  bool negativeTwist = false;

  // The spine.
  for (std::int32_t i = 0; i < n; ++i) {
    SBranchVertex& vertex = m_pVertices[i];
    const float t = static_cast<float>(i) / static_cast<float>(n - 1);
    const float tp = i == 0 ? 0.0f : std::pow(t, info.m_fSegmentExponent);
    float segment = 0.0f;
    if (i == 0) {
      vertex.m_vPosition = start;
      const float a = info.m_sDisturbance.GetVariance(0.0f);
      const float b = info.m_sDisturbance.GetVariance(0.0f);
      vertex.m_mOrientation = parentOrientation;
      const stVec3 axis = parentOrientation.MultiplyColumn(parentAxis);
      vertex.m_mOrientation.RotateAxis(roll, axis.x, axis.y, axis.z);
      vertex.m_mOrientation.RotateYZ(startAngle + b, a);
      vertex.m_vDirection = Row(vertex.m_mOrientation, 0);
      vertex.m_fRadius = info.m_sRadiusProfile.EvaluateWithVariance(0.0f, true) * radius;
      ApplyGravity(vertex.m_mOrientation, info.m_sGravityProfile.EvaluateWithVariance(0.0f, false), gravity);
      float twist = info.m_sTwistProfile.Evaluate(0.0f) * info.m_fTwist;
      if (!info.m_bTwistFixed && TruncateToInt(roll) % 2 == 0) negativeTwist = true;
      if (negativeTwist) twist = -twist;
      ApplyTwist(vertex.m_mOrientation, twist);
      vertex.m_vDirection = Row(vertex.m_mOrientation, 0);
      WindWeights(vertex, windWeight1, windWeight2, level,
                  0.0f, info.m_sFlexibilityProfile.EvaluateWithVariance(0.0f, false) * flexibility);
      vertex.m_fDistance = 0.0f;
      vertex.m_nRingCount = RingCount(info, k, 0.0f);
      m_fRadius0 = vertex.m_fRadius;
    } else {
      const SBranchVertex& before = m_pVertices[i - 1];
      segment = tp * length - before.m_fDistance;
      vertex.m_nRingCount = RingCount(info, k, tp);
      vertex.m_fRadius = info.m_sRadiusProfile.EvaluateWithVariance(tp, true) * radius;
      const float w = info.m_sFlexibilityProfile.EvaluateWithVariance(tp, false) * flexibility;
      vertex.m_mOrientation = before.m_mOrientation;
      ApplyGravity(vertex.m_mOrientation, info.m_sGravityProfile.EvaluateWithVariance(tp, false), gravity);
      const float a = info.m_sDisturbance.GetVariance(tp);
      const float b = info.m_sDisturbance.GetVariance(tp);
      vertex.m_mOrientation.RotateYZ(b, a);
      const float twist = info.m_sTwistProfile.Evaluate(tp) * info.m_fTwist;
      ApplyTwist(vertex.m_mOrientation, negativeTwist ? -twist : twist);
      vertex.m_vDirection = Row(vertex.m_mOrientation, 0);
      vertex.m_vPosition = before.m_vPosition + before.m_vDirection * segment;
      if (st.m_bFloorEnabled && aboveFloor && level >= st.m_nFloorLevel &&
          vertex.m_vPosition.z <= before.m_vPosition.z && vertex.m_vPosition.z < st.m_fFloorHeight) {
        vertex.m_vPosition.z = st.m_fFloorHeight + (vertex.m_vPosition.z - st.m_fFloorHeight) *
                                                       std::pow(t, st.m_fFloorExponent) * st.m_fFloorScale;
      }
      WindWeights(vertex, windWeight1, windWeight2, level, tp, w);
      vertex.m_fDistance = before.m_fDistance + segment;
    }
    if (vertex.m_vPosition.z >= st.m_fFloorHeight) aboveFloor = true;

    if (makesRings) {
      if (i == 0) m_nFirstVertex = geometry->GetVertexCount();
      EmitRing(*geometry, info, vertex, tp, size, length, cap, texOffset, negativeTwist, windGroup1, windGroup2);
    } else if (kind == 0 && fronds != nullptr) {
      if (i == 0) fronds->AddFrond(n);
      stFrondFrame frame;
      frame.m_vPosition = vertex.m_vPosition;
      frame.m_mOrientation = vertex.m_mOrientation;
      frame.m_fWindWeight1 = vertex.m_fWindWeight1;
      frame.m_fWindWeight2 = vertex.m_fWindWeight2;
      frame.m_ucWindMatrix1 = static_cast<std::uint8_t>(windGroup1);
      frame.m_ucWindMatrix2 = static_cast<std::uint8_t>(windGroup2);
      fronds->AddFrame(frame);
    }
  }
  if (kind == 0 && fronds != nullptr) fronds->FinishFrond(radius0);
  if (makesRings) {
    ComputeNormals(*geometry, info, kind);
    EmitToLod(0, *geometry);
  }
  m_fSizeMeasure = 0.0f;
  for (std::int32_t i = 0; i + 1 < n; ++i) {
    m_fSizeMeasure += (m_pVertices[i].m_fRadius + m_pVertices[i + 1].m_fRadius) *
                      FastDistance(m_pVertices[i].m_vPosition, m_pVertices[i + 1].m_vPosition);
  }

  // Children.
  if (isRootSupport) return kind;
  const float sizeOrOne = size != 0.0f ? size : 1.0f;
  const std::int32_t regular = std::max(TruncateToInt(info.m_fFrequency / sizeOrOne * length), 0);
  std::int32_t count = regular;
  const STreeRootSupport* rs = st.m_pRootSupport;
  if (rs != nullptr && level + 1 == rs->m_nValue40002) {
    // Both counts may sit at the top of the range (saturated conversions).
    const std::int64_t roots = std::max(TruncateToInt(rs->m_fValue40005 / sizeOrOne * length), 0);
    count = static_cast<std::int32_t>(std::min<std::int64_t>(regular + roots, INT32_MAX));
  }
  const bool leafLevel = level + 1 >= numLevels - 1;
  if (leafLevel && !st.m_bLeavesNeedPlacement) count = 0;
  const float first = info.m_fFirstChild;
  const float last = info.m_fLastChild;
  for (std::int32_t c = 0; c < count; ++c) {
    ChargeComputeWork(kComputeWorkPerItem);
    const bool root = c >= regular;
    if (c == regular) CTreeRandom::SeedStored(initialSeed);
    if (!root && !leafLevel) {
      seed += 3;
      CTreeRandom::SeedStored(seed);
    }
    float p = 0.0f;
    if (c == 0 && level > st.m_nClusterLevel && !leafLevel && !root) {
      p = Draw(first + (last - first) * 0.85f, first + (last - first) * 0.95f);
    } else if (root) {
      p = Draw(rs->m_fValue40003, rs->m_fValue40004);
    } else {
      p = Draw(first, last);
    }
    const float windowLow = root ? rs->m_fValue40003 : first;
    const float windowHigh = root ? rs->m_fValue40004 : last;
    // Density.
    const float place = last != first ? Clamp01((p - first) / (last - first)) : 0.0f;
    const float q = info.m_sChildDensity.Evaluate(place);
    if (q < 1.0f && !(TableValue(st.m_uDensityCounter) <= q)) continue;
    // Kinks.
    if (!leafLevel && info.m_bSnapToKinks && Draw(0.0f, 1.0f) <= info.m_fSnapChance) {
      const float target = p * length;
      std::int32_t nearest = 0;
      for (std::int32_t i = 1; i < n; ++i) {
        if (std::fabs(m_pVertices[i].m_fDistance - target) < std::fabs(m_pVertices[nearest].m_fDistance - target)) {
          nearest = i;
        }
      }
      SBranchVertex& kink = m_pVertices[nearest];
      if (nearest == n - 1 || kink.m_nChildCount >= info.m_nMaxChildrenPerVertex) continue;
      ++kink.m_nChildCount;
      const float bend =
          nearest == 0 ? 180.0f : AngleBetween(kink.m_vDirection, m_pVertices[nearest - 1].m_vDirection) * kRadToDeg;
      if (bend < info.m_fKinkAngle) continue;
      p = length != 0.0f ? kink.m_fDistance / length : 0.0f;
      if (p < first || p > last) continue;
    }
    // Parent filter.
    float tested = p;
    if (info.m_nParentFilterLevel > 0) {
      const CBranch* ancestor = this;
      for (std::int32_t up = 1; up < info.m_nParentFilterLevel && ancestor->m_pParent != nullptr; ++up) {
        ancestor = ancestor->m_pParent;
      }
      tested = ancestor->m_fPercent;
    }
    const float filter = info.m_fParentFilter;
    if (filter >= 0.0f ? tested < filter : tested > -filter) continue;
    // Attachment.
    const float target = p * length;
    std::int32_t segmentIndex = 0;
    for (std::int32_t i = 1; i < n; ++i) {
      if (m_pVertices[i].m_fDistance > target) {
        segmentIndex = i - 1;
        break;
      }
    }
    const SBranchVertex& a = m_pVertices[segmentIndex];
    const SBranchVertex& b = m_pVertices[std::min(segmentIndex + 1, n - 1)];
    const float span = b.m_fDistance - a.m_fDistance;
    const float fraction = span != 0.0f ? (target - a.m_fDistance) / span : 0.0f;
    const stVec3 position = Lerp(a.m_vPosition, b.m_vPosition, fraction);
    const float w1 = a.m_fWindWeight1 + (b.m_fWindWeight1 - a.m_fWindWeight1) * fraction;
    const float w2 = a.m_fWindWeight2 + (b.m_fWindWeight2 - a.m_fWindWeight2) * fraction;
    const float childRadius = a.m_fRadius + (b.m_fRadius - a.m_fRadius) * fraction;
    const float remapped = windowHigh != windowLow ? (p - windowLow) / (windowHigh - windowLow) : 1.0f;

    if (leafLevel) {
      // The leaf's start frame: one step of this level's spine, rolled about
      // the segment's axis and turned 60 degrees off it.
      const float leafLength = info.m_sLength.EvaluateWithVariance(p, false) * size;
      // A level without segments would divide by 0: the leaf then takes the
      // whole length as its step.
      const float step = info.m_nSegments > 0 ? leafLength / static_cast<float>(info.m_nSegments) : leafLength;
      const float leafRoll = Draw(-180.0f, 180.0f);
      stMat3 frame = a.m_mOrientation;
      const stVec3 leafAxis = a.m_mOrientation.MultiplyColumn(a.m_vDirection);
      frame.RotateAxis(leafRoll, leafAxis.x, leafAxis.y, leafAxis.z);
      frame.RotateY(60.0f);
      const stVec3 leafPosition = position + Row(frame, 0) * step;
      stVec3 leafDirection = leafPosition - position;
      leafDirection.Normalize();
      AddLeaf(leafPosition, remapped, leafDirection, LeafReference(leafPosition, remapped, leafDirection), w1, w2,
              windGroup1, windGroup2, leaves);
      continue;
    }
    if (!root) {
      CTreeRandom::SeedStored(seed);
      (void)Draw(0.0f, 100.0f);
    }
    // The child is grown on the heap: the recursion keeps its frames small.
    // Room for it in the list first, so that keeping it cannot fail.
    m_vChildren.reserve(m_vChildren.size() + 1);
    CBranch* child = TrackedNew<CBranch>("CBranch::Compute, sBranch.m_pBranch->m_vChildren[h].m_pBranch", this, false);
    const bool clusterStart = level + 1 == st.m_nClusterLevel;
    const stMat3 orientation = clusterStart ? stMat3{} : a.m_mOrientation;
    const stVec3 axis = clusterStart ? stVec3{} : a.m_vDirection;
    std::int32_t childKind = 2;
    try {
      childKind = child->Compute(seed, size, level + 1, position, remapped, orientation, axis, geometry, leaves, w1,
                                 w2, windGroup1, windGroup2, childRadius, root);
    } catch (...) {
      TrackedDelete(child);
      throw;
    }
    if (!frondsEnabled || childKind == 1) {
      SBranchChild kept;
      kept.m_nVertex = segmentIndex;
      kept.m_fFraction = fraction;
      kept.m_pBranch = child;  // kept as it is: it becomes the owned copy
      child->m_bOwned = true;
      m_vChildren.push_back(kept);
    } else {
      TrackedDelete(child);
    }
  }
  // The spacing test against leaves placed on this branch holds for its own
  // leaf children only.
  if (leafLevel) FreeVector(st.m_vPlacedLeaves);
  return kind;
}

stVec3 CBranch::LeafReference(const stVec3& position, float percent, const stVec3& direction) const {
  const std::int32_t n = g_cSettings.m_pLeafInfo != nullptr ? g_cSettings.m_pLeafInfo->m_nNormalSmoothingInt : 1;
  if (n <= 0) {
    // The growth direction where the leaf sits along this branch.
    if (m_nNumVertices < 1) return direction;
    const std::int32_t last = m_nNumVertices - 1;
    const std::int32_t i = std::clamp(TruncateToInt((static_cast<float>(m_nNumVertices) - 1.0f) * percent), 0, last);
    return m_pVertices[i].m_vDirection;
  }
  // Away from the base of the branch n - 1 links up.
  const CBranch* base = this;
  for (std::int32_t up = 1; up < n && base->m_pParent != nullptr; ++up) base = base->m_pParent;
  if (base->m_nNumVertices < 1) return direction;
  stVec3 reference = position - base->m_pVertices[0].m_vPosition;
  reference.Normalize();
  return reference;
}

}  // namespace trt

namespace trt {

void CBranch::AddLeaf(const stVec3& position, float percent, const stVec3& direction, const stVec3& reference,
                      float windWeight1, float windWeight2, std::int32_t windGroup1, std::int32_t windGroup2,
                      TreeVector<SBillboardLeaf>& leaves) {
  SBranchSettings& st = g_cSettings;
  // 1.
  if (st.m_pLeafInfo == nullptr || st.m_pLeafInfo->m_vLeafMaps.empty()) return;
  const STreeLeafInfo& info = *st.m_pLeafInfo;

  // 2. The texture, and with it the leaf map and its mirroring.
  auto accepted = [&] {
    float tested = percent;
    if (info.m_nValue3001 != 0) {
      const CBranch* ancestor = this;
      for (std::int32_t up = 1; up < info.m_nValue3001 && ancestor->m_pParent != nullptr; ++up) {
        ancestor = ancestor->m_pParent;
      }
      tested = ancestor->m_fPercent;
    }
    const float threshold = info.m_fValue3000;
    const bool passes = threshold >= 0.0f ? tested > threshold : tested < -threshold;
    return passes && Draw(0.0f, 1.0f) <= info.m_fValue3002;
  };
  auto pick = [](const TreeVector<std::int32_t>& group, float range) {
    if (group.size() == 1) return group[0];
    const std::int32_t draw = TruncateToInt(Draw(0.0f, range));
    return group[static_cast<std::size_t>(std::max(draw, 0)) % group.size()];
  };
  std::int32_t texture = 0;
  if (!st.m_vLeafGroups[0].empty() && accepted()) {
    texture = pick(st.m_vLeafGroups[0], 100000.0f);
  } else if (!st.m_vLeafGroups[1].empty()) {
    texture = pick(st.m_vLeafGroups[1], 1000000.0f);
  } else {
    return;
  }
  const std::size_t mapIndex = static_cast<std::size_t>(texture / 2);
  // The groups are refilled from the maps when the trunk starts; a map list
  // changed since then must not be read past.
  if (mapIndex >= info.m_vLeafMaps.size()) return;
  const STreeLeafMap& map = info.m_vLeafMaps[mapIndex];

  // 3. Spacing.
  const TreeVector<SBillboardLeaf>* tested = info.m_nValue3008 == 1   ? &st.m_vPlacedLeaves
                                             : info.m_nValue3008 == 2 ? &leaves
                                                                      : nullptr;
  if (tested != nullptr) {
    ChargeComputeWork(tested->size());
    const float s = std::max(map.m_vAbsoluteSize.x, map.m_vAbsoluteSize.y) * info.m_fDimensionFactor;
    for (auto leaf = tested->rbegin(); leaf != tested->rend(); ++leaf) {
      const stVec3& l = leaf->m_vPosition;
      if (l.x - s < position.x && position.x < l.x + s && l.y - s < position.y && position.y < l.y + s &&
          l.z - s < position.z && position.z < l.z + s) {
        return;
      }
    }
  }

  // 4. Dimming by the leaf's place on the branch and the branch's on its
  //    ancestors.
  float dimming = 1.0f;
  if (info.m_bFlag3009) {
    float v = percent;
    const CBranch* ancestor = this;
    for (std::int32_t factor = 0; factor < info.m_nNormalSmoothingInt && ancestor != nullptr; ++factor) {
      v *= ancestor->m_fPercent;
      ancestor = ancestor->m_pParent;
    }
    dimming = Clamp01(v + (1.0f - v) * (1.0f - info.m_fValue3010));
  }

  // 5. The record.
  const std::int32_t variants = std::max(info.m_nNumTimeOffsets, 1);
  const std::int32_t variant = std::max(TruncateToInt(Draw(0.0f, 10000.0f)), 0) % variants;
  SBillboardLeaf leaf(position, static_cast<std::uint8_t>(TruncateToInt(dimming * 255.0f)),
                      static_cast<std::uint8_t>(variant), windWeight1, windWeight2, windGroup1,
                      static_cast<std::uint32_t>(windGroup2));
  leaf.m_ucLeafMapByte = static_cast<std::uint8_t>(texture);

  // 6. The leaf normal.
  stVec3 normal = FastLength(direction) < 0.0001f ? reference : reference + (direction - reference) * map.m_fValue;
  normal.Normalize();
  const stVec3 normal0 = normal;
  // 7. Mesh leaves lit by the renderer lean toward straight up.
  const CLightingEngine* lighting = st.m_pLightingEngine;
  const std::int32_t leafMethod = lighting != nullptr ? lighting->m_nLeafLightingMethod : 0;
  const stVec3 up(0.0f, 0.0f, 1.0f);
  if (leafMethod == 0 && map.m_bUseMesh) {
    normal = normal + (up - normal) * map.m_fMeshUpBlend;
    normal.Normalize();
  }
  // 8. The tangent frame; a normal straight up or down takes its binormal
  //    from the unblended normal's horizontal part.
  stVec3 tangent = Cross(normal, up);
  tangent.Normalize();
  stVec3 binormal = Cross(tangent, normal);
  binormal.Normalize();
  if (FastLength(tangent) < 0.5f) {
    binormal = stVec3(-normal0.x, -normal0.y, 0.0f);
    binormal.Normalize();
    tangent = Cross(normal, binormal);
    tangent.Normalize();
  }
  // 9. Mesh leaves spin about their normal, from the shared table.
  auto frame = [&] {
    stMat3 m;
    const stVec3 rows[3] = {tangent, binormal, normal};
    for (int r = 0; r < 3; ++r) {
      m.m[3 * r] = rows[r].x;
      m.m[3 * r + 1] = rows[r].y;
      m.m[3 * r + 2] = rows[r].z;
    }
    return m;
  };
  if (map.m_bUseMesh && map.m_fMeshSpinRange != 0.0f) {
    const float range = map.m_fMeshSpinRange;
    const std::uint32_t k = static_cast<std::uint32_t>(st.m_nSpinCounter) % kTableSize;
    ++st.m_nSpinCounter;
    stMat3 m = frame();
    m.RotateZ(st.m_afTable[k] * 2.0f * range - range);
    tangent = Row(m, 0);
    binormal = Row(m, 1);
  }
  // 10. Corner frames.
  if (info.m_bNormalSmoothing && !map.m_bUseMesh) {
    const float angle = info.m_fNormalSmoothingValue;
    const float weight = angle / 100.0f;
    const float angles[4] = {-angle, angle, angle, -angle};
    const stVec3 targets[4] = {up, up, kDown, kDown};
    for (int c = 0; c < 4; ++c) {
      stMat3 m = frame();
      m.RotateY(angles[c]);
      const stVec3 w = Row(m, 2);
      stVec3 n = w + (targets[c] - w) * weight;
      n.Normalize();
      stVec3 t = Cross(n, up);
      t.Normalize();
      stVec3 b = Cross(t, n);
      b.Normalize();
      leaf.m_avCorners1[c] = n;
      leaf.m_avCorners2[c] = t;
      leaf.m_avCorners3[c] = b;
    }
  } else {
    for (int c = 0; c < 4; ++c) {
      leaf.m_avCorners1[c] = normal;
      leaf.m_avCorners2[c] = tangent;
      leaf.m_avCorners3[c] = binormal;
    }
  }
  // 11. One colour variation for the whole leaf, dimmed.
  const float variation = Draw(-map.m_fValue, map.m_fValue);
  const float scale = static_cast<float>(leaf.m_ucDimming) / 255.0f;
  const std::uint32_t color = PackColor((map.m_vColor.x + variation) * scale, (map.m_vColor.y + variation) * scale,
                                        (map.m_vColor.z + variation) * scale);
  for (std::uint32_t& corner : leaf.m_auCornerColors) corner = color;

  // 12.
  leaves.push_back(leaf);
  if (info.m_nValue3008 == 1) st.m_vPlacedLeaves.push_back(leaf);
}

}  // namespace trt
